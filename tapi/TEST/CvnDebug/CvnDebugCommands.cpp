// The command table, its lookup and the command loop.
#include "CvnDebugCommands.h"

#include <string>

#include "CvnDebugConsole.h"
#include "CvnDebugReader.h"

const CvnCommand g_CommandTable[] = {
    {"exit", nullptr},
    {"bye", nullptr},
    {"quit", nullptr},
    {"trace", CmdTrace},
    {"config", CmdConfig},
    {"offhook", CmdOffhook},
    {"oh", CmdOffhook},
    {"dial", CmdDial},
    {"call", CmdDial},
    {"answer", CmdAnswer},
    {"ans", CmdAnswer},
    {"onhook", CmdOnhook},
    {"hangup", CmdOnhook},
    {"hu", CmdOnhook},
    {"transfer", CmdTransfer},
    {"xfer", CmdTransfer},
    {"transferend", CmdTransferEnd},
    {"xferend", CmdTransferEnd},
    {"xfer2", CmdTransferEnd},
    {"conference", CmdConference},
    {"conf", CmdConference},
    {"conferenceend", CmdConferenceEnd},
    {"confend", CmdConferenceEnd},
    {"conf2", CmdConferenceEnd},
    {"addtoconf", CmdConferenceEnd},
    {"hold", CmdHold},
    {"unhold", CmdUnhold},
    {"autodial", CmdAutoDial},
    {"autoans", CmdAutoAnswer},
    {"autoanswer", CmdAutoAnswer},
    {"stopat", CmdStopAutoTest},
    {"stopautotest", CmdStopAutoTest},
    {"createobj", CmdCreateObj},
    {"connect", CmdConnect},
    {"reg", CmdRegister},
    {"register", CmdRegister},
    {"unreg", CmdUnregister},
    {"unregister", CmdUnregister},
    {"disconnect", CmdDisconnect},
    {"destroyobj", CmdDestroyObj},
    {"autostart", CmdAutoStart},
    {"autostop", CmdAutoStop},
    {"regload", CmdRegLoad},
    {"park", CmdPark},
    {"unpark", CmdUnpark},
    {"pickupgrp", CmdPickupGroup},
    {"pickupdir", CmdPickupDirected},
    {"", CmdHelp},
};

const int g_nCommands = static_cast<int>(sizeof g_CommandTable / sizeof g_CommandTable[0]);

const CvnCommand& FindCommand(std::string_view strWord) {
  const int nLast = g_nCommands - 1;
  for (int i = 0; i < nLast; ++i) {
    if (strWord == g_CommandTable[i].szWord) return g_CommandTable[i];
  }
  return g_CommandTable[nLast];
}

bool RunCommandLine(std::string_view strLine, ArgList& args) {
  std::string strWord;
  if (!SplitCommandLine(strLine, strWord, args)) return true;
  const CvnCommand& command = FindCommand(strWord);
  if (command.pfnHandler == nullptr) return false;
  command.pfnHandler(args);
  return true;
}

void RunCommandLoop(std::FILE* pInput) {
  ArgList args;
  std::string strLine;
  for (;;) {
    PrintLocked("CvnDebug > ");
    // The end of input ends the loop like exit.
    if (!ReadLine(pInput, kCommandBufferSize, strLine)) return;
    if (!RunCommandLine(strLine, args)) return;
  }
}
