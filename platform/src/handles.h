// The process's handle table and the one lock behind every waitable object.
// KernelMutex() guards the table and the state of every event and thread object; whoever
// changes such state notifies KernelChanged() so that waiters re-check. Internal to winplat.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>

#include "plat/types.h"

namespace plat {

// Anything a HANDLE can name. Waitable kinds override the three hooks, which are called with
// KernelMutex() held.
class KernelObject {
 public:
  KernelObject() = default;
  KernelObject(const KernelObject&) = delete;
  KernelObject& operator=(const KernelObject&) = delete;
  virtual ~KernelObject() = default;

  virtual bool IsWaitable() const { return false; }
  virtual bool IsSignaled() const { return false; }
  // Called when a wait returns because of this object (an auto-reset event resets here).
  virtual void Consume() {}
};

std::mutex& KernelMutex();
std::condition_variable& KernelChanged();

// The pseudo handle GetCurrentThread returns.
inline HANDLE CurrentThreadPseudoHandle() {
  // NOLINTNEXTLINE(performance-no-int-to-ptr): handles are numbers
  return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2));
}

// Adds an object; the table holds one reference until CloseHandle. Takes KernelMutex().
HANDLE InsertHandle(std::shared_ptr<KernelObject> object);

// The object behind a handle (the calling thread's for the pseudo handle), or null.
// The first takes KernelMutex(); the second expects the caller to hold it.
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);
std::shared_ptr<KernelObject> LookupHandleLocked(HANDLE handle);

// The object behind a handle if it is of kind T; otherwise null with ERROR_INVALID_HANDLE set.
template <class T>
std::shared_ptr<T> LookupHandleAs(HANDLE handle) {
  auto object = std::dynamic_pointer_cast<T>(LookupHandle(handle));
  if (!object) SetLastError(static_cast<DWORD>(ERROR_INVALID_HANDLE));
  return object;
}

}  // namespace plat
