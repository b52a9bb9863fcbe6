#include "CvnDebugHelp.h"

#include <string_view>

namespace {

struct HelpEntry {
  std::string_view strUsage;
  std::string_view strTabs;  // empty: the usage is padded with spaces to kUsageWidth
  std::string_view strDescription;
};

constexpr std::size_t kUsageWidth = 31;

constexpr HelpEntry kHelpEntries[] = {
    {"offhook <reqid>", "", "Go off hook"},
    {"dial <line> <addr>", "", "Make an outgoing call"},
    {"answer <line>", "", "Answer an incoming call"},
    {"onhook <line>", "", "Hang up"},
    {"hold <line>", "", "Put a call on hold"},
    {"unhold <line>", "", "Retrieve a held call"},
    {"xfer <reqid>", "", "Transfer a connected call"},
    {"xfer2 <line>", "", "Complete a trasfer"},
    {"conf <reqid>", "", "Initiate a conference"},
    {"conf2 <line>", "", "Complete a conference"},
    {"trace", "", "Turn on/off trace capability"},
    {"config <ServIPAddr> <PortId>", "", "Configure server"},
    {"park <line> <addr>", "\t\t\t\t", "Park a connected call"},
    {"unpark <line> <addr>", "\t\t\t", "UnPark a parked call"},
    {"pickupgrp <line> <grpid>", "\t\t", "Pickup a group call"},
    {"pickupdir <line> <ext>", "\t\t\t", "Pickup an extension within a group"},
    {"exit/quit/bye", "", "Go get a cup of coffee"},
};

}  // namespace

std::string BuildHelpText() {
  std::string strText = "Corvane COM Debugger\n";
  strText.append(50, '-').push_back('\n');
  for (const HelpEntry& entry : kHelpEntries) {
    strText.append(entry.strUsage);
    if (entry.strTabs.empty()) {
      strText.append(kUsageWidth - entry.strUsage.size(), ' ');
    } else {
      strText.append(entry.strTabs);
    }
    strText.append(entry.strDescription).push_back('\n');
  }
  return strText;
}
