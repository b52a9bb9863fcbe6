// Main of every test program: runs the tests with KIV_PREFIX set to a fresh temporary folder,
// so that nothing a test does touches ~/.kiv, and removes the folder afterwards.
#include <gtest/gtest.h>

#include <cstdlib>
#include <system_error>

#include "kivtest/prefix.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  const std::filesystem::path prefix = kivtest::MakeTempDir("test");
  std::filesystem::create_directories(prefix / "drive_c" / "temp");
  setenv("KIV_PREFIX", prefix.c_str(), 1);
  const int result = RUN_ALL_TESTS();
  std::error_code ignored;
  std::filesystem::remove_all(prefix, ignored);
  return result;
}
