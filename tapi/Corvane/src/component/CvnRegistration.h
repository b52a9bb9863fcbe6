// The component's class registration: the ProgID, version-independent ProgID and CLSID entries
// of CvnEndPoint and MsgInterpreter under HKEY_CLASSES_ROOT. Called from DllRegisterServer and
// DllUnregisterServer; safe from any thread (each registry call is atomic on its own).
#pragma once

#include "plat/types.h"

// Writes the entries of both classes with pszModule (the library's absolute path) as their
// server. S_OK, or SELFREG_E_CLASS when a key or value cannot be written.
HRESULT CvnRegisterClasses(const char* pszModule);
// Removes the ProgID keys and the CLSID key of both classes (the CLSID root stays). S_OK.
HRESULT CvnUnregisterClasses();
