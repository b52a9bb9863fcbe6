// The help text, line by line.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "CvnDebugHelp.h"

namespace {

TEST(HelpTextTest, NineteenLinesInOrder) {
  std::istringstream text(BuildHelpText());
  std::vector<std::string> lines;
  for (std::string line; std::getline(text, line);) lines.push_back(line);
  const std::vector<std::string> expected = {
      "Corvane COM Debugger",
      std::string(50, '-'),
      "offhook <reqid>                Go off hook",
      "dial <line> <addr>             Make an outgoing call",
      "answer <line>                  Answer an incoming call",
      "onhook <line>                  Hang up",
      "hold <line>                    Put a call on hold",
      "unhold <line>                  Retrieve a held call",
      "xfer <reqid>                   Transfer a connected call",
      "xfer2 <line>                   Complete a trasfer",
      "conf <reqid>                   Initiate a conference",
      "conf2 <line>                   Complete a conference",
      "trace                          Turn on/off trace capability",
      "config <ServIPAddr> <PortId>   Configure server",
      "park <line> <addr>\t\t\t\tPark a connected call",
      "unpark <line> <addr>\t\t\tUnPark a parked call",
      "pickupgrp <line> <grpid>\t\tPickup a group call",
      "pickupdir <line> <ext>\t\t\tPickup an extension within a group",
      "exit/quit/bye                  Go get a cup of coffee",
  };
  EXPECT_EQ(lines, expected);
  EXPECT_EQ(BuildHelpText().back(), '\n');
}

}  // namespace
