// The automatic tests between two debuggers against the simulated Call Control Manager: one
// answers automatically, the other dials it automatically; and the registration load test.
#include <gtest/gtest.h>

#include "simulator_fixture.h"

namespace cvndebug_test {
namespace {

using ccmsim::MsgType;

constexpr std::chrono::milliseconds kCallWait{20000};
const std::string kConflict =
    "ERROR: Auto Dial and Auto Answer can not be turned on at the same time\n";

class AutoTestTest : public SimulatorTest {};

TEST_F(AutoTestTest, AutoDialAndAutoAnswerCompleteCalls) {
  auto answerer = StartDebugger({"110"});
  auto dialler = StartDebugger({"111"});
  ASSERT_TRUE(answerer->Expect("++++ eRegisterReply <<<< Status SUCCESS\n"));
  ASSERT_TRUE(dialler->Expect("++++ eRegisterReply <<<< Status SUCCESS\n"));

  answerer->WriteLine("autoans 1");
  answerer->WriteLine("autodial 111 1");
  ASSERT_TRUE(answerer->Expect(kConflict, Stream::kErr));
  dialler->WriteLine("autodial 110 1");
  dialler->WriteLine("autoans 1");
  ASSERT_TRUE(dialler->Expect(kConflict, Stream::kErr));

  for (int call = 1; call <= 2; ++call) {
    const std::string number = std::to_string(call);
    EXPECT_TRUE(dialler->Expect("\n" + std::string(49, '*') + "\nNumber of calls made: " + number +
                                    "\nCall interval:        1 seconds\n\n",
                                Stream::kOut, kCallWait))
        << call;
    EXPECT_TRUE(answerer->Expect("\n" + std::string(49, '*') + "\nNumber of calls answered: " +
                                     number + "\nCall duration:            1 seconds\n\n",
                                 Stream::kOut, kCallWait))
        << call;
  }
  dialler->WriteLine("stopat");
  answerer->WriteLine("stopat");
  EXPECT_GE(server_->ReceivedCount("111", MsgType::kDialDigits), 2);
  EXPECT_GE(server_->ReceivedCount("110", MsgType::kAnswer), 2);

  dialler->WriteLine("exit");
  answerer->WriteLine("exit");
  EXPECT_EQ(dialler->WaitExit(kCallWait), 0);
  EXPECT_EQ(answerer->WaitExit(kCallWait), 0);
}

TEST_F(AutoTestTest, RegLoadStartsAndStopsTwice) {
  auto debugger = StartDebugger({"112", "/t"});
  debugger->WriteLine("regload 2 1");
  for (int round = 1; round <= 2; ++round) {
    const std::string number = std::to_string(round);
    ASSERT_TRUE(
        debugger->Expect("++++ eRegisterReply <<<< Status SUCCESS\n", Stream::kOut, kCallWait));
    ASSERT_TRUE(
        debugger->Expect("++++ eUnregisterReply <<<< Status SUCCESS\n", Stream::kOut, kCallWait));
    ASSERT_TRUE(
        debugger->Expect("RegLoad: completed times " + number + "\n", Stream::kOut, kCallWait));
  }
  EXPECT_EQ(server_->ReceivedCount("112", MsgType::kRegistration), 2);
  EXPECT_EQ(server_->ReceivedCount("112", MsgType::kUnregister), 2);
  debugger->WriteLine("exit");
  EXPECT_EQ(debugger->WaitExit(), 0);
}

}  // namespace
}  // namespace cvndebug_test
