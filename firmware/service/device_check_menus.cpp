// The device-check menu of the service modes in its two variants (colour-
// sensor and mark-sensor ribbon control) and the device lists behind it:
// positioners, carousel, cutter, fans, clutches, sensors, LEDs, encoders,
// colour sensors, firmware and EEPROM items, and the automatic load check.
#include "firmware/service/device_check_menus.h"

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
#include "firmware/control/app_startup.h"
#include "firmware/service/device_lists.h"
#include "firmware/service/firmware_info_screens.h"
#include "firmware/service/motor_check_menus.h"
#include "firmware/service/reset_screens.h"
#include "firmware/service/service_menus.h"

namespace {

// ---- device lists ----------------------------------------------------------------------

constexpr DeviceList<CFanCrutch, 6> kFans = {
    {nullptr, "Head Fan L      ", "Head Fan R      ", "Side Fan L      ", "Side Fan R      ", "StpMtr Fan      ",
     "PCB Fan         ", nullptr},
    {&g_FanHeadL, &g_FanHeadR, &g_FanSideL, &g_FanSideR, &g_FanStpMtr, &g_FanPcb}};

constexpr DeviceList<CFanCrutch, 3> kClutches = {
    {nullptr, "RibRvsClutch L  ", "RibRvsClutch R  ", "Load Clutch     ", nullptr},
    {&g_ClutchRibRvsL, &g_ClutchRibRvsR, &g_ClutchLoad}};

constexpr DeviceList<CLed, 4> kLeds = {
    {nullptr, "Power LED       ", "Ready LED       ", "Error LED       ", "Exit LED        ", nullptr},
    {&g_LedPower, &g_LedReady, &g_LedError, &g_LedExit}};

constexpr DeviceList<CSlit, 7> kEncoders = {
    {nullptr, "Rib Enc Dst L   ", "Rib Enc Src L   ", "Rib Enc Dst R   ", "Rib Enc Src R   ", "Roll Size       ",
     "Turn Encode     ", "Fault Check     ", nullptr},
    {&g_SlitRibEncDstL, &g_SlitRibEncSrcL, &g_SlitRibEncDstR, &g_SlitRibEncSrcR, &g_SlitRollEnc, &g_SlitTurnEnc,
     &g_SlitFaultChk}};

#define COLOUR_TEXTS                                                                                        \
  nullptr, "Red LED L       ", "Red LED R       ", "Green LED L     ", "Green LED R     ", "Blue LED L      ", \
      "Blue LED R      ", nullptr
constexpr DeviceList<CColorLed, 6> kRibbonLeds = {
    {COLOUR_TEXTS},
    {&g_ColorLedRedL, &g_ColorLedRedR, &g_ColorLedGreenL, &g_ColorLedGreenR, &g_ColorLedBlueL, &g_ColorLedBlueR}};
constexpr DeviceList<CColorSensor, 6> kLedSlices = {
    {COLOUR_TEXTS},
    {&g_ColorSensorRedL, &g_ColorSensorRedR, &g_ColorSensorGreenL, &g_ColorSensorGreenR, &g_ColorSensorBlueL,
     &g_ColorSensorBlueR}};
#undef COLOUR_TEXTS

#define AD_COMMON_TEXTS                                                                                          \
  nullptr, "Top Sensor L    ", "Top Sensor R    ", "Print Posi Sen  ", "Paper Empty Sen ", "Env Therm.      ", \
      "Head Therm. L   ", "Head Therm. R   ", "PaperPath Sensor", "Env Humid.      ", "TPH Volt.       ",       \
      "Roll Edge Sensor", "ExitPrint Sensor"
#define AD_COMMON_SENSORS                                                                                    \
  &g_AdTopL, &g_AdTopR, &g_AdPosition, &g_AdPaperEmpty, &g_AdEnvTherm, &g_AdHThermL, &g_AdHThermR, &g_AdPaperPath, \
      &g_AdEnvHumid, &g_AdTHV, &g_AdRollEdge, &g_AdExitPrint
constexpr DeviceList<CAnalogSensor, 16> kAdSensorsColour = {
    {AD_COMMON_TEXTS, "Color Sensor L  ", "Color Sensor R  ", "Barcode Sensor L", "Barcode Sensor R", nullptr},
    {AD_COMMON_SENSORS, &g_AdCSenL, &g_AdCSenR, &g_AdBarcodeL, &g_AdBarcodeR}};
constexpr DeviceList<CAnalogSensor, 20> kAdSensorsMark = {
    {AD_COMMON_TEXTS, "Ribbon Mark1 L  ", "Ribbon Mark2 L  ", "Ribbon Mark3 L  ", "Ribbon Mark4 L  ",
     "Ribbon Mark1 R  ", "Ribbon Mark2 R  ", "Ribbon Mark3 R  ", "Ribbon Mark4 R  ", nullptr},
    {AD_COMMON_SENSORS, &g_AdRMark1L, &g_AdRMark2L, &g_AdRMark3L, &g_AdRMark4L, &g_AdRMark1R, &g_AdRMark2R,
     &g_AdRMark3R, &g_AdRMark4R}};
#undef AD_COMMON_TEXTS
#undef AD_COMMON_SENSORS

constexpr DeviceList<CDigitalSensor, 38> kSwitchSensors = {
    {nullptr,
     "Head Up Sensor L", "Head Dn Sensor L", "Head Up Sensor R", "Head Dn Sensor R", "MainPinch Sen L ",
     "MainPinch Sen C ", "FeedPinch Sen L ", "FeedPinch Sen R ", "LoadPinch Up Sen", "LoadPinch Dn Sen",
     "EjectPin. Mn Sen", "EjectPin. Sb Sen", "PathPosi Sen L  ", "PathPosi Sen R  ", "Rot.Lock Main   ",
     "Rot.Lock Sub    ", "LoadBar Up Sen  ", "LoadBar Dn Sen  ", "Unit Posi Sen   ", "Front Cover     ",
     "Paper Cover     ", "Side Cover L    ", "Side Cover R    ", "Upper Unit L    ", "Upper Unit R    ",
     "Cutter Sensor L ", "Cutter Sensor C ", "Cutter Sensor R ", "Rib Enc Dst L   ", "Rib Enc Src L   ",
     "Rib Enc Dst R   ", "Rib Enc Src R   ", "Turn Encode     ", "Roll Size       ", "Fault Check     ",
     "Paper Guide Open", "Exit Tray 1     ", "Exit Print 1    ", nullptr},
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
  const uint32_t ulItem = GetMenuSelection();
  if (ulItem >= 1 && ulItem <= std::size(kSwitchSensors.apObjects)) {
    CDigitalSensor* pSensor = kSwitchSensors.apObjects[ulItem - 1];
    if (pSensor == &g_SensorExitPrint1) g_LedExit.On();
    pSensor->TestScreen();
  }
  g_LedExit.Off();
}
constexpr auto kSwitchSensorHandlers = SharedHandlers<RunSwitchSensorItem, std::size(kSwitchSensors.apObjects)>();
constexpr MenuDesc kSwitchSensorMenu = {kSwitchSensors.apszLabels, kSwitchSensorHandlers.data()};

// ---- small choices before a screen -------------------------------------------------------

const char* const kCarouselLabels[] = {nullptr, "To Right        ", "To Left         ", "To Neutral      ",
                                       nullptr};
void TurnCarousel() { TurnPaperRollFromMenu(); }
constexpr auto kCarouselHandlers = SharedHandlers<TurnCarousel, 3>();
constexpr MenuDesc kCarouselMenu = {kCarouselLabels, kCarouselHandlers.data()};

// The cutter screen's mode of each item.
constexpr uint32_t kCutModes[] = {3, 1};
const char* const kCutLabels[] = {nullptr, "Cut Mode   :Diag", "Cut Mode  :Print", nullptr};
void RunCutterItem() {
  const uint32_t ulItem = GetMenuSelection();
  if (ulItem >= 1 && ulItem <= std::size(kCutModes)) g_Cutter.TestScreen(kCutModes[ulItem - 1]);
}
constexpr auto kCutHandlers = SharedHandlers<RunCutterItem, 2>();
constexpr MenuDesc kCutMenu = {kCutLabels, kCutHandlers.data()};

// The automatic load check is not part of this firmware yet: its item
// shows and does nothing.
void RunAutoLoadCheck() {}
void EditLoadTarget() { EditParameter(&g_ParamLoadTarget); }
const char* const kAutoLoadLabels[] = {nullptr, "Check Start     ", "Load Target     ", nullptr};
const MenuHandler kAutoLoadHandlers[] = {SelectFirstMenuItem, RunAutoLoadCheck, EditLoadTarget};
constexpr MenuDesc kAutoLoadMenu = {kAutoLoadLabels, kAutoLoadHandlers};

// ---- the device-check menu -----------------------------------------------------------------

void RunKeyCheck() { CheckKeyTest(); }
void RunMainPinchCheck() {
  g_pfnInitMainPinch(0, 0);
  g_pProllMain->TestScreen();
}
void RunFeedPinchCheck() { g_pProllFeed->TestScreen(); }
template <const MenuDesc& kMenu>
void OpenMenu() {
  RunMenu(&kMenu, 0);
}
void OpenSwitchSensors() { RunMenu(&kSwitchSensorMenu, 0); }

#define DEVICE_CHECK_COMMON_TEXTS                                                                         \
  nullptr, "Check Key       ", "Check Head L    ", "Check Head R    ", "Check Load Bar  ", "Check MainPinch ", \
      "Check FeedPinch ", "Check LoadPinch ", "Check EjectPinch", "Check Path Sel. ", "Check Rot.Lock  ",   \
      "Check Carousel  ", "Check Cutter    ", "Check Motor     ", "Check Fan       ", "Check Clutch    ",   \
      "Check ADSensor  ", "Check 0/1Sensor ", "Check LED       ", "Check Encoder   "
#define DEVICE_CHECK_TAIL_TEXTS "Firmware Info   ", "EEP Back Up Mode", "EEPROM Undo     ", "Check AutoLoad  ", nullptr
#define DEVICE_CHECK_HEAD_HANDLERS(kAdList)                                                                      \
  SelectFirstMenuItem, RunKeyCheck, RunDeviceOperation<g_HeadLiftL, &CHeadLift::TestScreen>,                     \
      RunDeviceOperation<g_HeadLiftR, &CHeadLift::TestScreen>, RunDeviceOperation<g_LoadBar, &CLoadBar::TestScreen>, \
      RunMainPinchCheck, RunFeedPinchCheck, RunDeviceOperation<g_LoadPinch, &CLoadPinch::TestScreen>,            \
      RunDeviceOperation<g_EjectPinch, &CEjectPinch::TestScreen>,                                                \
      RunDeviceOperation<g_PathSelect, &CPathSelect::TestScreen>,                                                \
      RunDeviceOperation<g_RotationLock, &CRotationLock::TestScreen>, OpenMenu<kCarouselMenu>, OpenMenu<kCutMenu>, \
      RunMotorCheckMenu, RunDeviceList<kFans, &CFanCrutch::TestScreen>,                                          \
      RunDeviceList<kClutches, &CFanCrutch::TestScreen>, RunDeviceList<kAdList, &CAnalogSensor::ShowVoltage>,     \
      OpenSwitchSensors, RunDeviceList<kLeds, &CLed::TestScreen>, RunDeviceList<kEncoders, &CSlit::CheckRoutine>
#define DEVICE_CHECK_TAIL_HANDLERS RunFirmwareInfoMenu, RunEepromBackupMenu, EepromUndoScreen, OpenMenu<kAutoLoadMenu>

const char* const kDeviceCheckLabelsColour[] = {DEVICE_CHECK_COMMON_TEXTS, "Check Ribbon LED", "Check LED Slice ",
                                                "BarCode Result L", "BarCode Result R", DEVICE_CHECK_TAIL_TEXTS};
const MenuHandler kDeviceCheckHandlersColour[] = {
    DEVICE_CHECK_HEAD_HANDLERS(kAdSensorsColour),
    RunDeviceList<kRibbonLeds, &CColorLed::TestScreen>,
    RunDeviceList<kLedSlices, &CColorSensor::ShowThreshold>,
    RunDeviceOperation<g_DonorMngColorSenL, &CDonorMng::ShowBarcodeScreen>,
    RunDeviceOperation<g_DonorMngColorSenR, &CDonorMng::ShowBarcodeScreen>,
    DEVICE_CHECK_TAIL_HANDLERS};
const char* const kDeviceCheckLabelsMark[] = {DEVICE_CHECK_COMMON_TEXTS, DEVICE_CHECK_TAIL_TEXTS};
const MenuHandler kDeviceCheckHandlersMark[] = {DEVICE_CHECK_HEAD_HANDLERS(kAdSensorsMark),
                                                DEVICE_CHECK_TAIL_HANDLERS};
#undef DEVICE_CHECK_COMMON_TEXTS
#undef DEVICE_CHECK_TAIL_TEXTS
#undef DEVICE_CHECK_HEAD_HANDLERS
#undef DEVICE_CHECK_TAIL_HANDLERS

static_assert(std::size(kDeviceCheckLabelsColour) == 27 + 2 && std::size(kDeviceCheckHandlersColour) == 27 + 1);
static_assert(std::size(kDeviceCheckLabelsMark) == 23 + 2 && std::size(kDeviceCheckHandlersMark) == 23 + 1);

constexpr MenuDesc kDeviceCheckColour = {kDeviceCheckLabelsColour, kDeviceCheckHandlersColour};
constexpr MenuDesc kDeviceCheckMark = {kDeviceCheckLabelsMark, kDeviceCheckHandlersMark};

}  // namespace

void RunDeviceCheckMenu() { RunMenu(g_ucRibbonControlType != 0 ? &kDeviceCheckColour : &kDeviceCheckMark, 0); }
