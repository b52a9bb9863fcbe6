// The automatic tests: dialling and answering driven by the message handler thread, and the
// registration load test on the shell thread.
#include "CvnDebugAutoTest.h"

#include <cstdio>
#include <string>

#include "CvnDebugArgCheck.h"
#include "CvnDebugCommands.h"
#include "CvnDebugConsole.h"
#include "CvnDebugSession.h"
#include "CvnDebugState.h"

namespace {

constexpr const char* kConflict =
    "ERROR: Auto Dial and Auto Answer can not be turned on at the same time";

// Milliseconds of a typed number of seconds, kept below INFINITE.
DWORD SecondsToMs(int nSeconds) {
  const unsigned long long ullMs =
      static_cast<unsigned long long>(nSeconds < 0 ? 0 : nSeconds) * 1000u;
  return ullMs < INFINITE ? static_cast<DWORD>(ullMs) : INFINITE - 1;
}

void PrintStars() { std::printf("\n%s\n", std::string(49, '*').c_str()); }

}  // namespace

void CmdAutoDial(ArgList& args) {
  const char* pszExtension = nullptr;
  int nInterval = 0;
  if (args.Count() != 2 || !args.GetInt(1, nInterval)) {
    PrintUsage("ERROR: usage: Autodial <Extension> <Interval>");
    return;
  }
  if (g_bAutoAnswer) {
    PrintUsage(kConflict);
    return;
  }
  CvnComPtr<ICvnEndPoint> spEndPoint = GetEndPointOrReport();
  if (!spEndPoint) return;
  args.GetString(0, pszExtension);
  g_lCallCount = 0;
  {
    std::lock_guard<std::mutex> lock(g_DialLock);
    SysFreeString(g_bstrDialExtension);
    g_bstrDialExtension = MakeNarrowBstr(pszExtension).release();
  }
  g_lDialInterval = nInterval;
  g_bAutoDial = true;
  spEndPoint->Offhook(0, g_lDefaultReqId);
}

void CmdAutoAnswer(ArgList& args) {
  int nDuration = 0;
  if (!GetInts(args, 1, &nDuration)) {
    PrintUsage("ERROR: usage: Autoans <Duration>");
    return;
  }
  if (g_bAutoDial) {
    PrintUsage(kConflict);
    return;
  }
  g_lCallCount = 0;
  g_lAnswerDuration = nDuration;
  g_bAutoAnswer = true;
}

void CmdStopAutoTest(ArgList&) {
  g_bAutoDial = false;
  g_bAutoAnswer = false;
}

void CmdRegLoad(ArgList& args) {
  int anValues[2] = {0, 0};
  if (!GetInts(args, 2, anValues)) {
    PrintUsage("ERROR: usage: RegLoad <times> <delay>");
    return;
  }
  const int nTimes = anValues[0];
  const DWORD dwDelay = SecondsToMs(anValues[1]);
  for (int i = 0; i < nTimes; ++i) {
    AutoStart();
    Sleep(dwDelay);
    AutoStop();
    Sleep(dwDelay);
    PrintLocked("RegLoad: completed times %d\n", i + 1);
  }
}

void AutoDialOnOffhookReply(ICvnEndPoint* pEndPoint, LONG lSAL1, LONG lReqId) {
  if (!g_bAutoDial || lReqId != g_lDefaultReqId) return;
  {
    std::lock_guard<std::mutex> lock(g_DialLock);
    pEndPoint->DialDigitsA(lSAL1, g_bstrDialExtension);
  }
  const int nCount = ++g_lCallCount;
  PrintStars();
  std::printf("Number of calls made: %d\n", nCount);
  std::printf("Call interval:        %d seconds\n\n", g_lDialInterval.load());
}

void AutoDialOnOnhookReply(ICvnEndPoint* pEndPoint) {
  if (!g_bAutoDial) return;
  Sleep(SecondsToMs(g_lDialInterval));
  pEndPoint->Offhook(0, g_lDefaultReqId);
}

void AutoAnswerOnNewCall(ICvnEndPoint* pEndPoint, LONG lSAL1) {
  if (g_bAutoAnswer) pEndPoint->Answer(lSAL1);
}

void AutoAnswerOnConnected(ICvnEndPoint* pEndPoint, LONG lSAL1) {
  if (!g_bAutoAnswer) return;
  const int nCount = ++g_lCallCount;
  const int nDuration = g_lAnswerDuration;
  PrintStars();
  std::printf("Number of calls answered: %d\n", nCount);
  std::printf("Call duration:            %d seconds\n\n", nDuration);
  std::fflush(stdout);
  Sleep(SecondsToMs(nDuration));
  pEndPoint->Onhook(lSAL1);
}
