// Settings: width classes, limits, digits, EEPROM round trips and the cell
// width guard.
#include "firmware/devices/parameter.h"

#include "firmware/control/panel_test_rig.h"
#include "firmware/devices/eeprom_cell.h"
#include "firmware/devices/eeprom_cells.h"
#include "firmware/hal/global.h"

namespace paneltest {
namespace {

struct WidthCase {
  int32_t min;
  int32_t max;
  ParamWidth width;
};

TEST(Parameter, WidthClassesAndDigits) {
  for (const WidthCase& c : {WidthCase{-32, 32, PARAM_WIDTH_S8}, WidthCase{0, 255, PARAM_WIDTH_U8},
                             WidthCase{0, 1023, PARAM_WIDTH_S16}, WidthCase{0, 256, PARAM_WIDTH_S16},
                             WidthCase{0, 40000, PARAM_WIDTH_U16}, WidthCase{0, 100000, PARAM_WIDTH_32},
                             WidthCase{-40000, 0, PARAM_WIDTH_32}}) {
    EXPECT_EQ(CParameter::ClassifyWidth(c.min, c.max), c.width) << c.min << ".." << c.max;
  }
  struct DigitCase {
    int32_t value;
    int32_t count;
  };
  for (const DigitCase& c : {DigitCase{0, 1}, DigitCase{-5, 2}, DigitCase{100, 3}, DigitCase{12345678, 8},
                             DigitCase{-999999999, 10}, DigitCase{999999999, 9},
                             DigitCase{1000000000, 9}, DigitCase{INT32_MAX, 9}, DigitCase{-1000000000, 10},
                             DigitCase{INT32_MIN, 10}}) {
    int32_t lCount = 0;
    CParameter::CountDigits(c.value, &lCount);
    EXPECT_EQ(lCount, c.count) << c.value;
  }
}

TEST(Parameter, ARamSettingStartsAtItsDefaultAndRefusesValuesOutsideItsLimits) {
  CParameter param("Time[Min]       ", 0, 240, nullptr, nullptr, nullptr, 5);
  int32_t lValue = 0;
  param.GetValue(&lValue);
  EXPECT_EQ(lValue, 5);
  EXPECT_EQ(param.SetValue(241), -1);
  EXPECT_EQ(param.SetValue(-1), -1);
  EXPECT_EQ(param.SetValue(240), 0);
  param.GetValue(&lValue);
  EXPECT_EQ(lValue, 240);
  EXPECT_EQ(RestoreDefault(&param), 0);
  param.GetValue(&lValue);
  EXPECT_EQ(lValue, 5);
  EXPECT_EQ(param.VerifyHeadCell(0), -2);
  EXPECT_EQ(param.CopyHeadCellToMain(), -1);
}

TEST_F(PanelTest, SettingsRoundTripThroughTheirEepromCells) {
  InApp(
      [] {
        static const uint8_t kZero[4] = {};
        // Cells beyond the machine's map would clash with nothing: use
        // free bytes near the end of the main EEPROM's upper half.
        static CEepromCell s_cellByte(500, 1, kZero, 16, 0);
        static CEepromCell s_cellWord(502, 2, kZero, 16, 0);
        static CEepromCell s_cellLong(504, 4, kZero, 16, 0);

        CParameter sgn("Signed          ", -32, 32, &s_cellByte, nullptr, nullptr, 0);
        EXPECT_EQ(sgn.SetValue(-32), 0);
        uint8_t ucStored = 0;
        s_cellByte.Read(&ucStored);
        EXPECT_EQ(ucStored, 0xE0);
        CParameter sgnAgain("Signed          ", -32, 32, &s_cellByte, nullptr, nullptr, 0);
        int32_t lValue = 0;
        sgnAgain.GetValue(&lValue);
        EXPECT_EQ(lValue, -32);

        // A range wider than the one-byte cell ("TProtectL Lv", 0..256): the
        // setting refuses what the cell cannot hold instead of storing 0.
        CParameter level("TProtectL Lv    ", 0, 256, &s_cellByte, nullptr, nullptr, 0);
        EXPECT_EQ(level.SetValue(255), 0);
        EXPECT_EQ(level.SetValue(256), -1);
        level.GetValue(&lValue);
        EXPECT_EQ(lValue, 255);
        CParameter levelAgain("TProtectL Lv    ", 0, 256, &s_cellByte, nullptr, nullptr, 0);
        levelAgain.GetValue(&lValue);
        EXPECT_EQ(lValue, 255);

        CParameter wide("Wide            ", -100000, 100000, &s_cellLong, nullptr, nullptr, 0);
        EXPECT_EQ(wide.SetValue(-99999), 0);
        CParameter wideAgain("Wide            ", -100000, 100000, &s_cellLong, nullptr, nullptr, 0);
        wideAgain.GetValue(&lValue);
        EXPECT_EQ(lValue, -99999);

        CParameter u16("Unsigned        ", 0, 40000, &s_cellWord, nullptr, nullptr, 0);
        EXPECT_EQ(u16.SetValue(40000), 0);
        CParameter u16Again("Unsigned        ", 0, 40000, &s_cellWord, nullptr, nullptr, 0);
        u16Again.GetValue(&lValue);
        EXPECT_EQ(lValue, 40000);
      },
      Ms(20000));
}

// ---- the editor ---------------------------------------------------------------------------

class Editor : public PanelTest {
 protected:
  void Press(PanelKey key, const std::string& shown) {
    Keys().Tap(key, Ms(200), Ms(60));
    EXPECT_TRUE(RunUntilShown(shown)) << "shown: |" << Lcd().Visible() << "|";
  }
};

TEST_F(Editor, AHeadSettingEnteredIsSavedInItsMainCellAndBothHeadCells) {
  static const uint8_t kZero[4] = {};
  static CEepromCell s_main(500, 1, kZero, 16, 0);
  static CParameter s_param;
  InApp(
      [] {
        hal::ConstructGlobal(s_param, "Head Level      ", 0, 200, &s_main, &g_HeadCellL64, &g_HeadCellR64, 100);
        EXPECT_EQ(s_param.SetValue(100), 0);
      },
      Ms(20000));
  int32_t lEditor = 9;
  Start([&] { lEditor = EditParameter(&s_param); });
  ASSERT_TRUE(RunUntilShown("Head Level   100"));
  Press(PanelKey::Inc, "Head Level   101");
  Press(PanelKey::Menu, "Head Level   111");
  Keys().Tap(PanelKey::Enter, Ms(200), Ms(60));
  RunFor(Ms(1500));  // the cells are written, the line blanked and shown again
  EXPECT_EQ(Lcd().Visible(), "Head Level   111");
  Keys().Tap(PanelKey::Clear, Ms(200), Ms(60));
  ASSERT_TRUE(Finish(Ms(2000)));
  EXPECT_EQ(lEditor, 0);
  InApp([] {
    uint8_t ucMain = 0, ucHeadA = 0, ucHeadB = 0;
    s_main.Read(&ucMain);
    g_HeadCellL64.Read(&ucHeadA);
    g_HeadCellR64.Read(&ucHeadB);
    EXPECT_EQ(ucMain, 111);
    EXPECT_EQ(ucHeadA, 111);
    EXPECT_EQ(ucHeadB, 111);
    EXPECT_EQ(s_param.VerifyHeadCell(0), 0);
    EXPECT_EQ(s_param.VerifyHeadCell(1), 0);
  });
}

// A value of ten characters fills the last ten columns; the number text's
// terminating 0 never reaches the LCD.
struct WideCase {
  const char* name;
  int32_t min;
  int32_t max;
  int32_t value;
  const char* shown;
};

class WideValues : public Editor, public ::testing::WithParamInterface<WideCase> {};

TEST_P(WideValues, EndAtTheLastColumn) {
  const WideCase& c = GetParam();
  static CParameter s_param;
  InApp([&c] {
    hal::ConstructGlobal(s_param, "Wide            ", c.min, c.max, nullptr, nullptr, nullptr, c.value);
  });
  Start([] { EditParameter(&s_param); });
  EXPECT_TRUE(RunUntilShown(c.shown)) << "shown: |" << Lcd().Visible() << "|";
  Keys().Tap(PanelKey::Clear, Ms(200), Ms(60));
  EXPECT_TRUE(Finish(Ms(2000)));
}

INSTANTIATE_TEST_SUITE_P(
    Values, WideValues,
    ::testing::Values(WideCase{"Negative", -999999999, 0, -123456789, "Wide  -123456789"},
                      WideCase{"Short", -999999999, 0, -5, "Wide          -5"},
                      WideCase{"PositiveTenDigits", 0, INT32_MAX, 1234567890, "Wide  1234567890"}),
    [](const ::testing::TestParamInfo<WideCase>& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace paneltest
