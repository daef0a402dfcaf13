// A printer showing "Ready" with its paper web threaded, as the tests of
// the paper moves, the roll-encoder checks and the CIS tuning see it: the
// web and its fault switches, the CIS window, steps run in the main loop,
// and what the placeholders the moves call were asked.
#pragma once

#include <gtest/gtest.h>

#include <functional>

#include "firmware/devices/stepper.h"
#include "firmware/printengine/cis_placeholder.h"
#include "sim/fpga/cis_window.h"
#include "sim/mechanism/paper_web_mechanism.h"
#include "tests/support/carousel.h"
#include "tests/support/paper_roll.h"

namespace paperwebtest {

using testsupport::Ms;

class PaperWebPrinter : public carouseltest::CarouselPrinter {
 protected:
  // A new printer of the variant showing "Ready", every photo sensor on
  // the web, nothing asked of the placeholders yet.
  void BootOnTheWeb(sim::EngineVariant variant) {
    BootReady(variant);
    Inputs().ClearPaperOverrides();
    testsupport::ForgetRollSettings();
    testsupport::ForgetFeedMatchedRampCalls();
    g_CisCalls = PlaceholderCisCalls{};
  }
  sim::PaperWebMechanism& WebDevice() { return *m_machine->GetBoard().FindDevice<sim::PaperWebMechanism>(); }
  const sim::PaperWeb& Web() { return WebDevice().Web(); }
  sim::CisWindow& Cis() { return *m_machine->GetBoard().FindDevice<sim::CisWindow>(); }
  // Runs a primitive in the main loop; 9 when it did not end in time.
  int32_t Run(std::function<int32_t()> primitive, sim::Nanos limit = Ms(60000)) {
    int32_t lResult = 9;
    EXPECT_TRUE(InLoop([&] { lResult = primitive(); }, limit));
    return lResult;
  }
  static int32_t StateOf(const CStpmtr& motor) {
    int32_t lState = -1;
    motor.GetState(&lState);
    return lState;
  }
  void StopSteppers() {
    InLoop([] {
      g_StpmtrMain.Halt();
      g_StpmtrSub.Halt();
    });
  }
};

}  // namespace paperwebtest
