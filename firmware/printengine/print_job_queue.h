// The print-job queue: every job of the printer in a pool of 33 records
// that move between a free list and the active list (the print queue, its
// head printing next). At most one job, the tail of the active list, is
// the receiving job whose images the host still sends. Every change of the
// queue is published to the host as status items 32-41.
//
// A job's life: created (receiving) by the host's set-up or a test-print
// launcher; each image attached to the next slot of its slot order and
// completed when its data is in; complete once every expected image is;
// printed copy by copy (each slot taken per print-order row, the copy
// counted after the cut) and retired after its last copy, its image
// buffers back in the pools and its record back on the free list, where it
// keeps its contents until reused.
//
// Operations return 0, or -1 on failure with their out-parameters as they
// were unless said otherwise. Application task only.
#pragma once

#include <cstdint>

#include "firmware/control/imprint_text.h"
#include "firmware/platform/global_build.h"
#include "firmware/printengine/print_job_record.h"
#include "firmware/printengine/print_mode.h"
#include "firmware/printengine/print_size.h"

enum PrintJobList : uint32_t {
  PRINT_JOB_LIST_ACTIVE = 1,
  PRINT_JOB_LIST_FREE = 2,
  PRINT_JOB_LIST_RECEIVING = 3,
};

constexpr uint32_t PRINT_JOB_RECORDS = 33;
extern PrintJobRecord g_PrintJobRecords[PRINT_JOB_RECORDS];

// The host's pending text items and cut list, which the next host image
// takes (and clears).
extern uint8_t g_LamiTextItems[IMPRINT_TEXT_ITEMS][IMPRINT_TEXT_ITEM_BYTES];
extern uint16_t g_usCutList[CUT_LIST_WORDS];

// AddImageSlot's modes.
constexpr uint32_t IMAGE_HOST = 0;
constexpr uint32_t IMAGE_INTERNAL = 1;
constexpr uint32_t IMAGE_BLANK_FILL_IN = 2;
// The blank fill-in image's download-buffer offset.
constexpr uint32_t FILL_IN_IMAGE_OFFSET = 0x875A00u;

class CPrintJobQueue;
// Writes status items 32-41 from the first two active jobs; a nested call
// does nothing.
int32_t PublishJobStatus(CPrintJobQueue* pQueue);

class CPrintJobQueue {
 public:
  constexpr CPrintJobQueue() = default;
  // The empty queue: every record cleared and free in pool order, the
  // pending text items and cut list cleared.
  explicit CPrintJobQueue(GlobalBuild);

  // ---- creation and images ----
  // Kind 0: a host job from the set-up command's block; else an internal
  // job (sideMode 1: the colour image of side B only, else both sides).
  // -1 while a job is receiving or no record is free.
  int32_t CreateJob(uint32_t ulKind, uint32_t ulSideMode, uint32_t ulCopies);
  // Attaches the receiving job's next slot (by its slot order): imageKind
  // 0 colour, 1 SP, which must be the next slot's kind; a blank fill-in
  // image goes to the fill-in slot only. -1 without a receiving job or a
  // slot of that kind next.
  int32_t AddImageSlot(uint32_t ulImageKind, uint32_t ulImageOffset, uint32_t ulMode, PrintSizeRecord* pPrintSize);
  // The receiving job's next attached slot is complete: -1 without a
  // receiving job or an attached slot waiting.
  int32_t CompleteSlot();
  int32_t CompleteJob();
  int32_t AreAllSlotsReceived(const PrintJobRecord* pJob, uint32_t* pulFlag) const;
  int32_t EqualiseSlotLengths(PrintJobRecord* pJob);
  int32_t SetDefaultCuts(PrintJobRecord* pJob);

  // ---- lookups ----
  // Head of list 1 or 2, the receiving job for any other list: -1 (null)
  // when there is none. Publishes the job status in every case.
  int32_t GetJob(uint32_t ulList, PrintJobRecord** ppJob);
  int32_t GetLastJob(uint32_t ulList, PrintJobRecord** ppJob) const;
  int32_t GetNthActiveJob(uint32_t ulN, PrintJobRecord** ppJob) const;
  // The merged record in multi-up mode, else the head of the active list.
  int32_t GetCurrentJob(PrintJobRecord** ppJob) const;
  // The first record of the pool, whatever its list, whose id's low byte
  // is the id (no job has id 0).
  int32_t FindJobById(uint8_t ucId, PrintJobRecord** ppJob) const;
  int32_t GetReadyJobCount(uint32_t* pulCount) const;
  int32_t GetActiveJobCount(uint32_t* pulCount) const;
  int32_t GetImageSlot(PrintJobRecord* pJob, uint32_t ulCode, ImageSlot** ppSlot) const;
  // Mode 1 the next slot to attach, 2 the next to complete, 3 the slot of
  // the current print-order row (none for the finish row).
  int32_t GetOrderedSlot(PrintJobRecord* pJob, ImageSlot** ppSlot, uint32_t ulMode) const;
  // 0 when the side's (0 A, 1 B) slot is in the mask, else -1.
  int32_t IsColorSlotExpected(const PrintJobRecord* pJob, uint32_t ulSideIndex) const;
  int32_t IsSpSlotExpected(const PrintJobRecord* pJob, uint32_t ulSideIndex) const;
  int32_t IsColorSlotReceived(const PrintJobRecord* pJob, uint32_t ulSideIndex) const;
  int32_t IsSpSlotReceived(const PrintJobRecord* pJob, uint32_t ulSideIndex) const;
  int32_t IsColorSlotComplete(const PrintJobRecord* pJob, uint32_t ulSideIndex) const;
  int32_t IsSpSlotComplete(const PrintJobRecord* pJob, uint32_t ulSideIndex) const;
  // Every job ends with the finish row: 0.
  int32_t IsFinishExpected() const { return 0; }
  // 1 when the job to look at (the current job while jobs are ready, else
  // the receiving job) has a slot both pending and received.
  int32_t HasPrintableImage(uint32_t* pulFlag) const;
  int32_t GetCutOffset(const PrintJobRecord* pJob, uint16_t* pusOffset) const;
  int32_t GetCutCount(const PrintJobRecord* pJob, uint32_t* pulCount) const;
  // -1 for an index of 10 or more.
  int32_t GetCutPosition(const PrintJobRecord* pJob, uint32_t ulIndex, uint32_t* pulPosition) const;
  int32_t GetPrintedCount(const PrintJobRecord* pJob, uint32_t* pulCount) const;
  // The cutter lead-in of the print size of the plane being printed.
  int32_t GetCutterLeadLines(uint32_t* pulLines) const;

  // ---- printing a copy ----
  // Takes the slot of the current print-order row off the head job's
  // pending mask and marks it printing; the next row becomes current.
  int32_t StartSlotPrint();
  // One printed sheet: counts a copy per picture of the sheet; more = 1
  // when the head job prints another copy. In multi-up mode the jobs with
  // a cancel request then leave the queue.
  int32_t CopyPrinted(uint32_t* pulMore);
  // One copy of the head job: re-armed for the next, or retired after its
  // last (or with a cancel request in normal mode).
  int32_t NextCopyOrRetire(uint32_t* pulMore);
  int32_t RetireJob();
  // Every slot printed or received goes back to received.
  int32_t RearmSlots(PrintJobRecord* pJob);
  int32_t FreeImageBuffers(PrintJobRecord* pJob);
  int32_t ClearPrintingFlags();

  // ---- unit assignment and print order ----
  // The first side and the units of both sides from the requests, the job
  // before and the expected pictures; -1 for requests that do not resolve
  // (stored as they are) or no colour picture.
  int32_t ResolveUnitAssignment(PrintJobRecord* pJob);
  // The assignment of odd and of even copies.
  int32_t SetCopyAssignments(PrintJobRecord* pJob);
  // Leaves the assignment the job ends with to the record after it.
  int32_t ApplyUnitAssignment(PrintJobRecord* pJob);
  // Stores the record's inherited assignment and publishes it as status
  // items 52 (unit of A), 53 (unit of B) and 54 (first side).
  int32_t SetUnitAssignment(PrintJobRecord* pRecord, uint32_t ulFirstSide, uint32_t ulUnitA, uint32_t ulUnitB);
  // The assignment of a copy (1 = the first): the odd or even set by its
  // number; -1 for copy 0.
  int32_t GetCopyAssignment(const PrintJobRecord* pJob, uint32_t ulCopy, uint32_t* pulFirstSide,
                            uint32_t* pulUnitA, uint32_t* pulUnitB) const;
  // The units of the copy's first and second side; 0 and 0 with -1 for
  // copy 0.
  int32_t GetCopyUnits(const PrintJobRecord* pJob, uint32_t ulCopy, uint32_t* pulFirstUnit,
                       uint32_t* pulSecondUnit) const;
  // The rows of one copy: colour first side, colour second side, SP first,
  // SP second (SP always on unit R), finish.
  int32_t BuildPrintOrder(PrintJobRecord* pJob, uint32_t ulFirstSide, uint32_t ulUnitA, uint32_t ulUnitB);
  // Rows 0-4; zeros and -1 beyond.
  int32_t GetPrintOrderEntry(uint32_t ulIndex, uint32_t* pulKind, uint32_t* pulSide, uint32_t* pulUnit) const;
  int32_t GetPrintOrderIndex(uint32_t* pulIndex) const;
  int32_t SetPrintOrderIndex(uint32_t ulIndex);
  // Side index 0 for codes 1 and 2, 1 for 4 and 8.
  int32_t SlotCodeToUnit(uint32_t ulCode, uint32_t* pulSideIndex) const;
  // Where the blank fill-in is attached: 1 before the host's first image
  // (its side prints first), 0 behind the first colour image, -1 for a job
  // without one; returns 0.
  int32_t CheckFirstSlotUnit(const PrintJobRecord* pJob, int32_t* plResult) const;

  // ---- merging (multi-up sheets) ----
  int32_t TryMergeJobs(uint32_t* pulSelector, uint32_t ulMode);
  int32_t MergeJobs(uint32_t ulSelector, PrintJobRecord* pJob1, PrintJobRecord* pJob2, PrintJobRecord* pJob3);

  // ---- cancelling ----
  // Id 0: every job, result 0; else CancelJob's.
  int32_t CancelJobs(uint8_t ucJobId, uint8_t ucMode);
  // A job not printing leaves the queue at once; a printing one gets a
  // request (mode 0 after the sheet, 1 after the row, 2 the incomplete rows
  // of the receiving job). -1 when no active job has the id or the request
  // does not apply.
  int32_t CancelJob(uint8_t ucJobId, uint8_t ucMode);
  // Removes every active job with a picture of the print size; returns 0.
  int32_t CancelByImageAddress(const PrintSizeRecord* pSize);

 private:
  friend int32_t PublishJobStatus(CPrintJobQueue* pQueue);

  uint32_t NextJobId() const;
  void FillHostJob(PrintJobRecord* pJob);
  void FillInternalJob(PrintJobRecord* pJob, uint32_t ulSideMode, uint32_t ulCopies);
  void SetExpectedSlots(PrintJobRecord* pJob);
  void AppendToList(PrintJobRecord** ppHead, PrintJobRecord* pJob);
  // Unlinks an active job: -1 when it is not on the active list.
  int32_t UnlinkActive(PrintJobRecord* pJob);
  // Takes a job off the active list for good: counts, buffers, free list.
  void RemoveJob(PrintJobRecord* pJob);
  // A job cancelled before it prints: no copies; when it was the only job
  // and still receiving, the next record inherits the machine's present
  // assignment. Then removed.
  void RemoveCancelled(PrintJobRecord* pJob);
  // The slot code of the current print-order row, 0 for none.
  uint32_t CurrentRowSlotCode() const;
  void SwitchReadyLedByPool() const;

  uint16_t m_usReadyCount = 0;
  uint16_t m_usActiveCount = 0;
  PrintJobRecord* m_pActiveHead = nullptr;
  PrintJobRecord* m_pFreeHead = nullptr;
  PrintJobRecord* m_pReceivingJob = nullptr;
  PrintOrderEntry m_aPrintOrder[PRINT_ORDER_ROWS] = {};
  uint32_t m_ulPrintOrderIndex = 0;
  uint32_t m_ulPublishGuard = 0;
};

extern CPrintJobQueue g_PrintJobQueue;

// The multi-up sheet's record and the last queued job merged into it.
extern PrintJobRecord g_MergedJobRecord;
extern PrintJobRecord* g_pMergeTargetJob;

// The machine's present assignment: sides by the paper-roll rotation, and
// the side the paper path leads to now.
class CUnitPair {
 public:
  constexpr CUnitPair() = default;
  explicit CUnitPair(GlobalBuild) {}
  // "Rotation Flag" 2: A on L, B on R; 3: A on R, B on L; else none. The
  // path selector at 3 leads to the side on unit L (slot = side), at 4 to
  // the side on unit R (slot = side + 2). Returns the position read's
  // result.
  int32_t Resolve(int32_t* plUnitA, int32_t* plUnitB, int32_t* plPathSide, int32_t* plPathSlot);

 private:
  int32_t m_lPairUnitA = 0;
  int32_t m_lPairUnitB = 0;
  int32_t m_lPathSide = 0;
  int32_t m_lPathSlot = 0;
};

extern CUnitPair g_UnitPair;
