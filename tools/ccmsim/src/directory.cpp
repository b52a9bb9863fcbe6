// Directory: the built-in default, the text format's parser and lookups.
#include "ccmsim/directory.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>
#include <sstream>

namespace ccmsim {
namespace {

constexpr size_t kMaxExtension = 17;  // the header's extension field keeps 17 characters
constexpr size_t kMaxPassword = 15;
constexpr size_t kMaxText = 31;
constexpr long kMaxRange = 1000;
constexpr int kMaxMs = 3600 * 1000;
constexpr const char* kDefaultText =
    "phone 100-119 group=1\n"
    "virtual 200-209 group=2\n"
    "orbit 700-709\n";

bool IsDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Splits a line into words; a double-quoted part may hold spaces and '#'. An unquoted '#' ends
// the line.
Result<std::vector<std::string>> SplitWords(std::string_view line) {
  std::vector<std::string> words;
  std::string word;
  bool in_word = false;
  bool quoted = false;
  for (char c : line) {
    if (quoted) {
      if (c == '"') {
        quoted = false;
      } else {
        word += c;
      }
    } else if (c == '"') {
      quoted = true;
      in_word = true;
    } else if (c == '#') {
      break;
    } else if (std::isspace(static_cast<unsigned char>(c))) {
      if (in_word) words.push_back(std::move(word));
      word.clear();
      in_word = false;
    } else {
      word += c;
      in_word = true;
    }
  }
  if (quoted) return Status::Error("unterminated quote");
  if (in_word) words.push_back(std::move(word));
  return words;
}

// "100" or "100-119": the numbers as text, in order.
Result<std::vector<std::string>> ExpandRange(const std::string& spec) {
  const size_t dash = spec.find('-');
  const std::string first = spec.substr(0, dash);
  const std::string last = dash == std::string::npos ? first : spec.substr(dash + 1);
  if (!IsDigits(first) || !IsDigits(last) || first.size() > kMaxExtension) {
    return Status::Error("'" + spec + "' is not a number of 1 to 17 digits or a range of them");
  }
  if (first == last) return std::vector<std::string>{first};
  if (first.size() != last.size() || first.size() > 9) {
    return Status::Error("range '" + spec + "' needs two numbers of the same length (at most 9 digits)");
  }
  const long from = std::stol(first);
  const long to = std::stol(last);
  if (to < from || to - from >= kMaxRange) {
    return Status::Error("range '" + spec + "' is empty or longer than 1000");
  }
  std::vector<std::string> numbers;
  for (long n = from; n <= to; ++n) {
    std::string text = std::to_string(n);
    numbers.push_back(std::string(first.size() - text.size(), '0') + text);
  }
  return numbers;
}

Result<int> ParseMs(const std::string& key, const std::string& value) {
  int ms = 0;
  const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), ms);
  if (ec != std::errc() || end != value.data() + value.size() || ms < 0 || ms > kMaxMs) {
    return Status::Error(key + " wants milliseconds (0 to 3600000), not '" + value + "'");
  }
  return ms;
}

Status ParseLine(Directory& directory, const std::vector<std::string>& words) {
  const std::string& keyword = words[0];
  if (words.size() < 2) return Status::Error("'" + keyword + "' needs a number");
  Result<std::vector<std::string>> numbers = ExpandRange(words[1]);
  if (!numbers.ok()) return numbers.status();

  if (keyword == "orbit") {
    if (words.size() > 2) return Status::Error("'orbit' takes only a number or a range");
    for (const std::string& n : numbers.value()) {
      Status s = directory.AddOrbit(n);
      if (!s.ok()) return s;
    }
    return Status::Ok();
  }
  if (keyword != "phone" && keyword != "virtual") {
    return Status::Error("unknown keyword '" + keyword + "' (phone, virtual or orbit)");
  }
  DirectoryEntry pattern;
  pattern.is_virtual = keyword == "virtual";
  std::optional<std::string> name;
  for (size_t i = 2; i < words.size(); ++i) {
    const size_t eq = words[i].find('=');
    if (eq == std::string::npos) return Status::Error("'" + words[i] + "' is not KEY=VALUE");
    const std::string key = words[i].substr(0, eq);
    const std::string value = words[i].substr(eq + 1);
    if (key == "name") {
      if (value.size() > kMaxText) return Status::Error("name longer than 31 characters");
      name = value;
    } else if (key == "group") {
      if (value.size() > kMaxText) return Status::Error("group longer than 31 characters");
      pattern.group = value;
    } else if (key == "password" && !pattern.is_virtual) {
      if (value.size() > kMaxPassword) return Status::Error("password longer than 15 characters");
      pattern.password = value;
    } else if (key == "answer" && pattern.is_virtual) {
      if (value == "never") {
        pattern.auto_answer = false;
      } else {
        Result<int> ms = ParseMs(key, value);
        if (!ms.ok()) return ms.status();
        pattern.ring_ms = ms.value();
      }
    } else if (key == "hangup" && pattern.is_virtual) {
      Result<int> ms = ParseMs(key, value);
      if (!ms.ok()) return ms.status();
      pattern.hangup_ms = ms.value();
    } else {
      return Status::Error("'" + key + "' is not a setting of '" + keyword + "'");
    }
  }
  for (const std::string& n : numbers.value()) {
    DirectoryEntry entry = pattern;
    entry.extension = n;
    entry.owner = name.value_or((pattern.is_virtual ? "Virtual " : "Phone ") + n);
    Status s = directory.Add(std::move(entry));
    if (!s.ok()) return s;
  }
  return Status::Ok();
}

}  // namespace

Directory Directory::Default(int ring_ms) {
  Result<Directory> parsed = Parse(kDefaultText);
  Directory directory = parsed.value();
  directory.set_default_ring_ms(ring_ms);
  return directory;
}

Result<Directory> Directory::Parse(std::string_view text) {
  Directory directory;
  std::istringstream in{std::string(text)};
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    Result<std::vector<std::string>> words = SplitWords(line);
    Status s = words.ok() ? (words.value().empty() ? Status::Ok() : ParseLine(directory, words.value()))
                          : words.status();
    if (!s.ok()) return Status::Error("line " + std::to_string(number) + ": " + s.message());
  }
  return directory;
}

Result<Directory> Directory::Load(const std::filesystem::path& file) {
  std::ifstream in(file);
  if (!in) return Status::Error("cannot read directory file " + file.string());
  std::ostringstream text;
  text << in.rdbuf();
  Result<Directory> directory = Parse(text.str());
  if (!directory.ok()) return Status::Error(file.string() + ": " + directory.status().message());
  return directory;
}

const char* Directory::FormatHelp() {
  return "Directory file: one entry per line; '#' starts a comment; blank lines are ignored.\n"
         "  phone   EXT[-LAST] [password=TEXT] [name=TEXT] [group=TEXT]\n"
         "  virtual EXT[-LAST] [name=TEXT] [group=TEXT] [answer=MS|never] [hangup=MS]\n"
         "  orbit   NUM[-LAST]\n"
         "EXT and NUM are 1 to 17 digits; a range EXT-LAST (both of the same length) makes one\n"
         "entry per number. TEXT is one word or \"words in double quotes\".\n"
         "  phone    a telephone that a client registers; password: at most 15 characters, as\n"
         "           it arrives on the wire (without one, any password is accepted).\n"
         "  virtual  a telephone the simulator plays itself; it cannot be registered.\n"
         "           answer=MS: answers after ringing MS milliseconds (default 200, or --ring);\n"
         "           answer=never: rings until told to answer; hangup=MS: hangs up MS after\n"
         "           the call is connected (default: stays until told or the far end hangs up).\n"
         "  name     the owner name (at most 31 characters; default \"Phone EXT\" or \"Virtual EXT\").\n"
         "  group    the pickup group: a group pickup with this group (or with no group, from\n"
         "           a telephone of this group) takes a call ringing at any member.\n"
         "  orbit    park orbit numbers: park a call there, retrieve it by dialling the orbit\n"
         "           or by unpark.\n"
         "Built-in directory (used without --directory):\n"
         "  phone 100-119 group=1\n"
         "  virtual 200-209 group=2\n"
         "  orbit 700-709\n";
}

Status Directory::Add(DirectoryEntry entry) {
  if (!IsDigits(entry.extension) || entry.extension.size() > kMaxExtension) {
    return Status::Error("extension '" + entry.extension + "' is not 1 to 17 digits");
  }
  if (Find(entry.extension) != nullptr || IsOrbit(entry.extension)) {
    return Status::Error("number " + entry.extension + " is listed twice");
  }
  entries_.push_back(std::move(entry));
  return Status::Ok();
}

Status Directory::AddOrbit(const std::string& orbit) {
  if (!IsDigits(orbit) || orbit.size() > kMaxExtension) {
    return Status::Error("orbit '" + orbit + "' is not 1 to 17 digits");
  }
  if (Find(orbit) != nullptr || IsOrbit(orbit)) return Status::Error("number " + orbit + " is listed twice");
  orbits_.push_back(orbit);
  return Status::Ok();
}

const DirectoryEntry* Directory::Find(std::string_view extension) const {
  for (const DirectoryEntry& entry : entries_) {
    if (entry.extension == extension) return &entry;
  }
  return nullptr;
}

bool Directory::IsOrbit(std::string_view number) const {
  return std::find(orbits_.begin(), orbits_.end(), number) != orbits_.end();
}

}  // namespace ccmsim
