// A recorder of the CPU's bus accesses, off until a test switches it on:
// each access to a device range (time, address, width, value, read or
// write), in the order the CPU made them. Tests read register write
// sequences from it, as from a logic analyser on the bus.
//
// Plain RAM is not recorded, only device ranges (SoC registers, flash,
// FPGA and the other models), except single CPU writes into one plain-RAM
// range a test watches (such as the DSP's shared window).
#pragma once

#include <cstdint>
#include <vector>

#include "sim/clock.h"

namespace sim {

struct BusAccess {
  Nanos at;
  uint32_t addr;
  uint32_t width;  // 1, 2 or 4 bytes
  uint32_t value;
  bool bWrite;
  bool operator==(const BusAccess&) const = default;
};

class BusTrace {
 public:
  void Start() { m_bOn = true; }
  void Stop() { m_bOn = false; }
  bool On() const { return m_bOn; }
  void Clear() { m_accesses.clear(); }

  // Called by the board for every device access while the trace is on.
  void Note(Nanos at, uint32_t addr, uint32_t width, uint32_t value, bool bWrite) {
    if (m_bOn) m_accesses.push_back(BusAccess{at, addr, width, value, bWrite});
  }

  // Single writes into [first, last] of plain RAM are recorded as well.
  void WatchRam(uint32_t first, uint32_t last) {
    m_ramFirst = first;
    m_ramLast = last;
  }
  void NoteRamWrite(Nanos at, uint32_t addr, uint32_t width, uint32_t value) {
    if (m_bOn && addr >= m_ramFirst && addr <= m_ramLast) m_accesses.push_back(BusAccess{at, addr, width, value, true});
  }
  const std::vector<BusAccess>& Accesses() const { return m_accesses; }

  // The accesses within [first, last], reads, writes or both.
  enum class Kind : uint8_t { Reads, Writes, Both };
  std::vector<BusAccess> In(uint32_t first, uint32_t last, Kind kind = Kind::Both) const {
    std::vector<BusAccess> out;
    for (const BusAccess& a : m_accesses) {
      if (a.addr < first || a.addr > last) continue;
      if ((kind == Kind::Reads && a.bWrite) || (kind == Kind::Writes && !a.bWrite)) continue;
      out.push_back(a);
    }
    return out;
  }

 private:
  bool m_bOn = false;
  std::vector<BusAccess> m_accesses;
  uint32_t m_ramFirst = 1;
  uint32_t m_ramLast = 0;
};

}  // namespace sim
