// KivLock: one Win32 critical section (recursive for its owner), initialised on construction
// and deleted on destruction; KivLockGuard holds a KivLock for a scope.
// A KivLock may be used from any thread; a KivLockGuard belongs to the thread that made it.
#pragma once

#include "plat/sync.h"

class KivLock {
 public:
  KivLock() { InitializeCriticalSection(&m_CriticalSection); }
  ~KivLock() { DeleteCriticalSection(&m_CriticalSection); }
  KivLock(const KivLock&) = delete;
  KivLock& operator=(const KivLock&) = delete;

  void Get() { EnterCriticalSection(&m_CriticalSection); }
  void Release() { LeaveCriticalSection(&m_CriticalSection); }

 private:
  CRITICAL_SECTION m_CriticalSection;
};

class KivLockGuard {
 public:
  explicit KivLockGuard(KivLock& lock) : m_Lock(lock) { m_Lock.Get(); }
  ~KivLockGuard() { m_Lock.Release(); }
  KivLockGuard(const KivLockGuard&) = delete;
  KivLockGuard& operator=(const KivLockGuard&) = delete;

 private:
  KivLock& m_Lock;
};
