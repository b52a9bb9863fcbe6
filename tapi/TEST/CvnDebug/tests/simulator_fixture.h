// A test fixture for running CvnDebug against the simulated Call Control Manager: a fresh
// prefix with the component registered and pointed at an in-process ccmsim server, whose
// message trace the test can wait on. The fixture is used from the test's thread; the trace is
// filled on the server's loop thread under trace_mutex_.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ccmsim/server.h"
#include "child_process.h"
#include "kivtest/prefix.h"

namespace cvndebug_test {

inline const std::string kPrompt = "CvnDebug > ";

// The built-in directory, and 150 with the debugger's password (owner "Ada Tester") and 151
// with another one.
inline constexpr const char* kTestDirectory =
    "phone 100-119 group=1\n"
    "phone 150 password=TRGX name=\"Ada Tester\"\n"
    "phone 151 password=OTHER\n"
    "virtual 200-209 group=2\n"
    "orbit 700-709\n";

class SimulatorTest : public testing::Test {
 protected:
  void SetUp() override;

  // CvnDebug with these arguments (the prefix's environment is inherited). Its prompts are
  // left out of the output: they may land between the pieces of a message.
  std::unique_ptr<ChildProcess> StartDebugger(const std::vector<std::string>& args);
  // Waits until a trace line of the server contains every one of the texts.
  bool WaitTrace(const std::vector<std::string>& texts, std::chrono::milliseconds timeout = kWait);
  std::vector<std::string> TraceLines() const;

  kivtest::ScopedPrefix prefix_;

 private:
  // Declared before the server, which traces until it is destroyed.
  mutable std::mutex trace_mutex_;
  std::vector<std::string> trace_;  // guarded by trace_mutex_

 protected:
  std::unique_ptr<ccmsim::Server> server_;
};

}  // namespace cvndebug_test
