#include "firmware/devices/machine_definition.h"

#include "firmware/control/error_history.h"
#include "firmware/control/error_manager.h"
#include "firmware/control/event_states.h"
#include "firmware/control/head_preheat.h"
#include "firmware/control/idle_supervisor.h"
#include "firmware/control/keys.h"
#include "firmware/control/lcd.h"
#include "firmware/control/leds.h"
#include "firmware/control/power_save.h"
#include "firmware/devices/buf_slot_table.h"
#include "firmware/devices/eeprom.h"
#include "firmware/devices/eeprom_cells.h"
#include "firmware/devices/io_port.h"
#include "firmware/devices/lami_image.h"
#include "firmware/devices/life_counters.h"
#include "firmware/devices/machine_actuators.h"
#include "firmware/devices/machine_ports.h"
#include "firmware/devices/panel_ports.h"
#include "firmware/devices/paper_position.h"
#include "firmware/devices/print_log.h"
#include "firmware/devices/ramps.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/stepper.h"
#include "firmware/hal/global.h"
#include "firmware/mechanism/cutter.h"
#include "firmware/mechanism/donor_mng.h"
#include "firmware/mechanism/eject_motor.h"
#include "firmware/mechanism/feed_pinch.h"
#include "firmware/mechanism/main_pinch.h"
#include "firmware/mechanism/path_select.h"
#include "firmware/mechanism/ribbon_roll.h"
#include "firmware/mechanism/ribbon_watchdogs.h"
#include "firmware/mechanism/rotation_lock.h"
#include "firmware/mechanism/simple_positioners.h"
#include "firmware/platform/byte_access16.h"
#include "firmware/platform/fpga_regs.h"
#include "firmware/platform/head_drive.h"
#include "firmware/platform/system_init.h"
#include "firmware/platform/time_base.h"
#include "firmware/platform/us_timer.h"
#include "firmware/printengine/cis.h"
#include "firmware/printengine/head_overheat.h"
#include "firmware/printengine/image_buffer.h"
#include "firmware/printengine/media_config.h"
#include "firmware/printengine/print_geometry.h"
#include "firmware/printengine/print_job_queue.h"
#include "firmware/printengine/plane_sequencer.h"
#include "firmware/printengine/print_line.h"
#include "firmware/printengine/roll_diameter.h"
#include "firmware/printengine/text_overlay.h"
#include "firmware/printengine/thv_control.h"
#include "firmware/printengine/tone_curve.h"

namespace {

// ---- the objects built by name ----------------------------------------------------------

// The early board start-up: sets up the board, configures the FPGA from
// flash and selects unit A. Every later object that touches the FPGA needs
// it configured.
void BuildSystemInit() { hal::ConstructGlobal(g_SystemInit, kGlobalBuild); }

// The FPGA's main block (its shadows are read from the configured FPGA),
// the time bases, the head-drive block (its shadows read likewise), the
// LCD, the image memory's access and the control core's error manager and
// idle supervisor.
void BuildCore() {
  hal::ConstructGlobal(g_FpgaMain, kGlobalBuild);
  hal::ConstructGlobal(g_MsTimer);
  hal::ConstructGlobal(g_UsTimer, kGlobalBuild);
  hal::ConstructGlobal(g_HeadDrive, kGlobalBuild);
  hal::ConstructGlobal(g_Lcd);
  hal::ConstructGlobal(g_ImageBuffer, kGlobalBuild);
  hal::ConstructGlobal(g_ErrorMng, kGlobalBuild);
  hal::ConstructGlobal(g_IdleSupervisor, kGlobalBuild);
}

void BuildPortRegistries() {
  hal::ConstructGlobal(g_PortRegTableInWord);
  hal::ConstructGlobal(g_PortRegTableInLong);
  hal::ConstructGlobal(g_PortRegTableOutWord);
  hal::ConstructGlobal(g_PortRegTableOutLong);
}

void BuildKeys() {
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
}

void BuildPanelLeds() {
  hal::ConstructGlobal(g_LedReady, ledlabels::kReady, &g_PortLedReady);
  hal::ConstructGlobal(g_LedError, ledlabels::kError, &g_PortLedError);
  hal::ConstructGlobal(g_LedPower, ledlabels::kPower, &g_PortLedPower);
  hal::ConstructGlobal(g_LedExit, ledlabels::kExit, &g_PortExitLed);
}

// The byte accessor and the main EEPROM (its header is loaded, and a
// foreign EEPROM formatted): before every cell.
void BuildMainEeprom() {
  hal::ConstructGlobal(g_ByteAccess16);
  ConstructMainEeprom();
}

void BuildAdConverter() { hal::ConstructGlobal(g_AdConverter); }

void BuildHeadEepromL() { ConstructHeadEeprom(0); }
void BuildHeadEepromR() { ConstructHeadEeprom(1); }

// The positioners and the eject motor, after the sensors, motors and
// settings they point at.
void BuildPositioners() {
  hal::ConstructGlobal(g_HeadLiftL, 0u);
  hal::ConstructGlobal(g_HeadLiftR, 1u);
  hal::ConstructGlobal(g_RotationLock, kGlobalBuild);
  hal::ConstructGlobal(g_ProllMainEM2, kGlobalBuild);
  hal::ConstructGlobal(g_ProllMainEM3, kGlobalBuild);
  hal::ConstructGlobal(g_ProllFeedEM2, kGlobalBuild);
  hal::ConstructGlobal(g_ProllFeedEM3, kGlobalBuild);
  hal::ConstructGlobal(g_LoadPinch, kGlobalBuild);
  hal::ConstructGlobal(g_EjectPinch, kGlobalBuild);
  hal::ConstructGlobal(g_PathSelect, kGlobalBuild);
  hal::ConstructGlobal(g_Cutter, kGlobalBuild);
  hal::ConstructGlobal(g_EjectMotor, &g_ChopMotorEject);
  hal::ConstructGlobal(g_LoadBar, kGlobalBuild);
}

// The paper, sub and exit steppers: each writes 0x02 to its control byte.
void BuildSteppers() {
  hal::ConstructGlobal(g_StpmtrMain, "Stepping Motor  ", 0u);
  hal::ConstructGlobal(g_StpmtrSub, "SteppingMotorSub", 0u);
  hal::ConstructGlobal(g_StpmtrExit, "SteppingMotorExt", 0u);
}

void BuildPaperPosition() { hal::ConstructGlobal(g_PaperPosition, kGlobalBuild); }

// The print engine's unit pair, media configuration and job queue (empty:
// every record free).
void BuildUnitPair() { hal::ConstructGlobal(g_UnitPair, kGlobalBuild); }
void BuildMediaConfig() { hal::ConstructGlobal(g_MediaConfig, kGlobalBuild); }
void BuildPrintJobQueue() { hal::ConstructGlobal(g_PrintJobQueue, kGlobalBuild); }
// The paper roll: a full diameter, nothing left until the first load.
void BuildRollDiameter() { hal::ConstructGlobal(g_RollDiameter, kGlobalBuild); }
// The tone curves: the RAM curves cleared until the start-up loads them.
void BuildToneCurve() { hal::ConstructGlobal(g_ToneCurve, kGlobalBuild); }
// The over-heat watches on the two head thermistors.
void BuildHeadOverheat() {
  hal::ConstructGlobal(g_HeadOverheatL, g_AdHThermL);
  hal::ConstructGlobal(g_HeadOverheatR, g_AdHThermR);
}
// The print geometry (computed by the start-up's engine selection) and the
// track-correction lengths, read from their settings.
// The CIS (setting index 0).
void BuildCis() { hal::ConstructGlobal(g_Cis, kGlobalBuild); }

void BuildPrintGeometry() {
  hal::ConstructGlobal(g_PrintGeometry);
  hal::ConstructGlobal(g_TrackCorrect, kGlobalBuild);
}

// The active and the stored lamination-pattern slot, told apart by their
// flash addresses.
void BuildLamiImages() {
  hal::ConstructGlobal(g_LamiImgSlot0, LAMI_IMG_SLOT0_ADDRESS);
  hal::ConstructGlobal(g_LamiImgSlot1, LAMI_IMG_SLOT1_ADDRESS);
}

// The text overlay's font states first: the print line draws with them.
void BuildPrintLine() {
  hal::ConstructGlobal(g_TextOverlay, kGlobalBuild);
  hal::ConstructGlobal(g_PrintLine, kGlobalBuild);
  hal::ConstructGlobal(g_PlaneSequencer, kGlobalBuild);
}

// The printer states; their order gives their ids.
void BuildPrinterStates() {
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
}

// The pre-heat of each unit and of both heads: each leaves its heads off.
void BuildPreheat() {
  hal::ConstructGlobal(g_PreheatL, 0u);
  hal::ConstructGlobal(g_PreheatR, 1u);
  hal::ConstructGlobal(g_PreheatBoth, kGlobalBuild);
}

// The print log clears its SDRAM area.
void BuildPrintLog() { hal::ConstructGlobal(g_PrintLog, kGlobalBuild); }

// The error history loads its table from flash through cells 122 and 123.
void BuildErrorHistory() { hal::ConstructGlobal(g_ErrorHist, kGlobalBuild); }

void BuildPowerSave() { hal::ConstructGlobal(g_PowerSave, kGlobalBuild); }

constexpr BuildStep Objects(void (*pfnBuild)(), const char* pszObjects) {
  return {BUILD_OBJECTS, 0, 0, pfnBuild, pszObjects};
}
constexpr BuildStep Rows(BuildStepKind eKind, uint32_t ulFirst, uint32_t ulCount) {
  return {eKind, static_cast<uint16_t>(ulFirst), static_cast<uint16_t>(ulCount), nullptr, nullptr};
}
constexpr BuildStep Settings(SettingGroup group) { return Rows(BUILD_SETTINGS, group.usFirst, group.usCount); }

}  // namespace

// Cells that no setting or counter sits on.
constexpr LooseCell g_aLooseCells[] = {
    // The error history's slot index and sector (group 8).
    {122, LOOSE_CELL_MAIN},
    {123, LOOSE_CELL_MAIN},
    // The serial number, the CIS calibration's serial number and the head
    // information characters 5 and 6 of both heads.
    {EEPROM_SERIAL_NO_ADDR, LOOSE_CELL_MAIN},
    {EEPROM_CIS_CALIB_SERIAL_ADDR, LOOSE_CELL_MAIN},
    {80, 0},
    {81, 0},
    {80, 1},
    {81, 1},
};
constexpr uint32_t g_ulLooseCellCount = sizeof(g_aLooseCells) / sizeof(g_aLooseCells[0]);

constexpr BuildStep g_aMachineBuildSteps[] = {
    // 1: the board, the FPGA and unit A.
    Objects(BuildSystemInit, "g_SystemInit"),
    // 2
    Objects(BuildCore, "g_FpgaMain g_MsTimer g_UsTimer g_HeadDrive g_Lcd g_ImageBuffer g_ErrorMng g_IdleSupervisor"),
    // 3: the registries, before any port.
    Objects(BuildPortRegistries, "g_PortRegTableInWord g_PortRegTableInLong g_PortRegTableOutWord g_PortRegTableOutLong"),
    // 4: the ports.
    Rows(BUILD_PORTS, 0, PORT_MAIN_COUNT),
    // 5: the keys and the panel LEDs.
    Objects(BuildKeys, "g_KeyStateRelease1 g_KeyMng"),
    Objects(BuildPanelLeds, "g_LedReady g_LedError g_LedPower g_LedExit"),
    // 6: the main EEPROM, before every cell.
    Objects(BuildMainEeprom, "g_ByteAccess16 g_EepromDevice g_Eeprom"),
    // 7: the head EEPROMs (their ports, bus and device), before every head cell.
    Objects(BuildHeadEepromL, "g_HeadEepromBusL g_HeadEepromL"),
    Objects(BuildHeadEepromR, "g_HeadEepromBusR g_HeadEepromR"),
    // 8: the error history's cells, then the history itself.
    Rows(BUILD_LOOSE_CELLS, 0, 2),
    Objects(BuildErrorHistory, "g_ErrorHist"),
    // 9: the cells no setting or counter uses, then every cell right before
    // its setting or counter.
    Rows(BUILD_LOOSE_CELLS, 2, g_ulLooseCellCount - 2),
    Rows(BUILD_CIS_BACKUP_CELLS, 0, CIS_BACKUP_CELL_COUNT),
    Settings(SETTINGS_GROUP_BASICS),
    Objects(ConstructSwitchSensors, "switch sensors"),
    Objects(BuildAdConverter, "g_AdConverter"),
    Settings(SETTINGS_GROUP_SLICES),
    Rows(BUILD_SETTINGS_CELL_BLOCK, SETTINGS_GROUP_THV.usFirst, SETTINGS_GROUP_THV.usCount),
    Objects(ConstructAdSensors, "A/D sensors"),
    // The actuators: the colour LEDs (before their sensors), the motors
    // (each before its chopper), the slits (after their choppers), the fans
    // and clutches, the steppers and their ramps.
    Objects(ConstructColorObjects, "colour LEDs, sensors and sets"),
    Objects(ConstructMotors, "DC motors and choppers"),
    Objects(ConstructSlits, "encoder slits"),
    Objects(ConstructFanOutputs, "fans and clutches"),
    Objects(BuildSteppers, "g_StpmtrMain g_StpmtrSub g_StpmtrExit"),
    Objects(ConstructRampTables, "g_Ramp00 g_Ramp41"),
    Objects(BuildRollDiameter, "g_RollDiameter"),
    Objects(BuildUnitPair, "g_UnitPair"),
    Objects(BuildPaperPosition, "g_PaperPosition"),
    // The ribbon watchdogs on the supply encoders built above.
    Objects(ConstructRibbonWatchdogs, "g_JamCheckRibbonL g_LockCheckRibbonL g_JamCheckRibbonR g_LockCheckRibbonR"),
    Rows(BUILD_COUNTERS, 0, LIFE_COUNTER_MAIN_COUNT),
    Settings(SETTINGS_GROUP_POSITIONS),
    Rows(BUILD_COUNTERS, LIFE_COUNTER_MAIN_COUNT, LIFE_COUNTER_COUNT - LIFE_COUNTER_MAIN_COUNT),
    Settings(SETTINGS_GROUP_REST),
    // The head-voltage objects, after their THV and density settings.
    Objects(ConstructThvObjects, "g_ThvYL g_ThvML g_ThvCL g_ThvYR g_ThvMR g_ThvCR g_ThvOPL ... g_ThvPheatR"),
    Objects(BuildPositioners, "g_HeadLiftL g_HeadLiftR g_RotationLock g_LoadPinch g_EjectPinch g_PathSelect g_Cutter g_EjectMotor g_LoadBar"),
    // The ribbon-roll models, then the ribbon managers (each brakes its
    // unit's ribbon motors).
    Objects(ConstructRibbonRolls, "g_RibbonRolls"),
    Objects(ConstructDonorManagers, "g_DonorMngMarkSenL g_DonorMngMarkSenR g_DonorMngColorSenL g_DonorMngColorSenR"),
    Objects(BuildPrinterStates, "g_EventMngReadyB g_EventMngLoadFail"),
    Objects(BuildMediaConfig, "g_MediaConfig"),
    Objects(ConstructBufSlotTables, "g_BufSlots3A g_BufSlots3B g_BufSlots18A g_BufSlots18B"),
    Objects(BuildPrintJobQueue, "g_PrintJobQueue"),
    Objects(BuildToneCurve, "g_ToneCurve"),
    Objects(BuildLamiImages, "g_LamiImgSlot0 g_LamiImgSlot1"),
    Objects(BuildPrintLine, "g_TextOverlay g_PrintLine g_PlaneSequencer"),
    Objects(BuildPreheat, "g_PreheatL g_PreheatR g_PreheatBoth"),
    Objects(BuildHeadOverheat, "g_HeadOverheatL g_HeadOverheatR"),
    Objects(BuildPrintLog, "g_PrintLog"),
    Objects(BuildCis, "g_Cis"),
    Objects(BuildPrintGeometry, "g_PrintGeometry g_TrackCorrect"),
    // 10: the last settings and the power-save object, which reads
    // "Time[Min]" when it is built.
    Settings(SETTINGS_GROUP_BEFORE_POWER_SAVE),
    Objects(BuildPowerSave, "g_PowerSave"),
    Settings(SETTINGS_GROUP_AFTER_POWER_SAVE),
};
constexpr uint32_t g_ulMachineBuildStepCount = sizeof(g_aMachineBuildSteps) / sizeof(g_aMachineBuildSteps[0]);

namespace {

void BuildLooseCell(const LooseCell& cell) {
  if (cell.ucHeadUnit == LOOSE_CELL_MAIN) {
    const int32_t lRow = FindMainEepromRow(cell.usAddress);
    if (lRow >= 0) ConstructMainEepromCell(static_cast<uint32_t>(lRow));
  } else {
    const int32_t lRow = FindHeadEepromRow(cell.usAddress);
    if (lRow >= 0) ConstructHeadEepromCell(cell.ucHeadUnit, static_cast<uint32_t>(lRow));
  }
}

void RunStep(const BuildStep& step) {
  switch (step.eKind) {
    case BUILD_OBJECTS:
      if (step.pfnBuild != nullptr) step.pfnBuild();
      break;
    case BUILD_PORTS:
      ConstructPorts(step.usFirst, step.usCount);
      break;
    case BUILD_LOOSE_CELLS:
      for (uint32_t i = step.usFirst; i < static_cast<uint32_t>(step.usFirst) + step.usCount && i < g_ulLooseCellCount;
           ++i) {
        BuildLooseCell(g_aLooseCells[i]);
      }
      break;
    case BUILD_CIS_BACKUP_CELLS:
      for (uint32_t i = 0; i < EEPROM_MAIN_CELL_COUNT; ++i) {
        if ((kMainEepromCells[i].usMarks & EEPROM_CELL_CIS_BACKUP) != 0) ConstructMainEepromCell(i);
      }
      break;
    case BUILD_SETTINGS:
      ConstructSettings({step.usFirst, step.usCount});
      break;
    case BUILD_SETTINGS_CELL_BLOCK:
      ConstructSettings({step.usFirst, step.usCount}, true);
      break;
    case BUILD_COUNTERS:
      ConstructLifeCounters(step.usFirst, step.usCount);
      break;
  }
}

}  // namespace

void ConstructGlobals(uint32_t ulInitialise, uint32_t ulPriority) {
  if (ulInitialise != 1 || ulPriority != 0xFFFFu) return;
  for (const BuildStep& step : g_aMachineBuildSteps) RunStep(step);
}

void ConstructGlobalsEntry() { ConstructGlobals(1, 0xFFFFu); }
