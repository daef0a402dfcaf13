// Analog sensors on the board's A/D converter: the conversions of one
// sampling, the slice comparison, the colour-sensor select bit, a failing
// conversion, and the voltage screen.
#include "firmware/devices/analog_sensor.h"

#include <vector>

#include "firmware/control/panel_test_rig.h"
#include "firmware/devices/parameter.h"
#include "sim/fpga/fpga_main_block.h"

namespace paneltest {
namespace {

constexpr uint32_t kChannel = 0x35;  // multiplexer 3, channel 5: no mechanism sensor

class AnalogSensors : public PanelTest {
 protected:
  sim::FpgaMainBlock& Fpga() { return *m_machine->GetBoard().FindDevice<sim::FpgaMainBlock>(); }
};

struct Conversion {
  uint32_t channel;
  bool bColorL;
};

TEST_F(AnalogSensors, ASamplingTakesNineOrTwentyFiveConversionsOnItsChannel) {
  static std::vector<Conversion> s_conversions;
  Fpga().SetAnalogSource([](uint32_t channel, bool bColorL) {
    s_conversions.push_back({channel, bColorL});
    return static_cast<uint16_t>(100 + s_conversions.size());
  });
  struct Case {
    uint32_t doubleRead;
    uint32_t mode;
    size_t conversions;
    uint32_t average;
  };
  // Single reads keep conversions 2-9 (102..109); double reads keep 2, 5, ... 23.
  const Case cases[] = {{0, 0, 9, (102 + 109) * 8 / 2 / 8}, {1, 32, 25, (102 + 123) * 8 / 2 / 8}, {0, 32, 9, 105}};
  for (const Case& c : cases) {
    s_conversions.clear();
    InApp([&c] {
      CAnalogSensor sensor("Test            ", c.mode, kChannel, nullptr, c.doubleRead);
      uint32_t ulAverage = 0, ulLast = 0;
      EXPECT_EQ(sensor.Sample(&ulAverage), 0);
      EXPECT_EQ(ulAverage, c.average) << c.doubleRead;
      sensor.GetLastAverage(&ulLast);
      EXPECT_EQ(ulLast, c.average);
    });
    ASSERT_EQ(s_conversions.size(), c.conversions) << c.doubleRead;
    for (const Conversion& conv : s_conversions) {
      EXPECT_EQ(conv.channel, kChannel);
      EXPECT_EQ(conv.bColorL, c.mode == CAnalogSensor::kModeColorSensorL) << "mode " << c.mode;
    }
  }
}

TEST_F(AnalogSensors, TheStateIsOnOnlyAboveTheSliceLevel) {
  struct Case {
    uint16_t level;
    uint32_t state;
  };
  for (const Case& c : {Case{403, 0}, Case{404, 1}, Case{0, 0}, Case{1023, 1}}) {
    Fpga().SetAnalogValue(kChannel, c.level);
    InApp([&c] {
      CParameter slice("Slice           ", 0, 255, nullptr, nullptr, nullptr, 100);
      CAnalogSensor sensor("Test            ", 0, kChannel, &slice, 0);
      uint32_t ulState = 9;
      EXPECT_EQ(sensor.GetState(&ulState), 0);
      EXPECT_EQ(ulState, c.state) << c.level;
    });
  }
}

// A converter whose n-th conversion fails.
struct FailingConverter {
  uint32_t ulFailAt;
  uint32_t ulValue;
  mutable uint32_t ulCount = 0;
  int32_t Convert(uint32_t, uint32_t* pulValue) const {
    if (++ulCount == ulFailAt) return -2;
    *pulValue = ulValue;
    return 0;
  }
};

TEST_F(AnalogSensors, AFailingConversionEndsTheSamplingWithItsResult) {
  InApp([] {
    CAnalogSensor sensor("Test            ", 0, kChannel, nullptr, 0);
    uint32_t ulAverage = 0;
    ASSERT_EQ(sensor.SampleWith(FailingConverter{0, 200}, &ulAverage), 0);
    ASSERT_EQ(ulAverage, 200u);

    // The discarded conversion fails: no sample is taken.
    FailingConverter dummyFails{1, 800};
    EXPECT_EQ(sensor.SampleWith(dummyFails, &ulAverage), -2);
    EXPECT_EQ(dummyFails.ulCount, 1u);
    EXPECT_EQ(ulAverage, 200u) << "the mean of the previous samples";

    // The fourth sample fails: three new ones, five old ones.
    FailingConverter fourthFails{5, 800};
    EXPECT_EQ(sensor.SampleWith(fourthFails, &ulAverage), -2);
    EXPECT_EQ(fourthFails.ulCount, 5u);
    EXPECT_EQ(ulAverage, (3u * 800 + 5u * 200) / 8);
  });
}

TEST_F(AnalogSensors, MillivoltsAndTheVoltageScreen) {
  struct Case {
    uint16_t raw;
    uint32_t millivolts;
    const char* text;
  };
  for (const Case& c : {Case{0, 0, "Position   0.00V"}, Case{512, 2252, "Position   2.25V"},
                        Case{1023, 4500, "Position   4.50V"}}) {
    uint32_t ulMillivolts = 1;
    EXPECT_EQ(CAnalogSensor::ToMillivolts(c.raw, &ulMillivolts), 0);
    EXPECT_EQ(ulMillivolts, c.millivolts);
    Fpga().SetAnalogValue(kChannel, c.raw);
    Start([] {
      CAnalogSensor sensor("Position        ", 0, kChannel, nullptr, 0);
      EXPECT_EQ(sensor.ShowVoltage(), 0);
    });
    EXPECT_TRUE(RunUntilShown(c.text)) << Lcd().Visible();
    Keys().Tap(PanelKey::Enter, Ms(100), Ms(10));
    EXPECT_TRUE(Finish(Ms(1000)));
  }
}

}  // namespace
}  // namespace paneltest
