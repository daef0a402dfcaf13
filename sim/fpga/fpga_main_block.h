// The FPGA's main register block (bank 0, 0x64000000-0x6400FFFF, 16-bit
// registers on chip select 4), as the FPGA's user logic answers it while
// it runs (see FpgaConfigPort). Without a configuration the block does not
// drive the bus: reads return the bus's idle value kIdleValue and writes
// are lost. Starting the user logic resets every register.
//
// Registers with behaviour (offsets):
//   0x00 0x02 0x04 0x2A  sensor input words IN0-IN3: what the mechanism (or
//                        a test) sets, or a source it installs
//   0x08 CNT_ENABLE      bit n: 0 counter n counts, 1 holds (reset 0x7F)
//   0x0A CNT_CLEAR       bit n set: counter n cleared and held at 0
//   0x0C-0x16, 0x4A      counters 0-5 and 6 (16 bits, wrap), counting the
//                        pulses the mechanism reports (`CountPulses`)
//   0x18 / 0x1A          microsecond down-counter, low and high half, read
//                        live (no latch: a reader straddling a borrow from
//                        the low half sees halves of two different counts).
//                        Writes go to a load register; the low-half write
//                        loads both halves into the counter
//   0x1C TIMER_CTRL      bit 0 the counter runs (one count per µs); bit 1
//                        head-drive enable; bit 2 line trigger: each rising
//                        edge starts a run of LINE_MODE lines (at least
//                        one), one line period (0x38/0x3A, 50 MHz counts)
//                        apart, the first a period after the edge; at each
//                        line the head drive takes its line (line
//                        observers) and line pin GP0[2] pulses low. A
//                        write with the trigger 0 ends the run. With
//                        LINE_MODE 1 each edge gives one line (the counting
//                        mode of the paper-step path). The period is read
//                        afresh for each line.
//   0x20 HEAD_INFO       head information (reset kHeadInfoReset)
//   0x26 PULSE_CTRL      rising edge of bit 2c starts pulse channel c, of bit
//                        2c+1 stops it; a running channel pulses its pin low
//                        every period (0x4E/0x50, 0x54/0x56, 0x5A/0x5C, 25 MHz
//                        counts, exact to the 40 ns tick). A period takes
//                        effect when its high word is written and counts from
//                        the channel's last pulse, so one written in a pulse's
//                        handler sets the interval after that pulse; a period
//                        of 0 emits nothing (the first interval starts when
//                        a period is written), one shorter than the 1 us pin
//                        pulse is a board fault. Pins: channel 0 (main
//                        stepper) GP0[3] and, with every pulse, the
//                        paper-step line GP0[4]; channel 1 (sub stepper)
//                        GP0[5]; channel 2 (exit stepper) GP0[6], which the
//                        firmware's dispatch only counts
//   0x2E VERSION         the design revision of the loaded bitstream
//   0x40 PCB_REV         the board's PCB revision
//   0x42 / 0x48          A/D channel, low and high nibble; each write starts
//                        a conversion of kAdcConversion; 0x44 ADC_DATA reads
//                        the last finished conversion (10 bits)
//   0xA2-0x22F           the tag bridge (tag_bridge.h), a sub-block that
//                        answers its own range
// Every other register reads back what was last written (the DC-motor bit
// pairs, fan control, PWM pairs, THV, EEPROM select, output port, line
// mode, ...); models of the mechanism follow them through write observers.
//
// Switch: SetLineInterruptLate: the line pin falls a set time after the
// line the head drive took, for a number of lines or for every line.
// Byte writes merge into their halfword (the sub-stepper control byte at
// 0x3E); 32-bit accesses are two halfword cycles, low address first.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "sim/board.h"
#include "sim/bus.h"
#include "sim/clock.h"
#include "sim/fpga/fpga_config_port.h"

namespace sim {

class GpioController;

// The bus device first: the bus calls it on every access, without a thunk.
class FpgaMainBlock final : public BusDevice, public DeviceModel {
 public:
  static constexpr PhysAddr kBase = 0x64000000u;
  static constexpr PhysAddr kLast = 0x6400FFFFu;
  static constexpr uint16_t kIdleValue = 0xFFFF;
  static constexpr uint16_t kCounterEnableReset = 0x007F;
  static constexpr uint16_t kHeadInfoReset = 0x0006;
  static constexpr Nanos kAdcConversion = 10 * kNsPerUs;
  static constexpr Nanos kInterruptPulse = 1 * kNsPerUs;
  static constexpr uint32_t kCounterCount = 7;
  static constexpr uint32_t kPulseChannels = 3;
  static constexpr uint32_t kLinePin = 2;
  static constexpr uint32_t kPulsePins[kPulseChannels] = {3, 5, 6};
  static constexpr uint32_t kPaperStepPin = 4;

  // Register offsets.
  static constexpr uint32_t kIn0 = 0x00, kIn1 = 0x02, kIn2 = 0x04, kIn3 = 0x2A;
  static constexpr uint32_t kCntEnable = 0x08, kCntClear = 0x0A, kCntValue0 = 0x0C, kCntValue6 = 0x4A;
  static constexpr uint32_t kUsCntLo = 0x18, kUsCntHi = 0x1A, kTimerCtrl = 0x1C, kHeadInfo = 0x20;
  static constexpr uint32_t kEepromSel = 0x22, kPulseCtrl = 0x26, kOut0 = 0x2C, kVersion = 0x2E;
  static constexpr uint32_t kDcMotor0 = 0x30, kFanCtrl = 0x36, kLinePeriodLo = 0x38, kLinePeriodHi = 0x3A;
  static constexpr uint32_t kLineMode = 0x3C, kSubstepCtrl = 0x3E, kPcbRev = 0x40, kAdcChannel = 0x42;
  static constexpr uint32_t kAdcData = 0x44, kColorCtrl = 0x46, kAdcMux = 0x48, kThvCtrl = 0x4C;
  static constexpr uint32_t kPulsePeriod[kPulseChannels] = {0x4E, 0x54, 0x5A};
  static constexpr uint32_t kPwmBase = 0x60;

  FpgaMainBlock(Board& board, GpioController& gpio, FpgaConfigPort& config, uint32_t pcbRevision);
  FpgaMainBlock(const FpgaMainBlock&) = delete;
  FpgaMainBlock& operator=(const FpgaMainBlock&) = delete;

  // ---- inputs, set by the mechanism's models or by tests ----
  void SetInputWord(uint32_t index, uint16_t value);  // 0-3: IN0, IN1, IN2, IN3
  void SetInputSource(uint32_t index, std::function<uint16_t()> fn);
  // Bits of an input word that another board device drives (the head
  // EEPROMs' data-out lines): they read as fn() over whatever else sets
  // the word.
  void SetInputBit(uint32_t index, uint16_t mask, std::function<bool()> fn);
  // The last word on an input word as the CPU reads it: fn(index, value)
  // gets what the sources, bits and models drive and returns what is read
  // (the mechanism's fault switches).
  void SetInputOverride(std::function<uint16_t(uint32_t index, uint16_t value)> fn) { m_inputOverride = std::move(fn); }
  void CountPulses(uint32_t channel, uint32_t count = 1);
  void SetHeadInfo(uint16_t value) { m_headInfo = value; }
  // The analog level (0-1023) of A/D channel 0-255; the second argument is
  // the left colour sensor's selection (COLOR_CTRL bit 8), which switches
  // the input both colour sensors share.
  void SetAnalogSource(std::function<uint16_t(uint32_t channel, bool bColorSensorL)> fn) { m_analog = std::move(fn); }
  void SetAnalogValue(uint32_t channel, uint16_t value) { m_analogValues[channel & 0xFFu] = value; }
  uint16_t AnalogValue(uint32_t channel) const { return m_analogValues[channel & 0xFFu]; }
  uint16_t InputWord(uint32_t index) const { return index < m_inputs.size() ? m_inputs[index] : 0; }

  // ---- outputs, for the mechanism's models and tests ----
  // Called after every register write the user logic took (offset, value).
  void AddWriteObserver(std::function<void(uint32_t offset, uint16_t value)> fn) {
    AddWriteObserver(0, kLast - kBase, std::move(fn));
  }
  // Called after every write to a register in [first, last] (offsets);
  // observers are called in the order they were added.
  void AddWriteObserver(uint32_t first, uint32_t last, std::function<void(uint32_t offset, uint16_t value)> fn);
  // Called at each pulse of a pulse channel.
  void AddPulseObserver(uint32_t channel, std::function<void()> fn);
  bool Configured() const { return m_config.InUserMode(); }
  // The register as last written (or as the logic holds it).
  uint16_t Register(uint32_t offset) const { return m_regs[(offset & 0xFFFFu) / 2]; }
  uint32_t UsCounter() const;
  uint16_t Counter(uint32_t channel) const { return channel < kCounterCount ? m_counters[channel] : 0; }
  bool PulsesRunning(uint32_t channel) const { return channel < kPulseChannels && m_pulse[channel].bRunning; }
  uint32_t PulsesEmitted(uint32_t channel) const { return channel < kPulseChannels ? m_pulse[channel].emitted : 0; }
  // A fault switch: a held channel keeps running but pulses neither its pin
  // nor its observers (a pulse generator that hangs); released, it pulses
  // again on its period.
  void SetPulsesHeld(uint32_t channel, bool bHeld) {
    if (channel < kPulseChannels) m_pulse[channel].bHeld = bHeld;
  }
  // The time of the channel's last pulse (an observer reads its own pulse's).
  Nanos LastPulseTime(uint32_t channel) const { return channel < kPulseChannels ? m_pulse[channel].lastPulse : 0; }
  uint32_t LinePulses() const { return m_linePulses; }
  // Lines still to come in the run the last trigger edge started.
  uint32_t LinesLeft() const { return m_linesLeft; }
  // Called at each line, before the line pin falls (the head drive takes
  // its line there).
  void AddLineObserver(std::function<void()> fn) { m_lineObservers.push_back(std::move(fn)); }
  // The switch: the line pin of each of the next `lines` lines falls
  // `delay` after its line (kEveryLine: every line from now on; a delay of
  // 0 ends the switch).
  static constexpr uint32_t kEveryLine = ~0u;
  void SetLineInterruptLate(Nanos delay, uint32_t lines = kEveryLine) {
    m_lineLate = delay;
    m_lateLines = delay == 0 ? 0 : lines;
  }
  uint32_t AdcChannel() const { return m_adcChannel; }

  // Hands the accesses to [first, last] (offsets in the block) to a part of
  // the logic with a model of its own, while the block is configured.
  void MapSubBlock(uint32_t first, uint32_t last, BusDevice& device) {
    m_subBlocks.push_back({first, last, &device});
    if (first < m_subFirst) m_subFirst = first;
    if (last > m_subLast) m_subLast = last;
    // Only a sub-block's registers are ever polled.
    SetPolledSpan(m_subFirst, m_subLast);
  }

  uint32_t Read(uint32_t offset, uint32_t width) override;
  void Write(uint32_t offset, uint32_t width, uint32_t value) override;
  uint32_t BusWidth() const override { return 2; }
  bool ReadIsPolled(uint32_t offset) const override;

 private:
  struct SubBlock {
    uint32_t first;
    uint32_t last;
    BusDevice* device;
  };
  BusDevice* SubBlockAt(uint32_t offset) const {
    return offset >= m_subFirst && offset <= m_subLast ? SubBlockIn(offset) : nullptr;
  }
  BusDevice* SubBlockIn(uint32_t offset) const;

  struct PulseChannel {
    bool bRunning = false;
    bool bAwaitingPeriod = false;
    Nanos intervalStart = 0;
    Nanos lastPulse = 0;
    Nanos due = 0;                 // the next pulse's tick
    SimClock::TimerId timer = 0;   // the next pulse
    SimClock::TimerId release = 0; // the end of the pins' pulse
    uint32_t emitted = 0;
    bool bHeld = false;
    std::vector<std::function<void()>> observers;
  };

  void ResetLogic();
  uint16_t ReadHalf(uint32_t offset);
  uint32_t UsCount() const;
  uint16_t ReadInput(uint32_t index);
  void WriteHalf(uint32_t offset, uint16_t value);
  void SetTimerCtrl(uint16_t value);
  void ScheduleLine(Nanos from);
  void OnLine(Nanos due);
  void SetPulseCtrl(uint16_t value);
  void SchedulePulse(uint32_t channel);
  void StopPulses(uint32_t channel);
  void StartConversion();
  void EndConversion();
  void EmitPulse(uint32_t channel);
  void PulseChannelPins(uint32_t channel);
  void ReleaseChannelPins(uint32_t channel);
  // Pulses the pin (and a second one with it) low for kInterruptPulse.
  static constexpr uint32_t kNoPin = ~0u;
  void PulsePins(uint32_t pin, uint32_t secondPin = kNoPin);
  uint32_t Period32(uint32_t offsetLo) const {
    return m_regs[offsetLo / 2] | (static_cast<uint32_t>(m_regs[offsetLo / 2 + 1]) << 16);
  }

  Board& m_board;
  GpioController& m_gpio;
  FpgaConfigPort& m_config;
  uint16_t m_pcbRevision;
  std::vector<uint16_t> m_regs;
  std::array<uint16_t, 4> m_inputs{};
  std::array<std::function<uint16_t()>, 4> m_inputSources;
  struct InputBit {
    uint32_t index;
    uint16_t mask;
    std::function<bool()> fn;
  };
  std::vector<InputBit> m_inputBits;
  std::function<uint16_t(uint32_t, uint16_t)> m_inputOverride;
  std::array<uint16_t, kCounterCount> m_counters{};
  uint16_t m_headInfo = kHeadInfoReset;
  // The microsecond counter: its value at m_usSince and whether it runs.
  uint32_t m_usCount = 0;
  Nanos m_usSince = 0;
  bool m_bUsRunning = false;
  uint16_t m_usLoadHi = 0;
  SimClock::EventId m_lineEvent = 0;
  uint32_t m_linePulses = 0;
  uint32_t m_linesLeft = 0;
  Nanos m_lineLate = 0;
  uint32_t m_lateLines = 0;
  std::vector<std::function<void()>> m_lineObservers;
  std::array<PulseChannel, kPulseChannels> m_pulse;
  uint32_t m_adcChannel = 0;
  uint16_t m_adcResult = 0;
  SimClock::TimerId m_adcTimer = 0;  // the conversion's end
  std::function<uint16_t(uint32_t, bool)> m_analog;
  std::array<uint16_t, 256> m_analogValues{};
  struct WriteObserver {
    uint32_t first;
    uint32_t last;
    std::function<void(uint32_t, uint16_t)> fn;
  };
  std::vector<WriteObserver> m_writeObservers;
  // By halfword: whether any write observer follows it (most writes have
  // none).
  std::vector<bool> m_observed;
  std::vector<SubBlock> m_subBlocks;
  // The span of every sub-block: most accesses fall outside it.
  uint32_t m_subFirst = ~0u;
  uint32_t m_subLast = 0;
};

}  // namespace sim
