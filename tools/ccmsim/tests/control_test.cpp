// The control commands against an in-process server: answers, argument rules, and that each
// command reaches the simulator.
#include "ccmsim/control.h"

#include <gtest/gtest.h>

#include "test_client.h"

namespace ccmsim::testing {
namespace {

TEST(ControlCommandsTest, AnswersEveryLineWithOkOrAnError) {
  Server server(ServerOptions{.directory = Directory::Default(20)});
  ASSERT_TRUE(server.Start().ok());
  ControlCommands control(server);
  struct Case {
    const char* line;
    const char* last;
  };
  const Case cases[] = {
      {"", ""},
      {"   # a comment", ""},
      {"bogus", "error: unknown command 'bogus' (try help)"},
      {"call 200", "error: usage: call FROM TO"},
      {"status now", "error: usage: status"},
      {"lift 100 x", "error: 'x' is not a line number"},
      {"lift 100", "error: extension 100 is not registered"},
      {"hook 200 65", "error: line 65 of 200 is not in use"},
      {"answer 201", "error: extension 201 is not ringing"},
      {"delay soon", "error: 'soon' is not a delay in milliseconds (0 to 3600000)"},
      {"refuse 200", "error: extension 200 is not a registrable extension"},
      {"mute 999", "error: extension 999 is not in the directory"},
      {"garbage 100", "error: extension 100 is not registered"},
      {"call 200 201", "ok"},
      {"refuse 100", "ok"},
      {"delay 0", "ok"},
      {"mute 100", "ok"},
      {"unmute 100", "ok"},
      {"drop", "ok"},
  };
  for (const Case& c : cases) {
    ControlCommands::Outcome outcome = control.Execute(c.line);
    EXPECT_EQ(outcome.lines.empty() ? "" : outcome.lines.back(), c.last) << c.line;
    EXPECT_FALSE(outcome.quit);
  }
  ASSERT_TRUE(server.WaitUntil([&] { return server.GetLineState("201", 65) == LineState::kConnected; }, kWait));
  EXPECT_EQ(control.Execute("digits 200 12").lines.back(), "ok");
  EXPECT_EQ(server.SentCount("201", MsgType::kDigitRemote), 2);
  EXPECT_EQ(control.Execute("hangup 201").lines.back(), "ok");
  EXPECT_EQ(server.GetLineState("200", 65), LineState::kIdle);
  ControlCommands::Outcome quit = control.Execute("quit");
  EXPECT_TRUE(quit.quit);
  EXPECT_EQ(quit.lines, std::vector<std::string>{"ok"});
}

TEST(ControlCommandsTest, HelpListsEveryCommandAndStatusShowsTheCalls) {
  Server server(ServerOptions{.directory = Directory::Default(20)});
  ASSERT_TRUE(server.Start().ok());
  ControlCommands control(server);
  const std::string help = ControlCommands::Help();
  for (const char* command : {"help", "status", "call FROM TO", "answer EXT", "hangup EXT", "digits EXT DIGITS",
                              "lift EXT [LINE]", "press EXT DIGITS", "hook EXT LINE", "refuse EXT", "mute EXT",
                              "unmute EXT", "delay MS", "drop", "garbage EXT [KIND]", "shutdown", "quit"}) {
    EXPECT_NE(help.find(command), std::string::npos) << command;
  }
  TestClient client(server.Port());
  client.Register("100");
  ASSERT_EQ(client.Next(), "100 0102");
  ASSERT_EQ(control.Execute("call 100 200").lines.back(), "ok");
  ASSERT_TRUE(server.WaitUntil([&] { return server.GetLineState("200", 65) == LineState::kConnected; }, kWait));
  const std::vector<std::string> status = control.Execute("status").lines;
  std::string all;
  for (const std::string& line : status) all += line + "\n";
  EXPECT_EQ(status.back(), "ok");
  EXPECT_NE(all.find("phone 100 \"Phone 100\" registered (connection 1) lines 65:connected"), std::string::npos) << all;
  EXPECT_NE(all.find("connected: 100/65 200/65"), std::string::npos) << all;
  EXPECT_NE(all.find("1 connection(s)"), std::string::npos) << all;
  EXPECT_EQ(control.Execute("shutdown").lines.back(), "ok");
  EXPECT_EQ(client.Next(3), "100 0301/65 100 0382/65/200 100 0383/65/200");
  EXPECT_EQ(client.Next(), "100 0105");
}

}  // namespace
}  // namespace ccmsim::testing
