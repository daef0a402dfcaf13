#include "firmware/printengine/print_line.h"

#include "firmware/printengine/print_job_queue.h"

namespace {

constexpr uint32_t kPlaneOvercoat = 3;
constexpr uint32_t kPlaneSp = 4;
constexpr uint32_t kIndexGlossy = 3;
constexpr uint32_t kIndexMatte = 4;
constexpr uint32_t kIndexSp = 5;
constexpr uint32_t kSlotOfCurrentRow = 3;

bool CurrentSlotIsMatte() {
  PrintJobRecord* pJob = nullptr;
  if (g_PrintJobQueue.GetNthActiveJob(1, &pJob) != 0 || pJob == nullptr) return false;
  ImageSlot* pSlot = nullptr;
  if (g_PrintJobQueue.GetOrderedSlot(pJob, &pSlot, kSlotOfCurrentRow) != 0 || pSlot == nullptr) return false;
  return pSlot->usOvercoatKind == OVERCOAT_MATTE;
}

}  // namespace

uint32_t CPrintLine::GetTableIndex(uint32_t ulPlaneCode) const {
  if (ulPlaneCode == kPlaneOvercoat) return CurrentSlotIsMatte() ? kIndexMatte : kIndexGlossy;
  if (ulPlaneCode == kPlaneSp) return kIndexSp;
  return ulPlaneCode;
}
