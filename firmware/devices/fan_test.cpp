// Fans and clutches on the fan-control register: active levels by polarity,
// the limited fan's 600 s run and 60 s rest, its first time stamp, and the
// maintenance screen by key presses.
#include "firmware/devices/fan.h"

#include "firmware/control/panel_test_rig.h"
#include "firmware/hal/global.h"
#include "firmware/platform/fpga_regs.h"

namespace paneltest {
namespace {

constexpr uint32_t kFanRegister = 0x64000036u;
constexpr uint32_t kFanOffset = 0x36;

class Fans : public PanelTest {
 protected:
  bool Bit(uint16_t usMask) { return (Fpga().Register(kFanOffset) & usMask) != 0; }
};

TEST_F(Fans, BothClassesDriveTheirBitByPolarity) {
  struct Case {
    bool limited;
    uint32_t polarity;
    bool onLevel;
  };
  const Case cases[] = {{false, 0, true}, {false, 1, false}, {true, 0, true}, {true, 2, false}};
  for (const Case& c : cases) {
    static bool s_abLevel[3];
    static uint32_t s_aulState[3];
    InApp([&c] {
      static CFanSwitch s_output;
      static CFanCnt s_fan;
      CFanCrutch& output = c.limited ? static_cast<CFanCrutch&>(s_fan) : s_output;
      if (c.limited) {
        hal::ConstructGlobal(s_fan, kFanRegister, 0x0400u, c.polarity);
      } else {
        hal::ConstructGlobal(s_output, kFanRegister, 0x0400u, c.polarity);
      }
      auto sample = [&output](uint32_t i) {
        uint16_t usValue = 0;
        g_FpgaMain.Read(kFanRegister, &usValue);
        s_abLevel[i] = (usValue & 0x0400u) != 0;
        output.GetState(&s_aulState[i]);
      };
      sample(0);
      output.On();
      sample(1);
      output.Off();
      sample(2);
    });
    EXPECT_EQ(s_abLevel[0], !c.onLevel) << "built off";
    EXPECT_EQ(s_abLevel[1], c.onLevel);
    EXPECT_EQ(s_abLevel[2], !c.onLevel);
    EXPECT_EQ(s_aulState[0], FAN_OFF);
    EXPECT_EQ(s_aulState[1], FAN_ON);
    EXPECT_EQ(s_aulState[2], FAN_OFF);
  }
}

// A clutch on the same register stays on throughout: a plain output never
// rests, and the fan's writes leave the other bits alone.
TEST_F(Fans, ALimitedFanRestsAfterSixHundredSecondsAndIsOffSixtySecondsLater) {
  // Checks at times after the switch-on (then after the rest began).
  struct Check {
    bool sinceRest;
    uint32_t ms;
    uint32_t state;
    bool bit;
  };
  const Check checks[] = {
      {false, 1, FAN_ON, true},        {false, 600000, FAN_ON, true}, {false, 600001, FAN_RESTING, false},
      {true, 60000, FAN_RESTING, false}, {true, 60001, FAN_OFF, false}, {true, 900000, FAN_OFF, false},
  };
  static uint32_t s_ulOnStamp;
  InApp([] {
    g_ClutchRibRvsL.On();
    g_FanSideL.On();
    s_ulOnStamp = g_FanSideL.TimeStamp();
  });
  uint32_t ulRestStamp = 0;
  for (const Check& c : checks) {
    static uint32_t s_ulAt;
    static uint32_t s_ulState;
    s_ulAt = (c.sinceRest ? ulRestStamp : s_ulOnStamp) + c.ms;
    InApp([] {
      g_FanSideL.CheckAt(s_ulAt);
      g_FanSideL.GetState(&s_ulState);
    });
    EXPECT_EQ(s_ulState, c.state) << c.ms;
    EXPECT_EQ(Bit(0x0020), c.bit) << c.ms;
    EXPECT_TRUE(Bit(0x0001)) << c.ms;
    if (c.state == FAN_RESTING && !c.sinceRest) {
      ulRestStamp = g_FanSideL.TimeStamp();
      EXPECT_EQ(ulRestStamp, s_ulAt) << "the rest starts at the check";
    }
  }
}

TEST_F(Fans, OnKeepsTheFirstStampAndARestingFanComesOnAtOnce) {
  static uint32_t s_aulStamp[3];
  static uint32_t s_ulState;
  static uint32_t s_ulWrites;
  InApp([] {
    g_FanHeadR.On();
    s_aulStamp[0] = g_FanHeadR.TimeStamp();
    const uint32_t ulStart = NowMs();
    while (NowMs() - ulStart < 50) {
    }
    sim::Board::Current().GetBus().Trace().Start();
    g_FanHeadR.On();
    sim::Board::Current().GetBus().Trace().Stop();
    s_aulStamp[1] = g_FanHeadR.TimeStamp();
    g_FanHeadR.Rest();
    while (NowMs() - ulStart < 100) {
    }
    g_FanHeadR.On();
    s_aulStamp[2] = g_FanHeadR.TimeStamp();
    g_FanHeadR.GetState(&s_ulState);
  });
  s_ulWrites = static_cast<uint32_t>(
      m_machine->GetBoard().GetBus().Trace().In(kFanRegister, kFanRegister + 1, sim::BusTrace::Kind::Both).size());
  EXPECT_EQ(s_aulStamp[1], s_aulStamp[0]) << "a second On keeps the first stamp";
  EXPECT_EQ(s_ulWrites, 0u) << "and touches no register";
  EXPECT_EQ(s_ulState, FAN_ON) << "resting is no lock-out";
  EXPECT_GE(s_aulStamp[2] - s_aulStamp[0], 100u) << "stamped anew";
  EXPECT_TRUE(Bit(0x0010));
}

TEST_F(Fans, TheScreenSwitchesALimitedFanWithItsTimeStamp) {
  Start([] {
    g_Lcd.WriteText("Fan PCB         ", 0, 16);
    g_FanPcb.TestScreen();
  });
  ASSERT_TRUE(RunUntilShown("Fan PCB     :OFF"));
  EXPECT_FALSE(Bit(0x0100));
  Keys().Tap(PanelKey::Enter, Ms(200), Ms(20));
  ASSERT_TRUE(RunUntilShown("Fan PCB      :ON")) << Lcd().Visible();
  EXPECT_TRUE(Bit(0x0100));
  uint32_t ulState = 0;
  g_FanPcb.GetState(&ulState);
  EXPECT_EQ(ulState, FAN_ON);
  const uint32_t ulFirstStamp = g_FanPcb.TimeStamp();
  Keys().Tap(PanelKey::Inc, Ms(200), Ms(20));
  RunFor(Ms(300));
  EXPECT_EQ(Lcd().Visible(), "Fan PCB      :ON") << "other keys do nothing";
  Keys().Tap(PanelKey::Enter, Ms(200), Ms(20));
  ASSERT_TRUE(RunUntilShown("Fan PCB     :OFF"));
  Keys().Tap(PanelKey::Enter, Ms(200), Ms(20));
  ASSERT_TRUE(RunUntilShown("Fan PCB      :ON"));
  EXPECT_GE(g_FanPcb.TimeStamp() - ulFirstStamp, 300u) << "switched on anew, stamped anew";
  Keys().Tap(PanelKey::Clear, Ms(200), Ms(20));
  ASSERT_TRUE(Finish(Ms(1000)));
  EXPECT_TRUE(Bit(0x0100)) << "Clear leaves the output as it is";
}

}  // namespace
}  // namespace paneltest
