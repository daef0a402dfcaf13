// The panel's key test: the six prompts, the tags of missed keys and the
// timing of each prompt.
#include <vector>

#include "firmware/service/service_menus.h"
#include "firmware/service/service_screen_rig.h"

namespace servicescreens {
namespace {

constexpr PanelKey kPromptKeys[6] = {PanelKey::Inc,   PanelKey::Dec,  PanelKey::Menu,
                                     PanelKey::Enter, PanelKey::Feed, PanelKey::Clear};
constexpr const char* kPrompts[6] = {"Press + Key     ", "Press - Key     ", "Press Menu Key  ",
                                     "Press Enter Key ", "Press AdvanceKey", "Press Clear Key "};

class KeyCheck : public ServiceScreenTest {};

TEST_F(KeyCheck, EachMissedKeyIsNamedByItsTagFromColumnFour) {
  struct Case {
    const char* what;
    std::vector<bool> pressed;  // per prompt
    const char* result;
    int32_t lResult;
  };
  const Case cases[] = {
      {"all six keys", {true, true, true, true, true, true}, "Key OK !        ", 0},
      {"only Enter missed", {true, true, true, false, true, true}, "Err:En          ", -1},
      {"+ and Enter missed", {false, true, true, false, true, true}, "Err:+ En        ", -1},
      {"only Clear missed", {true, true, true, true, true, false}, "Err:Cl          ", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    static int32_t s_lResult;
    Launch([] { s_lResult = CheckKeyTest(); });
    for (uint32_t i = 0; i < 6; ++i) {
      ASSERT_TRUE(RunUntilShown(kPrompts[i], Ms(3500)));
      if (c.pressed[i]) Tap(kPromptKeys[i]);
    }
    ASSERT_TRUE(RunUntilShown(c.result, Ms(3500))) << Lcd().Visible();
    ASSERT_TRUE(RunToDone(Ms(3100)));
    EXPECT_EQ(s_lResult, c.lResult);
  }
}

TEST_F(KeyCheck, NoKeyAtAllTakesEveryPromptsFullTimeAndNamesAllSix) {
  static int32_t s_lResult;
  Launch([] { s_lResult = CheckKeyTest(); });
  ASSERT_TRUE(RunUntilShown("Err:+ - MeEnAdCl", Ms(19000)));
  const uint64_t ulResultAt = SinceLaunchMs();
  EXPECT_GE(ulResultAt, 6u * 3000u);
  EXPECT_LT(ulResultAt, 6u * 3000u + 1000u) << "a prompt lasts 3000 ms and a key poll";
  ASSERT_TRUE(RunToDone(Ms(3100)));
  EXPECT_EQ(s_lResult, -1);
  EXPECT_GE(SinceLaunchMs(), 7u * 3000u) << "the result stays 3000 ms";
}

TEST_F(KeyCheck, AWrongKeyRestartsThePromptsWait) {
  static int32_t s_lResult;
  Launch([] { s_lResult = CheckKeyTest(); });
  ASSERT_TRUE(RunUntilShown(kPrompts[0]));
  m_machine->RunFor(Ms(2000));
  Tap(PanelKey::Enter);  // wrong: a new 3000 ms wait begins
  m_machine->RunFor(Ms(2000));
  EXPECT_EQ(Lcd().Visible(), kPrompts[0]) << "the prompt would have ended 3000 ms after it was shown";
  Tap(PanelKey::Inc);
  ASSERT_TRUE(RunUntilShown(kPrompts[1], Ms(500)));
  for (uint32_t i = 1; i < 6; ++i) {
    ASSERT_TRUE(RunUntilShown(kPrompts[i], Ms(3500)));
    Tap(kPromptKeys[i]);
  }
  ASSERT_TRUE(RunUntilShown("Key OK !        ", Ms(1000)));
  ASSERT_TRUE(RunToDone(Ms(3100)));
  EXPECT_EQ(s_lResult, 0);
}

}  // namespace
}  // namespace servicescreens
