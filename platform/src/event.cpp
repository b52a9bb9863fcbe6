// Events: manual reset (stays signalled until ResetEvent) and auto reset (the wait it satisfies
// resets it, so each SetEvent releases exactly one waiter).
#include <memory>

#include "handles.h"
#include "plat/sync.h"

namespace plat {
namespace {

class EventObject final : public KernelObject {
 public:
  EventObject(bool manual_reset, bool initial_state)
      : signaled(initial_state), manual_reset_(manual_reset) {}

  bool IsWaitable() const override { return true; }
  bool IsSignaled() const override { return signaled; }
  void Consume() override {
    if (!manual_reset_) signaled = false;
  }

  // Guarded by KernelMutex().
  bool signaled;

 private:
  const bool manual_reset_;
};

BOOL SetSignaled(HANDLE handle, bool signaled) {
  auto event = LookupHandleAs<EventObject>(handle);
  if (!event) return FALSE;
  {
    std::lock_guard lock(KernelMutex());
    event->signaled = signaled;
  }
  if (signaled) KernelChanged().notify_all();
  return TRUE;
}

}  // namespace
}  // namespace plat

extern "C" HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState,
                               LPCSTR) {
  return plat::InsertHandle(
      std::make_shared<plat::EventObject>(bManualReset != FALSE, bInitialState != FALSE));
}

extern "C" BOOL SetEvent(HANDLE hEvent) { return plat::SetSignaled(hEvent, true); }

extern "C" BOOL ResetEvent(HANDLE hEvent) { return plat::SetSignaled(hEvent, false); }
