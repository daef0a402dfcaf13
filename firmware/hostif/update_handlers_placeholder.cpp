// Placeholder of the update handlers: no flash writer and no image buffer
// exist yet, so every update is refused before its data phase, a data phase
// that ends anyway is dropped, and no deferred work is ever queued.
#include "firmware/hostif/update_handlers.h"

#include "firmware/hostif/usb_comm.h"
#include "firmware/platform/placeholder.h"
#include "protocol/codes.h"

uint32_t g_ulPendingResetCount;

namespace {
bool s_bLogged;
void Note() { LogPlaceholderOnce(s_bLogged, "update and deferred-reset handlers"); }
}  // namespace

int32_t ExecUpdateCommand() {
  Note();
  UpdateBlock* pBlock = nullptr;
  usb_comm_get_update_block(&pBlock);
  pBlock->ucResult = protocol::REPLY_ERR_REFUSED;
  return -1;
}

int32_t OnUpdateDataReceived() {
  Note();
  usb_comm_take_data_abandoned();
  UsbCommState* pState = nullptr;
  usb_comm_get_state(&pState);
  pState->ulDataPhase = DATA_PHASE_NONE;
  return 0;
}

int32_t ExecResetCommand() {
  Note();
  return 0;
}

int32_t ApplyPendingUpdates() {
  Note();
  return 0;
}

int32_t ApplyPendingResets() {
  Note();
  return 0;
}
