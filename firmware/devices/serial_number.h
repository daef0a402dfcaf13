// The printer's serial number in RAM: 8 characters, not terminated, loaded
// from its main-EEPROM cell at start-up. The USB task reads it for the
// serial-number reply and changes it for CMD_SET_SERIAL_NO; the application
// reads it for its texts. Both copy it with interrupts masked, so neither
// ever sees half of an old and half of a new number.
#pragma once

#include <cstdint>

#include "firmware/devices/eeprom_map.h"

constexpr uint32_t SERIAL_NO_LENGTH = EEPROM_SERIAL_NO_BYTES;

extern char g_szSerialNo[SERIAL_NO_LENGTH];

// Copies the 8 characters into the buffer; returns 0.
int32_t GetSerialNumber(char* pcSerial);
// Replaces the RAM copy only (the EEPROM cell is the application's to
// write); returns 0.
int32_t SetSerialNumberRam(const char* pcSerial);
// Writes the 8 characters to the serial-number cell and, only when that
// write succeeded, to the RAM copy: 0 or the write's failure (application
// task only: the main EEPROM is the application's).
int32_t SetSerialNumber(const char* pcSerial);
// Reads the serial-number cell of the main EEPROM (bytes 20-27) byte by
// byte through the board EEPROM driver into the RAM copy: 0, or -1 when
// a byte could not be read (the RAM copy is then left as it was). An erased
// cell reads as 0xFF bytes.
int32_t LoadSerialNumber();
