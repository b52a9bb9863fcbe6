// Thread message queues and the WH_GETMESSAGE hook. Each thread gets its queue when it first
// calls PeekMessage or GetMessage (as on Windows); the queue ends with its thread. Any thread may
// post to a thread that has a queue; only the owning thread reads it. A WH_GETMESSAGE hook
// installed for a thread runs on that thread, inside its GetMessage/PeekMessage, for every
// message retrieved, before the caller sees it. There are no windows: messages are thread
// messages (hwnd null).
#pragma once

#include "plat/types.h"

using HWND = struct HWND__*;
using HHOOK = struct HHOOK__*;

struct POINT {
  LONG x;
  LONG y;
};

struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
};
using PMSG = MSG*;
using LPMSG = MSG*;

inline constexpr UINT WM_NULL = 0x0000;
inline constexpr UINT WM_QUIT = 0x0012;
inline constexpr UINT WM_USER = 0x0400;
inline constexpr UINT WM_APP = 0x8000;

// PeekMessage options.
inline constexpr UINT PM_NOREMOVE = 0x0000;
inline constexpr UINT PM_REMOVE = 0x0001;
inline constexpr UINT PM_NOYIELD = 0x0002;

// Hooks. Only WH_GETMESSAGE is provided.
inline constexpr int WH_GETMESSAGE = 3;
inline constexpr int HC_ACTION = 0;
using HOOKPROC = LRESULT (*)(int code, WPARAM wParam, LPARAM lParam);

extern "C" {
// Appends a message to the queue of thread idThread. FALSE with ERROR_INVALID_THREAD_ID when that
// thread has no queue (it never called PeekMessage/GetMessage, or it has ended).
WINPLAT_API BOOL PostThreadMessageA(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam);
// Waits for the next message of the calling thread's queue whose number lies in
// [wMsgFilterMin, wMsgFilterMax] (0, 0: any) and removes it. Returns 0 for WM_QUIT, non-zero for
// any other message, -1 (ERROR_INVALID_WINDOW_HANDLE) for a window handle other than null or
// (HWND)-1, since no windows exist.
WINPLAT_API BOOL GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax);
// As GetMessage without waiting: TRUE and the message when one is there (removed with
// PM_REMOVE, left in place with PM_NOREMOVE), else FALSE.
WINPLAT_API BOOL PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax,
                              UINT wRemoveMsg);
// Makes the calling thread's queue answer WM_QUIT (wParam nExitCode) once no other message is
// left in it.
WINPLAT_API void PostQuitMessage(int nExitCode);
// No windows and no keyboard translation: both do nothing (DispatchMessage returns 0).
WINPLAT_API BOOL TranslateMessage(const MSG* lpMsg);
WINPLAT_API LRESULT DispatchMessageA(const MSG* lpMsg);

// Installs a WH_GETMESSAGE hook for thread dwThreadId (the calling thread, or another thread that
// has a queue); hmod is not used. The newest hook of a thread is called first, with code
// HC_ACTION, wParam PM_REMOVE or PM_NOREMOVE and lParam the MSG* about to be returned (which the
// hook may change); it passes the message on with CallNextHookEx. Null with
// ERROR_INVALID_HOOK_FILTER for another hook type, ERROR_INVALID_PARAMETER for dwThreadId 0 (no
// global hooks) or a null procedure, ERROR_INVALID_THREAD_ID for another thread without a queue.
WINPLAT_API HHOOK SetWindowsHookExA(int idHook, HOOKPROC lpfn, HINSTANCE hmod, DWORD dwThreadId);
// Calls the hook after hhk in its thread's chain; 0 when there is none.
WINPLAT_API LRESULT CallNextHookEx(HHOOK hhk, int nCode, WPARAM wParam, LPARAM lParam);
// Removes a hook: messages retrieved afterwards skip it (a call already under way on the hook's
// thread may still finish). FALSE with ERROR_INVALID_HOOK_HANDLE for an unknown handle.
WINPLAT_API BOOL UnhookWindowsHookEx(HHOOK hhk);
}

// The names without the A suffix, as the deliverables write them.
inline BOOL PostThreadMessage(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam) {
  return PostThreadMessageA(idThread, Msg, wParam, lParam);
}
inline BOOL GetMessage(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
  return GetMessageA(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax);
}
inline BOOL PeekMessage(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax,
                        UINT wRemoveMsg) {
  return PeekMessageA(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, wRemoveMsg);
}
inline LRESULT DispatchMessage(const MSG* lpMsg) { return DispatchMessageA(lpMsg); }
inline HHOOK SetWindowsHookEx(int idHook, HOOKPROC lpfn, HINSTANCE hmod, DWORD dwThreadId) {
  return SetWindowsHookExA(idHook, lpfn, hmod, dwThreadId);
}
