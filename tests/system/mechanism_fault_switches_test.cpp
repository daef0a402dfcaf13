// Fault switches of the board against the whole printer: a failed 24 V
// motor supply during the home run, and two units whose ribbon drives
// differ. Each ends in its error on the panel and in the host's status,
// with every motor of the case at rest.
#include <gtest/gtest.h>

#include <string>

#include "firmware/control/engine_variant.h"
#include "firmware/control/error_manager.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/sequences/ribbon_winding.h"
#include "sim/mechanism/dc_mechanism.h"
#include "sim/mechanism/input_faults.h"
#include "tests/support/ribbon.h"

namespace {

using ribbontest::Ms;
using sim::PrintUnit;

class FaultSwitches : public ribbontest::RibbonPrinter {
 protected:
  bool RunUntilLine(const std::string& line, sim::Nanos limit) {
    m_machine->RunUntil([&] { return Lcd().Visible() == line; }, limit);
    return Lcd().Visible() == line;
  }
};

TEST_F(FaultSwitches, WithoutTheMotorSupplyEveryMoveOfTheHomeRunTimesOut) {
  BootNewPrinter();
  m_machine->MechanismFaults().SetMotorSupplyFailed(true);
  const int32_t lHeadL = Mechanism().Position(sim::Axis::HeadL);
  ASSERT_TRUE(RunUntilLine("Mecha Error   24", testsupport::kSettleToReady + Ms(60000)))
      << Lcd().Visible() << " at " << m_machine->Now() / sim::kNsPerMs << " ms";
  EXPECT_FALSE(Mechanism().SupplyOn()) << "\"24Vol\" reads 0";
  // A new printer's heads and pinch rollers already stand where the run
  // wants them; the eject pinch's move to FDown is the first that must
  // move, and the lowest index raised shows.
  EXPECT_TRUE(IsErrorRaised(0x218));
  EXPECT_TRUE(IsErrorRaised(0x21F)) << "the rotation lock's release timed out as well";
  EXPECT_EQ(Mechanism().Position(sim::Axis::HeadL), lHeadL) << "nothing moved";
  ASSERT_TRUE(m_machine->UsbHost().WaitForConfigured(Ms(5000)));
  const protocol::ReplyHeader h = Status();
  EXPECT_EQ(h.errorClass, 0x02);
  EXPECT_EQ(h.errorDetail, 0x18);
}

TEST_F(FaultSwitches, DriveModesThatDifferStopBothUnitsWithASensorError) {
  sim::MachineOptions options;
  options.ribbons[1].driveMode = 1;
  BootReady(std::move(options));
  static int32_t s_lResults[2];
  static uint32_t s_ulModes[3];
  ASSERT_TRUE(InLoop([] {
    g_ulEngModeB = 0;
    g_ulEngModeC = 0;
    for (uint32_t ulUnit = 0; ulUnit < 2; ++ulUnit) {
      SelectUnit(ulUnit);
      s_lResults[ulUnit] = DetectRibbonDriveMode(ulUnit, SEQ_CHECK_COVERS);
    }
    SelectUnit(0);
    s_ulModes[0] = g_ulEngModeA;
    s_ulModes[1] = g_ulEngModeB;
    s_ulModes[2] = g_ulEngModeC;
  }));
  EXPECT_EQ(s_lResults[0], 0);
  EXPECT_EQ(s_lResults[1], -1);
  EXPECT_EQ(s_ulModes[0], 0u) << "mode A unknown";
  EXPECT_EQ(s_ulModes[1], 2u);
  EXPECT_EQ(s_ulModes[2], 1u);
  ASSERT_TRUE(RunUntilLine("Sensor Error  61", Ms(3000)));
  const protocol::ReplyHeader h = Status();
  EXPECT_EQ(h.errorClass, 0x03);
  EXPECT_EQ(h.errorDetail, 0x3D);
  for (PrintUnit unit : {PrintUnit::L, PrintUnit::R}) {
    EXPECT_EQ(Ribbon(unit).Motion(), 0u);
    EXPECT_FALSE(Ribbon(unit).Inputs().bClutch);
  }
}

}  // namespace
