// regsvr: registering the test server through its DllRegisterServer makes the class creatable,
// -u removes it again; failures give exit code 1 and name the HRESULT.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "com_test_support.h"
#include "kivtest/prefix.h"
#include "plat/com.h"

namespace {

struct ToolRun {
  int exit_code;
  std::string output;
};

// Runs build/bin/regsvr with `args` (already quoted) and the current KIV_PREFIX.
ToolRun Regsvr(const std::string& args) {
  const std::string command = "'" + (kivtest::BinDir() / "regsvr").string() + "' " + args + " 2>&1";
  ToolRun run{-1, {}};
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) run.output += buffer;
  const int status = pclose(pipe);
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

HRESULT TryCreate() {
  IUnknown* unknown = nullptr;
  const HRESULT hr = CoCreateInstance(kivtest::kTestObjectClsid, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IUnknown, reinterpret_cast<void**>(&unknown));
  if (unknown != nullptr) unknown->Release();
  return hr;
}

class ComRegsvrTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK); }
  void TearDown() override {
    CoFreeUnusedLibraries();
    CoUninitialize();
  }
  kivtest::ScopedPrefix prefix_;
};

TEST_F(ComRegsvrTest, RegistersAndUnregistersALibrary) {
  const std::string server = kivtest::TestComServerPath();
  ASSERT_EQ(TryCreate(), REGDB_E_CLASSNOTREG);

  const ToolRun registered = Regsvr("'" + server + "'");
  EXPECT_EQ(registered.exit_code, 0) << registered.output;
  EXPECT_EQ(registered.output,
            "regsvr: DllRegisterServer in " + server + " succeeded, hr 0x00000000\n");
  EXPECT_EQ(kivtest::RegisteredInprocServer(kivtest::kTestObjectClsid), server);
  EXPECT_EQ(TryCreate(), S_OK);

  const ToolRun unregistered = Regsvr("-u '" + server + "'");
  EXPECT_EQ(unregistered.exit_code, 0) << unregistered.output;
  EXPECT_EQ(unregistered.output,
            "regsvr: DllUnregisterServer in " + server + " succeeded, hr 0x00000000\n");
  EXPECT_EQ(kivtest::RegisteredInprocServer(kivtest::kTestObjectClsid), "");
  EXPECT_EQ(TryCreate(), REGDB_E_CLASSNOTREG);
}

TEST_F(ComRegsvrTest, FailsWithExitCodeOneAndTheResult) {
  const std::string lib_dir = kivtest::LibDir().string();
  struct Case {
    std::string args;
    std::string expected_start;
  };
  const Case cases[] = {
      {"'" + lib_dir + "/libkivnosuchserver.so'",
       "regsvr: cannot load " + lib_dir + "/libkivnosuchserver.so, hr 0x8007007E"},
      {"'" + lib_dir + "/libwinplat.so'",
       "regsvr: " + lib_dir + "/libwinplat.so has no DllRegisterServer, hr 0x8007007F\n"},
      {"", "usage: regsvr [-u] LIB\n"},
      {"-u -u x", "usage: regsvr [-u] LIB\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const ToolRun run = Regsvr(c.args);
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.output.substr(0, c.expected_start.size()), c.expected_start);
    EXPECT_EQ(run.output.find('\n'), run.output.size() - 1) << "one line: " << run.output;
  }
}

}  // namespace
