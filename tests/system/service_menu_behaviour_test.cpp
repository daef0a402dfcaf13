// The service menus' choices worked on the panel of a ready printer: the
// switch menus store, preselect and apply; "Auto Diagnostics" closes every
// menu before the diagnosis runs; the User Mode pages show the printer's
// state and store the user settings.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "firmware/control/app_startup.h"
#include "firmware/control/engine_variant.h"
#include "firmware/control/error_manager.h"
#include "firmware/control/event_set.h"
#include "firmware/control/host_status_table.h"
#include "firmware/control/menu.h"
#include "firmware/control/power_save.h"
#include "firmware/devices/life_counters.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/mechanism/donor_mng_color.h"
#include "firmware/mechanism/ribbon_roll.h"
#include "firmware/printengine/dsp_link.h"
#include "firmware/printengine/print_geometry.h"
#include "firmware/printengine/print_size.h"
#include "firmware/printengine/roll_diameter.h"
#include "firmware/service/service_menu_trees.h"
#include "firmware/service/service_menus.h"
#include "firmware/service/user_info_pages.h"
#include "sim/memory/nor_flash.h"
#include "tests/support/service_panel.h"

namespace {

using servicepanel::PanelKey;
using testsupport::Ms;

constexpr uint32_t kUpperUnitL = 0x603;
constexpr uint32_t kUpperUnitR = 0x604;
constexpr uint32_t kFlashBase = 0x60000000u;

int32_t Value(const CParameter& setting) {
  int32_t lValue = 0;
  setting.GetValue(&lValue);
  return lValue;
}

bool ErrorSet(uint32_t ulIndex) {
  uint32_t ulFlag = 0;
  g_ErrorMng.IsErrorSet(ulIndex, &ulFlag);
  return ulFlag != 0;
}

class ServiceMenuBehaviour : public servicepanel::ServicePanelTest {
 protected:
  // Opens the menu, enters each text of the path with Enter.
  void Walk(std::function<void()> menu, std::initializer_list<const char*> path) {
    Open(std::move(menu));
    for (const char* pszStep : path) {
      ASSERT_TRUE(MenuTo(pszStep)) << "no \"" << pszStep << "\": \"" << Visible() << "\"";
      Tap(PanelKey::Enter);
    }
  }
  // In a switch menu: Menu to the item, Enter, and the 500 ms of the blank
  // line.
  void Choose(const char* pszItem) {
    ASSERT_TRUE(MenuTo(pszItem)) << Visible();
    Tap(PanelKey::Enter);
    m_machine->RunFor(Ms(600));
  }
  void Step(std::function<void()> step) { ASSERT_TRUE(m_machine->RunStep(std::move(step), Ms(2000))); }
};

// ---- switch menus -----------------------------------------------------------------------

TEST_F(ServiceMenuBehaviour, SwitchMenuStoresTheChoiceAndPreselectsItNextTime) {
  Step([] { g_ParamPreheatSW.SetValue(1); });
  Walk(RunSystemSetupMenu, {"PrintParam Set  ", "Preheat OnOff SW"});
  EXPECT_EQ(Visible(), "Preheat     : ON");  // the stored 1
  Choose("Preheat     :OFF");
  EXPECT_EQ(Value(g_ParamPreheatSW), 0);
  EXPECT_EQ(Visible(), "Preheat     :OFF");
  Tap(PanelKey::Clear);
  ASSERT_EQ(Visible(), "Preheat OnOff SW");
  Tap(PanelKey::Enter);
  EXPECT_EQ(Visible(), "Preheat     :OFF");
  ASSERT_TRUE(LeaveAll());
}

TEST_F(ServiceMenuBehaviour, EngineVersionIsStoredAndTheVariantSelectedBeforeTheMenuShowsAgain) {
  // A variant pointer cleared just before the menu opens comes back only
  // through the variant selection.
  Walk([] {
    g_pProllMain = nullptr;
    RunSystemSetupMenu();
  }, {"MechaParam Set  ", "Engine Version  "});
  EXPECT_EQ(Visible(), "Eng: MP         ");  // the default 5
  ASSERT_TRUE(MenuTo("Eng: PPM 3rd    "));
  Tap(PanelKey::Enter);
  // The blank line's 500 ms, the variant selection, the item again.
  m_machine->RunFor(Ms(800));
  ASSERT_EQ(Visible(), "Eng: PPM 3rd    ");
  EXPECT_EQ(Value(g_ParamEngineVersion), 4);
  EXPECT_NE(g_pProllMain, nullptr);
  Tap(PanelKey::Clear);
  Tap(PanelKey::Enter);
  EXPECT_EQ(Visible(), "Eng: PPM 3rd    ");
  ASSERT_TRUE(LeaveAll());
}

TEST_F(ServiceMenuBehaviour, FeedRollDiameterStoresBothSettingsAndRecomputesTheGeometry) {
  Step([] {
    g_ParamFeedRollDiam.SetValue(1);
    g_ParamStpLx1000.SetValue(2722);
    g_ParamWidthx100.SetValue(0);
  });
  Walk(RunSystemSetupMenu, {"MechaParam Set  ", "FeedRollDiameter"});
  EXPECT_EQ(Visible(), "FeedRollDiam  30");
  Choose("FeedRollDiam  20");
  EXPECT_EQ(Value(g_ParamFeedRollDiam), 0);
  EXPECT_EQ(Value(g_ParamStpLx1000), 4000);
  EXPECT_NE(g_PrintGeometry.WidthX100(), 0);
  EXPECT_EQ(Value(g_ParamWidthx100), g_PrintGeometry.WidthX100());
  Choose("FeedRollDiam  30");
  EXPECT_EQ(Value(g_ParamFeedRollDiam), 1);
  EXPECT_EQ(Value(g_ParamStpLx1000), 2722);
  ASSERT_TRUE(LeaveAll());
}

TEST_F(ServiceMenuBehaviour, PowerSaveTimeAppliesAtOnce) {
  const int32_t lBefore = Value(g_ParamPowerSaveTime);
  Walk(RunSystemSetupMenu, {"PrintParam Set  ", "Power Save Time "});
  Tap(PanelKey::Inc);
  Tap(PanelKey::Enter);
  // The editor stays open after Enter; its value counts when it is left.
  Tap(PanelKey::Clear);
  uint32_t ulMinutes = 0;
  g_PowerSave.GetMinutes(&ulMinutes);
  EXPECT_EQ(Value(g_ParamPowerSaveTime), lBefore + 1);
  EXPECT_EQ(static_cast<int32_t>(ulMinutes), lBefore + 1);
  ASSERT_TRUE(LeaveAll());
}

TEST_F(ServiceMenuBehaviour, DummyLineEditsLeaveTheCurrentUnitsValuesInThePrintSizeRecords) {
  ASSERT_EQ(GetCurrentUnit(), 0u);
  const int32_t lFrontYL = Value(g_ParamFrontDummyY8x10L);
  Walk(RunSystemSetupMenu, {"MechaParam Set  ", "Dummy Line      ", "8x10 Dummy L    ", "FrontDummyY     "});
  Tap(PanelKey::Inc);
  Tap(PanelKey::Enter);
  m_machine->RunFor(Ms(300));
  Tap(PanelKey::Clear);
  EXPECT_EQ(Value(g_ParamFrontDummyY8x10L), lFrontYL + 1);
  EXPECT_EQ(g_PrintSize8x10.aulFrontDummyLines[0], static_cast<uint32_t>(lFrontYL + 1));
  // Unit R's list: its setting changes, the records keep unit L's lines.
  Tap(PanelKey::Clear);
  ASSERT_TRUE(MenuTo("8x10 Dummy R    "));
  Tap(PanelKey::Enter);
  ASSERT_TRUE(MenuTo("RearDummyL      "));
  const int32_t lRearLR = Value(g_ParamRearDummyL8x10R);
  Tap(PanelKey::Enter);
  Tap(PanelKey::Inc);
  Tap(PanelKey::Enter);
  m_machine->RunFor(Ms(300));
  Tap(PanelKey::Clear);
  EXPECT_EQ(Value(g_ParamRearDummyL8x10R), lRearLR + 1);
  EXPECT_EQ(g_PrintSize8x10.aulRearDummyLines[3], static_cast<uint32_t>(Value(g_ParamRearDummyL8x10L)));
  EXPECT_EQ(g_PrintSize8x10.aulFrontDummyLines[0], static_cast<uint32_t>(lFrontYL + 1));
  ASSERT_TRUE(LeaveAll());
}

// ---- menu closing ---------------------------------------------------------------------

TEST_F(ServiceMenuBehaviour, AutoDiagnosticsClosesEveryMenuAndRunsAfterwards) {
  // The diagnosis is asked for by the event, which its action clears.
  const auto Asked = [] {
    uint32_t ulSet = 0;
    g_pCurEventMng->TestEvent(EV_AUTO_DIAG, &ulSet);
    return ulSet != 0;
  };
  // The Diagnostics menu opened from a menu around it.
  static const char* const kOuterLabels[] = {nullptr, "Around          ", nullptr};
  static const MenuHandler kOuterHandlers[] = {SelectFirstMenuItem, RunDiagnosticsMenu};
  static const MenuDesc kOuter = {kOuterLabels, kOuterHandlers};
  Walk([] { RunMenu(&kOuter, 0); }, {"Around          "});
  ASSERT_TRUE(MenuTo("Auto Diagnostics"));
  Keys().Tap(PanelKey::Enter, Ms(150));
  // Every menu returned with the diagnosis still to run.
  m_machine->RunUntil([this] { return Done(); }, Ms(1000));
  ASSERT_TRUE(Done());
  EXPECT_TRUE(Asked());
  m_machine->RunUntil([&] { return !Asked(); }, Ms(2000));
  EXPECT_FALSE(Asked());
}

// ---- User Mode pages --------------------------------------------------------------------

TEST_F(ServiceMenuBehaviour, UserPagesShowPaperPrintedCountAndTheThreePartDspVersion) {
  struct Case {
    uint32_t ulPaperPercent;
    const char* pszPaper;
  };
  for (const Case& c : {Case{5, "Paper  =    5[%]"}, Case{100, "Paper  =  100[%]"}}) {
    SCOPED_TRACE(c.pszPaper);
    const uint32_t ulWanted = c.ulPaperPercent;
    bool bFound = false;
    Open([&bFound, ulWanted] {
      for (double d = CRollDiameter::kCoreDiameterMm; d <= CRollDiameter::kFullDiameterMm + 0.01 && !bFound; d += 0.02) {
        g_RollDiameter.SetDiameter(d);
        g_RollDiameter.Recalc();
        uint32_t ulPercent = 0;
        g_RollDiameter.GetRemainPercent(&ulPercent);
        bFound = ulPercent == ulWanted;
      }
      g_CounterTotal.Write(1234567);
      ShowInfoScreen();
    });
    ASSERT_TRUE(bFound);
    ASSERT_TRUE(MenuTo(c.pszPaper)) << Visible();
    Tap(PanelKey::Menu);
    EXPECT_EQ(Visible(), "Printed  =234567");
    ASSERT_TRUE(LeaveAll());
  }
  // A DSP program whose version has a third number.
  m_machine->GetBoard().FindDevice<sim::NorFlash>()->LoadImage(
      DSP_INFO_FLASH - kFlashBase + DSP_INFO_VERSION_MAJOR, "020301", 6);
  Open(ShowInfoScreen);
  EXPECT_TRUE(MenuTo("DSP    =02.03.01")) << Visible();
  ASSERT_TRUE(LeaveAll());
}

// Every change of the ribbon combination, by the old and new "Ribbon
// Status", and the upper units it asks to open and close.
TEST_F(ServiceMenuBehaviour, RibbonCombinationRaisesTheUpperUnitErrorsOfItsChange) {
  const char* const kItems[] = {"Donor   :YMC-YMC", "Donor   :YMC-SP ", "Donor   :YMC-***", "Donor   :***-YMC"};
  struct Cell {
    bool bL, bR;
  };
  const Cell kNone{false, false}, kL{true, false}, kR{false, true}, kLR{true, true};
  const Cell kCells[4][4] = {
      {kNone, kR, kNone, kNone},
      {kR, kNone, kNone, kR},
      {kR, kR, kNone, kR},
      {kL, kLR, kL, kNone},
  };
  for (int32_t lOld = 0; lOld < 4; ++lOld) {
    for (int32_t lNew = 0; lNew < 4; ++lNew) {
      SCOPED_TRACE(std::string(kItems[lOld]) + " -> " + kItems[lNew]);
      Step([lOld] {
        g_ErrorMng.ClearError(kUpperUnitL);
        g_ErrorMng.ClearError(kUpperUnitR);
        g_ParamRibbonStatus.SetValue(lOld);
      });
      Open(ShowInfoScreen);
      ASSERT_TRUE(MenuTo("Donor Mode      ")) << Visible();
      Tap(PanelKey::Enter);
      EXPECT_EQ(Visible(), kItems[lOld]);  // preselected
      for (int i = 0; i < 4 && Visible() != kItems[lNew]; ++i) Tap(PanelKey::Inc);
      ASSERT_EQ(Visible(), kItems[lNew]);
      Tap(PanelKey::Enter);
      m_machine->RunFor(Ms(600));
      EXPECT_EQ(Value(g_ParamRibbonStatus), lNew);
      EXPECT_EQ(ErrorSet(kUpperUnitL), kCells[lOld][lNew].bL);
      EXPECT_EQ(ErrorSet(kUpperUnitR), kCells[lOld][lNew].bR);
      ASSERT_TRUE(LeaveAll());
    }
  }
}

TEST_F(ServiceMenuBehaviour, RibbonSizeAlreadySelectedChangesNothing) {
  Step([] {
    g_ParamEngineVersion.SetValue(1);
    g_ulDonorSelect = 0;
    // Unit R's manager is current: choosing the same size leaves it so.
    g_pDonorMng = &g_DonorMngColorSenR;
  });
  Open(ShowInfoScreen);
  ASSERT_TRUE(MenuTo("Donor Size      "));
  Tap(PanelKey::Enter);
  EXPECT_EQ(Visible(), "Donor Size :8x10");
  Tap(PanelKey::Enter);
  m_machine->RunFor(Ms(400));
  EXPECT_TRUE(m_machine->Logged("[usermenu] g_ulDonorSelect = 0"));
  EXPECT_EQ(g_ulDonorSelect, 0u);
  EXPECT_EQ(g_pDonorMng, &g_DonorMngColorSenR);
  EXPECT_FALSE(ErrorSet(kUpperUnitL));
  EXPECT_FALSE(ErrorSet(kUpperUnitR));
  // A new size: unit L's manager and roll model of that size, both units.
  Tap(PanelKey::Inc);
  ASSERT_EQ(Visible(), "Donor Size :8x12");
  Tap(PanelKey::Enter);
  m_machine->RunFor(Ms(400));
  EXPECT_TRUE(m_machine->Logged("[usermenu] g_ulDonorSelect = 1"));
  EXPECT_EQ(g_ulDonorSelect, 1u);
  EXPECT_EQ(g_pDonorMng, &g_DonorMngColorSenL);
  EXPECT_EQ(g_pRibbonRoll, &g_RibbonRolls.color8x12K1L);
  EXPECT_TRUE(ErrorSet(kUpperUnitL));
  EXPECT_TRUE(ErrorSet(kUpperUnitR));
  ASSERT_TRUE(LeaveAll());
}

TEST_F(ServiceMenuBehaviour, PreventAccessOnlyWithEnter) {
  struct Case {
    PanelKey key;
    int32_t lKeyEnable;
    bool bClosed;
  };
  for (const Case& c : {Case{PanelKey::Clear, 1, false}, Case{PanelKey::Menu, 1, false}, Case{PanelKey::Enter, 0, true}}) {
    SCOPED_TRACE(static_cast<int>(c.key));
    Step([] { g_ParamKeyEnable.SetValue(1); });
    Open(ShowInfoScreen);
    ASSERT_TRUE(MenuTo("PreventAccessOCP"));
    Tap(PanelKey::Enter);
    EXPECT_EQ(Visible(), "Prevent OK?     ");
    Tap(c.key);
    EXPECT_EQ(Value(g_ParamKeyEnable), c.lKeyEnable);
    EXPECT_EQ(Done(), c.bClosed);
    if (c.bClosed) {
      EXPECT_EQ(GetStatusItem(SI_KEY_ENABLE), 0u);
    } else {
      EXPECT_EQ(Visible(), "PreventAccessOCP");
    }
    ASSERT_TRUE(LeaveAll());
  }
}

}  // namespace
