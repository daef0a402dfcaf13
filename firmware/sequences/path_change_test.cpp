// The path preparation and the path change with their moves recorded: the
// decision by slots (the turn table cell by cell), the way past the path's
// split by engine version, the CIS branch, the feed limits of both engine
// variants, the failures (g_ulPathChanged, both pre-heats, the jam codes of
// a change from L to R) and the event action without a job. The sensors,
// settings, unit switch, clutches and the path selector's position are the
// virtual board's; every paper feed and positioner move is the recorder's.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "firmware/control/control_test_rig.h"
#include "firmware/control/head_preheat.h"
#include "firmware/control/error_table.h"
#include "firmware/devices/machine_ports.h"
#include "firmware/devices/panel_ports.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/settings.h"
#include "firmware/platform/head_drive.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/mechanism/path_select.h"
#include "firmware/mechanism/roll_encoder_checks.h"
#include "firmware/printengine/job_queue_test_support.h"
#include "firmware/printengine/print_conditioning.h"
#include "firmware/printengine/print_support.h"
#include "firmware/sequences/event_actions.h"
#include "firmware/sequences/mecha_stop_table.h"
#include "firmware/sequences/path_change.h"
#include "firmware/sequences/path_moves.h"
#include "firmware/sequences/path_preparation.h"
#include "sim/mechanism/mechanism_inputs.h"

namespace controltest {
namespace {

// ---- the recorder ----
std::vector<std::string> g_moves;
// The first recorded move that starts with this text fails: it raises its
// error index (a feed's) and returns -1.
std::string g_failing;
// The CIS edges the roll-encoder check reports: paper edge, image edge.
uint32_t g_aulEdges[2][2] = {{80, 150}, {82, 170}};
uint32_t g_ulEdgeReads;

const char* SensorName(const CAnalogSensor* p) {
  if (p == &g_AdTopL) return "Top L";
  if (p == &g_AdTopR) return "Top R";
  if (p == &g_AdPaperPath) return "PaperPath";
  if (p == &g_AdPaperEmpty) return "PaperEmpty";
  if (p == &g_AdPosition) return "Position";
  return "?";
}

int32_t Record(std::string move, uint32_t ulErrorIndex = 0) {
  g_moves.push_back(move);
  if (g_failing.empty() || move.rfind(g_failing, 0) != 0) return 0;
  g_failing.clear();
  if (ulErrorIndex != 0) g_ErrorMng.SetError(ulErrorIndex);
  return -1;
}

std::string Feed(const char* name, CAnalogSensor* p, uint32_t ulDir, uint32_t ulTarget, uint32_t ulLimit,
                 uint32_t ulError, uint32_t ulMask) {
  char sz[160];
  std::snprintf(sz, sizeof sz, "%s %s dir %u to %u limit %u jam %04X mask %X", name, SensorName(p), ulDir,
                ulTarget, ulLimit, ulError, ulMask);
  return sz;
}

std::string Named(const char* name, uint32_t ulArg) { return std::string(name) + " " + std::to_string(ulArg); }

constexpr PathMoves kRecorder = {
    [](CAnalogSensor* p, uint32_t d, uint32_t t, uint32_t l, uint32_t e, uint32_t, uint32_t, uint32_t m) {
      return Record(Feed("FeedToSensor", p, d, t, l, e, m), e);
    },
    [](CAnalogSensor* p, uint32_t d, uint32_t t, uint32_t l, uint32_t e, uint32_t, uint32_t, uint32_t m) {
      return Record(Feed("FeedToSensorCoarse", p, d, t, l, e, m), e);
    },
    [](CAnalogSensor* p, uint32_t d, uint32_t, uint32_t t, uint32_t l, uint32_t e, uint32_t, uint32_t, uint32_t m) {
      return Record(Feed("FeedUntilSensor", p, d, t, l, e, m), e);
    },
    [](CAnalogSensor* p, uint32_t d, uint32_t t, uint32_t l, uint32_t e, uint32_t, uint32_t m) {
      return Record(Feed("FeedToSensorRollLimited", p, d, t, l, e, m), e);
    },
    [](int32_t l, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {
      return Record(Named("MovePaperBy", static_cast<uint32_t>(l)));
    },
    [](uint32_t ulLine, int32_t lOffset, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {
      return Record(Named("MovePaperTo", ulLine + static_cast<uint32_t>(lOffset)));
    },
    [](uint32_t ulLine, int32_t lOffset, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {
      return Record(Named("MovePaperToEx", ulLine + static_cast<uint32_t>(lOffset)));
    },
    [](uint32_t* pulEnd, uint32_t ulMode, uint32_t* pulPaper, uint32_t* pulImage, int32_t* plError, uint32_t) {
      *pulEnd = 0;
      if (plError != nullptr) *plError = 0;
      if (ulMode == ROLL_CHECK_PAPER_IMAGE_EDGE) {
        const uint32_t i = g_ulEdgeReads++ % 2;
        *pulPaper = g_aulEdges[i][0];
        *pulImage = g_aulEdges[i][1];
      }
      return Record(Named("RollEncoderFeedCheck", ulMode));
    },
    [](uint32_t p, uint32_t) { return Record(Named("MoveRotationLock", p)); },
    [](uint32_t p, uint32_t) { return Record(Named("MoveEjectPinch", p)); },
    [](uint32_t p, uint32_t) { return Record(Named("MoveMainPinch", p)); },
    [](uint32_t p, uint32_t) { return Record(Named("MoveFeedPinch", p)); },
    [](uint32_t p, uint32_t) { return Record(Named("MoveLoadPinch", p)); },
    [](uint32_t p, uint32_t) { return Record(Named("MovePathSelect", p)); },
    [](uint32_t p, uint32_t) { return Record(Named("TurnPaperRoll", p)); },
    [](uint32_t, uint32_t, uint32_t) { return Record("TakeUpRibbonSlack"); },
    [](uint32_t, uint32_t) { return Record("PreheatWait"); },
};

bool Has(const std::string& prefix) {
  for (const std::string& m : g_moves) {
    if (m.rfind(prefix, 0) == 0) return true;
  }
  return false;
}

std::string Moves() {
  std::string s;
  for (const std::string& m : g_moves) s += "\n  " + m;
  return s;
}

// The slots as the carousel and the path selector give them.
struct SlotSetup {
  int32_t lRotation;
  uint32_t ulPathPosition;
};
constexpr SlotSetup kSlotSetups[5] = {{0, 0}, {2, 3}, {3, 3}, {3, 4}, {2, 4}};

class PathChange : public ControlTest {
 protected:
  void SetUp() override {
    ControlTest::SetUp();
    g_moves.clear();
    g_failing.clear();
    g_ulEdgeReads = 0;
    g_pPathMoves = &kRecorder;
    InApp([] {
      g_PortMotorEnable.Set();
      g_PortPhotoSenLed1.Set();
      g_PortPhotoSenLed2.Set();
    });
  }
  void TearDown() override {
    g_pPathMoves = &g_PathMovesReal;
    ControlTest::TearDown();
  }
  // The sequences wait and write settings on their way: jobs get time.
  void InApp(std::function<void()> job, sim::Nanos limit = Ms(20000)) { ControlTest::InApp(std::move(job), limit); }
  sim::MechanismInputs& Inputs() { return *m_machine->GetBoard().FindDevice<sim::MechanismInputs>(); }
  // Engine version and the settings the change reads, applied as at start-up.
  void Configure(int32_t lVersion, int32_t lCisSw = 0, int32_t lConfigMode = 0) {
    InApp([=] {
      g_ParamEngineVersion.SetValueNoSave(lVersion);
      g_ParamCisSW.SetValueNoSave(lCisSw);
      g_ParamConfigMode.SetValueNoSave(lConfigMode);
      SelectEngineVariant();
    });
  }
  // The current slot: "Rotation Flag" and the path selector moved there.
  void StandAt(uint32_t ulSlot) {
    const SlotSetup& setup = kSlotSetups[ulSlot];
    InApp(
        [&setup] {
          g_ParamRotationFlag.SetValueNoSave(setup.lRotation);
          uint32_t ulPosition = 0;
          g_PathSelect.GetPosition(&ulPosition);
          if (ulPosition != setup.ulPathPosition) {
            ASSERT_EQ(g_PathSelect.MoveAndWait(setup.ulPathPosition), 0);
          }
        },
        Ms(20000));
  }
  void PaperAtTop(bool bSeen) {
    Inputs().SetPaperSeen(sim::PhotoSensor::TopL, bSeen);
    Inputs().SetPaperSeen(sim::PhotoSensor::TopR, bSeen);
  }
};

// ---- the decision ----

TEST_F(PathChange, EveryCellOfTheTurnTableTurnsTheCarouselOrMovesThePathSelectorAlone) {
  struct Target {
    uint32_t side, unit, slot;
  };
  const Target targets[] = {{1, 1, 1}, {2, 1, 2}, {1, 2, 3}, {2, 2, 4}};
  // By [target][current], written out.
  const bool turns[5][5] = {{}, {0, 0, 1, 1, 0}, {0, 1, 0, 0, 1}, {0, 1, 0, 0, 1}, {0, 0, 1, 1, 0}};
  Configure(5);
  PaperAtTop(false);
  for (uint32_t ulCurrent = 1; ulCurrent <= 4; ++ulCurrent) {
    StandAt(ulCurrent);
    for (const Target& t : targets) {
      const std::string name = "target " + std::to_string(t.slot) + " from " + std::to_string(ulCurrent);
      g_moves.clear();
      int32_t lResult = 9;
      uint32_t ulChanged = 9, ulUnit = 9;
      InApp([&] {
        lResult = DecidePathChange(t.side, t.unit, 1, &ulChanged, 3);
        ulUnit = GetCurrentUnit();
      });
      EXPECT_EQ(lResult, 0) << name;
      EXPECT_EQ(ulUnit, t.unit - 1) << name;
      EXPECT_EQ(PathTurnNeeded(t.slot, ulCurrent), turns[t.slot][ulCurrent] ? 1u : 0u) << name;
      if (t.slot == ulCurrent) {
        EXPECT_EQ(ulChanged, 0u) << name;
        EXPECT_TRUE(g_moves.empty()) << name << Moves();
        continue;
      }
      EXPECT_EQ(ulChanged, 1u) << name;
      EXPECT_EQ(Has("TurnPaperRoll"), turns[t.slot][ulCurrent]) << name << Moves();
      EXPECT_EQ(Has("FeedToSensor PaperPath"), !turns[t.slot][ulCurrent]) << name << Moves();
      EXPECT_TRUE(Has(t.unit == 2 ? "MovePathSelect 4" : "MovePathSelect 3")) << name << Moves();
    }
  }
}

TEST_F(PathChange, ASideOrUnitOutsideTheRangeOrNoCurrentSlotFailsWithoutMoving) {
  struct Case {
    const char* name;
    uint32_t side, unit, slot;
  };
  const Case cases[] = {
      {"side 0", 0, 1, 1}, {"side 3", 3, 2, 1}, {"unit 0", 1, 0, 1},
      {"unit 3", 2, 3, 1}, {"no rotation", 1, 2, 0},
  };
  Configure(5);
  for (const Case& c : cases) {
    StandAt(c.slot == 0 ? 1 : c.slot);
    g_moves.clear();
    int32_t lResult = 9;
    uint32_t ulChanged = 9;
    InApp([&] {
      if (c.slot == 0) g_ParamRotationFlag.SetValueNoSave(0);
      lResult = DecidePathChange(c.side, c.unit, 0, &ulChanged, 3);
    });
    EXPECT_EQ(lResult, -1) << c.name;
    EXPECT_EQ(ulChanged, 1u) << c.name;
    EXPECT_TRUE(g_moves.empty()) << c.name << Moves();
  }
}

// ---- the way past the split and the feed limits ----

TEST_F(PathChange, TheWayPastTheSplitFollowsTheEngineVersionAndTheTurn) {
  struct Case {
    int32_t version;
    uint32_t turn;
    uint32_t idle;
    bool paperPath;
    uint32_t newTopLimit;
  };
  const Case cases[] = {
      {1, 0, 0, false, 7879}, {1, 1, 0, false, 7879}, {1, 0, 1, false, 7879}, {1, 1, 1, false, 7879},
      {2, 0, 0, true, 4942},  {2, 1, 0, false, 7879}, {5, 0, 1, true, 4942},  {5, 1, 1, false, 7879},
  };
  PaperAtTop(false);
  for (const Case& c : cases) {
    const std::string name = "version " + std::to_string(c.version) + " turn " + std::to_string(c.turn) +
                             (c.idle != 0 ? " idle" : " printing");
    Configure(c.version);
    g_moves.clear();
    int32_t lResult = 9;
    InApp([&] {
      lResult = c.idle != 0 ? ChangePathIdleSequence(c.turn, 1, 3) : ChangePathSequence(c.turn, 1, 1, 3);
    });
    EXPECT_EQ(lResult, 0) << name << Moves();
    EXPECT_EQ(Has("FeedToSensor PaperPath dir 1 to 0 limit 2265 jam 1539"), c.paperPath) << name << Moves();
    EXPECT_EQ(Has("FeedToSensor PaperEmpty dir 1 to 0 limit 3611 jam 1534"), !c.paperPath) << name << Moves();
    EXPECT_EQ(Has("FeedToSensor PaperEmpty dir 0 to 1 limit 3611 jam 1535"), !c.paperPath) << name << Moves();
    const std::string newTop = "FeedToSensor Top R dir 0 to 1 limit " + std::to_string(c.newTopLimit) + " jam 1536";
    EXPECT_TRUE(Has(newTop)) << name << Moves();
    // The print-time change unlocks and locks around the turn itself.
    EXPECT_EQ(Has("MoveRotationLock 3"), c.turn == 1 && c.idle == 0) << name << Moves();
    EXPECT_EQ(Has("TurnPaperRoll"), c.turn == 1) << name << Moves();
  }
}

// The order of the moves at the top sensor: a feed's name and sensor, a
// positioner move with its argument.
std::string TopSensorOrder() {
  std::string order;
  for (const std::string& m : g_moves) {
    for (const char* p : {"MoveMainPinch", "MoveFeedPinch", "FeedToSensor Top", "TakeUpRibbonSlack"}) {
      if (m.rfind(p, 0) != 0) continue;
      const size_t ulDir = m.find(" dir");
      order += (order.empty() ? "" : "|") + m.substr(0, ulDir);
    }
  }
  return order;
}

// The slot a job's first row goes to, from its first copy's assignment.
uint32_t FirstRowSlot(const PrintJobRecord* pJob) {
  uint32_t ulFirstSide = 0, ulUnitA = 0, ulUnitB = 0, ulSlot = 0, ulUnitIndex = 0;
  g_PrintJobQueue.GetCopyAssignment(pJob, 1, &ulFirstSide, &ulUnitA, &ulUnitB);
  PathTargetSlot(ulFirstSide, ulFirstSide == 1 ? ulUnitA : ulUnitB, &ulSlot, &ulUnitIndex);
  return ulSlot;
}

// The slot of the other unit in the same carousel orientation.
constexpr uint32_t kOtherUnitSlot[5] = {0, 4, 3, 2, 1};

TEST_F(PathChange, ThePreparationFeedsToTheTopSensorAndToPositionWithinTheVariantsLimits) {
  struct Case {
    int32_t version;
    const char* top;
    const char* position;
    const char* order;
  };
  // The job's side B prints on unit R, where the paper stands already.
  const Case cases[] = {
      {1, "FeedToSensor Top R dir 1 to 0 limit 1178 jam 15A0", "FeedToSensor Position dir 0 to 1 limit 659 jam 15A1",
       "MoveMainPinch 10|MoveFeedPinch 1|FeedToSensor Top R|MoveFeedPinch 10|TakeUpRibbonSlack"},
      {5, "FeedToSensor Top R dir 0 to 1 limit 273 jam 15A0", "FeedToSensor Position dir 0 to 1 limit 1870 jam 15A1",
       "MoveMainPinch 10|FeedToSensor Top R|MoveFeedPinch 10|TakeUpRibbonSlack"},
  };
  for (const Case& c : cases) {
    Configure(c.version);
    PrintJobRecord* pJob = nullptr;
    InApp([&] { pJob = jobtest::MakeInternalJob(1, 1); });
    ASSERT_NE(pJob, nullptr);
    ASSERT_EQ(FirstRowSlot(pJob), 4u);
    StandAt(4);
    g_moves.clear();
    int32_t lResult = 9;
    InApp([&] { lResult = g_pfnPreparePath(3); });
    EXPECT_EQ(lResult, 0) << c.version << Moves();
    EXPECT_TRUE(Has(c.top)) << c.version << Moves();
    EXPECT_TRUE(Has(c.position)) << c.version << Moves();
    EXPECT_TRUE(Has("MovePaperToEx 67033")) << c.version << Moves();
    EXPECT_EQ(TopSensorOrder(), c.order) << c.version;
    EXPECT_EQ(g_ulPathPrepared, 1u);
    EXPECT_EQ(g_ulPreheatWaited, 1u);
    EXPECT_EQ(pJob->ucPrinting, 1u);
    InApp([] {
      // A job not printing leaves the queue at once.
      g_PrintJobQueue.ClearPrintingFlags();
      g_PrintJobQueue.CancelJobs(0, 0);
      g_ulPathPrepared = 0;
    });
  }
}

// ---- the CIS calibration on the way back ----

TEST_F(PathChange, TheCisOffsetIsMeasuredOnlyInTheConfigurationModeWithUnitRCurrentWhilePrinting) {
  struct Case {
    const char* name;
    int32_t cisSw, configMode;
    uint32_t unit, kind;
    bool measured;
  };
  const Case cases[] = {
      {"both on, unit R, printing", 1, 1, 1, 1, true},
      {"Cis SW off", 0, 1, 1, 1, false},
      {"Config Mode off", 1, 0, 1, 1, false},
      {"unit L current", 1, 1, 0, 1, false},
      {"from the auto-diagnosis", 1, 1, 1, 2, false},
  };
  PaperAtTop(true);
  for (const Case& c : cases) {
    Configure(5, c.cisSw, c.configMode);
    g_moves.clear();
    int32_t lResult = 9;
    InApp([&] {
      g_ParamCisOffsetR.SetValueNoSave(0);
      SelectUnit(c.unit);
      lResult = ChangePathSequence(0, 1 - c.unit, c.kind, 3);
    });
    EXPECT_EQ(lResult, 0) << c.name << Moves();
    EXPECT_EQ(Has("MovePaperBy 2631"), c.measured) << c.name << Moves();
    EXPECT_EQ(Has("RollEncoderFeedCheck 2"), c.measured) << c.name << Moves();
    EXPECT_EQ(Has("FeedToSensorCoarse Top R dir 1 to 0 limit 2751 jam 1579"), c.measured) << c.name << Moves();
    // Backed out past the top sensor first in every case.
    const std::string back = std::string("FeedToSensorCoarse ") + (c.unit == 1 ? "Top R" : "Top L") +
                             " dir 1 to 0 limit 8471 jam " + (c.unit == 1 ? "1597" : "1533");
    EXPECT_TRUE(Has(back)) << c.name << Moves();
    // Logged once for the one measuring case, with the offset the head's
    // point of the paper edge gave.
    EXPECT_EQ(SettingValue(g_ParamCisOffsetR) != 0, c.measured) << c.name;
  }
}

// ---- failures ----

TEST_F(PathChange, AFailedPrintTimeChangeStillReportsTheChangeAndStopsBothPreheats) {
  m_machine->GetBoard().FindDevice<sim::MechanismInputs>()->SetThermistor(sim::Thermistor::Ambient, 500);
  m_machine->GetBoard().FindDevice<sim::MechanismInputs>()->SetThermistor(sim::Thermistor::HeadL, 800);
  m_machine->GetBoard().FindDevice<sim::MechanismInputs>()->SetThermistor(sim::Thermistor::HeadR, 800);
  Configure(5);
  PaperAtTop(false);
  struct Case {
    const char* failing;  // "" none
    int32_t result;
    uint32_t heating;  // the other head's pre-heat state at the end
  };
  const Case cases[] = {
      {"", 0, CHeadPreheat::HEATING},
      {"FeedToSensor Top R", -1, CHeadPreheat::IDLE},
      {"MovePathSelect", -1, CHeadPreheat::IDLE},
  };
  StandAt(1);
  PrintJobRecord* pJob = nullptr;
  InApp([&] {
    g_HeadDrive.Init();
    pJob = jobtest::MakeInternalJob(1, 0);  // two sides: the first row is not the last
    g_PrintJobQueue.BuildPrintOrder(pJob, 1, 1, 2);
  });
  ASSERT_NE(pJob, nullptr);
  for (const Case& c : cases) {
    g_moves.clear();
    g_failing = c.failing;
    int32_t lResult = 9;
    uint32_t ulState = 9;
    InApp([&] {
      g_ulPathChanged = 0;
      g_ulRepeatState = 0;
      SelectUnit(0);
      uint32_t ulChanged = 0;
      lResult = DecidePathChange(2, 2, 0, &ulChanged, 3);
      ulState = g_PreheatR.GetState();
      EXPECT_EQ(ulChanged, 1u);
    }, Ms(5000));
    EXPECT_EQ(lResult, c.result) << c.failing << Moves();
    EXPECT_EQ(ulState, c.heating) << c.failing;
    EXPECT_EQ(g_ulPathChanged, 1u) << c.failing;
    EXPECT_EQ(g_ulRepeatState, 1u) << c.failing;
    EXPECT_EQ(g_PreheatL.GetState(), static_cast<uint32_t>(CHeadPreheat::IDLE)) << c.failing;
    InApp([] { g_PreheatR.Stop(); });
  }
}

TEST_F(PathChange, APreparationWithoutAJobMovesNothingRunsTheFailureHandlingAndClearsItsEvent) {
  uint32_t ulStops = 0;
  int32_t lResult = 0;
  InApp([&] {
    g_pCurEventMng->SetEvent(EV_PREPARE_JOB);
    const uint32_t ulBefore = g_ulMechaStopCount;
    lResult = PreparePathAction();
    ulStops = g_ulMechaStopCount - ulBefore;
  }, Ms(60000));
  EXPECT_NE(lResult, 0);
  EXPECT_GE(ulStops, 1u);
  EXPECT_FALSE(IsEventPending(EV_PREPARE_JOB));
  EXPECT_TRUE(g_moves.empty()) << Moves();
}

// The LCD line of an error index: its text with the code's two digits.
std::string ErrorLine(uint32_t ulIndex, uint32_t* pulCode) {
  for (const ErrorInfo& row : g_ErrorTable) {
    if (row.ulIndex != ulIndex) continue;
    *pulCode = row.ulCode;
    return std::string(row.pszText).substr(0, 14) + row.pszSuffix;
  }
  return "";
}

TEST_F(PathChange, AJamOnTheWayFromLToRLeavesTheJobQueuedToBePreparedAgain) {
  struct Case {
    const char* failing;
    uint32_t index;
    const char* line;
    uint32_t code;
  };
  const Case cases[] = {
      {"FeedToSensorRollLimited Top L", 0x1538, "Upper L Jam   56", 0x0538},
      {"FeedToSensor PaperPath", 0x1539, "Lower Jam     57", 0x0539},
      {"FeedToSensor Top R", 0x1536, "Lower Jam     54", 0x0536},
      {"FeedToSensor Position", 0x15A1, "Upper R Jam   61", 0x05A1},
  };
  Configure(5);
  for (const Case& c : cases) {
    PrintJobRecord* pJob = nullptr;
    InApp([&] {
      g_ErrorMng.ClearError(c.index);
      pJob = jobtest::MakeInternalJob(1, 1);
    });
    ASSERT_NE(pJob, nullptr);
    ASSERT_EQ(FirstRowSlot(pJob), 4u);
    StandAt(kOtherUnitSlot[4]);
    PaperAtTop(true);
    g_moves.clear();
    g_failing = c.failing;
    int32_t lResult = 0;
    InApp([&] {
      SelectUnit(0);
      g_pCurEventMng->SetEvent(EV_PREPARE_JOB);
      lResult = PreparePathAction();
    }, Ms(60000));
    EXPECT_NE(lResult, 0) << c.failing << Moves();
    EXPECT_TRUE(g_failing.empty()) << c.failing << " was not reached" << Moves();
    EXPECT_TRUE(IsErrorSet(c.index)) << c.failing;
    uint32_t ulCode = 0;
    EXPECT_EQ(ErrorLine(c.index, &ulCode), c.line);
    EXPECT_EQ(ulCode, c.code);
    EXPECT_EQ(jobtest::ActiveJobs(), 1u) << c.failing;
    EXPECT_EQ(pJob->ucPrinting, 0u) << c.failing;
    EXPECT_FALSE(IsEventPending(EV_PREPARE_JOB));
    InApp([&] {
      g_PrintJobQueue.CancelJobs(0, 0);
      g_ErrorMng.ClearError(c.index);
    });
  }
}

}  // namespace
}  // namespace controltest
