#include "kivtest/prefix.h"

#include <cstdlib>
#include <stdexcept>
#include <system_error>

#include <unistd.h>

namespace kivtest {

std::filesystem::path MakeTempDir(const std::string& tag) {
  std::string pattern = (std::filesystem::temp_directory_path() / ("kiv-" + tag + "-XXXXXX")).string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot make a temporary folder from " + pattern);
  }
  return pattern;
}

std::filesystem::path CurrentPrefix() {
  const char* value = std::getenv("KIV_PREFIX");
  return value != nullptr ? std::filesystem::path(value) : std::filesystem::path();
}

ScopedPrefix::ScopedPrefix(bool make_temp_dir) : path_(MakeTempDir("prefix")) {
  if (const char* value = std::getenv("KIV_PREFIX")) {
    previous_ = value;
    had_previous_ = true;
  }
  if (make_temp_dir) {
    std::filesystem::create_directories(TempDir());
  }
  setenv("KIV_PREFIX", path_.c_str(), 1);
}

ScopedPrefix::~ScopedPrefix() {
  if (had_previous_) {
    setenv("KIV_PREFIX", previous_.c_str(), 1);
  } else {
    unsetenv("KIV_PREFIX");
  }
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace kivtest
