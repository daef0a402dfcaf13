// The printer's status as a result code: kt_status, also the status
// pre-check of the information and action operations.
#include "bom7300upgrade.h"
#include "host_result_codes.h"
#include "library_frame.h"
#include "printer_session.h"
#include "result_mapping.h"

namespace hostlib {

int PrinterSession::GetStatus(uint16_t *err) {
  DeviceLock lock;
  if (!LockDevice(&lock, err)) return 0;
  uint16_t code = RESULT_OK;
  const int result = writer_->SendGetStatus(&code) && reader_->ReadStatus(&code) ? 1 : 0;
  *err = FoldUsbCode(code);
  return result;
}

}  // namespace hostlib

using namespace hostlib;

extern "C" {

int KT_CALL kt_status(uint16_t *err) noexcept {
  return RunOnCallerSession(err, [](PrinterSession &session, uint16_t *code) { return session.GetStatus(code); });
}

}  // extern "C"
