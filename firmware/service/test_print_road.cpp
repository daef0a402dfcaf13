#include "firmware/service/test_print_road.h"

#include "firmware/control/lcd.h"
#include "firmware/devices/buf_slot_table.h"
#include "firmware/printengine/print_job_queue.h"
#include "firmware/printengine/print_mode.h"
#include "firmware/service/self_print.h"
#include "firmware/service/test_prints.h"

namespace {

constexpr char kDataCreating[] = "Data Creating   ";

void ShowDataCreating() { g_Lcd.WriteText(kDataCreating, 0, CLcd::kVisibleColumns); }

bool RunPickers(const TestPrintRoad& road) {
  for (uint32_t i = 0; i < 2; ++i) {
    if (road.appPickers[i] == nullptr) continue;
    g_usTestPrintConfirm = 0;
    RunMenuPages(road.appPickers[i], 0);
    if (g_usTestPrintConfirm == 0) {
      if (road.pfnPickerLeft != nullptr) road.pfnPickerLeft(i);
      return false;
    }
  }
  return true;
}

void CommonDraw(const TestPrintRoad& road, uint32_t ulBuffer, uint32_t) {
  g_DrawPartsRectY.SetBase(ulBuffer);
  g_DrawPartsRectM.SetBase(ulBuffer);
  g_DrawPartsRectC.SetBase(ulBuffer);
  for (CSelfPrint* pObject : road.apObjects) pObject->Draw();
  g_pSelfPrintY = road.apObjects[0];
  g_pSelfPrintM = road.apObjects[1];
  g_pSelfPrintC = road.apObjects[2];
}

// Steps 3-7: the job with its images; false when refused before a job.
bool MakeJob(const TestPrintRoad& road) {
  ShowDataCreating();
  PrintJobRecord* pJob = nullptr;
  if (g_PrintJobQueue.GetJob(PRINT_JOB_LIST_RECEIVING, &pJob) == 0 && pJob != nullptr) return false;
  if (SetPrintMode(PRINT_MODE_NORMAL) != 0) return false;
  uint32_t ulSlots = 0;
  if (GetPrintSizeImageBytes(g_pPrintSizeTable, &ulSlots) != 0 || ulSlots == 0) return false;
  uint32_t ulFree = 0;
  g_BufSlots3A.CountFree(&ulFree);
  if (ulFree < ulSlots * road.ucImages) return false;

  const uint32_t ulCopies = road.bOneCopy ? 1 : g_usTestPrintCount;
  if (g_PrintJobQueue.CreateJob(1, road.ucImages == 1 ? 1 : 2, ulCopies) != 0) return false;
  g_PrintJobQueue.GetJob(PRINT_JOB_LIST_RECEIVING, &pJob);
  pJob->pPrintSize = g_pPrintSizeTable;
  uint32_t aulUnits[2] = {1, 2};
  if (road.bUnitsPerImage) g_PrintJobQueue.GetCopyUnits(pJob, 1, &aulUnits[0], &aulUnits[1]);

  for (uint32_t i = 0; i < pJob->ucSlotCount; ++i) {
    uint32_t ulSideIndex = 0;
    g_PrintJobQueue.SlotCodeToUnit(pJob->aucSlotOrder[i], &ulSideIndex);
    int32_t lIndex = -1;
    uint32_t ulBuffer = BUF_SLOT_NO_OFFSET;
    g_BufSlots3A.Allocate(BUF_TYPE_PRINT, ulSlots, static_cast<uint16_t>(pJob->ulJobId & 0xFFu),
                          static_cast<uint16_t>(ulSideIndex + 1), &lIndex, &ulBuffer);
    ShowDataCreating();
    DrawTestPrintImage(road, ulBuffer, aulUnits[i < 2 ? i : 1]);
    g_BufSlots3A.Release(static_cast<uint32_t>(lIndex));
    if (g_PrintJobQueue.AddImageSlot(0, ulBuffer, IMAGE_INTERNAL, g_pPrintSizeTable) == 0) {
      g_PrintJobQueue.CompleteSlot();
    }
    if (road.pfnImageDone != nullptr) road.pfnImageDone();
  }
  g_PrintJobQueue.CompleteJob();
  if (g_PrintJobQueue.GetJob(PRINT_JOB_LIST_ACTIVE, &pJob) == 0 && pJob != nullptr) {
    g_PrintJobQueue.EqualiseSlotLengths(pJob);
  }
  return true;
}

}  // namespace

void DrawTestPrintImage(const TestPrintRoad& road, uint32_t ulBuffer, uint32_t ulUnit) {
  if (road.pfnImageSetup != nullptr) road.pfnImageSetup(ulBuffer);
  (road.pfnDrawImage != nullptr ? road.pfnDrawImage : CommonDraw)(road, ulBuffer, ulUnit);
}

void RunTestPrintRoad(const TestPrintRoad& road) {
  if (road.pfnStart != nullptr) road.pfnStart();
  bool bQueued = false;
  if (RunPickers(road)) {
    if (road.pfnConfirmed != nullptr) road.pfnConfirmed();
    bQueued = MakeJob(road);
  }
  if (road.pfnEnd != nullptr) road.pfnEnd();
  if (bQueued || road.bAbortAlways) SetMenuAbort(road.ucMenuAbort);
}
