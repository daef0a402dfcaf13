// The DSP core of the SoC, as a stand-in: it runs no DSP code, but boots as
// the firmware starts it and answers the boot handshake in shared RAM.
//
// What it does:
// - Its memories are plain RAM on the bus: L2 at 0x11800000 (64 KB), L1P at
//   0x11E00000 and L1D at 0x11F00000 (32 KB each).
// - It starts when module 15 of PSC0 is enabled and its local reset is
//   released, at the boot address the system configuration holds then. A
//   program lies there when the memory starts with the entry marker of one
//   of the DSP image's halves; anywhere else (a blank flash loaded, a wrong
//   entry) it runs garbage and stays silent. Local reset held, or the module
//   leaving Enable, stops it.
// - Running a program, kBootTime after its start it looks at the request
//   word (0x80013000) every kPollPeriod: when it reads 0x8001 the DSP writes
//   its answer (1) to the answer word (0x80013002) and 0 to its status word.
// - Then it takes the link's handshake in the control word (0x80013E00)
//   and the status word (0x80013E02), looking every kPollPeriod: a hello
//   (0xFFFF) is echoed in the status word; after it, a start (0xFF00, or
//   0xF00F) is answered with 0 (accepted). Then it looks no more until its
//   next start. It looks for at most kLookLimit from its start.
// - Once it has accepted the link, it watches the control word every
//   kModePoll until it stops: a new mode (bits 0-3) is echoed in the status
//   word after the mode latency (kModeEcho unless switched), a run bit
//   (bit 4) after kRunEcho. In the table mode (4) a rising run bit first
//   does the run's work (kTableWork): it reads the table id (0x800138B0)
//   and the staging address (0x80013FE6 high, 0x80013FE8 low), sums the
//   table over the length its format gives the id (ids 1, 3, 4, 6-9: 512
//   bytes; 5: 256; 10: 4096; any other id has none and is refused) with
//   OnesComplementSum16, compares it with 0x800138C0 and writes 0 (taken)
//   or 257 (checksum error) to 0x800138D0; a taken table is kept per id.
//
// Switches: `SetSilent` (the program never answers), `SetAnswer` (answers
// the boot handshake with another value, such as 2), `SetLink` (how it takes
// the link's handshake: accepts, refuses the start with 0xFF00, echoes the
// hello but never answers the start, or stays silent), `SetModesSilent`
// (no mode or run bit is ever echoed), `SetModeEchoLatency` (a slow mode
// echo), `FailChecksums` (the next N tables are answered 257 whatever
// their sum), `StickPowerTransition`
// (the power domain's transition never ends), `NeverEnable` (the transition
// ends, the module stays off).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/board.h"
#include "sim/bus.h"
#include "sim/clock.h"

namespace sim {

class Psc0;
class SystemConfig;

class DspCore final : public DeviceModel {
 public:
  static constexpr PhysAddr kL2 = 0x11800000u;
  static constexpr uint32_t kL2Bytes = 0x10000;
  static constexpr PhysAddr kL1P = 0x11E00000u;
  static constexpr PhysAddr kL1D = 0x11F00000u;
  static constexpr uint32_t kL1Bytes = 0x8000;
  static constexpr PhysAddr kRequestWord = 0x80013000u;
  static constexpr PhysAddr kAnswerWord = 0x80013002u;
  static constexpr uint16_t kAsk = 0x8001;
  static constexpr PhysAddr kControlWord = 0x80013E00u;
  static constexpr PhysAddr kStatusWord = 0x80013E02u;
  static constexpr uint16_t kLinkHello = 0xFFFF;
  static constexpr uint16_t kLinkStart = 0xFF00;
  static constexpr uint16_t kLinkStartOther = 0xF00F;
  static constexpr uint16_t kLinkAccepted = 0x0000;
  static constexpr uint16_t kLinkRefused = 0xFF00;
  static constexpr Nanos kBootTime = 50 * kNsPerUs;
  static constexpr Nanos kPollPeriod = 20 * kNsPerUs;
  static constexpr Nanos kLookLimit = 10000 * kNsPerMs;
  static constexpr PhysAddr kTableIdWord = 0x800138B0u;
  static constexpr PhysAddr kTableChecksumWord = 0x800138C0u;
  static constexpr PhysAddr kTableAnswerWord = 0x800138D0u;
  static constexpr PhysAddr kAddressHighWord = 0x80013FE6u;
  static constexpr PhysAddr kAddressLowWord = 0x80013FE8u;
  static constexpr uint16_t kTableTaken = 0;
  static constexpr uint16_t kTableChecksumError = 257;
  static constexpr uint16_t kModeTable = 4;
  static constexpr uint16_t kModeMask = 0x000F;
  static constexpr uint16_t kRunBit = 0x0010;
  static constexpr Nanos kModePoll = 500 * kNsPerUs;
  static constexpr Nanos kModeEcho = 100 * kNsPerUs;
  static constexpr Nanos kRunEcho = 100 * kNsPerUs;
  static constexpr Nanos kTableWork = 300 * kNsPerUs;

  enum class Program : uint8_t { None, Garbage, Sdram, Internal };
  // How a running program takes the link's handshake.
  enum class Link : uint8_t { Accepts, Refuses, EchoesOnly, Silent };

  // Hangs on the system configuration and PSC0, installed before it.
  explicit DspCore(Board& board);
  DspCore(const DspCore&) = delete;
  DspCore& operator=(const DspCore&) = delete;

  bool Running() const { return m_program != Program::None; }
  Program RunningProgram() const { return m_program; }
  PhysAddr Entry() const { return m_entry; }
  // Starts so far, and the handshakes answered.
  uint32_t Starts() const { return m_starts; }
  uint32_t Answers() const { return m_answers; }
  // Link handshakes answered (accepted or refused), and whether the last
  // one was accepted.
  uint32_t LinkAnswers() const { return m_linkAnswers; }
  bool Linked() const { return m_bLinked; }
  // Tables run in the table mode (taken or refused), and the copy of the
  // last one taken of an id (empty when none was).
  uint32_t TableRuns() const { return m_tableRuns; }
  const std::vector<uint8_t>& Table(uint16_t id) const;
  // The bytes a table id has in the DSP's format: 0 for an unknown id.
  static uint32_t TableLength(uint16_t id);

  // Switches (see above).
  void SetSilent(bool bSilent) { m_bSilent = bSilent; }
  void SetAnswer(uint16_t usAnswer) { m_usAnswer = usAnswer; }
  void SetLink(Link link) { m_link = link; }
  void SetModesSilent(bool bSilent) { m_bModesSilent = bSilent; }
  void SetModeEchoLatency(Nanos latency) { m_modeEcho = latency; }
  void FailChecksums(uint32_t count) { m_checksumFailures = count; }
  void StickPowerTransition();
  void NeverEnable();

 private:
  void OnModule(uint32_t module);
  void Start();
  void Stop();
  Program ProgramAt(PhysAddr addr) const;
  void Look(uint32_t generation, Nanos until);
  // One look of the running program: true when it looks no more.
  bool LookOnce();
  // The mode watch of a linked program.
  void Watch(uint32_t generation);
  void React(uint32_t generation, uint16_t control, uint16_t previous);
  void TakeTable();

  // Where a start's program stands in its handshakes.
  enum class Phase : uint8_t { Boot, Hello, Start, Done };

  Board& m_board;
  Psc0* m_psc;
  SystemConfig* m_syscfg;
  Program m_program = Program::None;
  PhysAddr m_entry = 0;
  uint32_t m_generation = 0;  // a start's looks end with the next start or stop
  uint32_t m_starts = 0;
  uint32_t m_answers = 0;
  uint32_t m_linkAnswers = 0;
  Phase m_phase = Phase::Boot;
  bool m_bLinked = false;
  bool m_bSilent = false;
  uint16_t m_usAnswer = 1;
  Link m_link = Link::Accepts;
  uint16_t m_seenControl = 0;
  bool m_bModesSilent = false;
  Nanos m_modeEcho = kModeEcho;
  uint32_t m_checksumFailures = 0;
  uint32_t m_tableRuns = 0;
  std::map<uint16_t, std::vector<uint8_t>> m_tables;
};

}  // namespace sim
