// Win32 file functions over POSIX descriptors, on paths mapped onto the prefix. A file handle is
// a descriptor in the handle table; reads and writes go through the descriptor's own offset
// (O_APPEND for handles opened with FILE_APPEND_DATA alone).
#include "plat/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "handles.h"
#include "prefix.h"

namespace plat {
namespace {

constexpr DWORD kFileWriteData = 0x00000002u;

class FileObject final : public KernelObject {
 public:
  explicit FileObject(int fd) : fd_(fd) {}
  ~FileObject() override { ::close(fd_); }
  int fd() const { return fd_; }

 private:
  const int fd_;
};

void SetError(LONG error) { SetLastError(static_cast<DWORD>(error)); }

// ENOENT means a missing file when its folder exists, else a missing path.
LONG MissingError(const std::filesystem::path& path) {
  std::error_code ec;
  return std::filesystem::is_directory(path.parent_path(), ec) ? ERROR_FILE_NOT_FOUND
                                                               : ERROR_PATH_NOT_FOUND;
}

LONG ErrorFromErrno(int error, const std::filesystem::path& path) {
  switch (error) {
    case ENOENT:
      return MissingError(path);
    case ENOTDIR:
    case ENAMETOOLONG:
      return ERROR_PATH_NOT_FOUND;
    case EEXIST:
      return ERROR_FILE_EXISTS;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
    case EBUSY:
      return ERROR_ACCESS_DENIED;
    case ENOSPC:
    case EDQUOT:
      return ERROR_DISK_FULL;
    case EBADF:
      return ERROR_INVALID_HANDLE;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    default:
      return ERROR_INVALID_FUNCTION;
  }
}

std::shared_ptr<FileObject> LookupFile(HANDLE handle) { return LookupHandleAs<FileObject>(handle); }

// Opens with O_EXCL first where the disposition must tell a created file from an existing one.
int OpenFile(const std::string& path, int access_flags, DWORD disposition, bool& existed) {
  existed = false;
  for (;;) {
    switch (disposition) {
      case CREATE_NEW:
        return ::open(path.c_str(), access_flags | O_CREAT | O_EXCL, 0644);
      case OPEN_EXISTING:
        return ::open(path.c_str(), access_flags);
      case TRUNCATE_EXISTING:
        return ::open(path.c_str(), access_flags | O_TRUNC);
      case CREATE_ALWAYS:
      case OPEN_ALWAYS: {
        int fd = ::open(path.c_str(), access_flags | O_CREAT | O_EXCL, 0644);
        if (fd >= 0 || errno != EEXIST) return fd;
        fd = ::open(path.c_str(), access_flags | (disposition == CREATE_ALWAYS ? O_TRUNC : 0));
        if (fd >= 0) {
          existed = true;
          return fd;
        }
        if (errno != ENOENT) return fd;
        break;  // removed in between: try again
      }
      default:
        errno = EINVAL;
        return -1;
    }
  }
}

}  // namespace
}  // namespace plat

extern "C" HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD,
                              LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition, DWORD, HANDLE) {
  if (lpFileName == nullptr || *lpFileName == '\0' || dwCreationDisposition < CREATE_NEW ||
      dwCreationDisposition > TRUNCATE_EXISTING) {
    plat::SetError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  const bool read = (dwDesiredAccess & GENERIC_READ) != 0;
  const bool write = (dwDesiredAccess & (GENERIC_WRITE | plat::kFileWriteData)) != 0;
  const bool append_only = !write && (dwDesiredAccess & FILE_APPEND_DATA) != 0;
  int flags = O_CLOEXEC;
  if (write || append_only) {
    flags |= read ? O_RDWR : O_WRONLY;
  } else {
    flags |= O_RDONLY;
  }
  if (append_only) flags |= O_APPEND;
  if (dwCreationDisposition == TRUNCATE_EXISTING && !write) {
    plat::SetError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }

  const std::filesystem::path path = plat::MapWindowsPath(lpFileName);
  bool existed = false;
  const int fd = plat::OpenFile(path.string(), flags, dwCreationDisposition, existed);
  if (fd < 0) {
    plat::SetError(plat::ErrorFromErrno(errno, path));
    return INVALID_HANDLE_VALUE;
  }
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    ::close(fd);
    plat::SetError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  HANDLE handle = plat::InsertHandle(std::make_shared<plat::FileObject>(fd));
  plat::SetError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}

extern "C" BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                          LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
  if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = 0;
  if (lpOverlapped != nullptr || (lpBuffer == nullptr && nNumberOfBytesToWrite > 0)) {
    plat::SetError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto file = plat::LookupFile(hFile);
  if (!file) return FALSE;
  const auto* bytes = static_cast<const char*>(lpBuffer);
  DWORD done = 0;
  while (done < nNumberOfBytesToWrite) {
    const ssize_t n = ::write(file->fd(), bytes + done, nNumberOfBytesToWrite - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      plat::SetError(plat::ErrorFromErrno(errno, {}));
      break;
    }
    done += static_cast<DWORD>(n);
  }
  if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = done;
  return done == nNumberOfBytesToWrite ? TRUE : FALSE;
}

extern "C" BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                         LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
  if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = 0;
  if (lpOverlapped != nullptr || (lpBuffer == nullptr && nNumberOfBytesToRead > 0)) {
    plat::SetError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto file = plat::LookupFile(hFile);
  if (!file) return FALSE;
  auto* bytes = static_cast<char*>(lpBuffer);
  DWORD done = 0;
  while (done < nNumberOfBytesToRead) {
    const ssize_t n = ::read(file->fd(), bytes + done, nNumberOfBytesToRead - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      plat::SetError(plat::ErrorFromErrno(errno, {}));
      if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = done;
      return FALSE;
    }
    if (n == 0) break;  // end of file
    done += static_cast<DWORD>(n);
  }
  if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = done;
  return TRUE;
}

extern "C" BOOL FlushFileBuffers(HANDLE hFile) {
  auto file = plat::LookupFile(hFile);
  if (!file) return FALSE;
  if (::fsync(file->fd()) != 0) {
    plat::SetError(plat::ErrorFromErrno(errno, {}));
    return FALSE;
  }
  return TRUE;
}

extern "C" DWORD GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
  auto file = plat::LookupFile(hFile);
  if (!file) return INVALID_FILE_SIZE;
  struct stat info {};
  if (::fstat(file->fd(), &info) != 0) {
    plat::SetError(plat::ErrorFromErrno(errno, {}));
    return INVALID_FILE_SIZE;
  }
  const auto size = static_cast<ULONGLONG>(info.st_size);
  if (lpFileSizeHigh != nullptr) *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
  // A low word of 0xFFFFFFFF is a valid size: the caller tells it apart by GetLastError.
  plat::SetError(ERROR_SUCCESS);
  return static_cast<DWORD>(size);
}

extern "C" DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, LPLONG lpDistanceToMoveHigh,
                                DWORD dwMoveMethod) {
  auto file = plat::LookupFile(hFile);
  if (!file) return INVALID_SET_FILE_POINTER;
  // With a high word the distance is a 64-bit value; without, the low word is signed.
  const std::int64_t distance =
      lpDistanceToMoveHigh != nullptr
          ? static_cast<std::int64_t>(
                (static_cast<ULONGLONG>(static_cast<DWORD>(*lpDistanceToMoveHigh)) << 32) |
                static_cast<DWORD>(lDistanceToMove))
          : lDistanceToMove;
  int whence = SEEK_SET;
  switch (dwMoveMethod) {
    case FILE_BEGIN:
      whence = SEEK_SET;
      break;
    case FILE_CURRENT:
      whence = SEEK_CUR;
      break;
    case FILE_END:
      whence = SEEK_END;
      break;
    default:
      plat::SetError(ERROR_INVALID_PARAMETER);
      return INVALID_SET_FILE_POINTER;
  }
  const off_t position = ::lseek(file->fd(), static_cast<off_t>(distance), whence);
  if (position < 0) {
    plat::SetError(errno == EINVAL ? ERROR_NEGATIVE_SEEK : plat::ErrorFromErrno(errno, {}));
    return INVALID_SET_FILE_POINTER;
  }
  const auto result = static_cast<ULONGLONG>(position);
  if (lpDistanceToMoveHigh != nullptr) *lpDistanceToMoveHigh = static_cast<LONG>(result >> 32);
  plat::SetError(ERROR_SUCCESS);
  return static_cast<DWORD>(result);
}

extern "C" BOOL MoveFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName) {
  if (lpExistingFileName == nullptr || lpNewFileName == nullptr) {
    plat::SetError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::filesystem::path from = plat::MapWindowsPath(lpExistingFileName);
  const std::filesystem::path to = plat::MapWindowsPath(lpNewFileName);
  // Never replaces the target: renameat2 refuses an existing one atomically; where the file
  // system lacks it, link (which refuses too) and then unlink the source.
  int result = ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
  if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {
    result = ::link(from.c_str(), to.c_str());
    if (result == 0) ::unlink(from.c_str());
  }
  if (result == 0) return TRUE;
  const int error = errno;
  struct stat info {};
  if (error == ENOENT && ::lstat(from.c_str(), &info) != 0) {
    plat::SetError(plat::MissingError(from));
  } else if (error == EEXIST) {
    plat::SetError(ERROR_ALREADY_EXISTS);
  } else {
    plat::SetError(error == ENOENT ? ERROR_PATH_NOT_FOUND : plat::ErrorFromErrno(error, to));
  }
  return FALSE;
}

extern "C" BOOL DeleteFileA(LPCSTR lpFileName) {
  if (lpFileName == nullptr) {
    plat::SetError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::filesystem::path path = plat::MapWindowsPath(lpFileName);
  if (::unlink(path.c_str()) != 0) {
    plat::SetError(plat::ErrorFromErrno(errno, path));
    return FALSE;
  }
  return TRUE;
}

extern "C" BOOL CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES) {
  if (lpPathName == nullptr) {
    plat::SetError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::filesystem::path path = plat::MapWindowsPath(lpPathName);
  if (::mkdir(path.c_str(), 0755) != 0) {
    const int error = errno;
    plat::SetError(error == EEXIST   ? ERROR_ALREADY_EXISTS
                   : error == ENOENT ? ERROR_PATH_NOT_FOUND
                                     : plat::ErrorFromErrno(error, path));
    return FALSE;
  }
  return TRUE;
}

extern "C" DWORD GetFileAttributesA(LPCSTR lpFileName) {
  if (lpFileName == nullptr) {
    plat::SetError(ERROR_INVALID_PARAMETER);
    return INVALID_FILE_ATTRIBUTES;
  }
  const std::filesystem::path path = plat::MapWindowsPath(lpFileName);
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    plat::SetError(plat::ErrorFromErrno(errno, path));
    return INVALID_FILE_ATTRIBUTES;
  }
  DWORD attributes = S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : 0;
  if ((info.st_mode & S_IWUSR) == 0) attributes |= FILE_ATTRIBUTE_READONLY;
  return attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
}
