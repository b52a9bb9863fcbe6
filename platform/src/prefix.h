// Where the machine state lives: the folder named by KIV_PREFIX (default ~/.kiv), holding the
// registry hive and drive_c/, onto which "C:\..." paths are mapped. Internal to the platform.
// The environment is read at every call, so a test may switch prefixes between operations.
#pragma once

#include <filesystem>
#include <string>

namespace plat {

// The prefix folder.
std::filesystem::path PrefixDir();

// The registry hive file inside the prefix.
std::filesystem::path HivePath();

// Maps a Windows path onto the prefix: "C:\temp\KIV.log" -> $KIV_PREFIX/drive_c/temp/KIV.log.
// Drive letters are case-insensitive and map to drive_<letter in lower case>; back slashes
// become slashes. A path without a drive letter is taken as it stands (slashes converted).
std::filesystem::path MapWindowsPath(const std::string& windows_path);

}  // namespace plat
