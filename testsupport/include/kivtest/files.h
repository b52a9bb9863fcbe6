// Whole-file reads and writes for tests that compare or plant file contents byte for byte.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace kivtest {

// The bytes of a file; empty when it cannot be read.
inline std::string ReadWholeFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Replaces a file's contents with these bytes.
inline void WriteWholeFile(const std::filesystem::path& file, const std::string& text) {
  std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
}

}  // namespace kivtest
