// Helpers of the message queue tests: a watchdog that ends a blocked GetMessage with a marked
// WM_QUIT if the awaited message never comes, so no test waits without bound.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "plat/messages.h"

namespace kivtest {

inline constexpr WPARAM kWatchdogExitCode = 0xDEAD;

class MessageWatchdog {
 public:
  explicit MessageWatchdog(DWORD thread_id, std::chrono::seconds limit = std::chrono::seconds(20))
      : thread_([this, thread_id, limit] {
          std::unique_lock<std::mutex> lock(mutex_);
          if (!cv_.wait_for(lock, limit, [this] { return done_; })) {
            PostThreadMessageA(thread_id, WM_QUIT, kWatchdogExitCode, 0);
          }
        }) {}
  ~MessageWatchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    cv_.notify_one();
    thread_.join();
  }
  MessageWatchdog(const MessageWatchdog&) = delete;
  MessageWatchdog& operator=(const MessageWatchdog&) = delete;

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool done_ = false;   // guarded by mutex_
  std::thread thread_;  // last: starts once the members above exist
};

}  // namespace kivtest
