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
// - In the print mode (3) it watches the control word every kLinePoll. A
//   print-mode session starts with each echo of mode 3. A run bit seen set
//   while no run is echoed starts one line: it reads 0x80013FE6/FE8/FF0
//   and the parameter words afresh (print_line_rule.h states the rule it
//   computes by), and kLineWork later writes the line into the head
//   drive's bank that the drive does not hold, which becomes the bank it
//   completed last (HeadDriveBlock::CompleteLine), then echoes the run bit.
//   A run bit seen clear while the run is echoed clears the echo kRunEcho
//   later. Each line is logged (LineRuns).
// - In the image modes (6 and 7) a rising run bit, kRunEcho after it is
//   seen, is echoed and starts the request's work: the stand-in reads the
//   request words (0x800138E0-0x80013902; image_job_rule.h states the rule
//   it computes by) and, from the first line word (0x80013902) on, writes
//   one destination row per line at its rate (kImageLinesPerMs lines per
//   millisecond unless switched), each followed by the lines done so far in
//   0x80013908. The work ends when the total lines are done, and stops as
//   soon as the run bit is seen clear or the mode changes; the firmware
//   keeps the progress and kicks the rest from there. Each run is logged
//   (ImageRuns).
//
// Switches: `SetSilent` (the program never answers), `SetAnswer` (answers
// the boot handshake with another value, such as 2), `SetLink` (how it takes
// the link's handshake: accepts, refuses the start with 0xFF00, echoes the
// hello but never answers the start, or stays silent), `SetModesSilent`
// (no mode or run bit is ever echoed), `SetModeEchoLatency` (a slow mode
// echo, also of mode 3), `FailChecksums` (the next N tables are answered
// 257 whatever their sum), `SlowLines` (lines of a session that take longer
// than the print line's 10 ms bound), `SetEchoDropDelay` (the run echo of
// print mode cleared late), `SetImageRate` (the image modes' lines per
// millisecond), `StallImageAt` (the image work makes no progress past a
// number of lines done), `StickPowerTransition`
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
#include "sim/dsp/image_job_rule.h"
#include "sim/dsp/print_line_rule.h"

namespace sim {

class HeadDriveBlock;
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
  static constexpr uint16_t kModePrint = 3;
  static constexpr Nanos kLinePoll = 20 * kNsPerUs;
  static constexpr Nanos kLineWork = 30 * kNsPerUs;
  static constexpr Nanos kSlowLineWork = 12 * kNsPerMs;
  static constexpr PhysAddr kPlaneCodeWord = 0x80013880u, kRowLengthWord = 0x80013882u;
  static constexpr PhysAddr kSideOffsetWord = 0x80013886u, kOvercoatLevelWords = 0x80013870u;
  static constexpr PhysAddr kHeadWidthWord = 0x80013FE0u, kInternalImageWord = 0x80013FEAu;
  static constexpr PhysAddr kRowWord = 0x80013FF0u, kColourByteWord = 0x80013FF2u, kByteLevelsWord = 0x80013FF4u;
  static constexpr uint16_t kGradationTable = 1;
  static constexpr PhysAddr kImageRequestWords = 0x800138E0u;
  static constexpr PhysAddr kImageFirstLineWord = 0x80013902u;
  static constexpr PhysAddr kImageLinesDoneWord = 0x80013908u;
  static constexpr uint32_t kImageLinesPerMs = 16;
  // The line log keeps at most this many runs; later ones are only counted.
  static constexpr size_t kLineRunLimit = 1u << 18;

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

  // ---- print mode ----
  // One line the stand-in took: when it saw the run bit, when it completed
  // the line (0: never; a session's end or the silent switch dropped it),
  // its session and index in the session (from 0), what it read and the
  // head-drive bank it wrote.
  struct LineRun {
    Nanos at = 0;
    Nanos done = 0;
    uint32_t session = 0;
    uint32_t index = 0;
    PrintLineWords words;
    uint32_t bank = 0;
  };
  const std::vector<LineRun>& LineRuns() const { return m_lineRuns; }
  uint64_t LineRunsDropped() const { return m_lineRunsDropped; }
  void ClearLineRuns() { m_lineRuns.clear(); }
  // The current print-mode session (0 before the first): it counts up with
  // each echo of mode 3.
  uint32_t PrintSession() const { return m_printSession; }
  bool InPrintMode() const { return m_echoedMode == kModePrint; }

  // ---- image modes ----
  // One run of the image work: when it started, the words it read, the
  // lines done when it ended (or now, while it runs) and whether it still
  // runs.
  struct ImageRun {
    Nanos at = 0;
    ImageJobWords words;
    uint32_t linesDone = 0;
    bool bRunning = false;
  };
  const std::vector<ImageRun>& ImageRuns() const { return m_imageRuns; }
  // Destination rows written so far, over all runs.
  uint64_t ImageRowsWritten() const { return m_imageRows; }
  bool ImageWorkRunning() const { return !m_imageRuns.empty() && m_imageRuns.back().bRunning; }

  // Switches (see above).
  void SetImageRate(uint32_t linesPerMs) { m_imageRate = linesPerMs; }
  // No progress past `linesDone` lines (UINT32_MAX: none).
  void StallImageAt(uint32_t linesDone) { m_imageStallAt = linesDone; }
  void SetSilent(bool bSilent) { m_bSilent = bSilent; }
  void SetAnswer(uint16_t usAnswer) { m_usAnswer = usAnswer; }
  void SetLink(Link link) { m_link = link; }
  void SetModesSilent(bool bSilent) { m_bModesSilent = bSilent; }
  void SetModeEchoLatency(Nanos latency) { m_modeEcho = latency; }
  void FailChecksums(uint32_t count) { m_checksumFailures = count; }
  // Lines `first` to first + count - 1 of each session (counted from 0)
  // take `work` from their run bit to their echo.
  void SlowLines(uint32_t first, uint32_t count, Nanos work = kSlowLineWork) {
    m_slowFirst = first;
    m_slowCount = count;
    m_slowWork = work;
  }
  // The run echo of print mode is cleared this long after the run bit is
  // seen clear (kRunEcho unless switched).
  void SetEchoDropDelay(Nanos delay) { m_echoDropDelay = delay; }
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
  // The mode echo: print-mode sessions start and end here.
  void EchoMode(uint16_t control);
  void PrintPoll(uint32_t generation, uint16_t control);
  void StartLine(uint32_t generation);
  PrintLineWords ReadPrintWords() const;
  // The image modes.
  static bool IsImageMode(uint16_t mode) {
    return mode == image_job::kModeProcess || mode == image_job::kModeCopy;
  }
  ImageJobWords ReadImageWords(uint16_t mode) const;
  void StartImageWork(uint32_t generation, uint16_t mode);
  void StopImageWork();
  void ImageStep(uint32_t generation, uint32_t work);
  Nanos ImagePeriod() const { return m_imageRate > kNsPerMs ? 1 : kNsPerMs / m_imageRate; }
  HeadDriveBlock* Heads();

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
  // Print mode.
  uint16_t m_echoedMode = 0;
  uint32_t m_printSession = 0;
  uint32_t m_sessionLines = 0;
  bool m_bLineBusy = false;
  bool m_bRunEchoed = false;
  bool m_bDropPending = false;
  uint32_t m_slowFirst = 0;
  uint32_t m_slowCount = 0;
  Nanos m_slowWork = kSlowLineWork;
  Nanos m_echoDropDelay = kRunEcho;
  std::vector<uint16_t> m_line = std::vector<uint16_t>(print_line::kLineWords);
  std::vector<LineRun> m_lineRuns;
  uint64_t m_lineRunsDropped = 0;
  HeadDriveBlock* m_pHeads = nullptr;
  // Image modes.
  uint32_t m_imageRate = kImageLinesPerMs;
  uint32_t m_imageStallAt = UINT32_MAX;
  uint32_t m_imageWork = 0;  // a run's steps end with the next start or stop
  uint32_t m_imageLine = 0;
  uint64_t m_imageRows = 0;
  std::vector<uint8_t> m_imageRow;
  std::vector<ImageRun> m_imageRuns;
};

}  // namespace sim
