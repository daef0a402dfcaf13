// The information screens of the head units and of the printer's own
// identity: the head-information menu read from a head's EEPROM, the loads
// of densities and counters from the head units, and the serial-number and
// date screens.
#pragma once

class CHeadEeprom;

// The head EEPROM the head-information menu shows.
extern CHeadEeprom* g_pMenuHeadEeprom;

// "TPH1 Information" (g_HeadEepromL) / "TPH2 Information" (g_HeadEepromR):
// the twelve-item head-information menu of that head.
void RunHeadInfoMenu(CHeadEeprom& eeprom);
// "Load Density    ": the head units' density copies into the main cells.
void LoadDensityScreen();
// "Load Counter    ": the head counters from their head-unit cells.
void LoadCounterScreen();
// "Serial Number   ", "Cis Calib S/N   ", "Mfg.Date        " (Maintenance).
void SerialNumberScreen();
void CisCalibSerialScreen();
void MfgDateScreen();
