// The start-up's EEPROM backup: the "Eeprom Backup" byte (cell 120) as the
// external EEPROM holds it decides whether the main EEPROM is copied there.
#include "firmware/control/error_manager.h"
#include "firmware/control/startup_steps.h"
#include "firmware/devices/eeprom.h"
#include "firmware/devices/eeprom_cells.h"
#include "firmware/hal/kernel.h"
#include "firmware/platform/fpga_regs.h"

void BackUpEeprom() {
  g_FpgaMain.SelectExternalEeprom(1);
  uint8_t ucBackup = 0;
  g_Cell120.Read(&ucBackup);
  g_FpgaMain.SelectExternalEeprom(0);
  if (ucBackup == 0) {
    syslog(LOG_EMERG, "[MAIN] EEPROM Not Back up [0x%02X]", ucBackup);
    return;
  }
  uint32_t ulWriteFailed = 0;
  g_ErrorMng.IsErrorSet(CEeprom::kErrorWriteFailed, &ulWriteFailed);
  if (ulWriteFailed != 0) {
    syslog(LOG_EMERG, "[MAIN] EEPROM Not Back up ... [0x%02X] (No External EEPROM)", ucBackup);
    return;
  }
  syslog(LOG_EMERG, "[MAIN] EEPROM Back up ... [0x%02X]", ucBackup);
  g_Eeprom.BackupToSecondDevice();
}
