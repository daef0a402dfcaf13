// DC motors on the FPGA's drive registers: the two line levels of every
// operation for both polarities, line B left alone when line A's write
// fails, and the maintenance screen by key presses.
#include "firmware/devices/dc_motor.h"

#include <vector>

#include "firmware/control/panel_test_rig.h"
#include "firmware/devices/dc_motor_test_cases.h"
#include "firmware/devices/machine_actuators.h"
#include "firmware/platform/fpga_regs.h"
#include "firmware/hal/global.h"

namespace paneltest {
namespace {

using dcmotortest::kLineCases;
using dcmotortest::LineCase;
using dcmotortest::PORT_ONLY;

// A spare pair of FPGA_DCMOTOR2 that no machine motor uses.
constexpr uint32_t kSpareRegister = 0x64000034u;
constexpr uint32_t kSpareOffset = 0x34;
constexpr uint16_t kMaskA = 0x4000;
constexpr uint16_t kMaskB = 0x8000;

class FpgaDcMotors : public PanelTest {
 protected:
  int Line(uint16_t usMask) { return (Fpga().Register(kSpareOffset) & usMask) != 0 ? 1 : 0; }
};

TEST_F(FpgaDcMotors, EveryOperationSetsTheLinesOfItsRowOrNothing) {
  for (const LineCase& c : kLineCases) {
    static CFpgaDcMotor s_motor;
    static int32_t s_lResult;
    static uint32_t s_ulState;
    InApp([&c] {
      hal::ConstructGlobal(s_motor, kSpareRegister, kMaskA, kSpareRegister, kMaskB, c.polarity);
      s_motor.Forward();  // a state and levels that every row changes or keeps
      s_lResult = (s_motor.*c.op)();
      s_motor.GetState(&s_ulState);
    });
    EXPECT_EQ(s_lResult, 0) << c.name;
    if (c.drives == PORT_ONLY) {
      EXPECT_EQ(s_ulState, 1u) << c.name << ": nothing done";
      EXPECT_EQ(Line(kMaskA), c.polarity == 0 ? 1 : 0) << c.name;
      EXPECT_EQ(Line(kMaskB), c.polarity == 0 ? 0 : 1) << c.name;
      continue;
    }
    EXPECT_EQ(s_ulState, c.state) << c.name << " polarity " << c.polarity;
    EXPECT_EQ(Line(kMaskA), c.lineA) << c.name << " polarity " << c.polarity;
    EXPECT_EQ(Line(kMaskB), c.lineB) << c.name << " polarity " << c.polarity;
  }
}

TEST_F(FpgaDcMotors, LineAIsWrittenFirstAndLineBOnlyAfterItSucceeded) {
  struct Case {
    const char* name;
    uint32_t registerA;
    uint32_t registerB;
    int32_t result;
    std::vector<uint16_t> writes;  // values written to the spare register
  };
  // Polarity 0, Forward from the stop level: A stays 1, B goes to 0.
  const Case cases[] = {
      {"both lines", kSpareRegister, kSpareRegister, 0, {kMaskA | kMaskB, kMaskA}},
      {"line A refused", 0x65000034u, kSpareRegister, -2, {}},
      {"line B refused", kSpareRegister, 0x00000034u, -2, {kMaskA | kMaskB}},
  };
  for (const Case& c : cases) {
    static int32_t s_lResult;
    static uint32_t s_ulState;
    InApp([&c] {
      g_FpgaMain.SetBits(kSpareRegister, kMaskA | kMaskB);
      CFpgaDcMotor probe(c.registerA, kMaskA, c.registerB, kMaskB, 0);
      sim::Board::Current().GetBus().Trace().Start();
      s_lResult = probe.Forward();
      sim::Board::Current().GetBus().Trace().Stop();
      probe.GetState(&s_ulState);
    });
    std::vector<uint16_t> writes;
    for (const sim::BusAccess& a : m_machine->GetBoard().GetBus().Trace().In(kSpareRegister, kSpareRegister + 1,
                                                                             sim::BusTrace::Kind::Writes)) {
      writes.push_back(static_cast<uint16_t>(a.value));
    }
    m_machine->GetBoard().GetBus().Trace().Clear();
    EXPECT_EQ(s_lResult, c.result) << c.name;
    EXPECT_EQ(s_ulState, 1u) << c.name << ": the state is stored first";
    EXPECT_EQ(writes, c.writes) << c.name;
  }
}

TEST_F(FpgaDcMotors, TheScreensMenuStopsAndFlipsAndClearLeavesTheMotorRunning) {
  // g_DcMotorLoadPinch: FPGA_DCMOTOR0 0x0100 / 0x0200, polarity 1.
  auto lines = [this] { return Fpga().Register(0x30) & 0x0300; };
  Start([] {
    g_Lcd.WriteText("LoadPinch       ", 0, 16);
    g_DcMotorLoadPinch.TestScreen();
  });
  struct Step {
    PanelKey key;
    const char* text;
    uint16_t lines;
  };
  const Step steps[] = {
      {PanelKey::Enter, "LoadPinch  :+ ON", 0x0200},  // forward
      {PanelKey::Menu, "LoadPinch  :-OFF", 0x0000},   // stopped, direction flipped
      {PanelKey::Enter, "LoadPinch  :- ON", 0x0100},  // reverse
      {PanelKey::Menu, "LoadPinch  :+OFF", 0x0000},
      {PanelKey::Enter, "LoadPinch  :+ ON", 0x0200},
  };
  ASSERT_TRUE(RunUntilShown("LoadPinch  :+OFF"));
  EXPECT_EQ(lines(), 0x0000) << "built at the stop level";
  for (const Step& s : steps) {
    Keys().Tap(s.key, Ms(200), Ms(20));
    ASSERT_TRUE(RunUntilShown(s.text)) << Lcd().Visible();
    EXPECT_EQ(lines(), s.lines) << s.text;
  }
  Keys().Tap(PanelKey::Clear, Ms(200), Ms(20));
  ASSERT_TRUE(Finish(Ms(1000)));
  uint32_t ulState = 0;
  g_DcMotorLoadPinch.GetState(&ulState);
  EXPECT_EQ(ulState, 1u) << "Clear leaves the motor running";
  EXPECT_EQ(lines(), 0x0200);
}

}  // namespace
}  // namespace paneltest
