#include "registry_text.h"

#include <cstdio>
#include <vector>

#include "plat/registry.h"

namespace plat::reg {
namespace {

constexpr std::string_view kHeader = "REGEDIT4";
constexpr std::string_view kMachineRoot = "HKEY_LOCAL_MACHINE";
constexpr std::string_view kClassesRoot = "HKEY_CLASSES_ROOT";

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool StartsWithFolded(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && FoldName(s.substr(0, prefix.size())) == FoldName(prefix);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads a quoted string at the front of `s` (escapes \\ and \"), leaving `s` after it.
bool TakeQuoted(std::string_view& s, std::string* out, std::string* what) {
  out->clear();
  if (s.empty() || s.front() != '"') {
    *what = "expected a quoted string";
    return false;
  }
  for (std::size_t i = 1; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '"') {
      s.remove_prefix(i + 1);
      return true;
    }
    if (c == '\\') {
      if (i + 1 >= s.size() || (s[i + 1] != '\\' && s[i + 1] != '"')) {
        *what = "a back slash in a quoted string must be written \\\\";
        return false;
      }
      out->push_back(s[++i]);
    } else {
      out->push_back(c);
    }
  }
  *what = "unterminated quoted string";
  return false;
}

// Parses "aa,bb,..." (possibly empty) into bytes.
bool TakeHexBytes(std::string_view s, std::string* out) {
  out->clear();
  s = Trim(s);
  if (s.empty()) return true;
  while (true) {
    const std::size_t comma = s.find(',');
    const std::string_view item = Trim(s.substr(0, comma));
    if (item.empty() || item.size() > 2) return false;
    int byte = 0;
    for (char c : item) {
      const int digit = HexDigit(c);
      if (digit < 0) return false;
      byte = byte * 16 + digit;
    }
    out->push_back(static_cast<char>(byte));
    if (comma == std::string_view::npos) return true;
    s.remove_prefix(comma + 1);
  }
}

bool ParseHexNumber(std::string_view s, std::size_t max_digits, DWORD* value) {
  if (s.empty() || s.size() > max_digits) return false;
  DWORD v = 0;
  for (char c : s) {
    const int digit = HexDigit(c);
    if (digit < 0) return false;
    v = v * 16 + static_cast<DWORD>(digit);
  }
  *value = v;
  return true;
}

// Parses the right-hand side of a value line. `remove` is set for "-".
bool ParseData(std::string_view s, DWORD* type, std::string* data, bool* remove, std::string* what) {
  *remove = false;
  if (s == "-") {
    *remove = true;
    return true;
  }
  if (!s.empty() && s.front() == '"') {
    if (!TakeQuoted(s, data, what)) return false;
    if (!Trim(s).empty()) {
      *what = "unexpected text after the quoted value";
      return false;
    }
    *type = REG_SZ;
    return true;
  }
  if (StartsWithFolded(s, "dword:")) {
    DWORD value = 0;
    if (!ParseHexNumber(Trim(s.substr(6)), 8, &value)) {
      *what = "a dword needs 1 to 8 hexadecimal digits";
      return false;
    }
    *type = REG_DWORD;
    data->clear();
    for (int i = 0; i < 4; ++i) data->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    return true;
  }
  std::string_view bytes;
  if (StartsWithFolded(s, "hex:")) {
    *type = REG_BINARY;
    bytes = s.substr(4);
  } else if (StartsWithFolded(s, "hex(")) {
    const std::size_t close = s.find("):");
    if (close == std::string_view::npos || !ParseHexNumber(s.substr(4, close - 4), 8, type)) {
      *what = "bad hex(type): prefix";
      return false;
    }
    bytes = s.substr(close + 2);
  } else {
    *what = "unknown value format (expected \"text\", dword:, hex: or hex(type):)";
    return false;
  }
  if (!TakeHexBytes(bytes, data)) {
    *what = "bad hexadecimal byte list";
    return false;
  }
  if (*type == REG_SZ || *type == REG_EXPAND_SZ) {
    // Text is kept without its terminating zero.
    if (const std::size_t nul = data->find('\0'); nul != std::string::npos) data->resize(nul);
  }
  return true;
}

// The key path a section names, relative to HKEY_LOCAL_MACHINE.
bool ParseSectionPath(std::string_view path, std::vector<std::string>* parts, std::string* what) {
  const std::size_t slash = path.find('\\');
  const std::string_view root = path.substr(0, slash);
  const std::string_view rest = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
  std::vector<std::string> base;
  if (FoldName(root) == FoldName(kClassesRoot)) {
    base = {"Software", "Classes"};
  } else if (FoldName(root) != FoldName(kMachineRoot)) {
    *what = "unknown root key '" + std::string(root) + "'";
    return false;
  }
  if (!SplitKeyPath(rest, parts) || (slash != std::string_view::npos && parts->empty())) {
    *what = "bad key name '" + std::string(path) + "'";
    return false;
  }
  parts->insert(parts->begin(), base.begin(), base.end());
  return true;
}

void AppendQuoted(std::string& out, std::string_view text) {
  out.push_back('"');
  for (char c : text) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
}

void AppendHex(std::string& out, std::string_view bytes) {
  char buf[4];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(buf, sizeof buf, "%02x", static_cast<unsigned>(static_cast<unsigned char>(bytes[i])));
    if (i > 0) out.push_back(',');
    out += buf;
  }
}

void AppendValue(std::string& out, const Value& value) {
  if (value.name.empty()) {
    out.push_back('@');
  } else {
    AppendQuoted(out, value.name);
  }
  out.push_back('=');
  const bool one_line_text = value.data.find_first_of("\r\n") == std::string::npos;
  if (value.type == REG_SZ && one_line_text) {
    AppendQuoted(out, value.data);
  } else if (value.type == REG_DWORD && value.data.size() == 4) {
    DWORD v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(value.data[static_cast<std::size_t>(i)]);
    char buf[16];
    std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<unsigned>(v));
    out += buf;
  } else {
    std::string bytes = value.data;
    if (value.type == REG_SZ || value.type == REG_EXPAND_SZ) bytes.push_back('\0');
    if (value.type == REG_BINARY) {
      out += "hex:";
    } else {
      char buf[24];
      std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(value.type));
      out += buf;
    }
    AppendHex(out, bytes);
  }
  out.push_back('\n');
}

void AppendKey(std::string& out, const Key& key, const std::string& path, bool is_root) {
  if (!is_root || !key.values.empty()) {
    out += "[" + path + "]\n";
    for (const Value& value : key.values) AppendValue(out, value);
    out.push_back('\n');
  }
  for (const auto& [folded, child] : key.children) AppendKey(out, *child, path + "\\" + child->name, false);
}

}  // namespace

bool ParseRegistryText(std::string_view text, Key& root, TextError* error) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  bool header_seen = false;
  Key* current = nullptr;
  int line_number = 0;
  std::string logical;  // a value line with its back-slash continuations joined
  int logical_start = 0;
  auto fail = [&](int line, std::string what) {
    error->line = line;
    error->what = std::move(what);
    return false;
  };

  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t end = text.find('\n', pos);
    const std::string_view raw = text.substr(pos, end == std::string_view::npos ? text.npos : end - pos);
    pos = end == std::string_view::npos ? text.size() : end + 1;
    ++line_number;
    std::string_view line = Trim(raw);

    if (!logical.empty()) {
      logical += line;
    } else {
      if (line.empty() || line.front() == ';') continue;
      logical = line;
      logical_start = line_number;
    }
    // A long hex list goes on over several lines, each but the last ending in a back slash.
    if ((logical.front() == '"' || logical.front() == '@') && logical.back() == '\\') {
      logical.pop_back();
      if (pos < text.size()) continue;
    }
    const std::string entry = std::move(logical);
    logical.clear();
    std::string what;

    if (!header_seen) {
      if (entry != kHeader) return fail(logical_start, "expected the header line REGEDIT4");
      header_seen = true;
      continue;
    }
    if (entry.front() == '[') {
      if (entry.back() != ']') return fail(logical_start, "a section line must end with ]");
      std::string_view path = std::string_view(entry).substr(1, entry.size() - 2);
      const bool remove = !path.empty() && path.front() == '-';
      if (remove) path.remove_prefix(1);
      std::vector<std::string> parts;
      if (!ParseSectionPath(path, &parts, &what)) return fail(logical_start, what);
      current = nullptr;
      if (remove) {
        if (!parts.empty()) {
          const std::string leaf = parts.back();
          parts.pop_back();
          if (Key* parent = FindKey(root, parts)) parent->RemoveChild(leaf);
        }
        continue;
      }
      current = &root;
      for (const std::string& part : parts) current = &current->AddChild(part);
      continue;
    }
    if (entry.front() != '"' && entry.front() != '@') {
      return fail(logical_start, "expected a [key] section or a \"name\"=value line");
    }
    if (current == nullptr) return fail(logical_start, "a value line outside a [key] section");
    std::string_view rest = entry;
    std::string name;
    if (rest.front() == '@') {
      rest.remove_prefix(1);
    } else if (!TakeQuoted(rest, &name, &what)) {
      return fail(logical_start, what);
    }
    rest = Trim(rest);
    if (rest.empty() || rest.front() != '=') return fail(logical_start, "expected = after the value name");
    rest = Trim(rest.substr(1));
    DWORD type = REG_NONE;
    std::string data;
    bool remove = false;
    if (!ParseData(rest, &type, &data, &remove, &what)) return fail(logical_start, what);
    if (remove) {
      current->DeleteValue(name);
    } else {
      current->SetValue(name, type, std::move(data));
    }
  }
  return true;
}

std::string WriteRegistryText(const Key& root) {
  std::string out = std::string(kHeader) + "\n\n";
  AppendKey(out, root, std::string(kMachineRoot), true);
  return out;
}

}  // namespace plat::reg
