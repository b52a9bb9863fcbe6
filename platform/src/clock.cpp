// Tick counts: milliseconds of the monotonic clock (time since system start on Linux).
#include <ctime>

#include "plat/sync.h"

extern "C" ULONGLONG GetTickCount64() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<ULONGLONG>(now.tv_sec) * 1000u +
         static_cast<ULONGLONG>(now.tv_nsec) / 1000000u;
}

extern "C" DWORD GetTickCount() { return static_cast<DWORD>(GetTickCount64()); }
