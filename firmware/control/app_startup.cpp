// The application task's body: the start-up in its fixed order, then the
// main loop. Every step runs once; a failing step raises its error index
// and the start-up goes on, so the printer always reaches the main loop,
// where the raised errors choose the printer state.
#include "firmware/control/app_startup.h"

#include "firmware/control/debug_records.h"
#include "firmware/control/dsp_startup.h"
#include "firmware/control/engine_variant.h"
#include "firmware/control/event_states.h"
#include "firmware/control/idle_supervisor.h"
#include "firmware/control/imprint_text.h"
#include "firmware/control/startup_steps.h"
#include "firmware/devices/eeprom.h"
#include "firmware/devices/lami_image.h"
#include "firmware/devices/main_loop_stop.h"
#include "firmware/devices/serial_number.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/hal/kernel.h"
#include "firmware/hostif/host_command_interface.h"
#include "firmware/mechanism/donor_mng_color.h"
#include "firmware/mechanism/donor_mng_mark.h"
#include "firmware/platform/background_job.h"
#include "firmware/platform/fpga_regs.h"
#include "firmware/platform/head_drive.h"
#include "firmware/platform/ioctl.h"
#include "firmware/platform/tag_reader.h"
#include "firmware/printengine/cis.h"
#include "firmware/printengine/dummy_lines.h"
#include "firmware/printengine/media_config.h"
#include "firmware/printengine/print_geometry.h"
#include "firmware/printengine/print_line.h"
#include "firmware/printengine/thv_control.h"
#include "firmware/printengine/tone_curve.h"
#include "firmware/service/service_menus.h"

uint8_t g_ucRibbonControlType;
uint32_t g_ulLastRibbonStatus;
const char* g_pszInitText;
uint32_t g_ulRibDummyLinesInit;

namespace {

constexpr uint8_t kColorSensorRibbon = 1;
constexpr int32_t kStepsPerLineDiam1 = 2722;
constexpr int32_t kStepsPerLineDefault = 4000;
constexpr int32_t kUnitTestIndexUnitB = 5;
constexpr uint8_t kDspTable10Fill = 128;

// The start-up's settings and words by the ribbon control type: colour
// sensor (non-zero) or mark sensor (0).
struct RibbonControlDefaults {
  int32_t lInitialD;
  int32_t lCalibDs;
  uint32_t ulRibDummyLinesInit;
  const char* pszInitText;
};
constexpr RibbonControlDefaults kColorSensorDefaults = {60, 60, 155, "Warming         "};
constexpr RibbonControlDefaults kMarkSensorDefaults = {80, 60, 67, "Initializing    "};

// Step 2: a point for the product's own additions; nothing here.
void AppStartupHook() {}

// Step 19: the serial number into RAM, the log and the USB descriptors.
// The cell holds 8 characters without a terminator: the log and the
// identity get a terminated copy of exactly those 8.
void LoadSerialAndIdentity() {
  LoadSerialNumber();
  char szSerial[SERIAL_NO_LENGTH + 1] = {};
  GetSerialNumber(szSerial);
  syslog(LOG_EMERG, "[MAIN] S/N = %s", szSerial);
  SetupUsbIdentity(szSerial);
}

// Step 23: unit L's manager and 8x12 roll model of the ribbon control type.
void SelectStartupRibbon() {
  if (g_ucRibbonControlType != 0) {
    g_pDonorMng = &g_DonorMngColorSenL;
    g_pRibbonRoll = &g_RibbonRolls.color8x12K1L;
  } else {
    g_pDonorMng = &g_DonorMngMarkSenL;
    g_pRibbonRoll = &g_RibbonRolls.mark8x12L;
  }
}

// Step 24: no ribbon on either unit, load mode 0, and the host told so.
void ResetMediaConfig() {
  g_MediaConfig.SetRibbonSize(0, 0);
  g_MediaConfig.SetRibbonSize(1, 0);
  g_MediaConfig.SetLoadMode(0);
  g_MediaConfig.SelectPrintSizeTable();
  g_MediaConfig.SendMediaInfo();
}

// Step 30: the paper stepper's steps per 1000 lines by the feed roller.
void SelectStepsPerLine() {
  g_ParamStpLx1000.SetValue(SettingValue(g_ParamFeedRollDiam) == 1 ? kStepsPerLineDiam1 : kStepsPerLineDefault);
}

// Step 34: the lamination images, checked and, when good, expanded.
void LoadLaminationImages() {
  if (g_ucRibbonControlType == 0) return;
  syslog(LOG_EMERG, "[MAIN] Loading Lami");
  if (CheckLamiImages() == 0) LoadLamiImage();
  syslog(LOG_EMERG, "Loading Lami Comp");
}

// Step 39: the unit test starts at the load unit's first index.
void SetUnitTestIndex() {
  g_ParamUnitTestIndex.SetValue(SettingValue(g_ParamLoadUnit) == 0 ? 0 : kUnitTestIndexUnitB);
}

// Step 40: the CIS calibration gains, only from usable calibration data.
void InitCisCalibration() {
  if (g_Cis.InitCis() == 0) g_Cis.SetCalibData();
}

// Step 41: the tag reader serves mark-sensor ribbon control only.
void InitTagReader() {
  if (g_ucRibbonControlType != 0) return;
  syslog(LOG_EMERG, "[MAIN] RFTag Initialize ...");
  InitRFTag();
}

// Step 42.
void ApplyRibbonControlDefaults() {
  const RibbonControlDefaults& d = g_ucRibbonControlType != 0 ? kColorSensorDefaults : kMarkSensorDefaults;
  g_ParamInitialD.SetValue(d.lInitialD);
  g_ParamCalibDs.SetValue(d.lCalibDs);
  g_ulRibDummyLinesInit = d.ulRibDummyLinesInit;
  g_pszInitText = d.pszInitText;
}

}  // namespace

void AppTaskMain() {
  ClearDebugRecord();
  ClearPaperLog();
  AppStartupHook();
  InitPinInterruptEdges();
  InitStatusAndUsbComm();
  SetPinInterruptEdges();
  SwitchOutputsOn();
  InitPanel();
  g_HeadDrive.Init();
  g_Eeprom.StoreFirmwareVersion();
  BackUpEeprom();
  StartUpDsp();

  // The mailbox and the command layer are reset before the serial number
  // goes into the descriptors; the device connects only after both.
  syslog(LOG_EMERG, "[MAIN] InitShMemUsb ...");
  InitShMemUsb();
  syslog(LOG_EMERG, "[MAIN] usb_attention ...");
  usb_attention();
  syslog(LOG_EMERG, "[MAIN] InitUsbProcess ...");
  InitUsbProcess();
  g_ucRibbonControlType = kColorSensorRibbon;
  syslog(LOG_EMERG, "[MAIN] g_ucRibbonControlType = %d ", g_ucRibbonControlType);
  syslog(LOG_EMERG, "[MAIN] DummyLine Initialize ...");
  InitDummyLines();
  LoadSerialAndIdentity();
  syslog(LOG_EMERG, "[MAIN] IoctlConnectUsb ...");
  IoctlConnectUsb();

  InitTables();
  syslog(LOG_EMERG, "[MAIN] ToneCurve Initialize ...");
  g_ToneCurve.InitToneCurve();
  SelectStartupRibbon();
  ResetMediaConfig();
  g_FpgaMain.ReadHeadInfo();
  // The first state is ready state B whatever was raised; the main loop's
  // first selection replaces it.
  g_pCurEventMng = &g_EventMngReadyB;
  g_pCurEventMng->PostStartupEvents();
  CheckRollBackFlag();
  g_ThvYL.Init();
  ApplyExitPrintThreshold();
  SelectStepsPerLine();
  SelectEngineVariant();
  ConfigureColorSensorInputs();
  SelectStartupMode();
  LoadLaminationImages();
  CheckSerialPlaceholder();
  CheckHeadEepromL();
  CheckHeadEepromR();
  BuildStartupRamps();
  InitImprintTextItems();
  SetUnitTestIndex();
  InitCisCalibration();
  InitTagReader();
  ApplyRibbonControlDefaults();
  ClearBackgroundJobRequests();
  FillDspTable10(kDspTable10Fill);
  g_PrintLine.SendTable10();
  g_ulLastRibbonStatus = static_cast<uint32_t>(SettingValue(g_ParamRibbonStatus));

  syslog(LOG_EMERG, "Main Loop ...");
  MainLoop();
  ShutdownApplicationIo();
}
