// A ready sample printer whose service menus a test works from the panel:
// a menu runs as a step of the application task, the test presses keys and
// reads the LCD after each.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "sim/panel/panel.h"
#include "tests/support/machine_test.h"

namespace servicepanel {

using sim::PanelKey;
using testsupport::Ms;

// '?' in an expected text stands for any character (a value the state
// decides).
inline bool TextMatches(const std::string& expected, const std::string& shown) {
  if (expected.size() != shown.size()) return false;
  for (size_t i = 0; i < expected.size(); ++i) {
    if (expected[i] != '?' && expected[i] != shown[i]) return false;
  }
  return true;
}

class ServicePanelTest : public testsupport::MachineTest {
 protected:
  void SetUp() override {
    BootNewPrinter();
    m_machine->RunUntil([this] { return Lcd().Visible() == testsupport::kReadyLine; },
                        testsupport::kSettleToReady + testsupport::kFirstBootFormat);
    ASSERT_EQ(Lcd().Visible(), testsupport::kReadyLine);
  }
  sim::LcdController& Lcd() { return *m_machine->GetBoard().FindDevice<sim::LcdController>(); }
  sim::PanelKeys& Keys() { return *m_machine->GetBoard().FindDevice<sim::PanelKeys>(); }
  std::string Visible() { return Lcd().Visible(); }

  // Runs `menu` in the application task; Done() tells when it returned.
  void Open(std::function<void()> menu) {
    m_bDone = false;
    m_machine->AtNextPass([this, menu] {
      menu();
      m_bDone = true;
    });
    m_machine->RunFor(Ms(300));
  }
  bool Done() const { return m_bDone; }
  // One key tap (the key manager takes Enter only when it was held for
  // more than 100 ms), then time for the screen it leads to; a key pressed
  // before a screen polls the keys counts only after its release.
  void Tap(PanelKey key) {
    Keys().Tap(key, Ms(150));
    m_machine->RunFor(Ms(700));
  }
  // Presses Menu until `text` shows (at most `presses` times).
  bool MenuTo(const std::string& text, int presses = 40) {
    for (int i = 0; i < presses && !TextMatches(text, Visible()); ++i) Tap(PanelKey::Menu);
    return TextMatches(text, Visible());
  }
  // Clear until the menu step returned.
  bool LeaveAll(int presses = 8) {
    for (int i = 0; i < presses && !m_bDone; ++i) Tap(PanelKey::Clear);
    m_machine->RunUntil([this] { return m_bDone; }, Ms(500));
    return m_bDone;
  }
  // The screens shown by pressing `key` n times from the one shown now,
  // that one first.
  std::vector<std::string> Cycle(size_t n, PanelKey key = PanelKey::Menu) {
    std::vector<std::string> seen{Visible()};
    for (size_t i = 0; i < n; ++i) {
      Tap(key);
      seen.push_back(Visible());
    }
    return seen;
  }

  bool m_bDone = true;
};

}  // namespace servicepanel
