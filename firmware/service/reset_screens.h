// The confirmation screens that reset tone curves, lamination images and
// parameters, and that back up and restore EEPROM data. Each asks, waits for
// one key and acts only on Enter.
#pragma once

// "Tone Table Reset"
void ToneCurveResetScreen();
// "Lami Image Reset"
void LamiImageResetScreen();
// "Parameter Reset "
void ParameterResetScreen();
// "EEPROM Undo     "
void EepromUndoScreen();
// "EEP Back Up Mode": the ON/OFF switch menu of "Eeprom Backup".
void RunEepromBackupMenu();
// "Cis Calib Backup"
void CisCalibBackupScreen();
