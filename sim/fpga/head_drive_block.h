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
//              HD_BANK_STATUS (read only: the bank the drive holds, see the
//              line path below)
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
//
// The line path. At each line of the main block's line timer:
// - with the buffers owned by the CPU (HD_BUFFER_CTRL bit 4 clear) the line
//   is not printed; it is counted (LinesWhileCpuHolds);
// - else the drive takes the bank the DSP completed last (CompleteLine)
//   when that is not the bank it holds, and HD_BANK_STATUS follows;
//   otherwise it strobes its bank again, a stale line;
// - the strobe lasts length x (count + 1) + count microseconds of
//   HD_DIVISION (bits 5-14 length, 0-4 count); a line inside the previous
//   strobe is an overrun (the new strobe starts at the line);
// - the strobed line goes to the line sink (the print recorder) with what
//   made it real for each head: its power output, its HD_HEAD_ENABLE bit,
//   the drive enable (HD_CONTROL bit 1 and the main block's TIMER_CTRL bit
//   1, as CHeadDrive::Enable sets both) and the THV supply bit; and each
//   head it printed on heats by the strobe time times the line's share of
//   full dye (each word up to kFullDot, over kLineWords of them).
// The CPU writing into a bank makes it no DSP line: its source is none and
// it is no longer the bank completed last.
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

  // ---- the line path ----
  static constexpr uint16_t kBufferOwnedByDrive = 0x0010;
  static constexpr uint16_t kFullDot = 16320;
  static constexpr uint32_t kNoBank = ~0u;
  // Where a bank's line came from: the DSP's print-mode session (0: none)
  // and the plane code it printed.
  struct LineSource {
    uint32_t session = 0;
    uint16_t planeCode = 0;
    bool operator==(const LineSource&) const = default;
  };
  // What one head had at a strobed line.
  struct LineHead {
    bool bPowered = false;
    bool bEnabled = false;
    bool operator==(const LineHead&) const = default;
  };
  struct StrobedLine {
    Nanos at = 0;
    uint32_t bank = 0;
    bool bStale = false;
    bool bOverrun = false;
    Nanos strobe = 0;
    LineSource source;
    bool bDriveEnabled = false;
    bool bThvSupply = false;
    std::array<LineHead, 2> heads{};
    const uint16_t* words = nullptr;  // kLineWords, valid during the call
    bool Prints(uint32_t head) const {
      return heads[head].bPowered && heads[head].bEnabled && bDriveEnabled && bThvSupply;
    }
  };
  using LineSink = std::function<void(const StrobedLine&)>;
  void SetLineSink(LineSink sink) { m_lineSink = std::move(sink); }
  // The DSP's side: the bank the drive does not hold, and a line computed
  // into a bank, which becomes the bank completed last.
  uint32_t SpareBank() const { return m_driveBank ^ 1u; }
  void CompleteLine(uint32_t bank, const uint16_t* words, LineSource source);
  // Where the bank's line came from; the bank completed last (kNoBank: none
  // since the logic started or since the CPU wrote into it).
  LineSource SourceOf(uint32_t bank) const { return m_sources[bank & 1u]; }
  // The DSP left print mode: what the banks hold is no plane's line. The
  // sources sink (the print recorder) hears of it: the plane has ended.
  void ForgetSources() {
    m_sources = {};
    if (m_sourcesForgotten) m_sourcesForgotten();
  }
  void SetSourcesForgottenSink(std::function<void()> sink) { m_sourcesForgotten = std::move(sink); }
  uint32_t LastCompleted() const { return m_lastCompleted; }
  // The HD_DIVISION strobe in microseconds.
  uint32_t StrobeUs() const;
  uint32_t LinesStrobed() const { return m_linesStrobed; }
  uint32_t StaleLines() const { return m_staleLines; }
  uint32_t Overruns() const { return m_overruns; }
  uint32_t LinesWhileCpuHolds() const { return m_cpuHeldLines; }

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
  void OnLine();
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
  LineSink m_lineSink;
  std::function<void()> m_sourcesForgotten;
  std::array<LineSource, 2> m_sources{};
  uint32_t m_lastCompleted = kNoBank;
  Nanos m_strobeEnd = 0;
  uint32_t m_linesStrobed = 0;
  uint32_t m_staleLines = 0;
  uint32_t m_overruns = 0;
  uint32_t m_cpuHeldLines = 0;
};

}  // namespace sim
