// The paper stages of the idle supervision: the roll taken out (all four
// photo sensors dark) asks for paper and marks the roll as rolled back;
// after a roll-back every sensor that still sees paper is an idle jam.
#include "firmware/control/app_startup.h"
#include "firmware/control/debug_records.h"
#include "firmware/control/error_manager.h"
#include "firmware/control/event_states.h"
#include "firmware/control/idle_supervisor.h"
#include "firmware/control/power_save.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/mechanism/abort_check_inputs.h"
#include "firmware/mechanism/paper_moves.h"

namespace {

constexpr uint32_t kIdleJamPositionL = 0x15D1;
constexpr uint32_t kIdleJamPositionR = 0x15D2;
constexpr uint32_t kIdleJamTopL = 0x15D3;
constexpr uint32_t kIdleJamTopR = 0x15D4;
constexpr uint32_t kIdleJamPaperEmpty = 0x15D5;
constexpr uint32_t kIdleJamCleared = 0x15D6;
constexpr int32_t kRollBackLoaded = 1;
constexpr int32_t kRollBackRolled = 2;
constexpr uint32_t kDebugKindRollOut = 1;

// The paper seen by the four photo sensors (1 = paper).
struct PaperSeen {
  uint32_t ulTopL;
  uint32_t ulTopR;
  uint32_t ulPosition;
  uint32_t ulPaperEmpty;
};

// 0 when every sensor gave a fresh state.
int32_t ReadPaperSensors(PaperSeen* pSeen) {
  int32_t lResult = g_AdTopL.GetState(&pSeen->ulTopL);
  if (lResult == 0) lResult = g_AdTopR.GetState(&pSeen->ulTopR);
  if (lResult == 0) lResult = g_AdPosition.GetState(&pSeen->ulPosition);
  if (lResult == 0) lResult = g_AdPaperEmpty.GetState(&pSeen->ulPaperEmpty);
  return lResult;
}

void MarkRollTakenOut() {
  g_ErrorMng.ClearAllJams();
  g_ErrorMng.ClearError(erridx::kPaperRolledBack);
  g_ErrorMng.SetError(erridx::kLoadPaperRollback);
  // Written only when it changes: the check runs at every pass.
  if (SettingValue(g_ParamRollBackFlag) != kRollBackRolled) g_ParamRollBackFlag.SetValue(kRollBackRolled);
  uint32_t aulTop[2] = {};
  g_AdTopL.Read(&aulTop[0]);
  g_AdTopR.Read(&aulTop[1]);
  StoreDebugRecord(kDebugKindRollOut, aulTop, 2);
}

void RaiseIdleJams(const PaperSeen& seen) {
  if (seen.ulPosition != 0) {
    g_ErrorMng.SetError(seen.ulTopR != 0 && seen.ulTopL == 0 ? kIdleJamPositionR : kIdleJamPositionL);
  }
  if (seen.ulTopL != 0) g_ErrorMng.SetError(kIdleJamTopL);
  if (seen.ulTopR != 0) g_ErrorMng.SetError(kIdleJamTopR);
  if (seen.ulPaperEmpty != 0) g_ErrorMng.SetError(kIdleJamPaperEmpty);
}

void MarkPaperEnd() {
  g_pCurEventMng->SetEvent(EV_PAPER_END);
  g_ulPaperEndFlag = 1;
}

}  // namespace

int32_t CIdleSupervisor::CheckPaperPresence() {
  g_ErrorMng.ClearError(kIdleJamCleared);
  g_ErrorMng.ClearError(erridx::kLoadPaper);
  if (g_ErrorMng.IsAnyJamSet() != 0) {
    g_pCurEventMng->ClearEvent(EV_PAPER_END);
    g_ulPaperEndFlag = 0;
  }
  if (IsEventPending(EV_PAPER_END) || IsErrorRaised(erridx::kTakeOutPaper) || g_ulPowerSaveActive == 1 ||
      IsErrorRaised(erridx::kRibbonEmptyL) || IsErrorRaised(erridx::kRibbonEmptyR)) {
    return 0;
  }
  PaperSeen seen = {};
  // A sensor that could not be read gives no fresh picture of the paper.
  if (ReadPaperSensors(&seen) != 0) return 0;

  const bool bNoPaper = seen.ulTopL == 0 && seen.ulTopR == 0 && seen.ulPosition == 0 && seen.ulPaperEmpty == 0;
  if (bNoPaper && !IsErrorRaised(erridx::kReadyLoading)) {
    g_ErrorMng.SetError(erridx::kLoadPaper);
    if (g_pCurEventMng != &g_EventMngNoPaper) MarkRollTakenOut();
  }
  const int32_t lRollBack = SettingValue(g_ParamRollBackFlag);
  if (lRollBack == kRollBackLoaded || lRollBack == kRollBackRolled) RaiseIdleJams(seen);
  return 0;
}

int32_t CIdleSupervisor::CheckPaperEmptySensor(uint32_t ulMode) {
  uint32_t ulPaper = 1;
  const int32_t lResult = g_AdPaperEmpty.GetState(&ulPaper);
  if (lResult != 0 || ulPaper != 0) return lResult;
  if (ulMode == 1 || (ulMode == 2 && g_ucRibbonControlType == 0)) {
    MarkPaperEnd();
  } else if (ulMode == 2) {
    g_ErrorMng.SetError(g_ulCurErrUpperJam31);
  }
  return lResult;
}

int32_t CheckPaperEmpty(uint32_t ulMode) { return g_IdleSupervisor.CheckPaperEmptySensor(ulMode); }

uint32_t CurrentPaperEndJamIndex() { return g_ulCurErrUpperJam31; }
