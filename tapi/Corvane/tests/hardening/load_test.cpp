// Load: 200 extensions registered through the one connection of this process's component,
// calls cycling between them and the simulator's virtual telephones. The simulator counts what
// it sent to each extension; a drain thread counts what each endpoint retrieved. Nothing may be
// lost, duplicated or handed to the endpoint of another extension.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ccmsim/server.h"
#include "hardening_support.h"

#ifndef CVN_LOAD_ROUNDS
#define CVN_LOAD_ROUNDS 6
#endif

namespace {

using namespace cvntest;
using ccmsim::MsgType;

constexpr int kExtensions = 200;
constexpr int kRounds = CVN_LOAD_ROUNDS;
constexpr int kVirtuals = 10;  // 200-209 in the default directory

std::string Extension(int i) { return std::to_string(1000 + i); }
std::string Virtual(int i) { return std::to_string(200 + i % kVirtuals); }

// Every message the simulator sends to a registered extension, and the type a client reads.
std::vector<std::pair<MsgType, LONG>> InboundTypes() {
  std::vector<std::pair<MsgType, LONG>> types = {{MsgType::kRegReply, eRegisterReply},
                                                 {MsgType::kUnregReply, eUnregisterReply},
                                                 {MsgType::kShutdown, eShutdown},
                                                 {MsgType::kPhoneQueryReply, ePhoneQueryReply},
                                                 {MsgType::kPhoneConfigReply, ePhoneConfigReply}};
  for (uint16_t code = 0x0301; code <= 0x030E; ++code) {
    types.emplace_back(static_cast<MsgType>(code), 0x20000 + (code & 0xFF));
  }
  for (uint16_t code = 0x0381; code <= 0x0389; ++code) {
    types.emplace_back(static_cast<MsgType>(code), 0x28000 + (code & 0x7F));
  }
  return types;
}

// Drains every endpoint each time the shared event is set, counting per endpoint and type.
class Drain {
 public:
  Drain(const std::vector<ComPtr<ICvnEndPoint>>& endpoints, HANDLE event)
      : endpoints_(endpoints), event_(event), counts_(endpoints.size()),
        thread_([this] { Run(); }) {}
  ~Drain() { Stop(); }
  Drain(const Drain&) = delete;
  Drain& operator=(const Drain&) = delete;

  void Stop() {
    if (!thread_.joinable()) return;
    stop_ = true;
    thread_.join();
    Sweep();  // whatever arrived after the last signal
  }
  std::map<LONG, int> Counts(size_t index) {
    std::lock_guard<std::mutex> lock(mutex_);
    return counts_[index];
  }
  int Total(size_t index) {
    std::lock_guard<std::mutex> lock(mutex_);
    int total = 0;
    for (const auto& [type, count] : counts_[index]) total += count;
    return total;
  }
  int Misrouted() {
    std::lock_guard<std::mutex> lock(mutex_);
    return misrouted_;
  }

 private:
  void Run() {
    while (!stop_) {
      WaitForSingleObject(event_, 50);
      Sweep();
    }
  }
  void Sweep() {
    for (size_t i = 0; i < endpoints_.size(); ++i) {
      ComPtr<IMsgInterpreter> message;
      while (endpoints_[i]->RetrieveMsg(message.Out()) == S_OK) {
        Bstr extension;
        message->GetUserExtensionA(extension.Out());
        std::lock_guard<std::mutex> lock(mutex_);
        ++counts_[i][cvntest::MsgType(message.Get())];
        if (extension.NarrowText() != Extension(static_cast<int>(i))) ++misrouted_;
      }
    }
  }

  const std::vector<ComPtr<ICvnEndPoint>>& endpoints_;
  HANDLE event_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<std::map<LONG, int>> counts_;
  int misrouted_ = 0;
  std::thread thread_;
};

TEST(LoadTest, TwoHundredExtensionsNothingLostDuplicatedOrMisrouted) {
  ComponentMachine machine;
  ccmsim::ServerOptions options;
  // Virtual telephones answer only when told, so that every call goes the same way.
  options.directory = ccmsim::Directory::Default(600000);
  for (int i = 0; i < kExtensions; ++i) {
    ccmsim::DirectoryEntry entry;
    entry.extension = Extension(i);
    entry.owner = "Load " + entry.extension;
    ASSERT_TRUE(options.directory.Add(entry).ok());
  }
  ccmsim::Server server(options);
  ASSERT_TRUE(server.Start().ok());
  PointAtServer(server.Port());

  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  ASSERT_NE(event, nullptr);
  std::vector<ComPtr<ICvnEndPoint>> endpoints;
  for (int i = 0; i < kExtensions; ++i) {
    endpoints.push_back(CreateEndPoint());
    ASSERT_TRUE(endpoints.back());
    LONG shared = static_cast<LONG>(reinterpret_cast<LONG_PTR>(event));
    ASSERT_EQ(endpoints.back()->ConnectToServer(&shared), S_OK);
  }
  Drain drain(endpoints, event);
  for (int i = 0; i < kExtensions; ++i) {
    Bstr extension = Bstr::Narrow(Extension(i)), password = Bstr::Narrow("pw");
    ASSERT_EQ(endpoints[i]->RegisterA(extension.Get(), password.Get()), S_OK);
  }
  for (int i = 0; i < kExtensions; ++i) {
    ASSERT_TRUE(server.WaitRegistered(Extension(i), kWait)) << Extension(i);
  }
  EXPECT_EQ(server.ConnectionCount(), 1u);

  // Each round every extension makes or takes one call: to a virtual telephone, from one, or
  // to the next extension; the called party answers and the caller hangs up.
  int refused = 0;
  for (int round = 0; round < kRounds; ++round) {
    for (int i = 0; i < kExtensions; ++i) {
      std::string caller = Extension(i), called = Virtual(i + round);
      if (round % 3 == 1) std::swap(caller, called);
      if (round % 3 == 2) called = Extension((i + 1) % kExtensions);
      refused += !server.Call(caller, called).ok();
      refused += !server.Answer(called).ok();
      refused += !server.Hangup(caller).ok();
    }
  }
  EXPECT_EQ(refused, 0);

  const std::vector<std::pair<MsgType, LONG>> types = InboundTypes();
  auto sent_total = [&](int i) {
    int total = 0;
    for (const auto& [wire, type] : types) total += server.SentCount(Extension(i), wire);
    return total;
  };
  const bool all_arrived = WaitFor(
      [&] {
        for (int i = 0; i < kExtensions; ++i) {
          if (drain.Total(i) < sent_total(i)) return false;
        }
        return true;
      },
      std::chrono::seconds(30));
  EXPECT_TRUE(all_arrived);
  drain.Stop();

  int messages = 0;
  for (int i = 0; i < kExtensions; ++i) {
    SCOPED_TRACE(Extension(i));
    std::map<LONG, int> expected;
    for (const auto& [wire, type] : types) {
      const int sent = server.SentCount(Extension(i), wire);
      if (sent != 0) expected[type] = sent;
      messages += sent;
    }
    EXPECT_EQ(drain.Counts(i), expected);
  }
  EXPECT_EQ(drain.Misrouted(), 0);
  // Registration, and at least offhook, ring-back or new call, connected and onhook per call.
  EXPECT_GE(messages, kExtensions * (1 + 3 * kRounds));

  for (auto& endpoint : endpoints) EXPECT_EQ(endpoint->DisconnectFromServer(), S_OK);
  endpoints.clear();
  CloseHandle(event);
}

}  // namespace
