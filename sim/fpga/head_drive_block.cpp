#include "sim/fpga/head_drive_block.h"

#include <algorithm>
#include <cstdio>

#include "sim/fpga/fpga_config_port.h"
#include "sim/fpga/fpga_main_block.h"
#include "sim/soc/gpio.h"

namespace sim {

namespace {
constexpr Nanos kCount = 20;  // 50 MHz
constexpr uint16_t kThvSupply = 0x0001;
constexpr uint16_t kBufferBank = 0x0001;
constexpr uint32_t kBankSize = 0x10000;
constexpr uint16_t kTimerHeadDriveEnable = 0x0002;

bool IsRegister(uint32_t offset) {
  switch (offset) {
    case HeadDriveBlock::kReset:
    case HeadDriveBlock::kDivision:
    case HeadDriveBlock::kConfig:
    case HeadDriveBlock::kControl:
    case HeadDriveBlock::kBufferCtrl:
    case HeadDriveBlock::kBankStatus:
    case HeadDriveBlock::kStrobeCount:
    case HeadDriveBlock::kPeriodLo:
    case HeadDriveBlock::kPeriodHi:
    case HeadDriveBlock::kOffTimeLo:
    case HeadDriveBlock::kOffTimeHi:
    case HeadDriveBlock::kHeadEnable:
      return true;
    default:
      return offset >= HeadDriveBlock::kParam0 && offset <= HeadDriveBlock::kParam0 + 6;
  }
}
}  // namespace

HeadDriveBlock::HeadDriveBlock(Board& board, GpioController& gpio, FpgaConfigPort& config, FpgaMainBlock& main)
    : m_board(board), m_gpio(gpio), m_config(config), m_main(main), m_ports{{*this, 1}, {*this, 2}, {*this, 3}} {
  m_config.AddModeObserver([this](bool) { ResetLogic(); });
  Bus& bus = board.GetBus();
  bus.MapDevice(kBank1, kBank1 + kBankSize - 1, RegionKind::Fpga, &m_ports[0], "fpga-head-drive");
  bus.MapDevice(kBank2, kBank2 + kBankSize - 1, RegionKind::Fpga, &m_ports[1], "fpga-head-table2");
  bus.MapDevice(kBank3, kBank3 + kBankSize - 1, RegionKind::Fpga, &m_ports[2], "fpga-head-table3");
  m_main.AddLineObserver([this] { OnLine(); });
}

bool HeadDriveBlock::Configured() const { return m_config.InUserMode(); }

void HeadDriveBlock::ResetLogic() {
  if (m_burstEvent != 0) m_board.Clock().Cancel(m_burstEvent);
  m_burstEvent = 0;
  m_regs.fill(0);
  for (auto& bank : m_lines) bank.fill(0);
  m_table1.fill(0);
  m_table2.fill(0);
  m_table3.fill(0);
  m_driveBank = 0;
  m_sources = {};
  m_lastCompleted = kNoBank;
  m_strobeEnd = 0;
}

uint16_t* HeadDriveBlock::Word(uint32_t bank, uint32_t offset, uint32_t width, bool bWrite) {
  uint16_t* pWord = nullptr;
  if (width == 2) {
    if (bank != 1) {
      if (offset < 2 * kTableWords) pWord = &(bank == 2 ? m_table2 : m_table3)[offset / 2];
    } else if (offset >= kLineBuffer && offset < kLineBuffer + 2 * kLineWords) {
      pWord = &m_lines[m_regs[kBufferCtrl / 2] & kBufferBank][(offset - kLineBuffer) / 2];
    } else if (offset >= kTable1 && offset < kTable1 + 2 * kTable1Words) {
      pWord = &m_table1[(offset - kTable1) / 2];
    } else if (IsRegister(offset)) {
      pWord = &m_regs[offset / 2];
    }
  }
  if (pWord == nullptr) {
    char text[120];
    std::snprintf(text, sizeof text, "head drive: %u-byte %s at bank %u offset 0x%04X (nothing there)", width,
                  bWrite ? "write" : "read", bank, offset);
    m_board.ReportFault(text);
  }
  return pWord;
}

uint32_t HeadDriveBlock::Read(uint32_t bank, uint32_t offset, uint32_t width) {
  if (!Configured()) return width == 4 ? 0xFFFFFFFFu : width == 2 ? kIdleValue : 0xFFu;
  const uint16_t* pWord = Word(bank, offset, width, false);
  if (pWord == nullptr) return 0;
  if (bank == 1 && offset == kControl) {
    return m_burstEvent != 0 ? (*pWord & ~kControlDone) : (*pWord | kControlDone);
  }
  if (bank == 1 && offset == kBankStatus) return m_driveBank;
  return *pWord;
}

void HeadDriveBlock::Write(uint32_t bank, uint32_t offset, uint32_t width, uint32_t value) {
  if (!Configured()) return;
  uint16_t* pWord = Word(bank, offset, width, true);
  if (pWord == nullptr) return;
  if (bank == 1 && offset < kRegistersEnd) {
    WriteRegister(offset, static_cast<uint16_t>(value));
    return;
  }
  *pWord = static_cast<uint16_t>(value);
  if (bank == 1 && offset >= kLineBuffer && offset < kLineBuffer + 2 * kLineWords) {
    // The CPU's words make the bank no DSP line.
    const uint32_t lineBank = m_regs[kBufferCtrl / 2] & kBufferBank;
    m_sources[lineBank] = LineSource{};
    if (m_lastCompleted == lineBank) m_lastCompleted = kNoBank;
  }
}

void HeadDriveBlock::CompleteLine(uint32_t bank, const uint16_t* words, LineSource source) {
  bank &= 1u;
  std::copy(words, words + kLineWords, m_lines[bank].begin());
  m_sources[bank] = source;
  m_lastCompleted = bank;
}

uint32_t HeadDriveBlock::StrobeUs() const {
  const uint16_t division = m_regs[kDivision / 2];
  const uint32_t length = (division >> 5) & 0x3FFu;
  const uint32_t count = division & 0x1Fu;
  return length * (count + 1) + count;
}

void HeadDriveBlock::OnLine() {
  if (!Configured()) return;
  if ((m_regs[kBufferCtrl / 2] & kBufferOwnedByDrive) == 0) {
    ++m_cpuHeldLines;
    return;
  }
  const Nanos now = m_board.Clock().Now();
  StrobedLine line;
  line.at = now;
  line.bStale = m_lastCompleted == kNoBank || m_lastCompleted == m_driveBank;
  if (!line.bStale) m_driveBank = m_lastCompleted;
  line.bank = m_driveBank;
  line.bOverrun = now < m_strobeEnd;
  line.strobe = static_cast<Nanos>(StrobeUs()) * kNsPerUs;
  m_strobeEnd = now + line.strobe;
  line.source = m_sources[m_driveBank];
  line.bDriveEnabled = (m_regs[kControl / 2] & kControlEnable) != 0 &&
                       (m_main.Register(FpgaMainBlock::kTimerCtrl) & kTimerHeadDriveEnable) != 0;
  line.bThvSupply = (m_main.Register(FpgaMainBlock::kThvCtrl) & kThvSupply) != 0;
  const uint16_t enable = m_regs[kHeadEnable / 2];
  for (uint32_t head = 0; head < 2; ++head) {
    const uint32_t pin = kHeadPowerPins[head];
    line.heads[head] = LineHead{m_gpio.IsOutput(pin) && !m_gpio.PinLevel(pin), ((enable >> head) & 1u) != 0};
  }
  line.words = m_lines[m_driveBank].data();
  ++m_linesStrobed;
  if (line.bStale) ++m_staleLines;
  if (line.bOverrun) ++m_overruns;
  if (m_heatSink && (line.Prints(0) || line.Prints(1))) {
    uint64_t dye = 0;
    for (uint16_t word : m_lines[m_driveBank]) dye += word < kFullDot ? word : kFullDot;
    const auto onTime = static_cast<Nanos>(static_cast<double>(line.strobe) * static_cast<double>(dye) /
                                           (static_cast<double>(kFullDot) * kLineWords));
    for (uint32_t head = 0; head < 2; ++head) {
      if (line.Prints(head) && onTime > 0) m_heatSink(head, onTime);
    }
  }
  if (m_lineSink) m_lineSink(line);
}

void HeadDriveBlock::WriteRegister(uint32_t offset, uint16_t value) {
  const uint16_t old = m_regs[offset / 2];
  if (offset == kBankStatus) return;  // read only
  m_regs[offset / 2] = static_cast<uint16_t>(offset == kControl ? value & ~kControlDone : value);
  if (offset != kControl) return;
  if ((value & kControlRun) == 0 && m_burstEvent != 0) EndBurst(true);
  const bool bStartEdge = (value & kControlStart) != 0 && (old & kControlStart) == 0;
  if (bStartEdge && (value & kControlRun) != 0 && (value & kControlEnable) != 0 && m_burstEvent == 0) StartBurst();
}

void HeadDriveBlock::StartBurst() {
  Burst burst;
  burst.start = m_board.Clock().Now();
  burst.strobeCount = m_regs[kStrobeCount / 2];
  burst.period = Counts32(kPeriodLo);
  burst.offTime = Counts32(kOffTimeLo);
  burst.bThvSupply = (m_main.Register(FpgaMainBlock::kThvCtrl) & kThvSupply) != 0;
  const uint16_t control = m_regs[kControl / 2];
  const uint16_t enable = m_regs[kHeadEnable / 2];
  const uint16_t strobeBits[2] = {kControlStrobeA, kControlStrobeB};
  for (uint32_t head = 0; head < 2; ++head) {
    const uint32_t pin = kHeadPowerPins[head];
    burst.heads[head] = HeadState{(control & strobeBits[head]) != 0, ((enable >> head) & 1u) != 0,
                                  m_gpio.IsOutput(pin) && !m_gpio.PinLevel(pin)};
  }
  m_bursts.push_back(burst);
  const Nanos length = static_cast<Nanos>(burst.strobeCount) * burst.period * kCount;
  m_burstEvent = m_board.Clock().ScheduleIn(length, [this] {
    m_burstEvent = 0;
    EndBurst(false);
  });
}

void HeadDriveBlock::EndBurst(bool bStopped) {
  if (m_burstEvent != 0) m_board.Clock().Cancel(m_burstEvent);
  m_burstEvent = 0;
  if (m_bursts.empty()) return;
  Burst& burst = m_bursts.back();
  burst.end = m_board.Clock().Now();
  burst.bStopped = bStopped;
  if (!m_heatSink || burst.period == 0) return;
  const uint32_t onCounts = burst.offTime < burst.period ? burst.period - burst.offTime : 0;
  const Nanos onTime = static_cast<Nanos>(static_cast<double>(burst.end - burst.start) * onCounts / burst.period);
  for (uint32_t head = 0; head < 2; ++head) {
    if (burst.Heats(head)) m_heatSink(head, onTime);
  }
}

}  // namespace sim
