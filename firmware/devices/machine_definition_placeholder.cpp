// Placeholder of the machine definition: the one ordered construction list.
// Each global object that is built joins the list below, in machine order,
// until the full machine definition takes its place.
#include "firmware/devices/eeprom.h"
#include "firmware/devices/eeprom_cells.h"
#include "firmware/control/error_history.h"
#include "firmware/control/error_manager.h"
#include "firmware/control/event_states.h"
#include "firmware/control/idle_supervisor.h"
#include "firmware/control/keys.h"
#include "firmware/control/lcd.h"
#include "firmware/control/leds.h"
#include "firmware/control/power_save.h"
#include "firmware/devices/io_port.h"
#include "firmware/devices/machine_definition.h"
#include "firmware/devices/panel_ports.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/settings.h"
#include "firmware/hal/global.h"
#include "firmware/platform/byte_access16.h"
#include "firmware/platform/fpga_regs.h"
#include "firmware/platform/placeholder.h"
#include "firmware/platform/system_init.h"
#include "firmware/platform/time_base.h"
#include "firmware/platform/us_timer.h"

void ConstructGlobals() {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "ConstructGlobals (machine definition)");

  // The early board start-up comes first: every later object that touches
  // the FPGA needs it configured.
  hal::ConstructGlobal(g_SystemInit, kGlobalBuild);

  // The FPGA's main block (its shadows are read from the configured FPGA)
  // and the time bases.
  hal::ConstructGlobal(g_FpgaMain, kGlobalBuild);
  hal::ConstructGlobal(g_MsTimer);
  hal::ConstructGlobal(g_UsTimer, kGlobalBuild);
  hal::ConstructGlobal(g_Lcd);
  hal::ConstructGlobal(g_ErrorMng, kGlobalBuild);
  hal::ConstructGlobal(g_IdleSupervisor, kGlobalBuild);

  // The port registries, before any port.
  hal::ConstructGlobal(g_PortRegTableInWord);
  hal::ConstructGlobal(g_PortRegTableInLong);
  hal::ConstructGlobal(g_PortRegTableOutWord);
  hal::ConstructGlobal(g_PortRegTableOutLong);

  // The ports, in the machine's port order (of those built so far).
  ConstructFpgaInputPorts();
  using namespace panel_ports;
  hal::ConstructGlobal(g_PortExitLed, kFpgaExitLed, 1u << 11);
  hal::ConstructGlobal(g_PortPhotoSenLed1, kGpioOut01, 1u << 20);
  hal::ConstructGlobal(g_PortPhotoSenLed2, kGpioOut01, 1u << 21);
  hal::ConstructGlobal(g_PortKeys, kGpioIn67, 0x3Fu);
  hal::ConstructGlobal(g_PortLcdE, kGpioOut67, 1u << 6);
  hal::ConstructGlobal(g_PortLcdRs, kGpioOut67, 1u << 7);
  hal::ConstructGlobal(g_PortLedError, kGpioOut67, 1u << 8);
  hal::ConstructGlobal(g_PortLedReady, kGpioOut67, 1u << 9);
  hal::ConstructGlobal(g_PortLedPower, kGpioOut67, 1u << 10);
  hal::ConstructGlobal(g_PortLcdPower, kGpioOut67, 1u << 11);
  hal::ConstructGlobal(g_PortPowerSave, kGpioOut67, 1u << 12);
  hal::ConstructGlobal(g_PortCoverOpenPowerSave, kGpioOut67, 1u << 13);
  hal::ConstructGlobal(g_PortLcdData, kGpioOut67, 0xFF000000u);

  // The key states, the key manager and the panel LEDs.
  hal::ConstructGlobal(g_KeyStateRelease1);
  hal::ConstructGlobal(g_KeyStateRelease2);
  hal::ConstructGlobal(g_KeyStateInc1);
  hal::ConstructGlobal(g_KeyStateInc2);
  hal::ConstructGlobal(g_KeyStateInc3);
  hal::ConstructGlobal(g_KeyStateDec1);
  hal::ConstructGlobal(g_KeyStateDec2);
  hal::ConstructGlobal(g_KeyStateDec3);
  hal::ConstructGlobal(g_KeyStateEnter);
  hal::ConstructGlobal(g_KeyStateMenu);
  hal::ConstructGlobal(g_KeyStateFeed);
  hal::ConstructGlobal(g_KeyStateClear);
  hal::ConstructGlobal(g_KeyMng, kGlobalBuild);
  hal::ConstructGlobal(g_LedReady, ledlabels::kReady, &g_PortLedReady);
  hal::ConstructGlobal(g_LedError, ledlabels::kError, &g_PortLedError);
  hal::ConstructGlobal(g_LedPower, ledlabels::kPower, &g_PortLedPower);
  hal::ConstructGlobal(g_LedExit, ledlabels::kExit, &g_PortExitLed);

  // The byte accessor and the main EEPROM (its header is loaded, and a
  // foreign EEPROM formatted) before every cell; then the head EEPROMs.
  hal::ConstructGlobal(g_ByteAccess16);
  ConstructMainEeprom();
  ConstructHeadEeproms();
  // The EEPROM cells (each applies its initialisation rule).
  ConstructMainEepromCells();
  ConstructHeadEepromCells();
  // The settings the control core reads, on their cells.
  ConstructControlSettings();
  // The error history, after its cells 122 and 123.
  hal::ConstructGlobal(g_ErrorHist, kGlobalBuild);

  // The switch sensors, the converter, the slice settings and the A/D
  // sensors on them, then the fan levels.
  ConstructSwitchSensors();
  hal::ConstructGlobal(g_AdConverter);
  ConstructSliceSettings();
  ConstructAdSensors();
  ConstructFanSettings();

  // The printer states; their order gives their ids.
  hal::ConstructGlobal(g_EventMngReadyB, kGlobalBuild);
  hal::ConstructGlobal(g_EventMngReadyC, kGlobalBuild);
  hal::ConstructGlobal(g_EventMngReadyA, kGlobalBuild);
  hal::ConstructGlobal(g_EventMngPreReady, kGlobalBuild);
  hal::ConstructGlobal(g_EventMngReadyLoad, kGlobalBuild);
  hal::ConstructGlobal(g_EventMngNoPaper, kGlobalBuild);
  hal::ConstructGlobal(g_EventMngNoRibbon, kGlobalBuild);
  hal::ConstructGlobal(g_EventMngJam, kGlobalBuild);
  hal::ConstructGlobal(g_EventMngCoverOpen, kGlobalBuild);
  hal::ConstructGlobal(g_EventMngPaperCoverOpen, kGlobalBuild);
  hal::ConstructGlobal(g_EventMngCError, kGlobalBuild);
  hal::ConstructGlobal(g_EventMngHError, kGlobalBuild);
  hal::ConstructGlobal(g_EventMngMError, kGlobalBuild);
  hal::ConstructGlobal(g_EventMngPapRemove, kGlobalBuild);
  hal::ConstructGlobal(g_EventMngHalfRollBack, kGlobalBuild);
  hal::ConstructGlobal(g_EventMngLoadFail, kGlobalBuild);

  // Stays last: once every cell exists, the stored layout version is raised
  // to the running firmware's and the init flags cleared, so the cells'
  // defaults are written only once (the application start-up's step, here
  // until that start-up is built).
  g_Eeprom.StoreFirmwareVersion();

  // Last come the power-save time (RAM only) and the power-save object,
  // which reads it when it is built.
  hal::ConstructGlobal(g_ParamPowerSaveTime, settings::kPowerSaveTimeLabel, 0, 240, nullptr, nullptr, nullptr, 5);
  hal::ConstructGlobal(g_PowerSave, kGlobalBuild);
}
