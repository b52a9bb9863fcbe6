// The kernel object of a thread: its id, suspend count, priority and end state.
// Every thread that calls the platform has one: threads made by CreateThread/_beginthreadex from
// their creation, any other thread from its first call. Fields are guarded by KernelMutex().
// Internal to winplat.
#pragma once

#include <memory>
#include <mutex>

#include "handles.h"
#include "plat/sync.h"

namespace plat {

class ThreadObject final : public KernelObject {
 public:
  ThreadObject(DWORD id, DWORD suspend_count, bool made_here)
      : suspend_count(suspend_count), id_(id), made_here_(made_here) {}

  DWORD id() const { return id_; }
  // True for threads made by CreateThread/_beginthreadex.
  bool made_here() const { return made_here_; }

  bool IsWaitable() const override { return true; }
  bool IsSignaled() const override { return ended; }

  // State below is guarded by KernelMutex().
  DWORD suspend_count;
  bool ended = false;
  DWORD exit_code = STILL_ACTIVE;
  int priority = THREAD_PRIORITY_NORMAL;

 private:
  const DWORD id_;
  const bool made_here_;
};

// The calling thread's object; made on first use for threads the platform did not start.
// Does not take KernelMutex().
const std::shared_ptr<ThreadObject>& CurrentThreadObject();

// Blocks, with KernelMutex() held through `lock`, while `self` is suspended.
void HoldWhileSuspended(std::unique_lock<std::mutex>& lock, const ThreadObject& self);

}  // namespace plat
