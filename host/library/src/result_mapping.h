// The mapping of replies to HostResultCode, and the folds that operations
// apply as their last step.
#pragma once

#include <cstdint>

#include "host_result_codes.h"
#include "protocol/headers.h"

namespace hostlib {

// MapReplyStatus modes.
enum ReplyMappingMode : int {
  MAP_ERROR = 1,           // applied only to REPLY_ERROR replies
  MAP_STATUS = 2,          // applied only to REPLY_OK replies
  MAP_PRINTING_STATE = 3,  // applied only to REPLY_OK replies
};

// Applies the mapping of `mode` when the reply kind allows it; otherwise
// RESULT_UNEXPECTED_REPLY and failure. Each returns 1 for a success.
int MapReplyStatus(int mode, const protocol::ReplyHeader &reply, uint16_t *code);
// By errorCode; always a failure.
int MapErrorReply(const protocol::ReplyHeader &reply, uint16_t *code);
// By printerState: ready and printing states succeed, the rest fail.
int MapStatusReply(const protocol::ReplyHeader &reply, uint16_t *code);
// The printing-state code, else RESULT_NO_PRINT_STATE; always a success.
int MapPrintingState(const protocol::ReplyHeader &reply, uint16_t *code);
// By errorClass and errorDetail; always a failure.
int MapPrinterError(const protocol::ReplyHeader &reply, uint16_t *code);
// By errorDetail of a media error (class 6); always a failure.
int MapMediaError(const protocol::ReplyHeader &reply, uint16_t *code);

// The code of a printing state (success codes 22xx), or false for a state
// that is not one.
bool PrintingStateCode(uint8_t printerState, uint16_t *code);

// USB fold: 2600-2605 become 2600.
constexpr uint16_t FoldUsbCode(uint16_t code) {
  return code >= RESULT_USB_ERROR && code <= RESULT_USB_ERROR + 5 ? static_cast<uint16_t>(RESULT_USB_ERROR) : code;
}
// Parameter fold: the printer's refusal of a parameter is the caller's.
constexpr uint16_t FoldParameterCode(uint16_t code) {
  return code == RESULT_PRINTER_BAD_PARAMETER ? static_cast<uint16_t>(RESULT_BAD_PARAMETER) : code;
}
// The fold of every operation that names only the USB fold: a printer's
// refusal of the command (2601) would otherwise become a USB error, so it
// becomes the caller's bad parameter (1006) first, the rest of 2600-2605
// then 2600.
constexpr uint16_t FoldParameterThenUsbCode(uint16_t code) { return FoldUsbCode(FoldParameterCode(code)); }
// True for the codes that say the printer is gone or unreachable.
constexpr bool IsUnreachableCode(uint16_t code) {
  return code == RESULT_PRINTER_NOT_RECOGNIZED || (code >= RESULT_USB_ERROR && code <= RESULT_USB_ERROR + 5);
}

}  // namespace hostlib
