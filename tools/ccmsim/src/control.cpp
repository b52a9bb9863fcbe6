// Control commands: parsing the words and calling the Server.
#include "ccmsim/control.h"

#include <charconv>
#include <sstream>

namespace ccmsim {
namespace {

std::vector<std::string> Words(std::string_view line) {
  std::istringstream in{std::string(line)};
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

bool ParseNumber(const std::string& text, int max, int& value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size() && value >= 0 && value <= max;
}

struct Command {
  const char* name;
  size_t min_args;
  size_t max_args;
  const char* usage;
};

constexpr Command kCommands[] = {
    {"help", 0, 0, "help                     this list"},
    {"status", 0, 0, "status                   connections, registrations, lines in use, calls"},
    {"call", 2, 2, "call FROM TO             FROM goes off hook and dials TO"},
    {"answer", 1, 1, "answer EXT               EXT answers its ringing line"},
    {"hangup", 1, 1, "hangup EXT               EXT hangs up the line in use (connected first)"},
    {"digits", 2, 2, "digits EXT DIGITS        EXT sends DIGITS as tones on its connected call"},
    {"lift", 1, 2, "lift EXT [LINE]          EXT goes off hook (off-hook reply, request id 0)"},
    {"press", 2, 2, "press EXT DIGITS         EXT keys DIGITS: dials on the line with dial tone, else tones"},
    {"hook", 2, 2, "hook EXT LINE            EXT puts LINE (65-76) on hook"},
    {"refuse", 1, 1, "refuse EXT               the next registration of EXT is refused"},
    {"mute", 1, 1, "mute EXT                 withhold every message for EXT until unmute"},
    {"unmute", 1, 1, "unmute EXT               send what was withheld, in order, and stop withholding"},
    {"delay", 1, 1, "delay MS                 every message leaves MS milliseconds late (0: at once)"},
    {"drop", 0, 0, "drop                     close every client connection"},
    {"garbage", 1, 2, "garbage EXT [KIND]       send a malformed frame to EXT's connection; KIND:"},
    {"shutdown", 0, 0, "shutdown                 announce shutdown (0x0105) to every registered extension and"},
    {"quit", 0, 0, "quit                     announce shutdown and end the program (also: end of input)"},
};

}  // namespace

const char* ControlCommands::Help() {
  static const std::string text = [] {
    std::string t;
    for (const Command& c : kCommands) {
      t += std::string("  ") + c.usage + "\n";
      if (std::string_view(c.name) == "garbage") {
        t += "                           magic (default), short, long, type or truncated\n";
      } else if (std::string_view(c.name) == "shutdown") {
        t += "                           close every connection; go on listening\n";
      }
    }
    t += "Telephone actions work at a virtual telephone and at a registered one; a registered\n"
         "telephone gets the replies and events it would get had it sent the request itself.\n";
    return t;
  }();
  return text.c_str();
}

ControlCommands::Outcome ControlCommands::Execute(std::string_view line) {
  Outcome outcome;
  const std::vector<std::string> words = Words(line.substr(0, line.find('#')));
  if (words.empty()) return outcome;
  const Command* command = nullptr;
  for (const Command& c : kCommands) {
    if (words[0] == c.name) command = &c;
  }
  if (command == nullptr) {
    outcome.lines.push_back("error: unknown command '" + words[0] + "' (try help)");
    return outcome;
  }
  const size_t args = words.size() - 1;
  if (args < command->min_args || args > command->max_args) {
    std::string usage = command->usage;
    usage = usage.substr(0, usage.find("  "));
    outcome.lines.push_back("error: usage: " + usage);
    return outcome;
  }
  const std::string& cmd = words[0];
  auto arg = [&](size_t i) -> const std::string& { return words[i]; };
  Status status;
  if (cmd == "help") {
    std::istringstream in(Help());
    for (std::string l; std::getline(in, l);) outcome.lines.push_back(l);
  } else if (cmd == "status") {
    outcome.lines = server_.StatusLines();
  } else if (cmd == "call") {
    status = server_.Call(arg(1), arg(2));
  } else if (cmd == "answer") {
    status = server_.Answer(arg(1));
  } else if (cmd == "hangup") {
    status = server_.Hangup(arg(1));
  } else if (cmd == "digits") {
    status = server_.Digits(arg(1), arg(2));
  } else if (cmd == "press") {
    status = server_.Press(arg(1), arg(2));
  } else if (cmd == "lift" || cmd == "hook") {
    int line_number = 0;
    if (args == 2 && !ParseNumber(arg(2), 0xFFFF, line_number)) {
      status = Status::Error("'" + arg(2) + "' is not a line number");
    } else if (cmd == "lift") {
      status = server_.Lift(arg(1), static_cast<uint16_t>(line_number));
    } else {
      status = server_.Hook(arg(1), static_cast<uint16_t>(line_number));
    }
  } else if (cmd == "refuse") {
    status = server_.Refuse(arg(1));
  } else if (cmd == "mute") {
    status = server_.Mute(arg(1));
  } else if (cmd == "unmute") {
    status = server_.Unmute(arg(1));
  } else if (cmd == "delay") {
    int ms = 0;
    if (!ParseNumber(arg(1), 3600 * 1000, ms)) {
      status = Status::Error("'" + arg(1) + "' is not a delay in milliseconds (0 to 3600000)");
    } else {
      server_.SetDelay(ms);
    }
  } else if (cmd == "drop") {
    server_.DropConnections();
  } else if (cmd == "garbage") {
    status = server_.SendGarbage(arg(1), args == 2 ? arg(2) : "magic");
  } else if (cmd == "shutdown") {
    server_.Shutdown();
  } else if (cmd == "quit") {
    outcome.quit = true;
  }
  outcome.lines.push_back(status.ok() ? "ok" : "error: " + status.message());
  return outcome;
}

}  // namespace ccmsim
