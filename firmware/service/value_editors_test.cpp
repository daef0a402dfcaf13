// The two-part editor on "DensityLm" and its one-digit minor: the steps of
// each key, the wraps at both ends, storing and leaving.
#include "firmware/service/value_editors.h"

#include <vector>

#include "firmware/devices/settings.h"
#include "firmware/service/service_screen_rig.h"

namespace servicescreens {
namespace {

class ParamPair : public ServiceScreenTest {
 protected:
  void StartEditor(int32_t lMajor, int32_t lMinor) {
    InApp([=] {
      g_ParamDensityLmL.SetValueNoSave(lMajor);
      g_ParamDensityLmMinorL.SetValueNoSave(lMinor);
    });
    Launch([] { EditParamPair(&g_ParamDensityLmL, &g_ParamDensityLmMinorL); });
  }
  static std::string Shown(const char* value) { return std::string("DensityLm  ") + value; }
};

struct Step {
  PanelKey key;
  const char* value;  // columns 11-15 afterwards
};

TEST_F(ParamPair, KeysStepWithinMinToMaxPointZeroAndWrap) {
  struct Case {
    const char* what;
    int32_t lMajor, lMinor;
    std::vector<Step> steps;
  };
  const Case cases[] = {
      {"fine up over the top", 254, 9, {{PanelKey::Inc, "255.0"}, {PanelKey::Inc, "  0.0"}}},
      {"coarse down from the bottom", 0, 0, {{PanelKey::Feed, "255.0"}, {PanelKey::Feed, "254.0"}}},
      {"coarse up resets the minor below the top", 254, 5, {{PanelKey::Menu, "255.0"}, {PanelKey::Menu, "  0.0"}}},
      {"coarse up keeps the minor lower down", 17, 3, {{PanelKey::Menu, " 18.3"}}},
      {"fine down borrows from the major", 3, 0, {{PanelKey::Dec, "  2.9"}, {PanelKey::Dec, "  2.8"}}},
      {"fine down from the bottom", 0, 0, {{PanelKey::Dec, "255.0"}}},
      {"coarse down at major min drops the minor", 0, 7, {{PanelKey::Feed, "  0.0"}, {PanelKey::Feed, "255.0"}}},
      // A stored minor above the top: the next step up still wraps to
      // min.0, never 256.0, which the setting could not hold.
      {"fine up from above the top", 255, 9, {{PanelKey::Inc, "  0.0"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    StartEditor(c.lMajor, c.lMinor);
    m_machine->RunFor(Ms(100));
    for (const Step& step : c.steps) TapExpect(step.key, Shown(step.value));
    Tap(PanelKey::Clear);
    ASSERT_TRUE(RunToDone(Ms(500)));
  }
}

TEST_F(ParamPair, EnterStoresBothAndStaysOnlyClearLeaves) {
  StartEditor(254, 9);
  TapExpect(PanelKey::Inc, Shown("255.0"));
  Tap(PanelKey::Enter);
  EXPECT_TRUE(RunUntilShown(Shown("255.0"), Ms(1000)));
  EXPECT_TRUE(WasShownSinceLaunch("                ")) << "the line blanks while storing";
  EXPECT_FALSE(Done());
  EXPECT_EQ(Value(g_ParamDensityLmL), 255);
  EXPECT_EQ(Value(g_ParamDensityLmMinorL), 0);
  TapExpect(PanelKey::Dec, Shown("254.9"));
  Tap(PanelKey::Clear);
  ASSERT_TRUE(RunToDone(Ms(500)));
  EXPECT_EQ(Value(g_ParamDensityLmL), 255) << "leaving stores nothing";
  EXPECT_EQ(Value(g_ParamDensityLmMinorL), 0);
}

}  // namespace
}  // namespace servicescreens
