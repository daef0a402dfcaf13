// PWM choppers: the period and duty written to the channel's pair, a
// channel without PWM registers refused but its values kept, direction
// changes that leave the PWM alone, and the duty screen by key presses.
#include "firmware/devices/chop_motor.h"

#include "firmware/control/panel_test_rig.h"
#include "firmware/hal/global.h"
#include "firmware/devices/dc_motor.h"
#include "firmware/devices/machine_actuators.h"

namespace paneltest {
namespace {

// The spare motor lines of FPGA_DCMOTOR2 for a motor of the test's own.
constexpr uint32_t kSpareRegister = 0x64000034u;

class ChopMotors : public PanelTest {
 protected:
  // The PWM pair {period, duty} of a channel with registers: pairs in
  // channel order 0-3, 5, 6, 8-10, 14-17.
  uint16_t Period(uint32_t pair) { return Fpga().Register(0x60 + 4 * pair); }
  uint16_t Duty(uint32_t pair) { return Fpga().Register(0x62 + 4 * pair); }
};

TEST_F(ChopMotors, ValuesAreStoredWhetherOrNotTheChannelHasPwmRegisters) {
  struct Case {
    uint32_t channel;
    int32_t result;
    int pair;  // -1: no registers
  };
  const Case cases[] = {{0, 0, 0}, {6, 0, 5}, {17, 0, 12}, {4, -2, -1}, {13, -2, -1}, {18, -2, -1}, {99, -2, -1}};
  for (const Case& c : cases) {
    static int32_t s_alResult[2];
    static uint32_t s_aulStored[2];
    InApp([&c] {
      static CFpgaDcMotor s_motor;
      static CFpgaChopMotor s_chopper;
      hal::ConstructGlobal(s_motor, kSpareRegister, 0x4000u, kSpareRegister, 0x8000u, 1u);
      hal::ConstructGlobal(s_chopper, &s_motor, c.channel);
      s_alResult[0] = s_chopper.SetPeriod(1000);
      s_alResult[1] = s_chopper.SetDuty(40);
      s_chopper.GetPeriod(&s_aulStored[0]);
      s_chopper.GetDuty(&s_aulStored[1]);
    });
    EXPECT_EQ(s_alResult[0], c.result) << c.channel;
    EXPECT_EQ(s_alResult[1], c.result) << c.channel;
    EXPECT_EQ(s_aulStored[0], 1000u) << c.channel;
    EXPECT_EQ(s_aulStored[1], 40u) << c.channel;
    if (c.pair >= 0) {
      EXPECT_EQ(Period(static_cast<uint32_t>(c.pair)), 1000) << c.channel;
      EXPECT_EQ(Duty(static_cast<uint32_t>(c.pair)), 400) << c.channel << ": 40 % of the period";
    }
  }
}

TEST_F(ChopMotors, DirectionChangesGoThroughTheMotorAndKeepThePwm) {
  // g_ChopMotorHeadL: channel 2 (pair 2) on g_DcMotorHeadL, FPGA_DCMOTOR0
  // 0x0020 / 0x0010, polarity 0.
  using Op = int32_t (CChopMotor::*)();
  struct Case {
    const char* name;
    Op op;
    uint32_t state;
    uint16_t lines;
  };
  const Case cases[] = {{"Forward", &CChopMotor::Forward, 1, 0x0020},
                        {"Reverse", &CChopMotor::Reverse, 2, 0x0010},
                        {"Brake", &CChopMotor::Brake, 0, 0x0000},
                        {"Stop", &CChopMotor::Stop, 0, 0x0030}};
  InApp([] { g_ChopMotorHeadL.SetDuty(70); });
  for (const Case& c : cases) {
    static uint32_t s_ulState;
    static int32_t s_lResult;
    InApp([&c] {
      s_lResult = (g_ChopMotorHeadL.*c.op)();
      g_ChopMotorHeadL.GetState(&s_ulState);
    });
    EXPECT_EQ(s_lResult, 0) << c.name;
    EXPECT_EQ(s_ulState, c.state) << c.name;
    EXPECT_EQ(Fpga().Register(0x30) & 0x0030, c.lines) << c.name;
    EXPECT_EQ(Period(2), 800) << c.name;
    EXPECT_EQ(Duty(2), 560) << c.name;
  }
}

TEST_F(ChopMotors, TheScreenStepsTheDutyWithWrapAndClearLeavesTheMotorRunning) {
  // g_ChopMotorEject: channel 15 (pair 10) on g_DcMotorEject, FPGA_DCMOTOR1
  // 0x4000 / 0x8000, polarity 1.
  InApp([] { g_ChopMotorEject.SetDuty(98); });
  Start([] {
    g_Lcd.WriteText("Eject           ", 0, 16);
    g_ChopMotorEject.TestScreen(1);
  });
  struct Step {
    PanelKey key;
    const char* text;
    uint16_t duty;
  };
  const Step steps[] = {
      {PanelKey::Inc, "Eject  +OFF: 99%", 792}, {PanelKey::Inc, "Eject  +OFF:100%", 800},
      {PanelKey::Inc, "Eject  +OFF:  0%", 0},   {PanelKey::Inc, "Eject  +OFF:  1%", 8},
      {PanelKey::Dec, "Eject  +OFF:  0%", 0},   {PanelKey::Dec, "Eject  +OFF:100%", 800},
      {PanelKey::Enter, "Eject  + ON:100%", 800},
  };
  ASSERT_TRUE(RunUntilShown("Eject  +OFF: 98%")) << Lcd().Visible();
  for (const Step& s : steps) {
    Keys().Tap(s.key, Ms(200), Ms(20));
    ASSERT_TRUE(RunUntilShown(s.text)) << Lcd().Visible();
    EXPECT_EQ(Duty(10), s.duty) << s.text;
    RunFor(Ms(300));  // + and - act while held: one code, then the release
    EXPECT_EQ(Lcd().Visible(), s.text) << "one step per press";
  }
  EXPECT_EQ(Fpga().Register(0x32) & 0xC000, 0x8000) << "forward with polarity 1";
  Keys().Tap(PanelKey::Clear, Ms(200), Ms(20));
  ASSERT_TRUE(Finish(Ms(1000)));
  uint32_t ulState = 0, ulDuty = 0;
  g_ChopMotorEject.GetState(&ulState);
  g_ChopMotorEject.GetDuty(&ulDuty);
  EXPECT_EQ(ulState, 1u) << "Clear leaves the motor running";
  EXPECT_EQ(ulDuty, 100u);
  EXPECT_EQ(Fpga().Register(0x32) & 0xC000, 0x8000);
}

}  // namespace
}  // namespace paneltest
