// Temporary machine-state prefixes for tests.
// Each test program starts with KIV_PREFIX pointing at a fresh empty folder (test_main.cpp).
// ScopedPrefix switches to another fresh folder for one test and back; not thread-safe: make
// one before starting threads that use the platform.
#pragma once

#include <filesystem>
#include <string>

namespace kivtest {

// Makes a fresh empty folder under the system's temporary folder.
std::filesystem::path MakeTempDir(const std::string& tag);

// The prefix the process uses now (the value of KIV_PREFIX).
std::filesystem::path CurrentPrefix();

// Points KIV_PREFIX at a fresh folder (with drive_c/temp made when asked) for its lifetime,
// then restores the previous value and removes the folder.
class ScopedPrefix {
 public:
  explicit ScopedPrefix(bool make_temp_dir = true);
  ~ScopedPrefix();
  ScopedPrefix(const ScopedPrefix&) = delete;
  ScopedPrefix& operator=(const ScopedPrefix&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // $KIV_PREFIX/drive_c/temp, where "C:\temp\..." lands.
  std::filesystem::path TempDir() const { return path_ / "drive_c" / "temp"; }

 private:
  std::filesystem::path path_;
  std::string previous_;
  bool had_previous_ = false;
};

// Folders of the build this test belongs to.
inline std::filesystem::path BinDir() { return KIV_BIN_DIR; }
inline std::filesystem::path LibDir() { return KIV_LIB_DIR; }
inline std::filesystem::path SourceDir() { return KIV_SOURCE_DIR; }

}  // namespace kivtest
