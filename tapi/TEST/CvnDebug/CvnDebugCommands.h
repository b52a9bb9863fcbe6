// The command table and every command handler of the debugger shell.
// Handlers run on the shell thread only; each takes the arguments that follow the command word.
#pragma once

#include <cstdio>
#include <string_view>

#include "arglist.h"

using CvnCommandHandler = void (*)(ArgList& args);

struct CvnCommand {
  char szWord[32];
  CvnCommandHandler pfnHandler;  // null: leave the command loop
};

// Searched in order; the last entry is the sentinel (empty word, prints the help text).
extern const CvnCommand g_CommandTable[];
extern const int g_nCommands;

// Splits one typed line and runs its command; a blank line does nothing. Returns false when
// the command leaves the loop (exit, bye, quit).
bool RunCommandLine(std::string_view strLine, ArgList& args);

// Prompts, reads and runs commands from pInput until a leaving command or the end of input.
void RunCommandLoop(std::FILE* pInput);

// The first entry whose word equals strWord (already lower case), else the sentinel.
const CvnCommand& FindCommand(std::string_view strWord);

// Object lifecycle, configuration and trace (CvnDebugSession.cpp).
void CmdTrace(ArgList& args);
void CmdConfig(ArgList& args);
void CmdCreateObj(ArgList& args);
void CmdConnect(ArgList& args);
void CmdRegister(ArgList& args);
void CmdUnregister(ArgList& args);
void CmdDisconnect(ArgList& args);
void CmdDestroyObj(ArgList& args);
void CmdAutoStart(ArgList& args);
void CmdAutoStop(ArgList& args);
void CmdHelp(ArgList& args);

// Call control (CvnDebugCallCtrl.cpp).
void CmdOffhook(ArgList& args);
void CmdDial(ArgList& args);
void CmdAnswer(ArgList& args);
void CmdOnhook(ArgList& args);
void CmdTransfer(ArgList& args);
void CmdTransferEnd(ArgList& args);
void CmdConference(ArgList& args);
void CmdConferenceEnd(ArgList& args);
void CmdHold(ArgList& args);
void CmdUnhold(ArgList& args);
void CmdPark(ArgList& args);
void CmdUnpark(ArgList& args);
void CmdPickupGroup(ArgList& args);
void CmdPickupDirected(ArgList& args);

// Automatic tests (CvnDebugAutoTest.cpp).
void CmdAutoDial(ArgList& args);
void CmdAutoAnswer(ArgList& args);
void CmdStopAutoTest(ArgList& args);
void CmdRegLoad(ArgList& args);
