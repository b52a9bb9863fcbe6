// Kernel objects behind HANDLEs (events, threads), waits, critical sections, time and ids.
// All functions may be called from any thread. One handle table per process (in winplat); a
// kernel object lives until its last handle is closed and, for a thread, until it has ended.
// Suspension takes effect at the target thread's next wait or Sleep here and holds it there.
#pragma once

#include "plat/types.h"

using LPTHREAD_START_ROUTINE = DWORD(WINAPI*)(LPVOID);

// Waits.
inline constexpr DWORD INFINITE = 0xFFFFFFFFu;
inline constexpr DWORD WAIT_OBJECT_0 = 0x00000000u;
inline constexpr DWORD WAIT_ABANDONED = 0x00000080u;
inline constexpr DWORD WAIT_TIMEOUT = 0x00000102u;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;
inline constexpr DWORD MAXIMUM_WAIT_OBJECTS = 64;

// Threads.
inline constexpr DWORD CREATE_SUSPENDED = 0x00000004u;
inline constexpr DWORD STILL_ACTIVE = 259;
inline constexpr int THREAD_PRIORITY_IDLE = -15;
inline constexpr int THREAD_PRIORITY_LOWEST = -2;
inline constexpr int THREAD_PRIORITY_BELOW_NORMAL = -1;
inline constexpr int THREAD_PRIORITY_NORMAL = 0;
inline constexpr int THREAD_PRIORITY_ABOVE_NORMAL = 1;
inline constexpr int THREAD_PRIORITY_HIGHEST = 2;
inline constexpr int THREAD_PRIORITY_TIME_CRITICAL = 15;
inline constexpr int THREAD_PRIORITY_ERROR_RETURN = 0x7FFFFFFF;

// Handles of every kind (events, threads, files).
extern "C" WINPLAT_API BOOL CloseHandle(HANDLE hObject);

// Events. The name is ignored: every event is private to its creator's process.
extern "C" WINPLAT_API HANDLE CreateEventA(LPSECURITY_ATTRIBUTES lpEventAttributes,
                                           BOOL bManualReset, BOOL bInitialState, LPCSTR lpName);
inline HANDLE CreateEvent(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset,
                          BOOL bInitialState, LPCSTR lpName) {
  return CreateEventA(lpEventAttributes, bManualReset, bInitialState, lpName);
}
extern "C" WINPLAT_API BOOL SetEvent(HANDLE hEvent);
extern "C" WINPLAT_API BOOL ResetEvent(HANDLE hEvent);

// Threads. The stack size and security are ignored. A thread handle is signalled when the
// thread ends; the thread keeps running if its handle is closed before.
extern "C" WINPLAT_API HANDLE CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes,
                                           SIZE_T dwStackSize,
                                           LPTHREAD_START_ROUTINE lpStartAddress,
                                           LPVOID lpParameter, DWORD dwCreationFlags,
                                           LPDWORD lpThreadId);
// The run-time library's starter: the same, returning the handle as a number (0 on failure).
extern "C" WINPLAT_API uintptr_t _beginthreadex(void* security, unsigned stack_size,
                                                unsigned(__stdcall* start_address)(void*),
                                                void* arglist, unsigned initflag,
                                                unsigned* thrdaddr);
// Both return the previous suspend count, 0xFFFFFFFF on failure.
extern "C" WINPLAT_API DWORD ResumeThread(HANDLE hThread);
extern "C" WINPLAT_API DWORD SuspendThread(HANDLE hThread);
// Best effort: the value is kept and reported back; the scheduler is not asked.
extern "C" WINPLAT_API BOOL SetThreadPriority(HANDLE hThread, int nPriority);
extern "C" WINPLAT_API int GetThreadPriority(HANDLE hThread);
extern "C" WINPLAT_API BOOL GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode);
// Ends the calling thread, which must have been made by CreateThread or _beginthreadex.
extern "C" [[noreturn]] WINPLAT_API void ExitThread(DWORD dwExitCode);
// A pseudo handle meaning "the calling thread"; needs no CloseHandle.
extern "C" WINPLAT_API HANDLE GetCurrentThread();
// Small, stable and unique per thread; the value CreateThread reports.
extern "C" WINPLAT_API DWORD GetCurrentThreadId();
extern "C" WINPLAT_API DWORD GetCurrentProcessId();

// Waits. bWaitAll FALSE: any of them, the lowest signalled index wins.
extern "C" WINPLAT_API DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
extern "C" WINPLAT_API DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles,
                                                    BOOL bWaitAll, DWORD dwMilliseconds);
extern "C" WINPLAT_API void Sleep(DWORD dwMilliseconds);

// Milliseconds since an arbitrary fixed point (system start); wraps at 2^32.
extern "C" WINPLAT_API DWORD GetTickCount();
extern "C" WINPLAT_API ULONGLONG GetTickCount64();

// Critical sections: recursive for their owner. The struct is embedded by the caller and holds
// only a pointer to the lock made by InitializeCriticalSection.
struct CRITICAL_SECTION {
  void* Lock;
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;

extern "C" WINPLAT_API void InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
extern "C" WINPLAT_API BOOL
InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION lpCriticalSection, DWORD dwSpinCount);
extern "C" WINPLAT_API void DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
extern "C" WINPLAT_API void EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
extern "C" WINPLAT_API void LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
extern "C" WINPLAT_API BOOL TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
