// Connect, register, unregister and disconnect, one hundred times over: the process runs the
// same threads and holds the same file descriptors afterwards as before the first cycle.
#include <gtest/gtest.h>

#include "ccmsim/server.h"
#include "hardening_support.h"

namespace {

using namespace cvntest;
using cvnhard::FdCount;
using cvnhard::RegisterAndWait;
using cvnhard::ThreadCount;
using cvnhard::WaitThreads;

TEST(ConnectionCycleTest, HundredCyclesLeaveThreadsAndDescriptors) {
  ComponentMachine machine;
  ccmsim::Server server;
  ASSERT_TRUE(server.Start().ok());
  PointAtServer(server.Port());
  const int threads = ThreadCount();
  const int fds = FdCount();

  for (int cycle = 0; cycle < 100; ++cycle) {
    SCOPED_TRACE(cycle);
    ComPtr<ICvnEndPoint> endpoint = CreateEndPoint();
    HANDLE event = ConnectWithOwnEvent(endpoint.Get());
    RegisterAndWait(endpoint.Get(), event, cycle % 2 == 0 ? "100" : "101");
    ASSERT_EQ(endpoint->Unregister(), S_OK);
    EXPECT_EQ(MsgType(WaitMessage(endpoint.Get(), event).Get()), eUnregisterReply);
    EXPECT_EQ(endpoint->DisconnectFromServer(), S_OK);
    // The reader is joined before DisconnectFromServer returns, but the kernel may list its
    // task for a moment longer; the server closes its side on its own thread.
    EXPECT_TRUE(WaitThreads(threads));
    ASSERT_TRUE(server.WaitUntil([&] { return server.ConnectionCount() == 0; }, kWait));
  }
  EXPECT_TRUE(WaitThreads(threads));
  EXPECT_EQ(FdCount(), fds);
}

}  // namespace
