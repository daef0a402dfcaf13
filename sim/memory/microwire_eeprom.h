// A Microwire serial EEPROM of the 93C66 type in its x16 organisation: 256
// words of 16 bits (512 bytes), driven at pin level through its chip select
// (CS, active high), clock (SK) and data-in (DI) lines, answering on its
// data-out line (DO).
//
// Instructions (clocked in on rising SK edges while CS is high, most
// significant bit first; leading zeros before the start bit are ignored):
//   READ   1 10 A7..A0            DO: a dummy 0 after A0, then D15..D0 on the
//                                 following rising edges; further clocks read
//                                 on into the next words (sequential read)
//   WRITE  1 01 A7..A0 D15..D0    programs the word (self-timed, erase included)
//   ERASE  1 11 A7..A0            the word becomes 0xFFFF
//   EWEN   1 00 11xxxxxx          enables programming (the part starts disabled)
//   EWDS   1 00 00xxxxxx          disables programming
//   ERAL   1 00 10xxxxxx          every word becomes 0xFFFF
//   WRAL   1 00 01xxxxxx D15..D0  every word becomes the data
// A programming instruction starts when CS falls after its last bit, if
// programming is enabled; an incomplete one is dropped. When CS is raised
// again, DO shows the status: 0 while programming, 1 when ready, until a
// start bit is clocked in or CS falls. Instructions are ignored while the
// part programs. DO is not driven otherwise: the line then reads as the
// board's pull (high unless told otherwise).
//
// Programming takes 3 ms of board time (typical for the family; the
// datasheets give 5-10 ms as the maximum). Kept in a file when one is given:
// 512 bytes, byte 2w the low byte and byte 2w + 1 the high byte of word w; a
// missing file is created erased, and each programmed word is written
// through when its programming ends.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "sim/board.h"
#include "sim/clock.h"
#include "sim/memory/power_cut.h"
#include "sim/memory/state_file.h"

namespace sim {

class MicrowireEeprom final : public DeviceModel {
 public:
  static constexpr uint32_t kWords = 256;
  static constexpr uint32_t kBytes = 2 * kWords;
  static constexpr Nanos kDefaultProgramTime = 3 * kNsPerMs;

  // filePath empty: the contents live in memory only, erased at start.
  MicrowireEeprom(SimClock& clock, std::string filePath);
  ~MicrowireEeprom() override;
  MicrowireEeprom(const MicrowireEeprom&) = delete;
  MicrowireEeprom& operator=(const MicrowireEeprom&) = delete;

  // Empty, or why the file could not be used.
  const std::string& FileError() const { return m_file.Error(); }

  // ---- the pins ----
  // The levels the board drives on CS, SK and DI; the part acts on their
  // edges.
  void SetLines(bool bCs, bool bSk, bool bDi);
  enum class Pin : uint8_t { Low, High, Floating };
  // What the part does on DO.
  Pin DataOutPin() const;
  // The DO line as the board reads it: the part's level, or the pull.
  bool DataOut() const;

  // ---- observation and set-up, without bus cycles ----
  uint16_t PeekWord(uint32_t word) const;
  uint8_t PeekByte(uint32_t byte) const { return m_bytes[byte % kBytes]; }
  // Replaces the contents (and the file) as a programmer would.
  void LoadImage(const void* pData, uint32_t bytes);
  bool Programming() const { return m_bProgramming; }
  bool WriteEnabled() const { return m_bWriteEnabled; }
  uint64_t ProgramCycles() const { return m_programCycles; }

  // ---- the board's wiring ----
  // The board drives the top bit of the word address (the upper half of
  // the part) from outside the serial frame: while set, the decoded word
  // address has bit 7 set.
  void SetUpperHalf(bool bUpper) { m_bUpperHalf = bUpper; }
  // Called when DO may have changed without a line change (programming
  // ended).
  void SetDataOutObserver(std::function<void()> fn) { m_onDataOut = std::move(fn); }

  // ---- timing and fault switches ----
  void SetProgramTime(Nanos time) { m_programTime = time; }
  // No chip answers on the lines: DO is never driven.
  void SetAbsent(bool bAbsent) { m_bAbsent = bAbsent; }
  // The level an undriven DO line reads (the board's pull).
  void SetFloatingLevel(bool bHigh) { m_bFloatingHigh = bHigh; }
  // Programming never ends (DO keeps showing busy, nothing is stored);
  // clearing the switch ends a held programming cycle at once.
  void SetNeverReady(bool bNever);
  // The next `cycles` programming cycles store the word XORed with the mask,
  // so a verify that reads it back finds it wrong.
  void FailVerify(uint32_t cycles, uint16_t xorMask = 0x0001);
  // The supply the part hangs on: each programming cycle counts as a write
  // there, and a cut during one leaves the switch's damage (the part then
  // takes no further instruction).
  void UsePowerCutSwitch(PowerCutSwitch& power) { m_pPower = &power; }

 private:
  enum class Phase : uint8_t { Idle, Opcode, Address, Data, Reading, Complete };
  enum class Instr : uint8_t { None, Read, Write, Erase, Ewen, Ewds, Eral, Wral };

  void OnCsRise();
  void OnCsFall();
  void OnClockRise(bool bDi);
  void DecodeAfterAddress();
  void StartProgramming();
  void EndProgramming();
  void Store(uint32_t word, uint16_t value);
  void StoreFile(uint32_t offset, uint32_t bytes);

  SimClock& m_clock;
  std::array<uint8_t, kBytes> m_bytes{};
  StateFile m_file;

  bool m_bCs = false;
  bool m_bSk = false;
  Phase m_phase = Phase::Idle;
  Instr m_instr = Instr::None;
  uint32_t m_bitsLeft = 0;
  uint32_t m_shift = 0;
  uint32_t m_opcode = 0;
  uint32_t m_address = 0;
  uint16_t m_data = 0;
  // Reading: the word being shifted out and the next bit (16 = the dummy 0).
  uint16_t m_readWord = 0;
  int m_readBit = 0;
  bool m_bDoDriven = false;
  bool m_bDoLevel = false;
  bool m_bStatusShown = false;  // DO shows ready/busy while CS is high

  bool m_bWriteEnabled = false;
  bool m_bProgramming = false;
  Instr m_progInstr = Instr::None;
  uint32_t m_progAddress = 0;
  uint16_t m_progData = 0;
  SimClock::EventId m_endEvent = 0;
  bool m_bEndScheduled = false;
  bool m_bHeld = false;
  uint64_t m_programCycles = 0;

  bool m_bUpperHalf = false;
  std::function<void()> m_onDataOut;

  Nanos m_programTime = kDefaultProgramTime;
  bool m_bAbsent = false;
  bool m_bFloatingHigh = true;
  bool m_bNeverReady = false;
  uint32_t m_failCycles = 0;
  uint16_t m_failMask = 0;
  PowerCutSwitch m_ownPower;
  PowerCutSwitch* m_pPower = &m_ownPower;
};

}  // namespace sim
