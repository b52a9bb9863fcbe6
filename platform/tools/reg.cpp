// reg: reads and changes the registry hive of the machine-state prefix (KIV_PREFIX) from the
// command line, in the manner of the Windows tool of the same name. Exit status 0 on success,
// 1 with one error line on stderr otherwise. Single-threaded.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "plat/registry.h"

namespace {

constexpr const char* kUsage =
    "Usage:\n"
    "  reg add KEY [/v NAME | /ve] [/t REG_SZ|REG_DWORD] [/d DATA] [/f]\n"
    "  reg query KEY [/v NAME | /ve] [/s]\n"
    "  reg delete KEY [/v NAME | /ve] [/f]\n"
    "  reg export FILE [/y]\n"
    "  reg import FILE\n"
    "\n"
    "KEY starts with HKLM\\, HKEY_LOCAL_MACHINE\\, HKCR\\ or HKEY_CLASSES_ROOT\\ (HKCR is\n"
    "HKLM\\Software\\Classes). /ve names the default value. REG_DWORD data is decimal or 0x hex;\n"
    "the default type is REG_SZ. add without /v or /ve only creates the key; delete without /v\n"
    "or /ve removes the key with all its subkeys. /s lists subkeys recursively.\n"
    "Nothing ever asks for confirmation: values are overwritten and keys deleted at once, with or\n"
    "without /f (or /y). export writes the whole hive, import merges a file into it; both use\n"
    "the registry-export format (REGEDIT4).\n";

constexpr const char* kNotFound = "The system was unable to find the specified registry key or value.";
constexpr const char* kDone = "The operation completed successfully.";

// A failure of the command: the text of its error line.
struct Failure {
  std::string message;
};

bool EqualsFolded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto fold = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

// The text for a registry error; a hive that cannot be read names its file and line.
Failure RegistryFailure(LONG error, const std::string& what) {
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_KEY_DELETED) return {kNotFound};
  std::string detail;
  if ((error == ERROR_BADDB || error == ERROR_CANTREAD) && plat::RegCheckHive(&detail) != ERROR_SUCCESS) {
    return {detail};
  }
  return {what + " failed with error " + std::to_string(error)};
}

// A key as given on the command line: its root and the path below it.
struct KeyArg {
  HKEY root = nullptr;
  std::string root_name;
  std::string sub;
  std::string Display() const { return sub.empty() ? root_name : root_name + "\\" + sub; }
};

std::optional<KeyArg> ParseKey(std::string_view text) {
  struct Root {
    std::string_view name;
    HKEY key;
    std::string_view full;
  };
  const Root roots[] = {{"HKLM", HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"},
                        {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"},
                        {"HKCR", HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT"},
                        {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT"}};
  const std::size_t slash = text.find('\\');
  const std::string_view head = text.substr(0, slash);
  for (const Root& root : roots) {
    if (!EqualsFolded(head, root.name)) continue;
    KeyArg key{root.key, std::string(root.full), {}};
    if (slash != std::string_view::npos) key.sub = std::string(text.substr(slash + 1));
    while (!key.sub.empty() && key.sub.back() == '\\') key.sub.pop_back();
    return key;
  }
  return std::nullopt;
}

// The switches after the command's first argument.
struct Options {
  std::optional<std::string> value;  // "" for /ve
  std::optional<std::string> type;
  std::optional<std::string> data;
  bool force = false;
  bool recurse = false;
};

Options ParseOptions(const std::vector<std::string>& args, std::size_t first, std::string_view allowed) {
  Options options;
  auto take = [&](std::size_t& i, std::string_view flag) {
    if (i + 1 >= args.size()) throw Failure{"invalid syntax: " + std::string(flag) + " needs an argument"};
    return args[++i];
  };
  for (std::size_t i = first; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string flag;
    for (char c : arg) flag.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c));
    const bool known = flag.size() >= 2 && flag[0] == '/' && allowed.find(" " + flag + " ") != std::string_view::npos;
    if (!known) throw Failure{"invalid syntax: unexpected argument '" + arg + "'; run \"reg /?\" for usage"};
    if ((flag == "/v" || flag == "/ve") && options.value) throw Failure{"invalid syntax: /v or /ve given twice"};
    if (flag == "/v") {
      options.value = take(i, arg);
    } else if (flag == "/ve") {
      options.value = "";
    } else if (flag == "/t") {
      options.type = take(i, arg);
    } else if (flag == "/d") {
      options.data = take(i, arg);
    } else if (flag == "/f" || flag == "/y") {
      options.force = true;
    } else if (flag == "/s") {
      options.recurse = true;
    }
  }
  return options;
}

KeyArg KeyArgument(const std::vector<std::string>& args, bool need_sub) {
  if (args.size() < 2) throw Failure{"invalid syntax: a key is needed; run \"reg /?\" for usage"};
  std::optional<KeyArg> key = ParseKey(args[1]);
  if (!key) throw Failure{"invalid key name '" + args[1] + "': it must start with HKLM\\ or HKCR\\"};
  if (need_sub && key->sub.empty()) throw Failure{"a subkey of " + key->root_name + " is needed"};
  return *key;
}

// An open key, closed when it goes.
class OpenKey {
 public:
  OpenKey() = default;
  ~OpenKey() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  HKEY* out() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

DWORD ParseDword(const std::string& text) {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const std::string digits = hex ? text.substr(2) : text;
  bool ok = !digits.empty();
  unsigned long long value = 0;
  for (char c : digits) {
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (hex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0) ok = false;
    value = value * (hex ? 16 : 10) + static_cast<unsigned>(digit < 0 ? 0 : digit);
    if (value > 0xFFFFFFFFull) ok = false;
  }
  if (!ok) throw Failure{"invalid REG_DWORD data '" + text + "': give a decimal number or 0x hex up to 0xFFFFFFFF"};
  return static_cast<DWORD>(value);
}

int Add(const std::vector<std::string>& args) {
  const KeyArg key = KeyArgument(args, true);
  const Options options = ParseOptions(args, 2, " /v /ve /t /d /f ");
  if (!options.value && (options.type || options.data)) throw Failure{"invalid syntax: /t and /d need /v or /ve"};
  OpenKey handle;
  DWORD disposition = 0;
  if (const LONG r = RegCreateKeyExA(key.root, key.sub.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_ALL_ACCESS, nullptr, handle.out(), &disposition);
      r != ERROR_SUCCESS) {
    throw RegistryFailure(r, "creating " + key.Display());
  }
  if (options.value) {
    const std::string type = options.type.value_or("REG_SZ");
    const std::string data = options.data.value_or("");
    LONG r = ERROR_SUCCESS;
    if (EqualsFolded(type, "REG_SZ")) {
      r = RegSetValueExA(handle.get(), options.value->c_str(), 0, REG_SZ,
                         reinterpret_cast<const BYTE*>(data.c_str()), static_cast<DWORD>(data.size() + 1));
    } else if (EqualsFolded(type, "REG_DWORD")) {
      const DWORD value = ParseDword(data);
      r = RegSetValueExA(handle.get(), options.value->c_str(), 0, REG_DWORD,
                         reinterpret_cast<const BYTE*>(&value), sizeof value);
    } else {
      throw Failure{"unsupported type '" + type + "': use REG_SZ or REG_DWORD"};
    }
    if (r != ERROR_SUCCESS) throw RegistryFailure(r, "writing a value of " + key.Display());
  }
  std::puts(kDone);
  return 0;
}

std::string TypeName(DWORD type) {
  switch (type) {
    case REG_NONE: return "REG_NONE";
    case REG_SZ: return "REG_SZ";
    case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
    case REG_BINARY: return "REG_BINARY";
    case REG_DWORD: return "REG_DWORD";
    default: return "REG_" + std::to_string(type);
  }
}

// Reads a value whole; the size may change between asking and reading, so ask again then.
LONG ReadValue(HKEY key, const std::string& name, DWORD* type, std::vector<BYTE>* data) {
  DWORD size = 0;
  LONG r = RegQueryValueExA(key, name.c_str(), nullptr, type, nullptr, &size);
  while (r == ERROR_SUCCESS || r == ERROR_MORE_DATA) {
    data->assign(size, 0);
    r = RegQueryValueExA(key, name.c_str(), nullptr, type, data->data(), &size);
    if (r == ERROR_SUCCESS) {
      data->resize(size);
      break;
    }
  }
  return r;
}

void PrintValue(const std::string& name, DWORD type, const std::vector<BYTE>& data) {
  std::string text;
  if (type == REG_SZ || type == REG_EXPAND_SZ) {
    text.assign(data.begin(), data.end());
    if (const std::size_t nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
  } else if (type == REG_DWORD && data.size() == 4) {
    const DWORD v = data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<DWORD>(data[3]) << 24);
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%x", static_cast<unsigned>(v));
    text = buf;
  } else {
    char buf[4];
    for (BYTE b : data) {
      std::snprintf(buf, sizeof buf, "%02X", b);
      text += buf;
    }
  }
  std::printf("    %s    %s    %s\n", name.empty() ? "(Default)" : name.c_str(), TypeName(type).c_str(), text.c_str());
}

// Prints a key as the Windows tool does: a blank line, the key, its values, then its subkeys
// (each followed by its own listing with /s).
void PrintKey(HKEY key, const std::string& display, bool recurse) {
  std::printf("\n%s\n", display.c_str());
  std::vector<char> name(16384);
  for (DWORD i = 0;; ++i) {
    auto size = static_cast<DWORD>(name.size());
    const LONG r = RegEnumValueA(key, i, name.data(), &size, nullptr, nullptr, nullptr, nullptr);
    if (r == ERROR_NO_MORE_ITEMS) break;
    if (r != ERROR_SUCCESS) throw RegistryFailure(r, "listing the values of " + display);
    DWORD type = 0;
    std::vector<BYTE> data;
    const std::string value_name(name.data(), size);
    if (const LONG read = ReadValue(key, value_name, &type, &data); read != ERROR_SUCCESS) {
      throw RegistryFailure(read, "reading " + display);
    }
    PrintValue(value_name, type, data);
  }
  std::vector<std::string> subkeys;
  for (DWORD i = 0;; ++i) {
    auto size = static_cast<DWORD>(name.size());
    const LONG r = RegEnumKeyExA(key, i, name.data(), &size, nullptr, nullptr, nullptr, nullptr);
    if (r == ERROR_NO_MORE_ITEMS) break;
    if (r != ERROR_SUCCESS) throw RegistryFailure(r, "listing the subkeys of " + display);
    subkeys.emplace_back(name.data(), size);
  }
  if (!recurse && !subkeys.empty()) std::printf("\n");
  for (const std::string& subkey : subkeys) {
    const std::string child = display + "\\" + subkey;
    if (!recurse) {
      std::printf("%s\n", child.c_str());
      continue;
    }
    OpenKey handle;
    if (const LONG r = RegOpenKeyExA(key, subkey.c_str(), 0, KEY_READ, handle.out()); r != ERROR_SUCCESS) {
      throw RegistryFailure(r, "opening " + child);
    }
    PrintKey(handle.get(), child, true);
  }
}

int Query(const std::vector<std::string>& args) {
  const KeyArg key = KeyArgument(args, false);
  const Options options = ParseOptions(args, 2, " /v /ve /s ");
  OpenKey handle;
  if (const LONG r = RegOpenKeyExA(key.root, key.sub.c_str(), 0, KEY_READ, handle.out()); r != ERROR_SUCCESS) {
    throw RegistryFailure(r, "opening " + key.Display());
  }
  if (!options.value) {
    PrintKey(handle.get(), key.Display(), options.recurse);
    return 0;
  }
  DWORD type = 0;
  std::vector<BYTE> data;
  if (const LONG r = ReadValue(handle.get(), *options.value, &type, &data); r != ERROR_SUCCESS) {
    throw RegistryFailure(r, "reading " + key.Display());
  }
  std::printf("\n%s\n", key.Display().c_str());
  PrintValue(*options.value, type, data);
  return 0;
}

int Delete(const std::vector<std::string>& args) {
  const KeyArg key = KeyArgument(args, true);
  const Options options = ParseOptions(args, 2, " /v /ve /f ");
  if (!options.value) {
    if (const LONG r = RegDeleteTreeA(key.root, key.sub.c_str()); r != ERROR_SUCCESS) {
      throw RegistryFailure(r, "deleting " + key.Display());
    }
  } else {
    OpenKey handle;
    LONG r = RegOpenKeyExA(key.root, key.sub.c_str(), 0, KEY_SET_VALUE, handle.out());
    if (r == ERROR_SUCCESS) r = RegDeleteValueA(handle.get(), options.value->c_str());
    if (r != ERROR_SUCCESS) throw RegistryFailure(r, "deleting a value of " + key.Display());
  }
  std::puts(kDone);
  return 0;
}

int ExportOrImport(const std::vector<std::string>& args, bool is_export) {
  if (args.size() < 2) throw Failure{"invalid syntax: a file is needed; run \"reg /?\" for usage"};
  ParseOptions(args, 2, is_export ? " /y " : " ");
  std::string error;
  const LONG r = is_export ? plat::RegExportHive(args[1], &error) : plat::RegImportHive(args[1], &error);
  if (r != ERROR_SUCCESS) throw Failure{error.empty() ? RegistryFailure(r, args[0]).message : error};
  std::puts(kDone);
  return 0;
}

int Run(const std::vector<std::string>& args) {
  if (args.size() == 1 && (args[0] == "/?" || args[0] == "-h" || args[0] == "--help")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (args.empty()) throw Failure{"invalid syntax: no command; run \"reg /?\" for usage"};
  const std::string& command = args[0];
  if (EqualsFolded(command, "add")) return Add(args);
  if (EqualsFolded(command, "query")) return Query(args);
  if (EqualsFolded(command, "delete")) return Delete(args);
  if (EqualsFolded(command, "export")) return ExportOrImport(args, true);
  if (EqualsFolded(command, "import")) return ExportOrImport(args, false);
  throw Failure{"invalid syntax: unknown command '" + command + "'; run \"reg /?\" for usage"};
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const Failure& failure) {
    std::fflush(stdout);
    std::fprintf(stderr, "ERROR: %s\n", failure.message.c_str());
    return 1;
  }
}
