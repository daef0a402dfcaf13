// The update command with its data phase and the data-received dispatch by
// update kind, the deferred reset command, and the two deferred lists that
// the printer states apply from their dispatch in the main loop.
//
// Immediate kinds (DSP, MAIN, TABLE, calibration) land at the start of the
// download buffer and are written to flash as soon as their data has come,
// after which the printer restarts. Deferred kinds (tone curves, lamination
// patterns) are parked in image buffers of the colour pool and applied by
// the idle printer state, in arrival order.
#pragma once

#include <cstdint>

// Handlers of CMDEV_UPDATE, CMDEV_UPDATE_DATA_RECEIVED and CMDEV_RESET.
int32_t ExecUpdateCommand();
int32_t OnUpdateDataReceived();
int32_t ExecResetCommand();
// Run by the printer states on EV_DEFERRED_UPDATE and EV_DEFERRED_RESET:
// every entry of the list in order, then the list is emptied and the event
// cleared. The result of the last action, 0 for an empty list.
int32_t ApplyPendingUpdates();
int32_t ApplyPendingResets();

// The immediate updates, run by OnUpdateDataReceived on the data at the
// start of the download buffer: 0, or the writer's negative result (its
// error index raised, no restart).
int32_t ExecDspUpdate();
int32_t ExecMainUpdate();
int32_t ExecTableUpdate();
int32_t ExecCalibUpdate();

// The deferred actions: 0, or negative.
int32_t ExecToneCurveSave(uint32_t ulCurve, uint32_t ulOffset);
int32_t ExecToneCurveLoad(uint32_t ulCurve, uint32_t ulOffset);
int32_t ExecLamiImageUpdate(uint32_t ulKind, uint32_t ulOffset);
int32_t ExecToneCurveReset(uint32_t ulCurve);
int32_t ExecLamiImageReset(uint32_t ulKind);

// Deferred updates waiting: kind, argument, download-buffer offset of the
// parked data. A deferred update that would be a fourth is refused.
constexpr uint32_t PENDING_UPDATES_MAX = 3;
extern uint32_t g_ulPendingUpdArg1[PENDING_UPDATES_MAX];
extern uint32_t g_ulPendingUpdArg2[PENDING_UPDATES_MAX];
extern uint32_t g_ulPendingUpdArg3[PENDING_UPDATES_MAX];
extern uint32_t g_ulPendingUpdCount;

// Deferred resets waiting in their list (at most 3).
constexpr uint32_t PENDING_RESETS_MAX = 3;
extern uint32_t g_ulPendingResetKind[PENDING_RESETS_MAX];
extern uint32_t g_ulPendingResetArg[PENDING_RESETS_MAX];
extern uint32_t g_ulPendingResetCount;

// The reset parser's side: a tone-curve or laminate reset it accepts is
// held here until its reply has been built and ExecResetCommand appends it,
// once. 0 accepted, -1 refused because the list and the accepted resets not
// yet appended already make three.
int32_t AcceptDeferredReset(uint32_t ulKind, uint32_t ulArgument);
// Accepted resets not yet appended.
uint32_t AcceptedResetCount();
