// Events and waits: how many waiters each kind of event releases, which index a wait on several
// objects reports, time-outs and bad handles.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "plat/sync.h"

namespace {

using namespace std::chrono_literals;

// Threads that each wait once on a handle and count how many were released.
class Waiters {
 public:
  Waiters(HANDLE handle, int count) {
    for (int i = 0; i < count; ++i) {
      threads_.emplace_back([this, handle] {
        const DWORD result = WaitForSingleObject(handle, 5000);
        std::lock_guard lock(mutex_);
        if (result == WAIT_OBJECT_0) ++released_;
        changed_.notify_all();
      });
    }
  }
  ~Waiters() {
    for (auto& thread : threads_) thread.join();
  }

  // Waits up to `limit` for at least `count` releases; returns the number released.
  int AwaitReleased(int count, std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, limit, [&] { return released_ >= count; });
    return released_;
  }

 private:
  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable changed_;
  int released_ = 0;  // guarded by mutex_
};

TEST(EventTest, AutoResetReleasesOneWaiterPerSet) {
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  ASSERT_NE(event, nullptr);
  {
    Waiters waiters(event, 3);
    for (int set = 1; set <= 3; ++set) {
      ASSERT_TRUE(SetEvent(event));
      ASSERT_EQ(waiters.AwaitReleased(set, 5000ms), set);
      // The one wake reset the event: nobody else gets through on the same set.
      EXPECT_EQ(waiters.AwaitReleased(set + 1, 50ms), set);
    }
  }
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
  EXPECT_TRUE(CloseHandle(event));
}

TEST(EventTest, ManualResetReleasesEveryWaiterAndStaysSet) {
  HANDLE event = CreateEvent(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(event, nullptr);
  {
    Waiters waiters(event, 3);
    EXPECT_EQ(waiters.AwaitReleased(1, 50ms), 0);
    ASSERT_TRUE(SetEvent(event));
    EXPECT_EQ(waiters.AwaitReleased(3, 5000ms), 3);
  }
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  ASSERT_TRUE(ResetEvent(event));
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
  EXPECT_TRUE(CloseHandle(event));
}

TEST(EventTest, InitialStateAndBadHandles) {
  HANDLE event = CreateEventA(nullptr, FALSE, TRUE, "ignored name");
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
  ASSERT_TRUE(CloseHandle(event));

  // A closed handle is gone for every call; the number is never handed out again.
  SetLastError(0);
  EXPECT_FALSE(SetEvent(event));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(CloseHandle(event));
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
  HANDLE other = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  EXPECT_NE(other, event);
  EXPECT_TRUE(CloseHandle(other));
}

class MultipleWaitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (auto& event : events_) event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  }
  void TearDown() override {
    for (auto* event : events_) CloseHandle(event);
  }
  HANDLE events_[3] = {};
};

TEST_F(MultipleWaitTest, LowestSignalledIndexWinsAndOnlyItIsConsumed) {
  ASSERT_TRUE(SetEvent(events_[2]));
  ASSERT_TRUE(SetEvent(events_[1]));
  EXPECT_EQ(WaitForMultipleObjects(3, events_, FALSE, 0), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(WaitForMultipleObjects(3, events_, FALSE, 0), WAIT_OBJECT_0 + 2);
  EXPECT_EQ(WaitForMultipleObjects(3, events_, FALSE, 0), WAIT_TIMEOUT);
}

TEST_F(MultipleWaitTest, WakesOnTheObjectSetWhileBlocked) {
  std::atomic<DWORD> result{WAIT_FAILED};
  std::thread waiter([&] { result = WaitForMultipleObjects(3, events_, FALSE, 5000); });
  ASSERT_TRUE(SetEvent(events_[2]));
  waiter.join();
  EXPECT_EQ(result.load(), WAIT_OBJECT_0 + 2);
}

TEST_F(MultipleWaitTest, TimesOutAfterTheGivenTime) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(WaitForMultipleObjects(3, events_, FALSE, 60), WAIT_TIMEOUT);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 60ms);
}

TEST_F(MultipleWaitTest, FailsOnBadArguments) {
  HANDLE with_bad[2] = {events_[0], reinterpret_cast<HANDLE>(0x7777)};
  ASSERT_TRUE(SetEvent(events_[0]));
  SetLastError(0);
  EXPECT_EQ(WaitForMultipleObjects(2, with_bad, FALSE, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  // The failed wait consumed nothing.
  EXPECT_EQ(WaitForSingleObject(events_[0], 0), WAIT_OBJECT_0);

  std::vector<HANDLE> too_many(MAXIMUM_WAIT_OBJECTS + 1, events_[0]);
  EXPECT_EQ(WaitForMultipleObjects(0, events_, FALSE, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(WaitForMultipleObjects(static_cast<DWORD>(too_many.size()), too_many.data(), FALSE, 0),
            WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(MultipleWaitTest, WaitAllNeedsEveryObject) {
  ASSERT_TRUE(SetEvent(events_[0]));
  ASSERT_TRUE(SetEvent(events_[2]));
  EXPECT_EQ(WaitForMultipleObjects(3, events_, TRUE, 0), WAIT_TIMEOUT);
  ASSERT_TRUE(SetEvent(events_[1]));
  EXPECT_EQ(WaitForMultipleObjects(3, events_, TRUE, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForMultipleObjects(3, events_, FALSE, 0), WAIT_TIMEOUT);
}

TEST(WaitTest, ClosingAHandleSomeoneWaitsOnIsSafe) {
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  std::atomic<DWORD> result{WAIT_OBJECT_0};
  std::thread waiter([&] { result = WaitForSingleObject(event, 100); });
  EXPECT_TRUE(CloseHandle(event));
  waiter.join();
  // Closed before the wait began, or while it was under way.
  EXPECT_TRUE(result == WAIT_FAILED || result == WAIT_TIMEOUT) << result;
}

TEST(ClockTest, SleepAdvancesTheTickCount) {
  const DWORD before = GetTickCount();
  Sleep(30);
  EXPECT_GE(static_cast<DWORD>(GetTickCount() - before), 29u);  // whole milliseconds on both ends
  Sleep(0);
}

}  // namespace
