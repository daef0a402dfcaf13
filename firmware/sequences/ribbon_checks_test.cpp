// The drive-mode measurement on quiet motors: whenever the supply motor
// starts, the test counts the case's pulses on its encoder at once, so the
// boundary of 59 counts in 500 ms is the case's; the mode words and
// "Ribbon Status" are set by each case.
#include <gtest/gtest.h>

#include <vector>

#include "firmware/control/engine_variant.h"
#include "firmware/control/error_manager.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/mechanism/ribbon_test_rig.h"
#include "firmware/sequences/ribbon_winding.h"
#include "sim/fpga/fpga_main_block.h"
#include "sim/mechanism/dc_mechanism.h"

namespace ribbontest {
namespace {

struct ModeCase {
  const char* name;
  uint32_t unit;
  uint32_t modeL, modeR;  // the words before
  int32_t ribbonStatus;
  uint32_t pulses;  // counted when the supply starts
  int32_t result;
  uint32_t modeA, modeL_after, modeR_after;
  uint32_t supplyRuns;
  bool mismatch;
};

const std::vector<ModeCase> kCases = {
    {"60 counts in 500 ms: mode 1", 0, 0, 0, 0, 60, 0, 1, 1, 0, 1, false},
    {"59 counts in 500 ms: mode 2", 0, 0, 0, 0, 59, 0, 2, 2, 0, 1, false},
    {"unit R measured into its own word", 1, 0, 0, 0, 60, 0, 1, 0, 1, 1, false},
    {"a known mode does not move the motor", 0, 2, 0, 0, 60, 0, 2, 2, 0, 0, false},
    {"two known modes that differ", 1, 2, 0, 0, 60, -1, 0, 2, 1, 1, true},
    {"Ribbon Status 2 does not compare", 1, 2, 0, 2, 60, 0, 1, 2, 1, 1, false},
    {"Ribbon Status 3 does not compare", 1, 2, 0, 3, 60, 0, 1, 2, 1, 1, false},
};

class DriveModes : public QuietRibbon, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(DriveModes, AreMeasuredOnceAndCompared) {
  const ModeCase& c = GetParam();
  static const ModeCase* s_case;
  static uint32_t s_ulRuns, s_ulMismatch, s_ulModeA, s_ulModeB, s_ulModeC;
  static int32_t s_lResult;
  static bool s_bRunning;
  s_case = &c;
  s_ulRuns = 0;
  s_bRunning = false;
  sim::FpgaMainBlock& fpga = Fpga();
  sim::DcMechanism::ObserveActuatorOutputs(fpga, [&fpga](uint32_t offset, uint16_t value) {
    if (offset != 0x34) return;
    const bool bRunning = ((value & 0x4) != 0) != ((value & 0x8) != 0);
    if (bRunning && !s_bRunning) {
      if (s_case->pulses != 0) fpga.CountPulses(kSupplyCounter, s_case->pulses);
      ++s_ulRuns;
    }
    s_bRunning = bRunning;
  });
  InApp([] {
    const ModeCase& k = *s_case;
    g_ulEngModeB = k.modeL;
    g_ulEngModeC = k.modeR;
    g_ParamRibbonStatus.SetValueNoSave(k.ribbonStatus);
    s_lResult = DetectRibbonDriveMode(k.unit, 0);
    s_ulModeA = g_ulEngModeA;
    s_ulModeB = g_ulEngModeB;
    s_ulModeC = g_ulEngModeC;
    g_ErrorMng.IsErrorSet(kErrRibbonDriveModes, &s_ulMismatch);
    g_ErrorMng.ClearError(kErrRibbonDriveModes);
    g_ParamRibbonStatus.SetValueNoSave(0);
  }, Ms(5000));
  EXPECT_EQ(s_lResult, c.result) << c.name;
  EXPECT_EQ(s_ulModeA, c.modeA) << c.name;
  EXPECT_EQ(s_ulModeB, c.modeL_after) << c.name;
  EXPECT_EQ(s_ulModeC, c.modeR_after) << c.name;
  EXPECT_EQ(s_ulRuns, c.supplyRuns) << c.name;
  EXPECT_EQ(s_ulMismatch != 0, c.mismatch) << c.name;
  EXPECT_FALSE(((QuietLines() & 0x4) != 0) != ((QuietLines() & 0x8) != 0)) << c.name << ": supply stopped";
  EXPECT_FALSE(ClutchOn()) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Cases, DriveModes, ::testing::ValuesIn(kCases));

}  // namespace
}  // namespace ribbontest
