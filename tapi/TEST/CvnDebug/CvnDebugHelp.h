// The debugger's help text: the title, a rule and one line per documented command.
// Pure; callable from any thread. Printing it (under the console lock) is CvnDebugConsole's.
#pragma once

#include <string>

// The 19 help lines, each ending in a line feed.
std::string BuildHelpText();
