// The steps of the application start-up that sit in files of their own,
// each named as the start-up's order names it. AppTaskMain runs them in
// that order; each raises its own errors and never ends the start-up.
#pragma once

#include <cstdint>

// Step 3: the falling edges of GPIO bank-0 pins 0-7 cleared, then set for
// pins 0, 1, 2, 3, 4 and 6 (pin 0 has no edge of its own: nothing).
void InitPinInterruptEdges();
// Step 4: the host status items, then the first usb_attention.
void InitStatusAndUsbComm();
// Step 5: the falling edges of pins 1-6, in that order.
void SetPinInterruptEdges();
// Steps 6-8: the motor drivers, the photo-sensor LEDs (1000 us each) and
// the cover-open power-save output.
void SwitchOutputsOn();
// Step 9: the panel LEDs and the LCD with "Initializing    ".
void InitPanel();
// Step 12: the main EEPROM copied to the external one while the external
// one's "Eeprom Backup" byte asks for it and it answers.
void BackUpEeprom();
// Step 21: the TABLE data and, when they are good, the tables loaded from
// them (0x10c for a wrong format word, 0x10a for another failure).
void InitTables();
// Step 27: "RollBack Flag" as the last run left it.
void CheckRollBackFlag();
// Step 32: the main PCB revision chooses the colour sensors' channels.
void ConfigureColorSensorInputs();
// Step 35: the factory's placeholder serial number in User Mode (0x11e).
void CheckSerialPlaceholder();
// Step 36: each head EEPROM's copies of the unit's settings and counters
// (0x123 / 0x124), then its head value (0x120 / 0x121 outside 4000-9000).
void CheckHeadEepromL();
void CheckHeadEepromR();
// Step 37: the stepper ramp tables, then the line-speed ramps from them.
void BuildStartupRamps();
