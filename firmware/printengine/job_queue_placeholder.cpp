// Placeholder of the job queue, the unit pair, the media configuration and
// the print sizes: the queue holds counts only (no job data), the unit pair
// resolves to unit L, and the media sizes are kept as set.
#include "firmware/control/host_status_table.h"
#include "firmware/platform/placeholder.h"
#include "firmware/printengine/job_queue_placeholder.h"
#include "firmware/printengine/media_config.h"
#include "firmware/printengine/print_job_queue.h"

PlaceholderJobs g_PlaceholderJobs;
constinit CPrintJobQueue g_PrintJobQueue;
constinit CUnitPair g_UnitPair;
constinit CMediaConfig g_MediaConfig;
uint32_t g_ulPrintMode;
PrintSizeRecord g_PrintSize8x10{PRINT_SIZE_ID_8X10};
PrintSizeRecord g_PrintSize8x12{PRINT_SIZE_ID_8X10 + 1};

namespace {
bool s_bLogged;
void Note() { LogPlaceholderOnce(s_bLogged, "CPrintJobQueue, CMediaConfig (job queue and print sizes)"); }

constexpr PrintSizeTable kTable8x10{PRINT_SIZE_ID_8X10};
constexpr PrintSizeTable kTable8x12{PRINT_SIZE_ID_8X10 + 1};
const PrintSizeTable* s_pSavedTable;
PrintJobRecord s_aRecords[2];
}  // namespace

const PrintSizeTable* g_pPrintSizeTable = &kTable8x10;

int32_t SavePrintSizeTable() {
  s_pSavedTable = g_pPrintSizeTable;
  return 0;
}

int32_t IsPrintSizeTableChanged() { return g_pPrintSizeTable == s_pSavedTable ? 0 : -1; }

int32_t CPrintJobQueue::GetReadyJobCount(uint32_t* pulCount) {
  Note();
  *pulCount = g_PlaceholderJobs.ulReady;
  return 0;
}

int32_t CPrintJobQueue::GetActiveJobCount(uint32_t* pulCount) {
  Note();
  *pulCount = g_PlaceholderJobs.ulActive;
  return 0;
}

int32_t CPrintJobQueue::GetJob(uint32_t ulList, PrintJobRecord** ppRecord) {
  Note();
  const uint32_t ulCount = ulList == PRINT_JOB_LIST_ACTIVE ? g_PlaceholderJobs.ulActive
                           : ulList == PRINT_JOB_LIST_FREE ? g_PlaceholderJobs.ulFree
                                                           : 0;
  *ppRecord = ulCount != 0 ? &s_aRecords[ulList - 1] : nullptr;
  return ulCount != 0 ? 0 : -1;
}

int32_t CPrintJobQueue::TryMergeJobs(uint32_t* pulSelector, uint32_t) {
  Note();
  *pulSelector = g_PlaceholderJobs.ulMergeSelector;
  return 0;
}

int32_t CPrintJobQueue::SetUnitAssignment(PrintJobRecord* pRecord, uint32_t ulWord1, uint32_t ulWord2,
                                          uint32_t ulWord3) {
  pRecord->aulUnitAssign[0] = ulWord1;
  pRecord->aulUnitAssign[1] = ulWord2;
  pRecord->aulUnitAssign[2] = ulWord3;
  SetStatusItem(SI_UNIT_ASSIGN_1, ulWord1, 0);
  SetStatusItem(SI_UNIT_ASSIGN_2, ulWord2, 0);
  return SetStatusItem(SI_UNIT_ASSIGN_3, ulWord3, 1);
}

int32_t CPrintJobQueue::CancelByImageAddress(const PrintSizeRecord*) {
  Note();
  ++g_PlaceholderJobs.ulCancelCalls;
  return 0;
}

int32_t CUnitPair::Resolve(uint32_t* pulFirst, uint32_t* pulSecond, uint32_t* pulPathUnit, uint32_t* pulPathSlot) {
  *pulFirst = 0;
  *pulSecond = 0;
  *pulPathUnit = 0;
  *pulPathSlot = 0;
  return 0;
}

int32_t CMediaConfig::SetRibbonSize(uint32_t ulUnit, uint32_t ulSize) {
  if (ulUnit > 1) return -1;
  m_aulSize[ulUnit] = ulSize;
  return 0;
}

int32_t CMediaConfig::SetLoadMode(uint32_t ulMode) {
  m_ulLoadMode = ulMode;
  return 0;
}

int32_t CMediaConfig::SelectPrintSizeTable() {
  uint32_t ulSize = 0;
  GetMediaSize(&ulSize);
  g_pPrintSizeTable = ulSize == 2 ? &kTable8x12 : &kTable8x10;
  return 0;
}

int32_t CMediaConfig::SendMediaInfo() {
  Note();
  return 0;
}

int32_t CMediaConfig::GetMediaSize(uint32_t* pulSize) const {
  const uint32_t ulL = m_aulSize[0];
  const uint32_t ulR = m_aulSize[1];
  if (ulL == 1 || (ulL == 2 && ulR == 1)) {
    *pulSize = 1;
  } else if (ulL == 2 && ulR == 2) {
    *pulSize = 2;
  } else {
    *pulSize = ulR;
  }
  return 0;
}
