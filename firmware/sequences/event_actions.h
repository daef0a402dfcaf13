// The event actions of the paper and ribbon sequences and the
// self-diagnosis that the printer states run, with the mechanism stop and
// return-home operations. Each runs to its end inside the state's pass,
// keeps polling the host through its abort checks and clears its own
// event (the load, reload and ribbon set-up only on success). Results: 0
// success, non-zero failure.
#pragma once

#include <cstdint>

#include "firmware/sequences/sequence_words.h"

// Mechanism home and ribbon drive.
int32_t MechaAllOff();
int32_t RestoreMechaHome();
int32_t InitializeMecha();
// The last raw "24Vol" reading: above 414 as soon as the supply is up, else
// the reading at the 2000 ms time-out.
uint32_t Wait24VSupply();
int32_t SystemResetAction();
int32_t JamEjectAction();
int32_t ReadyBPrepareAction();

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
