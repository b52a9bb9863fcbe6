// Console output of the debugger: printing under g_ConsoleLock, the help text, handle trace
// lines, pointer formatting and the immediate exit of fatal failures.
// Callable from the shell thread and the message handler thread.
#pragma once

#include <string>

// printf to standard output under g_ConsoleLock, then flush.
void PrintLocked(const char* pszFormat, ...) __attribute__((format(printf, 1, 2)));

// A usage or argument error: one line on standard error, without the lock.
void PrintUsage(const char* pszMessage);

// The 19 help lines, under g_ConsoleLock.
void PrintHelp();

// A value printed as a pointer: upper-case hexadecimal, at least eight digits.
std::string FormatPointer(const void* p);

// Test mode only: "HHHH ++++ HANDLE " (created) or "HHHH ---- HANDLE " (closed), the kind
// ("EVENT " or "THREAD ") and the handle, under g_ConsoleLock.
void TraceHandle(bool bCreated, const char* pszKind, const void* hHandle);

// Ends the process at once with exit code -1 after flushing the console; nothing is torn down.
[[noreturn]] void ExitFatal();
