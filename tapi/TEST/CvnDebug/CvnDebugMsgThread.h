// The message handler thread CallCtrlMsgHandler: its creation (suspended), resumption and
// suspension by the shell, its loop, and its end at shut-down.
// The control functions run on the shell thread; CallCtrlMsgHandler is the thread itself.
#pragma once

#include "plat/types.h"

// Creates the thread suspended into g_hMsgThread; a failure is fatal.
void SpawnMsgHandlerThread();
// Resume / suspend once and print "Thread Suspend Count: " with the previous count.
DWORD ResumeMsgHandlerThread();
DWORD SuspendMsgHandlerThread();
// Shut-down: resumes the thread until it runs, signals g_hTermEvent and waits for its end.
// Nothing to do when the thread was never created.
void EndMsgHandlerThread();

// The thread procedure: prints every message of the endpoint until g_hTermEvent; returns 0.
unsigned __stdcall CallCtrlMsgHandler(void* pvUnused);
