// The setting, serial-number and universal command handlers, and the
// head-EEPROM read that the head-EEPROM request answers with.
#pragma once

#include <cstdint>

int32_t ExecGetParameter();
int32_t ExecSetParameter();
int32_t ExecSetSerialNo();
int32_t ExecUniversalCommand();

// The byte at an address of the EEPROM of head unit 1 (L) or 2 (R): 0 with
// the byte in *pucValue (0 for another unit), or -1 when it cannot be read.
int32_t ReadHeadEepromForHost(uint8_t ucUnit, uint8_t ucAddress, uint8_t* pucValue);
