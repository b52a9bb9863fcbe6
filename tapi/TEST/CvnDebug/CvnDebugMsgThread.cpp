#include "CvnDebugMsgThread.h"

#include <cassert>
#include <cstdio>

#include "CvnDebugConsole.h"
#include "CvnDebugMsgPrint.h"
#include "CvnDebugState.h"

void SpawnMsgHandlerThread() {
  std::printf("SpawnMsgHandlerThread() is invoked\n");
  std::fflush(stdout);
  const uintptr_t uThread =
      _beginthreadex(nullptr, 0, CallCtrlMsgHandler, nullptr, CREATE_SUSPENDED, &g_uMsgThreadId);
  g_hMsgThread = reinterpret_cast<HANDLE>(uThread);
  if (g_hMsgThread == nullptr) {
    std::printf("Failed at CreateThread()\n");
    ExitFatal();
  }
  TraceHandle(true, "THREAD ", g_hMsgThread);
}

DWORD ResumeMsgHandlerThread() {
  const DWORD dwCount = ResumeThread(g_hMsgThread);
  PrintLocked("Thread Suspend Count: %u\n", dwCount);
  return dwCount;
}

DWORD SuspendMsgHandlerThread() {
  const DWORD dwCount = SuspendThread(g_hMsgThread);
  PrintLocked("Thread Suspend Count: %u\n", dwCount);
  return dwCount;
}

void EndMsgHandlerThread() {
  if (g_hMsgThread == nullptr) return;
  // A thread suspended more often than resumed (disconnect typed twice) would never see the
  // end event: resume it until it runs.
  DWORD dwPrevious = 0;
  do {
    dwPrevious = ResumeMsgHandlerThread();
  } while (dwPrevious > 1 && dwPrevious != 0xFFFFFFFFu);
  SetEvent(g_hTermEvent);
  const DWORD dwRet = WaitForSingleObject(g_hMsgThread, INFINITE);
  assert(dwRet == WAIT_OBJECT_0);
  (void)dwRet;
}

unsigned __stdcall CallCtrlMsgHandler(void*) {
  PrintLocked("CallCtrlMsgHandler thread is created, tid %u\n", GetCurrentThreadId());
  assert(g_hMsgEvent != nullptr);
  const HANDLE ahWait[] = {g_hMsgEvent, g_hTermEvent};
  for (;;) {
    const DWORD dwRet = WaitForMultipleObjects(2, ahWait, FALSE, INFINITE);
    if (dwRet == WAIT_OBJECT_0 + 1) {
      PrintLocked("CallCtrlMsgHandler thread is signaled to terminate\n");
      PrintLocked("CallCtrlMsgHandler thread is returning\n");
      return 0;
    }
    if (dwRet == WAIT_OBJECT_0) {
      HandleOneMessage();
      continue;
    }
    // An infinite wait on two valid events neither times out nor fails.
    assert(dwRet != WAIT_TIMEOUT && dwRet != WAIT_FAILED);
    if (dwRet == WAIT_FAILED) return 0;
  }
}
