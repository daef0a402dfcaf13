// The file that keeps a memory part's contents across boots: opened (or
// created erased) when the part is built, then written through, range by
// range, whenever the part's contents change, or mapped into memory as the
// part's contents themselves (a part of megabytes that changes halfword by
// halfword).
#pragma once

#include <cstdint>
#include <string>

namespace sim {

class StateFile {
 public:
  StateFile() = default;
  ~StateFile();
  StateFile(const StateFile&) = delete;
  StateFile& operator=(const StateFile&) = delete;

  // Opens `path`, which must hold exactly `bytes` bytes, and reads it into
  // pContents; a missing file is created from pContents (the erased part).
  // Returns false with Error() set when the file cannot be used; pContents
  // is then left as it came, unless reading a file of the right size
  // failed part of the way (the board reports every such error as a fault).
  bool Open(const std::string& path, uint8_t* pContents, uint32_t bytes);
  // Writes bytes [offset, offset + bytes) of the contents through. A failure
  // sets Error() and closes the file.
  void Store(const uint8_t* pContents, uint32_t offset, uint32_t bytes);

  // Maps `path`, which must hold exactly `bytes` bytes (a missing file is
  // created holding `bytes` bytes of `fill`), into memory shared with the
  // file: the mapping is the part's contents, and each change is the
  // file's at once, with no call per change, whether the process ends
  // normally, by _exit, exec or a signal. Returns nullptr with Error() set
  // when the file cannot be used. At most one of Open and Map per file.
  uint8_t* Map(const std::string& path, uint32_t bytes, uint8_t fill);

  bool IsOpen() const { return m_fd >= 0; }
  const std::string& Error() const { return m_error; }

 private:
  void Fail(std::string what);

  bool OpenOrCreate(const std::string& path, uint32_t bytes, const uint8_t* pFill, bool bRepeatFill, bool* pbCreated);

  std::string m_path;
  int m_fd = -1;
  uint8_t* m_pMapped = nullptr;
  uint32_t m_mappedBytes = 0;
  std::string m_error;
};

}  // namespace sim
