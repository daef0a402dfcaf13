// The ribbon colour sensors: the panel classification, a reading's settle
// time, one LED lit at a time, the red threshold's scale, the threshold and
// LED screens, and the sets classifying each panel under each unit. The
// receivers are a small panel model of the test on the FPGA's analog source:
// the lit LED of a unit shows that colour's level of the unit's panel.
#include "firmware/devices/color_sensor.h"

#include <array>
#include <string>

#include "firmware/control/panel_test_rig.h"
#include "firmware/devices/machine_actuators.h"
#include "firmware/devices/main_loop_stop.h"
#include "firmware/devices/unit_switch.h"

namespace paneltest {
namespace {

constexpr uint32_t kColorCtrl = 0x46;
constexpr uint32_t kColorCtrlRegister = 0x64000046u;
constexpr uint16_t kDark = 20;

TEST(PanelClass, FirstRuleBeyondTheMarginWins) {
  struct Case {
    uint32_t red, green, blue;
    PanelClass expected;
  };
  const Case cases[] = {
      {300, 350, 500, PANEL_YELLOW},   // blue - green 150
      {300, 300, 300, PANEL_OVERCOAT},
      {500, 300, 450, PANEL_YELLOW},   // red is highest, blue - green still wins
      {400, 400, 493, PANEL_OVERCOAT},  // 93 is no more than the margin
      {400, 400, 494, PANEL_YELLOW},
      {300, 394, 200, PANEL_MAGENTA},   // green - red 94
      {300, 400, 494, PANEL_YELLOW},    // blue - green before green - red
      {500, 450, 406, PANEL_CYAN},      // red - blue 94
      {0, 0, 1023, PANEL_YELLOW},
      {1023, 0, 0, PANEL_CYAN},         // negative differences never match
  };
  for (const Case& c : cases) {
    const uint32_t values[COLOR_COUNT] = {c.red, c.green, c.blue};
    EXPECT_EQ(ClassifyReadings(values), c.expected) << c.red << "/" << c.green << "/" << c.blue;
  }
}

struct PanelLevels {
  uint16_t red, green, blue;
};

class ColorSensors : public PanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    // Both units share channel 128; bit 8 of COLOR_CTRL selects the left
    // receiver (the unit's LEDs are bits 0-2 and 3-5).
    Fpga().SetAnalogSource([this](uint32_t channel, bool bLeft) -> uint16_t {
      if (channel != 128) return 0;
      const uint16_t usLeds = static_cast<uint16_t>(Fpga().Register(kColorCtrl) >> (bLeft ? 0 : 3));
      const PanelLevels& p = m_panel[bLeft ? 0 : 1];
      uint32_t ulSum = 0, ulLit = 0;
      for (auto [bit, level] : {std::pair{1u, p.red}, {2u, p.green}, {4u, p.blue}}) {
        if ((usLeds & bit) != 0) {
          ulSum += level;
          ++ulLit;
        }
      }
      return ulLit == 0 ? kDark : static_cast<uint16_t>(ulSum / ulLit);
    });
  }
  uint16_t Leds() { return Fpga().Register(kColorCtrl) & 0x3F; }
  std::array<PanelLevels, 2> m_panel{PanelLevels{kDark, kDark, kDark}, PanelLevels{kDark, kDark, kDark}};
};

// Waits in the application until `ms` have passed since `ulFrom`.
void WaitUntil(uint32_t ulFrom, uint32_t ms) {
  while (NowMs() - ulFrom < ms) {
  }
}

TEST_F(ColorSensors, AColourIsValidOnlyAfterMoreThanTheSettleTime) {
  m_panel[0] = {600, 0, 0};
  struct Reading {
    uint32_t afterMs;  // since the LED came on
    uint32_t valid;
  };
  const Reading readings[] = {{0, 0}, {50, 0}, {100, 0}, {101, 1}, {150, 1}};
  static std::array<uint32_t, 5> s_valid, s_value, s_level;
  InApp([&readings] {
    for (uint32_t i = 0; i < 5; ++i) {
      s_value[i] = 0;
      WaitUntil(g_ColorSensorRedL.LedOnTime(), readings[i].afterMs);
      g_ColorSensorRedL.Measure(&s_level[i], &s_value[i], &s_valid[i]);
    }
  });
  for (uint32_t i = 0; i < 5; ++i) {
    EXPECT_EQ(s_valid[i], readings[i].valid) << readings[i].afterMs;
    if (readings[i].valid != 0) {
      EXPECT_EQ(s_value[i], 600u);
      EXPECT_EQ(s_level[i], COLOR_LEVEL_AT_OR_ABOVE);
    } else {
      EXPECT_EQ(s_value[i], 0u) << "no value reported before the light settled";
    }
  }
}

// An LED lit by other code (a screen, a host's diagnosis) settles from its
// own switch-on: a sensor whose last reading lies far back reads nothing
// before the light has been on for more than 100 ms.
TEST_F(ColorSensors, ALedLitElsewhereSettlesFromItsOwnSwitchOn) {
  m_panel[0] = {0, 0, 700};
  static std::array<uint32_t, 3> s_valid;
  InApp([] {
    uint32_t ulLevel = 0, ulValue = 0;
    // A reading long ago, then the LED off.
    g_ColorSensorBlueL.Measure(&ulLevel, &ulValue, &s_valid[0]);
    WaitUntil(g_ColorSensorBlueL.LedOnTime(), 500);
    g_ColorSensorBlueL.LedOff();
    g_ColorLedBlueL.On();
    WaitUntil(g_ColorLedBlueL.OnTime(), 10);
    g_ColorSensorBlueL.Measure(&ulLevel, &ulValue, &s_valid[1]);
    WaitUntil(g_ColorLedBlueL.OnTime(), 101);
    g_ColorSensorBlueL.Measure(&ulLevel, &ulValue, &s_valid[2]);
  });
  EXPECT_EQ(s_valid[1], 0u) << "lit 10 ms ago";
  EXPECT_EQ(s_valid[2], 1u);
}

TEST_F(ColorSensors, LightingOneColourDarkensTheOtherTwoAndOnTwiceWritesOnce) {
  static uint32_t s_ulValid;
  static uint16_t s_usAfterRed, s_usAfterGreen;
  static size_t s_writes;
  InApp([this] {
    uint32_t ulLevel = 0, ulValue = 0;
    g_ColorSensorRedL.Measure(&ulLevel, &ulValue, &s_ulValid);
    s_usAfterRed = Leds();
    g_ColorSensorGreenL.Measure(&ulLevel, &ulValue, &s_ulValid);
    s_usAfterGreen = Leds();
    sim::Board::Current().GetBus().Trace().Start();
    g_ColorLedGreenL.On();
    sim::Board::Current().GetBus().Trace().Stop();
  });
  s_writes = m_machine->GetBoard().GetBus().Trace().In(kColorCtrlRegister, kColorCtrlRegister + 1).size();
  EXPECT_EQ(s_usAfterRed, 0x01);
  EXPECT_EQ(s_usAfterGreen, 0x02);
  EXPECT_EQ(s_ulValid, 0u);
  EXPECT_EQ(s_writes, 0u) << "an LED already on is not written again";
  InApp([] { g_ColorLedRedR.On(); });
  EXPECT_EQ(Leds(), 0x0A) << "unit R's LED beside unit L's";
}

TEST_F(ColorSensors, TheRedThresholdFollowsItsScale) {
  struct Case {
    CColorSensor* sensor;
    uint32_t scale;
    uint16_t reading;
    uint32_t level;
  };
  const Case cases[] = {
      {&g_ColorSensorRedL, 128, 255, COLOR_LEVEL_BELOW},
      {&g_ColorSensorRedL, 128, 256, COLOR_LEVEL_AT_OR_ABOVE},
      {&g_ColorSensorRedL, CColorSensor::kNoScale, 511, COLOR_LEVEL_BELOW},
      {&g_ColorSensorRedL, CColorSensor::kNoScale, 512, COLOR_LEVEL_AT_OR_ABOVE},
      {&g_ColorSensorRedL, 512, 1023, COLOR_LEVEL_BELOW},  // 1024 above every reading
      // Green keeps its threshold whatever scale it is given.
      {&g_ColorSensorGreenL, 128, 511, COLOR_LEVEL_BELOW},
      {&g_ColorSensorGreenL, 128, 512, COLOR_LEVEL_AT_OR_ABOVE},
  };
  for (const Case& c : cases) {
    m_panel[0] = {c.reading, c.reading, c.reading};
    static uint32_t s_ulLevel, s_ulValue;
    InApp([&c] {
      c.sensor->SetScale(c.scale);
      c.sensor->Led()->On();
      c.sensor->Read(&s_ulLevel, &s_ulValue);
    });
    EXPECT_EQ(s_ulValue, c.reading);
    EXPECT_EQ(s_ulLevel, c.level) << "scale " << c.scale << " reading " << c.reading;
  }
}

TEST_F(ColorSensors, TheThresholdScreenShowsVoltsUntilAKey) {
  struct Case {
    CColorSensor* sensor;
    uint32_t threshold;
    uint32_t scale;
    const char* volts;
  };
  const Case cases[] = {
      {&g_ColorSensorGreenL, 512, 0, "1.65V"},
      {&g_ColorSensorBlueR, 1023, 0, "3.30V"},
      {&g_ColorSensorRedL, 512, CColorSensor::kNoScale, "1.65V"},
      {&g_ColorSensorRedR, 512, 128, "0.82V"},
  };
  for (const Case& c : cases) {
    Start([&c] {
      g_Lcd.WriteText("Threshold       ", 0, 16);
      c.sensor->SetThreshold(c.threshold);
      c.sensor->SetScale(c.scale);
      c.sensor->ShowThreshold();
    });
    EXPECT_TRUE(RunUntilShown(std::string("Threshold  ") + c.volts)) << Lcd().Visible();
    Keys().Tap(PanelKey::Feed, Ms(200), Ms(20));
    EXPECT_TRUE(Finish(Ms(1000))) << "any key ends it";
  }
}

TEST_F(ColorSensors, EachPanelUnderEachUnitIsClassifiedByItsSet) {
  struct Case {
    PanelLevels levels;
    uint32_t panelClass;
    uint32_t code;  // levels against the threshold 512
  };
  const Case cases[] = {
      {{300, 350, 600}, PANEL_YELLOW, 0x112},
      {{300, 520, 400}, PANEL_MAGENTA, 0x121},
      {{700, 600, 300}, PANEL_CYAN, 0x221},
      {{400, 400, 400}, PANEL_OVERCOAT, 0x111},
  };
  for (uint32_t unit : {0u, 1u}) {
    for (const Case& c : cases) {
      m_panel = {PanelLevels{kDark, kDark, kDark}, PanelLevels{kDark, kDark, kDark}};
      m_panel[unit] = c.levels;
      static uint32_t s_ulClass, s_ulCode, s_ulCalls;
      static uint16_t s_ausValues[3];
      InApp([unit] {
        SelectUnit(unit);
        g_pCurColorSensorRed->SetScale(CColorSensor::kNoScale);
        g_pCurColorSensorSet->Reset();
        uint32_t ulDone = 0;
        for (s_ulCalls = 0; ulDone == 0 && s_ulCalls < 100000; ++s_ulCalls) {
          g_pCurColorSensorSet->ClassifyPanel(&s_ulClass, s_ausValues, &ulDone);
        }
        ulDone = 0;
        while (ulDone == 0) g_pCurColorSensorSet->ReadColorCode(&s_ulCode, &ulDone);
        SelectUnit(0);
      });
      EXPECT_LT(s_ulCalls, 100000u) << "the set ends its round";
      EXPECT_EQ(s_ulClass, c.panelClass) << "unit " << unit;
      EXPECT_EQ(s_ausValues[0], c.levels.red);
      EXPECT_EQ(s_ausValues[1], c.levels.green);
      EXPECT_EQ(s_ausValues[2], c.levels.blue);
      EXPECT_EQ(s_ulCode, c.code) << "unit " << unit;
    }
  }
}

TEST_F(ColorSensors, ResetDarkensTheUnitAndStartsTheRoundAgainAtRed) {
  m_panel[1] = {300, 350, 600};
  static uint16_t s_usAfterReset, s_usRestarted;
  InApp([this] {
    SelectUnit(1);
    uint32_t ulClass = 0, ulDone = 0;
    uint16_t ausValues[3] = {};
    // Red read and green lit: a round half done.
    const uint32_t ulStart = NowMs();
    while (NowMs() - ulStart < 150) g_ColorSensorSetR.ClassifyPanel(&ulClass, ausValues, &ulDone);
    g_ColorSensorSetR.Reset();
    s_usAfterReset = Leds();
    g_ColorSensorSetR.ClassifyPanel(&ulClass, ausValues, &ulDone);
    s_usRestarted = Leds();
    SelectUnit(0);
  });
  EXPECT_EQ(s_usAfterReset, 0x00);
  EXPECT_EQ(s_usRestarted, 0x08) << "red of unit R";
}

TEST_F(ColorSensors, TheLedScreenShowsItsReceiverAndLeavesOnlyWhileTheLedIsOff) {
  m_panel[0] = {512, kDark, kDark};
  Start([] { g_ColorLedRedL.TestScreen(); });
  // Dark: 20 counts of 4.5 V full scale.
  ASSERT_TRUE(RunUntilShown("Red L  OFF 0.08V")) << Lcd().Visible();
  Keys().Tap(PanelKey::Enter, Ms(200), Ms(20));
  ASSERT_TRUE(RunUntilShown("Red L  ON  2.25V")) << Lcd().Visible();
  EXPECT_EQ(Leds(), 0x01);
  Keys().Tap(PanelKey::Clear, Ms(200), Ms(20));
  RunFor(Ms(300));
  EXPECT_TRUE(g_app.bBusy) << "the LED is on: Clear does not leave";
  Keys().Tap(PanelKey::Enter, Ms(200), Ms(20));
  ASSERT_TRUE(RunUntilShown("Red L  OFF 0.08V")) << Lcd().Visible();
  EXPECT_EQ(Leds(), 0x00);
  Keys().Tap(PanelKey::Clear, Ms(200), Ms(20));
  EXPECT_TRUE(Finish(Ms(1000)));
}

TEST_F(ColorSensors, TheLedScreenEndsWithItsLedDarkWhenTheApplicationStops) {
  Start([] { g_ColorLedBlueR.TestScreen(); });
  ASSERT_TRUE(RunUntilShown("Blue R OFF 0.08V")) << Lcd().Visible();
  Keys().Tap(PanelKey::Enter, Ms(200), Ms(20));
  ASSERT_TRUE(RunUntilShown("Blue R ON  0.08V")) << Lcd().Visible();
  EXPECT_EQ(Leds(), 0x20);
  g_ulMainLoopStop = 1;
  EXPECT_TRUE(Finish(Ms(1000))) << "a stop ends the screen";
  EXPECT_EQ(Leds(), 0x00);
}

}  // namespace
}  // namespace paneltest
