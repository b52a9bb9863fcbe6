// CvnDebug as a process without a server: the command line and the extension check, test mode,
// the usage and line-number errors, the missing endpoint, the help text and the suspend counts
// of the message handler thread.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CvnDebugHelp.h"
#include "child_process.h"
#include "kivtest/prefix.h"

namespace {

using cvndebug_test::ChildProcess;
using cvndebug_test::Stream;

const std::string kPrompt = "CvnDebug > ";
const std::string kNoEndPoint = "ERROR: g_spIEndPoint is NULL\n";

std::filesystem::path Debugger() { return kivtest::BinDir() / "CvnDebug"; }

class ShellTest : public testing::Test {
 protected:
  kivtest::ScopedPrefix prefix_;
};

TEST_F(ShellTest, TestModeTracesTheEventsAndCreatesNothing) {
  ChildProcess debugger(Debugger(), {"1234", "/T"});
  ASSERT_TRUE(debugger.Expect("Current extension: 1234\n"));
  ASSERT_TRUE(debugger.Expect("Main thread ID: "));
  const auto help = debugger.ReadUntil("HHHH ++++ HANDLE EVENT ");
  ASSERT_TRUE(help);
  EXPECT_NE(help->find(BuildHelpText()), std::string::npos) << *help;
  ASSERT_TRUE(debugger.Expect("HHHH ++++ HANDLE EVENT "));
  const auto before_prompt = debugger.ReadUntil(kPrompt);
  ASSERT_TRUE(before_prompt);
  EXPECT_EQ(before_prompt->find("SpawnMsgHandlerThread"), std::string::npos);

  debugger.WriteLine("exit");
  EXPECT_EQ(debugger.WaitExit(), 0);
  const std::string rest = debugger.Pending();
  EXPECT_EQ(rest.find("THREAD"), std::string::npos) << rest;
  std::size_t closed = 0;
  for (std::size_t pos = rest.find("HHHH ---- HANDLE EVENT "); pos != std::string::npos;
       pos = rest.find("HHHH ---- HANDLE EVENT ", pos + 1)) {
    ++closed;
  }
  EXPECT_EQ(closed, 2u) << rest;
  EXPECT_EQ(debugger.All(Stream::kErr), "");
}

TEST_F(ShellTest, CommandLineAndExtensionCheck) {
  struct Case {
    std::vector<std::string> args;
    std::string input;
    std::string expected;  // on standard output
    int exit_code;
  };
  const Case cases[] = {
      {{"abc"}, "", "Syntax: CvnDebug extension\n", 255},
      {{"0"}, "", "Syntax: CvnDebug extension\n", 255},
      {{"-12", "/t"}, "", "Syntax: CvnDebug extension\n", 255},
      {{"12x", "/t"}, "exit\n", "Current extension: 12x\n", 0},
      {{"77", "/t"}, "quit\n", "HHHH ++++ HANDLE EVENT ", 0},
      {{"77", "/x"}, "", "Current extension: 77\n", 255},  // not test mode: no component here
      {{std::string(40, '5'), "/t"},
       "bye\n",
       "Current extension: " + std::string(31, '5') + "\n",
       0},
      {{}, "   \n", "Extension: \nSyntax: CvnDebug extension\n", 255},
      {{"1", "2", "3"}, "abc\n", "Extension: \nSyntax: CvnDebug extension\n", 255},
      // The prompt reads at most 30 characters.
      {{},
       std::string(40, '4') + "\n",
       "Extension: \nCurrent extension: " + std::string(30, '4') + "\n",
       255},
  };
  for (const Case& c : cases) {
    const std::string what = c.args.empty() ? "(no arguments)" : c.args[0];
    ChildProcess debugger(Debugger(), c.args);
    debugger.Write(c.input);
    debugger.CloseInput();
    EXPECT_TRUE(debugger.Expect(c.expected)) << what << "\n" << debugger.All();
    EXPECT_EQ(debugger.WaitExit(), c.exit_code) << what;
  }
}

TEST_F(ShellTest, WithoutTheComponentCreationIsFatal) {
  ChildProcess debugger(Debugger(), {"1234"});
  EXPECT_TRUE(debugger.Expect("Failed at CoCreateInstance()\n"));
  EXPECT_EQ(debugger.WaitExit(), 255);
  EXPECT_EQ(debugger.All().find(kPrompt), std::string::npos);
}

// Every case runs in one debugger in test mode, without an endpoint object: argument errors go
// to standard error and nothing else is printed; accepted commands find no endpoint.
TEST_F(ShellTest, UsageAndLineNumberErrors) {
  struct Case {
    std::string line;
    std::string err;  // expected on standard error, or empty
    std::string out;  // expected on standard output before the next prompt
  };
  const std::string invalid = "Invalid line number!\n";
  const Case cases[] = {
      {"dial", "ERROR: usage: Dial <Line> <Addr>\n", ""},
      {"call 1", "ERROR: usage: Dial <Line> <Addr>\n", ""},
      {"dial 1 2 3", "ERROR: usage: Dial <Line> <Addr>\n", ""},
      {"dial x 100", "ERROR: usage: Dial <Line> <Addr>\n", ""},
      {"dial 4 100", invalid, ""},
      {"dial 0 100", invalid, ""},
      {"DIAL 1 100", "", kNoEndPoint},
      {"answer 1 2", "ERROR: usage: Answer [<Line>]\n", ""},
      {"answer 4", invalid, ""},
      {"ans 0", invalid, ""},
      {"answer -1", "ERROR: usage: Answer [<Line>]\n", ""},
      {"answer", "", kNoEndPoint},
      {"offhook 1 2", "ERROR: usage: offhook [<ReqId>]\n", ""},
      {"oh 7x", "ERROR: usage: offhook [<ReqId>]\n", ""},
      {"offhook 7", "", kNoEndPoint},
      {"onhook 1 2", "ERROR: usage: Hangup [<Line>]\n", ""},
      {"hu 5", invalid, ""},
      {"hangup 3", "", kNoEndPoint},
      {"transfer 1 2", "ERROR: usage: xfer [<ReqId>]\n", ""},
      {"xferend 1 2", "ERROR: usage: xferend [<Line>]\n", ""},
      {"xfer2 9", invalid, ""},
      {"conf a", "ERROR: usage: conf [<ReqId>]\n", ""},
      {"addtoconf 1 2", "ERROR: usage: confend [<Line>]\n", ""},
      {"conf2 4", invalid, ""},
      {"hold 1 2", "ERROR: usage: Hold [<Line>]\n", ""},
      {"hold 4", invalid, ""},
      {"unhold 1 2", "ERROR: usage: Unhold [<Line>]\n", ""},
      {"park 1", "ERROR: usage: park <Line> <Addr>\n", ""},
      {"park 4 700", invalid, ""},
      {"unpark 1", "ERROR: usage: unpark <Line> <Addr>\n", ""},
      {"pickupgrp 1", "ERROR: usage: pickupgrp <line> <grpid>\n", ""},
      {"pickupdir 1 2 3", "ERROR: usage: pickupdir <line> <ext>\n", ""},
      {"pickupdir 0 1001", invalid, ""},
      {"pickupgrp 2 5", "", kNoEndPoint},
      {"config 127.0.0.1", "ERROR: usage: config <Server IP> <PortId>\n", ""},
      {"config 127.0.0.1 port", "ERROR: usage: config <Server IP> <PortId>\n", ""},
      {"config 127.0.0.1 0", "", kNoEndPoint},
      {"autodial 1001", "ERROR: usage: Autodial <Extension> <Interval>\n", ""},
      {"autodial 1001 -5", "ERROR: usage: Autodial <Extension> <Interval>\n", ""},
      {"autodial 1001 5", "", kNoEndPoint},
      {"autoans", "ERROR: usage: Autoans <Duration>\n", ""},
      {"autoanswer 1 2", "ERROR: usage: Autoans <Duration>\n", ""},
      {"autoans 10", "", ""},
      {"autodial 1001 5",
       "ERROR: Auto Dial and Auto Answer can not be turned on at the same time\n", ""},
      {"stopat", "", ""},
      {"autodial 1001 5", "", kNoEndPoint},
      {"regload 2", "ERROR: usage: RegLoad <times> <delay>\n", ""},
      {"regload 2 1s", "ERROR: usage: RegLoad <times> <delay>\n", ""},
      {"unreg", "", kNoEndPoint},
      {"register", "", kNoEndPoint + kNoEndPoint},
      {"destroyobj", "", kNoEndPoint},
      {"autostop", "", kNoEndPoint},
      {"trace", "", "Trace is OFF\n"},
      {"trace", "", "Trace is ON\n"},
      {" \t ", "", ""},
  };
  ChildProcess debugger(Debugger(), {"1234", "/t"});
  ASSERT_TRUE(debugger.Expect(kPrompt));
  for (const Case& c : cases) {
    debugger.WriteLine(c.line);
    const auto out = debugger.ReadUntil(kPrompt);
    ASSERT_TRUE(out) << c.line;
    EXPECT_EQ(*out, c.out) << c.line;
    if (!c.err.empty()) {
      const auto before = debugger.ReadUntil(c.err, Stream::kErr);
      EXPECT_TRUE(before) << c.line;
      EXPECT_EQ(before.value_or("?"), "") << c.line;
    }
    EXPECT_EQ(debugger.Pending(Stream::kErr), "") << c.line;
  }
  debugger.CloseInput();  // the end of input ends the program like exit
  EXPECT_EQ(debugger.WaitExit(), 0);
}

TEST_F(ShellTest, UnknownWordPrintsTheHelp) {
  ChildProcess debugger(Debugger(), {"1234", "/t"});
  ASSERT_TRUE(debugger.Expect(kPrompt));
  const std::string long_word(40, 'x');
  for (const std::string& word : {std::string("frobnicate"), std::string("EXITNOW"), long_word}) {
    debugger.WriteLine(word + " and arguments");
    const auto out = debugger.ReadUntil(kPrompt);
    ASSERT_TRUE(out) << word;
    EXPECT_EQ(*out, BuildHelpText()) << word;
  }
  debugger.WriteLine("quit");
  EXPECT_EQ(debugger.WaitExit(), 0);
}

// connect resumes and disconnect suspends the thread; shut-down makes it run whatever the count.
TEST_F(ShellTest, SuspendCountsOfConnectAndDisconnect) {
  ChildProcess debugger(Debugger(), {"1234", "/t"});
  ASSERT_TRUE(debugger.Expect(kPrompt));
  debugger.WriteLine("connect");
  ASSERT_TRUE(debugger.Expect(kNoEndPoint +
                              "SpawnMsgHandlerThread() is invoked\nHHHH ++++ HANDLE THREAD "));
  ASSERT_TRUE(debugger.Expect("Thread Suspend Count: 1\n"));
  ASSERT_TRUE(debugger.Expect(kPrompt));
  // The new thread announces itself at some point after it was resumed.
  ASSERT_TRUE(debugger.Contains("CallCtrlMsgHandler thread is created, tid "));
  const std::vector<std::pair<std::string, std::string>> steps = {
      {"connect", kNoEndPoint + "Thread Suspend Count: 0\n"},
      {"disconnect", "Thread Suspend Count: 0\n" + kNoEndPoint},
      {"connect", kNoEndPoint + "Thread Suspend Count: 1\n"},
      {"disconnect", "Thread Suspend Count: 0\n" + kNoEndPoint},
      {"disconnect", "Thread Suspend Count: 1\n" + kNoEndPoint},
  };
  for (const auto& [command, expected] : steps) {
    debugger.SkipPending();
    debugger.WriteLine(command);
    const auto out = debugger.ReadUntil(kPrompt);
    ASSERT_TRUE(out) << command;
    EXPECT_EQ(*out, expected) << command;
  }
  EXPECT_EQ(debugger.All().find("SpawnMsgHandlerThread", debugger.All().find("Spawn") + 1),
            std::string::npos);
  debugger.WriteLine("exit");
  EXPECT_TRUE(debugger.Expect("Thread Suspend Count: 2\nThread Suspend Count: 1\n"));
  EXPECT_TRUE(
      debugger.Expect("CallCtrlMsgHandler thread is signaled to terminate\n"
                      "CallCtrlMsgHandler thread is returning\n"));
  EXPECT_TRUE(debugger.Expect("HHHH ---- HANDLE THREAD "));
  EXPECT_EQ(debugger.WaitExit(), 0);
}

}  // namespace
