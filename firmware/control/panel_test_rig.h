// Test rig of the operator panel: one printer per test whose application
// task runs the jobs a test hands it, with the panel's LCD controller, keys
// and LEDs of the virtual board at hand.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>

#include "firmware/control/lcd.h"
#include "firmware/hal/hw.h"
#include "firmware/hal/kernel.h"
#include "firmware/platform/time_base.h"
#include "sim/fpga/fpga_main_block.h"
#include "sim/panel/panel.h"
#include "sim/soc/gpio.h"
#include "tests/support/machine_test.h"

namespace paneltest {

using sim::PanelKey;
using sim::PanelLed;
using testsupport::Ms;

// Start-up with a freshly formatted EEPROM (every cell writes its default).
constexpr sim::Nanos kBootLimit = Ms(60000);

struct AppJobs {
  std::deque<std::function<void()>> jobs;
  bool bReady = false;
  bool bBusy = false;
};
inline AppJobs g_app;

inline void AppEntry() {
  g_Lcd.Init();
  g_Lcd.PowerOn();
  g_app.bReady = true;
  for (;;) {
    if (g_app.jobs.empty()) {
      CpuRelax();
      continue;
    }
    auto job = std::move(g_app.jobs.front());
    g_app.jobs.pop_front();
    job();
    g_app.bBusy = false;
  }
}

// The application's time in ms.
inline uint32_t NowMs() { return g_MsTimer.NowMs(); }

class PanelTest : public testsupport::MachineTest {
 protected:
  void SetUp() override { BootPanel({}); }
  // Boots the printer of `options` with the rig's application.
  void BootPanel(sim::MachineOptions options) {
    options.appEntry = AppEntry;
    Boot(std::move(options));
    m_machine->RunUntil([] { return g_app.bReady; }, kBootLimit);
    ASSERT_TRUE(g_app.bReady);
  }

  sim::LcdController& Lcd() { return *m_machine->GetBoard().FindDevice<sim::LcdController>(); }
  sim::PanelKeys& Keys() { return *m_machine->GetBoard().FindDevice<sim::PanelKeys>(); }
  sim::PanelLeds& Leds() { return *m_machine->GetBoard().FindDevice<sim::PanelLeds>(); }
  sim::GpioController& Gpio() { return *m_machine->GetBoard().FindDevice<sim::GpioController>(); }
  sim::FpgaMainBlock& Fpga() { return *m_machine->GetBoard().FindDevice<sim::FpgaMainBlock>(); }

  // Hands a job to the application and returns at once.
  void Start(std::function<void()> job) {
    g_app.bBusy = true;
    g_app.jobs.push_back(std::move(job));
  }
  // Runs until the job handed last has ended.
  bool Finish(sim::Nanos limit) {
    m_machine->RunUntil([] { return !g_app.bBusy; }, limit);
    return !g_app.bBusy;
  }
  void InApp(std::function<void()> job, sim::Nanos limit = Ms(5000)) {
    Start(std::move(job));
    EXPECT_TRUE(Finish(limit)) << "the application job did not end";
  }
  // Runs until the LCD shows `text`.
  bool RunUntilShown(const std::string& text, sim::Nanos limit = Ms(2000)) {
    m_machine->RunUntil([&] { return Lcd().Visible() == text; }, limit);
    return Lcd().Visible() == text;
  }
  void RunFor(sim::Nanos duration) { m_machine->RunFor(duration); }
};

}  // namespace paneltest
