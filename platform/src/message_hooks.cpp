// WH_GETMESSAGE hooks: a chain per thread, newest first, run by that thread's GetMessage and
// PeekMessage. No lock is held while a hook procedure runs, so hooks may post, peek, install or
// remove hooks themselves.
#include <algorithm>
#include <cstdint>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "plat/messages.h"
#include "plat/sync.h"
#include "thread_queue.h"

namespace {

using HookId = std::uintptr_t;
using Chain = std::vector<HookId>;  // newest first

class HookTable {
 public:
  HHOOK Add(DWORD thread_id, HOOKPROC proc) {
    std::lock_guard<std::mutex> lock(mutex_);
    const HookId id = next_id_++;
    procs_[id] = Hook{thread_id, proc};
    Chain& chain = chains_[thread_id];
    chain.insert(chain.begin(), id);
    return reinterpret_cast<HHOOK>(id);
  }

  bool Remove(HookId id) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = procs_.find(id);
    if (it == procs_.end()) return false;
    Chain& chain = chains_[it->second.thread_id];
    chain.erase(std::remove(chain.begin(), chain.end(), id), chain.end());
    if (chain.empty()) chains_.erase(it->second.thread_id);
    procs_.erase(it);
    return true;
  }

  void RemoveThread(DWORD thread_id) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = chains_.find(thread_id);
    if (it == chains_.end()) return;
    for (HookId id : it->second) procs_.erase(id);
    chains_.erase(it);
  }

  // A copy of a thread's chain, taken when a message is retrieved.
  Chain ChainOf(DWORD thread_id) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = chains_.find(thread_id);
    return it == chains_.end() ? Chain{} : it->second;
  }

  // The thread of a live hook; false when the hook is not installed.
  bool ThreadOf(HookId id, DWORD* thread_id) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = procs_.find(id);
    if (it == procs_.end()) return false;
    *thread_id = it->second.thread_id;
    return true;
  }

  // Calls the first hook of `chain` from position `from` on that is still installed.
  LRESULT CallFrom(const Chain& chain, std::size_t from, int code, WPARAM wParam, LPARAM lParam) {
    for (std::size_t i = from; i < chain.size(); ++i) {
      HOOKPROC proc = nullptr;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = procs_.find(chain[i]);
        if (it != procs_.end()) proc = it->second.proc;
      }
      if (proc != nullptr) return proc(code, wParam, lParam);
    }
    return 0;
  }

 private:
  struct Hook {
    DWORD thread_id;
    HOOKPROC proc;
  };

  std::mutex mutex_;
  // State below is protected by mutex_.
  HookId next_id_ = 1;
  std::unordered_map<HookId, Hook> procs_;
  std::unordered_map<DWORD, Chain> chains_;
};

// Never destroyed: threads may end (and drop their hooks) while static destructors run.
HookTable& Table() {
  static HookTable* table = new HookTable;
  return *table;
}

// The chains being run on this thread, innermost last (a hook may itself retrieve messages).
// CallNextHookEx walks the chain as it was when the message was retrieved, so a hook that
// removes itself can still pass the message on.
thread_local std::vector<const Chain*> t_running;

class RunningChain {
 public:
  explicit RunningChain(const Chain* chain) { t_running.push_back(chain); }
  ~RunningChain() { t_running.pop_back(); }
  RunningChain(const RunningChain&) = delete;
  RunningChain& operator=(const RunningChain&) = delete;
};

}  // namespace

namespace plat {

void RunGetMessageHooks(MSG* msg, UINT remove) {
  const Chain chain = Table().ChainOf(GetCurrentThreadId());
  if (chain.empty()) return;
  RunningChain running(&chain);
  Table().CallFrom(chain, 0, HC_ACTION, remove, reinterpret_cast<LPARAM>(msg));
}

void DropThreadHooks(DWORD thread_id) { Table().RemoveThread(thread_id); }

}  // namespace plat

extern "C" {

HHOOK SetWindowsHookExA(int idHook, HOOKPROC lpfn, HINSTANCE /*hmod*/, DWORD dwThreadId) {
  if (idHook != WH_GETMESSAGE) {
    SetLastError(ERROR_INVALID_HOOK_FILTER);
    return nullptr;
  }
  if (lpfn == nullptr || dwThreadId == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // The hooked thread needs a queue, whose end removes the hook again.
  if (dwThreadId == GetCurrentThreadId()) {
    plat::EnsureCurrentThreadQueue();
  } else if (!plat::ThreadHasQueue(dwThreadId)) {
    SetLastError(ERROR_INVALID_THREAD_ID);
    return nullptr;
  }
  return Table().Add(dwThreadId, lpfn);
}

LRESULT CallNextHookEx(HHOOK hhk, int nCode, WPARAM wParam, LPARAM lParam) {
  const auto id = reinterpret_cast<HookId>(hhk);
  // Inside a running chain: continue after hhk in it.
  for (auto it = t_running.rbegin(); it != t_running.rend(); ++it) {
    const Chain& chain = **it;
    auto pos = std::find(chain.begin(), chain.end(), id);
    if (pos != chain.end()) {
      return Table().CallFrom(chain, static_cast<std::size_t>(pos - chain.begin()) + 1, nCode,
                              wParam, lParam);
    }
  }
  // Called from elsewhere: continue after hhk in its thread's chain as it is now.
  DWORD thread_id = 0;
  if (!Table().ThreadOf(id, &thread_id)) return 0;
  const Chain chain = Table().ChainOf(thread_id);
  auto pos = std::find(chain.begin(), chain.end(), id);
  if (pos == chain.end()) return 0;
  return Table().CallFrom(chain, static_cast<std::size_t>(pos - chain.begin()) + 1, nCode, wParam,
                          lParam);
}

BOOL UnhookWindowsHookEx(HHOOK hhk) {
  if (!Table().Remove(reinterpret_cast<HookId>(hhk))) {
    SetLastError(ERROR_INVALID_HOOK_HANDLE);
    return FALSE;
  }
  return TRUE;
}

}  // extern "C"
