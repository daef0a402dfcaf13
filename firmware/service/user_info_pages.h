// The User Mode pages that the Menu key opens: remaining paper and ribbon,
// the printed count, the firmware, DSP and TABLE versions, the test print
// and the user settings (panel-key lock, ribbon combination, ribbon size,
// wait time).
#pragma once

#include <cstdint>

// Refills the page texts from the printer's state and runs the page list of
// the ribbon control type and "Engine Version"; returns when the operator
// leaves the pages with Clear or a page closes them.
void ShowInfoScreen();

// The page texts, rewritten in place by ShowInfoScreen.
extern char g_acInfoPaper[17];
extern char g_acInfoPrinted[17];
extern char g_acInfoDonorL[17];
extern char g_acInfoDonorR[17];
extern char g_acInfoMainFirm[17];
extern char g_acInfoDspFirm[17];
extern char g_acInfoTable[17];
