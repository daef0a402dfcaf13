// Plain files behind handles, and the current directory.
//
// Paths may be written with '\' separators as host code writes them; they
// are taken with '/'. Share modes have no counterpart here and are not
// enforced.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "files.h"
#include "runtime.h"

namespace w32 {

std::string HostPath(const char *path) {
  std::string p = path;
  for (char &c : p) {
    if (c == '\\') c = '/';
  }
  return p;
}

namespace {

DWORD ErrorForOpen(int e, const std::string &path) {
  switch (e) {
    case ENOENT: {
      // A missing directory on the way is a different failure from a
      // missing file in an existing directory.
      std::string::size_type slash = path.find_last_of('/');
      if (slash == std::string::npos || slash == 0) return ERROR_FILE_NOT_FOUND;
      struct stat st {};
      std::string dir = path.substr(0, slash);
      return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    }
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return ERROR_ACCESS_DENIED;
    case EEXIST:
      return ERROR_FILE_EXISTS;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    case EMFILE:
    case ENFILE:
      return ERROR_TOO_MANY_OPEN_FILES;
    case ENOSPC:
      return ERROR_DISK_FULL;
    default:
      return ERROR_GEN_FAILURE;
  }
}

DWORD ErrorForIo(int e, bool reading) {
  switch (e) {
    case EBADF:
      return ERROR_ACCESS_DENIED;
    case ENOSPC:
    case EDQUOT:
      return ERROR_DISK_FULL;
    case EPIPE:
      return ERROR_BROKEN_PIPE;
    default:
      return reading ? ERROR_READ_FAULT : ERROR_WRITE_FAULT;
  }
}

class FileObject final : public Object {
 public:
  FileObject(int fd, bool canRead, bool canWrite) : fd_(fd), canRead_(canRead), canWrite_(canWrite) {}
  ~FileObject() override { close(fd_); }
  const char *KindName() const override { return "file"; }

  BOOL Read(void *buffer, DWORD bytes, DWORD *done) override {
    if (!canRead_) {
      SetError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    auto *out = static_cast<char *>(buffer);
    DWORD total = 0;
    while (total < bytes) {
      ssize_t n = read(fd_, out + total, bytes - total);
      if (n < 0) {
        if (errno == EINTR) continue;
        *done = total;
        SetError(ErrorForIo(errno, true));
        return FALSE;
      }
      if (n == 0) break;  // end of file: success with what was there
      total += static_cast<DWORD>(n);
    }
    *done = total;
    return TRUE;
  }

  BOOL Write(const void *buffer, DWORD bytes, DWORD *done) override {
    if (!canWrite_) {
      SetError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    const auto *in = static_cast<const char *>(buffer);
    DWORD total = 0;
    while (total < bytes) {
      ssize_t n = write(fd_, in + total, bytes - total);
      if (n < 0) {
        if (errno == EINTR) continue;
        *done = total;
        SetError(ErrorForIo(errno, false));
        return FALSE;
      }
      total += static_cast<DWORD>(n);
    }
    *done = total;
    return TRUE;
  }

  int fd() const { return fd_; }

 private:
  int fd_;
  bool canRead_;
  bool canWrite_;
};

}  // namespace
}  // namespace w32

using namespace w32;

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD, LPSECURITY_ATTRIBUTES,
                          DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes, HANDLE) noexcept {
  return Guard<HANDLE>(INVALID_HANDLE_VALUE, [&]() -> HANDLE {
    if (lpFileName == nullptr || *lpFileName == '\0') {
      SetError(lpFileName == nullptr ? ERROR_INVALID_PARAMETER : ERROR_PATH_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    const std::string path = HostPath(lpFileName);
    const bool canRead = (dwDesiredAccess & GENERIC_READ) != 0;
    const bool canWrite = (dwDesiredAccess & GENERIC_WRITE) != 0;
    int access = canWrite ? (canRead ? O_RDWR : O_WRONLY) : O_RDONLY;
    access |= O_CLOEXEC;
    const mode_t mode = (dwFlagsAndAttributes & FILE_ATTRIBUTE_READONLY) != 0 ? 0444 : 0666;
    bool existed = false;
    int fd = -1;
    switch (dwCreationDisposition) {
      case CREATE_NEW:
        fd = open(path.c_str(), access | O_CREAT | O_EXCL, mode);
        break;
      case CREATE_ALWAYS:
        fd = open(path.c_str(), access | O_CREAT | O_EXCL, mode);
        if (fd < 0 && errno == EEXIST) {
          existed = true;
          fd = open(path.c_str(), access | O_TRUNC);
        }
        break;
      case OPEN_EXISTING:
        fd = open(path.c_str(), access);
        existed = true;
        break;
      case OPEN_ALWAYS:
        fd = open(path.c_str(), access);
        existed = fd >= 0;
        if (fd < 0 && errno == ENOENT) fd = open(path.c_str(), access | O_CREAT, mode);
        break;
      case TRUNCATE_EXISTING:
        if (!canWrite) {
          SetError(ERROR_INVALID_PARAMETER);
          return INVALID_HANDLE_VALUE;
        }
        fd = open(path.c_str(), access | O_TRUNC);
        existed = true;
        break;
      default:
        SetError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (fd < 0) {
      SetError(ErrorForOpen(errno, path));
      return INVALID_HANDLE_VALUE;
    }
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
      close(fd);
      SetError(ERROR_ACCESS_DENIED);
      return INVALID_HANDLE_VALUE;
    }
    HANDLE handle = AddHandle(std::make_shared<FileObject>(fd, canRead, canWrite));
    if (handle == nullptr) {
      SetError(ERROR_TOO_MANY_OPEN_FILES);
      return INVALID_HANDLE_VALUE;
    }
    const bool reportsExisting = dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS;
    SetError(reportsExisting && existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
  });
}

DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) noexcept {
  return Guard<DWORD>(INVALID_FILE_SIZE, [&] {
    auto file = LookupAs<FileObject>(hFile);
    struct stat st {};
    if (!file || fstat(file->fd(), &st) != 0) {
      SetError(ERROR_INVALID_HANDLE);
      return INVALID_FILE_SIZE;
    }
    uint64_t size = static_cast<uint64_t>(st.st_size);
    if (lpFileSizeHigh != nullptr) *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
    SetError(ERROR_SUCCESS);
    return static_cast<DWORD>(size);
  });
}

DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                            DWORD dwMoveMethod) noexcept {
  return Guard<DWORD>(INVALID_SET_FILE_POINTER, [&] {
    auto file = LookupAs<FileObject>(hFile);
    if (!file) {
      SetError(ERROR_INVALID_HANDLE);
      return INVALID_SET_FILE_POINTER;
    }
    int whence;
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
        SetError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    int64_t distance = lpDistanceToMoveHigh != nullptr
                           ? static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*lpDistanceToMoveHigh))
                                                   << 32) |
                                                  static_cast<uint32_t>(lDistanceToMove))
                           : static_cast<int64_t>(lDistanceToMove);
    off_t base = 0;
    if (whence == SEEK_CUR) {
      base = lseek(file->fd(), 0, SEEK_CUR);
    } else if (whence == SEEK_END) {
      struct stat st {};
      base = fstat(file->fd(), &st) == 0 ? st.st_size : -1;
    }
    if (base < 0 || static_cast<int64_t>(base) + distance < 0) {
      SetError(ERROR_NEGATIVE_SEEK);
      return INVALID_SET_FILE_POINTER;
    }
    off_t position = lseek(file->fd(), static_cast<off_t>(base + distance), SEEK_SET);
    if (position < 0) {
      SetError(ERROR_INVALID_PARAMETER);
      return INVALID_SET_FILE_POINTER;
    }
    const uint64_t p = static_cast<uint64_t>(position);
    if (lpDistanceToMoveHigh != nullptr) *lpDistanceToMoveHigh = static_cast<LONG>(p >> 32);
    SetError(ERROR_SUCCESS);
    return static_cast<DWORD>(p);
  });
}

DWORD WINAPI GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer) noexcept {
  return Guard<DWORD>(0, [&]() -> DWORD {
    char *cwd = getcwd(nullptr, 0);
    if (cwd == nullptr) {
      SetError(ERROR_PATH_NOT_FOUND);
      return 0;
    }
    std::string dir = cwd;
    free(cwd);
    // As on Windows: the length without the terminator when it fits, else
    // the size needed with it.
    if (lpBuffer == nullptr || nBufferLength < dir.size() + 1) return static_cast<DWORD>(dir.size() + 1);
    std::memcpy(lpBuffer, dir.c_str(), dir.size() + 1);
    return static_cast<DWORD>(dir.size());
  });
}
