// KivLock and KivLockGuard: mutual exclusion between threads and recursion for the owner.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "KivLock.h"

namespace {

TEST(KivLockTest, GuardsExcludeOtherThreads) {
  KivLock lock;
  int counter = 0;  // deliberately not atomic: only the lock protects it
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 10000; ++i) {
        KivLockGuard guard(lock);
        ++counter;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(counter, 40000);
}

TEST(KivLockTest, OwnerMayTakeItAgainAndOthersGetItAfterTheLastRelease) {
  KivLock lock;
  lock.Get();
  {
    KivLockGuard again(lock);  // would deadlock if not recursive
  }
  lock.Release();
  auto other = std::async(std::launch::async, [&] {
    KivLockGuard guard(lock);
    return true;
  });
  ASSERT_EQ(other.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_TRUE(other.get());
}

}  // namespace
