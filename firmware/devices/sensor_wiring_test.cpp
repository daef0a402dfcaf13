// The machine's sensors as wired: every switch sensor reads its own input
// bit through its polarity, and every A/D sensor converts its own channel,
// on the virtual board's FPGA.
#include "firmware/devices/sensors.h"

#include "firmware/control/panel_test_rig.h"
#include "sim/fpga/fpga_main_block.h"

namespace paneltest {
namespace {

constexpr uint32_t kFpgaInputBase = 0x64000000u;
constexpr uint32_t kFpgaInputWords = 4;

class SensorWiring : public PanelTest {
 protected:
  sim::FpgaMainBlock& Fpga() { return *m_machine->GetBoard().FindDevice<sim::FpgaMainBlock>(); }
};

TEST_F(SensorWiring, EverySwitchSensorReadsOnlyItsOwnBit) {
  for (const SwitchSensorWiring& w : g_aSwitchSensorWiring) {
    SCOPED_TRACE(w.pszLabel);
    const uint32_t ulWord = (w.ulRegister - kFpgaInputBase) / 2;
    ASSERT_LT(ulWord, kFpgaInputWords);
    const auto usBit = static_cast<uint16_t>(1u << w.ulBit);
    // Only its bit set, then every bit but its own: the sensor must follow
    // its bit alone, in every input word.
    for (const uint16_t usOwnWord : {usBit, static_cast<uint16_t>(~usBit)}) {
      for (uint32_t i = 0; i < kFpgaInputWords; ++i) {
        Fpga().SetInputWord(i, i == ulWord ? usOwnWord : static_cast<uint16_t>(~usOwnWord));
      }
      const uint32_t ulExpected = ((usOwnWord & usBit) != 0 ? 1u : 0u) ^ w.ulInvert;
      InApp([&w, ulExpected] {
        uint32_t ulLevel = 99;
        EXPECT_EQ(w.pSensor->Read(&ulLevel), 0);
        EXPECT_EQ(ulLevel, ulExpected);
      });
    }
  }
}

TEST_F(SensorWiring, EveryAdSensorConvertsItsOwnChannel) {
  // Each channel gives its own level; the colour sensor of unit L answers
  // only in its own mode.
  Fpga().SetAnalogSource([](uint32_t channel, bool bColorSensorL) {
    return static_cast<uint16_t>(100 + channel + (bColorSensorL ? 500 : 0));
  });
  for (const AdSensorWiring& w : g_aAdSensorWiring) {
    SCOPED_TRACE(w.pszLabel);
    const uint32_t ulExpected = 100 + w.ulChannel + (w.ulMode == CAnalogSensor::kModeColorSensorL ? 500 : 0);
    InApp([&w, ulExpected] {
      uint32_t ulAverage = 0;
      EXPECT_EQ(w.pSensor->Sample(&ulAverage), 0);
      EXPECT_EQ(ulAverage, ulExpected);
    });
  }
}

}  // namespace
}  // namespace paneltest
