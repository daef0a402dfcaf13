// Power save: the three requests and the minute countdown.
#include "firmware/control/power_save.h"

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

}  // namespace
}  // namespace paneltest
