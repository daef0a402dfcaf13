// The print support on a running printer with the sample TABLE: the head
// fans against the fan and thermistor models by ambient band and setting,
// the sub stepper's ramps from the TABLE line period and the roll, the
// start-up's line-speed ramps, and the re-positioning for a repeat.
#include <gtest/gtest.h>

#include <vector>

#include "firmware/control/error_manager.h"
#include "firmware/control/head_preheat.h"
#include "firmware/control/host_status_table.h"
#include "firmware/control/line_steps.h"
#include "firmware/devices/fan.h"
#include "firmware/devices/paper_position.h"
#include "firmware/devices/ramps.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/mechanism/donor_mng.h"
#include "firmware/mechanism/main_pinch.h"
#include "firmware/mechanism/paper_moves.h"
#include "firmware/mechanism/positioner.h"
#include "firmware/mechanism/ribbon_roll.h"
#include "firmware/mechanism/roll_encoder_checks.h"
#include "firmware/mechanism/simple_positioners.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/printengine/plane_sequencer.h"
#include "firmware/printengine/print_line.h"
#include "firmware/printengine/print_sequence_support.h"
#include "firmware/printengine/print_support.h"
#include "firmware/printengine/roll_diameter.h"
#include "firmware/service/log_data.h"
#include "sim/mechanism/input_faults.h"
#include "sim/mechanism/mechanism_trace.h"
#include "tests/support/paper_web.h"
#include "tools/images/table_image.h"

namespace {

using paperwebtest::PaperWebPrinter;
using sim::PaperWeb;
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

// The sample TABLE's take-up duty tables: each print plane's own table by
// the spool's millimetres past the take-up base, clamped to its last row;
// the supply side none.
TEST_F(PrintSupportOnTheWeb, TheSampleTableGivesEachPlaneItsTakeUpDutyByDiameter) {
  struct Case {
    uint32_t plane, supply, diameter;
    uint32_t row;  // the expected table row, or kNone
  };
  constexpr uint32_t kNone = 0xFFFFFFFFu;
  static_assert(images::kSampleDutyBaseMm[0] == 30, "the rows below are diameters less 30 mm");
  const Case cases[] = {
      {0, 0, 40, 10}, {1, 0, 40, 10}, {2, 0, 41, 11}, {3, 0, 45, 15},
      {0, 0, 20, 0},  {2, 0, 200, images::kSampleDutyRows - 1}, {0, 1, 40, kNone},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "plane " << c.plane << " supply " << c.supply << " " << c.diameter << " mm");
    uint32_t ulDuty = 0, ulIndex = 0;
    InLoop([&] {
      ulIndex = g_PrintLine.GetTableIndex(c.plane);
      ulDuty = g_pDonorMng->GetTableDuty(c.supply, c.plane, c.diameter);
    });
    EXPECT_EQ(ulDuty, c.row == kNone ? 0u : images::SampleTakeUpDuty(ulIndex, c.row));
    if (c.row != kNone) {
      EXPECT_NE(ulDuty, 0u);
    }
  }
}

TEST_F(PrintSupportOnTheWeb, RepositionForARepeatBringsThePaperToThePositionSensor) {
  InLoop([] { g_PaperPosition.SetCurrentPoint(PAPER_AT_POSITION_SENSOR + 500); });
  const double front = Web().Front();
  EXPECT_EQ(Run([] { return RepositionForRepeat(SEQ_CHECK_COVERS); }), 0);
  EXPECT_NEAR(Web().Front(), front - 500, 0.5);
  EXPECT_EQ(GetStatusItem(SI_PRINTER_STATE), 0x61u);
}

TEST_F(PrintSupportOnTheWeb, AfterARollEndTheRepeatRepositioningUsesTheLoadPinch) {
  InLoop([] {
    g_PaperPosition.SetCurrentPoint(PAPER_AT_POSITION_SENSOR + 500);
    g_ulRollEndDetected = 1;
  });
  const double front = Web().Front();
  const sim::Nanos from = m_machine->Now();
  EXPECT_EQ(Run([] { return RepositionForRepeat(SEQ_CHECK_COVERS); }), 0);
  InLoop([] { g_ulRollEndDetected = 0; });
  EXPECT_NEAR(Web().Front(), front - 500, 0.5);
  std::vector<int32_t> clutch;
  for (const sim::MechanismEvent& e : Mechanism().Trace().Events()) {
    if (e.at >= from && e.name == "ClutchLoad") clutch.push_back(e.value);
  }
  EXPECT_EQ(clutch, (std::vector<int32_t>{1, 0})) << "the load clutch on for the move only";
}

// The back-feed after a pass: the plane sequencer's steps from the paper
// as the case leaves it; the other unit's head pre-heats meanwhile.
struct AfterPassCase {
  const char* name;
  int32_t behindSensor;  // lines the paper stands short of the position sensor
  bool fits;             // the counter placed so that the feed ends within the window
  bool jammed;
  int32_t result;
};

TEST_F(PrintSupportOnTheWeb, ABackFeedAfterAPassThatDoesNotFitMustReachThePositionSensor) {
  const AfterPassCase cases[] = {
      {"fits: no sensor check", 0, true, false, 0},
      {"does not fit: the sensor reached", 200, false, false, 0},
      {"does not fit, the paper stuck: upper jam 67", 200, false, true, -1},
  };
  for (const AfterPassCase& c : cases) {
    SCOPED_TRACE(c.name);
    InLoop([] { g_ErrorMng.ClearError(0x1543); });
    if (c.behindSensor != 0) {
      ASSERT_EQ(Run([&] { return MovePaperBy(-c.behindSensor, 1, 1, 14, 20, SEQ_CHECK_COVERS); }), 0);
    }
    uint32_t ulLines = 0;
    InLoop([&] {
      uint32_t ulPlane = 0, ulReturn = 0;
      g_PlaneSequencer.GetNextPlaneSteps(&ulPlane);
      g_PlaneSequencer.GetPaperReturnSteps(36, &ulReturn);
      ulLines = StepsToLines(ulPlane + ulReturn);
      const uint32_t ulWay = c.fits ? ulLines - SENSOR_WINDOW_MARGIN_LINES : static_cast<uint32_t>(c.behindSensor);
      g_PaperPosition.SetCurrentPoint(PAPER_AT_POSITION_SENSOR - ulWay);
      SelectUnit(0);
    });
    ASSERT_GT(ulLines, 200u + SENSOR_WINDOW_MARGIN_LINES) << "a feed beyond the sensor's window";
    Inputs().SetThermistor(sim::Thermistor::HeadR, 800);  // cold: it needs heat
    WebDevice().SetFault(sim::WebFault::PaperJammed, c.jammed);
    const double front = Web().Front();
    bool bDone = false, bOtherHeated = false;
    int32_t lResult = 9;
    uint32_t ulFits = 9;
    m_machine->AtNextPass([&] {
      lResult = BackFeedAfterPass(&ulFits, SEQ_CHECK_COVERS);
      bDone = true;
    });
    m_machine->RunUntil([&] {
      bOtherHeated = bOtherHeated || g_PreheatR.GetState() != CHeadPreheat::IDLE;
      return bDone;
    }, Ms(60000));
    WebDevice().SetFault(sim::WebFault::PaperJammed, false);
    ASSERT_TRUE(bDone);
    EXPECT_EQ(lResult, c.result);
    EXPECT_EQ(ulFits, c.fits ? 1u : 0u);
    EXPECT_EQ(IsErrorRaised(0x1543), c.jammed);
    EXPECT_TRUE(bOtherHeated) << "unit R's head heated during the feed";
    EXPECT_EQ(g_PreheatL.GetState(), CHeadPreheat::IDLE);
    EXPECT_EQ(g_PreheatR.GetState(), CHeadPreheat::IDLE);
    if (!c.jammed) {
      EXPECT_NEAR(Web().Front() - front, ulLines, 1.0);
    }
    // Back where the next case starts: at the position sensor.
    InLoop([] { g_PaperPosition.SetCurrentPoint(static_cast<uint32_t>(PAPER_AT_POSITION_SENSOR)); });
    ASSERT_EQ(Run([&] {
      return MovePaperBy(static_cast<int32_t>(PaperWeb::kPosition - Web().Front()), 1, 1, 14, 20, SEQ_CHECK_COVERS);
    }), 0);
  }
}

TEST_F(PrintSupportOnTheWeb, TheMarkRibbonWindsThePlanesDummyLinesBeyond66AsSupplyCounts) {
  uint32_t ulCounts = 0, ulBefore = 0, ulAfter = 0;
  int32_t lResult = 9;
  ASSERT_TRUE(InLoop([&] {
    PrintSizeRecord size = g_PrintSize8x12;
    size.aulFrontDummyLines[PLANE_M] = 66 + 400;
    // A roll whose diameters give this many supply counts a print.
    g_pRibbonRoll->SetCountScale0(1000);
    g_pRibbonRoll->LengthToCount(RIBBON_SIDE_SUPPLY, 400, &ulCounts);
    g_pCurSlitRibEncSrc->ReadCount(&ulBefore);
    lResult = WindMarkRibbonToPanel(size, PLANE_M, SEQ_CHECK_COVERS);
    g_pCurSlitRibEncSrc->ReadCount(&ulAfter);
  }, Ms(60000)));
  EXPECT_EQ(lResult, 0);
  ASSERT_GT(ulCounts, 0u);
  EXPECT_GE(ulAfter - ulBefore, ulCounts) << "the encoder starts from cleared";
}

// The head first, the two pinches after time 1, all standing after time
// 2, then the ribbon tightened (the head up, the supply free to turn); a
// tighten that fails is -1, except for kind 8: the failed tighten reports
// the empty ribbon.
struct RepositionCase {
  const char* name;
  bool ribbonCut;
  uint32_t kind;
  int32_t result;
};

TEST_F(PrintSupportOnTheWeb, RepositioningTheHeadAndPinchesMovesThePinchesAfterTheHeadThenTightens) {
  const RepositionCase cases[] = {
      {"tightened", false, 0, 0},
      {"the tighten fails", true, 0, -1},
      {"the tighten fails, kind 8: the empty ribbon tolerated", true, 8, 0},
  };
  for (const RepositionCase& c : cases) {
    SCOPED_TRACE(c.name);
    m_machine->MechanismFaults().SetRibbonFault(sim::PrintUnit::L, sim::RibbonFault::Cut, c.ribbonCut);
    ASSERT_TRUE(InLoop([] {
      SelectUnit(0);
      g_ErrorMng.ClearError(g_ulCurErrRibbonEmpty);
      g_HeadLiftL.MoveDownAndWait();
      g_EjectPinch.MoveUpAndWait();
      g_pProllMain->MoveUpAndWait();
    }));
    const sim::Nanos since = m_machine->Now();
    int32_t lResult = 9;
    uint32_t ulHead = 0, ulEject = 0, ulMain = 0;
    sim::Nanos started = 0, moved = 0;
    ASSERT_TRUE(InLoop([&] {
      started = sim::Board::Current().Clock().Now();
      lResult = RepositionHeadAndPinches(HEAD_POS_UP, EJECT_PINCH_FDOWN, 10, c.kind, 150, 600, SEQ_CHECK_COVERS);
      moved = sim::Board::Current().Clock().Now();
      g_HeadLiftL.GetPosition(&ulHead);
      g_EjectPinch.GetPosition(&ulEject);
      g_pProllMain->GetPosition(&ulMain);
    }, Ms(60000)));
    EXPECT_EQ(lResult, c.result);
    EXPECT_EQ(IsErrorRaised(0x1603), c.ribbonCut);
    EXPECT_EQ(ulHead, HEAD_POS_UP);
    EXPECT_EQ(ulEject, EJECT_PINCH_FDOWN);
    EXPECT_EQ(ulMain, PINCH_DOWN_L);
    EXPECT_GE(moved - started, Ms(600));
    sim::Nanos head = 0, eject = 0;
    for (const sim::MechanismEvent& e : Mechanism().Trace().Events()) {
      if (e.at < since || e.kind != sim::MechanismEventKind::Motor || e.drive == sim::DriveState::Stop) continue;
      if (head == 0 && e.name == "DcMotorHeadL") head = e.at;
      if (eject == 0 && e.name == "DcMotorEjectPinch") eject = e.at;
    }
    ASSERT_NE(head, 0u);
    ASSERT_NE(eject, 0u);
    EXPECT_LT(head - started, Ms(5));
    EXPECT_GE(eject - started, Ms(149)) << "the pinches after time 1";
  }
  m_machine->MechanismFaults().SetRibbonFault(sim::PrintUnit::L, sim::RibbonFault::Cut, false);
}

}  // namespace
