// The paper-roll menu's entries worked by key presses on a printer at
// "Ready": "To Right", "To Left" and "To Neutral" each turn the carousel
// there, the first after finding its position by the homing.
#include <gtest/gtest.h>

#include "firmware/control/menu.h"
#include "firmware/devices/parameter.h"
#include "firmware/devices/settings.h"
#include "firmware/mechanism/roll_rotation.h"
#include "sim/panel/panel.h"
#include "tests/support/carousel.h"

namespace {

using carouseltest::CarouselPrinter;
using sim::CarouselPosition;
using sim::PanelKey;
using testsupport::Ms;

constexpr int32_t kNotRun = 9;
int32_t g_lMenuResult = kNotRun;
void TurnFromMenu() { g_lMenuResult = TurnPaperRollFromMenu(); }

const char* const kLabels[] = {nullptr, "To Right        ", "To Left         ", "To Neutral      ", nullptr};
const MenuHandler kHandlers[] = {SelectFirstMenuItem, TurnFromMenu, TurnFromMenu, TurnFromMenu};
const MenuDesc kPaperRollMenu = {kLabels, kHandlers};

class PaperRollMenu : public CarouselPrinter {
 protected:
  void SetUp() override { BootReady(sim::EngineVariant::EM3); }
  sim::PanelKeys& Keys() { return *m_machine->GetBoard().FindDevice<sim::PanelKeys>(); }
  bool Shown(const char* pszText) {
    m_machine->RunUntil([&] { return Lcd().Visible() == pszText; }, Ms(2000));
    return Lcd().Visible() == pszText;
  }
};

TEST_F(PaperRollMenu, EachEntryTurnsTheCarouselToItsPosition) {
  bool bLeft = false;
  m_machine->AtNextPass([&] {
    RunMenu(&kPaperRollMenu, 0);
    bLeft = true;
  });
  struct Entry {
    const char* pszLabel;
    CarouselPosition at;
  };
  const Entry entries[] = {{"To Right        ", CarouselPosition::Right},
                           {"To Left         ", CarouselPosition::Left},
                           {"To Neutral      ", CarouselPosition::Neutral}};
  for (const Entry& e : entries) {
    SCOPED_TRACE(e.pszLabel);
    ASSERT_TRUE(Shown(e.pszLabel)) << Lcd().Visible();
    g_lMenuResult = kNotRun;
    Keys().Tap(PanelKey::Enter, Ms(200), Ms(60));
    m_machine->RunUntil([] { return g_lMenuResult != kNotRun; }, Ms(30000));
    EXPECT_EQ(g_lMenuResult, 0);
    EXPECT_EQ(Carousel().At(), e.at);
    EXPECT_EQ(SettingValue(g_ParamRotationFlag), static_cast<int32_t>(e.at));
    EXPECT_TRUE(Carousel().Locked());
    m_machine->RunFor(Ms(300));
    Keys().Tap(PanelKey::Menu, Ms(200), Ms(60));
  }
  ASSERT_TRUE(Shown("To Right        "));
  Keys().Tap(PanelKey::Clear, Ms(200), Ms(60));
  m_machine->RunUntil([&] { return bLeft; }, Ms(1000));
  EXPECT_TRUE(bLeft);
}

}  // namespace
