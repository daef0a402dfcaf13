// The immediate updates: one frame around each image writer. The printer
// shows it is downloading and stops every motor before flash is touched;
// after a good write it shows it restarts, takes the head voltage down and
// ends the main loop so that the board restarts on the new image (unless
// the host asked it to keep running). A failed write raises its error index
// and the printer keeps serving with what its flash holds.
#include "firmware/control/error_manager.h"
#include "firmware/control/host_status_table.h"
#include "firmware/control/lcd.h"
#include "firmware/control/leds.h"
#include "firmware/devices/eeprom_cells.h"
#include "firmware/devices/flash_area_writer.h"
#include "firmware/devices/machine_ports.h"
#include "firmware/devices/main_image_writer.h"
#include "firmware/devices/main_loop_stop.h"
#include "firmware/devices/settings.h"
#include "firmware/hostif/update_handlers.h"
#include "firmware/hostif/usb_comm.h"
#include "firmware/printengine/cis.h"
#include "firmware/printengine/dsp_link.h"
#include "firmware/printengine/table_store.h"
#include "firmware/printengine/thv_control.h"
#include "firmware/sequences/event_actions.h"
#include "protocol/codes.h"

namespace {

constexpr uint32_t NO_ERROR_INDEX = 0;

struct ImmediateUpdate {
  const char* pszText;  // shown before the write; null: the writer shows its own
  int32_t (*pfnWrite)(const UpdateBlock& b);
  // The writer's result that raises the first index; any other failure
  // raises the second.
  int32_t lFirstResult;
  uint32_t ulFirstIndex;
  uint32_t ulOtherIndex;
  uint32_t ulClearedOnFailure;  // NO_ERROR_INDEX: none
  const char* pszRestartText;
};

constexpr int32_t MAIN_CHECK_FAILED = -100;

int32_t WriteDsp(const UpdateBlock&) { return UpdateDspImage(0); }

int32_t WriteMain(const UpdateBlock& b) {
  if (CheckFirmwareImage(DOWNLOAD_BUFFER) != 0) return MAIN_CHECK_FAILED;
  const int32_t lResult = WriteFirmwareImage(1, b.ulDataSize);
  return lResult == MAIN_CHECK_FAILED ? -1 : lResult;
}

int32_t WriteTable(const UpdateBlock& b) { return UpdateTableImage(b.ulDataSize); }

// The serial number kept at the end of the image goes into the main EEPROM
// (erased bytes when the image came without it).
int32_t WriteCalib(const UpdateBlock& b) {
  const int32_t lResult = g_Cis.WriteCalibImage(b.ulDataSize);
  if (lResult != 0) return lResult;
  g_Cis.RestoreEepromBackup();
  g_ParamCisWrProgress.SetValue(1);
  uint8_t aucSerial[CIS_CALIB_SERIAL_BYTES];
  HwReadBlock(CIS_CALIB_SERIAL_FLASH, aucSerial, sizeof aucSerial);
  g_CellCisCalibSerial.Write(aucSerial);
  return 0;
}

constexpr char kRestartText[] = "System reset... ";

constexpr ImmediateUpdate kDsp{"DSP update ...  ", WriteDsp, -4, 0x111, 0x112, 0x109, kRestartText};
constexpr ImmediateUpdate kMain{nullptr, WriteMain, MAIN_CHECK_FAILED, 0x10F, 0x110, NO_ERROR_INDEX, "System Reset... "};
constexpr ImmediateUpdate kTable{"TABLE update ...", WriteTable, -1, 0x114, 0x113, 0x10A, kRestartText};
constexpr ImmediateUpdate kCalib{"Calib update... ", WriteCalib, -2, 0x11B, 0x11C, NO_ERROR_INDEX, kRestartText};

int32_t RunImmediateUpdate(const ImmediateUpdate& update) {
  UpdateBlock* pBlock = nullptr;
  usb_comm_get_update_block(&pBlock);
  SetStatusItem(SI_PRINTER_STATE, protocol::PRINTER_STATE_DOWNLOADING, 1);
  MechaAllOff();
  g_PortMotorEnable.Clear();
  g_LedReady.Off();
  if (update.pszText != nullptr) g_Lcd.WriteText(update.pszText, 0, CLcd::kVisibleColumns);
  const int32_t lResult = update.pfnWrite(*pBlock);
  if (lResult != 0) {
    g_ErrorMng.SetError(lResult == update.lFirstResult ? update.ulFirstIndex : update.ulOtherIndex);
    if (update.ulClearedOnFailure != NO_ERROR_INDEX) g_ErrorMng.ClearError(update.ulClearedOnFailure);
    return lResult < 0 ? lResult : -1;
  }
  SetStatusItem(SI_PRINTER_STATE, protocol::PRINTER_STATE_CPU_INIT, 1);
  if (pBlock->ucNoReset != 0) return 0;
  g_ThvYL.RestoreAndPowerOff();
  g_Lcd.WriteText(update.pszRestartText, 0, CLcd::kVisibleColumns);
  RequestSystemReset();
  return 0;
}

}  // namespace

int32_t ExecDspUpdate() { return RunImmediateUpdate(kDsp); }
int32_t ExecMainUpdate() { return RunImmediateUpdate(kMain); }
int32_t ExecTableUpdate() { return RunImmediateUpdate(kTable); }
int32_t ExecCalibUpdate() { return RunImmediateUpdate(kCalib); }
