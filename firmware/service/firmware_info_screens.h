// The firmware-part pages: program names, dates and versions of the main
// program, the boot area, the DSP program, the TABLE data and the FPGA.
#pragma once

// The thirteen page texts, 16 characters each, filled by ShowFirmwareParts.
extern char g_szFwMainName[17], g_szFwMainVersion[17], g_szFwMainDate[17];
extern char g_szFwBootName[17], g_szFwBootVersion[17], g_szFwBootDate[17];
extern char g_szFwDspName[17], g_szFwDspVersion[17], g_szFwDspDate[17];
extern char g_szFwTableName[17], g_szFwTableVersion[17], g_szFwTableDate[17];
extern char g_szFwFpgaVersion[17];

// Fills the thirteen texts from the flash images and the FPGA; shows
// nothing.
void ShowFirmwareParts();
// "Firmware Info   ": the texts filled, then the four-item part menu.
void RunFirmwareInfoMenu();
