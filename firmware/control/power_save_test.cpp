// Power save: the three requests and the minute countdown.
#include "firmware/control/power_save.h"

#include "firmware/control/app_startup.h"
#include "firmware/control/panel_test_rig.h"
#include "firmware/devices/panel_ports.h"

namespace paneltest {
namespace {

constexpr uint32_t kPinPowerSave = sim::panel::kPairPinBase + 12;
constexpr uint32_t kPinPhotoLed1 = 20;

TEST_F(PanelTest, RequestsCombineIntoTheStateAndSwitchTheOutputs) {
  InApp([] {
    uint32_t ulState = 9;
    g_PowerSave.SetCoverRequest(1);
    g_PowerSave.SetIdleRequest(1);
    g_PowerSave.GetState(&ulState);
    EXPECT_EQ(ulState, POWER_SAVE_ON);
    EXPECT_EQ(g_ulPowerSaveActive, 1u);
    g_PowerSave.SetIdleRequest(0);  // the cover still holds it
    g_PowerSave.GetState(&ulState);
    EXPECT_EQ(ulState, POWER_SAVE_ON);
    g_PowerSave.SetDisplayOffRequest(1);
    g_PowerSave.GetState(&ulState);
    EXPECT_EQ(ulState, POWER_SAVE_DISPLAY_OFF);
    EXPECT_EQ(g_PowerSave.Apply(3), -1);
  });
  EXPECT_FALSE(Lcd().Powered());
  EXPECT_FALSE(Gpio().PinLevel(kPinPowerSave));
  EXPECT_TRUE(Gpio().PinLevel(kPinPhotoLed1));
  InApp([] {
    g_PowerSave.SetDisplayOffRequest(0);
    g_PowerSave.SetCoverRequest(0);
  });
  EXPECT_TRUE(Lcd().Powered());
}

TEST_F(PanelTest, TheIdleCountdownEntersPowerSaveAfterItsMinutes) {
  uint32_t ulAtMs = 0;
  uint32_t ulArmedMs = 0;
  InApp(
      [&] {
        uint32_t ulMinutes = 0;
        g_PowerSave.GetMinutes(&ulMinutes);
        EXPECT_EQ(ulMinutes, 5u);  // "Time[Min]" default
        g_PowerSave.ArmTimer();
        ulArmedMs = NowMs();
        uint32_t ulState = 0;
        while (ulState == 0 && NowMs() - ulArmedMs < 400000) {
          g_PowerSave.TickTimer();
          g_PowerSave.GetState(&ulState);
          g_MsTimer.WaitMs(100);
        }
        ulAtMs = NowMs();
        EXPECT_EQ(ulState, POWER_SAVE_ON);
        g_PowerSave.CancelTimer();  // a key at idle
        g_PowerSave.GetState(&ulState);
        EXPECT_EQ(ulState, POWER_SAVE_NORMAL);
      },
      Ms(500000));
  EXPECT_GE(ulAtMs - ulArmedMs, 300000u);
  // Each minute restarts at the tick that ended the previous one.
  EXPECT_LE(ulAtMs - ulArmedMs, 301000u);
  EXPECT_TRUE(Lcd().Powered());
  EXPECT_TRUE(Gpio().PinLevel(kPinPhotoLed1));
}

TEST_F(PanelTest, ZeroMinutesNeverStartsTheCountdown) {
  InApp(
      [] {
        g_PowerSave.SetMinutes(0);
        g_PowerSave.ArmTimer();
        const uint32_t ulStart = NowMs();
        while (NowMs() - ulStart < 70000) {
          g_PowerSave.TickTimer();
          g_MsTimer.WaitMs(1000);
        }
        uint32_t ulState = 9;
        g_PowerSave.GetState(&ulState);
        EXPECT_EQ(ulState, POWER_SAVE_NORMAL);
      },
      Ms(100000));
}

// "Power Save" is shown only for the idle request alone, and only on a
// printer whose ribbon control type is set.
struct TextCase {
  const char* name;
  uint8_t ucRibbonControlType;
  uint32_t ulCover;
  uint32_t ulIdle;
  bool bShown;
};

class PowerSaveText : public PanelTest, public ::testing::WithParamInterface<TextCase> {};

TEST_P(PowerSaveText, IsShownOnlyForTheIdleRequestAlone) {
  const TextCase& c = GetParam();
  InApp([&c] {
    g_Lcd.WriteText("Ready           ", 0, CLcd::kVisibleColumns);
    g_ucRibbonControlType = c.ucRibbonControlType;
    g_PowerSave.SetCoverRequest(c.ulCover);
    g_PowerSave.SetIdleRequest(c.ulIdle);
    g_PowerSave.ShowText();
  });
  bool bShown = false;
  for (const auto& screen : Lcd().Screens()) bShown = bShown || screen.text == "Power Save      ";
  EXPECT_EQ(bShown, c.bShown);
}

INSTANTIATE_TEST_SUITE_P(Requests, PowerSaveText,
                         ::testing::Values(TextCase{"IdleAlone", 1, 0, 1, true},
                                           TextCase{"NoRibbonControlType", 0, 0, 1, false},
                                           TextCase{"IdleAndCover", 1, 1, 1, false},
                                           TextCase{"CoverAlone", 1, 1, 0, false},
                                           TextCase{"NoRequest", 1, 0, 0, false}),
                         [](const ::testing::TestParamInfo<TextCase>& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace paneltest
