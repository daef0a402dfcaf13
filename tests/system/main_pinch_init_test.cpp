// The main pinch roller's start-up on the virtual cams: the EM3 roller,
// left by a power cut in the middle of a move (its "MainPinStatus" still
// holding the moving bit), is settled by the resume table or found from
// its sensors and driven up; the EM2 roller trusts "MainPin C" or its
// stored position.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "firmware/control/engine_variant.h"
#include "firmware/control/panel_test_rig.h"
#include "firmware/devices/machine_ports.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/settings.h"
#include "firmware/mechanism/main_pinch.h"
#include "firmware/sequences/main_pinch_init.h"
#include "firmware/sequences/mechanism_init.h"
#include "sim/mechanism/mechanism_inputs.h"
#include "tests/support/positioners.h"

namespace paneltest {
namespace {

using sim::EngineVariant;

// The resume rules written out: position, target -> assumed, request, unit.
struct Rule {
  uint32_t position, target;
  int32_t assumed, request, unit;
};
const std::vector<Rule> kRules = {
    {1, 2, 2, 1, 0}, {1, 3, 3, 1, 0}, {1, 4, 4, 1, 1}, {1, 5, 5, 1, 1}, {2, 1, 2, 1, 0}, {2, 3, 3, 2, 0},
    {3, 1, 3, 1, 0}, {3, 2, 3, 2, 0}, {4, 1, 4, 1, 1}, {4, 5, 5, 4, 1}, {5, 1, 5, 1, 1}, {5, 4, 5, 4, 1},
};

TEST(MainPinchResumeTable, HoldsTheTwelveRulesAndNothingElse) {
  for (uint32_t p = 0; p < 8; ++p) {
    for (uint32_t t = 0; t < 8; ++t) {
      MainPinchResumeRule expected{-1, -1, -1};
      for (const Rule& r : kRules) {
        if (r.position == p && r.target == t) expected = {r.assumed, r.request, r.unit};
      }
      const MainPinchResumeRule got = LookUpMainPinchResume(p, t);
      EXPECT_EQ(got.lAssumed, expected.lAssumed) << p << "," << t;
      EXPECT_EQ(got.lRequest, expected.lRequest) << p << "," << t;
      EXPECT_EQ(got.lUnit, expected.lUnit) << p << "," << t;
    }
  }
}

constexpr uint32_t kMoving = 0x40;
constexpr uint32_t Status(uint32_t position, uint32_t target, bool moving) {
  return position | (target << 3) | (moving ? kMoving : 0);
}

struct Physical {
  uint32_t request;
  uint32_t unit;
};
const Physical kUp{1, 0}, kHalfL{11, 0}, kDownL{10, 0}, kHalfR{11, 1}, kDownR{10, 1};

struct ResumeCase {
  const char* name;
  std::vector<Physical> place;  // moves that put the roller where the cut left it
  uint32_t stored;              // "MainPinStatus" as the cut left it
  bool paperAtPath;             // "PaperPath" sees paper
  uint32_t c, l;                // "MainPin C" and "MainPin L" at the end
  uint32_t position;            // the roller's position at the end
};

// Levels: up C 1 L 0; half C 1 L 1; down C 0.
const std::vector<ResumeCase> kResumeCases = {
    {"1 to 2 cut at 2: up", {kUp, kHalfL}, Status(1, 2, true), false, 1, 0, 1},
    {"1 to 5 cut at 5: up", {kUp, kDownR}, Status(1, 5, true), false, 1, 0, 1},
    {"2 to 3 cut at 3, paper: to 2", {kUp, kDownL}, Status(2, 3, true), true, 1, 1, 2},
    {"2 to 3 cut at 2, no paper: taken as 2, up", {kUp, kHalfL}, Status(2, 3, true), false, 1, 0, 1},
    {"5 to 4 cut at 5, paper: to 4", {kUp, kDownR}, Status(5, 4, true), true, 1, 1, 4},
    {"4 to 1 cut at 4: up", {kUp, kHalfR}, Status(4, 1, true), false, 1, 0, 1},
    // Without paper at the tops "Printpath Flag" 0 puts the paper on side R.
    {"no rule (4 to 2) at half R: found from the sensors, up", {kUp, kHalfR}, Status(4, 2, true), false, 1, 0, 1},
    {"target 6: position 0, the sensors decide, up", {kUp, kDownL}, Status(3, 6, true), false, 1, 0, 1},
    {"target 7 at half R: up", {kUp, kHalfR}, Status(4, 7, true), false, 1, 0, 1},
    {"settled at 3 matching: up", {kUp, kDownL}, Status(3, 3, false), false, 1, 0, 1},
    {"settled at 2 with paper: stays half", {kUp, kHalfL}, Status(2, 2, false), true, 1, 1, 2},
    {"stored 1 but down: invalid, found, up", {kUp, kDownR}, Status(1, 1, false), false, 1, 0, 1},
};

class MainPinchStartUp : public PanelTest, public ::testing::WithParamInterface<ResumeCase> {
 protected:
  void SetUp() override {}
  void BootVariant(EngineVariant variant) {
    BootPanel(positionertest::VariantOptions(variant));
    InApp([] {
      g_PortMotorEnable.Set();
      SelectEngineVariant();
    });
  }
  sim::MechanismInputs& Inputs() { return *m_machine->GetBoard().FindDevice<sim::MechanismInputs>(); }
};

uint32_t Level(CDigitalSensor& s) {
  uint32_t ulLevel = 9;
  s.Read(&ulLevel);
  return ulLevel;
}

TEST_P(MainPinchStartUp, SettlesTheCutMoveAndEndsWithoutError) {
  const ResumeCase& c = GetParam();
  BootVariant(EngineVariant::EM3);
  Inputs().SetPaperSeen(sim::PhotoSensor::TopL, false);
  Inputs().SetPaperSeen(sim::PhotoSensor::TopR, false);
  static int32_t s_lResult;
  static uint32_t s_ulPosition, s_ulC, s_ulL, s_ulStatus;
  const std::vector<Physical> place = c.place;
  const uint32_t stored = c.stored;
  InApp([&] {
    for (const Physical& p : place) g_pProllMain->MoveAndWait(p.request, p.unit);
    g_ParamMainPinStatus.SetValueNoSave(static_cast<int32_t>(stored));
    g_pProllMain->SetPositionNoSave(0);
  }, Ms(20000));
  Inputs().SetPaperSeen(sim::PhotoSensor::PaperPath, c.paperAtPath);
  InApp([] {
    s_lResult = InitMainPinchEM3(1, 1);
    g_pProllMain->GetPosition(&s_ulPosition);
    s_ulC = Level(g_SensorMainPinC);
    s_ulL = Level(g_SensorMainPinL);
    s_ulStatus = static_cast<uint32_t>(SettingValue(g_ParamMainPinStatus));
  }, Ms(20000));
  EXPECT_EQ(s_lResult, 0) << c.name;
  EXPECT_EQ(s_ulC, c.c) << c.name;
  EXPECT_EQ(s_ulL, c.l) << c.name;
  EXPECT_EQ(s_ulPosition, c.position) << c.name;
  EXPECT_EQ(s_ulStatus & kMoving, 0u) << c.name << ": settled";
}

INSTANTIATE_TEST_SUITE_P(Cases, MainPinchStartUp, ::testing::ValuesIn(kResumeCases));

}  // namespace
}  // namespace paneltest
