// The print-job queue as the control core sees it: ready and active jobs,
// the unit assignment the host is shown, the print mode and the print-size
// tables the jobs were made for.
#pragma once

#include <cstdint>

enum PrintJobList : uint32_t {
  PRINT_JOB_LIST_ACTIVE = 1,
  PRINT_JOB_LIST_FREE = 2,
  PRINT_JOB_LIST_RECEIVING = 3,
};

struct PrintJobRecord {
  uint32_t aulUnitAssign[3];
};

// A print-size record and a table of them; the table's first word is the
// id of its first record.
struct PrintSizeRecord {
  uint32_t ulId;
};
struct PrintSizeTable {
  uint32_t ulFirstRecordId;
};
constexpr uint32_t PRINT_SIZE_ID_8X10 = 5;

extern PrintSizeRecord g_PrintSize8x10;
extern PrintSizeRecord g_PrintSize8x12;
extern const PrintSizeTable* g_pPrintSizeTable;
// Remembers the table in use; IsPrintSizeTableChanged: 0 when it is still
// the one remembered, else -1.
int32_t SavePrintSizeTable();
int32_t IsPrintSizeTableChanged();

// 0 normal, 1 merged multi-up sheets.
extern uint32_t g_ulPrintMode;

class CPrintJobQueue {
 public:
  constexpr CPrintJobQueue() = default;
  // Queued jobs whose image data are complete.
  int32_t GetReadyJobCount(uint32_t* pulCount);
  int32_t GetActiveJobCount(uint32_t* pulCount);
  // 0 with the head of the list, or -1 (null) when the list is empty.
  int32_t GetJob(uint32_t ulList, PrintJobRecord** ppRecord);
  // The merge selector of the first queued jobs (0: no merged sheet yet).
  int32_t TryMergeJobs(uint32_t* pulSelector, uint32_t ulMode);
  // Stores the record's unit assignment and publishes it as host status
  // items 52-54.
  int32_t SetUnitAssignment(PrintJobRecord* pRecord, uint32_t ulWord1, uint32_t ulWord2, uint32_t ulWord3);
  // Removes every job made for the print-size record.
  int32_t CancelByImageAddress(const PrintSizeRecord* pSize);
};

extern CPrintJobQueue g_PrintJobQueue;

class CUnitPair {
 public:
  constexpr CUnitPair() = default;
  int32_t Resolve(uint32_t* pulFirst, uint32_t* pulSecond, uint32_t* pulPathUnit, uint32_t* pulPathSlot);
};

extern CUnitPair g_UnitPair;
