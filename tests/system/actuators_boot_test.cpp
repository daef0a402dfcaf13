// The printer's actuators as the boot leaves them, read from the bus trace
// of the whole start-up: no motor ever driven to run, every motor at its
// stop level, every chopper at period 800 and duty 0 (channels without PWM
// registers refused, their values kept), every slit cleared and counting,
// every fan, clutch and colour LED off, and the motor drivers enabled. Of
// the objects built after the motors (the positioners among them) only the
// ribbon managers write motor lines while the machine is built: each brakes
// the two ribbon motors of its unit.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "firmware/devices/machine_actuators.h"
#include "firmware/platform/sftprn.h"
#include "sim/bus_trace.h"
#include "sim/fpga/fpga_main_block.h"
#include "sim/machine.h"
#include "sim/panel/panel.h"
#include "sim/soc/gpio.h"
#include "tests/support/machine_test.h"

namespace {

using testsupport::Ms;

constexpr uint32_t kDcMotor0 = 0x64000030u, kDcMotor2 = 0x64000034u;
constexpr uint32_t kCntEnable = 0x64000008u, kCntClear = 0x6400000Au;
constexpr uint32_t kFanCtrl = 0x64000036u, kColorCtrl = 0x64000046u;
constexpr uint32_t kPwmFirst = 0x64000060u, kPwmLast = 0x64000093u;

class ActuatorsAtBoot : public testsupport::MachineTest {
 protected:
  void SetUp() override {
    sim::MachineOptions options;
    options.bTraceDispatches = true;
    Boot(std::move(options));
    m_machine->GetBoard().GetBus().Trace().Start();
    m_machine->RunUntil([this] { return m_machine->Logged("Main Loop ..."); },
                        testsupport::kStartUp + Ms(10000));
    ASSERT_TRUE(m_machine->Logged("Main Loop ..."));
    m_machine->GetBoard().GetBus().Trace().Stop();
  }
  std::vector<sim::BusAccess> Writes(uint32_t first, uint32_t last) {
    return m_machine->GetBoard().GetBus().Trace().In(first, last, sim::BusTrace::Kind::Writes);
  }
  sim::FpgaMainBlock& Fpga() { return *m_machine->GetBoard().FindDevice<sim::FpgaMainBlock>(); }
};

TEST_F(ActuatorsAtBoot, NoMotorRunsAndEachEndsAtItsStopLevel) {
  // A motor's two lines are two writes, line A first: between them the
  // pair may stand unequal for the few microseconds of one write, never
  // longer.
  for (const MotorWiring& w : g_aMotorWiring) {
    if (w.pChopper != nullptr) continue;
    const std::vector<sim::BusAccess> writes = Writes(w.ulRegisterA, w.ulRegisterA + 1);
    for (size_t i = 0; i < writes.size(); ++i) {
      const bool bA = (writes[i].value & w.ulMaskA) != 0, bB = (writes[i].value & w.ulMaskB) != 0;
      if (bA == bB) continue;
      ASSERT_LT(i + 1, writes.size()) << std::hex << "lines " << w.ulMaskA << "/" << w.ulMaskB << " left running";
      const sim::BusAccess& next = writes[i + 1];
      EXPECT_EQ((next.value & w.ulMaskA) != 0, (next.value & w.ulMaskB) != 0)
          << std::hex << "lines " << w.ulMaskA << "/" << w.ulMaskB;
      EXPECT_LT(next.at - writes[i].at, sim::Nanos{20000}) << std::hex << "lines " << w.ulMaskA << "/" << w.ulMaskB;
    }
  }
  // Polarity 0 stops with both lines set, polarity 1 with both clear; the
  // braked ribbon motors stand the other way round (take-up polarity 0,
  // supply polarity 1).
  EXPECT_EQ(Fpga().Register(0x30), 0x003C);  // ribbon supply L, head L
  EXPECT_EQ(Fpga().Register(0x32), 0x303C);  // ribbon supply R, head R, cutter
  EXPECT_EQ(Fpga().Register(0x34), 0x0000);
  for (const MotorWiring& w : g_aMotorWiring) {
    if (w.pChopper != nullptr) continue;
    uint32_t ulState = 9;
    w.pMotor->GetState(&ulState);
    EXPECT_EQ(ulState, 0u);
  }
}

// Every axis at rest after the boot: MechanismAtBoot (dc_mechanism_test).
TEST_F(ActuatorsAtBoot, NothingBuiltAfterTheMotorsWritesAMotorLineButTheRibbonBrakes) {
  // The construction list builds the slits right after the motors and
  // choppers, and the positioners and ribbon managers later; it ends when
  // the application task first runs.
  sim::Nanos appStart = 0;
  for (const auto& d : m_machine->GetBoard().GetKernel().Dispatches()) {
    if (d.task == APP_TASK) {
      appStart = d.at;
      break;
    }
  }
  ASSERT_NE(appStart, 0u);
  const std::vector<sim::BusAccess> clears = Writes(kCntClear, kCntClear + 1);
  ASSERT_FALSE(clears.empty());
  const sim::Nanos slitsBuilt = clears.front().at;
  // The ribbon motors' lines: bits 0-3 of FPGA_DCMOTOR0 (unit L) and of
  // FPGA_DCMOTOR1 (unit R), which the managers leave braked.
  constexpr uint32_t kRibbonLines = 0x000F;
  std::map<uint32_t, uint32_t> last;
  uint32_t ulRibbonWrites = 0;
  for (const sim::BusAccess& a : Writes(kDcMotor0, kDcMotor2 + 1)) {
    const uint32_t ulChanged = last.count(a.addr) != 0 ? (last[a.addr] ^ a.value) : 0;
    last[a.addr] = a.value;
    if (a.at <= slitsBuilt || a.at >= appStart) continue;
    EXPECT_TRUE(a.addr != kDcMotor2 && (ulChanged & ~kRibbonLines) == 0)
        << std::hex << "0x" << a.addr << " = 0x" << a.value << " at " << std::dec << a.at;
    ++ulRibbonWrites;
  }
  EXPECT_EQ(ulRibbonWrites, 16u) << "two lines of two motors, by each of the four managers";
  for (const sim::BusAccess& a : Writes(kPwmFirst, kPwmLast)) {
    EXPECT_FALSE(a.at > slitsBuilt && a.at < appStart)
        << std::hex << "0x" << a.addr << " = 0x" << a.value << " at " << std::dec << a.at;
  }
}

TEST_F(ActuatorsAtBoot, EveryChopperHasPeriod800AndDuty0EvenWhereItsChannelIsRefused) {
  // The period of a pair is written before its duty.
  std::map<uint32_t, std::vector<uint32_t>> writes;
  for (const sim::BusAccess& a : Writes(kPwmFirst, kPwmLast)) writes[a.addr].push_back(a.value);
  for (uint32_t pair = 0; pair < 13; ++pair) {
    EXPECT_EQ(writes[kPwmFirst + 4 * pair], (std::vector<uint32_t>{800})) << "pair " << pair;
    EXPECT_EQ(writes[kPwmFirst + 4 * pair + 2], (std::vector<uint32_t>{0})) << "pair " << pair;
  }
  for (const MotorWiring& w : g_aMotorWiring) {
    if (w.pChopper == nullptr) continue;
    uint32_t ulPeriod = 0, ulDuty = 9;
    w.pChopper->GetPeriod(&ulPeriod);
    w.pChopper->GetDuty(&ulDuty);
    EXPECT_EQ(ulPeriod, 800u) << w.ulChannel;
    EXPECT_EQ(ulDuty, 0u) << w.ulChannel;
  }
  EXPECT_EQ(g_ChopMotorEjectPinch.Channel(), 13u);
  EXPECT_EQ(g_ChopMotorSpare45.Channel(), 18u);
}

TEST_F(ActuatorsAtBoot, EverySlitIsClearedAndCounting) {
  // Each channel's clear bit pulsed 1 then 0.
  std::vector<uint32_t> clears;
  for (const sim::BusAccess& a : Writes(kCntClear, kCntClear + 1)) clears.push_back(a.value & 0x7F);
  std::vector<uint32_t> expected;
  for (const SlitWiring& w : g_aSlitWiring) {
    expected.push_back(1u << w.ulChannel);
    expected.push_back(0);
  }
  EXPECT_EQ(clears, expected);
  EXPECT_EQ(Fpga().Register(0x08) & 0x7F, 0) << "every counter counts";
  for (uint32_t channel = 0; channel < 7; ++channel) {
    Fpga().CountPulses(channel, channel + 1);
    EXPECT_EQ(Fpga().Counter(channel), channel + 1);
  }
}

TEST_F(ActuatorsAtBoot, FansClutchesAndColourLedsAreOffAndTheMotorDriversEnabled) {
  EXPECT_FALSE(Writes(kFanCtrl, kFanCtrl + 1).empty());
  EXPECT_FALSE(Writes(kColorCtrl, kColorCtrl + 1).empty());
  EXPECT_EQ(Fpga().Register(0x36) & 0x07FF, 0);
  EXPECT_EQ(Fpga().Register(0x46) & 0x003F, 0);
  for (const FanWiring& w : g_aFanWiring) {
    uint32_t ulState = 9;
    (w.pFan != nullptr ? static_cast<CFanCrutch*>(w.pFan) : w.pOutput)->GetState(&ulState);
    EXPECT_EQ(ulState, FAN_OFF) << std::hex << w.ulMask;
  }
  for (const ColorLedWiring& w : g_aColorLedWiring) {
    uint32_t ulOn = 9;
    w.pLed->IsOn(&ulOn);
    EXPECT_EQ(ulOn, 0u) << w.pszName;
  }
  EXPECT_TRUE(m_machine->Logged("Motor Enable ON ..."));
  EXPECT_NE(m_machine->GetBoard().FindDevice<sim::GpioController>()->OutputLatch(0) & 0x200u, 0u);
  EXPECT_FALSE(m_machine->Logged("[placeholder] fans and clutches is not built yet"));
}

}  // namespace
