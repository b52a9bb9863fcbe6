// Threads: CreateThread and _beginthreadex over detached std::threads, suspension, priority,
// exit codes and ids. The thread's object is shared by its handle(s) and the running thread, so
// it lives until the last handle is closed and the thread has ended.
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <memory>
#include <system_error>
#include <thread>
#include <utility>

#include "handles.h"
#include "plat/sync.h"
#include "thread_object.h"

namespace plat {
namespace {

std::atomic<DWORD> g_next_thread_id{1};
thread_local std::shared_ptr<ThreadObject> t_self;

// Thrown by ExitThread, caught where the thread's function was called. Not a std::exception, so
// handlers for those let it pass.
struct ThreadExit {
  DWORD code;
};

DWORD NewThreadId() { return g_next_thread_id.fetch_add(1, std::memory_order_relaxed); }

void Run(const std::shared_ptr<ThreadObject>& self, const std::function<DWORD()>& body) {
  t_self = self;
  {
    std::unique_lock lock(KernelMutex());
    HoldWhileSuspended(lock, *self);  // created suspended: wait for the first ResumeThread
  }
  DWORD code = 0;
  try {
    code = body();
  } catch (const ThreadExit& exit) {
    code = exit.code;
  }
  {
    std::lock_guard lock(KernelMutex());
    self->exit_code = code;
    self->ended = true;
  }
  KernelChanged().notify_all();
}

HANDLE Start(std::function<DWORD()> body, DWORD flags, DWORD* thread_id) {
  auto self =
      std::make_shared<ThreadObject>(NewThreadId(), (flags & CREATE_SUSPENDED) != 0 ? 1 : 0, true);
  try {
    std::thread([self, body = std::move(body)] { Run(self, body); }).detach();
  } catch (const std::system_error&) {
    SetLastError(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    return nullptr;
  }
  if (thread_id != nullptr) *thread_id = self->id();
  return InsertHandle(std::move(self));
}

bool IsValidPriority(int priority) {
  return priority == THREAD_PRIORITY_IDLE || priority == THREAD_PRIORITY_TIME_CRITICAL ||
         (priority >= THREAD_PRIORITY_LOWEST && priority <= THREAD_PRIORITY_HIGHEST);
}

constexpr DWORD kFailedCount = 0xFFFFFFFFu;

}  // namespace

const std::shared_ptr<ThreadObject>& CurrentThreadObject() {
  if (!t_self) t_self = std::make_shared<ThreadObject>(NewThreadId(), 0, false);
  return t_self;
}

void HoldWhileSuspended(std::unique_lock<std::mutex>& lock, const ThreadObject& self) {
  KernelChanged().wait(lock, [&self] { return self.suspend_count == 0; });
}

}  // namespace plat

extern "C" HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE lpStartAddress,
                               LPVOID lpParameter, DWORD dwCreationFlags, LPDWORD lpThreadId) {
  if (lpStartAddress == nullptr) {
    SetLastError(static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    return nullptr;
  }
  return plat::Start([lpStartAddress, lpParameter] { return lpStartAddress(lpParameter); },
                     dwCreationFlags, lpThreadId);
}

extern "C" uintptr_t _beginthreadex(void*, unsigned, unsigned(__stdcall* start_address)(void*),
                                    void* arglist, unsigned initflag, unsigned* thrdaddr) {
  if (start_address == nullptr) {
    SetLastError(static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    return 0;
  }
  DWORD id = 0;
  HANDLE handle =
      plat::Start([start_address, arglist] { return static_cast<DWORD>(start_address(arglist)); },
                  initflag, &id);
  if (handle != nullptr && thrdaddr != nullptr) *thrdaddr = id;
  return reinterpret_cast<uintptr_t>(handle);
}

extern "C" DWORD SuspendThread(HANDLE hThread) {
  auto thread = plat::LookupHandleAs<plat::ThreadObject>(hThread);
  if (!thread) return plat::kFailedCount;
  std::unique_lock lock(plat::KernelMutex());
  const DWORD previous = thread->suspend_count++;
  // Suspending oneself takes effect at once: this call is the thread's next wait.
  if (thread == plat::CurrentThreadObject()) plat::HoldWhileSuspended(lock, *thread);
  return previous;
}

extern "C" DWORD ResumeThread(HANDLE hThread) {
  auto thread = plat::LookupHandleAs<plat::ThreadObject>(hThread);
  if (!thread) return plat::kFailedCount;
  DWORD previous = 0;
  {
    std::lock_guard lock(plat::KernelMutex());
    previous = thread->suspend_count;
    if (previous > 0) --thread->suspend_count;
  }
  if (previous == 1) plat::KernelChanged().notify_all();
  return previous;
}

extern "C" BOOL SetThreadPriority(HANDLE hThread, int nPriority) {
  if (!plat::IsValidPriority(nPriority)) {
    SetLastError(static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    return FALSE;
  }
  auto thread = plat::LookupHandleAs<plat::ThreadObject>(hThread);
  if (!thread) return FALSE;
  std::lock_guard lock(plat::KernelMutex());
  thread->priority = nPriority;
  return TRUE;
}

extern "C" int GetThreadPriority(HANDLE hThread) {
  auto thread = plat::LookupHandleAs<plat::ThreadObject>(hThread);
  if (!thread) return THREAD_PRIORITY_ERROR_RETURN;
  std::lock_guard lock(plat::KernelMutex());
  return thread->priority;
}

extern "C" BOOL GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
  auto thread = plat::LookupHandleAs<plat::ThreadObject>(hThread);
  if (!thread) return FALSE;
  if (lpExitCode == nullptr) {
    SetLastError(static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    return FALSE;
  }
  std::lock_guard lock(plat::KernelMutex());
  *lpExitCode = thread->ended ? thread->exit_code : STILL_ACTIVE;
  return TRUE;
}

extern "C" void ExitThread(DWORD dwExitCode) {
  if (plat::CurrentThreadObject()->made_here()) throw plat::ThreadExit{dwExitCode};
  pthread_exit(nullptr);  // a thread the platform did not start has no exit code to report
}

extern "C" HANDLE GetCurrentThread() { return plat::CurrentThreadPseudoHandle(); }

extern "C" DWORD GetCurrentThreadId() { return plat::CurrentThreadObject()->id(); }

extern "C" DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }
