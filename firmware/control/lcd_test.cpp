// The LCD driver through the HD44780-type controller model on its lines:
// initialisation, the two halves of the line, the text buffer's columns,
// and the module's power.
#include "firmware/control/lcd.h"

#include "firmware/control/panel_test_rig.h"

namespace paneltest {
namespace {

TEST_F(PanelTest, InitialisationLeavesAnEightBitTwoLineDisplayOnAndBlank) {
  const sim::LcdController& lcd = Lcd();
  EXPECT_TRUE(lcd.EightBitBus());
  EXPECT_TRUE(lcd.TwoLines());
  EXPECT_TRUE(lcd.DisplayOn());
  EXPECT_FALSE(lcd.CursorOn());
  EXPECT_FALSE(lcd.BlinkOn());
  EXPECT_TRUE(lcd.Increment());
  EXPECT_TRUE(lcd.Powered());
  EXPECT_EQ(lcd.Visible(), std::string(16, ' '));
  // Three rounds of five instructions.
  EXPECT_GE(lcd.Instructions(), 15u);
}

TEST_F(PanelTest, ALineIsSentAsTwoHalvesAndRecordedAsOneScreen) {
  const size_t before = Lcd().Screens().size();
  InApp([] { EXPECT_EQ(g_Lcd.WriteLine("Ready  A 8x10 ok"), 0); });
  EXPECT_EQ(Lcd().Visible(), "Ready  A 8x10 ok");
  // Characters 0-7 at 0x00-0x07, 8-15 at 0x40-0x47 of the display memory.
  EXPECT_EQ(Lcd().Ddram(0x00), 'R');
  EXPECT_EQ(Lcd().Ddram(0x07), 'A');
  EXPECT_EQ(Lcd().Ddram(0x40), ' ');
  EXPECT_EQ(Lcd().Ddram(0x47), 'k');
  ASSERT_EQ(Lcd().Screens().size(), before + 1);
  EXPECT_EQ(Lcd().Screens().back().text, "Ready  A 8x10 ok");
}

TEST_F(PanelTest, ARewriteTakesEighteenTransfersOfTwoMilliseconds) {
  uint32_t ulStart = 0;
  uint32_t ulEnd = 0;
  const uint32_t ulBefore = Lcd().Instructions() + Lcd().DataWrites();
  InApp([&] {
    ulStart = NowMs();
    g_Lcd.WriteText("x", 3, 1);
    ulEnd = NowMs();
  });
  EXPECT_EQ(Lcd().Instructions() + Lcd().DataWrites() - ulBefore, 18u);
  EXPECT_GE(ulEnd - ulStart, 36u);
  EXPECT_LE(ulEnd - ulStart, 40u);
}

TEST_F(PanelTest, ColumnsBeyondTheLineAreKeptButNotShownAndTheBufferIsClamped) {
  InApp([] {
    g_Lcd.WriteLine("0123456789ABCDEF");
    g_Lcd.WriteText("xyz", 14, 3);  // columns 14, 15 and 16
    // A text reaching past column 31 is cut at the buffer's end: the
    // backlight flag behind the buffer keeps its value.
    g_Lcd.WriteText("PQRSTUVWXYZ", 26, 11);
    EXPECT_EQ(g_Lcd.Backlight(), 1u);
    g_Lcd.WriteText("!", 40, 1);
    EXPECT_EQ(g_Lcd.Backlight(), 1u);
  });
  EXPECT_EQ(Lcd().Visible(), "0123456789ABCDxy");
}

struct ReadCase {
  uint32_t column;
  uint32_t length;
  int32_t result;
};

TEST_F(PanelTest, ReadTextCopiesOnlyFromTheVisibleColumns) {
  InApp([] {
    g_Lcd.WriteLine("abcdefghijklmnop");
    for (const ReadCase& c : {ReadCase{0, 16, 0}, ReadCase{15, 1, 0}, ReadCase{15, 2, -1}, ReadCase{16, 0, -1},
                              ReadCase{3, 0xFFFFFFFFu, -1}}) {
      char ac[17] = "################";
      EXPECT_EQ(g_Lcd.ReadText(ac, c.column, c.length), c.result) << c.column << "+" << c.length;
      if (c.result == 0) {
        EXPECT_EQ(std::string(ac, c.length), std::string("abcdefghijklmnop").substr(c.column, c.length));
      } else {
        EXPECT_EQ(ac[0], '#');
      }
    }
  });
}

TEST_F(PanelTest, PowerOffSwitchesTheModuleButTextStillGoesOut) {
  InApp([] {
    EXPECT_EQ(g_Lcd.PowerOff(), 0);
    EXPECT_EQ(g_Lcd.Backlight(), 0u);
    g_Lcd.WriteLine("while dark      ");
  });
  EXPECT_FALSE(Lcd().Powered());
  EXPECT_EQ(Lcd().Visible(), "while dark      ");
  InApp([] { g_Lcd.PowerOn(); });
  EXPECT_TRUE(Lcd().Powered());
  EXPECT_EQ(Lcd().PowerChanges().back().bOn, true);
}

}  // namespace
}  // namespace paneltest
