// Test rig of the service screens: a printer whose application runs the
// screen a test starts, with the panel's keys and LCD at hand and helpers
// that tap keys, wait for texts and read settings.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "firmware/control/control_test_rig.h"
#include "firmware/control/lcd.h"
#include "firmware/devices/parameter.h"

namespace servicescreens {

using controltest::Ms;
using controltest::PanelKey;
using controltest::PanelLed;

class ServiceScreenTest : public controltest::ControlTest {
 protected:
  void SetUp() override {
    ControlTest::SetUp();
    InApp([] {
      g_Lcd.Init();
      g_Lcd.PowerOn();
    });
  }
  // Starts a screen in the application task; Done() tells when it ended.
  void Launch(std::function<void()> job) {
    m_bDone = false;
    m_launchedAt = m_machine->Now();
    hostiftest::g_app.jobs.push_back([this, job = std::move(job)] {
      job();
      m_bDone = true;
    });
  }
  bool Done() const { return m_bDone; }
  bool RunToDone(sim::Nanos limit) {
    m_machine->RunUntil([this] { return m_bDone; }, limit);
    return m_bDone;
  }
  // Milliseconds since the last launch.
  uint64_t SinceLaunchMs() const { return (m_machine->Now() - m_launchedAt) / sim::kNsPerMs; }
  bool RunUntilShown(const std::string& text, sim::Nanos limit = Ms(3000)) {
    m_machine->RunUntil([&] { return Lcd().Visible() == text; }, limit);
    return Lcd().Visible() == text;
  }
  // A key held well past the key manager's acceptance and released, then
  // time for the screen to act on it. The press comes 50 ms after the call,
  // so a screen that has just begun to poll sees the keys up first.
  void Tap(PanelKey key) {
    Keys().Tap(key, Ms(200), Ms(50));
    m_machine->RunFor(Ms(350));
  }
  // Taps the key and expects the text afterwards.
  void TapExpect(PanelKey key, const std::string& expected) {
    Tap(key);
    EXPECT_TRUE(RunUntilShown(expected, Ms(1000))) << "shown: |" << Lcd().Visible() << "| expected |" << expected << "|";
  }
  // Every distinct screen shown since the last launch, in order.
  std::vector<std::string> ScreensSinceLaunch() const {
    std::vector<std::string> texts;
    for (const auto& s : const_cast<ServiceScreenTest*>(this)->Lcd().Screens()) {
      if (s.at >= m_launchedAt && (texts.empty() || texts.back() != s.text)) texts.push_back(s.text);
    }
    return texts;
  }
  bool WasShownSinceLaunch(const std::string& text) const {
    for (const std::string& s : ScreensSinceLaunch()) {
      if (s == text) return true;
    }
    return false;
  }
  static int32_t Value(const CParameter& param) {
    int32_t lValue = 0;
    param.GetValue(&lValue);
    return lValue;
  }

 private:
  bool m_bDone = false;
  sim::Nanos m_launchedAt = 0;
};

}  // namespace servicescreens
