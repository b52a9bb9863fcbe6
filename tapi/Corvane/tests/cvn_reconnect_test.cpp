// The shared connection after the server closes it: requests fail, a later ConnectToServer
// connects again and exactly one reader thread reads the new connection; the last
// DisconnectFromServer ends the reader. White-box: the endpoints come from corvane_core so that
// the reader threads of this copy of the component can be counted.
#include <gtest/gtest.h>

#include "CvnEndPoint.h"
#include "CvnSocketReader.h"
#include "ccmsim/server.h"
#include "cvn_test_support.h"

namespace {

using namespace cvntest;

ComPtr<ICvnEndPoint> CreateCoreEndPoint() {
  void* pv = nullptr;
  EXPECT_EQ(CvnEndPoint::CreateInstance(IID_ICvnEndPoint, &pv), S_OK);
  return ComPtr<ICvnEndPoint>(static_cast<ICvnEndPoint*>(pv));
}

void RegisterAndWait(ICvnEndPoint* endpoint, HANDLE event, const char* ext) {
  Bstr extension = Bstr::Narrow(ext), password = Bstr::Narrow("pw");
  ASSERT_EQ(endpoint->RegisterA(extension.Get(), password.Get()), S_OK);
  EXPECT_EQ(MsgType(WaitMessage(endpoint, event).Get()), eRegisterReply);
}

TEST(CvnReconnectTest, ServerClosingTheConnection) {
  ComponentMachine machine;
  ccmsim::Server server;
  ASSERT_TRUE(server.Start().ok());
  PointAtServer(server.Port());

  ComPtr<ICvnEndPoint> endpoint = CreateCoreEndPoint();
  HANDLE event = ConnectWithOwnEvent(endpoint.Get());
  RegisterAndWait(endpoint.Get(), event, "100");
  // Connecting again while connected starts nothing new.
  ConnectWithOwnEvent(endpoint.Get());
  EXPECT_EQ(CvnSocketReader::GetReaderThreadCount(), 1);

  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    server.DropConnections();
    ASSERT_TRUE(WaitFor([] { return CvnSocketReader::GetReaderThreadCount() == 0; }));
    EXPECT_EQ(endpoint->Offhook(0, 1), E_FAIL);

    event = ConnectWithOwnEvent(endpoint.Get());
    EXPECT_EQ(CvnSocketReader::GetReaderThreadCount(), 1);
    RegisterAndWait(endpoint.Get(), event, "100");
    EXPECT_EQ(endpoint->Offhook(0, 9), S_OK);
    ComPtr<IMsgInterpreter> reply = WaitMessage(endpoint.Get(), event);
    ASSERT_EQ(MsgType(reply.Get()), eOffhookReply);
    LONG request_id = 0;
    EXPECT_EQ(reply->GetRequestId(&request_id), S_OK);
    EXPECT_EQ(request_id, 9);
    EXPECT_EQ(CvnSocketReader::GetReaderThreadCount(), 1);
    EXPECT_EQ(server.ConnectionCount(), 1u);
  }

  // The last route gone: the connection closes and the reader has ended when the call returns.
  EXPECT_EQ(endpoint->DisconnectFromServer(), S_OK);
  EXPECT_EQ(CvnSocketReader::GetReaderThreadCount(), 0);
  EXPECT_TRUE(server.WaitUntil([&] { return server.ConnectionCount() == 0; }, kWait));
}

}  // namespace
