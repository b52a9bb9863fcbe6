// The entry points of libCorvane.so. There is no DllMain: the module's state is initialised
// statically at load and needs nothing at unload (no thread runs once the last object is gone).
#include <dlfcn.h>

#include <climits>
#include <cstdlib>

#include "CvnModule.h"
#include "CvnRegistration.h"

KIV_EXPORT HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  return CvnModule::GetClassObject(rclsid, riid, ppv);
}

KIV_EXPORT HRESULT DllCanUnloadNow() { return CvnModule::GetLockCount() == 0 ? S_OK : S_FALSE; }

KIV_EXPORT HRESULT DllRegisterServer() {
  // The library's own absolute path is what the class entries name as the server.
  Dl_info info{};
  char szPath[PATH_MAX];
  if (dladdr(reinterpret_cast<void*>(&DllRegisterServer), &info) == 0 ||
      info.dli_fname == nullptr || realpath(info.dli_fname, szPath) == nullptr) {
    return SELFREG_E_CLASS;
  }
  return CvnRegisterClasses(szPath);
}

KIV_EXPORT HRESULT DllUnregisterServer() { return CvnUnregisterClasses(); }
