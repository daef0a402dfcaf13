#include "sim/fpga/fpga_main_block.h"

#include <algorithm>
#include <string>

#include "sim/fpga/fpga_config_port.h"
#include "sim/soc/gpio.h"

namespace sim {

namespace {
constexpr uint32_t kBlockHalves = 0x10000 / 2;
constexpr Nanos kLineCount = 20;   // 50 MHz
constexpr Nanos kPulseCount = 40;  // 25 MHz
// An interrupt pulse must end before the next one starts.
constexpr Nanos kShortestPeriod = 2 * FpgaMainBlock::kInterruptPulse;
constexpr uint16_t kTimerRun = 0x0001;
constexpr uint16_t kTimerLineTrigger = 0x0004;

}  // namespace

FpgaMainBlock::FpgaMainBlock(Board& board, GpioController& gpio, FpgaConfigPort& config, uint32_t pcbRevision)
    : m_board(board),
      m_gpio(gpio),
      m_config(config),
      m_pcbRevision(static_cast<uint16_t>(pcbRevision)),
      m_regs(kBlockHalves, 0),
      m_observed(kBlockHalves, false) {
  SimClock& clock = board.Clock();
  m_adcTimer = clock.AddTimer([this] { EndConversion(); });
  for (uint32_t c = 0; c < kPulseChannels; ++c) {
    m_pulse[c].timer = clock.AddTimer([this, c] { EmitPulse(c); });
    m_pulse[c].release = clock.AddTimer([this, c] { ReleaseChannelPins(c); });
  }
  SetPolledSpan(m_subFirst, m_subLast);  // none until a sub-block is mapped
  ResetLogic();
  m_config.AddModeObserver([this](bool) { ResetLogic(); });
  board.GetBus().MapDevice(kBase, kLast, RegionKind::Fpga, this, "fpga-main");
}

void FpgaMainBlock::ResetLogic() {
  SimClock& clock = m_board.Clock();
  std::fill(m_regs.begin(), m_regs.end(), 0);
  m_regs[kCntEnable / 2] = kCounterEnableReset;
  m_counters.fill(0);
  m_bUsRunning = false;
  m_usCount = 0;
  m_usLoadHi = 0;
  if (m_lineEvent != 0) clock.Cancel(m_lineEvent);
  m_lineEvent = 0;
  m_linesLeft = 0;
  for (uint32_t c = 0; c < kPulseChannels; ++c) StopPulses(c);
  clock.Disarm(m_adcTimer);
  m_adcResult = 0;
}

void FpgaMainBlock::SetInputWord(uint32_t index, uint16_t value) {
  if (index < m_inputs.size()) m_inputs[index] = value;
}

void FpgaMainBlock::SetInputSource(uint32_t index, std::function<uint16_t()> fn) {
  if (index < m_inputSources.size()) m_inputSources[index] = std::move(fn);
}

void FpgaMainBlock::SetInputBit(uint32_t index, uint16_t mask, std::function<bool()> fn) {
  if (index < m_inputs.size()) m_inputBits.push_back(InputBit{index, mask, std::move(fn)});
}

void FpgaMainBlock::CountPulses(uint32_t channel, uint32_t count) {
  if (channel >= kCounterCount || !Configured()) return;
  const uint32_t bit = 1u << channel;
  if ((m_regs[kCntEnable / 2] & bit) != 0 || (m_regs[kCntClear / 2] & bit) != 0) return;
  m_counters[channel] = static_cast<uint16_t>(m_counters[channel] + count);
}

void FpgaMainBlock::AddWriteObserver(uint32_t first, uint32_t last,
                                     std::function<void(uint32_t offset, uint16_t value)> fn) {
  m_writeObservers.push_back(WriteObserver{first, last, std::move(fn)});
  for (uint32_t half = first / 2; half <= last / 2 && half < kBlockHalves; ++half) m_observed[half] = true;
}

void FpgaMainBlock::AddPulseObserver(uint32_t channel, std::function<void()> fn) {
  if (channel < kPulseChannels) m_pulse[channel].observers.push_back(std::move(fn));
}

[[gnu::always_inline]] inline uint32_t FpgaMainBlock::UsCount() const {
  if (!m_bUsRunning) return m_usCount;
  const uint64_t elapsed = (m_board.Clock().Now() - m_usSince) / kNsPerUs;
  return m_usCount - static_cast<uint32_t>(elapsed);
}

uint32_t FpgaMainBlock::UsCounter() const { return UsCount(); }

void FpgaMainBlock::PulsePins(uint32_t pin, uint32_t secondPin) {
  m_gpio.DriveInput(pin, false);
  if (secondPin == kNoPin) {
    m_board.Clock().ScheduleIn(kInterruptPulse, [this, pin] { m_gpio.ReleaseInput(pin); });
    return;
  }
  // Pulses that start together end together, in the order they started.
  m_gpio.DriveInput(secondPin, false);
  m_board.Clock().ScheduleIn(kInterruptPulse, [this, pin, secondPin] {
    m_gpio.ReleaseInput(pin);
    m_gpio.ReleaseInput(secondPin);
  });
}

uint16_t FpgaMainBlock::ReadInput(uint32_t index) {
  uint16_t value = m_inputSources[index] ? m_inputSources[index]() : m_inputs[index];
  for (const InputBit& bit : m_inputBits) {
    if (bit.index == index) value = static_cast<uint16_t>((value & ~bit.mask) | (bit.fn() ? bit.mask : 0u));
  }
  return m_inputOverride ? m_inputOverride(index, value) : value;
}

// Inline in Read: every CPU read of the block comes through here.
[[gnu::always_inline]] inline uint16_t FpgaMainBlock::ReadHalf(uint32_t offset) {
  // One switch over every register with behaviour: a jump table.
  static_assert(kCntValue0 + 2 * 6 == kUsCntLo, "counters 0-5 lie just below the microsecond counter");
  // Most reads are of the microsecond counter (a busy wait reads it three
  // times a turn).
  if (offset == kUsCntHi) return static_cast<uint16_t>(UsCount() >> 16);
  if (offset == kUsCntLo) return static_cast<uint16_t>(UsCount());
  switch (offset) {
    case kIn0: return ReadInput(0);
    case kIn1: return ReadInput(1);
    case kIn2: return ReadInput(2);
    case kIn3: return ReadInput(3);
    case kCntValue0:
    case kCntValue0 + 2:
    case kCntValue0 + 4:
    case kCntValue0 + 6:
    case kCntValue0 + 8:
    case kCntValue0 + 10: return m_counters[(offset - kCntValue0) / 2];
    case kCntValue6: return m_counters[6];
    case kHeadInfo: return m_headInfo;
    case kVersion: return m_config.DesignRevision();
    case kPcbRev: return m_pcbRevision;
    case kAdcData: return m_adcResult;
    default: return m_regs[offset / 2];
  }
}

void FpgaMainBlock::WriteHalf(uint32_t offset, uint16_t value) {
  if (offset == kTimerCtrl) {
    SetTimerCtrl(value);
  } else if (offset == kPulseCtrl) {
    SetPulseCtrl(value);
  } else {
    m_regs[offset / 2] = value;
    switch (offset) {
      case kCntClear:
        for (uint32_t c = 0; c < kCounterCount; ++c) {
          if ((value >> c) & 1u) m_counters[c] = 0;
        }
        break;
      case kUsCntHi:
        m_usLoadHi = value;
        break;
      case kUsCntLo:
        m_usCount = (static_cast<uint32_t>(m_usLoadHi) << 16) | value;
        m_usSince = m_board.Clock().Now();
        break;
      case kAdcChannel:
      case kAdcMux:
        StartConversion();
        break;
      default:
        // A new period takes effect with its high word, measured from the
        // channel's last pulse.
        if (offset < kPulsePeriod[0] + 2 || offset > kPulsePeriod[kPulseChannels - 1] + 2) break;
        for (uint32_t c = 0; c < kPulseChannels; ++c) {
          if (offset == kPulsePeriod[c] + 2 && m_pulse[c].bRunning) SchedulePulse(c);
        }
        break;
    }
  }
  if (!m_observed[offset / 2]) return;
  for (const WriteObserver& o : m_writeObservers) {
    if (offset >= o.first && offset <= o.last) o.fn(offset, value);
  }
}

void FpgaMainBlock::SetTimerCtrl(uint16_t value) {
  const uint16_t old = m_regs[kTimerCtrl / 2];
  m_regs[kTimerCtrl / 2] = value;
  const bool bRun = (value & kTimerRun) != 0;
  if (bRun != m_bUsRunning) {
    m_usCount = UsCounter();
    m_usSince = m_board.Clock().Now();
    m_bUsRunning = bRun;
  }
  if ((value & kTimerLineTrigger) == 0) {
    // The trigger low ends the run.
    if (m_lineEvent != 0) m_board.Clock().Cancel(m_lineEvent);
    m_lineEvent = 0;
    m_linesLeft = 0;
  } else if ((old & kTimerLineTrigger) == 0) {
    if (m_lineEvent != 0) m_board.Clock().Cancel(m_lineEvent);
    m_lineEvent = 0;
    m_linesLeft = std::max<uint32_t>(m_regs[kLineMode / 2], 1);
    ScheduleLine(m_board.Clock().Now());
  }
}

void FpgaMainBlock::ScheduleLine(Nanos from) {
  // Each line counts from the last one's own tick, so lines never drift.
  const Nanos due = from + std::max<Nanos>(Period32(kLinePeriodLo) * kLineCount, kShortestPeriod);
  m_lineEvent = m_board.Clock().Schedule(due, [this, due] { OnLine(due); });
}

void FpgaMainBlock::OnLine(Nanos due) {
  m_lineEvent = 0;
  ++m_linePulses;
  --m_linesLeft;
  for (auto& fn : m_lineObservers) fn();
  if (m_lateLines != 0) {
    if (m_lateLines != kEveryLine) --m_lateLines;
    m_board.Clock().ScheduleIn(m_lineLate, [this] { PulsePins(kLinePin); });
  } else {
    PulsePins(kLinePin);
  }
  if (m_linesLeft != 0) ScheduleLine(due);
}

void FpgaMainBlock::SetPulseCtrl(uint16_t value) {
  const uint16_t rising = static_cast<uint16_t>(value & ~m_regs[kPulseCtrl / 2]);
  m_regs[kPulseCtrl / 2] = value;
  for (uint32_t c = 0; c < kPulseChannels; ++c) {
    if ((rising >> (2 * c + 1)) & 1u) {
      StopPulses(c);
    } else if (((rising >> (2 * c)) & 1u) && !m_pulse[c].bRunning) {
      m_pulse[c].bRunning = true;
      m_pulse[c].intervalStart = m_board.Clock().Now();
      SchedulePulse(c);
    }
  }
}

void FpgaMainBlock::SchedulePulse(uint32_t channel) {
  PulseChannel& ch = m_pulse[channel];
  SimClock& clock = m_board.Clock();
  clock.Disarm(ch.timer);
  // A period of 0 emits nothing; the first interval starts when a period
  // is written.
  const Nanos period = static_cast<Nanos>(Period32(kPulsePeriod[channel])) * kPulseCount;
  if (period == 0) {
    ch.bAwaitingPeriod = true;
    return;
  }
  if (ch.bAwaitingPeriod) {
    ch.bAwaitingPeriod = false;
    ch.intervalStart = clock.Now();
  }
  if (period < kInterruptPulse) {
    m_board.ReportFault("fpga: pulse channel " + std::to_string(channel) + " period of " + std::to_string(period) +
                        " ns is shorter than its pin pulse");
    return;
  }
  ch.due = std::max(ch.intervalStart + period, clock.Now());
  clock.Arm(ch.timer, ch.due);
}

void FpgaMainBlock::EmitPulse(uint32_t channel) {
  PulseChannel& c = m_pulse[channel];
  // The next interval counts from the pulse's own tick, even when the
  // board reaches it later, so the intervals never drift.
  c.intervalStart = c.due;
  if (c.bHeld) {
    // A held channel skips its pulse and keeps its grid.
    if (c.bRunning) SchedulePulse(channel);
    return;
  }
  c.lastPulse = c.due;
  ++c.emitted;
  PulseChannelPins(channel);
  for (auto& fn : c.observers) fn();
  if (c.bRunning) SchedulePulse(channel);
}

// The main channel's pulses are the paper-step line's too.
void FpgaMainBlock::PulseChannelPins(uint32_t channel) {
  SimClock& clock = m_board.Clock();
  const SimClock::TimerId release = m_pulse[channel].release;
  if (clock.Armed(release)) {
    // The last pulse's pins are still low: this pulse ends on its own.
    PulsePins(kPulsePins[channel], channel == 0 ? kPaperStepPin : kNoPin);
    return;
  }
  m_gpio.DriveInput(kPulsePins[channel], false);
  if (channel == 0) m_gpio.DriveInput(kPaperStepPin, false);
  clock.Arm(release, clock.Now() + kInterruptPulse);
}

void FpgaMainBlock::ReleaseChannelPins(uint32_t channel) {
  m_gpio.ReleaseInput(kPulsePins[channel]);
  if (channel == 0) m_gpio.ReleaseInput(kPaperStepPin);
}

void FpgaMainBlock::StopPulses(uint32_t channel) {
  PulseChannel& ch = m_pulse[channel];
  m_board.Clock().Disarm(ch.timer);
  ch.bRunning = false;
  ch.bAwaitingPeriod = false;
}

void FpgaMainBlock::StartConversion() {
  m_adcChannel = static_cast<uint32_t>((m_regs[kAdcMux / 2] & 0xFu) << 4 | (m_regs[kAdcChannel / 2] & 0xFu));
  SimClock& clock = m_board.Clock();
  // A conversion under way starts again: its end moves.
  clock.Arm(m_adcTimer, clock.Now() + kAdcConversion);
}

void FpgaMainBlock::EndConversion() {
  const bool bColorL = ((m_regs[kColorCtrl / 2] >> 8) & 1u) != 0;
  const uint16_t level = m_analog ? m_analog(m_adcChannel, bColorL) : m_analogValues[m_adcChannel];
  m_adcResult = static_cast<uint16_t>(level & 0x3FFu);
}

BusDevice* FpgaMainBlock::SubBlockIn(uint32_t offset) const {
  for (const SubBlock& sub : m_subBlocks) {
    if (offset >= sub.first && offset <= sub.last) return sub.device;
  }
  return nullptr;
}

bool FpgaMainBlock::ReadIsPolled(uint32_t offset) const {
  BusDevice* sub = SubBlockAt(offset);
  return sub != nullptr && Configured() && sub->ReadIsPolled(offset);
}

uint32_t FpgaMainBlock::Read(uint32_t offset, uint32_t width) {
  if (!Configured()) return width == 4 ? 0xFFFFFFFFu : width == 2 ? kIdleValue : 0xFFu;
  if (BusDevice* sub = SubBlockAt(offset)) return sub->Read(offset, width);
  if (width == 2) return ReadHalf(offset & ~1u);
  if (width == 4) return ReadHalf(offset) | (static_cast<uint32_t>(ReadHalf(offset + 2)) << 16);
  const uint16_t half = ReadHalf(offset & ~1u);
  return width == 2 ? half : (offset & 1u) != 0 ? half >> 8 : half & 0xFFu;
}

void FpgaMainBlock::Write(uint32_t offset, uint32_t width, uint32_t value) {
  if (!Configured()) return;
  if (BusDevice* sub = SubBlockAt(offset)) {
    sub->Write(offset, width, value);
    return;
  }
  if (width == 4) {
    WriteHalf(offset, static_cast<uint16_t>(value));
    WriteHalf(offset + 2, static_cast<uint16_t>(value >> 16));
    return;
  }
  if (width == 2) {
    WriteHalf(offset, static_cast<uint16_t>(value));
    return;
  }
  // A byte on its lane; the other lane keeps what it holds.
  const uint32_t half = offset & ~1u;
  const uint16_t old = m_regs[half / 2];
  const uint16_t merged = (offset & 1u) != 0 ? static_cast<uint16_t>((old & 0x00FFu) | ((value & 0xFFu) << 8))
                                             : static_cast<uint16_t>((old & 0xFF00u) | (value & 0xFFu));
  WriteHalf(half, merged);
}

}  // namespace sim
