// The main board's serial EEPROM (Microwire, 16-bit words) driven on GPIO
// bank 2: byte read and byte write with verify and retries. Reached through
// IOCTL_EEPROM_READ and IOCTL_EEPROM_WRITE.
#pragma once

#include <cstdint>

// Reads the byte at a byte address into *pusValue (0-255); never fails.
int32_t EepromReadByte(uint16_t usAddress, uint16_t* pusValue);
// Writes a byte, verified, with up to three attempts: 0 or -1.
int32_t EepromWriteByte(uint16_t usAddress, uint16_t usValue);
