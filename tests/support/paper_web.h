// The paper web as the system tests see it: a new printer of an engine
// variant showing "Ready" with the photo sensors reading the web again (at
// rest: threaded to "Position" on path L), feeds run in the main loop, and
// the steppers' and sensors' states read there.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "firmware/devices/analog_sensor.h"
#include "firmware/devices/stepper.h"
#include "sim/fpga/cis_window.h"
#include "sim/mechanism/paper_web_mechanism.h"
#include "tests/support/carousel.h"
#include "tests/support/paper_roll.h"

namespace webtest {

using testsupport::Ms;

// The main stepper's direction flags that move the web on path L.
constexpr uint32_t kForward = 0, kBackward = 1;

inline std::string VariantName(const ::testing::TestParamInfo<sim::EngineVariant>& info) {
  return sim::ToString(info.param);
}

class WebPrinter : public carouseltest::CarouselPrinter {
 protected:
  void BootWeb(sim::EngineVariant variant) {
    BootReady(variant);
    Inputs().ClearPaperOverrides();
  }
  sim::PaperWebMechanism& WebDevice() { return *m_machine->GetBoard().FindDevice<sim::PaperWebMechanism>(); }
  const sim::PaperWeb& Web() { return WebDevice().Web(); }
  // Runs a feed in the main loop; its result (9 when it did not end).
  int32_t Run(const std::function<int32_t()>& feed, sim::Nanos limit = Ms(30000)) {
    int32_t lResult = 9;
    EXPECT_TRUE(InLoop([&] { lResult = feed(); }, limit));
    return lResult;
  }
  static int32_t StateOf(const CStpmtr& motor) {
    int32_t lState = -1;
    motor.GetState(&lState);
    return lState;
  }
  static uint32_t Countdown(const CStpmtr& motor) {
    uint32_t ulCount = 0;
    motor.GetCountdown(&ulCount);
    return ulCount;
  }
  static uint32_t Sensor(CAnalogSensor& sensor) {
    uint32_t ulState = 9;
    sensor.GetState(&ulState);
    return ulState;
  }
  // The sensor's state as the main loop reads it.
  uint32_t SensorNow(CAnalogSensor& sensor) {
    uint32_t ulState = 9;
    InLoop([&] { ulState = Sensor(sensor); });
    return ulState;
  }
  void StopSteppers() {
    InLoop([] {
      g_StpmtrMain.Halt();
      g_StpmtrSub.Halt();
    });
  }
};

}  // namespace webtest

namespace paperwebtest {

using testsupport::Ms;

// The web as the tests of the paper moves, the roll-encoder checks and the
// CIS tuning see it: also the CIS window, and what the placeholders the
// moves call were asked.
class PaperWebPrinter : public webtest::WebPrinter {
 protected:
  // A new printer of the variant showing "Ready", every photo sensor on
  // the web, nothing asked of the placeholders yet.
  void BootOnTheWeb(sim::EngineVariant variant) {
    BootWeb(variant);
    testsupport::ForgetRollSettings();
    testsupport::ForgetFeedMatchedRamps();
  }
  sim::CisWindow& Cis() { return *m_machine->GetBoard().FindDevice<sim::CisWindow>(); }
  // Runs a primitive in the main loop; 9 when it did not end in time.
  int32_t Run(const std::function<int32_t()>& primitive, sim::Nanos limit = Ms(60000)) {
    return WebPrinter::Run(primitive, limit);
  }
};

}  // namespace paperwebtest
