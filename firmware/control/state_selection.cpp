#include "firmware/control/engine_variant.h"
#include "firmware/control/state_selection.h"

#include "firmware/control/app_startup.h"
#include "firmware/control/error_manager.h"
#include "firmware/control/event_states.h"
#include "firmware/control/host_status_table.h"
#include "firmware/control/idle_supervisor.h"
#include "firmware/devices/settings.h"
#include "firmware/printengine/print_job_queue.h"

namespace {

// The error rows that select a state, in the order they are tried; the
// ranges are inclusive and do not overlap but for the paper cover, which
// comes before the other covers.
struct IndexRange {
  uint16_t usFirst;
  uint16_t usLast;
  CEventMng* pState;
};

constexpr IndexRange kIndexRanges[] = {
    {0x1602, 0x1602, &g_EventMngPapRemove},
    {0x160A, 0x160A, &g_EventMngReadyLoad},
    {0x1609, 0x1609, &g_EventMngHalfRollBack},
    {0x160B, 0x160B, &g_EventMngNoPaper},
    {0x1608, 0x1608, &g_EventMngNoPaper},
    {0x1607, 0x1607, &g_EventMngLoadFail},
    {0x1603, 0x1604, &g_EventMngNoRibbon},
    {0x1600, 0x1601, &g_EventMngNoRibbon},
    {0x1605, 0x1605, &g_EventMngNoRibbon},
    {0x1606, 0x1606, &g_EventMngJam},
    {0x1500, 0x15FF, &g_EventMngJam},
    {0x1708, 0x170B, &g_EventMngCError},
    {0x0605, 0x0605, &g_EventMngPaperCoverOpen},
    {0x0600, 0x0608, &g_EventMngCoverOpen},
    {0x0200, 0x02FF, &g_EventMngMError},
    {0x0400, 0x04FF, &g_EventMngHError},
    {0x0300, 0x03FF, &g_EventMngHError},
    {0x0100, 0x01FF, &g_EventMngHError},
};

constexpr uint64_t Bit(uint32_t ulEvent) { return uint64_t{1} << ulEvent; }

bool RibbonKept(const EventStateInputs& in) {
  switch (in.lRibbonStatus) {
    case 0: return in.lDonorKeepA != 0 || in.lDonorKeepB != 0;
    case 1:
    case 2: return in.lDonorKeepA != 0;
    case 3: return in.lDonorKeepB != 0;
    default: return false;
  }
}

// With an error and no active job, the unit assignment shown to the host
// is cleared.
void ClearUnitAssignment() {
  PrintJobRecord* pRecord = nullptr;
  if (g_PrintJobQueue.GetJob(PRINT_JOB_LIST_ACTIVE, &pRecord) == 0) return;
  if (g_PrintJobQueue.GetJob(PRINT_JOB_LIST_FREE, &pRecord) != 0) return;
  SetStatusItem(SI_UNIT_ASSIGN_1, 0, 0);
  SetStatusItem(SI_UNIT_ASSIGN_2, 0, 0);
  SetStatusItem(SI_UNIT_ASSIGN_3, 0, 1);
}

}  // namespace

CEventMng* ChooseEventState(const EventStateInputs& in) {
  CEventMng* pState = &g_EventMngReadyB;
  if (in.ulJobPrepared == 0) {
    pState = RibbonKept(in) && in.ulEngColorRibbon != 0 ? static_cast<CEventMng*>(&g_EventMngReadyC)
                                                        : static_cast<CEventMng*>(&g_EventMngReadyA);
  }
  if ((in.ullEvents & PRE_READY_EVENTS) != 0) pState = &g_EventMngPreReady;
  if ((in.ullEvents & Bit(EV_PAPER_END)) != 0) pState = &g_EventMngPapRemove;
  if (in.lLowestIndex < 0) return pState;
  const uint32_t ulIndex = static_cast<uint32_t>(in.lLowestIndex);
  for (const IndexRange& r : kIndexRanges) {
    if (ulIndex >= r.usFirst && ulIndex <= r.usLast) return r.pState;
  }
  return pState;
}

int32_t CIdleSupervisor::SelectEventState() {
  int32_t lIndex = -1;
  const int32_t lResult = g_ErrorMng.LowestActiveError(&lIndex);
  if (static_cast<uint32_t>(lIndex) != m_ulLastLowestError) m_ulUpdateRequest = 1;
  if (m_ulUpdateRequest != 1) return 0;
  if (lResult == 0) ClearUnitAssignment();
  m_ulUpdateRequest = 0;
  EventStateInputs in{};
  in.lLowestIndex = lIndex;
  in.ullEvents = g_EventSet;
  g_pCurEventMng->GetJobPrepared(&in.ulJobPrepared);
  in.lRibbonStatus = SettingValue(g_ParamRibbonStatus);
  in.lDonorKeepA = SettingValue(g_ParamDonorKeepA);
  in.lDonorKeepB = SettingValue(g_ParamDonorKeepB);
  in.ulEngColorRibbon = g_ulEngColorRibbon;
  g_pCurEventMng = ChooseEventState(in);
  g_ErrorMng.DrawStatusLine();
  m_ulLastLowestError = static_cast<uint32_t>(lIndex);
  return 0;
}
