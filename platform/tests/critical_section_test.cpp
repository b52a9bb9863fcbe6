// Critical sections: recursive for their owner, exclusive against every other thread.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "plat/sync.h"

namespace {

BOOL TryEnterFromOtherThread(CRITICAL_SECTION& section) {
  BOOL entered = FALSE;
  std::thread([&] {
    entered = TryEnterCriticalSection(&section);
    if (entered) LeaveCriticalSection(&section);
  }).join();
  return entered;
}

TEST(CriticalSectionTest, OwnerReentersAndOthersWaitUntilTheLastLeave) {
  CRITICAL_SECTION section;
  InitializeCriticalSection(&section);
  EnterCriticalSection(&section);
  EXPECT_TRUE(TryEnterCriticalSection(&section));
  EnterCriticalSection(&section);
  EXPECT_FALSE(TryEnterFromOtherThread(section));
  LeaveCriticalSection(&section);
  LeaveCriticalSection(&section);
  EXPECT_FALSE(TryEnterFromOtherThread(section));
  LeaveCriticalSection(&section);
  EXPECT_TRUE(TryEnterFromOtherThread(section));
  DeleteCriticalSection(&section);
}

TEST(CriticalSectionTest, ExcludesConcurrentWriters) {
  CRITICAL_SECTION section;
  InitializeCriticalSection(&section);
  long counter = 0;  // deliberately not atomic: the section is its only guard
  constexpr int kThreads = 4;
  constexpr int kRounds = 20000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kRounds; ++i) {
        EnterCriticalSection(&section);
        EnterCriticalSection(&section);
        counter = counter + 1;
        LeaveCriticalSection(&section);
        LeaveCriticalSection(&section);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(counter, static_cast<long>(kThreads) * kRounds);
  DeleteCriticalSection(&section);
}

}  // namespace
