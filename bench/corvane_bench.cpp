// Benchmarks of the component's message path, each beside its limit measured in the same run:
// inbound rate into one endpoint against a bare reader of the same stream, frame-to-RetrieveMsg
// latency against a raw ping-pong, registering 200 extensions, and the record codec.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "CCMCC.h"
#include "CCMLayout.h"
#include "Corvane.h"
#include "CvnEndPoint.h"
#include "MsgInterpreter.h"
#include "ccmsim/server.h"
#include "plat/oleauto.h"
#include "plat/registry.h"
#include "plat/sockets.h"
#include "plat/sync.h"
#include "raw_socket.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kBatch = 20000;

void PointAtServer(uint16_t port) {
  HKEY key = nullptr;
  RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\KIV\\Corvane", 0, nullptr,
                  REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  const std::string address = "127.0.0.1", text = std::to_string(port);
  RegSetValueExA(key, "ServerIPAddr", 0, REG_SZ, reinterpret_cast<const BYTE*>(address.c_str()),
                 static_cast<DWORD>(address.size() + 1));
  RegSetValueExA(key, "ServerPortId", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>(text.size() + 1));
  RegCloseKey(key);
}

std::vector<BYTE> Frame(WORD type, const char* extension) {
  std::vector<BYTE> frame(CCMLayout::CS_SIZE);
  CCMLayout::WriteWord(frame.data(), CCMLayout::MAGIC);
  CCMLayout::WriteWord(frame.data() + 2, static_cast<WORD>(frame.size()));
  CCMLayout::WriteWord(frame.data() + 4, type);
  CCMLayout::WriteWord(frame.data() + 6, CCMLayout::REVISION);
  CCMLayout::WriteText(frame.data(), CCMLayout::Extension, extension);
  return frame;
}

std::vector<BYTE> Stream(size_t frames) {
  const std::vector<BYTE> frame = Frame(0x0383, "100");
  std::vector<BYTE> stream;
  for (size_t i = 0; i < frames; ++i) stream.insert(stream.end(), frame.begin(), frame.end());
  return stream;
}

struct EndPoint {
  ICvnEndPoint* p = nullptr;
  HANDLE event = nullptr;
  EndPoint() {
    void* pv = nullptr;
    CvnEndPoint::CreateInstance(IID_ICvnEndPoint, &pv);
    p = static_cast<ICvnEndPoint*>(pv);
  }
  ~EndPoint() {
    p->DisconnectFromServer();
    p->Release();
  }
  // Event mode with the endpoint's own event.
  void Connect() {
    LONG value = -1;
    p->ConnectToServer(&value);
    event = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(value));
  }
  void Register(const std::string& extension) {
    BSTR ext = SysAllocStringByteLen(extension.data(), static_cast<UINT>(extension.size()));
    BSTR password = SysAllocStringByteLen("pw", 2);
    p->RegisterA(ext, password);
    SysFreeString(ext);
    SysFreeString(password);
  }
};

// What a client reads of a call-status message (a getter of another category returns E_FAIL
// and sets nothing).
void ReadAsClient(IMsgInterpreter* message) {
  LONG value = 0;
  message->GetMsgType(&value);
  message->GetFirstLineNum(&value);
  for (auto getter : {&IMsgInterpreter::GetUserExtensionA, &IMsgInterpreter::GetFirstAddrA,
                      &IMsgInterpreter::GetCallerNameA}) {
    BSTR text = nullptr;
    if ((message->*getter)(&text) == S_OK) SysFreeString(text);
  }
}

// Drains `count` messages, waiting on the endpoint's event between bursts.
size_t Drain(EndPoint& endpoint, size_t count) {
  size_t seen = 0;
  while (seen < count) {
    if (WaitForSingleObject(endpoint.event, 5000) != WAIT_OBJECT_0) break;
    IMsgInterpreter* message = nullptr;
    while (seen < count && endpoint.p->RetrieveMsg(&message) == S_OK) {
      ReadAsClient(message);
      message->Release();
      ++seen;
    }
  }
  return seen;
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// A: the bare reader's rate over the stream; B: the component's, into one endpoint drained by
// RetrieveMsg and the getters; ratio_B_over_A.
void BM_InboundRate(benchmark::State& state) {
  const std::vector<BYTE> stream = Stream(kBatch);
  uint16_t port = 0;
  const int listener = bench::Listen(&port);
  PointAtServer(port);
  EndPoint endpoint;
  endpoint.Connect();
  const int server = bench::Accept(listener);
  endpoint.Register("100");
  double raw_seconds = 0, cvn_seconds = 0;
  for (auto _ : state) {
    // A: the same bytes through a fresh loopback connection to the bare reader.
    uint16_t raw_port = 0;
    const int raw_listener = bench::Listen(&raw_port);
    std::thread sender([&] {
      const int fd = bench::Accept(raw_listener);
      bench::SendAll(fd, stream.data(), stream.size());
      bench::Close(fd);
    });
    const int reader = bench::Connect(raw_port);
    auto start = Clock::now();
    const size_t raw_frames = bench::ReadFrames(reader, kBatch);
    raw_seconds += Seconds(Clock::now() - start);
    sender.join();
    bench::Close(reader);
    bench::Close(raw_listener);

    // B: the component.
    start = Clock::now();
    std::thread cvn_sender([&] { bench::SendAll(server, stream.data(), stream.size()); });
    const size_t cvn_frames = Drain(endpoint, kBatch);
    cvn_seconds += Seconds(Clock::now() - start);
    cvn_sender.join();
    if (raw_frames != kBatch || cvn_frames != kBatch) {
      state.SkipWithError(("frames lost: raw " + std::to_string(raw_frames) + ", component " +
                           std::to_string(cvn_frames))
                              .c_str());
      break;
    }
  }
  const double frames = static_cast<double>(kBatch * state.iterations());
  state.counters["A_raw_msgs_per_s"] = frames / raw_seconds;
  state.counters["B_cvn_msgs_per_s"] = frames / cvn_seconds;
  state.counters["ratio_B_over_A"] = raw_seconds / cvn_seconds;
  bench::Close(server);
  bench::Close(listener);
}
BENCHMARK(BM_InboundRate)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

double Percentile(std::vector<double> samples, double q) {
  std::sort(samples.begin(), samples.end());
  return samples[static_cast<size_t>(q * static_cast<double>(samples.size() - 1))];
}

// One frame sent, until RetrieveMsg returns it; beside a raw round trip of the same size.
void BM_Latency(benchmark::State& state) {
  constexpr int kSamples = 5000;
  const std::vector<BYTE> frame = Frame(0x0383, "100");
  uint16_t port = 0;
  const int listener = bench::Listen(&port);
  PointAtServer(port);
  EndPoint endpoint;
  endpoint.Connect();
  const int server = bench::Accept(listener);
  endpoint.Register("100");

  uint16_t echo_port = 0;
  const int echo_listener = bench::Listen(&echo_port);
  std::thread echo([&] {
    const int fd = bench::Accept(echo_listener);
    std::vector<BYTE> buffer(frame.size());
    while (bench::ReceiveAll(fd, buffer.data(), buffer.size()) &&
           bench::SendAll(fd, buffer.data(), buffer.size())) {
    }
    bench::Close(fd);
  });
  const int pinger = bench::Connect(echo_port);

  std::vector<double> cvn, raw;
  for (auto _ : state) {
    for (int i = 0; i < kSamples; ++i) {
      auto start = Clock::now();
      bench::SendAll(server, frame.data(), frame.size());
      Drain(endpoint, 1);
      cvn.push_back(Seconds(Clock::now() - start) * 1e6);
      std::vector<BYTE> back(frame.size());
      start = Clock::now();
      bench::SendAll(pinger, frame.data(), frame.size());
      bench::ReceiveAll(pinger, back.data(), back.size());
      raw.push_back(Seconds(Clock::now() - start) * 1e6);
    }
  }
  state.counters["cvn_p50_us"] = Percentile(cvn, 0.50);
  state.counters["cvn_p99_us"] = Percentile(cvn, 0.99);
  state.counters["raw_pingpong_p50_us"] = Percentile(raw, 0.50);
  state.counters["raw_pingpong_p99_us"] = Percentile(raw, 0.99);
  state.counters["p99_ratio"] = Percentile(cvn, 0.99) / Percentile(raw, 0.99);
  bench::Close(pinger);
  echo.join();
  bench::Close(echo_listener);
  bench::Close(server);
  bench::Close(listener);
}
BENCHMARK(BM_Latency)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

// 200 endpoints registered on one connection to the simulator, until every reply is retrieved.
void BM_Register200(benchmark::State& state) {
  constexpr int kCount = 200;
  ccmsim::ServerOptions options;
  for (int i = 0; i < kCount; ++i) {
    ccmsim::DirectoryEntry entry;
    entry.extension = std::to_string(1000 + i);
    options.directory.Add(entry);
  }
  ccmsim::Server simulator(options);
  simulator.Start();
  PointAtServer(simulator.Port());
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<std::unique_ptr<EndPoint>> endpoints;
    for (int i = 0; i < kCount; ++i) {
      endpoints.push_back(std::make_unique<EndPoint>());
      endpoints.back()->Connect();
    }
    state.ResumeTiming();
    for (int i = 0; i < kCount; ++i) endpoints[i]->Register(std::to_string(1000 + i));
    for (int i = 0; i < kCount; ++i) {
      if (Drain(*endpoints[i], 1) != 1) state.SkipWithError("a register reply is missing");
    }
    state.PauseTiming();
    endpoints.clear();
    simulator.WaitUntil([&] { return simulator.ConnectionCount() == 0; }, std::chrono::seconds(5));
    state.ResumeTiming();
  }
  state.counters["limit_ms"] = 100;
}
BENCHMARK(BM_Register200)->Unit(benchmark::kMillisecond)->Iterations(20)->UseRealTime();

// Building a call-control request and sending it on a plain socket.
void BM_BuildSendCCMCC(benchmark::State& state) {
  uint16_t port = 0;
  const int listener = bench::Listen(&port);
  std::thread sink([&] {
    const int fd = bench::Accept(listener);
    bench::Discard(fd);
    bench::Close(fd);
  });
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  for (auto _ : state) {
    CCMCC msg;
    msg.SetType(0x0205);
    msg.SetExtension("100");
    msg.SetLineNumber(65);
    msg.SetDigits("5551234");
    if (msg.send(s) <= 0) state.SkipWithError("send failed");
  }
  closesocket(s);
  sink.join();
  bench::Close(listener);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BuildSendCCMCC);

// Reading a call-status message through the interpreter as a client does.
void BM_ReadCCMCS(benchmark::State& state) {
  std::vector<BYTE> frame = Frame(0x0381, "100");
  CCMLayout::WriteText(frame.data(), CCMLayout::CS::CallerName, "Somebody");
  for (auto _ : state) {
    void* pv = nullptr;
    MsgInterpreter::CreateInstance(IID_IMsgInterpreter, &pv);
    auto* message = static_cast<IMsgInterpreter*>(pv);
    auto* body = new unsigned char[frame.size()];
    std::copy(frame.begin(), frame.end(), body);
    message->SetMsgBody(body);
    ReadAsClient(message);
    message->Release();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadCCMCS);

}  // namespace

int main(int argc, char** argv) {
  // A machine of its own: the registry lives under a fresh prefix.
  char folder[] = "/tmp/kiv-bench-XXXXXX";
  if (mkdtemp(folder) == nullptr) return 1;
  std::filesystem::create_directories(std::filesystem::path(folder) / "drive_c" / "temp");
  setenv("KIV_PREFIX", folder, 1);
  // Endpoints create their interpreters by class id: the component is registered as an
  // installation registers it.
  const std::filesystem::path bin = std::filesystem::read_symlink("/proc/self/exe").parent_path();
  const std::string command = (bin / "regsvr").string() + " " +
                              (bin.parent_path() / "lib" / "libCorvane.so").string() +
                              " >/dev/null";
  if (std::system(command.c_str()) != 0) return 1;
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  CoUninitialize();
  std::filesystem::remove_all(folder);
  return 0;
}
