#include "prefix.h"

#include <cctype>
#include <cstdlib>

namespace plat {

std::filesystem::path PrefixDir() {
  if (const char* prefix = std::getenv("KIV_PREFIX"); prefix != nullptr && *prefix != '\0') {
    return prefix;
  }
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home != nullptr ? home : ".") / ".kiv";
}

std::filesystem::path HivePath() { return PrefixDir() / "registry.reg"; }

std::filesystem::path MapWindowsPath(const std::string& windows_path) {
  std::string rest = windows_path;
  std::filesystem::path base;
  if (rest.size() >= 2 && std::isalpha(static_cast<unsigned char>(rest[0])) && rest[1] == ':') {
    base = PrefixDir() /
           (std::string("drive_") + static_cast<char>(std::tolower(static_cast<unsigned char>(rest[0]))));
    rest.erase(0, 2);
  }
  for (char& c : rest) {
    if (c == '\\') c = '/';
  }
  while (!rest.empty() && rest.front() == '/' && !base.empty()) rest.erase(0, 1);
  return base.empty() ? std::filesystem::path(rest) : base / rest;
}

}  // namespace plat
