// The virtual board's memory map: plain RAM ranges backed by host memory and
// device ranges answered by device models. An access outside every mapped
// range is a data abort, as on the target.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/bus_trace.h"
#include "sim/host_pages.h"

namespace sim {

using PhysAddr = uint32_t;

// A device model on the bus. Offsets are relative to the start of the range
// it was mapped at; widths are 1, 2 or 4 bytes.
class BusDevice {
 public:
  virtual uint32_t Read(uint32_t offset, uint32_t width) = 0;
  virtual void Write(uint32_t offset, uint32_t width, uint32_t value) = 0;
  // Bus width of the part (2 for a 16-bit device): block copies are cut into
  // accesses of this width.
  virtual uint32_t BusWidth() const { return 4; }
  // True when what a read at `offset` returns can change only at the
  // device's own scheduled events (or with each read, as a toggle bit does):
  // a CPU that reads it again and again is polling, and may skip to the next
  // event instead of spending every turn of its loop.
  virtual bool ReadIsPolled(uint32_t /*offset*/) const { return false; }
  // Whether ReadIsPolled can be true at `offset` at all: the bus asks only
  // then, so a device whose polled registers lie in one span spares its
  // other reads the call.
  bool MayPoll(uint32_t offset) const { return offset >= m_pollFirst && offset <= m_pollLast; }

 protected:
  ~BusDevice() = default;
  // Reads outside [first, last] are never polled (first > last: none are).
  void SetPolledSpan(uint32_t first, uint32_t last) {
    m_pollFirst = first;
    m_pollLast = last;
  }

 private:
  uint32_t m_pollFirst = 0;
  uint32_t m_pollLast = ~0u;
};

// What one access costs depends on what lies at the address.
enum class RegionKind : uint8_t { OnChipRam, Sdram, SocRegisters, Fpga, Flash, Other };

struct MapRange {
  PhysAddr first;
  PhysAddr last;
};

// The fixed ranges of plain RAM.
constexpr MapRange kLowRam{0x00000000u, 0x00FFFFFFu};
constexpr MapRange kSharedRam{0x80000000u, 0x8001FFFFu};
constexpr MapRange kSdram{0xC0000000u, 0xC7FFFFFFu};

class Bus {
 public:
  Bus();
  ~Bus();
  Bus(const Bus&) = delete;
  Bus& operator=(const Bus&) = delete;

  // Maps a device model over [first, last]. Ranges never overlap.
  void MapDevice(PhysAddr first, PhysAddr last, RegionKind kind, BusDevice* device, std::string name);
  // Maps further plain RAM (DSP memories).
  void MapRam(PhysAddr first, PhysAddr last, RegionKind kind, std::string name);

  struct Region {
    PhysAddr first;
    PhysAddr last;
    RegionKind kind;
    uint8_t* host;        // plain RAM: host memory of `first`
    BusDevice* device;    // device range
    std::string name;
  };
  // The region holding [addr, addr + bytes), or nullptr. The region of the
  // last hit is tried first: accesses come in runs to one device.
  const Region* Find(PhysAddr addr, uint32_t bytes = 1) const {
    const Region* r = m_lastHit;
    if (r != nullptr && addr >= r->first && static_cast<uint64_t>(addr) + (bytes == 0 ? 1 : bytes) - 1 <= r->last) {
      return r;
    }
    return FindSlow(addr, bytes);
  }
  // Host pointer of a plain-RAM range, or nullptr when [addr, addr+bytes)
  // is not entirely plain RAM.
  uint8_t* RamPointer(PhysAddr addr, uint32_t bytes) const;
  // The physical address of a host pointer into plain RAM, when it is one.
  bool HostToPhys(const void* p, PhysAddr* pAddr) const;

  // The recorder of the CPU's device accesses (off until a test starts it).
  BusTrace& Trace() { return m_trace; }

 private:
  void Insert(Region region);
  const Region* FindSlow(PhysAddr addr, uint32_t bytes) const;
  std::vector<Region> m_regions;  // sorted by first
  mutable const Region* m_lastHit = nullptr;
  BusTrace m_trace;
  std::vector<std::unique_ptr<HostPages>> m_ram;
};

}  // namespace sim
