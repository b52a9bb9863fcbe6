// Critical sections: each holds a pointer to a heap recursive mutex, made by
// InitializeCriticalSection and freed by DeleteCriticalSection.
#include <mutex>

#include "plat/sync.h"

namespace {
std::recursive_mutex& LockOf(LPCRITICAL_SECTION section) {
  return *static_cast<std::recursive_mutex*>(section->Lock);
}
}  // namespace

extern "C" void InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  lpCriticalSection->Lock = new std::recursive_mutex;
}

extern "C" BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION lpCriticalSection, DWORD) {
  InitializeCriticalSection(lpCriticalSection);
  return TRUE;
}

extern "C" void DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  delete static_cast<std::recursive_mutex*>(lpCriticalSection->Lock);
  lpCriticalSection->Lock = nullptr;
}

extern "C" void EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  LockOf(lpCriticalSection).lock();
}

extern "C" void LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  LockOf(lpCriticalSection).unlock();
}

extern "C" BOOL TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  return LockOf(lpCriticalSection).try_lock() ? TRUE : FALSE;
}
