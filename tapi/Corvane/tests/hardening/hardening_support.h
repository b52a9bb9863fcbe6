// Helpers of the hardening tests: the process's thread and descriptor counts as /proc shows
// them, and registering an endpoint and waiting for its reply. Test thread only.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>

#include "cvn_test_support.h"

namespace cvnhard {

inline int CountEntries(const char* dir) {
  std::error_code error;
  const auto entries = std::filesystem::directory_iterator(dir, error);
  return error ? -1 : static_cast<int>(std::distance(begin(entries), end(entries)));
}
inline int ThreadCount() { return CountEntries("/proc/self/task"); }
// The iterator's own descriptor is counted in every sample alike.
inline int FdCount() { return CountEntries("/proc/self/fd"); }

// Bounded wait until the process runs exactly `count` threads.
inline bool WaitThreads(int count) {
  return cvntest::WaitFor([count] { return ThreadCount() == count; });
}

inline LONG ReplyStatus(IMsgInterpreter* message) {
  LONG status = -1;
  if (message == nullptr || FAILED(message->GetStatus(&status))) return -1;
  return status;
}

// Registers the extension and expects its successful register reply.
inline void RegisterAndWait(ICvnEndPoint* endpoint, HANDLE event, const std::string& ext) {
  cvntest::Bstr extension = cvntest::Bstr::Narrow(ext), password = cvntest::Bstr::Narrow("pw");
  ASSERT_EQ(endpoint->RegisterA(extension.Get(), password.Get()), S_OK);
  cvntest::ComPtr<IMsgInterpreter> reply = cvntest::WaitMessage(endpoint, event);
  ASSERT_EQ(cvntest::MsgType(reply.Get()), eRegisterReply);
  EXPECT_EQ(ReplyStatus(reply.Get()), 0);
}

}  // namespace cvnhard
