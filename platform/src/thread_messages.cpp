// Thread message queues: one per thread that asked for it, found by thread id, ended with its
// thread. Posting appends under the queue's lock and wakes the owner; the owner alone reads.
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "plat/messages.h"
#include "plat/sync.h"
#include "thread_queue.h"

namespace {

class ThreadQueue {
 public:
  void Post(const MSG& msg) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      messages_.push_back(msg);
    }
    ready_.notify_one();
  }

  void PostQuit(int exit_code) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      quit_pending_ = true;
      quit_code_ = exit_code;
    }
    ready_.notify_one();
  }

  // Takes (or, without `remove`, copies) the first message in [min, max]; false when none.
  bool Take(UINT min, UINT max, bool remove, MSG* msg) {
    std::lock_guard<std::mutex> lock(mutex_);
    return TakeLocked(min, max, remove, msg);
  }

  // Waits for and removes the first message in [min, max].
  void Wait(UINT min, UINT max, MSG* msg) {
    std::unique_lock<std::mutex> lock(mutex_);
    ready_.wait(lock, [&] { return TakeLocked(min, max, true, msg); });
  }

 private:
  static bool Matches(UINT message, UINT min, UINT max) {
    return (min == 0 && max == 0) || (message >= min && message <= max);
  }

  bool TakeLocked(UINT min, UINT max, bool remove, MSG* msg) {
    for (auto it = messages_.begin(); it != messages_.end(); ++it) {
      if (!Matches(it->message, min, max)) continue;
      *msg = *it;
      if (remove) messages_.erase(it);
      return true;
    }
    // The quit request is answered once nothing else is waiting.
    if (quit_pending_ && Matches(WM_QUIT, min, max)) {
      *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(quit_code_), 0, GetTickCount(), {0, 0}};
      if (remove) quit_pending_ = false;
      return true;
    }
    return false;
  }

  std::mutex mutex_;
  std::condition_variable ready_;
  // State below is protected by mutex_.
  std::deque<MSG> messages_;
  bool quit_pending_ = false;
  int quit_code_ = 0;
};

// The queues by thread id.
class QueueDirectory {
 public:
  std::shared_ptr<ThreadQueue> Find(DWORD thread_id) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = queues_.find(thread_id);
    return it == queues_.end() ? nullptr : it->second;
  }
  void Add(DWORD thread_id, std::shared_ptr<ThreadQueue> queue) {
    std::lock_guard<std::mutex> lock(mutex_);
    queues_[thread_id] = std::move(queue);
  }
  void Remove(DWORD thread_id) {
    std::lock_guard<std::mutex> lock(mutex_);
    queues_.erase(thread_id);
  }

 private:
  std::mutex mutex_;
  std::unordered_map<DWORD, std::shared_ptr<ThreadQueue>> queues_;  // guarded by mutex_
};

// Never destroyed: threads may end (and remove their queues) while static destructors run.
QueueDirectory& Directory() {
  static QueueDirectory* directory = new QueueDirectory;
  return *directory;
}

// The calling thread's queue; its destructor ends the queue with the thread, so that posting to
// an ended thread fails and a reused thread id starts empty.
class QueueOwner {
 public:
  ~QueueOwner() {
    if (queue_ == nullptr) return;
    Directory().Remove(thread_id_);
    plat::DropThreadHooks(thread_id_);
  }

  ThreadQueue& Get() {
    if (queue_ == nullptr) {
      thread_id_ = GetCurrentThreadId();
      queue_ = std::make_shared<ThreadQueue>();
      Directory().Add(thread_id_, queue_);
    }
    return *queue_;
  }

 private:
  std::shared_ptr<ThreadQueue> queue_;
  DWORD thread_id_ = 0;
};

thread_local QueueOwner t_queue;

bool CheckWindow(HWND hWnd) {
  if (hWnd == nullptr || hWnd == reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1))) return true;
  SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return false;
}

}  // namespace

namespace plat {

void EnsureCurrentThreadQueue() { t_queue.Get(); }

bool ThreadHasQueue(DWORD thread_id) { return Directory().Find(thread_id) != nullptr; }

}  // namespace plat

extern "C" {

BOOL PostThreadMessageA(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam) {
  const std::shared_ptr<ThreadQueue> queue = Directory().Find(idThread);
  if (queue == nullptr) {
    SetLastError(ERROR_INVALID_THREAD_ID);
    return FALSE;
  }
  queue->Post(MSG{nullptr, Msg, wParam, lParam, GetTickCount(), {0, 0}});
  return TRUE;
}

BOOL GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
  if (lpMsg == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  if (!CheckWindow(hWnd)) return -1;
  t_queue.Get().Wait(wMsgFilterMin, wMsgFilterMax, lpMsg);
  const bool quit = lpMsg->message == WM_QUIT;
  plat::RunGetMessageHooks(lpMsg, PM_REMOVE);
  return quit ? 0 : 1;
}

BOOL PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg) {
  if (lpMsg == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!CheckWindow(hWnd)) return FALSE;
  const UINT remove = wRemoveMsg & PM_REMOVE;
  if (!t_queue.Get().Take(wMsgFilterMin, wMsgFilterMax, remove != 0, lpMsg)) return FALSE;
  plat::RunGetMessageHooks(lpMsg, remove);
  return TRUE;
}

void PostQuitMessage(int nExitCode) { t_queue.Get().PostQuit(nExitCode); }

BOOL TranslateMessage(const MSG* /*lpMsg*/) { return FALSE; }

LRESULT DispatchMessageA(const MSG* /*lpMsg*/) { return 0; }

}  // extern "C"
