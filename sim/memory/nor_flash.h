// The board's NOR flash: 8 MB organised as 4M x 16, AMD command set, top
// boot block (127 sectors of 64 KB, then eight sectors of 8 KB in the top
// 64 KB), on the external memory bus at 0x60000000-0x607FFFFF.
//
// What the part does, as the firmware's flash driver drives it:
// - Read mode: reads return the array. A halfword read returns the word, a
//   byte read the addressed byte lane, a 32-bit read is two halfword cycles
//   in address order.
// - Commands are halfword write cycles; only the low byte (DQ7-DQ0) is
//   decoded, and the unlock cycles match on word address bits A10-A0
//   (0x555 and 0x2AA, byte offsets 0x0AAA and 0x0554). A cycle that does not
//   continue a sequence returns the part to read mode. 0xF0 at any address
//   is the reset command.
//     program:      AA@555 55@2AA A0@555 data@target
//     sector erase: AA@555 55@2AA 80@555 AA@555 55@2AA 30@sector
//     chip erase:   AA@555 55@2AA 80@555 AA@555 55@2AA 10@555
//   A byte write is a halfword cycle with the byte on its own lane and the
//   other lane high, so a byte command at an even address is a command.
// - Programming only clears bits. A program that would set a bit clears
//   what it can, runs to the time limit and then reports it exceeded (DQ5),
//   as does an erase that cannot erase every bit.
// - While the part works, a read at any address returns status: DQ7 the
//   complement of the programmed data's bit 7 (0 while erasing), DQ6
//   toggling on every read, DQ5 set once the time limit is exceeded, DQ3 set
//   while erasing, DQ2 toggling on reads inside the erasing sector; the
//   other bits read 0. Writes are ignored while the part works. After a
//   time-out the part stays in status mode until the reset command.
// - Busy times run on the board's clock (events at completion). Typical
//   figures of 8 MB parts of this family: 9 us per word, 0.5 s per sector
//   erase (the 8 KB sectors included), limits 200 us and 3.5 s.
//
// Kept in a file when one is given: the file holds the 8 MB array, mapped
// into memory as the array itself, so the file is always what the part
// holds, also when the process ends without warning.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sim/board.h"
#include "sim/bus.h"
#include "sim/clock.h"
#include "sim/host_pages.h"
#include "sim/memory/power_cut.h"
#include "sim/memory/state_file.h"

namespace sim {

struct NorFlashTiming {
  Nanos wordProgram = 9 * kNsPerUs;
  Nanos wordProgramLimit = 200 * kNsPerUs;
  Nanos sectorErase = 500 * kNsPerMs;
  Nanos sectorEraseLimit = 3500 * kNsPerMs;
};

class NorFlash final : public DeviceModel, public BusDevice {
 public:
  static constexpr PhysAddr kBase = 0x60000000u;
  static constexpr PhysAddr kLast = 0x607FFFFFu;
  static constexpr uint32_t kBytes = 8u * 1024u * 1024u;
  static constexpr uint32_t kSectorBytes = 0x10000u;
  static constexpr uint32_t kBootSectorBytes = 0x2000u;
  static constexpr uint32_t kBootSectorsOffset = 0x7F0000u;
  static constexpr uint32_t kSectorCount = 127 + 8;

  // filePath empty: the array lives in memory only, erased at start.
  NorFlash(SimClock& clock, std::string filePath);
  ~NorFlash() override;
  NorFlash(const NorFlash&) = delete;
  NorFlash& operator=(const NorFlash&) = delete;

  // Empty, or why the file could not be used (the array is then erased and
  // kept in memory).
  const std::string& FileError() const { return m_file.Error(); }

  // ---- the bus side ----
  uint32_t Read(uint32_t offset, uint32_t width) override;
  void Write(uint32_t offset, uint32_t width, uint32_t value) override;
  uint32_t BusWidth() const override { return 2; }

  // ---- geometry ----
  static uint32_t SectorStart(uint32_t offset);
  static uint32_t SectorSize(uint32_t offset);

  // ---- observation, without bus cycles ----
  uint16_t PeekHalf(uint32_t offset) const;
  const uint8_t* Array() const { return m_array; }
  bool Busy() const { return m_state == State::Working || m_state == State::Exceeded; }
  // While an operation runs, status reads change only with each read (DQ6)
  // and at the operation's end: a status poll may skip to that end.
  bool ReadIsPolled(uint32_t) const override { return Busy(); }
  bool TimedOut() const { return m_state == State::Exceeded; }
  // Program and erase operations the part has accepted.
  uint64_t OperationCount() const { return m_operations; }
  // Replaces bytes of the array (and the file) as a programmer would, for
  // a test's starting state.
  void LoadImage(uint32_t offset, const void* pData, uint32_t bytes);

  // ---- fault switches ----
  void SetTiming(const NorFlashTiming& timing) { m_timing = timing; }
  // Busy times are multiplied by this factor (1 by default; 0 completes at
  // the next access).
  void SetBusyTimeScale(double scale) { m_scale = scale; }
  // While set, operations never complete (DQ6 toggles, DQ5 stays 0); when
  // cleared, an operation held so completes at once.
  void SetStuckBusy(bool bStuck);
  // Bits of the halfword at `offset` that cannot be programmed (stay 1) or
  // erased (stay 0); a mask of 0 heals the word.
  void SetProgramFailBits(uint32_t offset, uint16_t mask);
  void SetEraseFailBits(uint32_t offset, uint16_t mask);
  // The power fails while the part performs the next write after
  // `operations` more (counted from now, so 0 cuts the very next one): what
  // that operation leaves follows `damage`, the part goes dead and the
  // power-cut handler runs. On the board the switch is the board's, which
  // counts the serial EEPROMs' writes too (and stops the CPU).
  void SetPowerCutAfter(uint64_t operations, CutDamage damage = CutDamage::None) {
    m_pPower->Arm(operations, damage);
  }
  void SetPowerCutHandler(std::function<void()> handler) { m_pPower->SetHandler(std::move(handler)); }
  bool PoweredOff() const { return m_pPower->PoweredOff(); }
  // The supply the part hangs on from now (its own until then).
  void UsePowerCutSwitch(PowerCutSwitch& power) { m_pPower = &power; }

 private:
  enum class State : uint8_t {
    Read,
    Unlock1,
    Unlock2,
    ProgramSetup,
    EraseSetup,
    EraseUnlock1,
    EraseUnlock2,
    Working,
    Exceeded,
  };
  enum class Op : uint8_t { None, Program, SectorErase, ChipErase };

  uint16_t ReadCycle(uint32_t offset);
  void WriteCycle(uint32_t offset, uint16_t data);
  uint16_t StatusWord(uint32_t offset);
  bool InOperationRange(uint32_t offset) const;

  void StartProgram(uint32_t offset, uint16_t data);
  void StartErase(uint32_t first, uint32_t bytes, Op op);
  bool CountOperationOrCut();
  void ScheduleEnd(Nanos duration);
  void EndOperation();
  Nanos Scaled(Nanos duration) const;

  void SetHalf(uint32_t offset, uint16_t value);
  void EraseRange(uint32_t first, uint32_t bytes);

  SimClock& m_clock;
  // The array: the file's mapping (each change is the file's at once), or
  // memory of its own when the part has no usable file.
  StateFile m_file;
  std::unique_ptr<HostPages> m_ownArray;
  uint8_t* m_array = nullptr;

  NorFlashTiming m_timing;
  double m_scale = 1.0;
  State m_state = State::Read;

  // The operation in progress.
  Op m_op = Op::None;
  uint32_t m_opFirst = 0;   // program: the word; erase: the first byte
  uint32_t m_opBytes = 0;   // bytes the operation covers
  uint16_t m_opData = 0;    // program: the data written
  bool m_bOpFails = false;  // ends in a time-out instead of success
  bool m_bToggle = false;   // DQ6
  bool m_bToggle2 = false;  // DQ2
  SimClock::EventId m_endEvent = 0;
  bool m_bEndScheduled = false;
  bool m_bHeldByStuck = false;

  std::map<uint32_t, uint16_t> m_programFail;
  std::map<uint32_t, uint16_t> m_eraseFail;
  bool m_bStuck = false;

  uint64_t m_operations = 0;
  PowerCutSwitch m_ownPower;
  PowerCutSwitch* m_pPower = &m_ownPower;
};

}  // namespace sim
