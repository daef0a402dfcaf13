// Placeholder of the print-job command handlers: until they take jobs into
// the queue, job set-ups and images are refused for want of a resource, no
// job is ever found, and the requests that would store cut lists or
// laminate texts are refused rather than answered as done.
#include "firmware/hostif/print_job_handlers.h"

#include "firmware/hostif/shmem_usb.h"
#include "firmware/hostif/usb_comm.h"
#include "firmware/platform/placeholder.h"
#include "protocol/codes.h"

uint32_t g_ulJobSetupPending;

namespace {
bool s_bLogged;
void Note() { LogPlaceholderOnce(s_bLogged, "print-job command handlers"); }
}  // namespace

int32_t ExecSetupPrintJob() {
  Note();
  SetupPrintJobBlock* pBlock = nullptr;
  usb_comm_get_setup_print_job_block(&pBlock);
  pBlock->ucResult = protocol::REPLY_ERR_NO_RESOURCE;
  g_ulJobSetupPending = 0;
  return -1;
}

int32_t ExecPrintCommand() {
  Note();
  PrintBlock* pBlock = nullptr;
  usb_comm_get_print_block(&pBlock);
  pBlock->ucResult = protocol::REPLY_ERR_NO_RESOURCE;
  g_ulJobSetupPending = 0;
  return -1;
}

int32_t OnPrintDataReceived() {
  Note();
  usb_comm_take_data_abandoned();
  UsbCommState* pState = nullptr;
  usb_comm_get_state(&pState);
  pState->ulDataPhase = DATA_PHASE_NONE;
  return 0;
}

int32_t ExecCancelPrintJob() {
  Note();
  CancelJobBlock* pBlock = nullptr;
  usb_comm_get_cancel_job_block(&pBlock);
  // No job exists: cancelling every job does nothing, a named job is not found.
  pBlock->ucResult = pBlock->ucJobId == 0 ? 0 : protocol::REPLY_ERR_BAD_PARAMETER;
  return 0;
}

int32_t ExecGetJobStatus() {
  Note();
  JobStatusBlock* pBlock = nullptr;
  usb_comm_get_job_status_block(&pBlock);
  const uint8_t ucJobId = pBlock->ucJobId;
  *pBlock = JobStatusBlock{};
  pBlock->ucResult = protocol::REPLY_ERR_BAD_PARAMETER;
  pBlock->ucJobId = ucJobId;
  return 0;
}

int32_t ExecGetPrinterIdStatus() {
  Note();
  PrinterIdStatusBlock* pBlock = nullptr;
  usb_comm_get_printer_id_status_block(&pBlock);
  pBlock->ucPending = 0;
  return 0;
}

int32_t ExecJobImageControl() {
  Note();
  JobImageControlBlock* pBlock = nullptr;
  usb_comm_get_job_image_control_block(&pBlock);
  pBlock->ucResult = protocol::REPLY_ERR_JOB_STATE;
  return 0;
}

int32_t ExecSetCutList() {
  Note();
  CutListBlock* pBlock = nullptr;
  usb_comm_get_cut_list_block(&pBlock);
  pBlock->ucResult = protocol::REPLY_ERR_REFUSED;
  return 0;
}

int32_t ExecSetLaminateString() {
  Note();
  LaminateStringBlock* pBlock = nullptr;
  usb_comm_get_laminate_string_block(&pBlock);
  pBlock->ucResult = protocol::REPLY_ERR_REFUSED;
  return 0;
}

namespace {
// No exit-tray sensor is read yet: "no tray seen", at once.
int32_t AnswerNoTray() {
  Note();
  ExitTrayStatusBlock* pBlock = nullptr;
  usb_comm_get_exit_tray_status_block(&pBlock);
  pBlock->ucResult = 0;
  pBlock->ucTrayState = protocol::EXIT_TRAY_NONE;
  pBlock->ucStep = 0;
  usb_comm_clear_event(CMDEV_GET_EXIT_TRAY_STATUS);
  usb_comm::regist_txreq_code(APPMSG_GET_EXIT_TRAY_STATUS);
  return 0;
}
}  // namespace

int32_t ExecExitTrayStatus_EM2() { return AnswerNoTray(); }
int32_t ExecExitTrayStatus_EM3() { return AnswerNoTray(); }
