// A child process with its standard input, output and error on pipes, for end-to-end tests.
// Output is collected by two reader threads; every wait has an upper bound. One test thread
// drives a ChildProcess; its methods are not for concurrent use.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace cvndebug_test {

inline constexpr std::chrono::milliseconds kWait{10000};

enum class Stream { kOut, kErr };

class ChildProcess {
 public:
  // Starts program with args; the child inherits the environment (KIV_PREFIX included).
  // Every occurrence of `ignored` (when not empty) is dropped from the standard output as it
  // arrives: a prompt that another thread's output may interleave with.
  ChildProcess(const std::filesystem::path& program, const std::vector<std::string>& args,
               std::string ignored = {});
  // Kills a child that is still running.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  void Write(const std::string& text);
  void WriteLine(const std::string& line) { Write(line + "\n"); }
  void CloseInput();

  // Waits until text appears in the stream after the stream's cursor, then moves the cursor
  // past it. False when it does not appear within timeout (or the stream ends without it).
  bool Expect(const std::string& text, Stream stream = Stream::kOut,
              std::chrono::milliseconds timeout = kWait);
  // Like Expect, and returns the text between the old cursor and the match.
  std::optional<std::string> ReadUntil(const std::string& text, Stream stream = Stream::kOut,
                                       std::chrono::milliseconds timeout = kWait);
  // Waits until text appears anywhere in the stream (the cursor is neither used nor moved).
  bool Contains(const std::string& text, Stream stream = Stream::kOut,
                std::chrono::milliseconds timeout = kWait);
  // Moves the cursor to the end of what has arrived so far.
  void SkipPending(Stream stream = Stream::kOut);
  // What arrived after the cursor; the whole stream.
  std::string Pending(Stream stream = Stream::kOut) const;
  std::string All(Stream stream = Stream::kOut) const;

  // The exit code (a signal as 128 + its number), or nothing within timeout.
  std::optional<int> WaitExit(std::chrono::milliseconds timeout = kWait);

 private:
  struct Buffer {
    std::string text;
    std::string held;  // an arrived tail that may be the start of `ignored`
    std::size_t cursor = 0;
    bool closed = false;
  };
  Buffer& BufferOf(Stream stream) { return stream == Stream::kOut ? out_ : err_; }
  const Buffer& BufferOf(Stream stream) const { return stream == Stream::kOut ? out_ : err_; }
  void ReadAll(int fd, Buffer& buffer, const std::string& ignored);

  const std::string ignored_;
  pid_t pid_ = -1;
  int stdin_fd_ = -1;
  std::optional<int> exit_code_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  Buffer out_;  // guarded by mutex_
  Buffer err_;  // guarded by mutex_
  std::thread out_reader_;
  std::thread err_reader_;
};

// Runs program to its end and returns its exit code (or nothing after timeout).
std::optional<int> RunToEnd(const std::filesystem::path& program,
                            const std::vector<std::string>& args,
                            std::chrono::milliseconds timeout = kWait);

}  // namespace cvndebug_test
