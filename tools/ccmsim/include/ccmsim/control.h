// The operator's control commands: one text line in, the lines to answer with out, the last
// one "ok" or "error: ...". Drives a Server; used by the ccmsim program on its standard input.
// Not thread-safe: one thread feeds the lines (the Server itself may be used meanwhile).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ccmsim/server.h"

namespace ccmsim {

class ControlCommands {
 public:
  explicit ControlCommands(Server& server) : server_(server) {}

  struct Outcome {
    std::vector<std::string> lines;  // empty for a blank or comment line
    bool quit = false;               // the program should stop
  };
  Outcome Execute(std::string_view line);

  // The command list, one command per line.
  static const char* Help();

 private:
  Server& server_;
};

}  // namespace ccmsim
