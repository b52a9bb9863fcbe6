// Export macros. Every library is built with hidden visibility; only what is marked here
// crosses a module boundary: the platform's own functions (WINPLAT_API) and the entry points of
// the deliverables (KIV_EXPORT: Dll*, TSPI_*, TUISPI_*).
#pragma once

#define WINPLAT_API __attribute__((visibility("default")))
#define KIV_EXPORT extern "C" __attribute__((visibility("default")))

// Calling conventions have no meaning here; the names stay so declarations read as on Windows.
#define WINAPI
#define CALLBACK
#define APIENTRY
#define STDMETHODCALLTYPE
#define __stdcall
