// regsvr: registers an in-process server library by calling its DllRegisterServer, or with -u
// unregisters it through DllUnregisterServer. Prints one line with the result; exit code 0 on
// success, 1 on any failure.
#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "plat/com.h"

namespace {

using RegisterFunction = HRESULT (*)();

int Usage() {
  std::fprintf(stderr, "usage: regsvr [-u] LIB\n");
  return 1;
}

// An existing file is loaded by its absolute path, so that the library registers that path;
// any other name is left to the library search.
std::string LoadPath(const std::string& lib) {
  std::error_code ec;
  if (lib.find('/') == std::string::npos && !std::filesystem::exists(lib, ec)) return lib;
  const auto absolute = std::filesystem::absolute(lib, ec);
  return ec ? lib : absolute.lexically_normal().string();
}

}  // namespace

int main(int argc, char** argv) {
  bool unregister = false;
  std::string lib;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-u") == 0 && !unregister) {
      unregister = true;
    } else if (lib.empty() && argv[i][0] != '\0' && argv[i][0] != '-') {
      lib = argv[i];
    } else {
      return Usage();
    }
  }
  if (lib.empty()) return Usage();
  const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";

  const std::string path = LoadPath(lib);
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    std::fprintf(stderr, "regsvr: cannot load %s, hr 0x%08X: %s\n", lib.c_str(),
                 static_cast<unsigned>(HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)), dlerror());
    return 1;
  }
  auto function = reinterpret_cast<RegisterFunction>(dlsym(handle, entry));
  if (function == nullptr) {
    std::fprintf(stderr, "regsvr: %s has no %s, hr 0x%08X\n", lib.c_str(), entry,
                 static_cast<unsigned>(HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND)));
    dlclose(handle);
    return 1;
  }

  const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  const HRESULT hr = function();
  if (SUCCEEDED(init)) CoUninitialize();
  dlclose(handle);

  if (FAILED(hr)) {
    std::fprintf(stderr, "regsvr: %s in %s failed, hr 0x%08X\n", entry, lib.c_str(),
                 static_cast<unsigned>(hr));
    return 1;
  }
  std::printf("regsvr: %s in %s succeeded, hr 0x%08X\n", entry, lib.c_str(),
              static_cast<unsigned>(hr));
  return 0;
}
