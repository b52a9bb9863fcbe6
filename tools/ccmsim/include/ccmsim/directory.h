// The simulator's directory: the extensions it knows (password, owner name, pickup group, and
// whether the simulator plays the telephone itself) and the park orbits. Read from a plain text
// file or built in. A Directory is a value; it is not changed once the simulator runs.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ccmsim/status.h"

namespace ccmsim {

inline constexpr int kDefaultRingMs = 200;

struct DirectoryEntry {
  std::string extension;
  // None: any password is accepted.
  std::optional<std::string> password;
  std::string owner;
  std::string group;
  // A virtual telephone is played by the simulator and cannot be registered.
  bool is_virtual = false;
  // Virtual only: answers by itself after ringing this long (none: the directory's default
  // ring); never answers by itself when auto_answer is false.
  bool auto_answer = true;
  std::optional<int> ring_ms;
  // Virtual only: hangs up this long after the call is connected; 0: stays until told.
  int hangup_ms = 0;
};

class Directory {
 public:
  // Extensions 100-119 (any password, pickup group 1), virtual extensions 200-209 that answer
  // after ring_ms (pickup group 2), park orbits 700-709.
  static Directory Default(int ring_ms = kDefaultRingMs);
  // The text format is described by FormatHelp().
  static Result<Directory> Parse(std::string_view text);
  static Result<Directory> Load(const std::filesystem::path& file);
  static const char* FormatHelp();

  Status Add(DirectoryEntry entry);
  Status AddOrbit(const std::string& orbit);

  const DirectoryEntry* Find(std::string_view extension) const;
  bool IsOrbit(std::string_view number) const;
  const std::vector<DirectoryEntry>& entries() const { return entries_; }
  const std::vector<std::string>& orbits() const { return orbits_; }

  int default_ring_ms() const { return default_ring_ms_; }
  void set_default_ring_ms(int ms) { default_ring_ms_ = ms; }
  // The ring a virtual entry waits before it answers.
  int RingMs(const DirectoryEntry& entry) const { return entry.ring_ms.value_or(default_ring_ms_); }

 private:
  std::vector<DirectoryEntry> entries_;
  std::vector<std::string> orbits_;
  int default_ring_ms_ = kDefaultRingMs;
};

}  // namespace ccmsim
