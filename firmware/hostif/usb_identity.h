// The printer's USB identity: the descriptor set with the serial number
// patched in, and the IEEE 1284 device ID, handed to the USB driver record
// by record before the start-up connects the device. The identity is fixed
// for the run: a serial number set later reaches the RAM copy and EEPROM,
// and the descriptors at the next start.
#pragma once

#include <cstdint>

// Patches the 8-character serial number into the serial-number string and
// the device ID and registers the set; 0 whatever the driver answered (a
// refused record is not reported, the start-up goes on to connect). An
// erased serial number (first byte 0xFF) is registered as the text the
// serial-number reply gives for it, so the host sees one serial number
// everywhere.
int32_t SetupUsbIdentity(const char* pcSerial);
// Registers the set in the driver's order: kinds 0, 1, 2, 13, 3, 4, 5, 6,
// 14, 7, 8, 9, five strings, 12, 11. The driver refuses the other-speed
// configurations (13, 14); the registration goes on. Returns 0.
int32_t RegisterUsbDescriptors2();
