#include "registry_store.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "prefix.h"
#include "registry_text.h"

namespace plat::reg {
namespace {

// An open file descriptor, closed when it goes.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

std::string SystemError(const std::string& what, const std::filesystem::path& file) {
  return "cannot " + what + " " + file.string() + ": " + std::strerror(errno);
}

// Reads the whole file; `missing` tells a file that does not exist.
bool ReadFile(const std::filesystem::path& file, std::string* text, bool* missing, std::string* error) {
  *missing = false;
  text->clear();
  Fd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    if (errno == ENOENT) {
      *missing = true;
      return true;
    }
    *error = SystemError("read", file);
    return false;
  }
  char buf[8192];
  while (true) {
    const ssize_t n = ::read(fd.get(), buf, sizeof buf);
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      *error = SystemError("read", file);
      return false;
    }
    text->append(buf, static_cast<std::size_t>(n));
  }
}

bool WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

LONG LoadFrom(const std::filesystem::path& file, Key& root, std::string* text, std::string* error) {
  bool missing = false;
  if (!ReadFile(file, text, &missing, error)) return ERROR_CANTREAD;
  if (missing) return ERROR_SUCCESS;
  TextError text_error;
  if (!ParseRegistryText(*text, root, &text_error)) {
    *error = DescribeTextError(file.string(), text_error.line, text_error.what);
    return ERROR_BADDB;
  }
  return ERROR_SUCCESS;
}

// Replaces `file` with `text` atomically: readers see the old or the new hive, never a part.
LONG Replace(const std::filesystem::path& file, const std::string& text, std::string* error) {
  const std::filesystem::path temp = file.string() + ".tmp";
  Fd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (fd.get() < 0) {
    *error = SystemError("write", temp);
    return ERROR_CANTWRITE;
  }
  const bool written = WriteAll(fd.get(), text) && ::fsync(fd.get()) == 0;
  const bool closed = ::close(fd.release()) == 0;
  if (!written || !closed || ::rename(temp.c_str(), file.c_str()) != 0) {
    *error = SystemError("write", temp);
    ::unlink(temp.c_str());
    return ERROR_CANTWRITE;
  }
  return ERROR_SUCCESS;
}

}  // namespace

std::string DescribeTextError(const std::string& file, int line, const std::string& what) {
  return file + " line " + std::to_string(line) + ": " + what;
}

LONG LoadHive(Key& root, std::string* error) {
  std::string text;
  std::string ignored;
  return LoadFrom(HivePath(), root, &text, error != nullptr ? error : &ignored);
}

LONG UpdateHive(const std::function<LONG(Key&)>& change, std::string* error) {
  std::string ignored;
  if (error == nullptr) error = &ignored;
  const std::filesystem::path hive = HivePath();
  std::error_code ec;
  std::filesystem::create_directories(hive.parent_path(), ec);
  if (ec) {
    *error = "cannot make the folder " + hive.parent_path().string() + ": " + ec.message();
    return ERROR_CANTWRITE;
  }
  const std::filesystem::path lock_file = hive.string() + ".lock";
  Fd lock(::open(lock_file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  if (lock.get() < 0) {
    *error = SystemError("open", lock_file);
    return ERROR_CANTWRITE;
  }
  // flock locks belong to the open file description, so they also keep apart two threads of
  // this process, each of which opened the lock file itself.
  while (::flock(lock.get(), LOCK_EX) != 0) {
    if (errno != EINTR) {
      *error = SystemError("lock", lock_file);
      return ERROR_CANTWRITE;
    }
  }
  Key root;
  std::string before;
  if (const LONG loaded = LoadFrom(hive, root, &before, error); loaded != ERROR_SUCCESS) return loaded;
  if (const LONG changed = change(root); changed != ERROR_SUCCESS) return changed;
  const std::string after = WriteRegistryText(root);
  if (after == before) return ERROR_SUCCESS;
  return Replace(hive, after, error);  // the lock goes with its descriptor
}

}  // namespace plat::reg
