// The error and cover printer states. Each stands for a raised error row
// and serves only the operator's and the host's requests of its row; the
// jam and cover states have entries of their own.
#include "firmware/control/error_manager.h"
#include "firmware/control/event_states.h"
#include "firmware/control/host_status_table.h"
#include "firmware/devices/settings.h"
#include "firmware/printengine/roll_diameter.h"
#include "firmware/sequences/event_actions.h"

constinit CEventMngNoRibbon g_EventMngNoRibbon;
constinit CEventMngJam g_EventMngJam;
constinit CEventMngCoverOpen g_EventMngCoverOpen;
constinit CEventMngPaperCoverOpen g_EventMngPaperCoverOpen;
constinit CEventMngCError g_EventMngCError;
constinit CEventMngHError g_EventMngHError;
constinit CEventMngMError g_EventMngMError;

namespace {

constexpr uint32_t kReadyLoadingRow = 0x160A;
constexpr uint32_t kPaperRolledBackRow = 0x1609;
// The jams after which the roll-back state is left as it stands.
constexpr uint32_t kJamsKeepingRollBack[] = {0x15D6, 0x15C4};
constexpr int32_t kRollBackFlagCoverOpened = 1;

// The cover entries, by "RollBack Flag": the mechanism is switched off and
// the ribbon and paper are set up again once the cover is closed. An entry
// that ends early is not run again while the state stays current.
int32_t EnterCover(CEventMng& state, bool bPaperCover) {
  if (state.IsEntered()) return 0;
  state.EnterCommon();
  switch (SettingValue(g_ParamRollBackFlag)) {
    case 0: state.SetEvent(EV_LOAD_PAPER); break;
    case 4:
    case 5:
      g_ErrorMng.ClearError(kPaperRolledBackRow);
      g_ParamRollBackFlag.SetValue(kRollBackFlagCoverOpened);
      if (RestoreMechaHome() != 0) return -1;
      break;
    default: break;
  }
  if (MechaAllOff() != 0) return -1;
  if (bPaperCover) g_RollDiameter.ResetRemainPercent();
  RefreshCounterItems();
  SetStatusItem(SI_AUX_STATUS, 0, 1);
  state.SetEvent(EV_INIT_RIBBON);
  return state.SetEvent(EV_RELOAD_PAPER2);
}

}  // namespace

int32_t CEventMngJam::OnEnter() {
  if (IsEntered()) return 0;
  const int32_t lResult = EnterCommon();
  uint32_t ulRaised = 0;
  for (uint32_t ulIndex : kJamsKeepingRollBack) {
    uint32_t ulFlag = 0;
    g_ErrorMng.IsErrorSet(ulIndex, &ulFlag);
    ulRaised += ulFlag;
  }
  if (ulRaised == 0) g_ParamRollBackFlag.SetValue(kRollBackFlagCoverOpened);
  g_ErrorMng.ClearError(kReadyLoadingRow);
  return lResult;
}

// The no-ribbon and the control, hardware and mechanism error states run
// the common entry only.
int32_t CEventMngNoRibbon::OnEnter() { return CEventMng::OnEnter(); }
int32_t CEventMngCError::OnEnter() { return CEventMng::OnEnter(); }
int32_t CEventMngHError::OnEnter() { return CEventMng::OnEnter(); }
int32_t CEventMngMError::OnEnter() { return CEventMng::OnEnter(); }

int32_t CEventMngCoverOpen::OnEnter() { return EnterCover(*this, false); }
int32_t CEventMngPaperCoverOpen::OnEnter() { return EnterCover(*this, true); }
