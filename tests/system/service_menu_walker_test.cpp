// The service menus walked on the panel of a ready printer: from each top
// menu the walker enters the path with Enter, then presses Menu through the
// list it reached and compares every screen with the texts listed here (by
// hand, from the printer's menu description), for both ribbon control
// types. A list that opens on a preselected item is compared as a cycle
// from that item.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "firmware/control/app_startup.h"
#include "firmware/devices/settings.h"
#include "firmware/service/service_menu_trees.h"
#include "firmware/service/user_info_pages.h"
#include "tests/support/service_panel.h"

namespace {

using servicepanel::PanelKey;
using servicepanel::TextMatches;
using testsupport::Ms;

enum class Type { Both, Colour, Mark };

struct WalkRow {
  const char* pszName;
  Type type;
  void (*pfnTop)();
  std::vector<std::string> path;
  std::vector<std::string> list;
  int32_t lEngineVersion = 0;  // set before the walk when not 0
};

const std::vector<std::string> kSlices = {
    "Top Sensor L    ", "Top Sensor R    ", "Position Sensor ", "PaperEnd Sensor ", "PaperPathSensor ",
    "Print Exit (AD) ", "Print Exit1(0/1)", "EnvTherm Sensor ", "Head Therm. L   ", "Head Therm. R   ",
    "Ribbon Mark1 L  ", "Ribbon Mark2 L  ", "Ribbon Mark3 L  ", "Ribbon Mark4 L  ", "Ribbon Mark1 R  ",
    "Ribbon Mark2 R  ", "Ribbon Mark3 R  ", "Ribbon Mark4 R  "};
const std::vector<std::string> kOffsets = {
    "Top Offset L    ", "Top Offset R    ", "Top Offset SP   ", "Sensor Offset L ", "Sensor Offset R ",
    "CIS Offset L    ", "CIS Offset R    ", "MG Offset L     ", "MG Offset R     ", "Border Offset L ",
    "Border Offset R "};
const std::vector<std::string> kDummies = {
    "FrontDummyY     ", "FrontDummyM     ", "FrontDummyC     ", "FrontDummyL     ", "FrontDummySP    ",
    "RearDummyY      ", "RearDummyM      ", "RearDummyC      ", "RearDummyL      ", "RearDummySP     "};
const std::vector<std::string> kPrintParamTail = {
    "THV Setting     ", "Heat Control SW ", "Humid Conrtol SW", "OP Level        ", "Preheat OffLevel",
    "Preheat OnLevel ", "Preheat KeepTime", "Preheat Counter ", "Preheat OnOff SW", "TProtect On Lv  ",
    "TProtect OffLv  ", "TProtectL Lv    ", "TProtectLOnOffSW", "HeadSideFanOn Lv", "HeadSideFanOffLv",
    "Power Save Time "};

std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const char* const kMecha = "MechaParam Set  ";
const char* const kPrintParam = "PrintParam Set  ";
const char* const kUserPagesFirst[] = {"Test Print Mode ", "Paper  = ???????", "Printed  =??????", "Donor(L)  ???[%]",
                                       "Donor(R)  ???[%]", "MAIN Firm =??.??", "DSP Firm  =??.??", "TABLE     =??.??"};
std::vector<std::string> UserPages(std::vector<std::string> tail) {
  return Join(std::vector<std::string>(std::begin(kUserPagesFirst), std::end(kUserPagesFirst)), tail);
}

const std::vector<WalkRow> kRows = {
    // ---- the four top menus ----
    {"diagnostics", Type::Colour, RunDiagnosticsMenu, {},
     {"Diagnostics     ", "Auto Diagnostics", "Tone Table Reset", "Lami Image Reset", "Test Print Mode ",
      "Status Print    "}},
    {"diagnostics", Type::Mark, RunDiagnosticsMenu, {},
     {"Diagnostics     ", "Auto Diagnostics", "Tone Table Reset", "Test Print Mode "}},
    {"maintenance", Type::Colour, RunMaintenanceMenu, {},
     {"MntPrintCounter ", "Cut Counter     ", "Total Counter   ", "Head Counter    ", "Carousel Counter",
      "Print Counter   ", "Print Length    ", "Tone Table Reset", "Lami Image Reset", "Error Log       ",
      "Serial Number   ", "Model Number    ", "Mfg.Date        ", "Cis Calib S/N   ", "Cis Calib Backup"}},
    {"maintenance", Type::Mark, RunMaintenanceMenu, {},
     {"MntPrintCounter ", "Cut Counter     ", "Total Counter   ", "Head Counter    ", "Carousel Counter",
      "Print Counter   ", "Print Length    ", "Tone Table Reset", "Error Log       ", "Serial Number   ",
      "Model Number    ", "Parameter Reset ", "Mfg.Date        ", "Cis Calib S/N   ", "Cis Calib Backup"}},
    {"density setup", Type::Both, RunDensitySetupMenu, {},
     {"Density         ", "Model Number    ", "Serial Number   ", "Test Print Mode ", "TPH1 Information",
      "TPH2 Information", "THV Auto Tuning ", "Load Density    "}},
    {"system setup", Type::Colour, RunSystemSetupMenu, {},
     {"PrintParam Set  ", "MechaParam Set  ", "Test Print Mode ", "Status Print    "}},
    {"system setup", Type::Mark, RunSystemSetupMenu, {}, {"PrintParam Set  ", "MechaParam Set  ", "Test Print Mode "}},
    // ---- counter and model-number menus ----
    {"head counters", Type::Both, RunMaintenanceMenu, {"Head Counter    "},
     {"Total Counter L ", "Total Counter R ", "Total Length L  ", "Total Length R  ", "Load Counter    "}},
    {"print counters", Type::Both, RunMaintenanceMenu, {"Print Counter   "},
     {"Total Counter L ", "Total Counter R ", "Mnt Counter L   ", "Mnt Counter R   "}},
    {"print lengths", Type::Both, RunMaintenanceMenu, {"Print Length    "},
     {"Total Length L  ", "Total Length R  ", "Mnt Length L    ", "Mnt Length R    "}},
    {"model number", Type::Colour, RunMaintenanceMenu, {"Model Number    "}, {"Model :M-7300   "}},
    {"model number", Type::Mark, RunMaintenanceMenu, {"Model Number    "}, {"Model: KT-3318-5"}},
    {"model number", Type::Both, RunDensitySetupMenu, {"Model Number    "}, {"Model: KT-3318-5"}},
    // ---- the mechanism parameters and every list below ----
    {"mechanism parameters", Type::Colour, RunSystemSetupMenu, {kMecha},
     {"SensorSliceLevel", "Offset          ", "Tension         ", "Ribbon Duty Dst ", "Ribbon Duty Src ",
      "Load Bar Duty   ", "Engine Version  ", "Steps Per Line  ", "FeedRollDiameter", "Dummy Line      ",
      "Reserve Slice   ", "CIS Setting     ", "Stick Correct   "}},
    {"mechanism parameters", Type::Mark, RunSystemSetupMenu, {kMecha},
     {"SensorSliceLevel", "Offset          ", "Tension         ", "Ribbon Duty Dst ", "Ribbon Duty Src ",
      "Load Bar Duty   ", "Engine Version  ", "Steps Per Line  ", "FeedRollDiameter", "Dummy Line      ",
      "Head Down Wait  ", "CIS Setting     ", "Stick Correct   "}},
    {"slice levels", Type::Both, RunSystemSetupMenu, {kMecha, "SensorSliceLevel"}, kSlices},
    {"offsets", Type::Both, RunSystemSetupMenu, {kMecha, "Offset          "}, kOffsets},
    {"tension", Type::Both, RunSystemSetupMenu, {kMecha, "Tension         "}, {"Tension YMC     ", "Tension L       "}},
    {"take-up duties", Type::Both, RunSystemSetupMenu, {kMecha, "Ribbon Duty Dst "},
     {"Print Y Dst Duty", "Print M Dst Duty", "Print C Dst Duty", "Print L Dst Duty", "RollUp Dst Duty ",
      "RollBackDst Duty", "Tension Dst Duty", "Initial Dst Duty", "Calib Dst Duty  ", "RollUpAPDst Duty"}},
    {"supply duties", Type::Both, RunSystemSetupMenu, {kMecha, "Ribbon Duty Src "},
     {"Print Y Src Duty", "Print M Src Duty", "Print C Src Duty", "Print L Src Duty", "RollUp Src Duty ",
      "RollBackSrc Duty", "Tension Src Duty", "Initial Src Duty", "Calib Src Duty  ", "RollUpAPSrc Duty"}},
    {"load bar", Type::Both, RunSystemSetupMenu, {kMecha, "Load Bar Duty   "}, {"Up Duty         ", "Down Duty       "}},
    {"engine version", Type::Both, RunSystemSetupMenu, {kMecha, "Engine Version  "},
     {"Eng: EM1/EM2    ", "Eng: EM3        ", "Eng: PPM 1st/2nd", "Eng: PPM 3rd    ", "Eng: MP         "}},
    {"feed roll", Type::Both, RunSystemSetupMenu, {kMecha, "FeedRollDiameter"}, {"FeedRollDiam  30", "FeedRollDiam  20"}},
    {"dummy lines", Type::Both, RunSystemSetupMenu, {kMecha, "Dummy Line      "},
     {"8x10 Dummy L    ", "8x10 Dummy R    ", "8x12 Dummy L    ", "8x12 Dummy R    "}},
    {"dummy 8x10 L", Type::Both, RunSystemSetupMenu, {kMecha, "Dummy Line      ", "8x10 Dummy L    "}, kDummies},
    {"dummy 8x10 R", Type::Both, RunSystemSetupMenu, {kMecha, "Dummy Line      ", "8x10 Dummy R    "}, kDummies},
    {"dummy 8x12 L", Type::Both, RunSystemSetupMenu, {kMecha, "Dummy Line      ", "8x12 Dummy L    "}, kDummies},
    {"dummy 8x12 R", Type::Both, RunSystemSetupMenu, {kMecha, "Dummy Line      ", "8x12 Dummy R    "}, kDummies},
    {"head-down wait", Type::Mark, RunSystemSetupMenu, {kMecha, "Head Down Wait  "}, {"Wait Time       "}},
    {"stick correction", Type::Both, RunSystemSetupMenu, {kMecha, "Stick Correct   "},
     {"Stick Correct L ", "Stick Correct R "}},
    {"cis", Type::Both, RunSystemSetupMenu, {kMecha, "CIS Setting     "},
     {"CIS OffsetV Tune", "CIS LED Tune    ", "CIS Calibration ", "CIS Set Calib   ", "CIS Read        ",
      "CIS LED Vol     ", "CIS Edge Check  ", "CIS Config Mode ", "CIS SW          "}},
    {"cis config", Type::Both, RunSystemSetupMenu, {kMecha, "CIS Setting     ", "CIS Config Mode "},
     {"Config:CisOffset", "Config:      OFF"}},
    {"cis switch", Type::Both, RunSystemSetupMenu, {kMecha, "CIS Setting     ", "CIS SW          "},
     {"Cis SW      : ON", "Cis SW      :OFF"}},
    // ---- the print parameters ----
    {"print parameters", Type::Colour, RunSystemSetupMenu, {kPrintParam},
     Join({"Matte Gloss     ", "Matte DeGloss B ", "Matte DeGloss W "}, kPrintParamTail)},
    {"print parameters", Type::Mark, RunSystemSetupMenu, {kPrintParam},
     Join({"Matte Relative1 ", "Matte Relative2 ", "Matte Relative3 ", "Matte Relative4 ", "Matte Adjustment"},
          kPrintParamTail)},
    {"heat control", Type::Both, RunSystemSetupMenu, {kPrintParam, "Heat Control SW "},
     {"Heat Control :ON", "Heat Control:OFF"}},
    {"humidity", Type::Both, RunSystemSetupMenu, {kPrintParam, "Humid Conrtol SW"},
     {"HumidCorrect :ON", "HumidCorrect:OFF"}},
    {"preheat", Type::Both, RunSystemSetupMenu, {kPrintParam, "Preheat OnOff SW"},
     {"Preheat     : ON", "Preheat     :OFF"}},
    {"thermal protection", Type::Both, RunSystemSetupMenu, {kPrintParam, "TProtectLOnOffSW"},
     {"TProtectL   : ON", "TProtectL   :OFF"}},
    // ---- the User Mode pages by ribbon control type and "Engine Version" ----
    {"user pages", Type::Colour, ShowInfoScreen, {},
     UserPages({"PreventAccessOCP", "Donor Mode      ", "Donor Size      ", "Wait Time       "}), 1},
    {"user pages", Type::Colour, ShowInfoScreen, {}, UserPages({"PreventAccessOCP", "Donor Mode      ", "Wait Time       "}), 3},
    {"user pages", Type::Mark, ShowInfoScreen, {}, UserPages({"Donor Mode      ", "Donor Size      "}), 1},
    {"user pages", Type::Mark, ShowInfoScreen, {}, UserPages({"Donor Mode      "}), 5},
};

class MenuWalker : public servicepanel::ServicePanelTest {
 protected:
  void Walk(Type type) {
    const uint8_t ucType = type == Type::Colour ? 1 : 0;
    ASSERT_TRUE(m_machine->RunStep([ucType] { g_ucRibbonControlType = ucType; }, Ms(1000)));
    for (const WalkRow& row : kRows) {
      if (row.type != Type::Both && row.type != type) continue;
      SCOPED_TRACE(row.pszName);
      if (row.lEngineVersion != 0) {
        const int32_t lVersion = row.lEngineVersion;
        ASSERT_TRUE(m_machine->RunStep([lVersion] { g_ParamEngineVersion.SetValue(lVersion); }, Ms(1000)));
      }
      Open(row.pfnTop);
      for (const std::string& step : row.path) {
        ASSERT_TRUE(MenuTo(step)) << "no \"" << step << "\": \"" << Visible() << "\"";
        Tap(PanelKey::Enter);
      }
      const std::vector<std::string> seen = Cycle(row.list.size());
      // The first screen names where the cycle starts; a full round returns to it.
      size_t k = 0;
      while (k < row.list.size() && !TextMatches(row.list[k], seen[0])) ++k;
      ASSERT_LT(k, row.list.size()) << "\"" << seen[0] << "\" is not in the list";
      for (size_t i = 0; i < seen.size(); ++i) {
        const std::string& want = row.list[(k + i) % row.list.size()];
        EXPECT_TRUE(TextMatches(want, seen[i])) << "screen " << i << ": \"" << seen[i] << "\", expected \"" << want << "\"";
      }
      // Feed steps back.
      Tap(PanelKey::Feed);
      EXPECT_TRUE(TextMatches(row.list[(k + row.list.size() - 1) % row.list.size()], Visible())) << Visible();
      ASSERT_TRUE(LeaveAll()) << Visible();
    }
  }
};

TEST_F(MenuWalker, ColourSensorRibbonControl) { Walk(Type::Colour); }
TEST_F(MenuWalker, MarkSensorRibbonControl) { Walk(Type::Mark); }

}  // namespace
