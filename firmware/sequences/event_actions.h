// The event actions of the paper and ribbon sequences and the
// self-diagnosis that the printer states run, with the mechanism stop and
// return-home operations. Each runs to its end inside the state's pass,
// keeps polling the host through its abort checks and clears its own
// event (the load, reload and ribbon set-up only on success). Results: 0
// success, non-zero failure.
#pragma once

#include <cstdint>

// Mechanism home and ribbon drive.
int32_t MechaAllOff();
int32_t RestoreMechaHome();
int32_t InitializeMecha();
int32_t Wait24VSupply();
int32_t SystemResetAction();
int32_t JamEjectAction();
int32_t ReadyBPrepareAction();
// Bit 0 unit L, bit 1 unit R: the units the last job printed on.
extern uint32_t g_ulUnitsPrinted;
// Bit 0 unit L, bit 1 unit R: the unit's ribbon is to be tested again (both
// at power-up).
extern uint32_t g_ulRibbonCheckPending;

// Paper sequences.
int32_t PaperLoadAction(uint32_t ulA, uint32_t ulB);
int32_t PaperReloadAction(uint32_t ulKind);
int32_t PaperRollbackAction();
int32_t PaperPrecutAction();
int32_t PaperEndAction();
int32_t PreparePathAction();
int32_t RibbonSetupSequence(uint32_t ulMode);

// Ribbon identification.
int32_t InitRibbonAction(uint32_t ulMode);
int32_t RibbonCheckingAction();
int32_t CheckRibbonsIdle();

// Auto-diagnosis.
int32_t RunAutoDiagAction();
