#include "sim/dsp/dsp_core.h"

#include <algorithm>
#include <cstring>

#include "sim/fpga/head_drive_block.h"
#include "sim/soc/psc.h"
#include "tools/images/checksums.h"
#include "sim/soc/syscfg.h"
#include "tools/images/dsp_image.h"

namespace sim {

namespace {

uint16_t ReadWord(const Bus& bus, PhysAddr addr) {
  const uint8_t* p = bus.RamPointer(addr, 2);
  return p == nullptr ? 0 : static_cast<uint16_t>(p[0] | p[1] << 8);
}

void WriteWord(const Bus& bus, PhysAddr addr, uint16_t value) {
  uint8_t* p = bus.RamPointer(addr, 2);
  if (p == nullptr) return;
  p[0] = static_cast<uint8_t>(value);
  p[1] = static_cast<uint8_t>(value >> 8);
}

}  // namespace

DspCore::DspCore(Board& board)
    : m_board(board), m_psc(board.FindDevice<Psc0>()), m_syscfg(board.FindDevice<SystemConfig>()) {
  Bus& bus = board.GetBus();
  bus.MapRam(kL2, kL2 + kL2Bytes - 1, RegionKind::OnChipRam, "dsp-l2");
  bus.MapRam(kL1P, kL1P + kL1Bytes - 1, RegionKind::OnChipRam, "dsp-l1p");
  bus.MapRam(kL1D, kL1D + kL1Bytes - 1, RegionKind::OnChipRam, "dsp-l1d");
  if (m_psc == nullptr || m_syscfg == nullptr) {
    board.ReportFault("dsp: installed before the power and system-configuration models; it never starts");
    return;
  }
  m_psc->AddObserver([this](uint32_t module) { OnModule(module); });
}

void DspCore::StickPowerTransition() {
  if (m_psc != nullptr) m_psc->HangModule(Psc0::kModuleDsp);
}
void DspCore::NeverEnable() {
  if (m_psc != nullptr) m_psc->StickModule(Psc0::kModuleDsp);
}

void DspCore::OnModule(uint32_t module) {
  if (module != Psc0::kModuleDsp) return;
  const bool bReleased = m_psc->ModuleEnabled(module) && m_psc->LocalResetReleased(module);
  if (bReleased && !Running()) Start();
  if (!bReleased && Running()) Stop();
}

DspCore::Program DspCore::ProgramAt(PhysAddr addr) const {
  const size_t n = sizeof images::kDspInternalEntryMarker;
  const uint8_t* p = m_board.GetBus().RamPointer(addr, static_cast<uint32_t>(n));
  if (p == nullptr) return Program::Garbage;
  if (std::memcmp(p, images::kDspInternalEntryMarker, n) == 0) return Program::Internal;
  if (std::memcmp(p, images::kDspSdramEntryMarker, sizeof images::kDspSdramEntryMarker) == 0) return Program::Sdram;
  return Program::Garbage;
}

void DspCore::Start() {
  m_entry = m_syscfg->DspBootAddress();
  m_program = ProgramAt(m_entry);
  ++m_starts;
  m_phase = Phase::Boot;
  m_bLinked = false;
  EchoMode(0);
  const uint32_t generation = ++m_generation;
  if (m_program == Program::Garbage || m_bSilent) return;
  const Nanos until = m_board.Clock().Now() + kLookLimit;
  m_board.Clock().ScheduleIn(kBootTime, [this, generation, until] { Look(generation, until); });
}

void DspCore::Stop() {
  StopImageWork();
  m_program = Program::None;
  ++m_generation;
  EchoMode(0);
}

void DspCore::Look(uint32_t generation, Nanos until) {
  if (generation != m_generation) return;
  if (LookOnce()) return;
  if (m_board.Clock().Now() + kPollPeriod > until) return;
  m_board.Clock().ScheduleIn(kPollPeriod, [this, generation, until] { Look(generation, until); });
}

bool DspCore::LookOnce() {
  const Bus& bus = m_board.GetBus();
  switch (m_phase) {
    case Phase::Boot:
      if (ReadWord(bus, kRequestWord) != kAsk) return false;
      WriteWord(bus, kAnswerWord, m_usAnswer);
      ++m_answers;
      // The running program starts its link idle.
      WriteWord(bus, kStatusWord, 0);
      m_phase = Phase::Hello;
      return m_link == Link::Silent;
    case Phase::Hello:
      if (ReadWord(bus, kControlWord) != kLinkHello) return false;
      WriteWord(bus, kStatusWord, kLinkHello);
      m_phase = Phase::Start;
      return false;
    case Phase::Start: {
      const uint16_t control = ReadWord(bus, kControlWord);
      if (control != kLinkStart && control != kLinkStartOther) return false;
      m_phase = Phase::Done;
      if (m_link == Link::EchoesOnly) return true;
      WriteWord(bus, kStatusWord, m_link == Link::Refuses ? kLinkRefused : kLinkAccepted);
      ++m_linkAnswers;
      m_bLinked = m_link == Link::Accepts;
      if (m_bLinked) {
        m_seenControl = control;
        const uint32_t generation = m_generation;
        m_board.Clock().ScheduleIn(kModePoll, [this, generation] { Watch(generation); });
      }
      return true;
    }
    case Phase::Done:
      break;
  }
  return true;
}

const std::vector<uint8_t>& DspCore::Table(uint16_t id) const {
  static const std::vector<uint8_t> kNone;
  const auto it = m_tables.find(id);
  return it == m_tables.end() ? kNone : it->second;
}

uint32_t DspCore::TableLength(uint16_t id) {
  switch (id) {
    case 1: case 3: case 4: case 6: case 7: case 8: case 9:
      return 512;
    case 5:
      return 256;
    case 10:
      return 4096;
    default:
      return 0;
  }
}

void DspCore::Watch(uint32_t generation) {
  if (generation != m_generation) return;
  const uint16_t control = ReadWord(m_board.GetBus(), kControlWord);
  if (control != m_seenControl) {
    const uint16_t previous = m_seenControl;
    m_seenControl = control;
    React(generation, control, previous);
  }
  const bool bPrint = (control & kModeMask) == kModePrint;
  if (bPrint && InPrintMode() && !m_bModesSilent) PrintPoll(generation, control);
  m_board.Clock().ScheduleIn(bPrint ? kLinePoll : kModePoll, [this, generation] { Watch(generation); });
}

void DspCore::React(uint32_t generation, uint16_t control, uint16_t previous) {
  // Handshake codes are no modes.
  if ((control & ~(kModeMask | kRunBit)) != 0 || m_bModesSilent) return;
  const bool bNewMode = (control & kModeMask) != (previous & kModeMask);
  // The print mode's run bit is the line machine's (PrintPoll).
  if (!bNewMode && (control & kModeMask) == kModePrint) return;
  const bool bRunRises = (control & kRunBit) != 0 && (previous & kRunBit) == 0;
  const bool bTable = bRunRises && (control & kModeMask) == kModeTable;
  // The image work stops as soon as its run bit or mode goes.
  if (bNewMode || (control & kRunBit) == 0) StopImageWork();
  const bool bImage = bRunRises && IsImageMode(control & kModeMask);
  const Nanos delay = bTable ? kTableWork : bNewMode ? m_modeEcho : kRunEcho;
  m_board.Clock().ScheduleIn(delay, [this, generation, control, bTable, bNewMode, bImage] {
    if (generation != m_generation) return;
    if (bTable) TakeTable();
    WriteWord(m_board.GetBus(), kStatusWord, control);
    if (bNewMode) EchoMode(control);
    if (bImage && ReadWord(m_board.GetBus(), kControlWord) == control) {
      StartImageWork(generation, control & kModeMask);
    }
  });
}

void DspCore::EchoMode(uint16_t control) {
  const uint16_t mode = control & kModeMask;
  if (mode == m_echoedMode && mode != kModePrint) return;
  if (m_echoedMode == kModePrint) {
    if (HeadDriveBlock* pHeads = Heads()) pHeads->ForgetSources();
  }
  m_echoedMode = mode;
  m_bLineBusy = false;
  m_bRunEchoed = (control & kRunBit) != 0;
  m_bDropPending = false;
  if (mode == kModePrint) {
    ++m_printSession;
    m_sessionLines = 0;
  }
}

HeadDriveBlock* DspCore::Heads() {
  if (m_pHeads == nullptr) m_pHeads = m_board.FindDevice<HeadDriveBlock>();
  return m_pHeads;
}

PrintLineWords DspCore::ReadPrintWords() const {
  const Bus& bus = m_board.GetBus();
  PrintLineWords w;
  w.planeCode = ReadWord(bus, kPlaneCodeWord);
  w.rowLength = ReadWord(bus, kRowLengthWord);
  w.sideOffset = static_cast<int16_t>(ReadWord(bus, kSideOffsetWord));
  for (uint32_t i = 0; i < 4; ++i) w.overcoatLevels[i] = ReadWord(bus, kOvercoatLevelWords + 2 * i);
  w.headWidth = ReadWord(bus, kHeadWidthWord);
  w.internalImage = ReadWord(bus, kInternalImageWord);
  w.colourByte = ReadWord(bus, kColourByteWord);
  w.byteLevels = ReadWord(bus, kByteLevelsWord);
  w.base = static_cast<uint32_t>(ReadWord(bus, kAddressHighWord)) << 16 | ReadWord(bus, kAddressLowWord);
  w.row = ReadWord(bus, kRowWord);
  return w;
}

void DspCore::PrintPoll(uint32_t generation, uint16_t control) {
  if (m_bLineBusy) return;
  const bool bRun = (control & kRunBit) != 0;
  if (bRun && !m_bRunEchoed) {
    StartLine(generation);
  } else if (!bRun && m_bRunEchoed && !m_bDropPending) {
    m_bDropPending = true;
    const uint32_t session = m_printSession;
    m_board.Clock().ScheduleIn(m_echoDropDelay, [this, generation, session] {
      if (generation != m_generation || session != m_printSession || !m_bDropPending) return;
      m_bDropPending = false;
      m_bRunEchoed = false;
      WriteWord(m_board.GetBus(), kStatusWord, kModePrint);
    });
  }
}

void DspCore::StartLine(uint32_t generation) {
  m_bLineBusy = true;
  const uint32_t session = m_printSession;
  const uint32_t index = m_sessionLines++;
  LineRun run;
  run.at = m_board.Clock().Now();
  run.session = session;
  run.index = index;
  run.words = ReadPrintWords();
  const Bus& bus = m_board.GetBus();
  const uint8_t* row = bus.RamPointer(print_line::RowAddress(run.words), print_line::RowBytes(run.words));
  const std::vector<uint8_t>& gradation = Table(kGradationTable);
  print_line::ComputeLine(run.words, row, gradation.size() >= 512 ? gradation.data() : nullptr, m_line.data());
  size_t logged = kLineRunLimit;
  if (m_lineRuns.size() < kLineRunLimit) {
    logged = m_lineRuns.size();
    m_lineRuns.push_back(run);
  } else {
    ++m_lineRunsDropped;
  }
  const bool bSlow = index >= m_slowFirst && index - m_slowFirst < m_slowCount;
  const uint16_t planeCode = run.words.planeCode;
  m_board.Clock().ScheduleIn(bSlow ? m_slowWork : kLineWork, [this, generation, session, logged, planeCode] {
    if (generation != m_generation || session != m_printSession || !m_bLineBusy) return;
    m_bLineBusy = false;
    if (m_bModesSilent) return;
    HeadDriveBlock* pHeads = Heads();
    const uint32_t bank = pHeads != nullptr ? pHeads->SpareBank() : 0;
    if (pHeads != nullptr) pHeads->CompleteLine(bank, m_line.data(), HeadDriveBlock::LineSource{session, planeCode});
    if (logged < m_lineRuns.size()) {
      m_lineRuns[logged].done = m_board.Clock().Now();
      m_lineRuns[logged].bank = bank;
    }
    m_bRunEchoed = true;
    WriteWord(m_board.GetBus(), kStatusWord, kModePrint | kRunBit);
  });
}

ImageJobWords DspCore::ReadImageWords(uint16_t mode) const {
  const Bus& bus = m_board.GetBus();
  auto word = [&bus](uint32_t offset) { return ReadWord(bus, kImageRequestWords + offset); };
  auto address = [&word](uint32_t offset) { return static_cast<uint32_t>(word(offset + 2)) << 16 | word(offset); };
  ImageJobWords w;
  w.mode = mode;
  w.sourceWidth = word(0x00);
  w.sourceHeight = word(0x02);
  w.printWidth = word(0x04);
  w.totalLines = word(0x06);
  w.margins[0] = word(0x08);
  w.margins[1] = word(0x0A);
  for (uint32_t plane = 0; plane < 3; ++plane) {
    w.sources[plane] = address(0x0C + 4 * plane);
    w.rowTableFlags[plane] = word(0x1C + 2 * plane);
  }
  w.destination = address(0x18);
  w.firstLine = ReadWord(bus, kImageFirstLineWord);
  return w;
}

void DspCore::StartImageWork(uint32_t generation, uint16_t mode) {
  StopImageWork();
  ImageRun run;
  run.at = m_board.Clock().Now();
  run.words = ReadImageWords(mode);
  run.linesDone = run.words.firstLine;
  run.bRunning = true;
  m_imageRuns.push_back(run);
  m_imageLine = run.words.firstLine;
  m_imageRow.assign(run.words.printWidth, 0);
  const uint32_t work = ++m_imageWork;
  if (m_imageRate == 0) return;
  m_board.Clock().ScheduleIn(ImagePeriod(), [this, generation, work] { ImageStep(generation, work); });
}

void DspCore::StopImageWork() {
  ++m_imageWork;
  if (!m_imageRuns.empty()) m_imageRuns.back().bRunning = false;
}

void DspCore::ImageStep(uint32_t generation, uint32_t work) {
  if (generation != m_generation || work != m_imageWork) return;
  ImageRun& run = m_imageRuns.back();
  const ImageJobWords& w = run.words;
  if (m_imageLine >= w.totalLines) {
    run.bRunning = false;
    return;
  }
  // A stalled DSP keeps running without progress.
  if (m_imageLine >= m_imageStallAt) return;
  const Bus& bus = m_board.GetBus();
  const image_job::RamReader ram = [&bus](uint32_t addr, uint32_t bytes) -> const uint8_t* {
    return bus.RamPointer(addr, bytes);
  };
  image_job::ComputeRow(w, m_imageLine, ram, m_imageRow.data());
  if (uint8_t* out = bus.RamPointer(w.destination + m_imageLine * w.printWidth, w.printWidth)) {
    std::copy(m_imageRow.begin(), m_imageRow.end(), out);
  }
  ++m_imageLine;
  ++m_imageRows;
  run.linesDone = m_imageLine;
  WriteWord(bus, kImageLinesDoneWord, static_cast<uint16_t>(m_imageLine));
  m_board.Clock().ScheduleIn(ImagePeriod(), [this, generation, work] { ImageStep(generation, work); });
}

void DspCore::TakeTable() {
  const Bus& bus = m_board.GetBus();
  ++m_tableRuns;
  const uint16_t id = ReadWord(bus, kTableIdWord);
  const PhysAddr addr = static_cast<PhysAddr>(ReadWord(bus, kAddressHighWord)) << 16 | ReadWord(bus, kAddressLowWord);
  const uint32_t length = TableLength(id);
  const uint8_t* p = length == 0 ? nullptr : bus.RamPointer(addr, length);
  bool bTaken = p != nullptr && images::OnesComplementSum16(p, length) == ReadWord(bus, kTableChecksumWord);
  if (m_checksumFailures > 0) {
    --m_checksumFailures;
    bTaken = false;
  }
  if (bTaken) m_tables[id].assign(p, p + length);
  WriteWord(bus, kTableAnswerWord, bTaken ? kTableTaken : kTableChecksumError);
}

}  // namespace sim
