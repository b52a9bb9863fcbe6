#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include <unistd.h>

namespace kivfuzz {
namespace {

std::string g_prefix;

void RemovePrefix() {
  std::error_code ignored;
  if (!g_prefix.empty()) std::filesystem::remove_all(g_prefix, ignored);
}

}  // namespace

void Fail(const char* what, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
  std::abort();
}

void UsePrivatePrefix() {
  if (!g_prefix.empty()) return;
  std::string pattern = (std::filesystem::temp_directory_path() / "kivfuzz-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) std::abort();
  g_prefix = pattern;
  std::filesystem::create_directories(std::filesystem::path(g_prefix) / "drive_c" / "temp");
  ::setenv("KIV_PREFIX", g_prefix.c_str(), 1);
  std::atexit(RemovePrefix);
}

}  // namespace kivfuzz
