#include "CvnDebugConsole.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "CvnDebugHelp.h"
#include "CvnDebugState.h"

void PrintLocked(const char* pszFormat, ...) {
  KivLockGuard lock(g_ConsoleLock);
  va_list args;
  va_start(args, pszFormat);
  std::vprintf(pszFormat, args);
  va_end(args);
  std::fflush(stdout);
}

void PrintUsage(const char* pszMessage) { std::fprintf(stderr, "%s\n", pszMessage); }

void PrintHelp() {
  const std::string strHelp = BuildHelpText();
  PrintLocked("%s", strHelp.c_str());
}

std::string FormatPointer(const void* p) {
  char szText[32];
  std::snprintf(szText, sizeof szText, "%08" PRIXPTR, reinterpret_cast<std::uintptr_t>(p));
  return szText;
}

void TraceHandle(bool bCreated, const char* pszKind, const void* hHandle) {
  if (!g_bTestMode) return;
  PrintLocked("HHHH %s HANDLE %s%s\n", bCreated ? "++++" : "----", pszKind,
              FormatPointer(hHandle).c_str());
}

void ExitFatal() {
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(-1);
}
