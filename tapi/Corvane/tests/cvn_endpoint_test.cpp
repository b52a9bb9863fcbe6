// Endpoints created by class id, as a client creates them, against the in-process simulator:
// registration, routing between endpoints that share the connection (event mode and posting
// mode), closing the shared connection, the configuration methods, and a message that stays
// queued when no interpreter can be created.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <future>
#include <memory>

#include "ccmsim/server.h"
#include "cvn_test_support.h"
#include "plat/messages.h"

namespace {

using namespace cvntest;

struct Received {
  std::string extension;
  LONG type = 0;
  LONG request_id = 0;
};

Received Describe(IMsgInterpreter* message) {
  Received received;
  Bstr extension;
  message->GetUserExtensionA(extension.Out());
  received.extension = extension.NarrowText();
  message->GetMsgType(&received.type);
  message->GetRequestId(&received.request_id);
  return received;
}

// A thread that pumps its message queue and runs tasks given to it.
class PumpThread {
 public:
  PumpThread() {
    std::promise<DWORD> started;
    thread_ = std::thread([&] {
      CoInitializeEx(nullptr, COINIT_MULTITHREADED);
      MSG msg;
      PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE);  // makes the queue
      started.set_value(GetCurrentThreadId());
      while (GetMessage(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == kRunTask) (*reinterpret_cast<std::function<void()>*>(msg.lParam))();
      }
      CoUninitialize();
    });
    thread_id_ = started.get_future().get();
  }
  ~PumpThread() {
    PostThreadMessage(thread_id_, WM_QUIT, 0, 0);
    thread_.join();
  }
  DWORD Id() const { return thread_id_; }
  // Runs the task on the pump thread and waits for it.
  void Run(std::function<void()> task) {
    std::promise<void> done;
    std::function<void()> wrapped = [&] {
      task();
      done.set_value();
    };
    ASSERT_TRUE(PostThreadMessage(thread_id_, kRunTask, 0, reinterpret_cast<LPARAM>(&wrapped)));
    ASSERT_EQ(done.get_future().wait_for(kWait), std::future_status::ready);
  }

 private:
  static constexpr UINT kRunTask = WM_USER + 1;
  std::thread thread_;
  DWORD thread_id_ = 0;
};

// An IMsgEvent sink that records each notification and releases the reference it is given.
class Sink final : public IDispatch {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == DIID_IMsgEvent) {
      *ppv = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override { return --refs_; }
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*,
                      EXCEPINFO*, UINT*) override {
    if (id != DISPID_CvnNotification || flags != DISPATCH_METHOD || params->cArgs != 1 ||
        params->rgvarg[0].vt != (VT_BYREF | VT_DISPATCH)) {
      return DISP_E_MEMBERNOTFOUND;
    }
    IDispatch* dispatch = *params->rgvarg[0].ppdispVal;
    ComPtr<IMsgInterpreter> message;
    dispatch->QueryInterface(IID_IMsgInterpreter, reinterpret_cast<void**>(message.Out()));
    dispatch->Release();  // the sink's own reference
    {
      std::lock_guard<std::mutex> lock(mutex_);
      received_.push_back(Describe(message.Get()));
      threads_.push_back(GetCurrentThreadId());
    }
    changed_.notify_all();
    if (on_notify_) on_notify_();
    return S_OK;
  }

  // Runs on the notifying thread after each notification is recorded.
  void OnNotify(std::function<void()> action) { on_notify_ = std::move(action); }

  std::optional<Received> Next() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!changed_.wait_for(lock, kWait, [this] { return !received_.empty(); })) return {};
    Received received = received_.front();
    received_.pop_front();
    return received;
  }
  bool AllOnThread(DWORD thread) {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::all_of(threads_.begin(), threads_.end(), [&](DWORD t) { return t == thread; });
  }
  ULONG Refs() const { return refs_.load(); }

 private:
  std::atomic<ULONG> refs_{0};
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Received> received_;
  std::vector<DWORD> threads_;
  std::function<void()> on_notify_;
};

enum class Mode { kEvent, kPosting };

class SimulatorTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.Start().ok());
    PointAtServer(server_.Port());
  }

  // Registers and waits for the accepted registration reply.
  static void RegisterAndWait(ICvnEndPoint* endpoint, HANDLE event, const std::string& ext) {
    Bstr extension = Bstr::Narrow(ext), password = Bstr::Narrow("pw");
    ASSERT_EQ(endpoint->RegisterA(extension.Get(), password.Get()), S_OK);
    ComPtr<IMsgInterpreter> reply = WaitMessage(endpoint, event);
    ASSERT_EQ(MsgType(reply.Get()), eRegisterReply);
    LONG status = -1;
    EXPECT_EQ(reply->GetStatus(&status), S_OK);
    EXPECT_EQ(status, 0);
  }

  ComponentMachine machine_;
  ccmsim::Server server_;
};

TEST_F(SimulatorTest, CreateByClassIdRegisterAndWaitForTheReply) {
  ComPtr<ICvnEndPoint> endpoint = CreateEndPoint();
  ASSERT_TRUE(endpoint);
  LONG active = 0;
  EXPECT_EQ(endpoint->IsActive(&active), S_OK);
  EXPECT_EQ(active, 1);
  // The handle given is the handle used; 0 is posting mode; -1 the endpoint's own event.
  HANDLE own = CreateEvent(nullptr, FALSE, FALSE, nullptr);
  LONG event = static_cast<LONG>(reinterpret_cast<LONG_PTR>(own));
  EXPECT_EQ(endpoint->ConnectToServer(&event), S_OK);
  EXPECT_EQ(event, static_cast<LONG>(reinterpret_cast<LONG_PTR>(own)));
  event = 0;
  EXPECT_EQ(endpoint->ConnectToServer(&event), S_OK);
  EXPECT_EQ(event, 0);
  HANDLE native = ConnectWithOwnEvent(endpoint.Get());
  EXPECT_NE(native, own);
  RegisterAndWait(endpoint.Get(), native, "100");
  EXPECT_TRUE(server_.IsRegistered("100"));
  EXPECT_EQ(endpoint->Unregister(), S_OK);
  EXPECT_EQ(MsgType(WaitMessage(endpoint.Get(), native).Get()), eUnregisterReply);
  EXPECT_EQ(endpoint->DisconnectFromServer(), S_OK);
  endpoint.Reset();
  CloseHandle(own);
}

// Two endpoints on one connection, delivering by event or by posting to their creating thread.
class RoutingTest : public SimulatorTest, public testing::WithParamInterface<Mode> {
 protected:
  struct Client {
    ComPtr<ICvnEndPoint> endpoint;
    HANDLE event = nullptr;
    Sink sink;
    DWORD cookie = 0;
    ComPtr<IConnectionPoint> point;
  };

  void SetUp() override {
    SimulatorTest::SetUp();
    if (GetParam() == Mode::kPosting) pump_ = std::make_unique<PumpThread>();
    for (Client& client : clients_) {
      const auto create = [&] { client.endpoint = CreateEndPoint(); };
      pump_ ? pump_->Run(create) : create();
      ASSERT_TRUE(client.endpoint);
      if (pump_) {
        LONG none = 0;
        ASSERT_EQ(client.endpoint->ConnectToServer(&none), S_OK);
        ComPtr<IConnectionPointContainer> container;
        ASSERT_EQ(client.endpoint->QueryInterface(IID_IConnectionPointContainer,
                                                  reinterpret_cast<void**>(container.Out())),
                  S_OK);
        ASSERT_EQ(container->FindConnectionPoint(DIID_IMsgEvent, client.point.Out()), S_OK);
        ASSERT_EQ(client.point->Advise(&client.sink, &client.cookie), S_OK);
      } else {
        client.event = ConnectWithOwnEvent(client.endpoint.Get());
      }
    }
  }
  void TearDown() override {
    for (Client& client : clients_) {
      if (client.point) client.point->Unadvise(client.cookie);
      client.point.Reset();
      client.endpoint.Reset();
    }
    if (pump_) {
      EXPECT_TRUE(clients_[0].sink.AllOnThread(pump_->Id()));
    }
    // Once the pump has ended no notification is under way: no sink is referenced any more.
    pump_.reset();
    for (Client& client : clients_) {
      EXPECT_EQ(client.sink.Refs(), 0u);
    }
  }

  std::optional<Received> Next(Client& client) {
    if (pump_) return client.sink.Next();
    ComPtr<IMsgInterpreter> message = WaitMessage(client.endpoint.Get(), client.event);
    if (!message) return {};
    return Describe(message.Get());
  }

  void Register(Client& client, const std::string& ext) {
    Bstr extension = Bstr::Narrow(ext), password = Bstr::Narrow("pw");
    ASSERT_EQ(client.endpoint->RegisterA(extension.Get(), password.Get()), S_OK);
  }

  std::unique_ptr<PumpThread> pump_;
  Client clients_[2];
};

TEST_P(RoutingTest, EachEndPointReceivesOnlyItsOwnMessages) {
  Register(clients_[0], "100");
  Register(clients_[1], "101");
  const char* extensions[] = {"100", "101"};
  for (int i = 0; i < 2; ++i) {
    const auto reply = Next(clients_[i]);
    ASSERT_TRUE(reply.has_value()) << i;
    EXPECT_EQ(reply->type, eRegisterReply);
    EXPECT_EQ(reply->extension, extensions[i]);
  }
  EXPECT_EQ(server_.ConnectionCount(), 1u);

  // Each off-hook reply carries its own request id back to its own endpoint.
  EXPECT_EQ(clients_[0].endpoint->Offhook(0, 5), S_OK);
  EXPECT_EQ(clients_[1].endpoint->Offhook(0, 6), S_OK);
  for (int i = 0; i < 2; ++i) {
    const auto reply = Next(clients_[i]);
    ASSERT_TRUE(reply.has_value()) << i;
    EXPECT_EQ(reply->type, eOffhookReply);
    EXPECT_EQ(reply->extension, extensions[i]);
    EXPECT_EQ(reply->request_id, 5 + i);
  }

  // Disconnecting the first keeps the shared connection for the second.
  EXPECT_EQ(clients_[0].endpoint->DisconnectFromServer(), S_OK);
  EXPECT_EQ(server_.ConnectionCount(), 1u);
  EXPECT_EQ(clients_[1].endpoint->Onhook(1), S_OK);
  const auto onhook = Next(clients_[1]);
  ASSERT_TRUE(onhook.has_value());
  EXPECT_EQ(onhook->type, eOnhookReply);
  EXPECT_EQ(onhook->extension, "101");

  // The last one closes it.
  EXPECT_EQ(clients_[1].endpoint->DisconnectFromServer(), S_OK);
  EXPECT_TRUE(server_.WaitUntil([&] { return server_.ConnectionCount() == 0; }, kWait));
  EXPECT_EQ(clients_[1].endpoint->Offhook(0, 7), E_FAIL);
}

INSTANTIATE_TEST_SUITE_P(Modes, RoutingTest, testing::Values(Mode::kEvent, Mode::kPosting),
                         [](const auto& info) {
                           return info.param == Mode::kEvent ? "EventMode" : "PostingMode";
                         });

// The sink drops the last reference to the endpoint while it is being notified: the endpoint,
// the hook and the reader go away on the notified thread without a deadlock.
TEST_F(SimulatorTest, LastEndPointReleasedFromTheNotification) {
  // Declared before the pump, so that the pump thread has ended before they go.
  Sink sink;
  std::promise<void> registered;
  std::promise<void> released;
  ICvnEndPoint* endpoint = nullptr;
  PumpThread pump;
  pump.Run([&] { endpoint = CreateEndPoint().Release(); });
  ASSERT_NE(endpoint, nullptr);
  LONG none = 0;
  ASSERT_EQ(endpoint->ConnectToServer(&none), S_OK);
  sink.OnNotify([&, done = registered.get_future().share()] {
    // The test thread's call has returned: this reference is the only one left.
    ASSERT_EQ(done.wait_for(kWait), std::future_status::ready);
    endpoint->Release();
    released.set_value();
  });
  DWORD cookie = 0;
  {
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(endpoint->QueryInterface(IID_IConnectionPointContainer,
                                       reinterpret_cast<void**>(container.Out())),
              S_OK);
    ComPtr<IConnectionPoint> point;
    ASSERT_EQ(container->FindConnectionPoint(DIID_IMsgEvent, point.Out()), S_OK);
    ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);
  }
  Bstr extension = Bstr::Narrow("100"), password = Bstr::Narrow("pw");
  ASSERT_EQ(endpoint->RegisterA(extension.Get(), password.Get()), S_OK);
  registered.set_value();
  ASSERT_EQ(released.get_future().wait_for(kWait), std::future_status::ready);
  EXPECT_TRUE(server_.WaitUntil([&] { return server_.ConnectionCount() == 0; }, kWait));
  EXPECT_EQ(sink.Next()->type, eRegisterReply);
}

TEST_F(SimulatorTest, ConfigurationMethods) {
  ComPtr<ICvnEndPoint> endpoint = CreateEndPoint();
  Bstr address = Bstr::Narrow("127.0.0.1");
  EXPECT_EQ(endpoint->ConfigureServerA(address.Get(), 0), S_OK);
  EXPECT_EQ(ServerValue("ServerIPAddr"), "127.0.0.1");
  EXPECT_EQ(ServerValue("ServerPortId"), "20485");
  EXPECT_EQ(endpoint->ConfigureServerA(address.Get(), -1), E_FAIL);
  Bstr empty = Bstr::Narrow("");
  EXPECT_EQ(endpoint->ConfigureServerA(empty.Get(), 1), E_FAIL);
  EXPECT_EQ(endpoint->ConfigureServerA(nullptr, 1), E_FAIL);
  Bstr wide = Bstr::Wide(u"localhost");
  EXPECT_EQ(endpoint->ConfigureServer(wide.Get(), 1234), S_OK);
  EXPECT_EQ(ServerValue("ServerPortId"), "1234");

  // What QueryCurrentConfig reports is what a connection would use.
  struct PortCase {
    std::optional<std::string> text;
    LONG port;
  } ports[] = {{std::nullopt, 20485}, {"abc", 0}, {"20486x", 20486}};
  for (const PortCase& c : ports) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\KIV\\Corvane", 0, KEY_ALL_ACCESS, &key),
              ERROR_SUCCESS);
    RegDeleteValueA(key, "ServerPortId");
    RegCloseKey(key);
    if (c.text) {
      SetServerValue("ServerPortId", *c.text);
    }
    Bstr queried = Bstr::Narrow("freed first");
    LONG port = -1;
    EXPECT_EQ(endpoint->QueryCurrentConfigA(queried.Out(), &port), S_OK);
    EXPECT_EQ(port, c.port) << c.text.value_or("(absent)");
    EXPECT_EQ(queried.NarrowText(), "localhost");
  }
  Bstr queried;
  LONG port = -1;
  EXPECT_EQ(endpoint->QueryCurrentConfig(queried.Out(), &port), S_OK);
  EXPECT_EQ(queried.WideText(), u"localhost");

  // A host name is resolved when connecting.
  PointAtServer(server_.Port(), "localhost");
  HANDLE event = ConnectWithOwnEvent(endpoint.Get());
  RegisterAndWait(endpoint.Get(), event, "100");
}

TEST_F(SimulatorTest, MessageStaysQueuedWhenNoInterpreterCanBeCreated) {
  ComPtr<ICvnEndPoint> endpoint = CreateEndPoint();
  HANDLE event = ConnectWithOwnEvent(endpoint.Get());
  Bstr extension = Bstr::Narrow("100"), password = Bstr::Narrow("pw");
  ASSERT_EQ(endpoint->RegisterA(extension.Get(), password.Get()), S_OK);
  ASSERT_EQ(WaitForSingleObject(event, kWaitMs), WAIT_OBJECT_0);

  // Without the interpreter's class entry creation fails; the message is kept.
  const std::string key = "CLSID\\{50638E57-6E87-4213-A3B7-18C9914DA930}";
  ASSERT_EQ(RegDeleteTreeA(HKEY_CLASSES_ROOT, key.c_str()), ERROR_SUCCESS);
  IMsgInterpreter* none = reinterpret_cast<IMsgInterpreter*>(1);
  EXPECT_EQ(endpoint->RetrieveMsg(&none), E_FAIL);
  EXPECT_EQ(none, nullptr);

  RegisterComponent();
  ComPtr<IMsgInterpreter> reply;
  ASSERT_EQ(endpoint->RetrieveMsg(reply.Out()), S_OK);
  EXPECT_EQ(MsgType(reply.Get()), eRegisterReply);
}

}  // namespace
