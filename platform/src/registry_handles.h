// The table of open registry keys: an HKEY stands for a key path with the access it was opened
// with, never for a copy of the key's contents. The predefined keys need no entry.
// All functions may be called from any thread (one mutex guards the table).
#pragma once

#include <string>
#include <vector>

#include "plat/registry.h"

namespace plat::reg {

struct KeyRef {
  std::vector<std::string> path;  // below HKEY_LOCAL_MACHINE
  REGSAM access = 0;
  bool predefined = false;  // HKEY_LOCAL_MACHINE or HKEY_CLASSES_ROOT: exists even when empty
};

// False for a handle that is neither predefined nor open.
bool ResolveKey(HKEY key, KeyRef* ref);
HKEY OpenKeyHandle(KeyRef ref);
// False for a handle that is not open; closing a predefined key succeeds and does nothing.
bool CloseKeyHandle(HKEY key);

}  // namespace plat::reg
