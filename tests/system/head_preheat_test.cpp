// The idle pre-heat of a printer standing ready, on the board's head-drive
// block: a cold head is strobed with its power on and its finished runs are
// restarted, a warm head is left alone, and a head that warms up is
// switched off.
#include <gtest/gtest.h>

#include <string>

#include "sim/fpga/head_drive_block.h"
#include "sim/panel/panel.h"
#include "sim/machine.h"
#include "sim/mechanism/mechanism_inputs.h"
#include "tests/support/machine_test.h"

namespace {

using sim::HeadDriveBlock;
using sim::Thermistor;
using testsupport::Ms;

constexpr sim::Nanos kSettle = testsupport::kSettleToReady;
// Raw readings: 200 and 50 on the 0-255 scale (both in the supervised
// range), against the level 110 of an ambient reading of 125.
constexpr uint16_t kCold = 800;
constexpr uint16_t kWarm = 200;

class IdlePreheat : public testsupport::MachineTest {
 protected:
  void SetUp() override {
    BootNewPrinter();
    Mechanism().SetThermistor(Thermistor::HeadL, kWarm);
    Mechanism().SetThermistor(Thermistor::HeadR, kWarm);
    sim::LcdController& lcd = *m_machine->GetBoard().FindDevice<sim::LcdController>();
    m_machine->RunUntil([&] { return lcd.Visible() == testsupport::kReadyLine; }, kSettle);
    ASSERT_EQ(lcd.Visible(), testsupport::kReadyLine);
  }
  sim::MechanismInputs& Mechanism() { return *m_machine->GetBoard().FindDevice<sim::MechanismInputs>(); }
  HeadDriveBlock& Drive() { return *m_machine->GetBoard().FindDevice<HeadDriveBlock>(); }
};

TEST_F(IdlePreheat, AColdHeadIsStrobedWithItsPowerOnUntilItIsWarm) {
  ASSERT_TRUE(Drive().Bursts().empty()) << "warm heads get no heat";
  Mechanism().SetThermistor(Thermistor::HeadL, kCold);
  // Runs of 2000 periods of 500 us: three seconds see a finished run
  // restarted.
  m_machine->RunFor(Ms(3000));
  const auto& bursts = Drive().Bursts();
  ASSERT_GE(bursts.size(), 2u);
  for (const HeadDriveBlock::Burst& b : bursts) {
    EXPECT_TRUE(b.heads[0].bStrobe && b.heads[0].bEnabled && b.heads[0].bPowered);
    EXPECT_FALSE(b.heads[1].bStrobe || b.heads[1].bPowered);
  }
  EXPECT_FALSE(bursts[0].bStopped);
  EXPECT_GE(bursts[0].end - bursts[0].start, Ms(1000));
  EXPECT_LT(bursts[0].end - bursts[0].start, Ms(1001));

  Mechanism().SetThermistor(Thermistor::HeadL, kWarm);
  m_machine->RunFor(Ms(200));
  const size_t count = Drive().Bursts().size();
  EXPECT_FALSE(Drive().Bursting());
  m_machine->RunFor(Ms(2000));
  EXPECT_EQ(Drive().Bursts().size(), count) << "no run after the head is warm";
}

}  // namespace
