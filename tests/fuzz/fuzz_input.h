// What every fuzz target shares: a reader that takes the fields of one
// operation after another from the fuzzer's bytes (running short yields
// zeros, so every input means something), and the check that ends the run
// when a property of the system does not hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

// The entry point libFuzzer calls, and the replay test too.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fuzz {

class Input {
 public:
  Input(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

  bool Empty() const { return m_at >= m_size; }
  size_t Left() const { return m_size - m_at; }

  uint8_t Byte() { return Empty() ? 0 : m_data[m_at++]; }
  uint16_t U16() {
    const uint8_t low = Byte();
    return static_cast<uint16_t>(low | Byte() << 8);
  }
  uint32_t U32() {
    const uint16_t low = U16();
    return low | static_cast<uint32_t>(U16()) << 16;
  }
  // Up to `count` bytes, fewer when the input ends first.
  std::vector<uint8_t> Bytes(size_t count) {
    const size_t n = count < Left() ? count : Left();
    std::vector<uint8_t> out(m_data + m_at, m_data + m_at + n);
    m_at += n;
    return out;
  }
  // Everything not taken yet.
  std::vector<uint8_t> Rest() { return Bytes(Left()); }

 private:
  const uint8_t* m_data;
  size_t m_size;
  size_t m_at = 0;
};

// A property of the system failed: say which and stop, so the fuzzer keeps
// the input and the replay test fails. (libFuzzer's fork mode passes on the
// lines of a failed job that carry "ERROR:".)
[[noreturn]] inline void Fail(const char* what) {
  std::fprintf(stderr, "==fuzz== ERROR: property failed: %s\n", what);
  std::fflush(stderr);
  std::abort();
}

inline void Require(bool bHolds, const char* what) {
  if (!bHolds) Fail(what);
}

// Where temporary files go: $TMPDIR, else /tmp.
inline std::string TempRoot() {
  const char* tmp = std::getenv("TMPDIR");
  return tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
}

// A temporary file of this process with the given suffix, that each input
// is written to in turn; removed when the process ends.
class TempFile {
 public:
  explicit TempFile(const char* suffix) : m_path(TempRoot() + "/bom7300-fuzz-XXXXXX" + suffix) {
    const int fd = mkstemps(m_path.data(), static_cast<int>(std::string(suffix).size()));
    Require(fd >= 0, "a temporary file");
    close(fd);
  }
  ~TempFile() { std::remove(m_path.c_str()); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const char* Path() const { return m_path.c_str(); }
  void Write(const uint8_t* data, size_t size) const {
    FILE* file = std::fopen(m_path.c_str(), "wb");
    Require(file != nullptr, "the temporary file is written");
    if (size != 0) std::fwrite(data, 1, size, file);
    std::fclose(file);
  }

 private:
  std::string m_path;
};

}  // namespace fuzz
