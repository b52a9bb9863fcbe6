// The registry-export text format of the hive file and of `reg export`/`reg import`:
// a "REGEDIT4" header, "[HKEY_LOCAL_MACHINE\...]" sections, "name"="text", "name"=dword:0000000a,
// "name"=hex:.. and "name"=hex(N):.. lines, "@" for the default value. Pure functions.
#pragma once

#include <string>
#include <string_view>

#include "registry_tree.h"

namespace plat::reg {

struct TextError {
  int line = 0;  // 1-based
  std::string what;
};

// Applies `text` to `root` as an import does: a section creates its key, "[-key]" removes a key
// with its subtree, "name"=- removes a value. On a syntax error returns false with the line;
// `root` may then be partly changed, so callers parse into a tree they can discard.
bool ParseRegistryText(std::string_view text, Key& root, TextError* error);

// The whole tree in the same format; ParseRegistryText of the result rebuilds it.
std::string WriteRegistryText(const Key& root);

}  // namespace plat::reg
