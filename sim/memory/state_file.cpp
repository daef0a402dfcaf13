#include "sim/memory/state_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sim {

namespace {

// Moves all the bytes by pread or pwrite, which may move fewer at a time:
// false on an error or at the end of the file.
template <typename Byte, typename Void>
bool TransferAll(ssize_t (*transfer)(int, Void*, size_t, off_t), int fd, Byte* p, size_t bytes, off_t at) {
  while (bytes > 0) {
    const ssize_t n = transfer(fd, p, bytes, at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    bytes -= static_cast<size_t>(n);
    at += n;
  }
  return true;
}

}  // namespace

StateFile::~StateFile() {
  if (m_fd >= 0) close(m_fd);
}

void StateFile::Fail(std::string what) {
  m_error = std::move(what);
  if (m_fd >= 0) close(m_fd);
  m_fd = -1;
}

bool StateFile::Open(const std::string& path, uint8_t* pContents, uint32_t bytes) {
  m_path = path;
  m_fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (m_fd < 0 && errno == ENOENT) {
    m_fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (m_fd < 0) {
      Fail("cannot create " + path + ": " + std::strerror(errno));
      return false;
    }
    if (!TransferAll(pwrite, m_fd, pContents, bytes, 0)) {
      Fail("cannot write " + path + ": " + std::strerror(errno));
      return false;
    }
    return true;
  }
  if (m_fd < 0) {
    Fail("cannot open " + path + ": " + std::strerror(errno));
    return false;
  }
  struct stat st {};
  if (fstat(m_fd, &st) != 0 || static_cast<uint64_t>(st.st_size) != bytes) {
    Fail(path + " does not hold " + std::to_string(bytes) + " bytes");
    return false;
  }
  // Straight into the part: its contents are megabytes, and the size is
  // known to be right.
  if (!TransferAll(pread, m_fd, pContents, bytes, 0)) {
    Fail("cannot read " + path + ": " + std::strerror(errno));
    return false;
  }
  return true;
}

void StateFile::Store(const uint8_t* pContents, uint32_t offset, uint32_t bytes) {
  if (m_fd < 0) return;
  if (!TransferAll(pwrite, m_fd, pContents + offset, bytes, static_cast<off_t>(offset))) {
    Fail("cannot write " + m_path + ": " + std::strerror(errno));
  }
}

}  // namespace sim
