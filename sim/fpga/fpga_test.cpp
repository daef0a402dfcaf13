// The virtual FPGA: its configuration port, driven through the GPIO
// controller's registers as the firmware drives it, with the bitstream the
// image tools write; and its main register block.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/board.h"
#include "sim/fpga/bitstream_format.h"
#include "sim/fpga/fpga_config_port.h"
#include "sim/fpga/fpga_main_block.h"
#include "sim/soc/gpio.h"
#include "sim/soc/psc.h"
#include "sim/testing/board_fixture.h"
#include "tools/images/fpga_bitstream.h"

namespace sim {
namespace {

constexpr uint32_t kPcbRevision = 3;
constexpr uint32_t kData = 1u << FpgaConfigPort::kPinData;
constexpr uint32_t kConfig = 1u << FpgaConfigPort::kPinConfig;
constexpr uint32_t kClock = 1u << FpgaConfigPort::kPinClock;
constexpr uint32_t kStatus = 1u << FpgaConfigPort::kPinStatus;
constexpr uint32_t kDone = 1u << FpgaConfigPort::kPinDone;

constexpr uint32_t Reg(uint32_t reg) { return GpioController::kPairBase + reg; }

class FpgaModel : public ::testing::Test {
 protected:
  FpgaModel() {
    board.Intc().Attach(GpioController::kEventBank0, 5);
    // The board set-up: the configuration lines are outputs, nCONFIG high,
    // DCLK and DATA low.
    Gpio(GpioController::kSetData, kConfig);
    Gpio(GpioController::kClrData, kClock | kData);
    Gpio(GpioController::kDir, ~(kConfig | kClock | kData));
  }

  void Gpio(uint32_t reg, uint32_t value) { gpio.Write(Reg(reg), 4, value); }
  uint32_t Lines() { return gpio.Read(Reg(GpioController::kInData), 4); }
  void Run(Nanos dt) { RunBoardFor(board, dt); }
  void StartPulse(Nanos low = 1000 * kNsPerUs) {
    Gpio(GpioController::kClrData, kConfig);
    Run(low);
    Gpio(GpioController::kSetData, kConfig);
  }
  void ClockEdge() {
    Gpio(GpioController::kSetData, kClock);
    Gpio(GpioController::kClrData, kClock);
  }
  void Send(const images::Bytes& bytes) {
    for (uint8_t byte : bytes) {
      for (uint32_t bit = 0; bit < 8; ++bit) {
        Gpio((byte >> bit) & 1u ? GpioController::kSetData : GpioController::kClrData, kData);
        ClockEdge();
      }
    }
  }
  // The whole load as the firmware makes it: pulse, status wait, stream.
  void Load(const images::Bytes& bytes) {
    StartPulse();
    Run(FpgaConfigPort::kStatusDelay);
    ASSERT_NE(Lines() & kStatus, 0u);
    Send(bytes);
  }
  uint16_t Reg16(uint32_t offset) { return static_cast<uint16_t>(block.Read(offset, 2)); }

  Board board{BoardConfig{}};
  Psc1& psc1 = board.AddDevice<Psc1>(board);
  GpioController& gpio = board.AddDevice<GpioController>(board);
  FpgaConfigPort& port = board.AddDevice<FpgaConfigPort>(board, gpio);
  FpgaMainBlock& block = board.AddDevice<FpgaMainBlock>(board, gpio, port, kPcbRevision);
};

// ---- configuration ---------------------------------------------------------------

TEST_F(FpgaModel, TheToolsBitstreamConfiguresItAndTheNextClockStartsItsLogic) {
  port.PowerOnUnconfigured();
  EXPECT_EQ(Reg16(FpgaMainBlock::kPcbRev), FpgaMainBlock::kIdleValue) << "no logic drives the bus";
  const images::Bytes bitstream = images::BuildFpgaBitstream(fpga::kDeviceBytes, 7);

  StartPulse();
  EXPECT_EQ(Lines() & (kStatus | kDone), 0u) << "reset: both low";
  ClockEdge();  // before nSTATUS: not taken
  Run(FpgaConfigPort::kStatusDelay - 1);
  EXPECT_EQ(Lines() & kStatus, 0u);
  Run(1);
  EXPECT_EQ(Lines() & kStatus, kStatus);
  EXPECT_EQ(port.ClocksTaken(), 0u);

  Send(images::Bytes(bitstream.begin(), bitstream.end() - 1));
  EXPECT_EQ(Lines() & kDone, 0u) << "one byte short";
  Send(images::Bytes(bitstream.end() - 1, bitstream.end()));
  EXPECT_EQ(Lines() & (kStatus | kDone), kStatus | kDone);
  EXPECT_FALSE(block.Configured()) << "the logic starts on the next clock";
  ClockEdge();
  EXPECT_TRUE(block.Configured());
  EXPECT_EQ(port.ClocksTaken(), 8 * fpga::kDeviceBytes + 1);
  EXPECT_EQ(port.Received(), bitstream);
  EXPECT_EQ(port.Configurations(), 1u);
  EXPECT_EQ(Reg16(FpgaMainBlock::kVersion), 7u);
  EXPECT_EQ(Reg16(FpgaMainBlock::kPcbRev), kPcbRevision);
}

TEST_F(FpgaModel, AStreamForAnotherDeviceOrDamagedIsRefused) {
  struct Case {
    const char* what;
    images::Bytes stream;
    size_t refusedAfter;  // bytes sent when nSTATUS falls
  };
  const images::Bytes good = images::BuildFpgaBitstream();
  images::Bytes badSync = good;
  badSync[3] ^= 0x20;
  images::Bytes damaged = good;
  damaged[1000] ^= 0x01;
  images::Bytes badCheck = good;
  badCheck[fpga::kDeviceBytes - 1] ^= 0x80;
  const Case cases[] = {
      {"another sync", badSync, fpga::kSyncBytes},
      {"another length", images::BuildFpgaBitstream(fpga::kDeviceBytes + 2), fpga::kHeaderBytes},
      {"a damaged payload", damaged, fpga::kDeviceBytes},
      {"a wrong check word", badCheck, fpga::kDeviceBytes},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Load(images::Bytes(c.stream.begin(), c.stream.begin() + static_cast<std::ptrdiff_t>(c.refusedAfter - 1)));
    EXPECT_EQ(Lines() & kStatus, kStatus);
    Send(images::Bytes(c.stream.begin() + static_cast<std::ptrdiff_t>(c.refusedAfter - 1),
                       c.stream.begin() + static_cast<std::ptrdiff_t>(c.refusedAfter)));
    EXPECT_EQ(Lines() & (kStatus | kDone), 0u);
    Send(images::Bytes(c.stream.begin() + static_cast<std::ptrdiff_t>(c.refusedAfter), c.stream.end()));
    ClockEdge();
    EXPECT_EQ(Lines() & kDone, 0u);
    EXPECT_FALSE(block.Configured());
    EXPECT_EQ(port.GetState(), FpgaConfigPort::State::Refused);
  }
  // A good stream after a refused one loads.
  Load(good);
  ClockEdge();
  EXPECT_TRUE(block.Configured());
}

TEST_F(FpgaModel, TheFaultSwitchesAndATooShortStartPulseLeaveItUnconfigured) {
  const images::Bytes good = images::BuildFpgaBitstream();
  port.FailStatus(true);
  StartPulse();
  Run(10 * FpgaConfigPort::kStatusDelay);
  EXPECT_EQ(Lines() & kStatus, 0u);
  Send(good);
  EXPECT_EQ(port.ClocksTaken(), 0u);
  port.FailStatus(false);

  port.FailDone(true);
  Load(good);
  ClockEdge();
  EXPECT_EQ(Lines() & (kStatus | kDone), kStatus) << "taken, never done";
  EXPECT_FALSE(block.Configured());
  port.FailDone(false);

  StartPulse(FpgaConfigPort::kMinResetLow - 1);
  Run(10 * FpgaConfigPort::kStatusDelay);
  EXPECT_EQ(Lines() & kStatus, 0u);
  EXPECT_EQ(port.GetState(), FpgaConfigPort::State::Refused);
}

TEST_F(FpgaModel, AResetDropsTheConfigurationAndAReloadStartsFromResetValues) {
  ASSERT_TRUE(block.Configured()) << "the boot stage loaded it";
  EXPECT_EQ(Lines() & (kStatus | kDone), kStatus | kDone);
  block.Write(FpgaMainBlock::kFanCtrl, 2, 0x0123);
  EXPECT_EQ(Reg16(FpgaMainBlock::kVersion), FpgaConfigPort::kPowerOnRevision);

  Gpio(GpioController::kClrData, kConfig);
  EXPECT_FALSE(block.Configured());
  EXPECT_EQ(Reg16(FpgaMainBlock::kFanCtrl), FpgaMainBlock::kIdleValue);
  block.Write(FpgaMainBlock::kFanCtrl, 2, 0x0456);  // lost: nothing listens
  Run(kNsPerMs);
  Gpio(GpioController::kSetData, kConfig);
  Run(FpgaConfigPort::kStatusDelay);
  Send(images::BuildFpgaBitstream(fpga::kDeviceBytes, 2));
  ClockEdge();
  ASSERT_TRUE(block.Configured());
  EXPECT_EQ(Reg16(FpgaMainBlock::kFanCtrl), 0u);
  EXPECT_EQ(Reg16(FpgaMainBlock::kCntEnable), FpgaMainBlock::kCounterEnableReset);
  EXPECT_EQ(Reg16(FpgaMainBlock::kVersion), 2u);
}

// ---- the main register block ----------------------------------------------------------

TEST_F(FpgaModel, TheMicrosecondCounterCountsDownWhileItRunsAndLoadsOnItsLowHalf) {
  auto count = [&] { return Reg16(FpgaMainBlock::kUsCntLo) | static_cast<uint32_t>(Reg16(FpgaMainBlock::kUsCntHi)) << 16; };
  block.Write(FpgaMainBlock::kUsCntHi, 2, 0x0002);
  EXPECT_EQ(count(), 0u) << "the high half waits for the low one";
  block.Write(FpgaMainBlock::kUsCntLo, 2, 0x0003);
  EXPECT_EQ(count(), 0x00020003u);
  Run(5 * kNsPerUs);
  EXPECT_EQ(count(), 0x00020003u) << "held while the run bit is clear";
  block.Write(FpgaMainBlock::kTimerCtrl, 2, 0x0001);
  Run(999);
  EXPECT_EQ(count(), 0x00020003u);
  Run(1);
  EXPECT_EQ(count(), 0x00020002u);
  // The halves are read live: a reader that takes the high half before the
  // low one borrows sees the high half of the count before.
  Run(2 * kNsPerUs);
  EXPECT_EQ(Reg16(FpgaMainBlock::kUsCntHi), 0x0002u);
  Run(kNsPerUs);
  EXPECT_EQ(Reg16(FpgaMainBlock::kUsCntLo), 0xFFFFu);
  EXPECT_EQ(count(), 0x0001FFFFu);
  block.Write(FpgaMainBlock::kTimerCtrl, 2, 0x0000);
  Run(kNsPerMs);
  EXPECT_EQ(block.UsCounter(), 0x0001FFFFu);
}

TEST_F(FpgaModel, CountersCountReportedPulsesWhileEnabledAndClearWhileTheirBitIsSet) {
  block.CountPulses(0, 5);
  EXPECT_EQ(Reg16(FpgaMainBlock::kCntValue0), 0u) << "every counter holds after reset";
  block.Write(FpgaMainBlock::kCntEnable, 2, 0x7F & ~0x41u);  // channels 0 and 6 count
  block.CountPulses(0, 5);
  block.CountPulses(1, 5);
  block.CountPulses(6, 0xFFFF);
  block.CountPulses(6, 3);
  EXPECT_EQ(Reg16(FpgaMainBlock::kCntValue0), 5u);
  EXPECT_EQ(Reg16(FpgaMainBlock::kCntValue0 + 2), 0u);
  EXPECT_EQ(Reg16(FpgaMainBlock::kCntValue6), 2u) << "16 bits, wrapping";
  block.Write(FpgaMainBlock::kCntClear, 2, 0x01);
  block.CountPulses(0, 4);
  EXPECT_EQ(Reg16(FpgaMainBlock::kCntValue0), 0u);
  block.Write(FpgaMainBlock::kCntClear, 2, 0x00);
  block.CountPulses(0, 4);
  EXPECT_EQ(Reg16(FpgaMainBlock::kCntValue0), 4u);
}

TEST_F(FpgaModel, APulseChannelPulsesItsPinEveryPeriodFromItsStartEdgeToItsStopEdge) {
  Gpio(GpioController::kSetFalTrig, 0x28u);  // pins 3 and 5
  gpio.Write(GpioController::kBinten, 4, 1);
  uint32_t observed = 0;
  block.AddPulseObserver(1, [&] { ++observed; });
  block.Write(FpgaMainBlock::kPulsePeriod[1], 2, 2500);  // 100 us in 25 MHz counts
  block.Write(FpgaMainBlock::kPulsePeriod[1] + 2, 2, 0);
  block.Write(FpgaMainBlock::kPulseCtrl, 2, 0x04);  // start channel 1
  EXPECT_TRUE(block.PulsesRunning(1));
  Run(100 * kNsPerUs - 1);
  EXPECT_EQ(block.PulsesEmitted(1), 0u);
  Run(1);
  EXPECT_EQ(block.PulsesEmitted(1), 1u);
  EXPECT_FALSE(gpio.PinLevel(5));
  EXPECT_EQ(gpio.IntStatus(0), 0x20u);
  EXPECT_TRUE(board.Intc().IsPending(GpioController::kEventBank0));
  Run(FpgaMainBlock::kInterruptPulse);
  EXPECT_TRUE(gpio.PinLevel(5));

  // A new period takes effect with its high word and counts from the last
  // pulse.
  Run(20 * kNsPerUs);
  block.Write(FpgaMainBlock::kPulsePeriod[1], 2, 1250);  // 50 us
  block.Write(FpgaMainBlock::kPulsePeriod[1] + 2, 2, 0);
  Run(29 * kNsPerUs - FpgaMainBlock::kInterruptPulse);
  EXPECT_EQ(block.PulsesEmitted(1), 1u);
  Run(kNsPerUs);
  EXPECT_EQ(block.PulsesEmitted(1), 2u);
  Run(500 * kNsPerUs);
  EXPECT_EQ(block.PulsesEmitted(1), 12u);
  EXPECT_EQ(observed, 12u);
  EXPECT_EQ(block.PulsesEmitted(0), 0u);

  // The start bit held high starts nothing more; the stop bit's edge stops.
  block.Write(FpgaMainBlock::kPulseCtrl, 2, 0x0C);
  EXPECT_FALSE(block.PulsesRunning(1));
  Run(kNsPerMs);
  EXPECT_EQ(block.PulsesEmitted(1), 12u);
  block.Write(FpgaMainBlock::kPulseCtrl, 2, 0x00);
  block.Write(FpgaMainBlock::kPulseCtrl, 2, 0x0C);
  EXPECT_FALSE(block.PulsesRunning(1)) << "a start edge together with a stop edge stops";
  block.Write(FpgaMainBlock::kPulseCtrl, 2, 0x08);
  block.Write(FpgaMainBlock::kPulseCtrl, 2, 0x0C);
  EXPECT_TRUE(block.PulsesRunning(1)) << "a start edge alone starts";
}

// The main channel's pulses, with the paper-step line's, at exact intervals
// that follow each period written after a pulse.
TEST_F(FpgaModel, TheMainChannelPulsesThePaperStepLineTooAtExactIntervals) {
  Gpio(GpioController::kSetFalTrig, 0x18u);  // pins 3 and 4
  std::vector<Nanos> pulses;
  std::vector<uint32_t> periods = {25, 61, 2906, 1000000};  // 1 us ... 40 ms
  size_t next = 1;
  auto setPeriod = [&](uint32_t ticks) {
    block.Write(FpgaMainBlock::kPulsePeriod[0], 2, ticks & 0xFFFFu);
    block.Write(FpgaMainBlock::kPulsePeriod[0] + 2, 2, ticks >> 16);
  };
  block.AddPulseObserver(0, [&] {
    pulses.push_back(block.LastPulseTime(0));
    EXPECT_EQ(gpio.IntStatus(0) & 0x18u, 0x18u) << "pins 3 and 4 fall together";
    gpio.Write(Reg(GpioController::kIntStat), 4, 0x18u);
    // The handler's period sets the interval after this pulse.
    if (next < periods.size()) setPeriod(periods[next++]);
  });
  setPeriod(periods[0]);
  const Nanos start = board.Clock().Now();
  block.Write(FpgaMainBlock::kPulseCtrl, 2, 0x01);
  Run(85 * kNsPerMs);
  ASSERT_GE(pulses.size(), 5u);
  Nanos expected = start;
  for (size_t i = 0; i < 5; ++i) {
    expected += static_cast<Nanos>(periods[std::min(i, periods.size() - 1)]) * 40;
    EXPECT_EQ(pulses[i], expected) << "pulse " << i;
  }
  EXPECT_EQ(block.PulsesEmitted(0), pulses.size());

  // A long run at 8600 pulses per second keeps the 40 ns grid: no drift.
  block.Write(FpgaMainBlock::kPulseCtrl, 2, 0x02);
  pulses.clear();
  setPeriod(2906);
  const Nanos longStart = board.Clock().Now();
  block.Write(FpgaMainBlock::kPulseCtrl, 2, 0x01);
  Run(10000 * kNsPerMs);
  ASSERT_EQ(pulses.size(), 10000u * kNsPerMs / (2906 * 40));
  EXPECT_EQ(pulses.back(), longStart + static_cast<Nanos>(pulses.size()) * 2906 * 40);
}

TEST_F(FpgaModel, APeriodTakesEffectWithItsHighWordAndZeroEmitsNothing) {
  block.Write(FpgaMainBlock::kPulseCtrl, 2, 0x04);  // channel 1, period 0
  EXPECT_TRUE(block.PulsesRunning(1));
  Run(10 * kNsPerMs);
  EXPECT_EQ(block.PulsesEmitted(1), 0u) << "a period of 0 emits nothing";
  // 0x0001_0000 counts: the low half alone changes nothing.
  block.Write(FpgaMainBlock::kPulsePeriod[1], 2, 0);
  Run(10 * kNsPerMs);
  EXPECT_EQ(block.PulsesEmitted(1), 0u);
  block.Write(FpgaMainBlock::kPulsePeriod[1] + 2, 2, 1);  // 65536 x 40 ns
  Run(65536 * 40 - 1);
  EXPECT_EQ(block.PulsesEmitted(1), 0u) << "the first interval counts from the high word";
  Run(1);
  EXPECT_EQ(block.PulsesEmitted(1), 1u);
  // A low half written while running waits for its high half.
  block.Write(FpgaMainBlock::kPulsePeriod[1], 2, 100);
  Run(65536 * 40 - 1);
  EXPECT_EQ(block.PulsesEmitted(1), 1u);
  Run(1);
  EXPECT_EQ(block.PulsesEmitted(1), 2u);
  EXPECT_TRUE(board.Faults().empty());
}

TEST_F(FpgaModel, APeriodShorterThanThePinPulseIsABoardFault) {
  block.Write(FpgaMainBlock::kPulsePeriod[2], 2, 24);  // 960 ns
  block.Write(FpgaMainBlock::kPulsePeriod[2] + 2, 2, 0);
  block.Write(FpgaMainBlock::kPulseCtrl, 2, 0x10);
  Run(kNsPerMs);
  EXPECT_EQ(block.PulsesEmitted(2), 0u);
  ASSERT_EQ(board.Faults().size(), 1u);
  EXPECT_NE(board.Faults()[0].find("pulse channel 2"), std::string::npos) << board.Faults()[0];
}

TEST_F(FpgaModel, EachRisingLineTriggerGivesOneLinePulseAfterTheLinePeriod) {
  block.Write(FpgaMainBlock::kLinePeriodLo, 2, 5000);  // 100 us at 50 MHz
  block.Write(FpgaMainBlock::kLinePeriodHi, 2, 0);
  block.Write(FpgaMainBlock::kTimerCtrl, 2, 0x0004);
  Run(100 * kNsPerUs - 1);
  EXPECT_EQ(block.LinePulses(), 0u);
  Run(1);
  EXPECT_EQ(block.LinePulses(), 1u);
  EXPECT_FALSE(gpio.PinLevel(FpgaMainBlock::kLinePin));
  Run(kNsPerMs);
  EXPECT_EQ(block.LinePulses(), 1u) << "a trigger held high gives one line";
  EXPECT_TRUE(gpio.PinLevel(FpgaMainBlock::kLinePin));
  block.Write(FpgaMainBlock::kTimerCtrl, 2, 0x0000);
  block.Write(FpgaMainBlock::kTimerCtrl, 2, 0x0004);
  Run(100 * kNsPerUs);
  EXPECT_EQ(block.LinePulses(), 2u);
  EXPECT_EQ(Reg16(FpgaMainBlock::kTimerCtrl), 0x0004u);
}

// A rising trigger starts a run of LINE_MODE lines (at least one), one
// period apart, the first a period after the edge; the trigger written 0
// ends the run. The head drive's line observer sees each line before its
// pin falls.
TEST_F(FpgaModel, ARisingTriggerStartsARunOfLineModeLinesThatATriggerOfZeroEnds) {
  struct Case {
    const char* name;
    uint16_t lineMode;
    Nanos stopAfter;  // the trigger written 0 this long after the edge (0: never)
    uint32_t lines;
  };
  constexpr Nanos kPeriod = 100 * kNsPerUs;
  const Case cases[] = {
      {"line mode 0 gives one line", 0, 0, 1},
      {"line mode 1 gives one line", 1, 0, 1},
      {"line mode 5 gives five", 5, 0, 5},
      {"the trigger's 0 ends a run", 5, 3 * kPeriod - 1, 2},
      {"a 0 after the last line changes nothing", 3, 10 * kPeriod, 3},
  };
  std::vector<Nanos> lines;
  block.AddLineObserver([&] { lines.push_back(board.Clock().Now()); });
  block.Write(FpgaMainBlock::kLinePeriodLo, 2, 5000);  // 100 us at 50 MHz
  block.Write(FpgaMainBlock::kLinePeriodHi, 2, 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    lines.clear();
    block.Write(FpgaMainBlock::kTimerCtrl, 2, 0x0000);
    block.Write(FpgaMainBlock::kLineMode, 2, c.lineMode);
    const uint32_t before = block.LinePulses();
    const Nanos edge = board.Clock().Now();
    block.Write(FpgaMainBlock::kTimerCtrl, 2, 0x0004);
    if (c.stopAfter != 0) {
      Run(c.stopAfter);
      block.Write(FpgaMainBlock::kTimerCtrl, 2, 0x0000);
    }
    Run(20 * kPeriod);
    ASSERT_EQ(lines.size(), c.lines);
    EXPECT_EQ(block.LinePulses() - before, c.lines);
    EXPECT_EQ(lines.front(), edge + kPeriod) << "the first line a period after the edge";
    EXPECT_EQ(lines.back(), edge + static_cast<Nanos>(c.lines) * kPeriod);
    EXPECT_EQ(block.LinesLeft(), 0u);
  }
}

// Lines keep the exact period grid and each falls on the line pin after
// the head drive's observer saw it; the late switch moves only the pin, for
// as many lines as it is set for.
TEST_F(FpgaModel, LinesFallOnTheirPinAtExactPeriodsUnlessTheLateSwitchDelaysThePin) {
  Gpio(GpioController::kSetFalTrig, 1u << FpgaMainBlock::kLinePin);
  std::vector<Nanos> observed;
  std::vector<Nanos> pinFalls;
  bool bPinWasHigh = true;
  block.AddLineObserver([&] {
    observed.push_back(board.Clock().Now());
    bPinWasHigh = bPinWasHigh && gpio.PinLevel(FpgaMainBlock::kLinePin);
  });
  block.Write(FpgaMainBlock::kLinePeriodLo, 2, 0x86A0);  // 2 ms: 100000 counts
  block.Write(FpgaMainBlock::kLinePeriodHi, 2, 0x0001);
  block.Write(FpgaMainBlock::kLineMode, 2, 6);
  constexpr Nanos kPeriod = 2 * kNsPerMs;
  constexpr Nanos kLate = 700 * kNsPerUs;
  block.SetLineInterruptLate(kLate, 2);
  const Nanos edge = board.Clock().Now();
  block.Write(FpgaMainBlock::kTimerCtrl, 2, 0x0004);
  // Sample the pin every microsecond over the run.
  bool bLast = true;
  for (Nanos t = 0; t < 8 * kPeriod; t += kNsPerUs) {
    Run(kNsPerUs);
    const bool bLevel = gpio.PinLevel(FpgaMainBlock::kLinePin);
    if (bLast && !bLevel) pinFalls.push_back(board.Clock().Now());
    bLast = bLevel;
  }
  ASSERT_EQ(observed.size(), 6u);
  for (size_t i = 0; i < observed.size(); ++i) EXPECT_EQ(observed[i], edge + static_cast<Nanos>(i + 1) * kPeriod) << i;
  EXPECT_TRUE(bPinWasHigh) << "the drive sees each line before its pin falls";
  const std::vector<Nanos> expectedFalls = {observed[0] + kLate, observed[1] + kLate, observed[2], observed[3],
                                            observed[4], observed[5]};
  EXPECT_EQ(pinFalls, expectedFalls);
  EXPECT_TRUE(board.Faults().empty());
}

TEST_F(FpgaModel, TheConverterSamplesTheSelectedChannelAfterItsConversionTime) {
  std::vector<std::pair<uint32_t, bool>> asked;
  block.SetAnalogSource([&](uint32_t channel, bool bColorL) {
    asked.emplace_back(channel, bColorL);
    return static_cast<uint16_t>(0xFC00u | channel);
  });
  block.Write(FpgaMainBlock::kColorCtrl, 2, 0x0100);
  block.Write(FpgaMainBlock::kAdcMux, 2, 0x8);
  block.Write(FpgaMainBlock::kAdcChannel, 2, 0x3);
  EXPECT_EQ(block.AdcChannel(), 0x83u);
  Run(FpgaMainBlock::kAdcConversion - 1);
  EXPECT_EQ(Reg16(FpgaMainBlock::kAdcData), 0u) << "still converting: the last result";
  Run(1);
  EXPECT_EQ(Reg16(FpgaMainBlock::kAdcData), 0x083u) << "10 bits";
  EXPECT_EQ(asked, (std::vector<std::pair<uint32_t, bool>>{{0x83u, true}}));
}

TEST_F(FpgaModel, InputsBoardFactsByteLanesAndWriteObservers) {
  block.SetInputWord(0, 0x8001);
  uint16_t in3 = 0;
  block.SetInputSource(3, [&] { return ++in3; });
  EXPECT_EQ(Reg16(FpgaMainBlock::kIn0), 0x8001u);
  EXPECT_EQ(Reg16(FpgaMainBlock::kIn3), 1u);
  EXPECT_EQ(Reg16(FpgaMainBlock::kIn3), 2u) << "a source answers each read";
  EXPECT_EQ(Reg16(FpgaMainBlock::kPcbRev), kPcbRevision);
  EXPECT_EQ(Reg16(FpgaMainBlock::kHeadInfo), FpgaMainBlock::kHeadInfoReset);

  std::vector<std::pair<uint32_t, uint16_t>> writes;
  block.AddWriteObserver([&](uint32_t offset, uint16_t value) { writes.emplace_back(offset, value); });
  block.Write(FpgaMainBlock::kSubstepCtrl, 2, 0xAA55);
  block.Write(FpgaMainBlock::kSubstepCtrl + 1, 1, 0x12);
  block.Write(FpgaMainBlock::kDcMotor0, 4, 0x00030002u);
  EXPECT_EQ(Reg16(FpgaMainBlock::kSubstepCtrl), 0x1255u);
  EXPECT_EQ(block.Read(FpgaMainBlock::kDcMotor0, 4), 0x00030002u);
  EXPECT_EQ(writes, (std::vector<std::pair<uint32_t, uint16_t>>{
                        {0x3E, 0xAA55}, {0x3E, 0x1255}, {0x30, 0x0002}, {0x32, 0x0003}}));
}

TEST_F(FpgaModel, RangedWriteObserversSeeOnlyTheirRegistersInTheOrderTheyWereAdded) {
  std::vector<std::pair<char, uint32_t>> calls;
  block.AddWriteObserver(0x30, 0x36, [&](uint32_t offset, uint16_t) { calls.emplace_back('a', offset); });
  block.AddWriteObserver(0x46, 0x46, [&](uint32_t offset, uint16_t) { calls.emplace_back('b', offset); });
  block.AddWriteObserver(0x34, 0x46, [&](uint32_t offset, uint16_t) { calls.emplace_back('c', offset); });
  struct Access {
    uint32_t offset;
    uint32_t width;
  };
  // 0x2C, 0x48 and 0x60 have no observer; the byte write at 0x37 is one of
  // its halfword 0x36.
  for (const Access& a : {Access{0x2C, 2}, Access{0x30, 2}, Access{0x36, 2}, Access{0x37, 1}, Access{0x46, 2},
                          Access{0x48, 2}, Access{0x60, 2}}) {
    block.Write(a.offset, a.width, 1);
  }
  EXPECT_EQ(calls, (std::vector<std::pair<char, uint32_t>>{
                       {'a', 0x30}, {'a', 0x36}, {'c', 0x36}, {'a', 0x36}, {'c', 0x36}, {'b', 0x46}, {'c', 0x46}}));
}

}  // namespace
}  // namespace sim
