#include "simulator_fixture.h"

#include <algorithm>

namespace cvndebug_test {

void SimulatorTest::SetUp() {
  ccmsim::ServerOptions options;
  options.directory = ccmsim::Directory::Parse(kTestDirectory).value();
  options.trace = [this](const std::string& line) {
    std::lock_guard<std::mutex> lock(trace_mutex_);
    trace_.push_back(line);
  };
  server_ = std::make_unique<ccmsim::Server>(std::move(options));
  ASSERT_TRUE(server_->Start().ok());

  ASSERT_EQ(
      RunToEnd(kivtest::BinDir() / "regsvr", {(kivtest::LibDir() / "libCorvane.so").string()}), 0);
  const std::string key = "HKLM\\Software\\KIV\\Corvane";
  ASSERT_EQ(RunToEnd(kivtest::BinDir() / "reg",
                     {"add", key, "/v", "ServerIPAddr", "/t", "REG_SZ", "/d", "127.0.0.1", "/f"}),
            0);
  ASSERT_EQ(RunToEnd(kivtest::BinDir() / "reg", {"add", key, "/v", "ServerPortId", "/t", "REG_SZ",
                                                 "/d", std::to_string(server_->Port()), "/f"}),
            0);
}

std::unique_ptr<ChildProcess> SimulatorTest::StartDebugger(const std::vector<std::string>& args) {
  return std::make_unique<ChildProcess>(kivtest::BinDir() / "CvnDebug", args, kPrompt);
}

bool SimulatorTest::WaitTrace(const std::vector<std::string>& texts,
                              std::chrono::milliseconds timeout) {
  const auto matches = [&] {
    std::lock_guard<std::mutex> lock(trace_mutex_);
    return std::any_of(trace_.begin(), trace_.end(), [&](const std::string& line) {
      return std::all_of(texts.begin(), texts.end(), [&](const std::string& text) {
        return line.find(text) != std::string::npos;
      });
    });
  };
  return server_->WaitUntil(matches, timeout);
}

std::vector<std::string> SimulatorTest::TraceLines() const {
  std::lock_guard<std::mutex> lock(trace_mutex_);
  return trace_;
}

}  // namespace cvndebug_test
