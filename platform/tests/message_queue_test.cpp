// Thread message queues: creation on first use, order, PeekMessage with and without removal,
// filters, WM_QUIT, and posting from other threads waking GetMessage.
#include <gtest/gtest.h>

#include <future>
#include <thread>
#include <vector>

#include "message_test_support.h"
#include "plat/messages.h"
#include "plat/sync.h"

namespace {

// Empties the calling thread's queue (and gives it one).
void Drain() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
}

TEST(MessageQueueTest, PostingNeedsAQueueOfALiveThread) {
  // A thread that never asked for a queue has none.
  std::promise<DWORD> idle_id;
  std::promise<void> release;
  std::thread idle([&] {
    idle_id.set_value(GetCurrentThreadId());
    release.get_future().wait();
  });
  const DWORD id = idle_id.get_future().get();
  SetLastError(0);
  EXPECT_FALSE(PostThreadMessageA(id, WM_USER, 0, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_THREAD_ID));
  release.set_value();
  idle.join();

  // A thread whose queue existed loses it when it ends.
  DWORD ended = 0;
  std::thread peeker([&] {
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    ended = GetCurrentThreadId();
    EXPECT_TRUE(PostThreadMessageA(ended, WM_USER, 0, 0));
  });
  peeker.join();
  EXPECT_FALSE(PostThreadMessageA(ended, WM_USER, 0, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_THREAD_ID));
}

TEST(MessageQueueTest, KeepsOrderAndPeeksWithoutRemoving) {
  Drain();
  const DWORD self = GetCurrentThreadId();
  for (UINT i = 0; i < 3; ++i) {
    ASSERT_TRUE(PostThreadMessageA(self, WM_USER + i, 100 + i, -static_cast<LPARAM>(i)));
  }

  MSG msg{};
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.message, WM_USER);
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.message, WM_USER);  // still the first

  // A filter picks the first message in range and leaves the others in order.
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_USER + 1, WM_USER + 1, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_USER + 1);
  EXPECT_EQ(msg.wParam, 101u);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_APP, WM_APP, PM_REMOVE));

  ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
  EXPECT_EQ(msg.message, WM_USER);
  EXPECT_EQ(msg.hwnd, nullptr);
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_USER + 2);
  EXPECT_EQ(msg.lParam, -2);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));

  // No windows exist.
  int not_a_window = 0;
  EXPECT_EQ(GetMessageA(&msg, reinterpret_cast<HWND>(&not_a_window), 0, 0), -1);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST(MessageQueueTest, QuitComesAfterThePostedMessages) {
  Drain();
  const DWORD self = GetCurrentThreadId();
  PostQuitMessage(7);
  ASSERT_TRUE(PostThreadMessageA(self, WM_APP, 1, 0));
  MSG msg{};
  ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
  EXPECT_EQ(msg.message, WM_APP);
  ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), 0);
  EXPECT_EQ(msg.message, WM_QUIT);
  EXPECT_EQ(msg.wParam, 7u);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));  // answered once

  // A posted WM_QUIT ends GetMessage in its place in the queue.
  ASSERT_TRUE(PostThreadMessageA(self, WM_QUIT, 3, 0));
  ASSERT_TRUE(PostThreadMessageA(self, WM_USER, 0, 0));
  EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), 0);
  EXPECT_EQ(msg.wParam, 3u);
  EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
  EXPECT_EQ(msg.message, WM_USER);
}

TEST(MessageQueueTest, PostsFromOtherThreadsWakeGetMessageInOrder) {
  Drain();
  const DWORD self = GetCurrentThreadId();
  kivtest::MessageWatchdog watchdog(self);
  constexpr int kSenders = 4;
  constexpr int kEach = 500;
  std::vector<std::thread> senders;
  for (int s = 0; s < kSenders; ++s) {
    senders.emplace_back([self, s] {
      for (int i = 0; i < kEach; ++i) {
        EXPECT_TRUE(
            PostThreadMessageA(self, WM_APP + static_cast<UINT>(s), static_cast<WPARAM>(i), 0));
      }
    });
  }
  std::vector<WPARAM> next(kSenders, 0);
  MSG msg{};
  for (int received = 0; received < kSenders * kEach; ++received) {
    if (GetMessageA(&msg, nullptr, 0, 0) != TRUE) {
      ADD_FAILURE() << "the watchdog ended the wait after " << received << " messages";
      break;
    }
    const UINT sender = msg.message - WM_APP;
    if (sender >= static_cast<UINT>(kSenders)) {
      ADD_FAILURE() << "unexpected message " << msg.message;
      break;
    }
    EXPECT_EQ(msg.wParam, next[sender]) << "sender " << sender;  // each sender's order holds
    next[sender] = msg.wParam + 1;
  }
  for (auto& sender : senders) sender.join();
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

}  // namespace
