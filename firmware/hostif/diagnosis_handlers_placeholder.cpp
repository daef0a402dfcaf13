// Placeholder of the self-diagnosis and panel command handlers: no device,
// LED, key setting or error history can be driven yet, so every such
// request is refused rather than answered as done.
#include "firmware/hostif/diagnosis_handlers.h"

#include "firmware/hostif/usb_comm.h"
#include "firmware/platform/placeholder.h"
#include "protocol/codes.h"

namespace {
bool s_bLogged;
void Note() { LogPlaceholderOnce(s_bLogged, "self-diagnosis and panel command handlers"); }
}  // namespace

int32_t ExecSelfDiagnosis() {
  Note();
  SelfDiagnosisBlock* pBlock = nullptr;
  usb_comm_get_self_diagnosis_block(&pBlock);
  pBlock->ucResult = protocol::REPLY_ERR_REFUSED;
  pBlock->ucValue = 0;
  return 0;
}

int32_t ExecDiagnosisFollowup() {
  Note();
  return 0;
}

int32_t ExecFlashLed() {
  Note();
  FlashLedBlock* pBlock = nullptr;
  usb_comm_get_flash_led_block(&pBlock);
  pBlock->ucResult = protocol::REPLY_ERR_REFUSED;
  return 0;
}

int32_t ExecOperationButton() {
  Note();
  OperationButtonBlock* pBlock = nullptr;
  usb_comm_get_operation_button_block(&pBlock);
  if (pBlock->ucResult == 0) pBlock->ucResult = protocol::REPLY_ERR_REFUSED;
  return 0;
}

int32_t ExecResetErrorLog() {
  Note();
  ResetErrorLogBlock* pBlock = nullptr;
  usb_comm_get_reset_error_log_block(&pBlock);
  pBlock->ucResult = protocol::REPLY_ERR_UNIT_ERROR;
  return 0;
}
