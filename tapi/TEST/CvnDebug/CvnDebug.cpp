// CvnDebug: a console program with which a tester drives one endpoint of the call-control
// component for one extension by typed commands.
// Usage: CvnDebug [extension [/t]]   (/t: test mode, nothing is created before the prompt)
#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "CvnDebugArgCheck.h"
#include "CvnDebugCommands.h"
#include "CvnDebugConsole.h"
#include "CvnDebugMsgThread.h"
#include "CvnDebugSession.h"
#include "CvnDebugState.h"
#include "plat/com.h"

namespace {

// The extension from the command line or, without one, typed at a prompt.
std::string TakeExtension(int argc, char* argv[]) {
  if (argc == 2 || argc == 3) {
    if (argc == 3 && strcasecmp(argv[2], "/t") == 0) {
      g_bTestMode = true;
      g_bTrace = true;
    }
    return argv[1];
  }
  std::printf("Extension: ");
  std::fflush(stdout);
  std::string strExtension;
  ReadLine(stdin, kExtensionBufferSize, strExtension);
  std::printf("\n");
  return strExtension;
}

void CloseTracedHandle(HANDLE& hHandle, const char* pszKind) {
  if (hHandle == nullptr) return;
  TraceHandle(false, pszKind, hHandle);
  CloseHandle(hHandle);
  hHandle = nullptr;
}

}  // namespace

int main(int argc, char* argv[]) {
  std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);

  const std::string strExtension = TakeExtension(argc, argv);
  const std::size_t cchExtension = std::min(strExtension.size(), kMaxWordLength);
  std::memcpy(g_szExtension, strExtension.data(), cchExtension);
  g_szExtension[cchExtension] = '\0';
  if (!IsValidExtension(g_szExtension)) {
    std::printf("Syntax: CvnDebug extension\n");
    return -1;
  }
  std::printf("Current extension: %s\n", g_szExtension);
  std::printf("Main thread ID: %u, pseudo handle: %s\n", GetCurrentThreadId(),
              FormatPointer(GetCurrentThread()).c_str());
  PrintHelp();

  if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
    std::printf("Failed at CoInitializeEx()\n");
    return -1;
  }
  g_hMsgEvent = CreateEvent(nullptr, FALSE, FALSE, nullptr);
  TraceHandle(true, "EVENT ", g_hMsgEvent);
  g_hTermEvent = CreateEvent(nullptr, FALSE, FALSE, nullptr);
  TraceHandle(true, "EVENT ", g_hTermEvent);

  if (!g_bTestMode) AutoStart();
  RunCommandLoop(stdin);
  if (!g_bTestMode) AutoStop();

  EndMsgHandlerThread();
  CloseTracedHandle(g_hMsgThread, "THREAD ");
  CloseTracedHandle(g_hMsgEvent, "EVENT ");
  CloseTracedHandle(g_hTermEvent, "EVENT ");

  {
    std::lock_guard<std::mutex> lock(g_DialLock);
    SysFreeString(g_bstrDialExtension);
    g_bstrDialExtension = nullptr;
  }
  // An endpoint left by test mode goes before COM does.
  g_spIEndPoint.Take();
  CoFreeUnusedLibraries();
  CoUninitialize();
  return 0;
}
