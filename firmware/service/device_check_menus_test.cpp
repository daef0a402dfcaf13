// The device-check lists walked with the panel keys in both ribbon control
// variants, against the item texts as the service documentation lists
// them; the exit LED around the exit-print sensor's screen.
#include "firmware/service/device_check_menus.h"

#include <string>
#include <vector>

#include "firmware/control/app_startup.h"
#include "firmware/service/firmware_info_screens.h"
#include "firmware/service/head_info_screens.h"
#include "firmware/service/service_screen_rig.h"
#include "firmware/service/thv_tuning_menus.h"
#include "firmware/service/value_editors.h"
#include "firmware/devices/eeprom.h"

namespace servicescreens {
namespace {

using Texts = std::vector<std::string>;

const Texts kDeviceCheckType1 = {
    "Check Key       ", "Check Head L    ", "Check Head R    ", "Check Load Bar  ", "Check MainPinch ",
    "Check FeedPinch ", "Check LoadPinch ", "Check EjectPinch", "Check Path Sel. ", "Check Rot.Lock  ",
    "Check Carousel  ", "Check Cutter    ", "Check Motor     ", "Check Fan       ", "Check Clutch    ",
    "Check ADSensor  ", "Check 0/1Sensor ", "Check LED       ", "Check Encoder   ", "Check Ribbon LED",
    "Check LED Slice ", "BarCode Result L", "BarCode Result R", "Firmware Info   ", "EEP Back Up Mode",
    "EEPROM Undo     ", "Check AutoLoad  "};
const Texts kDeviceCheckType0 = {
    "Check Key       ", "Check Head L    ", "Check Head R    ", "Check Load Bar  ", "Check MainPinch ",
    "Check FeedPinch ", "Check LoadPinch ", "Check EjectPinch", "Check Path Sel. ", "Check Rot.Lock  ",
    "Check Carousel  ", "Check Cutter    ", "Check Motor     ", "Check Fan       ", "Check Clutch    ",
    "Check ADSensor  ", "Check 0/1Sensor ", "Check LED       ", "Check Encoder   ", "Firmware Info   ",
    "EEP Back Up Mode", "EEPROM Undo     ", "Check AutoLoad  "};
const Texts kMotors = {"Stepper Main    ", "Stepper Feed    ", "Rib. Motor Dst L", "Rib. Motor Src L",
                       "Rib. Motor Dst R", "Rib. Motor Src R", "Head Motor L    ", "Head Motor R    ",
                       "FeedPin. Motor  ", "LoadPinch Motor ", "EjectPinch Motor", "LoadBar Motor   ",
                       "Path Sel. Motor ", "PaperRot. Motor ", "Rot.Lock Motor  ", "Cutter Motor    ",
                       "Eject Motor     "};
const Texts kAdType1 = {"Top Sensor L    ", "Top Sensor R    ", "Print Posi Sen  ", "Paper Empty Sen ",
                        "Env Therm.      ", "Head Therm. L   ", "Head Therm. R   ", "PaperPath Sensor",
                        "Env Humid.      ", "TPH Volt.       ", "Roll Edge Sensor", "ExitPrint Sensor",
                        "Color Sensor L  ", "Color Sensor R  ", "Barcode Sensor L", "Barcode Sensor R"};
const Texts kAdType0 = {"Top Sensor L    ", "Top Sensor R    ", "Print Posi Sen  ", "Paper Empty Sen ",
                        "Env Therm.      ", "Head Therm. L   ", "Head Therm. R   ", "PaperPath Sensor",
                        "Env Humid.      ", "TPH Volt.       ", "Roll Edge Sensor", "ExitPrint Sensor",
                        "Ribbon Mark1 L  ", "Ribbon Mark2 L  ", "Ribbon Mark3 L  ", "Ribbon Mark4 L  ",
                        "Ribbon Mark1 R  ", "Ribbon Mark2 R  ", "Ribbon Mark3 R  ", "Ribbon Mark4 R  "};
const Texts kSwitchSensors = {
    "Head Up Sensor L", "Head Dn Sensor L", "Head Up Sensor R", "Head Dn Sensor R", "MainPinch Sen L ",
    "MainPinch Sen C ", "FeedPinch Sen L ", "FeedPinch Sen R ", "LoadPinch Up Sen", "LoadPinch Dn Sen",
    "EjectPin. Mn Sen", "EjectPin. Sb Sen", "PathPosi Sen L  ", "PathPosi Sen R  ", "Rot.Lock Main   ",
    "Rot.Lock Sub    ", "LoadBar Up Sen  ", "LoadBar Dn Sen  ", "Unit Posi Sen   ", "Front Cover     ",
    "Paper Cover     ", "Side Cover L    ", "Side Cover R    ", "Upper Unit L    ", "Upper Unit R    ",
    "Cutter Sensor L ", "Cutter Sensor C ", "Cutter Sensor R ", "Rib Enc Dst L   ", "Rib Enc Src L   ",
    "Rib Enc Dst R   ", "Rib Enc Src R   ", "Turn Encode     ", "Roll Size       ", "Fault Check     ",
    "Paper Guide Open", "Exit Tray 1     ", "Exit Print 1    "};
const Texts kHeadInfo = {"Model Number    ", "Serial Number   ", "Resistance      ", "Density     :YMC",
                         "Density Low :YMC", "Density   :Lami ", "Density   :Matte", "Density  :Matte2",
                         "Density      :SP", "Revision        ", "Revision(int)   ", "Mfg.Date        "};
const Texts kDensity = {"Density     :YMC", "Density Low :YMC", "Density   :Lami ",
                        "Density   :Matte", "Density  :Matte2", "Density      :SP"};
const Texts kThv = {"Auto Tuning     ", "THV Y L         ", "THV Y R         ", "THV M L         ",
                    "THV M R         ", "THV C L         ", "THV C R         ", "THV SP L        ",
                    "THV SP R        ", "THV OP L        ", "THV OP R        ", "THV MATTE L     ",
                    "THV MATTE R     ", "THV PHEAT L     ", "THV PHEAT R     "};

void OpenDeviceCheck() { RunDeviceCheckMenu(); }
void OpenHeadInfoR() { RunHeadInfoMenu(g_HeadEepromR); }
void OpenDensity() { RunDensityMenu(); }
void OpenThv() { RunThvMenu(); }

class ServiceLists : public ServiceScreenTest {
 protected:
  // Enters the items of the path in turn (1-based: Menu item - 1 times,
  // then Enter) and returns the texts of the list reached, walking Menu
  // until it wraps back to its first text.
  Texts Walk(void (*pfnOpen)(), const std::vector<uint32_t>& path) {
    Launch(pfnOpen);
    m_machine->RunFor(Ms(300));
    for (uint32_t ulItem : path) {
      for (uint32_t i = 1; i < ulItem; ++i) Tap(PanelKey::Menu);
      Tap(PanelKey::Enter);
    }
    Texts texts{Lcd().Visible()};
    for (uint32_t i = 0; i < 60; ++i) {
      Tap(PanelKey::Menu);
      if (Lcd().Visible() == texts.front()) break;
      texts.push_back(Lcd().Visible());
    }
    return texts;
  }
  void LeaveAll() {
    for (uint32_t i = 0; i < 4 && !Done(); ++i) Tap(PanelKey::Clear);
    EXPECT_TRUE(RunToDone(Ms(1000)));
  }
};

TEST_F(ServiceLists, EachListShowsItsItemsInOrderInBothRibbonControlTypes) {
  struct Case {
    const char* what;
    uint8_t ucType;
    void (*pfnOpen)();
    std::vector<uint32_t> path;
    const Texts* expected;
  };
  const Case cases[] = {
      {"device checks, type 1", 1, OpenDeviceCheck, {}, &kDeviceCheckType1},
      {"device checks, type 0", 0, OpenDeviceCheck, {}, &kDeviceCheckType0},
      {"motors", 1, OpenDeviceCheck, {13}, &kMotors},
      {"A/D sensors, type 1", 1, OpenDeviceCheck, {16}, &kAdType1},
      {"A/D sensors, type 0", 0, OpenDeviceCheck, {16}, &kAdType0},
      {"0/1 sensors", 1, OpenDeviceCheck, {17}, &kSwitchSensors},
      {"0/1 sensors, type 0", 0, OpenDeviceCheck, {17}, &kSwitchSensors},
      {"head information", 1, OpenHeadInfoR, {}, &kHeadInfo},
      {"density of TPH2", 1, OpenDensity, {2}, &kDensity},
      {"head voltages", 1, OpenThv, {}, &kThv},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    InApp([&] { g_ucRibbonControlType = c.ucType; });
    EXPECT_EQ(Walk(c.pfnOpen, c.path), *c.expected);
    LeaveAll();
  }
  InApp([] { g_ucRibbonControlType = 1; });
}

TEST_F(ServiceLists, TheSmallChoicesBeforeAScreen) {
  struct Case {
    const char* what;
    std::vector<uint32_t> path;
    Texts expected;
  };
  const Case cases[] = {
      {"carousel", {11}, {"To Right        ", "To Left         ", "To Neutral      "}},
      {"cutter", {12}, {"Cut Mode   :Diag", "Cut Mode  :Print"}},
      {"fans",
       {14},
       {"Head Fan L      ", "Head Fan R      ", "Side Fan L      ", "Side Fan R      ", "StpMtr Fan      ",
        "PCB Fan         "}},
      {"clutches", {15}, {"RibRvsClutch L  ", "RibRvsClutch R  ", "Load Clutch     "}},
      {"LEDs", {18}, {"Power LED       ", "Ready LED       ", "Error LED       ", "Exit LED        "}},
      {"encoders",
       {19},
       {"Rib Enc Dst L   ", "Rib Enc Src L   ", "Rib Enc Dst R   ", "Rib Enc Src R   ", "Roll Size       ",
        "Turn Encode     ", "Fault Check     "}},
      {"ribbon LEDs",
       {20},
       {"Red LED L       ", "Red LED R       ", "Green LED L     ", "Green LED R     ", "Blue LED L      ",
        "Blue LED R      "}},
      {"firmware parts", {24}, {"MAIN Firmware   ", "DSP Firmware    ", "TABLE           ", "FPGA            "}},
      {"auto load", {27}, {"Check Start     ", "Load Target     "}},
      {"PWM motor directions", {13, 3}, {"Rib.MtrDst L  :+", "Rib.MtrDst L  :-"}},
      {"DC motor directions", {13, 11}, {"Eject Pin.Mtr :+", "Eject Pin.Mtr :-"}},
      {"last motor's directions", {13, 17}, {"Eject Mtr     :+", "Eject Mtr     :-"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Walk(OpenDeviceCheck, c.path), c.expected);
    LeaveAll();
  }
}

TEST_F(ServiceLists, TheStepperPagesChangeTheirItemWithPlusAndMinus) {
  Launch(OpenDeviceCheck);
  m_machine->RunFor(Ms(300));
  for (uint32_t i = 1; i < 13; ++i) Tap(PanelKey::Menu);
  Tap(PanelKey::Enter);  // "Check Motor     "
  TapExpect(PanelKey::Enter, "StpMtr   :PullIn");
  TapExpect(PanelKey::Inc, "StpMtr   :UpDown");
  TapExpect(PanelKey::Enter, "StpMtr :UpDown +");
  TapExpect(PanelKey::Inc, "StpMtr :UpDown -");
  TapExpect(PanelKey::Dec, "StpMtr :UpDown +");
  TapExpect(PanelKey::Clear, "StpMtr   :UpDown");
  TapExpect(PanelKey::Dec, "StpMtr   :PullIn");
  TapExpect(PanelKey::Enter, "StpMtr :PullIn +");
  TapExpect(PanelKey::Inc, "StpMtr :PullIn -");
  LeaveAll();
}

TEST_F(ServiceLists, TheExitLedLightsOnlyForTheExitPrintSensorsScreen) {
  Launch(OpenDeviceCheck);
  m_machine->RunFor(Ms(300));
  for (uint32_t i = 1; i < 17; ++i) Tap(PanelKey::Menu);
  TapExpect(PanelKey::Enter, "Head Up Sensor L");
  Tap(PanelKey::Enter);
  EXPECT_FALSE(Leds().IsOn(PanelLed::Exit));
  Tap(PanelKey::Clear);
  EXPECT_TRUE(RunUntilShown("Head Up Sensor L", Ms(500)));
  TapExpect(PanelKey::Feed, "Exit Print 1    ");
  Tap(PanelKey::Enter);
  EXPECT_TRUE(Leds().IsOn(PanelLed::Exit)) << "lit for the sensor's screen";
  Tap(PanelKey::Clear);
  EXPECT_TRUE(RunUntilShown("Exit Print 1    ", Ms(500)));
  EXPECT_FALSE(Leds().IsOn(PanelLed::Exit)) << "off after the item";
  LeaveAll();
}

}  // namespace
}  // namespace servicescreens
