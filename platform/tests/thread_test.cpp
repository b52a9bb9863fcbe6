// Threads: start suspended, suspend counts, suspension holding a thread in its wait, handles
// signalled at the end with the exit code, ids and priorities.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "plat/sync.h"

namespace {

constexpr DWORD kFailedCount = 0xFFFFFFFFu;

// What a test thread sees and reports; events are auto reset.
struct Shared {
  Shared()
      : ready(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
        go(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}
  ~Shared() {
    CloseHandle(ready);
    CloseHandle(go);
  }
  HANDLE ready;
  HANDLE go;
  std::atomic<bool> started{false};
  std::atomic<DWORD> id{0};
};

DWORD WINAPI ReportAndReturn42(LPVOID arg) {
  auto* shared = static_cast<Shared*>(arg);
  shared->started = true;
  shared->id = GetCurrentThreadId();
  return 42;
}

unsigned __stdcall ReportAndReturn42Crt(void* arg) { return ReportAndReturn42(arg); }

// Signals ready, then returns what its wait for go returned.
DWORD WINAPI WaitForGo(LPVOID arg) {
  auto* shared = static_cast<Shared*>(arg);
  SetEvent(shared->ready);
  return WaitForSingleObject(shared->go, 10000);
}

// Both ways of starting a thread, so every case runs over both.
enum class Starter { kCreateThread, kBeginThreadEx };

HANDLE Start(Starter starter, LPTHREAD_START_ROUTINE start, unsigned (*crt_start)(void*),
             Shared& shared, DWORD flags, DWORD& id) {
  if (starter == Starter::kCreateThread)
    return CreateThread(nullptr, 0, start, &shared, flags, &id);
  unsigned crt_id = 0;
  const uintptr_t handle = _beginthreadex(nullptr, 0, crt_start, &shared, flags, &crt_id);
  id = crt_id;
  return reinterpret_cast<HANDLE>(handle);
}

class ThreadTest : public ::testing::TestWithParam<Starter> {};

TEST_P(ThreadTest, CreatedSuspendedRunsOnlyAfterTheLastResume) {
  Shared shared;
  DWORD id = 0;
  HANDLE thread =
      Start(GetParam(), ReportAndReturn42, ReportAndReturn42Crt, shared, CREATE_SUSPENDED, id);
  ASSERT_NE(thread, nullptr);
  EXPECT_NE(id, 0u);

  EXPECT_EQ(WaitForSingleObject(thread, 50), WAIT_TIMEOUT);
  EXPECT_FALSE(shared.started);
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, STILL_ACTIVE);

  EXPECT_EQ(SuspendThread(thread), 1u);
  EXPECT_EQ(ResumeThread(thread), 2u);
  EXPECT_EQ(WaitForSingleObject(thread, 50), WAIT_TIMEOUT);
  EXPECT_FALSE(shared.started);
  EXPECT_EQ(ResumeThread(thread), 1u);

  ASSERT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
  EXPECT_TRUE(shared.started);
  EXPECT_EQ(shared.id.load(), id);  // the id reported at creation is the thread's own
  ASSERT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, 42u);
  EXPECT_EQ(ResumeThread(thread), 0u);  // not suspended: the count stays 0
  // An ended thread's handle stays signalled.
  EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(CloseHandle(thread));
}

TEST_P(ThreadTest, SuspendedThreadDoesNotReturnFromItsWaitUntilResumed) {
  Shared shared;
  DWORD id = 0;
  HANDLE thread = Start(
      GetParam(), WaitForGo, [](void* arg) -> unsigned { return WaitForGo(arg); }, shared, 0, id);
  ASSERT_NE(thread, nullptr);
  ASSERT_EQ(WaitForSingleObject(shared.ready, 5000), WAIT_OBJECT_0);

  EXPECT_EQ(SuspendThread(thread), 0u);
  EXPECT_EQ(SuspendThread(thread), 1u);
  ASSERT_TRUE(SetEvent(shared.go));
  EXPECT_EQ(WaitForSingleObject(thread, 100), WAIT_TIMEOUT);
  EXPECT_EQ(ResumeThread(thread), 2u);
  EXPECT_EQ(WaitForSingleObject(thread, 50), WAIT_TIMEOUT);

  // The held waiter did not consume the auto-reset event: it is still set.
  EXPECT_EQ(WaitForSingleObject(shared.go, 0), WAIT_OBJECT_0);
  ASSERT_TRUE(SetEvent(shared.go));

  EXPECT_EQ(ResumeThread(thread), 1u);
  ASSERT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
  DWORD code = STILL_ACTIVE;
  ASSERT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, WAIT_OBJECT_0);
  EXPECT_TRUE(CloseHandle(thread));
}

INSTANTIATE_TEST_SUITE_P(Starters, ThreadTest,
                         ::testing::Values(Starter::kCreateThread, Starter::kBeginThreadEx));

TEST(ThreadSelfTest, ThreadSuspendingItselfBlocksUntilResumed) {
  Shared shared;
  HANDLE thread = CreateThread(
      nullptr, 0,
      [](LPVOID arg) -> DWORD {
        SetEvent(static_cast<Shared*>(arg)->ready);
        const DWORD previous = SuspendThread(GetCurrentThread());
        static_cast<Shared*>(arg)->started = true;
        return previous;
      },
      &shared, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  ASSERT_EQ(WaitForSingleObject(shared.ready, 5000), WAIT_OBJECT_0);
  // Nothing announces the moment it suspends itself: until then ResumeThread finds count 0 and
  // changes nothing.
  DWORD previous = 0;
  for (int i = 0; i < 500 && (previous = ResumeThread(thread)) == 0; ++i) {
    WaitForSingleObject(thread, 10);
  }
  EXPECT_EQ(previous, 1u);
  ASSERT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
  EXPECT_TRUE(shared.started);
  DWORD code = STILL_ACTIVE;
  ASSERT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(CloseHandle(thread));
}

TEST(ThreadSelfTest, ExitThreadEndsWithItsCode) {
  HANDLE thread = CreateThread(
      nullptr, 0, [](LPVOID) -> DWORD { ExitThread(7); }, nullptr, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  ASSERT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, 7u);
  EXPECT_TRUE(CloseHandle(thread));
}

TEST(ThreadSelfTest, ThreadRunsOnAfterItsHandleIsClosed) {
  Shared shared;
  HANDLE thread = CreateThread(
      nullptr, 0,
      [](LPVOID arg) -> DWORD {
        auto* shared = static_cast<Shared*>(arg);
        if (WaitForSingleObject(shared->go, 5000) == WAIT_OBJECT_0) SetEvent(shared->ready);
        return 0;
      },
      &shared, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  ASSERT_TRUE(CloseHandle(thread));
  ASSERT_TRUE(SetEvent(shared.go));
  EXPECT_EQ(WaitForSingleObject(shared.ready, 5000), WAIT_OBJECT_0);
}

TEST(ThreadIdTest, IdsAreStablePerThreadAndDistinct) {
  const DWORD mine = GetCurrentThreadId();
  EXPECT_NE(mine, 0u);
  EXPECT_EQ(GetCurrentThreadId(), mine);
  DWORD other = 0;
  std::thread([&] { other = GetCurrentThreadId(); }).join();
  EXPECT_NE(other, 0u);
  EXPECT_NE(other, mine);
  EXPECT_NE(GetCurrentProcessId(), 0u);
}

TEST(ThreadPriorityTest, PriorityIsKeptAndChecked) {
  HANDLE self = GetCurrentThread();
  EXPECT_EQ(GetThreadPriority(self), THREAD_PRIORITY_NORMAL);
  ASSERT_TRUE(SetThreadPriority(self, THREAD_PRIORITY_HIGHEST));
  EXPECT_EQ(GetThreadPriority(self), THREAD_PRIORITY_HIGHEST);
  EXPECT_FALSE(SetThreadPriority(self, 7));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_TRUE(SetThreadPriority(self, THREAD_PRIORITY_NORMAL));
  EXPECT_TRUE(CloseHandle(self));  // a pseudo handle: closing it does nothing
}

TEST(ThreadHandleTest, CallsOnOtherHandlesFail) {
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  SetLastError(0);
  EXPECT_EQ(SuspendThread(event), kFailedCount);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(ResumeThread(nullptr), kFailedCount);
  DWORD code = 0;
  EXPECT_FALSE(GetExitCodeThread(event, &code));
  EXPECT_EQ(GetThreadPriority(event), THREAD_PRIORITY_ERROR_RETURN);
  EXPECT_EQ(CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr), nullptr);
  EXPECT_EQ(_beginthreadex(nullptr, 0, nullptr, nullptr, 0, nullptr), 0u);
  EXPECT_TRUE(CloseHandle(event));
}

}  // namespace
