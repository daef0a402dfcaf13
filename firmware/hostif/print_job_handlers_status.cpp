// The host's job requests that need no image: cancel, the job status and
// the printer-ID status of a job by id, the cut list and the laminate text
// items that the next host image takes.
#include <cstring>

#include "firmware/hostif/print_job_handlers.h"
#include "firmware/hostif/usb_comm.h"
#include "firmware/printengine/print_job_queue.h"
#include "protocol/codes.h"

namespace {

using protocol::REPLY_ERR_BAD_PARAMETER;

// The job with the id, or with id 0 the job printing next; null when none.
PrintJobRecord* JobOf(uint8_t ucJobId) {
  PrintJobRecord* pJob = nullptr;
  if (ucJobId == 0) {
    g_PrintJobQueue.GetJob(PRINT_JOB_LIST_ACTIVE, &pJob);
  } else {
    g_PrintJobQueue.FindJobById(ucJobId, &pJob);
  }
  return pJob;
}

uint16_t PrintPhaseOf(const PrintJobRecord* pJob) {
  if (pJob->ucPrinting == 0) return protocol::JOB_PHASE_NOT_PRINTING;
  return pJob->usCopiesLeft > 1 ? protocol::JOB_PHASE_PRINTING : protocol::JOB_PHASE_LAST_COPY;
}

}  // namespace

int32_t ExecCancelPrintJob() {
  CancelJobBlock* pBlock = nullptr;
  usb_comm_get_cancel_job_block(&pBlock);
  const bool bDone = g_PrintJobQueue.CancelJobs(pBlock->ucJobId, pBlock->ucMode) == 0;
  pBlock->ucResult = bDone ? 0 : REPLY_ERR_BAD_PARAMETER;
  return bDone ? 0 : -1;
}

int32_t ExecGetJobStatus() {
  JobStatusBlock* pBlock = nullptr;
  usb_comm_get_job_status_block(&pBlock);
  const uint8_t ucJobId = pBlock->ucJobId;
  const PrintJobRecord* pJob = JobOf(ucJobId);
  *pBlock = JobStatusBlock{};
  pBlock->ucJobId = ucJobId;
  if (pJob == nullptr) {
    pBlock->ucResult = REPLY_ERR_BAD_PARAMETER;
    return -1;
  }
  pBlock->ucJobId = static_cast<uint8_t>(pJob->ulJobId & 0xFFu);
  pBlock->usCopies = pJob->usCopies;
  pBlock->ucSlotMask = pJob->ucExpectedMask;
  const uint32_t ulCount = pJob->ucCutCount < CUT_POSITIONS ? pJob->ucCutCount : CUT_POSITIONS;
  pBlock->ucCutCount = pJob->ucCutCount;
  for (uint32_t i = 0; i < ulCount; ++i) pBlock->ausCutPositions[i] = pJob->ausCutPositions[i];
  pBlock->ucFirstUnitSelection = pJob->ucFirstSideCommand;
  pBlock->ucPrintMode = pJob->ucPrintModeCommand;
  return 0;
}

// An id that no job has is answered as such, under that id and with no
// job's values, never with those of an earlier request.
int32_t ExecGetPrinterIdStatus() {
  PrinterIdStatusBlock* pBlock = nullptr;
  usb_comm_get_printer_id_status_block(&pBlock);
  if (pBlock->ucPending != 1) return 0;
  pBlock->ucPending = 0;
  const PrintJobRecord* pJob = JobOf(pBlock->ucJobId);
  pBlock->usCopiesLeft = 0;
  pBlock->usCopiesPrinted = 0;
  pBlock->usCopies = 0;
  pBlock->usPrintPhase = protocol::JOB_PHASE_NOT_PRINTING;
  if (pJob == nullptr) {
    pBlock->ucResult = REPLY_ERR_BAD_PARAMETER;
    return -1;
  }
  pBlock->ucResult = 0;
  pBlock->usCopiesLeft = pJob->usCopiesLeft;
  pBlock->usCopiesPrinted = pJob->usCopiesPrinted;
  pBlock->usCopies = pJob->usCopies;
  pBlock->usPrintPhase = PrintPhaseOf(pJob);
  return 0;
}

int32_t ExecSetCutList() {
  CutListBlock* pBlock = nullptr;
  usb_comm_get_cut_list_block(&pBlock);
  std::memcpy(g_usCutList, pBlock->ausCutPositions, sizeof g_usCutList);
  pBlock->ucResult = 0;
  return 0;
}

// Item n (1-12) of the pending text items, byte by byte in its layout.
int32_t ExecSetLaminateString() {
  LaminateStringBlock* pBlock = nullptr;
  usb_comm_get_laminate_string_block(&pBlock);
  const uint32_t ulItem = pBlock->ucItemNumber;
  if (ulItem < 1 || ulItem > IMPRINT_TEXT_ITEMS) {
    pBlock->ucResult = REPLY_ERR_BAD_PARAMETER;
    return -1;
  }
  uint8_t* pucItem = g_LamiTextItems[ulItem - 1];
  std::memset(pucItem, 0, IMPRINT_TEXT_ITEM_BYTES);
  pucItem[IMPRINT_TEXT_OFFSET_X] = static_cast<uint8_t>(pBlock->usX);
  pucItem[IMPRINT_TEXT_OFFSET_X + 1] = static_cast<uint8_t>(pBlock->usX >> 8);
  pucItem[IMPRINT_TEXT_OFFSET_Y] = static_cast<uint8_t>(pBlock->usY);
  pucItem[IMPRINT_TEXT_OFFSET_Y + 1] = static_cast<uint8_t>(pBlock->usY >> 8);
  pucItem[IMPRINT_TEXT_OFFSET_ORIENTATION] = pBlock->ucStyle1;
  pucItem[IMPRINT_TEXT_OFFSET_ALIGNMENT] = pBlock->ucStyle2;
  const uint32_t ulLength = pBlock->ucTextLength < LAMINATE_TEXT ? pBlock->ucTextLength : LAMINATE_TEXT;
  pucItem[IMPRINT_TEXT_OFFSET_LENGTH] = static_cast<uint8_t>(ulLength);
  std::memcpy(pucItem + IMPRINT_TEXT_OFFSET_TEXT, pBlock->acText, ulLength);
  pBlock->ucResult = 0;
  return 0;
}
