// The device-check menu of the service modes in its two variants (colour-
// sensor and mark-sensor ribbon control) and the device lists behind it:
// positioners, carousel, cutter, fans, clutches, sensors, LEDs, encoders,
// colour sensors, firmware and EEPROM items, and the automatic load check.
#include "firmware/service/device_check_menus.h"

#include <iterator>


#include "firmware/control/engine_variant.h"
#include "firmware/control/leds.h"
#include "firmware/control/menu.h"
#include "firmware/devices/analog_sensor.h"
#include "firmware/devices/color_sensor.h"
#include "firmware/devices/digital_sensor.h"
#include "firmware/devices/fan.h"
#include "firmware/devices/machine_actuators.h"
#include "firmware/devices/parameter.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/slit.h"
#include "firmware/mechanism/cutter.h"
#include "firmware/mechanism/donor_mng.h"
#include "firmware/mechanism/donor_mng_color.h"
#include "firmware/mechanism/feed_pinch.h"
#include "firmware/mechanism/main_pinch.h"
#include "firmware/mechanism/path_select.h"
#include "firmware/mechanism/roll_rotation.h"
#include "firmware/mechanism/rotation_lock.h"
#include "firmware/mechanism/simple_positioners.h"
#include "firmware/service/device_lists.h"
#include "firmware/service/firmware_info_screens.h"
#include "firmware/service/menu_records.h"
#include "firmware/service/motor_check_menus.h"
#include "firmware/service/reset_screens.h"
#include "firmware/service/service_menus.h"

namespace {

// ---- device lists ----------------------------------------------------------------------

constexpr DeviceList<CFanCrutch, 6> kFans = {
    {"Head Fan L      ", "Head Fan R      ", "Side Fan L      ", "Side Fan R      ", "StpMtr Fan      ",
     "PCB Fan         "},
    {&g_FanHeadL, &g_FanHeadR, &g_FanSideL, &g_FanSideR, &g_FanStpMtr, &g_FanPcb}};

constexpr DeviceList<CFanCrutch, 3> kClutches = {
    {"RibRvsClutch L  ", "RibRvsClutch R  ", "Load Clutch     "},
    {&g_ClutchRibRvsL, &g_ClutchRibRvsR, &g_ClutchLoad}};

constexpr DeviceList<CLed, 4> kLeds = {
    {"Power LED       ", "Ready LED       ", "Error LED       ", "Exit LED        "},
    {&g_LedPower, &g_LedReady, &g_LedError, &g_LedExit}};

constexpr DeviceList<CSlit, 7> kEncoders = {
    {"Rib Enc Dst L   ", "Rib Enc Src L   ", "Rib Enc Dst R   ", "Rib Enc Src R   ", "Roll Size       ",
     "Turn Encode     ", "Fault Check     "},
    {&g_SlitRibEncDstL, &g_SlitRibEncSrcL, &g_SlitRibEncDstR, &g_SlitRibEncSrcR, &g_SlitRollEnc, &g_SlitTurnEnc,
     &g_SlitFaultChk}};

#define COLOUR_TEXTS                                                                               \
  "Red LED L       ", "Red LED R       ", "Green LED L     ", "Green LED R     ", "Blue LED L      ", \
      "Blue LED R      "
constexpr DeviceList<CColorLed, 6> kRibbonLeds = {
    {COLOUR_TEXTS},
    {&g_ColorLedRedL, &g_ColorLedRedR, &g_ColorLedGreenL, &g_ColorLedGreenR, &g_ColorLedBlueL, &g_ColorLedBlueR}};
constexpr DeviceList<CColorSensor, 6> kLedSlices = {
    {COLOUR_TEXTS},
    {&g_ColorSensorRedL, &g_ColorSensorRedR, &g_ColorSensorGreenL, &g_ColorSensorGreenR, &g_ColorSensorBlueL,
     &g_ColorSensorBlueR}};
#undef COLOUR_TEXTS

#define AD_COMMON_TEXTS                                                                                 \
  "Top Sensor L    ", "Top Sensor R    ", "Print Posi Sen  ", "Paper Empty Sen ", "Env Therm.      ", \
      "Head Therm. L   ", "Head Therm. R   ", "PaperPath Sensor", "Env Humid.      ", "TPH Volt.       ",       \
      "Roll Edge Sensor", "ExitPrint Sensor"
#define AD_COMMON_SENSORS                                                                                    \
  &g_AdTopL, &g_AdTopR, &g_AdPosition, &g_AdPaperEmpty, &g_AdEnvTherm, &g_AdHThermL, &g_AdHThermR, &g_AdPaperPath, \
      &g_AdEnvHumid, &g_AdTHV, &g_AdRollEdge, &g_AdExitPrint
constexpr DeviceList<CAnalogSensor, 16> kAdSensorsColour = {
    {AD_COMMON_TEXTS, "Color Sensor L  ", "Color Sensor R  ", "Barcode Sensor L", "Barcode Sensor R"},
    {AD_COMMON_SENSORS, &g_AdCSenL, &g_AdCSenR, &g_AdBarcodeL, &g_AdBarcodeR}};
constexpr DeviceList<CAnalogSensor, 20> kAdSensorsMark = {
    {AD_COMMON_TEXTS, "Ribbon Mark1 L  ", "Ribbon Mark2 L  ", "Ribbon Mark3 L  ", "Ribbon Mark4 L  ",
     "Ribbon Mark1 R  ", "Ribbon Mark2 R  ", "Ribbon Mark3 R  ", "Ribbon Mark4 R  "},
    {AD_COMMON_SENSORS, &g_AdRMark1L, &g_AdRMark2L, &g_AdRMark3L, &g_AdRMark4L, &g_AdRMark1R, &g_AdRMark2R,
     &g_AdRMark3R, &g_AdRMark4R}};
#undef AD_COMMON_TEXTS
#undef AD_COMMON_SENSORS

constexpr DeviceList<CDigitalSensor, 38> kSwitchSensors = {
    {"Head Up Sensor L", "Head Dn Sensor L", "Head Up Sensor R", "Head Dn Sensor R", "MainPinch Sen L ",
     "MainPinch Sen C ", "FeedPinch Sen L ", "FeedPinch Sen R ", "LoadPinch Up Sen", "LoadPinch Dn Sen",
     "EjectPin. Mn Sen", "EjectPin. Sb Sen", "PathPosi Sen L  ", "PathPosi Sen R  ", "Rot.Lock Main   ",
     "Rot.Lock Sub    ", "LoadBar Up Sen  ", "LoadBar Dn Sen  ", "Unit Posi Sen   ", "Front Cover     ",
     "Paper Cover     ", "Side Cover L    ", "Side Cover R    ", "Upper Unit L    ", "Upper Unit R    ",
     "Cutter Sensor L ", "Cutter Sensor C ", "Cutter Sensor R ", "Rib Enc Dst L   ", "Rib Enc Src L   ",
     "Rib Enc Dst R   ", "Rib Enc Src R   ", "Turn Encode     ", "Roll Size       ", "Fault Check     ",
     "Paper Guide Open", "Exit Tray 1     ", "Exit Print 1    "},
    {&g_SensorHeadLUp,     &g_SensorHeadLDn,     &g_SensorHeadRUp,     &g_SensorHeadRDn,    &g_SensorMainPinL,
     &g_SensorMainPinC,    &g_SensorFeedPinchL,  &g_SensorFeedPinchR,  &g_SensorLoadPinUp,  &g_SensorLoadPinDn,
     &g_SensorEjectPinMn,  &g_SensorEjectPinSb,  &g_SensorPathPosiL,   &g_SensorPathPosiR,  &g_SensorLockMain,
     &g_SensorLockSub,     &g_SensorLoadBarUp,   &g_SensorLoadBarDn,   &g_SensorUnitPosi,   &g_SensorFrontCover,
     &g_SensorPaperCover,  &g_SensorSideCoverL,  &g_SensorSideCoverR,  &g_SensorUpperCoverL, &g_SensorUpperCoverR,
     &g_SensorCutterL,     &g_SensorCutterC,     &g_SensorCutterR,     &g_SensorRibEncDstL, &g_SensorRibEncSrcL,
     &g_SensorRibEncDstR,  &g_SensorRibEncSrcR,  &g_SensorTurnEncoder, &g_SensorRollSize,   &g_SensorFaultCheck,
     &g_SensorPaperGuide,  &g_SensorExitTray1,   &g_SensorExitPrint1}};

// The exit-print sensor is checked with the exit LED lit; every screen of
// the list ends with it off.
void RunSwitchSensorItem() {
  const int32_t i = SelectedEntry(std::size(kSwitchSensors.apObjects));
  if (i >= 0) {
    CDigitalSensor* pSensor = kSwitchSensors.apObjects[i];
    if (pSensor == &g_SensorExitPrint1) g_LedExit.On();
    pSensor->TestScreen();
  }
  g_LedExit.Off();
}
constexpr MenuRecord kSwitchSensorMenu{kSwitchSensors.aTexts, RunSwitchSensorItem};

// ---- small choices before a screen -------------------------------------------------------

// The carousel turns to the item's position (selections 1-3).
constexpr MenuText kCarouselTexts[] = {"To Right        ", "To Left         ", "To Neutral      "};
void TurnCarousel() { TurnPaperRollFromMenu(); }
constexpr MenuRecord kCarouselMenu{kCarouselTexts, TurnCarousel};

template <uint32_t ulMode>
void RunCutter() {
  g_Cutter.TestScreen(ulMode);
}
constexpr MenuEntry kCutEntries[] = {{"Cut Mode   :Diag", Run(RunCutter<3>)}, {"Cut Mode  :Print", Run(RunCutter<1>)}};
constexpr MenuRecord kCutMenu{kCutEntries, DispatchItem<kCutEntries>};

// The automatic load check is not part of this firmware yet: its item
// shows and does nothing.
constexpr MenuEntry kAutoLoadEntries[] = {{"Check Start     ", DoNothing()},
                                          {"Load Target     ", Edit(g_ParamLoadTarget)}};
constexpr MenuRecord kAutoLoadMenu{kAutoLoadEntries, DispatchItem<kAutoLoadEntries>};

// ---- the device-check menu -----------------------------------------------------------------

void RunMainPinchCheck() {
  g_pfnInitMainPinch(0, 0);
  g_pProllMain->TestScreen();
}
void RunFeedPinchCheck() { g_pProllFeed->TestScreen(); }

template <const auto& kList, auto pfnOperation>
constexpr MenuAction OpenList() {
  return Open(DeviceListMenu<kList, pfnOperation>::kMenu);
}

#define DEVICE_CHECK_COMMON_ENTRIES(kAdList)                                                             \
  {"Check Key       ", Run(CheckKeyTest)},                                                              \
      {"Check Head L    ", Run(RunDeviceOperation<g_HeadLiftL, &CHeadLift::TestScreen>)},              \
      {"Check Head R    ", Run(RunDeviceOperation<g_HeadLiftR, &CHeadLift::TestScreen>)},              \
      {"Check Load Bar  ", Run(RunDeviceOperation<g_LoadBar, &CLoadBar::TestScreen>)},                 \
      {"Check MainPinch ", Run(RunMainPinchCheck)}, {"Check FeedPinch ", Run(RunFeedPinchCheck)},      \
      {"Check LoadPinch ", Run(RunDeviceOperation<g_LoadPinch, &CLoadPinch::TestScreen>)},             \
      {"Check EjectPinch", Run(RunDeviceOperation<g_EjectPinch, &CEjectPinch::TestScreen>)},           \
      {"Check Path Sel. ", Run(RunDeviceOperation<g_PathSelect, &CPathSelect::TestScreen>)},           \
      {"Check Rot.Lock  ", Run(RunDeviceOperation<g_RotationLock, &CRotationLock::TestScreen>)},       \
      {"Check Carousel  ", Open(kCarouselMenu)}, {"Check Cutter    ", Open(kCutMenu)},                  \
      {"Check Motor     ", Run(RunMotorCheckMenu)},                                                     \
      {"Check Fan       ", OpenList<kFans, &CFanCrutch::TestScreen>()},                                 \
      {"Check Clutch    ", OpenList<kClutches, &CFanCrutch::TestScreen>()},                             \
      {"Check ADSensor  ", OpenList<kAdList, &CAnalogSensor::ShowVoltage>()},                           \
      {"Check 0/1Sensor ", Open(kSwitchSensorMenu)}, {"Check LED       ", OpenList<kLeds, &CLed::TestScreen>()}, \
      {"Check Encoder   ", OpenList<kEncoders, &CSlit::CheckRoutine>()}
#define DEVICE_CHECK_TAIL_ENTRIES                                                                        \
  {"Firmware Info   ", Run(RunFirmwareInfoMenu)}, {"EEP Back Up Mode", Run(RunEepromBackupMenu)},         \
      {"EEPROM Undo     ", Run(EepromUndoScreen)}, {"Check AutoLoad  ", Open(kAutoLoadMenu)}

constexpr MenuEntry kDeviceCheckColourEntries[] = {
    DEVICE_CHECK_COMMON_ENTRIES(kAdSensorsColour),
    {"Check Ribbon LED", OpenList<kRibbonLeds, &CColorLed::TestScreen>()},
    {"Check LED Slice ", OpenList<kLedSlices, &CColorSensor::ShowThreshold>()},
    {"BarCode Result L", Run(RunDeviceOperation<g_DonorMngColorSenL, &CDonorMng::ShowBarcodeScreen>)},
    {"BarCode Result R", Run(RunDeviceOperation<g_DonorMngColorSenR, &CDonorMng::ShowBarcodeScreen>)},
    DEVICE_CHECK_TAIL_ENTRIES};
constexpr MenuEntry kDeviceCheckMarkEntries[] = {DEVICE_CHECK_COMMON_ENTRIES(kAdSensorsMark),
                                                 DEVICE_CHECK_TAIL_ENTRIES};
#undef DEVICE_CHECK_COMMON_ENTRIES
#undef DEVICE_CHECK_TAIL_ENTRIES

static_assert(std::size(kDeviceCheckColourEntries) == 27 && std::size(kDeviceCheckMarkEntries) == 23);

constexpr MenuRecord kDeviceCheckColour{kDeviceCheckColourEntries, DispatchItem<kDeviceCheckColourEntries>};
constexpr MenuRecord kDeviceCheckMark{kDeviceCheckMarkEntries, DispatchItem<kDeviceCheckMarkEntries>};

}  // namespace

void RunDeviceCheckMenu() { RunMenu(ByRibbonControlType(kDeviceCheckColour, kDeviceCheckMark), 0); }
