// Placeholder of the application start-up: it runs, in the start-up's
// order, the steps whose parts are built (the FPGA pin-interrupt edges,
// the status items, the motor enable, the photo-sensor LEDs and the
// cover-open power-save output, the LEDs and the LCD,
// the host command layer, the serial number, the USB identity and the
// connection, the first printer state with the start-up events, the
// background-job gate, the last ribbon status), then the main loop until
// the application is told to stop. The steps of parts not built yet are
// left out, among them the ramp tables; of the engine variant only the
// colour-ribbon flag is selected.
#include "firmware/control/app_startup.h"
#include "firmware/control/event_states.h"
#include "firmware/control/idle_supervisor.h"
#include "firmware/control/host_status_table.h"
#include "firmware/control/lcd.h"
#include "firmware/control/leds.h"
#include "firmware/devices/machine_ports.h"
#include "firmware/devices/main_loop_stop.h"
#include "firmware/devices/panel_ports.h"
#include "firmware/devices/serial_number.h"
#include "firmware/devices/settings.h"
#include "firmware/hal/kernel.h"
#include "firmware/hostif/host_command_interface.h"
#include "firmware/platform/background_job.h"
#include "firmware/platform/ioctl.h"
#include "firmware/platform/placeholder.h"
#include "firmware/platform/us_timer.h"

uint8_t g_ucRibbonControlType;
uint32_t g_ulEngColorRibbon;
uint32_t g_ulLastRibbonStatus;
uint16_t g_usHeadResistanceL;
uint16_t g_usHeadResistanceR;

void SelectEngineVariant() {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "SelectEngineVariant (engine variants)");
  constexpr int32_t kEngineVersionEm2 = 1;
  const bool bEm2 = SettingValue(g_ParamEngineVersion) == kEngineVersionEm2;
  g_ulEngColorRibbon = !bEm2 && g_ucRibbonControlType != 0 ? 1 : 0;
}

int32_t StoreDebugRecord(uint32_t ulKind, const uint32_t*, uint32_t) { return ulKind > 4 ? -1 : 0; }

void AppTaskMain() {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "AppTaskMain (application start-up and main loop)");

  // The FPGA's pin interrupts: all edges off, then those the dispatch
  // serves.
  for (uint32_t ulPin = 0; ulPin <= 7; ++ulPin) IoctlClrGpioFallTrig(ulPin);
  constexpr uint32_t kFirstEdges[] = {0, 1, 2, 3, 4, 6};
  for (uint32_t ulPin : kFirstEdges) IoctlSetGpioFallTrig(ulPin);
  InitStatusItems();
  usb_attention();
  for (uint32_t ulPin = 1; ulPin <= 6; ++ulPin) IoctlSetGpioFallTrig(ulPin);

  // The motor drivers take their lines from here on.
  syslog(LOG_EMERG, "Motor Enable ON ...");
  g_PortMotorEnable.Set();

  // The photo sensors see light from the first pass on.
  syslog(LOG_EMERG, "PhotoSen LED ON ...");
  g_PortPhotoSenLed1.Set();
  g_UsTimer.WaitUs(1000);
  g_PortPhotoSenLed2.Set();
  g_UsTimer.WaitUs(1000);
  syslog(LOG_EMERG, "CoverOpen PowerSaveMode ON ...");
  g_PortCoverOpenPowerSave.Set();

  syslog(LOG_EMERG, "LCD Initialize ...");
  g_LedPower.On();
  g_LedReady.Off();
  g_LedError.Off();
  g_Lcd.Init();
  g_Lcd.PowerOn();
  g_Lcd.WriteText("Initializing    ", 0, 16);

  syslog(LOG_EMERG, "[MAIN] InitShMemUsb ...");
  InitShMemUsb();
  syslog(LOG_EMERG, "[MAIN] usb_attention ...");
  usb_attention();
  syslog(LOG_EMERG, "[MAIN] InitUsbProcess ...");
  InitUsbProcess();
  g_ucRibbonControlType = 1;
  syslog(LOG_EMERG, "[MAIN] g_ucRibbonControlType = %d ", g_ucRibbonControlType);

  LoadSerialNumber();
  char szSerial[SERIAL_NO_LENGTH + 1] = {};
  GetSerialNumber(szSerial);
  syslog(LOG_EMERG, "[MAIN] S/N = %s", szSerial);
  SetupUsbIdentity(szSerial);
  syslog(LOG_EMERG, "[MAIN] IoctlConnectUsb ...");
  IoctlConnectUsb();

  g_pCurEventMng = &g_EventMngReadyB;
  g_pCurEventMng->PostStartupEvents();
  SelectEngineVariant();

  ClearBackgroundJobRequests();
  g_ulLastRibbonStatus = static_cast<uint32_t>(SettingValue(g_ParamRibbonStatus));

  syslog(LOG_EMERG, "Main Loop ...");
  MainLoop();
  ShutdownApplicationIo();
}
