// The FPGA's thermal-head drive block as its user logic answers it while it
// runs: the register block and the line buffer in bank 1 (0x64010000), the
// first table there too, and the tables of banks 2 (0x64020000) and 3
// (0x64030000). 16-bit accesses only; a byte or word access, or an access
// to an offset where the block has nothing, is a board fault. Without a
// configuration the banks do not drive the bus (reads 0xFFFF, writes lost);
// starting the user logic resets everything.
//
// Bank 1 (offsets):
//   0x00-0x30  the registers; each reads back what was last written, except
//              HD_CONTROL bit 3 (done: 0 during a burst, 1 otherwise) and
//              HD_BANK_STATUS (read only: the bank the drive reads, which
//              flips with each printed line; lines are not modelled yet,
//              so it stays where a test puts it)
//   0x1000     the line buffer window, 2560 words of the bank that
//              HD_BUFFER_CTRL bit 0 picks (two banks behind one window)
//   0x4000     table 1, 1024 words
// Banks 2 and 3: a table of 256 words each at offset 0.
//
// A start pulse (HD_CONTROL bit 0 rising) with run (bit 2) and enable
// (bit 1) set starts a burst of HD_STROBE_COUNT periods of HD_PERIOD
// (50 MHz counts), HD_OFF_TIME of each off. Clearing run ends it at once.
// Each burst is recorded with what made it real for each head: its strobe
// bit (4 head A, 5 head B), its bit of HD_HEAD_ENABLE, its power output
// (GP8[10] head A, GP8[11] head B: set = off) and the THV supply bit.
// Per-line strobing is not modelled.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "sim/board.h"
#include "sim/bus.h"
#include "sim/clock.h"

namespace sim {

class FpgaConfigPort;
class FpgaMainBlock;
class GpioController;

class HeadDriveBlock final : public DeviceModel {
 public:
  static constexpr PhysAddr kBank1 = 0x64010000u;
  static constexpr PhysAddr kBank2 = 0x64020000u;
  static constexpr PhysAddr kBank3 = 0x64030000u;
  static constexpr uint16_t kIdleValue = 0xFFFF;
  static constexpr uint32_t kLineWords = 2560;
  static constexpr uint32_t kTable1Words = 1024;
  static constexpr uint32_t kTableWords = 256;
  static constexpr uint32_t kHeadPowerPins[2] = {8 * 16 + 10, 8 * 16 + 11};

  // Register offsets in bank 1.
  static constexpr uint32_t kReset = 0x00, kDivision = 0x02, kConfig = 0x04, kControl = 0x06;
  static constexpr uint32_t kBufferCtrl = 0x08, kBankStatus = 0x0C, kStrobeCount = 0x10;
  static constexpr uint32_t kPeriodLo = 0x14, kPeriodHi = 0x16, kOffTimeLo = 0x18, kOffTimeHi = 0x1A;
  static constexpr uint32_t kParam0 = 0x22, kHeadEnable = 0x30, kRegistersEnd = 0x32;
  static constexpr uint32_t kLineBuffer = 0x1000, kTable1 = 0x4000;

  static constexpr uint16_t kControlStart = 0x01, kControlEnable = 0x02, kControlRun = 0x04;
  static constexpr uint16_t kControlDone = 0x08, kControlStrobeA = 0x10, kControlStrobeB = 0x20;

  // What one head had during a burst.
  struct HeadState {
    bool bStrobe = false;   // its HD_CONTROL strobe bit
    bool bEnabled = false;  // its HD_HEAD_ENABLE bit
    bool bPowered = false;  // its power output on (an output, driven low)
    bool operator==(const HeadState&) const = default;
  };
  struct Burst {
    Nanos start = 0;
    Nanos end = 0;  // when it finished or was stopped
    bool bStopped = false;
    uint16_t strobeCount = 0;
    uint32_t period = 0;   // 50 MHz counts
    uint32_t offTime = 0;  // 50 MHz counts
    bool bThvSupply = false;
    std::array<HeadState, 2> heads{};  // head A (unit L), head B (unit R)
    // Strobed for real: strobe bit, enable and power, and the head supply on.
    bool Heats(uint32_t head) const {
      const HeadState& h = heads[head];
      return h.bStrobe && h.bEnabled && h.bPowered && bThvSupply;
    }
  };

  HeadDriveBlock(Board& board, GpioController& gpio, FpgaConfigPort& config, FpgaMainBlock& main);
  HeadDriveBlock(const HeadDriveBlock&) = delete;
  HeadDriveBlock& operator=(const HeadDriveBlock&) = delete;

  // ---- observation, for tests ----
  uint16_t Register(uint32_t offset) const { return m_regs[(offset & 0xFFu) / 2]; }
  uint16_t LineWord(uint32_t bank, uint32_t index) const { return m_lines[bank & 1u][index % kLineWords]; }
  uint16_t Table1(uint32_t index) const { return m_table1[index % kTable1Words]; }
  uint16_t Table2(uint32_t index) const { return m_table2[index % kTableWords]; }
  uint16_t Table3(uint32_t index) const { return m_table3[index % kTableWords]; }
  const std::vector<Burst>& Bursts() const { return m_bursts; }
  bool Bursting() const { return m_burstEvent != 0; }
  // Told, at the end of each burst, how long each head it heated was
  // strobed (the burst's time less the off time of each period).
  using HeatSink = std::function<void(uint32_t head, Nanos onTime)>;
  void SetHeatSink(HeatSink sink) { m_heatSink = std::move(sink); }
  // The bank the drive reads (HD_BANK_STATUS bit 0).
  uint32_t DriveBank() const { return m_driveBank; }
  void SetDriveBank(uint32_t bank) { m_driveBank = bank & 1u; }

 private:
  // One bank's bus port.
  class Port final : public BusDevice {
   public:
    Port(HeadDriveBlock& block, uint32_t bank) : m_block(block), m_bank(bank) {}
    uint32_t Read(uint32_t offset, uint32_t width) override { return m_block.Read(m_bank, offset, width); }
    void Write(uint32_t offset, uint32_t width, uint32_t value) override { m_block.Write(m_bank, offset, width, value); }
    uint32_t BusWidth() const override { return 2; }
    bool ReadIsPolled(uint32_t offset) const override { return m_bank == 1 && offset == kControl; }

   private:
    HeadDriveBlock& m_block;
    uint32_t m_bank;
  };

  uint32_t Read(uint32_t bank, uint32_t offset, uint32_t width);
  void Write(uint32_t bank, uint32_t offset, uint32_t width, uint32_t value);
  // The word the access reaches, or nullptr (a board fault) for none.
  uint16_t* Word(uint32_t bank, uint32_t offset, uint32_t width, bool bWrite);
  void WriteRegister(uint32_t offset, uint16_t value);
  void StartBurst();
  void EndBurst(bool bStopped);
  void ResetLogic();
  bool Configured() const;
  uint32_t Counts32(uint32_t offsetLo) const {
    return m_regs[offsetLo / 2] | (static_cast<uint32_t>(m_regs[offsetLo / 2 + 1]) << 16);
  }

  Board& m_board;
  GpioController& m_gpio;
  FpgaConfigPort& m_config;
  FpgaMainBlock& m_main;
  Port m_ports[3];
  std::array<uint16_t, kRegistersEnd / 2> m_regs{};
  std::array<std::array<uint16_t, kLineWords>, 2> m_lines{};
  std::array<uint16_t, kTable1Words> m_table1{};
  std::array<uint16_t, kTableWords> m_table2{};
  std::array<uint16_t, kTableWords> m_table3{};
  HeatSink m_heatSink;
  uint32_t m_driveBank = 0;
  SimClock::EventId m_burstEvent = 0;
  std::vector<Burst> m_bursts;
};

}  // namespace sim
