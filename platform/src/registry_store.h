// The hive file shared by every process of the machine: reading the newest complete state and
// changing it without losing another writer's change (an exclusive lock on a lock file beside
// the hive, re-read, change, write a temporary file, rename it over the hive).
// Safe from any thread and process; holds no state between calls.
#pragma once

#include <functional>
#include <string>

#include "registry_tree.h"

namespace plat::reg {

// Reads the hive into `root` (a missing hive is an empty registry). ERROR_BADDB for a syntax
// error, ERROR_CANTREAD for a file that cannot be read; `error` then names file and line.
LONG LoadHive(Key& root, std::string* error);

// Under the write lock: loads the newest hive, runs `change` on it and, when it returns
// ERROR_SUCCESS and the hive text differs, replaces the hive. Returns the result of `change`
// or the load/replace failure (ERROR_CANTWRITE); a hive that fails to load is left untouched.
LONG UpdateHive(const std::function<LONG(Key&)>& change, std::string* error);

// "<file> line <n>: <what>", the form every syntax error is reported in.
std::string DescribeTextError(const std::string& file, int line, const std::string& what);

}  // namespace plat::reg
