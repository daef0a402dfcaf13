#include "firmware/devices/serial_number.h"

#include <cstring>

#include "firmware/devices/eeprom_cells.h"
#include "firmware/hal/hw.h"

char g_szSerialNo[SERIAL_NO_LENGTH];

int32_t GetSerialNumber(char* pcSerial) {
  const uint32_t ulSaved = SaveIrqAndDisable();
  std::memcpy(pcSerial, g_szSerialNo, SERIAL_NO_LENGTH);
  RestoreIrq(ulSaved);
  return 0;
}

int32_t SetSerialNumberRam(const char* pcSerial) {
  const uint32_t ulSaved = SaveIrqAndDisable();
  std::memcpy(g_szSerialNo, pcSerial, SERIAL_NO_LENGTH);
  RestoreIrq(ulSaved);
  return 0;
}

int32_t LoadSerialNumber() {
  // Through the cell, which selects the EEPROM half that holds it.
  alignas(2) char acCell[SERIAL_NO_LENGTH];
  if (g_CellSerialNo.Read(acCell) != 0) return -1;
  return SetSerialNumberRam(acCell);
}
