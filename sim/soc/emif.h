// The external memory interface EMIFA's control registers at 0x68000000:
// the asynchronous timing of chip selects 2-5 (CE2CFG-CE5CFG at 0x10-0x1C;
// the FPGA sits on chip select 4), the wait configuration and the rest of
// the block, which read back what was written.
//
// CEnCFG fields (published EMIFA layout): bit 31 select-strobe mode, bit 30
// extended wait, bits 29-26 write setup, 25-20 write strobe, 19-17 write
// hold, 16-13 read setup, 12-7 read strobe, 6-4 read hold, 3-2 turnaround,
// 1-0 bus size (0 = 8 bits, 1 = 16 bits). Each field counts EMIFA clocks
// minus one. Reset value kCeCfgReset: the slowest timing, 16-bit.
//
// The accesses of the firmware to the devices on the chip selects are timed
// by the cost table, not by these fields; the model keeps them so that
// tests see what the board set-up chose.
#pragma once

#include <array>
#include <cstdint>

#include "sim/board.h"
#include "sim/bus.h"

namespace sim {

struct AsyncTiming {
  bool bSelectStrobe;
  bool bExtendedWait;
  uint32_t writeSetup, writeStrobe, writeHold;
  uint32_t readSetup, readStrobe, readHold;
  uint32_t turnaround;
  uint32_t busBits;  // 8 or 16 (0 for a reserved size code)
  bool operator==(const AsyncTiming&) const = default;
};

class ExternalMemoryInterface final : public DeviceModel, public BusDevice {
 public:
  static constexpr PhysAddr kBase = 0x68000000u;
  static constexpr PhysAddr kLast = 0x68007FFFu;
  static constexpr uint32_t kModuleId = 0x40000205u;
  static constexpr uint32_t kCeCfgReset = 0x3FFFFFFDu;

  // Register offsets.
  static constexpr uint32_t kMidr = 0x00;
  static constexpr uint32_t kAwcc = 0x04;
  static constexpr uint32_t kCe2Cfg = 0x10;

  explicit ExternalMemoryInterface(Board& board);
  ExternalMemoryInterface(const ExternalMemoryInterface&) = delete;
  ExternalMemoryInterface& operator=(const ExternalMemoryInterface&) = delete;

  // Chip select 2-5: its configuration word and its decoded timing.
  uint32_t ChipSelectConfig(uint32_t cs) const;
  AsyncTiming Timing(uint32_t cs) const;
  static AsyncTiming Decode(uint32_t config);

  uint32_t Read(uint32_t offset, uint32_t width) override;
  void Write(uint32_t offset, uint32_t width, uint32_t value) override;

 private:
  Board& m_board;
  std::array<uint32_t, 0x100 / 4> m_words{};
};

}  // namespace sim
