// The ccmsim program as a process: its help, the control commands on its standard input, its
// directory file, and each way it stops (every one announces shutdown to registered clients).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>

#include "kivtest/prefix.h"
#include "test_client.h"

namespace ccmsim::testing {
namespace {

using Clock = std::chrono::steady_clock;

// The program with pipes on its standard input and output.
class Program {
 public:
  explicit Program(std::vector<std::string> args) {
    int in[2];
    int out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
    const std::string path = (kivtest::BinDir() / "ccmsim").string();
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(in[0], STDIN_FILENO);
      ::dup2(out[1], STDOUT_FILENO);
      ::execv(path.c_str(), argv.data());
      ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    stdin_ = in[1];
    stdout_ = out[0];
  }
  ~Program() {
    CloseInput();
    if (pid_ > 0 && !exited_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (stdout_ >= 0) ::close(stdout_);
  }

  void Send(const std::string& line) {
    const std::string text = line + "\n";
    ASSERT_EQ(::write(stdin_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }
  void CloseInput() {
    if (stdin_ >= 0) ::close(stdin_);
    stdin_ = -1;
  }
  void Signal(int signal) { ::kill(pid_, signal); }

  // The next line of output without its line break; none on time-out or end of output.
  std::optional<std::string> ReadLine(std::chrono::milliseconds timeout = kWait) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
      if (const size_t end = buffer_.find('\n'); end != std::string::npos) {
        std::string line = buffer_.substr(0, end);
        buffer_.erase(0, end + 1);
        return line;
      }
      if (!Fill(deadline)) return std::nullopt;
    }
  }
  // Lines up to and including the answer's last line ("ok" or "error: ...").
  std::vector<std::string> Answer(const std::string& command) {
    Send(command);
    std::vector<std::string> lines;
    while (std::optional<std::string> line = ReadLine()) {
      lines.push_back(*line);
      if (*line == "ok" || line->rfind("error: ", 0) == 0) break;
    }
    return lines;
  }
  // Everything left on standard output, then the exit status (-1 if it does not end in time).
  int Wait(std::string* rest = nullptr) {
    const auto deadline = Clock::now() + kWait;
    while (Fill(deadline)) {
    }
    if (rest != nullptr) *rest = buffer_;
    if (!eof_) return -1;
    int status = 0;
    ::waitpid(pid_, &status, 0);
    exited_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  uint16_t ListeningPort() {
    std::optional<std::string> first = ReadLine();
    const std::string prefix = "listening on 127.0.0.1:";
    if (!first || first->rfind(prefix, 0) != 0) return 0;
    return static_cast<uint16_t>(std::stoi(first->substr(prefix.size())));
  }

 private:
  bool Fill(Clock::time_point deadline) {
    if (eof_) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd p{stdout_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(std::max<long long>(left, 0))) <= 0) return false;
    char chunk[4096];
    const ssize_t n = ::read(stdout_, chunk, sizeof chunk);
    if (n <= 0) {
      eof_ = true;
      return false;
    }
    buffer_.append(chunk, static_cast<size_t>(n));
    return true;
  }

  pid_t pid_ = -1;
  int stdin_ = -1;
  int stdout_ = -1;
  bool eof_ = false;
  bool exited_ = false;
  std::string buffer_;
};

TEST(CcmsimProgramTest, HelpDocumentsTheDirectoryFormatAndEveryCommand) {
  Program program({"--help"});
  std::string help;
  ASSERT_EQ(program.Wait(&help), 0);
  for (const char* text : {"--listen HOST:PORT", "--directory FILE", "phone   EXT[-LAST] [password=TEXT]",
                           "virtual EXT[-LAST]", "answer=MS|never", "hangup=MS", "orbit   NUM[-LAST]",
                           "phone 100-119", "virtual 200-209", "call FROM TO", "answer EXT", "hangup EXT",
                           "digits EXT DIGITS", "lift EXT [LINE]", "press EXT DIGITS", "hook EXT LINE",
                           "status", "refuse EXT", "mute EXT", "unmute EXT", "delay MS", "drop",
                           "garbage EXT [KIND]", "shutdown", "quit"}) {
    EXPECT_NE(help.find(text), std::string::npos) << text;
  }
}

TEST(CcmsimProgramTest, DrivenThroughItsStandardInput) {
  Program program({"--listen", "127.0.0.1:0", "--ring", "10"});
  const uint16_t port = program.ListeningPort();
  ASSERT_NE(port, 0);
  TestClient phone(port);
  phone.Register("100");
  ASSERT_EQ(phone.Next(), "100 0102");

  std::vector<std::string> status = program.Answer("status");
  ASSERT_GE(status.size(), 3u);
  EXPECT_EQ(status.front(), "listening on 127.0.0.1:" + std::to_string(port) + ", 1 connection(s)");
  EXPECT_EQ(status[1], "phone 100 \"Phone 100\" registered (connection 1)");
  EXPECT_EQ(status.back(), "ok");

  EXPECT_EQ(program.Answer("call 205 100"), std::vector<std::string>{"ok"});
  EXPECT_EQ(phone.Next(), "100 0381/65/205");
  EXPECT_EQ(program.Answer("answer 100"), std::vector<std::string>{"ok"});
  EXPECT_EQ(phone.Next(2), "100 0302/65 100 0383/65/205");
  EXPECT_EQ(program.Answer("digits 205 3"), std::vector<std::string>{"ok"});
  EXPECT_EQ(phone.Next(), "100 0388/65=3");
  EXPECT_EQ(program.Answer("frobnicate"), std::vector<std::string>{"error: unknown command 'frobnicate' (try help)"});
  EXPECT_EQ(program.Answer("quit"), std::vector<std::string>{"ok"});
  EXPECT_EQ(phone.Next(), "100 0105");
  EXPECT_TRUE(phone.WaitClosed());
  EXPECT_EQ(program.Wait(), 0);
}

TEST(CcmsimProgramTest, EveryWayOfStoppingAnnouncesShutdown) {
  enum class Stop { kEndOfInput, kSigterm, kSigint, kShutdownThenQuit };
  for (Stop stop : {Stop::kEndOfInput, Stop::kSigterm, Stop::kSigint, Stop::kShutdownThenQuit}) {
    SCOPED_TRACE(static_cast<int>(stop));
    Program program({"--listen", "localhost:0"});
    const uint16_t port = program.ListeningPort();
    ASSERT_NE(port, 0);
    TestClient phone(port);
    phone.Register("119");
    ASSERT_EQ(phone.Next(), "119 0102");
    switch (stop) {
      case Stop::kEndOfInput: program.CloseInput(); break;
      case Stop::kSigterm: program.Signal(SIGTERM); break;
      case Stop::kSigint: program.Signal(SIGINT); break;
      case Stop::kShutdownThenQuit: EXPECT_EQ(program.Answer("shutdown").back(), "ok"); break;
    }
    EXPECT_EQ(phone.Next(), "119 0105");
    EXPECT_TRUE(phone.WaitClosed());
    if (stop == Stop::kShutdownThenQuit) {
      TestClient again(port);  // still listening
      again.Register("119");
      EXPECT_EQ(again.Next(), "119 0102");
      EXPECT_EQ(program.Answer("quit").back(), "ok");
      EXPECT_EQ(again.Next(), "119 0105");
    }
    EXPECT_EQ(program.Wait(), 0);
  }
}

TEST(CcmsimProgramTest, ReadsADirectoryFileAndRejectsBadArguments) {
  kivtest::ScopedPrefix prefix;
  const auto file = prefix.path() / "directory.txt";
  std::ofstream(file) << "phone 4000 password=pw name=\"Desk 4000\"\n";
  {
    Program program({"--listen", "127.0.0.1:0", "--directory", file.string()});
    const uint16_t port = program.ListeningPort();
    ASSERT_NE(port, 0);
    TestClient phone(port);
    phone.Register("4000", "px");
    phone.Register("4000", "pw");
    phone.Register("100", "");
    EXPECT_EQ(phone.Next(3), "4000 0102!2 4000 0102 100 0102!1");
    program.CloseInput();
    EXPECT_EQ(program.Wait(), 0);
  }
  std::ofstream(file) << "phone 4000 colour=red\n";
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--listen", "10.1.2.3:0"}, {"--listen", "127.0.0.1"}, {"--listen", "127.0.0.1:70000"},
        {"--directory", "/nonexistent/directory.txt"}, {"--directory", file.string()}, {"--ring"}, {"--bogus"}}) {
    Program program(args);
    std::string output;
    EXPECT_EQ(program.Wait(&output), 2) << args[0];
    EXPECT_EQ(output, "") << "nothing on standard output when it cannot start";
  }
}

}  // namespace
}  // namespace ccmsim::testing
