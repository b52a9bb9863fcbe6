// The COM runtime: apartment bookkeeping per thread, and creation through in-process server
// libraries found in the registry. Loaded libraries stay loaded (one dlopen reference each)
// until CoFreeUnusedLibraries finds them unused.
#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "guid_text.h"
#include "plat/com.h"
#include "plat/registry.h"
#include "prefix.h"

namespace {

// ---- Apartments ----------------------------------------------------------------------------

// Threads now in the multithreaded apartment; while there is one, an uninitialised thread may
// create objects (it belongs to the implicit multithreaded apartment, as on Windows).
std::atomic<int> g_mta_threads{0};

struct ApartmentState {
  DWORD count = 0;
  bool multithreaded = false;

  // A thread that ends without its last CoUninitialize leaves the apartment all the same.
  ~ApartmentState() {
    if (count > 0 && multithreaded) g_mta_threads.fetch_sub(1);
  }
};

thread_local ApartmentState t_apartment;

bool MayCreate() { return t_apartment.count > 0 || g_mta_threads.load() > 0; }

// ---- Server libraries ----------------------------------------------------------------------

struct ServerLibrary {
  void* handle = nullptr;
  LPFNGETCLASSOBJECT get_class_object = nullptr;
  LPFNCANUNLOADNOW can_unload_now = nullptr;
  int users = 0;  // creations running through this library now; it is not unloaded meanwhile
};

class LibraryCache {
 public:
  // Finds or loads the library at `path` and marks it in use; S_OK and *library set, or
  // CO_E_DLLNOTFOUND / CO_E_ERRORINDLL.
  HRESULT Acquire(const std::string& path, ServerLibrary** library) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (auto it = libraries_.find(path); it != libraries_.end()) {
        ++it->second.users;
        *library = &it->second;
        return S_OK;
      }
    }
    // Loaded without the lock: the library's initialisers may call back into the platform.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return CO_E_DLLNOTFOUND;
    auto get_class_object =
        reinterpret_cast<LPFNGETCLASSOBJECT>(dlsym(handle, "DllGetClassObject"));
    if (get_class_object == nullptr) {
      dlclose(handle);
      return CO_E_ERRORINDLL;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    auto [it, inserted] = libraries_.try_emplace(path);
    if (inserted) {
      it->second.handle = handle;
      it->second.get_class_object = get_class_object;
      it->second.can_unload_now =
          reinterpret_cast<LPFNCANUNLOADNOW>(dlsym(handle, "DllCanUnloadNow"));
    } else {
      dlclose(handle);  // another thread loaded it meanwhile; the reference counts match again
    }
    ++it->second.users;
    *library = &it->second;
    return S_OK;
  }

  void Release(ServerLibrary* library) {
    std::lock_guard<std::mutex> lock(mutex_);
    --library->users;
  }

  void FreeUnused() {
    std::vector<void*> unload;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      for (auto it = libraries_.begin(); it != libraries_.end();) {
        ServerLibrary& library = it->second;
        if (library.users == 0 && library.can_unload_now != nullptr &&
            library.can_unload_now() == S_OK) {
          unload.push_back(library.handle);
          it = libraries_.erase(it);
        } else {
          ++it;
        }
      }
    }
    // Unloaded without the lock: the library's finalisers may call back into the platform.
    for (void* handle : unload) dlclose(handle);
  }

 private:
  std::mutex mutex_;
  // Keyed by the path as registered. Entries are stable in a map, so users hold pointers.
  std::map<std::string, ServerLibrary> libraries_;  // guarded by mutex_
};

// Never destroyed: libraries stay loaded until the process ends, and threads may still create
// objects while static destructors run.
LibraryCache& Cache() {
  static LibraryCache* cache = new LibraryCache;
  return *cache;
}

// Holds one use of a server library for a scope.
class LibraryUse {
 public:
  LibraryUse() = default;
  ~LibraryUse() {
    if (library_ != nullptr) Cache().Release(library_);
  }
  LibraryUse(const LibraryUse&) = delete;
  LibraryUse& operator=(const LibraryUse&) = delete;

  HRESULT Acquire(const std::string& path) { return Cache().Acquire(path, &library_); }
  ServerLibrary* operator->() const { return library_; }

 private:
  ServerLibrary* library_ = nullptr;
};

// The default value of HKCR\CLSID\{clsid}\InprocServer32, as a local path; false when absent.
bool FindInprocServer(REFCLSID clsid, std::string* path) {
  const std::string subkey = "CLSID\\" + plat::GuidToText(clsid) + "\\InprocServer32";
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, subkey.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return false;
  }
  DWORD type = 0;
  DWORD size = 0;
  std::string value;
  LONG rc = RegQueryValueExA(key, nullptr, nullptr, &type, nullptr, &size);
  if (rc == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ) && size > 0) {
    value.resize(size);
    rc = RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<LPBYTE>(value.data()),
                          &size);
    value.resize(rc == ERROR_SUCCESS ? std::min<std::size_t>(size, value.size()) : 0);
  }
  RegCloseKey(key);
  while (!value.empty() && value.back() == '\0') value.pop_back();
  if (value.empty()) return false;
  // A path written as "C:\..." lies under the prefix; anything else is a local path.
  const bool has_drive =
      value.size() >= 2 && value[1] == ':' && std::isalpha(static_cast<unsigned char>(value[0]));
  *path = has_drive ? plat::MapWindowsPath(value).string() : value;
  return true;
}

// Shared start of CoGetClassObject and CoCreateInstance: checks and loads the server.
HRESULT LoadServer(REFCLSID rclsid, DWORD dwClsContext, LibraryUse* use) {
  if (!MayCreate()) return CO_E_NOTINITIALIZED;
  if ((dwClsContext & CLSCTX_INPROC_SERVER) == 0) return REGDB_E_CLASSNOTREG;
  std::string path;
  if (!FindInprocServer(rclsid, &path)) return REGDB_E_CLASSNOTREG;
  return use->Acquire(path);
}

}  // namespace

extern "C" {

HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit) {
  if (pvReserved != nullptr) return E_INVALIDARG;
  const bool multithreaded = (dwCoInit & COINIT_APARTMENTTHREADED) == 0;
  ApartmentState& state = t_apartment;
  if (state.count > 0) {
    if (state.multithreaded != multithreaded) return RPC_E_CHANGED_MODE;
    ++state.count;
    return S_FALSE;
  }
  state.count = 1;
  state.multithreaded = multithreaded;
  if (multithreaded) g_mta_threads.fetch_add(1);
  return S_OK;
}

HRESULT CoInitialize(LPVOID pvReserved) {
  return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED);
}

void CoUninitialize() {
  ApartmentState& state = t_apartment;
  if (state.count == 0) return;
  if (--state.count == 0 && state.multithreaded) g_mta_threads.fetch_sub(1);
}

HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID /*pvReserved*/, REFIID riid,
                         LPVOID* ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  LibraryUse library;
  const HRESULT hr = LoadServer(rclsid, dwClsContext, &library);
  if (FAILED(hr)) return hr;
  return library->get_class_object(rclsid, riid, ppv);
}

HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  LibraryUse library;
  HRESULT hr = LoadServer(rclsid, dwClsContext, &library);
  if (FAILED(hr)) return hr;
  IClassFactory* factory = nullptr;
  hr = library->get_class_object(rclsid, IID_IClassFactory, reinterpret_cast<LPVOID*>(&factory));
  if (FAILED(hr)) return hr;
  if (factory == nullptr) return E_UNEXPECTED;
  hr = factory->CreateInstance(pUnkOuter, riid, ppv);
  factory->Release();
  if (FAILED(hr)) *ppv = nullptr;
  return hr;
}

void CoFreeUnusedLibraries() { Cache().FreeUnused(); }

}  // extern "C"
