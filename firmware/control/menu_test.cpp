// The menu engine driven by key presses on the panel, and the number text.
#include "firmware/control/menu.h"

#include <climits>

#include "firmware/control/keys.h"
#include "firmware/control/panel_test_rig.h"
#include "firmware/devices/main_loop_stop.h"

namespace paneltest {
namespace {

struct DecimalCase {
  int32_t value;
  uint32_t fill;
  const char* text;
};

TEST(FormatDecimal, WritesTenRightAlignedCharacters) {
  for (const DecimalCase& c : {DecimalCase{1234, 0, "      1234"}, DecimalCase{1234, 1, "0000001234"},
                               DecimalCase{0, 0, "         0"}, DecimalCase{7, 1, "0000000007"},
                               DecimalCase{-1, 0, "        -1"}, DecimalCase{-5, 0, "        -5"},
                               DecimalCase{-999999999, 0, "-999999999"}, DecimalCase{-42, 1, "-000000042"},
                               DecimalCase{INT_MAX, 0, "2147483647"}, DecimalCase{-1000000000, 0, "----------"},
                               DecimalCase{INT_MIN, 1, "----------"}}) {
    FormatDecimal(c.value, c.fill);
    EXPECT_STREQ(g_pcNumberText, c.text) << c.value << " fill " << c.fill;
  }
  FormatHex(0x1234ABCDu);
  EXPECT_STREQ(g_pcNumberText, "  1234ABCD");
}

// Menu records of the tests.
uint32_t g_ulEntered;
void Item1() { g_ulEntered = 1; }
void Item2() { g_ulEntered = 2; }
void Item3() { g_ulEntered = 3; }
void Title() { g_ulEntered = 100; }
const char* const kPlainLabels[] = {nullptr, "Item one        ", "Item two        ", "Item three      ", nullptr};
const MenuHandler kPlainHandlers[] = {SelectFirstMenuItem, Item1, Item2, Item3};
const MenuDesc kPlain = {kPlainLabels, kPlainHandlers};
const char* const kTitledLabels[] = {"Title           ", "Item one        ", "Item two        ", nullptr};
const MenuHandler kTitledHandlers[] = {Title, Item1, Item2};
const MenuDesc kTitled = {kTitledLabels, kTitledHandlers};
const char* const kEmptyLabels[] = {nullptr, nullptr};
const MenuHandler kEmptyHandlers[] = {SelectFirstMenuItem};
const MenuDesc kEmpty = {kEmptyLabels, kEmptyHandlers};

class Menus : public PanelTest {
 protected:
  void Press(PanelKey key, const char* expected) {
    // After a report the keys must be seen up once before the next press. A
    // key is taken after 50 ms held and reported on a release 50 ms later:
    // each tap holds it well past both.
    Keys().Tap(key, Ms(200), Ms(60));
    EXPECT_TRUE(RunUntilShown(expected)) << "shown: |" << Lcd().Visible() << "|";
  }
  void Leave() {
    Keys().Tap(PanelKey::Clear, Ms(200), Ms(60));
    EXPECT_TRUE(Finish(Ms(1000)));
  }
};

TEST_F(Menus, WithoutTitleMenuAndFeedWrapAroundAndEnterRunsTheItem) {
  g_ulEntered = 0;
  Start([] { RunMenu(&kPlain, 0); });
  ASSERT_TRUE(RunUntilShown("Item one        "));
  Press(PanelKey::Feed, "Item three      ");
  Press(PanelKey::Menu, "Item one        ");
  Press(PanelKey::Menu, "Item two        ");
  Keys().Tap(PanelKey::Enter, Ms(200), Ms(60));
  RunFor(Ms(300));
  EXPECT_EQ(g_ulEntered, 2u);
  EXPECT_EQ(GetMenuSelection(), 2u);
  Leave();
}

TEST_F(Menus, WithTitleClearGoesBackToTheTitleAndLeavesFromThere) {
  g_ulEntered = 0;
  Start([] { RunMenu(&kTitled, 0); });
  ASSERT_TRUE(RunUntilShown("Title           "));
  Keys().Tap(PanelKey::Menu, Ms(200), Ms(60));  // nothing on the title
  RunFor(Ms(300));
  EXPECT_EQ(Lcd().Visible(), "Title           ");
  Keys().Tap(PanelKey::Enter, Ms(200), Ms(60));  // the title handler, then its selection
  RunFor(Ms(300));
  EXPECT_EQ(g_ulEntered, 100u);
  Press(PanelKey::Clear, "Title           ");
  Leave();
}

TEST_F(Menus, ARecordWithoutTitleAndItemsShowsNothingAndLeavesOnClear) {
  InApp([] { g_Lcd.WriteLine("before          "); });
  Start([] { RunMenu(&kEmpty, 0); });
  RunFor(Ms(300));
  EXPECT_EQ(Lcd().Visible(), "before          ");
  Leave();
}

TEST_F(Menus, TheStopFlagEndsTheMenuAtTheNextKeyWait) {
  Start([] { RunMenu(&kPlain, 0); });
  ASSERT_TRUE(RunUntilShown("Item one        "));
  g_ulMainLoopStop = 1;
  EXPECT_TRUE(Finish(Ms(100)));
}

}  // namespace
}  // namespace paneltest
