// Waits on kernel objects and Sleep. Every wait holds KernelMutex() while it checks the objects
// and sleeps on KernelChanged() in between; a suspended thread is held here until resumed, and
// consumes an object (resets an auto-reset event) only when it actually returns.
#include <chrono>
#include <thread>
#include <vector>

#include "handles.h"
#include "plat/sync.h"
#include "thread_object.h"

namespace plat {
namespace {

using Clock = std::chrono::steady_clock;

DWORD Wait(const HANDLE* handles, DWORD count, bool wait_all, DWORD milliseconds) {
  const auto& self = CurrentThreadObject();
  const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  std::unique_lock lock(KernelMutex());
  std::vector<std::shared_ptr<KernelObject>> objects;
  objects.reserve(count);
  for (DWORD i = 0; i < count; ++i) {
    auto object = LookupHandleLocked(handles[i]);
    if (!object || !object->IsWaitable()) {
      SetLastError(static_cast<DWORD>(ERROR_INVALID_HANDLE));
      return WAIT_FAILED;
    }
    objects.push_back(std::move(object));
  }
  for (;;) {
    if (self->suspend_count == 0) {
      if (wait_all) {
        bool all = !objects.empty();
        for (const auto& object : objects) all = all && object->IsSignaled();
        if (all) {
          for (const auto& object : objects) object->Consume();
          return WAIT_OBJECT_0;
        }
      } else {
        for (DWORD i = 0; i < count; ++i) {
          if (objects[i]->IsSignaled()) {
            objects[i]->Consume();
            return WAIT_OBJECT_0 + i;
          }
        }
      }
      if (milliseconds != INFINITE && Clock::now() >= deadline) return WAIT_TIMEOUT;
    }
    if (self->suspend_count > 0 || milliseconds == INFINITE) {
      KernelChanged().wait(lock);
    } else {
      KernelChanged().wait_until(lock, deadline);
    }
  }
}

}  // namespace
}  // namespace plat

extern "C" DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  return plat::Wait(&hHandle, 1, false, dwMilliseconds);
}

extern "C" DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                                        DWORD dwMilliseconds) {
  if (nCount == 0 || nCount > MAXIMUM_WAIT_OBJECTS || lpHandles == nullptr) {
    SetLastError(static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    return WAIT_FAILED;
  }
  return plat::Wait(lpHandles, nCount, bWaitAll != FALSE, dwMilliseconds);
}

extern "C" void Sleep(DWORD dwMilliseconds) {
  if (dwMilliseconds == 0) {
    {
      std::unique_lock lock(plat::KernelMutex());
      plat::HoldWhileSuspended(lock, *plat::CurrentThreadObject());
    }
    std::this_thread::yield();
    return;
  }
  plat::Wait(nullptr, 0, false, dwMilliseconds);
}
