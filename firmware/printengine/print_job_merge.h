// Multi-up sheets: the decision which of the first three active jobs share
// the next sheet (the merge selector, 1-7, as in merged_layout.h), whether
// two jobs may share one, and the layout record a sheet is printed as.
// The queue's TryMergeJobs and MergeJobs (print_job_queue.h) use them.
#pragma once

#include <cstdint>

#include "firmware/printengine/merged_layout.h"
#include "firmware/printengine/print_job_record.h"
#include "firmware/printengine/print_size.h"

// TryMergeJobs' callers.
constexpr uint32_t MERGE_FROM_IDLE = 1;
constexpr uint32_t MERGE_FROM_PRINT_SEQUENCE = 2;

// Whether two jobs, x queued before y, may share a sheet.
enum MergeCompatibility : int32_t {
  MERGE_FAILS = -1,        // a job missing, or a request or overcoat kind out of range
  MERGE_INCOMPATIBLE = 0,  // both valid, but not on one sheet
  MERGE_COMPATIBLE = 1,
};
MergeCompatibility TestMergeCompatibility(const PrintJobRecord* pX, const PrintJobRecord* pY);

// The jobs of the active list a selector's sheet holds (the last of them
// is the target job); 0 for a selector outside 1-7.
constexpr uint32_t MergedJobCount(uint32_t ulSelector) {
  const MergedLayout* pLayout = MergedLayoutOf(ulSelector);
  return pLayout != nullptr ? pLayout->aulJob[0] : 0;
}

// The print-size id of the layout a selector's sheet is printed as, from
// the ids of the first two jobs' print sizes; 0 where no layout exists.
// Selector 1 prints the first job's own size and has no layout here.
uint32_t MergedLayoutId(uint32_t ulSelector, uint32_t ulId1, uint32_t ulId2);

// The record of a print-size id in the print-size table; null for none.
PrintSizeRecord* PrintSizeOfId(uint32_t ulId);

// One finish-option field (first side, unit of A, unit of B) of the jobs
// of one sheet, the earliest first: 0 leaves the choice to the later jobs,
// 1 and 2 must be met by 0 or the same value. -1 when the values do not
// combine or the earliest job's is above 2.
int32_t CombineMergedRequest(uint32_t ulX, uint32_t ulY, uint32_t* pulCombined);
int32_t CombineMergedRequest(uint32_t ulX, uint32_t ulY, uint32_t ulZ, uint32_t* pulCombined);
