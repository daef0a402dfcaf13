// "MechaParam Set  ": the mechanism-parameter list and every list below it
// but the CIS list: slice levels, offsets, tension, ribbon duties, load
// bar, engine version, steps per line, feed-roll diameter, dummy lines,
// reserve slice or head-down wait, stick correction.
#include "firmware/control/engine_variant.h"
#include "firmware/devices/main_loop_stop.h"
#include "firmware/devices/settings.h"
#include "firmware/printengine/dummy_lines.h"
#include "firmware/printengine/print_geometry.h"
#include "firmware/service/menu_records.h"
#include "firmware/service/service_menu_trees.h"

namespace {

int32_t ApplyCisOffsets() { return g_PrintGeometry.ApplyCisOffsets(); }
int32_t ApplyMgOffsets() { return g_PrintGeometry.ApplyMgOffsets(); }

// ---- slice levels -----------------------------------------------------------------------

constexpr SettingEntry kSliceEntries[] = {
    {"Top Sensor L    ", &g_ParamSliceTopL, nullptr},
    {"Top Sensor R    ", &g_ParamSliceTopR, nullptr},
    {"Position Sensor ", &g_ParamSlicePosition, nullptr},
    {"PaperEnd Sensor ", &g_ParamSlicePaperEnd, nullptr},
    {"PaperPathSensor ", &g_ParamSlicePaperPath, nullptr},
    {"Print Exit (AD) ", &g_ParamSliceExitPrint, nullptr},
    {"Print Exit1(0/1)", &g_ParamSliceExitPrint1, ApplyExitPrintThreshold},
    {"EnvTherm Sensor ", &g_ParamSliceEnvTherm, nullptr},
    {"Head Therm. L   ", &g_ParamSliceHeadThermL, nullptr},
    {"Head Therm. R   ", &g_ParamSliceHeadThermR, nullptr},
    {"Ribbon Mark1 L  ", &g_ParamSliceRMark1L, nullptr},
    {"Ribbon Mark2 L  ", &g_ParamSliceRMark2L, nullptr},
    {"Ribbon Mark3 L  ", &g_ParamSliceRMark3L, nullptr},
    {"Ribbon Mark4 L  ", &g_ParamSliceRMark4L, nullptr},
    {"Ribbon Mark1 R  ", &g_ParamSliceRMark1R, nullptr},
    {"Ribbon Mark2 R  ", &g_ParamSliceRMark2R, nullptr},
    {"Ribbon Mark3 R  ", &g_ParamSliceRMark3R, nullptr},
    {"Ribbon Mark4 R  ", &g_ParamSliceRMark4R, nullptr},
};
constexpr MenuRecord kSliceMenu{kSliceEntries, EditSettingItem<kSliceEntries>};

// ---- offsets ----------------------------------------------------------------------------

constexpr SettingEntry kOffsetEntries[] = {
    {"Top Offset L    ", &g_ParamTopOffsetL, nullptr},
    {"Top Offset R    ", &g_ParamTopOffsetR, nullptr},
    {"Top Offset SP   ", &g_ParamTopOffsetSP, nullptr},
    {"Sensor Offset L ", &g_ParamSensorOffsetL, nullptr},
    {"Sensor Offset R ", &g_ParamSensorOffsetR, nullptr},
    {"CIS Offset L    ", &g_ParamCisOffsetL, ApplyCisOffsets},
    {"CIS Offset R    ", &g_ParamCisOffsetR, ApplyCisOffsets},
    {"MG Offset L     ", &g_ParamMgOffsetL, ApplyMgOffsets},
    {"MG Offset R     ", &g_ParamMgOffsetR, ApplyMgOffsets},
    {"Border Offset L ", &g_ParamBorderOffsetL, nullptr},
    {"Border Offset R ", &g_ParamBorderOffsetR, nullptr},
};
constexpr MenuRecord kOffsetMenu{kOffsetEntries, EditSettingItem<kOffsetEntries>};

// ---- tension, load bar, stick correction, head-down wait --------------------------------

constexpr SettingEntry kTensionEntries[] = {
    {"Tension YMC     ", &g_ParamTensionYmc, nullptr},
    {"Tension L       ", &g_ParamTensionL, nullptr},
};
constexpr MenuRecord kTensionMenu{kTensionEntries, EditSettingItem<kTensionEntries>};

constexpr SettingEntry kLoadBarEntries[] = {
    {"Up Duty         ", &g_ParamLoadBarUpDuty, nullptr},
    {"Down Duty       ", &g_ParamLoadBarDownDuty, nullptr},
};
constexpr MenuRecord kLoadBarMenu{kLoadBarEntries, EditSettingItem<kLoadBarEntries>};

constexpr SettingEntry kStickEntries[] = {
    {"Stick Correct L ", &g_ParamStickL, nullptr},
    {"Stick Correct R ", &g_ParamStickR, nullptr},
};
constexpr MenuRecord kStickMenu{kStickEntries, EditSettingItem<kStickEntries>};

constexpr SettingEntry kWaitTimeEntries[] = {{"Wait Time       ", &g_ParamWaitMs, nullptr}};
constexpr MenuRecord kWaitTimeMenu{kWaitTimeEntries, EditSettingItem<kWaitTimeEntries>};

// ---- ribbon duties: take-up (Dst) and supply (Src) --------------------------------------

constexpr SettingEntry kDutyDstEntries[] = {
    {"Print Y Dst Duty", &g_ParamPrintYD, nullptr},   {"Print M Dst Duty", &g_ParamPrintMD, nullptr},
    {"Print C Dst Duty", &g_ParamPrintCD, nullptr},   {"Print L Dst Duty", &g_ParamPrintLD, nullptr},
    {"RollUp Dst Duty ", &g_ParamRollUpDs, nullptr},  {"RollBackDst Duty", &g_ParamRollBackD, nullptr},
    {"Tension Dst Duty", &g_ParamTensionD, nullptr},  {"Initial Dst Duty", &g_ParamInitialD, nullptr},
    {"Calib Dst Duty  ", &g_ParamCalibDs, nullptr},   {"RollUpAPDst Duty", &g_ParamRollUpAPD, nullptr},
};
constexpr MenuRecord kDutyDstMenu{kDutyDstEntries, EditSettingItem<kDutyDstEntries>};

constexpr SettingEntry kDutySrcEntries[] = {
    {"Print Y Src Duty", &g_ParamPrintYS, nullptr},   {"Print M Src Duty", &g_ParamPrintMS, nullptr},
    {"Print C Src Duty", &g_ParamPrintCS, nullptr},   {"Print L Src Duty", &g_ParamPrintLS, nullptr},
    {"RollUp Src Duty ", &g_ParamRollUpSr, nullptr},  {"RollBackSrc Duty", &g_ParamRollBackS, nullptr},
    {"Tension Src Duty", &g_ParamTensionS, nullptr},  {"Initial Src Duty", &g_ParamInitialS, nullptr},
    {"Calib Src Duty  ", &g_ParamCalibSr, nullptr},   {"RollUpAPSrc Duty", &g_ParamRollUpAPS, nullptr},
};
constexpr MenuRecord kDutySrcMenu{kDutySrcEntries, EditSettingItem<kDutySrcEntries>};

// ---- dummy lines: one list per print size and unit, then the current unit's values
// into the print-size records ------------------------------------------------------------

#define DUMMY_LINE_LIST(name)                                                                   \
  constexpr SettingEntry k##name##Entries[] = {                                                 \
      {"FrontDummyY     ", &g_ParamFrontDummyY##name, LoadDummyLines},                          \
      {"FrontDummyM     ", &g_ParamFrontDummyM##name, LoadDummyLines},                          \
      {"FrontDummyC     ", &g_ParamFrontDummyC##name, LoadDummyLines},                          \
      {"FrontDummyL     ", &g_ParamFrontDummyL##name, LoadDummyLines},                          \
      {"FrontDummySP    ", &g_ParamFrontDummySP##name, LoadDummyLines},                         \
      {"RearDummyY      ", &g_ParamRearDummyY##name, LoadDummyLines},                           \
      {"RearDummyM      ", &g_ParamRearDummyM##name, LoadDummyLines},                           \
      {"RearDummyC      ", &g_ParamRearDummyC##name, LoadDummyLines},                           \
      {"RearDummyL      ", &g_ParamRearDummyL##name, LoadDummyLines},                           \
      {"RearDummySP     ", &g_ParamRearDummySP##name, LoadDummyLines},                          \
  };                                                                                            \
  constexpr MenuRecord k##name##Menu{k##name##Entries, EditSettingItem<k##name##Entries>};
DUMMY_LINE_LIST(8x10L)
DUMMY_LINE_LIST(8x10R)
DUMMY_LINE_LIST(8x12L)
DUMMY_LINE_LIST(8x12R)
#undef DUMMY_LINE_LIST

constexpr MenuEntry kDummyEntries[] = {
    {"8x10 Dummy L    ", Open(k8x10LMenu)},
    {"8x10 Dummy R    ", Open(k8x10RMenu)},
    {"8x12 Dummy L    ", Open(k8x12LMenu)},
    {"8x12 Dummy R    ", Open(k8x12RMenu)},
};
constexpr MenuRecord kDummyMenu{kDummyEntries, DispatchItem<kDummyEntries>};

// ---- the engine version and the feed-roll diameter --------------------------------------

void ApplyEngineVersion(int32_t) { SelectEngineVariant(); }

constexpr SwitchEntry kEngineEntries[] = {
    {"Eng: EM1/EM2    ", 1}, {"Eng: EM3        ", 2}, {"Eng: PPM 1st/2nd", 3}, {"Eng: PPM 3rd    ", 4},
    {"Eng: MP         ", 5},
};
constexpr SwitchDesc kEngineSwitch = MakeSwitch(g_ParamEngineVersion, kEngineEntries, 1, ApplyEngineVersion);
constexpr MenuRecord kEngineMenu{kEngineEntries, SwitchItem<kEngineSwitch>, SwitchTitle<kEngineSwitch>};

// The feed roll of 30 (1) and of 20 (0): the steps per line of that roll,
// then the print geometry of the engine version.
constexpr int32_t kStepsPerLineRoll30 = 2722;
constexpr int32_t kStepsPerLineRoll20 = 4000;
void ApplyFeedRollDiameter(int32_t lValue) {
  g_ParamStpLx1000.SetValue(lValue == 1 ? kStepsPerLineRoll30 : kStepsPerLineRoll20);
  int32_t lEngine = 0;
  g_ParamEngineVersion.GetValue(&lEngine);
  g_PrintGeometry.SetForEngine(lEngine);
}

constexpr SwitchEntry kFeedRollEntries[] = {{"FeedRollDiam  30", 1}, {"FeedRollDiam  20", 0}};
constexpr SwitchDesc kFeedRollSwitch = MakeSwitch(g_ParamFeedRollDiam, kFeedRollEntries, 2, ApplyFeedRollDiameter);
constexpr MenuRecord kFeedRollMenu{kFeedRollEntries, SwitchItem<kFeedRollSwitch>, SwitchTitle<kFeedRollSwitch>};

// ---- the list -----------------------------------------------------------------------------

#define MECHA_PARAM_ENTRIES(item11)                                          \
  {"SensorSliceLevel", Open(kSliceMenu)}, {"Offset          ", Open(kOffsetMenu)},      \
      {"Tension         ", Open(kTensionMenu)}, {"Ribbon Duty Dst ", Open(kDutyDstMenu)}, \
      {"Ribbon Duty Src ", Open(kDutySrcMenu)}, {"Load Bar Duty   ", Open(kLoadBarMenu)}, \
      {"Engine Version  ", Open(kEngineMenu)}, {"Steps Per Line  ", Edit(g_ParamStpLx1000)}, \
      {"FeedRollDiameter", Open(kFeedRollMenu)}, {"Dummy Line      ", Open(kDummyMenu)}, item11, \
      {"CIS Setting     ", Run(RunCisMenu)}, {"Stick Correct   ", Open(kStickMenu)}

constexpr MenuEntry kMechaParamEntries1[] = {MECHA_PARAM_ENTRIES(MenuEntry({"Reserve Slice   ", Edit(g_ParamPaperPercent)}))};
constexpr MenuRecord kMechaParamMenu1{kMechaParamEntries1, DispatchItem<kMechaParamEntries1>};
constexpr MenuEntry kMechaParamEntries0[] = {MECHA_PARAM_ENTRIES(MenuEntry({"Head Down Wait  ", Open(kWaitTimeMenu)}))};
constexpr MenuRecord kMechaParamMenu0{kMechaParamEntries0, DispatchItem<kMechaParamEntries0>};
#undef MECHA_PARAM_ENTRIES

}  // namespace

void RunMechaParamMenu() { RunMenu(ByRibbonControlType(kMechaParamMenu1, kMechaParamMenu0), 0); }
