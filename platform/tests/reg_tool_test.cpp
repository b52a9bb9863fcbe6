// build/bin/reg as a program: one table of commands run in order against one prefix (add,
// query, delete, export, import and the usage errors), and a corrupt hive.
#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>

#include <fcntl.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "kivtest/files.h"
#include "kivtest/prefix.h"

extern char** environ;

namespace {

struct Outcome {
  int exit_code = -1;
  std::string out;
  std::string err;
};

// Runs reg with `args`; its output goes through files in `dir`.
Outcome RunReg(const std::vector<std::string>& args, const std::filesystem::path& dir) {
  const std::string program = (kivtest::BinDir() / "reg").string();
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const std::string out_file = (dir / "reg.out").string();
  const std::string err_file = (dir / "reg.err").string();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = 0;
  Outcome outcome;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return outcome;
  int status = 0;
  if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) outcome.exit_code = WEXITSTATUS(status);
  outcome.out = kivtest::ReadWholeFile(out_file);
  outcome.err = kivtest::ReadWholeFile(err_file);
  return outcome;
}

constexpr const char* kDone = "The operation completed successfully.\n";
constexpr const char* kNotFound = "ERROR: The system was unable to find the specified registry key or value.\n";
constexpr const char* kAny = nullptr;

struct Step {
  std::vector<std::string> args;
  int exit_code;
  const char* out;  // exact standard output, or kAny
  const char* err;  // what the error line starts with ("" for none)
};

TEST(RegToolTest, CommandsInOrder) {
  kivtest::ScopedPrefix prefix;
  const std::string exported = (prefix.path() / "saved.reg").string();
  const std::string broken = (prefix.path() / "broken.reg").string();
  kivtest::WriteWholeFile(broken, "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software]\nnonsense\n");
  const std::string corvane = "HKLM\\Software\\KIV\\Corvane";

  const Step steps[] = {
      {{"add", corvane, "/v", "ServerIPAddr", "/t", "REG_SZ", "/d", "127.0.0.1"}, 0, kDone, ""},
      {{"add", "hkey_local_machine\\software\\kiv\\corvane", "/v", "ServerPortId", "/t", "reg_dword", "/d", "20485",
        "/f"},
       0, kDone, ""},
      {{"add", corvane, "/v", "Hex", "/t", "REG_DWORD", "/d", "0xFFFFFFFF"}, 0, kDone, ""},
      {{"add", "HKCR\\CLSID\\{1}\\InprocServer32", "/ve", "/d", "C:\\lib\\x.so"}, 0, kDone, ""},
      {{"query", corvane},
       0,
       "\nHKEY_LOCAL_MACHINE\\Software\\KIV\\Corvane\n"
       "    ServerIPAddr    REG_SZ    127.0.0.1\n"
       "    ServerPortId    REG_DWORD    0x5005\n"
       "    Hex    REG_DWORD    0xffffffff\n",
       ""},
      {{"query", corvane, "/v", "ServerPortId"}, 0, "\nHKEY_LOCAL_MACHINE\\Software\\KIV\\Corvane\n    ServerPortId    REG_DWORD    0x5005\n", ""},
      {{"query", "HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\{1}"},
       0,
       "\nHKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\{1}\n\nHKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\{1}\\InprocServer32\n",
       ""},
      {{"query", "HKCR\\CLSID\\{1}\\InprocServer32", "/ve"},
       0,
       "\nHKEY_CLASSES_ROOT\\CLSID\\{1}\\InprocServer32\n    (Default)    REG_SZ    C:\\lib\\x.so\n",
       ""},
      {{"query", "HKLM\\Software\\Nothing"}, 1, "", kNotFound},
      {{"query", corvane, "/v", "Nothing"}, 1, "", kNotFound},
      {{"add", corvane, "/v", "Bad", "/t", "REG_DWORD", "/d", "12x"}, 1, "", "ERROR: invalid REG_DWORD data"},
      {{"add", corvane, "/v", "Big", "/t", "REG_DWORD", "/d", "4294967296"}, 1, "", "ERROR: invalid REG_DWORD data"},
      {{"add", corvane, "/v", "Bin", "/t", "REG_BINARY", "/d", "00"}, 1, "", "ERROR: unsupported type"},
      {{"add", corvane, "/v"}, 1, "", "ERROR: invalid syntax"},
      {{"add", "HKLM"}, 1, "", "ERROR: a subkey of HKEY_LOCAL_MACHINE is needed"},
      {{"query", "HKCU\\Software"}, 1, "", "ERROR: invalid key name"},
      {{"query", corvane, "/x"}, 1, "", "ERROR: invalid syntax"},
      {{"frobnicate"}, 1, "", "ERROR: invalid syntax"},
      {{}, 1, "", "ERROR: invalid syntax"},
      {{"/?"}, 0, kAny, ""},
      {{"delete", corvane, "/v", "Hex"}, 0, kDone, ""},
      {{"query", corvane, "/v", "Hex"}, 1, "", kNotFound},
      {{"delete", corvane, "/v", "Hex"}, 1, "", kNotFound},
      {{"export", exported}, 0, kDone, ""},
      {{"delete", "HKLM\\Software\\KIV"}, 0, kDone, ""},  // a whole subtree, without asking
      {{"query", corvane}, 1, "", kNotFound},
      {{"import", broken}, 1, "", "ERROR: "},
      {{"import", exported}, 0, kDone, ""},
      {{"query", corvane, "/v", "ServerIPAddr"}, 0, "\nHKEY_LOCAL_MACHINE\\Software\\KIV\\Corvane\n    ServerIPAddr    REG_SZ    127.0.0.1\n", ""},
      {{"import", (prefix.path() / "absent.reg").string()}, 1, "", "ERROR: cannot read"},
  };
  for (const Step& step : steps) {
    std::string command;
    for (const std::string& arg : step.args) command += " " + arg;
    SCOPED_TRACE("reg" + command);
    const Outcome outcome = RunReg(step.args, prefix.path());
    EXPECT_EQ(outcome.exit_code, step.exit_code);
    if (step.out != kAny) {
      EXPECT_EQ(outcome.out, step.out);
    }
    if (*step.err == '\0') {
      EXPECT_EQ(outcome.err, "");
    } else {
      EXPECT_EQ(outcome.err.rfind(step.err, 0), 0u) << outcome.err;
      EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << outcome.err;
    }
  }
  EXPECT_NE(RunReg({"import", broken}, prefix.path()).err.find(broken + " line 3: "), std::string::npos);
  // The export is the hive as it was then, in the hive's own format.
  EXPECT_EQ(kivtest::ReadWholeFile(exported), kivtest::ReadWholeFile(prefix.path() / "registry.reg"));
}

TEST(RegToolTest, ACorruptHiveIsReportedWithFileAndLineAndKept) {
  kivtest::ScopedPrefix prefix;
  const std::filesystem::path hive = prefix.path() / "registry.reg";
  const std::string text = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\n";
  kivtest::WriteWholeFile(hive, text);
  const std::vector<std::vector<std::string>> commands = {
      {"query", "HKLM\\Software"},
      {"add", "HKLM\\Software\\KIV", "/v", "x", "/d", "y"},
      {"delete", "HKLM\\Software"},
      {"export", (prefix.path() / "out.reg").string()},
  };
  for (const auto& args : commands) {
    SCOPED_TRACE(args[0]);
    const Outcome outcome = RunReg(args, prefix.path());
    EXPECT_EQ(outcome.exit_code, 1);
    EXPECT_EQ(outcome.err, "ERROR: " + hive.string() + " line 3: a section line must end with ]\n");
    EXPECT_EQ(kivtest::ReadWholeFile(hive), text);
  }
}

}  // namespace
