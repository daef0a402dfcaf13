// The print support on a running printer with the sample TABLE: the head
// fans against the fan and thermistor models by ambient band and setting,
// the sub stepper's ramps from the TABLE line period and the roll, the
// start-up's line-speed ramps, and the re-positioning for a repeat.
#include <gtest/gtest.h>

#include "firmware/control/host_status_table.h"
#include "firmware/devices/fan.h"
#include "firmware/devices/paper_position.h"
#include "firmware/devices/ramps.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/printengine/print_line.h"
#include "firmware/printengine/print_sequence_support.h"
#include "firmware/printengine/print_support.h"
#include "firmware/printengine/roll_diameter.h"
#include "firmware/service/log_data.h"
#include "tests/support/paper_web.h"

namespace {

using paperwebtest::PaperWebPrinter;
using testsupport::Ms;

uint32_t TopRate(const CRampTable& ramp) {
  uint32_t ulRate = 0;
  ramp.GetTopRate(&ulRate);
  return ulRate;
}

class PrintSupportOnTheWeb : public PaperWebPrinter {
 protected:
  void SetUp() override { BootOnTheWeb(sim::EngineVariant::EM3); }
};

struct FanCase {
  const char* name;
  uint16_t ambient;  // reading >> 2
  uint16_t head;     // reading >> 2
  int32_t fanOn, fanOff;
  uint32_t other;
  uint32_t before, after;
};

TEST_F(PrintSupportOnTheWeb, HeadFansSwitchBeyondTheLevelsOfTheAmbientBand) {
  const FanCase cases[] = {
      // Ambient 142: on below 89, off above 104.
      {"142 below on", 142, 88, -1, -1, 0, FAN_OFF, FAN_ON},
      {"142 at on", 142, 89, -1, -1, 0, FAN_OFF, FAN_OFF},
      {"142 between", 142, 100, -1, -1, 0, FAN_ON, FAN_ON},
      {"142 above off", 142, 105, -1, -1, 0, FAN_ON, FAN_OFF},
      // 143: 88/103; 176 and above: 57/61.
      {"143 at on", 143, 88, -1, -1, 0, FAN_OFF, FAN_OFF},
      {"143 below on", 143, 87, -1, -1, 0, FAN_OFF, FAN_ON},
      {"143 above off", 143, 104, -1, -1, 0, FAN_ON, FAN_OFF},
      {"176 below on", 176, 56, -1, -1, 0, FAN_OFF, FAN_ON},
      {"200 above off", 200, 62, -1, -1, 0, FAN_ON, FAN_OFF},
      {"200 at off", 200, 61, -1, -1, 0, FAN_ON, FAN_ON},
      // The settings replace the table at every temperature.
      {"Fan On 120", 142, 110, 120, -1, 0, FAN_OFF, FAN_OFF},
      {"Fan On 120, Fan Off 130", 142, 110, 120, 130, 0, FAN_OFF, FAN_ON},
      {"Fan Off 50", 142, 60, -1, 50, 0, FAN_ON, FAN_OFF},
      // A crossed pair: the off test runs last.
      {"crossed", 142, 80, 100, 70, 0, FAN_OFF, FAN_OFF},
      // The other unit's fans and thermistor.
      {"other unit", 142, 88, -1, -1, 1, FAN_OFF, FAN_ON},
  };
  for (const FanCase& c : cases) {
    SCOPED_TRACE(c.name);
    Inputs().SetThermistor(sim::Thermistor::Ambient, static_cast<uint16_t>(c.ambient * 4 + 1));
    const uint16_t usHead = static_cast<uint16_t>(c.head * 4 + 1);
    // The head of the unit asked for reads the case; the other one
    // stays between any two levels.
    Inputs().SetThermistor(c.other == 0 ? sim::Thermistor::HeadL : sim::Thermistor::HeadR, usHead);
    Inputs().SetThermistor(c.other == 0 ? sim::Thermistor::HeadR : sim::Thermistor::HeadL, 4 * 95);
    uint32_t ulHead = 9, ulSide = 9, ulOtherHead = 9;
    InLoop([&] {
      SelectUnit(0);
      g_ParamFanOn.SetValueNoSave(c.fanOn);
      g_ParamFanOff.SetValueNoSave(c.fanOff);
      CFanCnt& head = c.other == 0 ? g_FanHeadL : g_FanHeadR;
      CFanCnt& side = c.other == 0 ? g_FanSideL : g_FanSideR;
      CFanCnt& otherHead = c.other == 0 ? g_FanHeadR : g_FanHeadL;
      for (CFanCnt* pFan : {&head, &side}) {
        if (c.before == FAN_ON) {
          pFan->On();
        } else {
          pFan->Off();
        }
      }
      otherHead.Off();
      EXPECT_EQ(HeadFanControl(c.other), 0);
      head.GetState(&ulHead);
      side.GetState(&ulSide);
      otherHead.GetState(&ulOtherHead);
      g_ParamFanOn.SetValueNoSave(-1);
      g_ParamFanOff.SetValueNoSave(-1);
    });
    EXPECT_EQ(ulHead, c.after);
    EXPECT_EQ(ulSide, c.after);
    EXPECT_EQ(ulOtherHead, FAN_OFF) << "the other unit untouched";
  }
}

TEST_F(PrintSupportOnTheWeb, SubStepperRampsFollowTheLinePeriodAndTheRoll) {
  struct Case {
    uint32_t plane;
    double diameter;
    const CRampTable* ramp;
    uint32_t rate;
  };
  // Line period 2000 us: 42.33 mm/s, on a roll of 150 mm 2251 sub-stepper
  // pulses a second; the overcoat 15/10 of it, the fraction dropped.
  const Case cases[] = {
      {0, 150.0, &g_Ramp33, 2251}, {1, 150.0, &g_Ramp34, 2251}, {2, 150.0, &g_Ramp35, 2251},
      {3, 150.0, &g_Ramp36, 3376}, {4, 150.0, &g_Ramp37, 2251}, {0, 177.0, &g_Ramp33, 1907},
      {3, 177.0, &g_Ramp36, 2860},
      // Plane code 7 names TABLE value 7, which holds 0: no speed, the ramp
      // as the case before left it.
      {7, 177.0, &g_Ramp33, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.plane);
    uint32_t ulRate = 0, ulTop = 0, ulLog = 0;
    InLoop([&] {
      g_RollDiameter.SetDiameter(c.diameter);
      ulRate = BuildSubStepperRamp(c.plane);
      ulTop = TopRate(*c.ramp);
      ulLog = g_ulLogData[5];
    });
    EXPECT_EQ(ulRate, c.rate);
    EXPECT_EQ(ulTop, c.rate != 0 ? c.rate : 1907u);
    EXPECT_EQ(ulLog, static_cast<uint32_t>(c.diameter * 10));
  }
}

TEST_F(PrintSupportOnTheWeb, TheSubStepperFollowsThePlanesMainRamp) {
  InLoop([] {
    const CRampTable* const sources[6] = {&g_Ramp00, &g_Ramp01, &g_Ramp02, &g_Ramp03, &g_Ramp04, &g_Ramp00};
    const CRampTable* const targets[6] = {&g_Ramp33, &g_Ramp34, &g_Ramp35, &g_Ramp36, &g_Ramp37, &g_Ramp33};
    for (uint32_t ulPlane = 0; ulPlane < 6; ++ulPlane) {
      // Each plane's main ramp at its own rate, so the target shows its source.
      const_cast<CRampTable*>(sources[ulPlane])->SetupByRate(500, 1000 + 100 * ulPlane, 200);
      const uint32_t ulRate = FollowMainStepperRamp(ulPlane);
      const uint32_t ulSourceRate = ulPlane < 5 ? 1000 + 100 * ulPlane : 1500;
      EXPECT_NEAR(ulRate, ulSourceRate * 449 / 1000, 1) << ulPlane;
      EXPECT_EQ(TopRate(*targets[ulPlane]), ulRate) << ulPlane;
    }
  });
}

TEST_F(PrintSupportOnTheWeb, TheStartUpBuildsTheLineSpeedRamps) {
  uint32_t aulRates[4] = {};
  InLoop([&] {
    const CRampTable* ramps[4] = {&g_Ramp38, &g_Ramp39, &g_Ramp40, &g_Ramp41};
    for (uint32_t i = 0; i < 4; ++i) aulRates[i] = TopRate(*ramps[i]);
  });
  // From g_Ramp21, 27, 17 and 19 ("FeedRollDiam" 0: K 449): top x 449 / 1000.
  const uint32_t kSources[4] = {4395, 3809, 5860, 8791};
  for (uint32_t i = 0; i < 4; ++i) EXPECT_NEAR(aulRates[i], kSources[i] * 449 / 1000, 1) << i;
}

TEST_F(PrintSupportOnTheWeb, RepositionForARepeatBringsThePaperToThePositionSensor) {
  InLoop([] { g_PaperPosition.SetCurrentPoint(PAPER_AT_POSITION_SENSOR + 500); });
  const double front = Web().Front();
  EXPECT_EQ(Run([] { return RepositionForRepeat(SEQ_CHECK_COVERS); }), 0);
  EXPECT_NEAR(Web().Front(), front - 500, 0.5);
  EXPECT_EQ(GetStatusItem(SI_PRINTER_STATE), 0x61u);
}

}  // namespace
