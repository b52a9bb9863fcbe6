#include "child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

extern char** environ;

namespace cvndebug_test {

namespace {

// Appends data to text, leaving out every occurrence of ignored; a tail that may begin an
// occurrence waits in held for the next data.
void AppendFiltered(std::string& text, std::string& held, const std::string& ignored,
                    const char* data, std::size_t size) {
  held.append(data, size);
  if (ignored.empty()) {
    text += held;
    held.clear();
    return;
  }
  for (std::size_t pos = held.find(ignored); pos != std::string::npos; pos = held.find(ignored)) {
    text.append(held, 0, pos);
    held.erase(0, pos + ignored.size());
  }
  std::size_t keep = std::min(held.size(), ignored.size() - 1);
  while (keep > 0 && held.compare(held.size() - keep, keep, ignored, 0, keep) != 0) --keep;
  text.append(held, 0, held.size() - keep);
  held.erase(0, held.size() - keep);
}

}  // namespace

ChildProcess::ChildProcess(const std::filesystem::path& program,
                           const std::vector<std::string>& args, std::string ignored)
    : ignored_(std::move(ignored)) {
  int in_pipe[2], out_pipe[2], err_pipe[2];
  if (pipe2(in_pipe, O_CLOEXEC) != 0 || pipe2(out_pipe, O_CLOEXEC) != 0 ||
      pipe2(err_pipe, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in_pipe[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], STDERR_FILENO);
  std::vector<std::string> argv_text = {program.string()};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argv_text) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const int rc = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(in_pipe[0]);
  close(out_pipe[1]);
  close(err_pipe[1]);
  stdin_fd_ = in_pipe[1];
  if (rc != 0) {
    close(out_pipe[0]);
    close(err_pipe[0]);
    close(stdin_fd_);
    throw std::runtime_error("cannot start " + program.string());
  }
  out_reader_ = std::thread([this, fd = out_pipe[0]] { ReadAll(fd, out_, ignored_); });
  err_reader_ = std::thread([this, fd = err_pipe[0]] { ReadAll(fd, err_, std::string()); });
}

ChildProcess::~ChildProcess() {
  if (!exit_code_) {
    kill(pid_, SIGKILL);
    WaitExit(std::chrono::milliseconds(5000));
  }
  CloseInput();
  if (out_reader_.joinable()) out_reader_.join();
  if (err_reader_.joinable()) err_reader_.join();
}

void ChildProcess::ReadAll(int fd, Buffer& buffer, const std::string& ignored) {
  char chunk[4096];
  for (;;) {
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    std::lock_guard<std::mutex> lock(mutex_);
    if (n <= 0) {
      buffer.text += buffer.held;
      buffer.held.clear();
      buffer.closed = true;
      changed_.notify_all();
      break;
    }
    AppendFiltered(buffer.text, buffer.held, ignored, chunk, static_cast<std::size_t>(n));
    changed_.notify_all();
  }
  close(fd);
}

void ChildProcess::Write(const std::string& text) {
  std::size_t done = 0;
  while (done < text.size() && stdin_fd_ >= 0) {
    const ssize_t n = write(stdin_fd_, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // the child has gone; what it printed tells the test why
    done += static_cast<std::size_t>(n);
  }
}

void ChildProcess::CloseInput() {
  if (stdin_fd_ >= 0) close(stdin_fd_);
  stdin_fd_ = -1;
}

bool ChildProcess::Expect(const std::string& text, Stream stream,
                          std::chrono::milliseconds timeout) {
  return ReadUntil(text, stream, timeout).has_value();
}

std::optional<std::string> ChildProcess::ReadUntil(const std::string& text, Stream stream,
                                                   std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  Buffer& buffer = BufferOf(stream);
  std::size_t pos = std::string::npos;
  changed_.wait_for(lock, timeout, [&] {
    pos = buffer.text.find(text, buffer.cursor);
    return pos != std::string::npos || buffer.closed;
  });
  if (pos == std::string::npos) return std::nullopt;
  std::string before = buffer.text.substr(buffer.cursor, pos - buffer.cursor);
  buffer.cursor = pos + text.size();
  return before;
}

bool ChildProcess::Contains(const std::string& text, Stream stream,
                            std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  Buffer& buffer = BufferOf(stream);
  const auto found = [&] { return buffer.text.find(text) != std::string::npos; };
  changed_.wait_for(lock, timeout, [&] { return found() || buffer.closed; });
  return found();
}

void ChildProcess::SkipPending(Stream stream) {
  std::lock_guard<std::mutex> lock(mutex_);
  Buffer& buffer = BufferOf(stream);
  buffer.cursor = buffer.text.size();
}

std::string ChildProcess::Pending(Stream stream) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const Buffer& buffer = BufferOf(stream);
  return buffer.text.substr(buffer.cursor);
}

std::string ChildProcess::All(Stream stream) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return BufferOf(stream).text;
}

std::optional<int> ChildProcess::WaitExit(std::chrono::milliseconds timeout) {
  if (exit_code_) return exit_code_;
  {
    // The child's end closes its output pipes: wait for that, then reap it.
    std::unique_lock<std::mutex> lock(mutex_);
    if (!changed_.wait_for(lock, timeout, [&] { return out_.closed && err_.closed; }))
      return std::nullopt;
  }
  int status = 0;
  if (waitpid(pid_, &status, 0) != pid_) return std::nullopt;
  exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return exit_code_;
}

std::optional<int> RunToEnd(const std::filesystem::path& program,
                            const std::vector<std::string>& args,
                            std::chrono::milliseconds timeout) {
  ChildProcess child(program, args);
  child.CloseInput();
  return child.WaitExit(timeout);
}

}  // namespace cvndebug_test
