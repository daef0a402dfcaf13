// Host memory for a large part of the board (its RAM, the flash array): an
// anonymous mapping, zero-filled and backed only where it is touched, on
// large pages where the host offers them. Boards are built by the hundred
// in the tests, and on a host where a page fault is dear, faulting in a
// flash array or the SDRAM the firmware fills 4 KB at a time costs more
// than all the copying.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sim {

class HostPages {
 public:
  explicit HostPages(size_t bytes);
  ~HostPages();
  HostPages(const HostPages&) = delete;
  HostPages& operator=(const HostPages&) = delete;

  uint8_t* data() const { return m_p; }
  size_t size() const { return m_bytes; }
  uint8_t& operator[](size_t i) const { return m_p[i]; }

 private:
  uint8_t* m_p;
  size_t m_bytes;
};

}  // namespace sim
