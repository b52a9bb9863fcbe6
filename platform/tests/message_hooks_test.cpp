// The WH_GETMESSAGE hook: which retrievals call it and with what, that it runs before the caller
// sees the message, the chain order and CallNextHookEx, removal, and the thread it belongs to.
#include <gtest/gtest.h>

#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "message_test_support.h"
#include "plat/messages.h"
#include "plat/sync.h"

namespace {

// What the hooks saw. Hooks are plain functions, so their state is global; the hooks of the
// thread test write it from another thread, hence the lock.
struct Seen {
  int hook;  // which hook procedure
  int code;
  WPARAM remove;
  UINT message;
  WPARAM wparam;
  DWORD thread;
};
std::mutex g_mutex;
std::vector<Seen> g_seen;
HHOOK g_first = nullptr;   // the hook installed first (called last)
HHOOK g_second = nullptr;  // installed second (called first)

void Record(int hook, int code, WPARAM wParam, LPARAM lParam) {
  const MSG* msg = reinterpret_cast<const MSG*>(lParam);
  std::lock_guard<std::mutex> lock(g_mutex);
  g_seen.push_back({hook, code, wParam, msg->message, msg->wParam, GetCurrentThreadId()});
}

std::vector<Seen> TakeSeen() {
  std::lock_guard<std::mutex> lock(g_mutex);
  std::vector<Seen> seen;
  seen.swap(g_seen);
  return seen;
}

LRESULT FirstHook(int code, WPARAM wParam, LPARAM lParam) {
  Record(1, code, wParam, lParam);
  return CallNextHookEx(g_first, code, wParam, lParam);
}

// Marks the message it sees (lParam += 1000), showing that it runs before the caller gets it.
LRESULT SecondHook(int code, WPARAM wParam, LPARAM lParam) {
  Record(2, code, wParam, lParam);
  reinterpret_cast<MSG*>(lParam)->lParam += 1000;
  return CallNextHookEx(g_second, code, wParam, lParam);
}

// Removes itself on its first call and still passes the message on.
LRESULT SelfRemovingHook(int code, WPARAM wParam, LPARAM lParam) {
  Record(3, code, wParam, lParam);
  EXPECT_TRUE(UnhookWindowsHookEx(g_second));
  return CallNextHookEx(g_second, code, wParam, lParam);
}

void Drain() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
}

class MessageHookTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Drain();
    TakeSeen();
  }
  void TearDown() override {
    for (HHOOK* hook : {&g_first, &g_second}) {
      if (*hook != nullptr) UnhookWindowsHookEx(*hook);
      *hook = nullptr;
    }
  }
};

TEST_F(MessageHookTest, SeesEachRetrievedMessageBeforeTheCaller) {
  const DWORD self = GetCurrentThreadId();
  g_first = SetWindowsHookExA(WH_GETMESSAGE, FirstHook, nullptr, self);
  ASSERT_NE(g_first, nullptr);
  for (UINT i = 0; i < 3; ++i) ASSERT_TRUE(PostThreadMessageA(self, WM_APP, i, 0));

  MSG msg{};
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
  ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));  // nothing retrieved, no call

  const std::vector<Seen> seen = TakeSeen();
  ASSERT_EQ(seen.size(), 4u);
  const WPARAM expected[][2] = {{PM_NOREMOVE, 0}, {PM_REMOVE, 0}, {PM_REMOVE, 1}, {PM_REMOVE, 2}};
  for (std::size_t i = 0; i < seen.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(seen[i].code, HC_ACTION);
    EXPECT_EQ(seen[i].remove, expected[i][0]);
    EXPECT_EQ(seen[i].message, WM_APP);
    EXPECT_EQ(seen[i].wparam, expected[i][1]);
  }

  // The newest hook runs first and may change the message the caller receives.
  g_second = SetWindowsHookExA(WH_GETMESSAGE, SecondHook, nullptr, self);
  ASSERT_NE(g_second, nullptr);
  ASSERT_TRUE(PostThreadMessageA(self, WM_USER, 5, 1));
  ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
  EXPECT_EQ(msg.lParam, 1001);
  const std::vector<Seen> chain = TakeSeen();
  ASSERT_EQ(chain.size(), 2u);
  EXPECT_EQ(chain[0].hook, 2);
  EXPECT_EQ(chain[1].hook, 1);

  // Removed hooks are not called again; the other one still is.
  ASSERT_TRUE(UnhookWindowsHookEx(g_second));
  EXPECT_FALSE(UnhookWindowsHookEx(g_second));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HOOK_HANDLE));
  g_second = nullptr;
  ASSERT_TRUE(PostThreadMessageA(self, WM_USER, 6, 1));
  ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
  EXPECT_EQ(msg.lParam, 1);
  const std::vector<Seen> after = TakeSeen();
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(after[0].hook, 1);
}

TEST_F(MessageHookTest, AHookThatRemovesItselfStillPassesTheMessageOn) {
  const DWORD self = GetCurrentThreadId();
  g_first = SetWindowsHookExA(WH_GETMESSAGE, FirstHook, nullptr, self);
  g_second = SetWindowsHookExA(WH_GETMESSAGE, SelfRemovingHook, nullptr, self);
  ASSERT_NE(g_second, nullptr);
  ASSERT_TRUE(PostThreadMessageA(self, WM_USER, 1, 0));
  ASSERT_TRUE(PostThreadMessageA(self, WM_USER, 2, 0));
  MSG msg{};
  ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
  ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
  g_second = nullptr;
  const std::vector<Seen> seen = TakeSeen();
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].hook, 3);
  EXPECT_EQ(seen[1].hook, 1);
  EXPECT_EQ(seen[1].wparam, 1u);
  EXPECT_EQ(seen[2].hook, 1);
  EXPECT_EQ(seen[2].wparam, 2u);
}

TEST_F(MessageHookTest, RunsOnlyOnTheHookedThread) {
  // The worker gets a queue, then the main thread hooks it; the main thread's own messages are
  // not seen, the worker's are, on the worker.
  std::promise<DWORD> worker_id;
  std::promise<void> hooked;
  std::promise<void> done;
  std::thread worker([&] {
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
    worker_id.set_value(GetCurrentThreadId());
    hooked.get_future().wait();
    kivtest::MessageWatchdog watchdog(GetCurrentThreadId());
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
    EXPECT_EQ(msg.message, WM_APP + 1);
  });
  const DWORD worker_thread = worker_id.get_future().get();
  g_first = SetWindowsHookExA(WH_GETMESSAGE, FirstHook, nullptr, worker_thread);
  ASSERT_NE(g_first, nullptr);
  const DWORD self = GetCurrentThreadId();
  ASSERT_TRUE(PostThreadMessageA(self, WM_APP, 0, 0));
  MSG msg{};
  ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
  hooked.set_value();
  ASSERT_TRUE(PostThreadMessageA(worker_thread, WM_APP + 1, 0, 0));
  worker.join();

  const std::vector<Seen> seen = TakeSeen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].message, WM_APP + 1);
  EXPECT_EQ(seen[0].thread, worker_thread);
  // The worker has ended, and its hook with it.
  EXPECT_FALSE(UnhookWindowsHookEx(g_first));
  g_first = nullptr;
}

TEST_F(MessageHookTest, RefusesWhatItCannotHook) {
  struct Case {
    const char* what;
    int id;
    HOOKPROC proc;
    DWORD thread;
    DWORD error;
  };
  std::promise<DWORD> id;
  std::thread([&] { id.set_value(GetCurrentThreadId()); }).join();
  const DWORD ended = id.get_future().get();
  const DWORD self = GetCurrentThreadId();
  const Case cases[] = {
      {"another hook type", 2 /* WH_KEYBOARD */, FirstHook, self, ERROR_INVALID_HOOK_FILTER},
      {"no procedure", WH_GETMESSAGE, nullptr, self, ERROR_INVALID_PARAMETER},
      {"every thread", WH_GETMESSAGE, FirstHook, 0, ERROR_INVALID_PARAMETER},
      {"a thread without a queue", WH_GETMESSAGE, FirstHook, ended, ERROR_INVALID_THREAD_ID},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetLastError(0);
    EXPECT_EQ(SetWindowsHookExA(c.id, c.proc, nullptr, c.thread), nullptr);
    EXPECT_EQ(GetLastError(), c.error);
  }
}

}  // namespace
