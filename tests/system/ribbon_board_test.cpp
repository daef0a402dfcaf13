// The ribbons of the virtual printer: the machine's options load each unit
// and set the drive mode, its fault switches hold from power-on, and the
// firmware's choppers and slits move and count them.
#include <gtest/gtest.h>

#include "firmware/devices/machine_actuators.h"
#include "firmware/devices/machine_ports.h"
#include "firmware/devices/slit.h"
#include "sim/mechanism/input_faults.h"
#include "sim/mechanism/ribbon_mechanism.h"
#include "tests/support/machine_test.h"

namespace {

using testsupport::Ms;

class RibbonBoard : public testsupport::MachineTest {
 protected:
  sim::RibbonMechanism& Ribbons() { return *m_machine->GetBoard().FindDevice<sim::RibbonMechanism>(); }
};

TEST_F(RibbonBoard, TheOptionsLoadEachUnitAndTheFirmwaresChoppersWindItToItsCore) {
  sim::MachineOptions options;
  options.ribbons[1].type = sim::RibbonType::Mark8x10;
  options.ribbons[1].supplyMm = 1000;
  options.ribbons[1].takeUpMm = 20;
  options.ribbonDriveMode = 1;
  Boot(std::move(options));
  m_machine->MechanismFaults().SetRibbonFault(sim::PrintUnit::L, sim::RibbonFault::NoRibbon, true);
  ASSERT_EQ(m_machine->RunUntil([this] { return m_machine->Logged("Main Loop ..."); }, testsupport::kStartUp + Ms(10000)),
            sim::RunResult::ConditionMet);
  EXPECT_EQ(Ribbons().Unit(sim::PrintUnit::L).Type(), sim::RibbonType::Color8x10K1);
  EXPECT_EQ(Ribbons().Unit(sim::PrintUnit::R).Type(), sim::RibbonType::Mark8x10);
  EXPECT_EQ(Ribbons().Unit(sim::PrintUnit::R).SupplyLength(), 1000);
  EXPECT_EQ(Ribbons().Unit(sim::PrintUnit::R).TakeUpLength(), 20);
  EXPECT_EQ(Ribbons().Unit(sim::PrintUnit::L).SupplyCount(), 0u) << "the boot moves no ribbon";

  // Unit R: in drive mode 1 the supply pays out forward while the take-up
  // winds; unit L, without a ribbon, spins its take-up spool only.
  ASSERT_TRUE(m_machine->RunStep(
      [] {
        g_PortMotorEnable.Set();
        for (CFpgaChopMotor* pMotor : {&g_ChopMotorRibSrcR, &g_ChopMotorRibDstR, &g_ChopMotorRibDstL}) {
          pMotor->SetDuty(100);
          pMotor->Forward();
        }
      },
      Ms(1000)));
  m_machine->RunFor(Ms(8000));
  const sim::RibbonTransport& r = Ribbons().Unit(sim::PrintUnit::R);
  EXPECT_TRUE(r.AtCore());
  EXPECT_NEAR(r.TakeUpLength(), 1020, 1e-6);
  EXPECT_EQ(Ribbons().Unit(sim::PrintUnit::L).SupplyCount(), 0u);
  EXPECT_GT(Ribbons().Unit(sim::PrintUnit::L).TakeUpCount(), 7u * 1800u) << "spinning at 2 turns a second";

  static uint32_t s_aulCounts[4];
  ASSERT_TRUE(m_machine->RunStep(
      [] {
        for (CFpgaChopMotor* pMotor : {&g_ChopMotorRibSrcR, &g_ChopMotorRibDstR, &g_ChopMotorRibDstL}) pMotor->Brake();
        g_SlitRibEncSrcL.ReadCount(&s_aulCounts[0]);
        g_SlitRibEncSrcR.ReadCount(&s_aulCounts[1]);
        g_SlitRibEncDstL.ReadCount(&s_aulCounts[2]);
        g_SlitRibEncDstR.ReadCount(&s_aulCounts[3]);
      },
      Ms(1000)));
  EXPECT_EQ(s_aulCounts[0], 0u);
  EXPECT_EQ(s_aulCounts[1], Ribbons().Unit(sim::PrintUnit::R).SupplyCount() & 0xFFFFu);
  EXPECT_EQ(s_aulCounts[2], Ribbons().Unit(sim::PrintUnit::L).TakeUpCount() & 0xFFFFu);
  EXPECT_EQ(s_aulCounts[3], Ribbons().Unit(sim::PrintUnit::R).TakeUpCount() & 0xFFFFu);
  EXPECT_GT(s_aulCounts[1], 100u);
}

}  // namespace
