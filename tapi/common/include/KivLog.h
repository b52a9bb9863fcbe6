// The logging facility: modules register a name, then report lines tagged with a class word;
// a gate decides whether a line goes to standard output and, for Log, to "C:\temp\KIV.log"
// (fixed 148-byte records, older logs rotated to OldKIV.log ... OldKIV5.log).
// Each library linking this has its own state. All functions may be called from any thread;
// each report is written whole, never interleaved with another thread's.
#pragma once

#include "plat/types.h"

#define KIV_LOG_PRINTF(fmt_index) __attribute__((format(printf, fmt_index, fmt_index + 1)))

namespace KivLog {

// Class words.
inline constexpr DWORD KIV_CLASS_ERROR = 0x80000000u;    // always emitted, label "E"
inline constexpr DWORD KIV_CLASS_WARNING = 0x40000000u;  // output flag 0x4, label "W"
inline constexpr DWORD KIV_CLASS_INFO = 0x20000000u;     // label "I"
inline constexpr DWORD KIV_CLASS_EXTRA = 0x10000000u;    // output flag 0x2, label "Q"

// Output flags.
inline constexpr DWORD KIV_OUT_BY_MASK = 0x1;   // select other classes by the module mask
inline constexpr DWORD KIV_OUT_EXTRA = 0x2;     // emit class 0x10000000
inline constexpr DWORD KIV_OUT_WARNING = 0x4;   // emit class 0x40000000

inline constexpr int KIV_MAX_MODULES = 1000;

// Starts the facility once (n is ignored): masks and output flags cleared, file limit 5 bytes,
// SetStatusFlags(1). Returns 0.
int Init(int n);

// Index of the new module, or -1 when the table is full or the name cannot be copied.
int RegisterModule(const char* name);
// The first module of that name loses its name and mask (its index is not reused). Returns 0.
int UnregisterModule(const char* name);

// File limit = megabytes * 1,048,576 in 32-bit arithmetic; 0 leaves it unchanged. Returns 0.
int SetMaxSize(DWORD megabytes);

// Status bit 0x2 is set by flag 0x2 (and cleared when the file outgrows its limit); bit 0x4
// follows flag 0x4. Reported only; nothing else reads them.
int SetStatusFlags(DWORD flags);
DWORD GetStatusFlags();

int SetOutputFlags(DWORD flags);
DWORD GetOutputFlags();

// The first module of that name gets mask. Returns 0.
int SetModuleMask(const char* name, DWORD mask);
DWORD GetModuleMask(int index);         // 0 for an index that is not registered
const char* GetModuleName(int index);   // null for an index that is not registered
int GetModuleCount();

// Gate, then the line to standard output (Print) or to standard output and the file (Log).
// The message is formatted into 256 bytes and cut to fit. All return 0.
int Print(DWORD cls, int index, const char* format, ...) KIV_LOG_PRINTF(3);
int Log(DWORD cls, int index, const char* format, ...) KIV_LOG_PRINTF(3);
int PrintError(int index, const char* format, ...) KIV_LOG_PRINTF(2);
int PrintWarning(int index, const char* format, ...) KIV_LOG_PRINTF(2);
int PrintInfo(int index, const char* format, ...) KIV_LOG_PRINTF(2);

}  // namespace KivLog
