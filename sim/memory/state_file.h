// The file that keeps a memory part's contents across boots: opened (or
// created erased) when the part is built, then written through, range by
// range, whenever the part's contents change.
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

  bool IsOpen() const { return m_fd >= 0; }
  const std::string& Error() const { return m_error; }

 private:
  void Fail(std::string what);

  std::string m_path;
  int m_fd = -1;
  std::string m_error;
};

}  // namespace sim
