// The registry in memory: a tree of keys holding named values, as read from and written to the
// hive file. Names compare case-insensitively and keep the case first written.
// Plain data: not thread-safe; each registry call builds its own tree from the newest hive.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "plat/types.h"

namespace plat::reg {

// A value's bytes: for REG_SZ and REG_EXPAND_SZ the text without its terminating zero, for
// REG_DWORD four bytes in little-endian order, for other types the bytes as given.
struct Value {
  std::string name;
  std::string folded;  // FoldName(name), kept for lookups
  DWORD type = 0;
  std::string data;
};

struct Key {
  std::string name;
  std::vector<Value> values;                              // in the order first written
  std::map<std::string, std::unique_ptr<Key>> children;  // by FoldName(name)

  Key* Child(std::string_view child_name) const;
  // The child of that name, made when missing; `created` tells which.
  Key& AddChild(std::string_view child_name, bool* created = nullptr);
  bool RemoveChild(std::string_view child_name);

  // The empty name is the default value.
  Value* FindValue(std::string_view value_name);
  void SetValue(std::string_view value_name, DWORD type, std::string data);
  bool DeleteValue(std::string_view value_name);
};

// The form names are compared in: ASCII letters in upper case, so that the order of the
// children is the alphabetical order Windows enumerates in.
std::string FoldName(std::string_view name);

// Splits "a\b\c" into its parts (none for an empty path; one trailing back slash is allowed).
// False for an empty part or a control character, which no key name may hold.
bool SplitKeyPath(std::string_view path, std::vector<std::string>* parts);

// The key at `parts` below `root`, or null.
Key* FindKey(Key& root, const std::vector<std::string>& parts);

}  // namespace plat::reg
