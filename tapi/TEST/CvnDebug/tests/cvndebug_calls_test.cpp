// CvnDebug against the simulated Call Control Manager: start-up and shut-down in normal mode,
// the call-control commands as the server receives them, the printed messages and their field
// blocks, the trace dump, and the message handler thread in test mode.
#include <gtest/gtest.h>

#include "simulator_fixture.h"

namespace cvndebug_test {
namespace {

using ccmsim::MsgType;

const std::string kFieldRule = "\n" + std::string(47, '=') + "\n";

class CallsTest : public SimulatorTest {};

TEST_F(CallsTest, NormalModeRegistersAsksForTheOwnerAndUnregistersAtExit) {
  auto debugger = StartDebugger({"150"});
  ASSERT_TRUE(debugger->Expect("Current extension: 150\n"));
  ASSERT_TRUE(debugger->Expect("SpawnMsgHandlerThread() is invoked\n"));
  ASSERT_TRUE(debugger->Expect("Thread Suspend Count: 1\n"));
  ASSERT_TRUE(
      debugger->Expect("==== eAdministrativeMsg ++++ eRegisterReply <<<< Status SUCCESS\n"));
  ASSERT_TRUE(debugger->Expect("==== ePhoneConfigReplyMsg <<<< Name Ada Tester\n"));
  EXPECT_TRUE(server_->IsRegistered("150"));
  EXPECT_EQ(server_->ReceivedCount("150", MsgType::kPhoneQuery), 1);
  EXPECT_NE(debugger->All().find("CallCtrlMsgHandler thread is created, tid "), std::string::npos);

  debugger->WriteLine("exit");
  EXPECT_TRUE(
      debugger->Expect("==== eAdministrativeMsg ++++ eUnregisterReply <<<< Status SUCCESS\n"));
  EXPECT_TRUE(debugger->Expect("Thread Suspend Count: 0\n"));  // autostop suspends the thread
  EXPECT_TRUE(debugger->Expect("Thread Suspend Count: 1\n"));  // shut-down resumes it
  EXPECT_TRUE(debugger->Expect("CallCtrlMsgHandler thread is returning\n"));
  EXPECT_EQ(debugger->WaitExit(), 0);
  EXPECT_EQ(server_->ReceivedCount("150", MsgType::kUnregister), 1);
  EXPECT_FALSE(server_->IsRegistered("150"));
  EXPECT_EQ(debugger->All(Stream::kErr), "");
}

TEST_F(CallsTest, AnotherPasswordIsRefused) {
  auto debugger = StartDebugger({"151"});
  EXPECT_TRUE(debugger->Expect("==== eAdministrativeMsg ++++ eRegisterReply <<<< Status FAILED\n"));
  EXPECT_FALSE(server_->IsRegistered("151"));
}

TEST_F(CallsTest, CallControlReachesTheServer) {
  auto debugger = StartDebugger({"101"});
  ASSERT_TRUE(debugger->Expect("++++ eRegisterReply <<<< Status SUCCESS\n"));

  // Off hook with the default request id: the server chooses line 65 and echoes the id.
  debugger->WriteLine("offhook");
  ASSERT_TRUE(WaitTrace({"<- 101 BRIXO_CC_OFFHOOK line 0 id 4026531840"}));
  ASSERT_TRUE(debugger->Expect("==== eCallStatusMsg ++++ eOffhookReply <<<< Status SUCCESS\n" +
                               kFieldRule));
  const auto block = debugger->ReadUntil(" Dialed Num: ");
  ASSERT_TRUE(block);
  EXPECT_NE(block->find(" Cat: 20000 Type: 20001 "), std::string::npos) << *block;
  EXPECT_NE(block->find(" SAL1: 41 SAL2: 0 "), std::string::npos) << *block;
  EXPECT_NE(block->find(" Ext: 101 ReqId: f0000000 Stat: 0\n"), std::string::npos) << *block;

  // Dial the virtual telephone 200, which answers by itself.
  debugger->WriteLine("dial 1 200");
  ASSERT_TRUE(WaitTrace({"<- 101 BRIXO_CC_DIALDIGITS line 65 digits 200"}));
  ASSERT_TRUE(debugger->Expect("++++ eRingBack <<<< Status SUCCESS\n"));
  ASSERT_TRUE(debugger->Expect(" Dialed Num: 200\n"));
  ASSERT_TRUE(debugger->Expect("++++ eConnected <<<< Status SUCCESS\n"));

  const struct {
    std::string command;
    MsgType type;
    std::string trace;
    std::string printed;
  } steps[] = {
      {"hold", MsgType::kHold, "<- 101 BRIXO_CC_HOLD line 65",
       "++++ eHoldReply <<<< Status SUCCESS\n"},
      {"unhold 1", MsgType::kUnhold, "<- 101 BRIXO_CC_UNHOLD line 65",
       "++++ eUnholdReply <<<< Status SUCCESS\n"},
      {"park 1 700", MsgType::kPark, "<- 101 BRIXO_CC_PARK line 65 digits 700",
       "++++ eParkReply <<<< Status SUCCESS\n"},
  };
  for (const auto& step : steps) {
    debugger->WriteLine(step.command);
    EXPECT_TRUE(WaitTrace({step.trace})) << step.command;
    EXPECT_EQ(server_->ReceivedCount("101", step.type), 1) << step.command;
    EXPECT_TRUE(debugger->Expect(step.printed)) << step.command;
  }

  // An incoming call from 200 rings on line 65 again; answer and hang up.
  ASSERT_TRUE(server_->Call("201", "101").ok());
  ASSERT_TRUE(debugger->Expect("++++ eNewCall <<<< Status SUCCESS\n" + kFieldRule));
  ASSERT_TRUE(debugger->Expect(" SAL1: 41 SAL2: 0 Addr: 201 "));
  debugger->WriteLine("ans");
  ASSERT_TRUE(WaitTrace({"<- 101 BRIXO_CC_ANSWER line 65"}));
  ASSERT_TRUE(debugger->Expect("++++ eAnswerReply <<<< Status SUCCESS\n"));
  ASSERT_TRUE(debugger->Expect("++++ eConnected <<<< Status SUCCESS\n"));
  debugger->WriteLine("hangup 1");
  ASSERT_TRUE(WaitTrace({"<- 101 BRIXO_CC_ONHOOK line 65"}));
  ASSERT_TRUE(debugger->Expect("++++ eOnhookReply <<<< Status SUCCESS\n"));

  // Pickups: a call rings at 102; 101 takes it on line 2 by group, then on line 3 directly.
  auto neighbour = StartDebugger({"102"});
  ASSERT_TRUE(neighbour->Expect("++++ eRegisterReply <<<< Status SUCCESS\n"));
  ASSERT_TRUE(server_->Call("202", "102").ok());
  ASSERT_TRUE(neighbour->Expect("++++ eNewCall "));
  debugger->WriteLine("pickupgrp 2 1");
  ASSERT_TRUE(WaitTrace({"<- 101 ", "line 66 digits 1"}));
  EXPECT_EQ(server_->ReceivedCount("101", MsgType::kGroupPickup), 1);
  EXPECT_TRUE(debugger->Expect(" SAL1: 42 "));
  debugger->WriteLine("onhook 2");
  ASSERT_TRUE(WaitTrace({"<- 101 BRIXO_CC_ONHOOK line 66"}));

  ASSERT_TRUE(server_->Call("203", "102").ok());
  ASSERT_TRUE(neighbour->Expect("++++ eNewCall "));
  debugger->WriteLine("pickupdir 3 102");
  ASSERT_TRUE(WaitTrace({"<- 101 ", "line 67 digits 102"}));
  EXPECT_EQ(server_->ReceivedCount("101", MsgType::kDirectedPickup), 1);
  EXPECT_TRUE(debugger->Expect(" SAL1: 43 "));

  neighbour->WriteLine("exit");
  debugger->WriteLine("exit");
  EXPECT_EQ(neighbour->WaitExit(), 0);
  EXPECT_EQ(debugger->WaitExit(), 0);
  EXPECT_EQ(debugger->All(Stream::kErr), "");
}

// Test mode: every step typed by hand, the trace dump before each message, the thread's
// suspend counts with a live endpoint, and config.
TEST_F(CallsTest, TestModeStepByStep) {
  auto debugger = StartDebugger({"103", "/t"});
  ASSERT_TRUE(debugger->Expect("HHHH ++++ HANDLE EVENT "));
  EXPECT_EQ(server_->ConnectionCount(), 0u);
  debugger->WriteLine("createobj");
  debugger->WriteLine("createobj");
  ASSERT_TRUE(debugger->Expect("ERROR: g_spIEndPoint is not NULL\n"));
  debugger->WriteLine("connect");
  ASSERT_TRUE(debugger->Expect("Thread Suspend Count: 1\n"));
  debugger->WriteLine("reg");
  ASSERT_TRUE(debugger->Expect("\n\nCALL STATE MESSAGE DUMP\n"));
  ASSERT_TRUE(
      debugger->Expect("\n==== eAdministrativeMsg ++++ eRegisterReply <<<< Status SUCCESS\n"));
  ASSERT_TRUE(debugger->Expect("==== ePhoneConfigReplyMsg <<<< Name Phone 103\n"));

  debugger->WriteLine("trace");
  ASSERT_TRUE(debugger->Expect("Trace is OFF\n"));
  debugger->WriteLine("offhook 7");
  ASSERT_TRUE(WaitTrace({"<- 103 BRIXO_CC_OFFHOOK line 0 id 7"}));
  const auto before =
      debugger->ReadUntil("==== eCallStatusMsg ++++ eOffhookReply <<<< Status SUCCESS\n");
  ASSERT_TRUE(before);
  EXPECT_EQ(before->find("DUMP"), std::string::npos);
  ASSERT_TRUE(debugger->Expect(" Ext: 103 ReqId: 7 Stat: 0\n"));
  debugger->WriteLine("onhook");
  ASSERT_TRUE(debugger->Expect("++++ eOnhookReply <<<< Status SUCCESS\n"));

  const std::vector<std::pair<std::string, std::string>> steps = {
      {"connect", "Thread Suspend Count: 0\n"},
      {"disconnect", "Thread Suspend Count: 0\n"},
      {"connect", "Thread Suspend Count: 1\n"},
  };
  for (const auto& [command, expected] : steps) {
    debugger->WriteLine(command);
    EXPECT_TRUE(debugger->Expect(expected)) << command;
  }

  debugger->WriteLine("config 127.0.0.1 0");
  EXPECT_TRUE(
      debugger->Expect("Configuring server IP Addr and Port Id...\n"
                       "Restart to read new configuration information!\n"));
  // The disconnect closed the connection: register again on the new one, then unregister.
  debugger->WriteLine("reg");
  ASSERT_TRUE(
      debugger->Expect("==== eAdministrativeMsg ++++ eRegisterReply <<<< Status SUCCESS\n"));
  debugger->WriteLine("unreg");
  ASSERT_TRUE(
      debugger->Expect("==== eAdministrativeMsg ++++ eUnregisterReply <<<< Status SUCCESS\n"));
  debugger->WriteLine("disconnect");
  debugger->WriteLine("destroyobj");
  debugger->WriteLine("destroyobj");
  EXPECT_TRUE(debugger->Expect("ERROR: g_spIEndPoint is NULL\n"));
  debugger->WriteLine("exit");
  EXPECT_EQ(debugger->WaitExit(), 0);
  EXPECT_EQ(server_->ReceivedCount("103", MsgType::kUnregister), 1);
  // A port of 0 stands for the default port.
  ChildProcess query(kivtest::BinDir() / "reg",
                     {"query", "HKLM\\Software\\KIV\\Corvane", "/v", "ServerPortId"});
  EXPECT_TRUE(query.Expect("20485"));
  EXPECT_EQ(query.WaitExit(), 0);
}

}  // namespace
}  // namespace cvndebug_test
