// The confirmation screens on the panel: the CIS backup's two questions,
// the loads from the head units, the EEPROM backup switch, and the density
// menu's fans around the head thermistor's screen.
#include "firmware/service/reset_screens.h"

#include "firmware/devices/settings.h"
#include "firmware/platform/fpga_regs.h"
#include "firmware/service/head_info_screens.h"
#include "firmware/service/service_screen_rig.h"
#include "firmware/service/value_editors.h"
#include "sim/mechanism/dc_mechanism.h"
#include "sim/memory/board_eeproms.h"

namespace servicescreens {
namespace {

class ResetScreens : public ServiceScreenTest {
 protected:
  sim::DcMechanism& Mechanism() { return *m_machine->GetBoard().FindDevice<sim::DcMechanism>(); }
};

TEST_F(ResetScreens, CisCalibBackupTogglesItsQuestionWithMenuAndActsOnlyOnEnter) {
  struct Case {
    const char* what;
    int32_t lProgress;
    const char* first;
    std::vector<PanelKey> keys;  // after the first screen
    std::vector<const char*> shown;
    int32_t lProgressAfter;
  };
  const Case cases[] = {
      {"Menu twice returns to the restore question",
       1,
       "Backup Complete ",
       {PanelKey::Enter, PanelKey::Menu, PanelKey::Menu, PanelKey::Clear},
       {"Backup OK?      ", "Erase OK?       ", "Backup OK?      ", "Backup OK?      "},
       1},
      {"erase",
       1,
       "Backup Complete ",
       {PanelKey::Enter, PanelKey::Menu, PanelKey::Enter},
       {"Backup OK?      ", "Erase OK?       ", "Erase OK?       "},
       0},
      {"no data, leaving at once", 0, "Backup No Data  ", {PanelKey::Feed}, {"Backup No Data  "}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    InApp([&] { g_ParamCisWrProgress.SetValue(c.lProgress); });
    Launch(CisCalibBackupScreen);
    ASSERT_TRUE(RunUntilShown(c.first));
    for (size_t i = 0; i < c.keys.size(); ++i) TapExpect(c.keys[i], c.shown[i]);
    ASSERT_TRUE(RunToDone(Ms(500)));
    EXPECT_EQ(Value(g_ParamCisWrProgress), c.lProgressAfter);
  }
}

TEST_F(ResetScreens, LoadDensityTakesTheHeadUnitsCopiesOnlyOnEnter) {
  for (PanelKey key : {PanelKey::Clear, PanelKey::Enter}) {
    const bool bEnter = key == PanelKey::Enter;
    SCOPED_TRACE(bEnter ? "Enter" : "Clear");
    InApp([] {
      g_ParamDensityYmcL.SetValue(80);
      g_ParamDensityYmcL.SetValueNoSave(10);
      g_ParamDensityMt2R.SetValue(201);
      g_ParamDensityMt2MinorR.SetValue(4);
      g_ParamDensityMt2R.SetValueNoSave(3);
      g_ParamDensityMt2MinorR.SetValueNoSave(9);
    });
    Launch(LoadDensityScreen);
    ASSERT_TRUE(RunUntilShown("Load ?          "));
    Tap(key);
    ASSERT_TRUE(RunUntilShown(bEnter ? "Complete        " : "Canceled        ", Ms(2000)));
    ASSERT_TRUE(RunToDone(Ms(3100)));
    EXPECT_GE(SinceLaunchMs(), 3000u);
    EXPECT_EQ(Value(g_ParamDensityYmcL), bEnter ? 80 : 10);
    EXPECT_EQ(Value(g_ParamDensityMt2R), bEnter ? 201 : 3);
    EXPECT_EQ(Value(g_ParamDensityMt2MinorR), bEnter ? 4 : 9);
  }
}

TEST_F(ResetScreens, TheBackupSwitchPreselectsTheStoredValueAndStoresInBothEeproms) {
  // The setting's byte in the board EEPROM and in the backup.
  constexpr uint32_t kCell = 120;
  sim::BoardEeproms& eeproms = *m_machine->GetBoard().FindDevice<sim::BoardEeproms>();
  InApp([] {
    g_FpgaMain.SelectExternalEeprom(1);
    g_ParamEepromBackup.SetValue(1);
    g_FpgaMain.SelectExternalEeprom(0);
    g_ParamEepromBackup.SetValue(1);
  });
  ASSERT_EQ(eeproms.Main().PeekByte(kCell), 1u);
  ASSERT_EQ(eeproms.Backup().PeekByte(kCell), 1u);
  Launch(RunEepromBackupMenu);
  ASSERT_TRUE(RunUntilShown("EEP Back Up  :ON"));
  TapExpect(PanelKey::Menu, "EEP Back Up :OFF");
  Tap(PanelKey::Enter);
  EXPECT_TRUE(WasShownSinceLaunch("                ")) << "the line blanks";
  ASSERT_TRUE(RunUntilShown("EEP Back Up :OFF", Ms(1000)));
  Tap(PanelKey::Clear);
  ASSERT_TRUE(RunToDone(Ms(500)));
  EXPECT_EQ(eeproms.Main().PeekByte(kCell), 0u);
  EXPECT_EQ(eeproms.Backup().PeekByte(kCell), 0u);
  Launch(RunEepromBackupMenu);
  EXPECT_TRUE(RunUntilShown("EEP Back Up :OFF")) << "the stored value is preselected";
  Tap(PanelKey::Clear);
  ASSERT_TRUE(RunToDone(Ms(500)));
}

TEST_F(ResetScreens, ADensityEditEndsWithTheUnitsFansOnAroundItsThermistorScreen) {
  constexpr uint16_t kFanHeadR = 0x0010, kFanSideR = 0x0040, kAllHeadFans = 0x0078;
  Launch(RunDensityMenu);
  ASSERT_TRUE(RunUntilShown("TPH1 Left       "));
  TapExpect(PanelKey::Menu, "TPH2 Right      ");
  TapExpect(PanelKey::Enter, "Density     :YMC");
  TapExpect(PanelKey::Enter, "DensityYMC      ");
  EXPECT_EQ(Mechanism().LoadsOn() & kAllHeadFans, 0) << "no fan while editing";
  Tap(PanelKey::Clear);
  m_machine->RunFor(Ms(300));
  EXPECT_EQ(Mechanism().LoadsOn() & kAllHeadFans, kFanHeadR | kFanSideR) << "unit R's fans during the screen";
  Tap(PanelKey::Clear);  // any key ends the thermistor's screen
  EXPECT_TRUE(RunUntilShown("Density     :YMC", Ms(1000)));
  EXPECT_EQ(Mechanism().LoadsOn() & kAllHeadFans, 0);
  EXPECT_EQ(g_usDensityHead, 2u);
  Tap(PanelKey::Clear);
  Tap(PanelKey::Clear);
  ASSERT_TRUE(RunToDone(Ms(1000)));
}

}  // namespace
}  // namespace servicescreens
