// Digital sensors on the board's FPGA input words: the invert rule, a
// bouncing input, a port that always fails, and the ON/OFF test screen.
#include "firmware/devices/digital_sensor.h"

#include "firmware/control/error_manager.h"
#include "firmware/control/panel_test_rig.h"
#include "firmware/hal/global.h"
#include "sim/fpga/fpga_main_block.h"

namespace paneltest {
namespace {

constexpr uint32_t kIn1 = 0x64000002u;
constexpr uint32_t kSensorError = 0x031E;

bool ErrorRaised() {
  uint32_t ulFlag = 0;
  g_ErrorMng.IsErrorSet(kSensorError, &ulFlag);
  return ulFlag != 0;
}

class DigitalSensors : public PanelTest {
 protected:
  sim::FpgaMainBlock& Fpga() { return *m_machine->GetBoard().FindDevice<sim::FpgaMainBlock>(); }
};

TEST(DigitalSensor, TheInvertRuleSwapsZeroAndOneAndRefusesOtherLevels) {
  struct Case {
    uint32_t invert;
    uint32_t level;
    int32_t result;
    uint32_t out;
  };
  const Case cases[] = {{0, 0, 0, 0}, {0, 1, 0, 1}, {0, 255, 0, 255},
                        {1, 0, 0, 1}, {1, 1, 0, 0}, {1, 255, -1, 255}};
  for (const Case& c : cases) {
    const CDigitalSensor sensor("Test            ", nullptr, kSensorError, c.invert);
    uint32_t ulLevel = c.level;
    EXPECT_EQ(sensor.ApplyInvert(&ulLevel), c.result) << c.invert << "/" << c.level;
    EXPECT_EQ(ulLevel, c.out) << c.invert << "/" << c.level;
  }
}

TEST_F(DigitalSensors, ReadsGiveThePortBitThroughThePolarity) {
  struct Case {
    uint16_t word;
    uint32_t invert;
    uint32_t level;
  };
  const Case cases[] = {{0x0008, 0, 1}, {0x0000, 0, 0}, {0x0008, 1, 0}, {0xFFF7, 1, 1}};
  for (const Case& c : cases) {
    Fpga().SetInputWord(1, c.word);
    InApp([&c] {
      CInputPortWord port(kIn1, 0x0008);
      CDigitalSensor sensor("Test            ", &port, kSensorError, c.invert);
      uint32_t ulRead = 99, ulStable = 99;
      EXPECT_EQ(sensor.Read(&ulRead), 0);
      EXPECT_EQ(sensor.ReadStable(&ulStable), 0);
      EXPECT_EQ(ulRead, c.level) << c.word << "/" << c.invert;
      EXPECT_EQ(ulStable, c.level) << c.word << "/" << c.invert;
      EXPECT_FALSE(ErrorRaised());
    });
  }
}

TEST_F(DigitalSensors, ABouncingInputReadsAsUnstableWithoutAnError) {
  static uint32_t s_ulReads;
  s_ulReads = 0;
  Fpga().SetInputSource(1, [] { return static_cast<uint16_t>((++s_ulReads & 1u) != 0 ? 0x0008 : 0); });
  InApp([] {
    CInputPortWord port(kIn1, 0x0008);
    CDigitalSensor sensor("Test            ", &port, kSensorError, 1);
    uint32_t ulLevel = 0;
    EXPECT_EQ(sensor.Read(&ulLevel), 1);
    EXPECT_EQ(ulLevel, 255u);
    EXPECT_FALSE(ErrorRaised());
  });
}

TEST_F(DigitalSensors, APortWithoutBitsRaisesTheSensorsErrorAtEveryRead) {
  InApp([] {
    CInputPortWord port(kIn1, 0x0000);
    CDigitalSensor sensor("Test            ", &port, kSensorError, 0);
    using ReadFn = int32_t (CDigitalSensor::*)(uint32_t*);
    for (ReadFn read : {&CDigitalSensor::Read, &CDigitalSensor::ReadStable, &CDigitalSensor::Read}) {
      g_ErrorMng.ClearError(kSensorError);
      uint32_t ulLevel = 7;
      EXPECT_EQ((sensor.*read)(&ulLevel), -1);
      EXPECT_EQ(ulLevel, 7u) << "the level stays";
      EXPECT_TRUE(ErrorRaised());
    }
  });
}

TEST_F(DigitalSensors, TheTestScreenShowsOnOrOffUntilClear) {
  struct Case {
    uint16_t word;
    uint32_t invert;
    const char* text;
  };
  const Case cases[] = {
      {0x0008, 0, "FrontCover   :ON"}, {0x0008, 1, "FrontCover  :OFF"}, {0x0000, 0, "FrontCover  :OFF"}};
  for (const Case& c : cases) {
    Fpga().SetInputWord(1, c.word);
    Start([&c] {
      static CInputPortWord s_port;
      hal::ConstructGlobal(s_port, kIn1, 0x0008u);
      CDigitalSensor sensor("FrontCover      ", &s_port, kSensorError, c.invert);
      EXPECT_EQ(sensor.TestScreen(), 0);
    });
    EXPECT_TRUE(RunUntilShown(c.text)) << Lcd().Visible();
    Keys().Tap(PanelKey::Enter, Ms(100), Ms(10));
    RunFor(Ms(300));
    EXPECT_TRUE(g_app.bBusy) << "other keys are ignored";
    Keys().Tap(PanelKey::Clear, Ms(100), Ms(10));
    EXPECT_TRUE(Finish(Ms(1000)));
  }
}

}  // namespace
}  // namespace paneltest
