#include "sim/memory/state_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

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
  if (m_pMapped != nullptr) munmap(m_pMapped, m_mappedBytes);
  if (m_fd >= 0) close(m_fd);
}

void StateFile::Fail(std::string what) {
  m_error = std::move(what);
  if (m_fd >= 0) close(m_fd);
  m_fd = -1;
}

// Opens the file, checking its size, or creates it from pFill: `bytes`
// bytes of it, or with bRepeatFill its first byte repeated (*pbCreated).
// False with Error() set when the file cannot be used.
bool StateFile::OpenOrCreate(const std::string& path, uint32_t bytes, const uint8_t* pFill, bool bRepeatFill,
                             bool* pbCreated) {
  m_path = path;
  *pbCreated = false;
  m_fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (m_fd >= 0) {
    struct stat st {};
    if (fstat(m_fd, &st) != 0 || static_cast<uint64_t>(st.st_size) != bytes) {
      Fail(path + " does not hold " + std::to_string(bytes) + " bytes");
      return false;
    }
    return true;
  }
  if (errno != ENOENT) {
    Fail("cannot open " + path + ": " + std::strerror(errno));
    return false;
  }
  m_fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (m_fd < 0) {
    Fail("cannot create " + path + ": " + std::strerror(errno));
    return false;
  }
  bool bWritten = true;
  if (bRepeatFill) {
    std::vector<uint8_t> chunk(64 * 1024, *pFill);
    for (uint32_t at = 0; at < bytes && bWritten; at += static_cast<uint32_t>(chunk.size())) {
      const size_t n = std::min<size_t>(chunk.size(), bytes - at);
      bWritten = TransferAll(pwrite, m_fd, chunk.data(), n, static_cast<off_t>(at));
    }
  } else {
    bWritten = TransferAll(pwrite, m_fd, pFill, bytes, 0);
  }
  if (!bWritten) {
    Fail("cannot write " + path + ": " + std::strerror(errno));
    return false;
  }
  *pbCreated = true;
  return true;
}

bool StateFile::Open(const std::string& path, uint8_t* pContents, uint32_t bytes) {
  bool bCreated = false;
  if (!OpenOrCreate(path, bytes, pContents, false, &bCreated)) return false;
  if (bCreated) return true;
  // Straight into the part: the size is known to be right.
  if (!TransferAll(pread, m_fd, pContents, bytes, 0)) {
    Fail("cannot read " + path + ": " + std::strerror(errno));
    return false;
  }
  return true;
}

uint8_t* StateFile::Map(const std::string& path, uint32_t bytes, uint8_t fill) {
  bool bCreated = false;
  if (!OpenOrCreate(path, bytes, &fill, true, &bCreated)) return nullptr;
  void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, m_fd, 0);
  if (p == MAP_FAILED) {
    Fail("cannot map " + path + ": " + std::strerror(errno));
    return nullptr;
  }
  m_pMapped = static_cast<uint8_t*>(p);
  m_mappedBytes = bytes;
  return m_pMapped;
}

void StateFile::Store(const uint8_t* pContents, uint32_t offset, uint32_t bytes) {
  if (m_fd < 0 || m_pMapped != nullptr) return;
  if (!TransferAll(pwrite, m_fd, pContents + offset, bytes, static_cast<off_t>(offset))) {
    Fail("cannot write " + m_path + ": " + std::strerror(errno));
  }
}

}  // namespace sim
