// The home run of the whole mechanism at start-up and after a closed
// cover, and the shorter return home after a failed or aborted sequence.
// Their moves pass the host-poll mask only, which the moves themselves drop
// for their inner loop: nothing but the application stop is watched while
// the mechanism homes; the carousel start-up that ends the run serves the
// host and watches the front cover.
#include "firmware/control/debug_records.h"
#include "firmware/control/engine_variant.h"
#include "firmware/control/error_manager.h"
#include "firmware/control/event_set.h"
#include "firmware/control/power_save.h"
#include "firmware/devices/panel_ports.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/mechanism/rotation_lock.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/mechanism/unit_moves.h"
#include "firmware/platform/us_timer.h"
#include "firmware/sequences/event_actions.h"
#include "firmware/sequences/mechanism_init.h"

namespace {

constexpr uint32_t kMoveMask = SEQ_CHECK_HOST;
constexpr uint32_t kCarouselMask = SEQ_CHECK_HOST | SEQ_CHECK_FRONT_COVER;
constexpr uint32_t k24VTimeoutMs = 2000;
constexpr uint32_t k24VPresent = 414;

int32_t SettingOf(const CParameter& param) {
  int32_t lValue = 0;
  param.GetValue(&lValue);
  return lValue;
}

// Both heads up, the first head given first; the current head pointer as
// it was.
void RaiseHeads(CHeadLift* pFirst, CHeadLift* pSecond) {
  CHeadLift* const pSaved = g_pCurHeadLift;
  g_pCurHeadLift = pFirst;
  MoveHeadUnit(1, kMoveMask);
  g_pCurHeadLift = pSecond;
  MoveHeadUnit(1, kMoveMask);
  g_pCurHeadLift = pSaved;
}

// The rotation lock as "RotationLockFlag" remembers it: locked (5) or
// unlocked (3) without moving; unknown: the initial release, whose result
// is returned (else `lResult`).
int32_t RestoreRotationLock(int32_t lResult) {
  switch (SettingOf(g_ParamRotationLockFlag)) {
    case 1:
      g_RotationLock.SetPosition(5);
      return lResult;
    case 2:
      g_RotationLock.SetPosition(3);
      return lResult;
    default:
      return MoveRotationLock(1, kMoveMask);
  }
}

bool RollBackHalfDone() {
  const int32_t lFlag = SettingOf(g_ParamRollBackFlag);
  return lFlag == 4 || lFlag == 5;
}

// The home run of both engine variants; only the main pinch differs.
int32_t InitMecha(bool bEm2) {
  MechaAllOff();
  g_PortCoverOpenPowerSave.Clear();
  Wait24VSupply();
  RaiseHeads(&g_HeadLiftR, &g_HeadLiftL);
  if (!RollBackHalfDone()) {
    g_pfnInitMainPinch(1, kMoveMask);
  } else if (!bEm2) {
    g_pfnInitMainPinch(0, kMoveMask);
  }
  MoveLoadPinch(1, kMoveMask);
  MoveFeedPinch(1, kMoveMask);
  MoveEjectPinch(2, kMoveMask);
  MoveEjectPinch(1, kMoveMask);
  MoveLoadBar(1, kMoveMask);
  RestoreRotationLock(0);
  MovePathSelect(1, kMoveMask);
  MoveCutter(2, kMoveMask);
  g_PortCoverOpenPowerSave.Set();
  return InitPaperRollRotation(kCarouselMask);
}

}  // namespace

int32_t InitMechaEM2() { return InitMecha(true); }
int32_t InitMechaEM3() { return InitMecha(false); }

int32_t InitializeMecha() {
  TraceTimeStamp("Initialize Mecha =");
  const int32_t lResult = g_pfnInitMecha();
  g_pCurEventMng->ClearEvent(EV_INIT_MECHA);
  return lResult;
}

int32_t RestoreMechaHome() {
  int32_t lResult = MechaAllOff();
  if (lResult == 0) {
    g_PortCoverOpenPowerSave.Clear();
    uint32_t ulFrontCover = 0;
    g_ErrorMng.IsErrorSet(seqerr::kFrontCover, &ulFrontCover);
    if (ulFrontCover != 0) g_PowerSave.SetDisplayOffRequest(1);
    Wait24VSupply();
    RaiseHeads(&g_HeadLiftL, &g_HeadLiftR);
    g_pfnInitMainPinch(1, kMoveMask);
    MoveLoadPinch(1, kMoveMask);
    MoveFeedPinch(1, kMoveMask);
    MoveEjectPinch(1, kMoveMask);
    lResult = RestoreRotationLock(MoveLoadBar(1, kMoveMask));
  }
  g_PowerSave.SetDisplayOffRequest(0);
  g_PortCoverOpenPowerSave.Set();
  return lResult;
}

uint32_t Wait24VSupply() {
  const uint32_t ulTimeout = g_UsTimer.MsToTicks(k24VTimeoutMs);
  const uint32_t ulStart = g_UsTimer.NowUs();
  uint32_t ulReading = 0;
  while (g_UsTimer.Elapsed(ulStart, g_UsTimer.NowUs()) < ulTimeout) {
    g_Ad24Vol.Read(&ulReading);
    if (ulReading > k24VPresent) break;
  }
  return ulReading;
}
