// Head-voltage tuning on the board's supply model: which objects of a list
// are measured and which copy a setting, a failure part-way, the refusals
// of the tuning screen and its confirmation.
#include "firmware/service/thv_tuning_menus.h"

#include <algorithm>
#include <array>
#include <vector>

#include "firmware/control/app_startup.h"
#include "firmware/control/error_manager.h"
#include "firmware/devices/settings.h"
#include "firmware/printengine/thv_control.h"
#include "firmware/service/service_menus.h"
#include "firmware/service/service_screen_rig.h"
#include "sim/mechanism/head_supply.h"

namespace servicescreens {
namespace {

// A starting value away from where any tuning ends.
constexpr int32_t kUntuned = 700;
constexpr std::array<uint16_t, 7> kDistinctPowers = {1000, 1100, 1200, 1300, 1400, 1500, 1600};

// The THV settings of a unit, in list order (Y, M, C, OP, MATTE, SP, PHEAT).
std::array<CParameter*, 7> SettingsOf(CThvCnt* const* ppList) {
  std::array<CParameter*, 7> settings{};
  for (uint32_t i = 0; i < 7; ++i) ppList[i]->GetThvSetting(&settings[i]);
  return settings;
}

class ThvTuning : public ServiceScreenTest {
 protected:
  void SetUp() override {
    ServiceScreenTest::SetUp();
    InApp([] {
      g_usHeadResistanceL = 4000;
      g_usHeadResistanceR = 4000;
      for (CThvCnt* const* pp : {g_ThvTableL, g_ThvTableR}) {
        for (CParameter* p : SettingsOf(pp)) p->SetValueNoSave(kUntuned);
      }
    });
  }
  sim::HeadSupply& Supply() { return *m_machine->GetBoard().FindDevice<sim::HeadSupply>(); }
  void SetPowers(CThvCnt* const* ppList, const std::array<uint16_t, 7>& powers) {
    InApp([&] {
      for (uint32_t i = 0; i < 7; ++i) ppList[i]->SetPower(powers[i]);
    });
  }
  std::array<int32_t, 7> Values(CThvCnt* const* ppList) const {
    std::array<int32_t, 7> values{};
    const auto settings = SettingsOf(ppList);
    for (uint32_t i = 0; i < 7; ++i) values[i] = Value(*settings[i]);
    return values;
  }
  // Runs until the job has ended, noting the list positions whose setting
  // changed, in the order they changed; `onChange` sees each change.
  std::vector<uint32_t> RunNotingChanges(CThvCnt* const* ppList, sim::Nanos limit,
                                         const std::function<void(uint32_t)>& onChange = nullptr) {
    std::vector<uint32_t> order;
    std::array<int32_t, 7> last = Values(ppList);
    m_machine->RunUntil(
        [&] {
          const auto now = Values(ppList);
          for (uint32_t i = 0; i < 7; ++i) {
            if (now[i] == last[i]) continue;
            order.push_back(i);
            if (onChange) onChange(i);
          }
          last = now;
          return Done();
        },
        limit);
    return order;
  }
  uint32_t TuningsShown() const {
    const auto screens = ScreensSinceLaunch();
    return static_cast<uint32_t>(std::count(screens.begin(), screens.end(), "Tuning...       "));
  }
};

TEST_F(ThvTuning, ObjectsSharingAPowerAreMeasuredOnceByTheFirstInListOrder) {
  struct Case {
    const char* what;
    std::array<uint16_t, 7> powers;
    std::vector<uint32_t> measured;  // list positions, in order
  };
  const Case cases[] = {
      {"all equal", {1350, 1350, 1350, 1350, 1350, 1350, 1350}, {0}},
      {"all different", kDistinctPowers, {0, 1, 2, 3, 4, 5, 6}},
      {"C shares M's power", {1000, 1200, 1200, 1300, 1400, 1500, 1600}, {0, 1, 3, 4, 5, 6}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetPowers(g_ThvTableL, c.powers);
    InApp([] {
      for (CParameter* p : SettingsOf(g_ThvTableL)) p->SetValueNoSave(kUntuned);
    });
    static int32_t s_lResult;
    Launch([] { s_lResult = AutoTuneThvList(g_ThvTableL, 4000); });
    RunNotingChanges(g_ThvTableL, Ms(120000));
    ASSERT_TRUE(Done());
    EXPECT_EQ(s_lResult, 0);
    EXPECT_EQ(TuningsShown(), c.measured.size());
    const auto values = Values(g_ThvTableL);
    for (uint32_t i = 0; i < 7; ++i) {
      EXPECT_NE(values[i], kUntuned) << "position " << i;
      // An object that was not measured holds the setting of the first
      // object with its power.
      const uint32_t first = static_cast<uint32_t>(
          std::find(c.powers.begin(), c.powers.end(), c.powers[i]) - c.powers.begin());
      EXPECT_EQ(values[i], values[first]) << "position " << i;
    }
  }
}

TEST_F(ThvTuning, AllDifferentPowersAreTunedOneAfterTheOtherInListOrder) {
  SetPowers(g_ThvTableL, kDistinctPowers);
  static int32_t s_lResult;
  Launch([] { s_lResult = AutoTuneThvList(g_ThvTableL, 4000); });
  const std::vector<uint32_t> order = RunNotingChanges(g_ThvTableL, Ms(120000));
  ASSERT_TRUE(Done());
  EXPECT_EQ(s_lResult, 0);
  EXPECT_EQ(order, (std::vector<uint32_t>{0, 1, 2, 3, 4, 5, 6}));
}

// Y tuned, then the supply stops following its step: M's tuning fails at
// its bound. PHEAT shares Y's power and took Y's setting at once.
TEST_F(ThvTuning, AFailureAtMKeepsYsTuningAndItsCopyAndLeavesTheRestAndUnitRAlone) {
  SetPowers(g_ThvTableL, {1000, 1100, 1200, 1300, 1400, 1500, 1000});
  static int32_t s_lResult;
  Launch([] { s_lResult = AutoTuneThvScreen(); });
  ASSERT_TRUE(RunUntilShown("Tuning ?        "));
  Tap(PanelKey::Enter);
  RunNotingChanges(g_ThvTableL, Ms(120000), [this](uint32_t i) {
    if (i == 0) Supply().SetIgnoresStep(true);
  });
  ASSERT_TRUE(Done());
  EXPECT_EQ(s_lResult, -1);
  EXPECT_EQ(Lcd().Visible(), "Auto Tuning NG  ");
  const auto values = Values(g_ThvTableL);
  EXPECT_NE(values[0], kUntuned);
  EXPECT_EQ(values[6], values[0]) << "PHEAT copied Y";
  for (uint32_t i = 1; i < 6; ++i) EXPECT_EQ(values[i], kUntuned) << "position " << i;
  for (int32_t v : Values(g_ThvTableR)) EXPECT_EQ(v, kUntuned) << "unit R is not tuned after unit L failed";
  Supply().SetIgnoresStep(false);
}

TEST_F(ThvTuning, TheScreenRefusesOrIsDeclinedWithoutTuning) {
  struct Case {
    const char* what;
    uint32_t ulError;      // raised before; 0 none
    bool bAnswerClear;     // "Tuning ?" answered with Clear
    const char* first;     // the first message, or null
    const char* last;      // the text at the end
    uint32_t ulMinMs;      // the screen's least duration
    int32_t lResult;
  };
  const Case cases[] = {
      {"head resistance R invalid", 0x121, false, nullptr, "Auto Tuning NG  ", 3000, -1},
      {"TABLE powers out of range", 0x122, false, nullptr, "Auto Tuning NG  ", 3000, -1},
      {"front cover open", 0x607, false, "Front Cover Open", "Auto Tuning NG  ", 6000, -1},
      {"declined", 0, true, "Tuning ?        ", "Tuning ?        ", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.ulError != 0) InApp([&] { g_ErrorMng.SetError(c.ulError); });
    static int32_t s_lResult;
    Launch([] { s_lResult = AutoTuneThvScreen(); });
    if (c.bAnswerClear) {
      ASSERT_TRUE(RunUntilShown("Tuning ?        "));
      Tap(PanelKey::Clear);
    }
    ASSERT_TRUE(RunToDone(Ms(8000)));
    EXPECT_EQ(s_lResult, c.lResult);
    EXPECT_EQ(Lcd().Visible(), c.last);
    EXPECT_GE(SinceLaunchMs(), c.ulMinMs);
    const auto screens = ScreensSinceLaunch();
    ASSERT_FALSE(screens.empty());
    if (c.first != nullptr) {
      EXPECT_EQ(screens.front(), c.first);
    }
    EXPECT_FALSE(WasShownSinceLaunch("Tuning...       ")) << "nothing was tuned";
    EXPECT_FALSE(WasShownSinceLaunch("Auto Tuning OK  "));
    if (c.ulError == 0x121 || c.ulError == 0x122) {
      EXPECT_EQ(screens.front(), "Auto Tuning NG  ") << "at once";
    }
    for (int32_t v : Values(g_ThvTableL)) EXPECT_EQ(v, kUntuned);
    if (c.ulError != 0) InApp([&] { g_ErrorMng.ClearError(c.ulError); });
  }
}

}  // namespace
}  // namespace servicescreens
