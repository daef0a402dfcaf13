// Replies to HostResultCode.
#include "result_mapping.h"

#include "protocol/codes.h"

namespace hostlib {

namespace {

// Printer errors of class 6: covers, ribbon and paper.
constexpr uint8_t kMediaErrorClass = 6;

struct PrintingStateRange {
  uint8_t first;
  uint8_t last;
  uint16_t firstCode;
};

// Printing states and their codes, a success each. Every other state, 0x60,
// 0x6D, 0xEA, 0xEB, 0xED and 0xEF among them, is not a printing state.
constexpr PrintingStateRange kPrintingStates[] = {
    {0x61, 0x6C, RESULT_PRINT_61}, {0x6E, 0x6E, RESULT_PRINT_6E}, {0x6F, 0x6F, RESULT_PRINT_6F},
    {0x71, 0x71, RESULT_PRINT_71}, {0xE1, 0xE9, RESULT_PRINT_E1}, {0xEC, 0xEC, RESULT_PRINT_EC},
    {0xEE, 0xEE, RESULT_PRINT_EE}, {0xF1, 0xF1, RESULT_PRINT_F1},
};

// The busy states 0x31-0x37, as printer state or as refusing errorCode.
bool BusyStateCode(uint8_t state, uint16_t *code) {
  if (state < protocol::PRINTER_STATE_CPU_INIT || state > protocol::PRINTER_STATE_DOWNLOADING) return false;
  *code = static_cast<uint16_t>(RESULT_CPU_INITIALIZING + (state - protocol::PRINTER_STATE_CPU_INIT));
  return true;
}

}  // namespace

bool PrintingStateCode(uint8_t printerState, uint16_t *code) {
  for (const PrintingStateRange &range : kPrintingStates) {
    if (printerState >= range.first && printerState <= range.last) {
      *code = static_cast<uint16_t>(range.firstCode + (printerState - range.first));
      return true;
    }
  }
  return false;
}

int MapReplyStatus(int mode, const protocol::ReplyHeader &reply, uint16_t *code) {
  switch (mode) {
    case MAP_ERROR:
      if (reply.replyKind == protocol::REPLY_ERROR) return MapErrorReply(reply, code);
      break;
    case MAP_STATUS:
      if (reply.replyKind == protocol::REPLY_OK) return MapStatusReply(reply, code);
      break;
    case MAP_PRINTING_STATE:
      if (reply.replyKind == protocol::REPLY_OK) return MapPrintingState(reply, code);
      break;
    default:
      break;
  }
  *code = RESULT_UNEXPECTED_REPLY;
  return 0;
}

int MapErrorReply(const protocol::ReplyHeader &reply, uint16_t *code) {
  const uint8_t error = reply.errorCode;
  uint16_t printing = 0;
  switch (error) {
    case protocol::REPLY_ERR_BAD_PARAMETER:
      *code = RESULT_PRINTER_BAD_PARAMETER;
      return 0;
    case protocol::REPLY_ERR_REFUSED:
    case protocol::REPLY_ERR_TIMEOUT:
    case protocol::REPLY_ERR_NO_PERMISSION:
    case protocol::REPLY_ERR_UNKNOWN_COMMAND:
      *code = RESULT_USB_ERROR;
      return 0;
    case protocol::REPLY_ERR_UNIT_ERROR:
      return MapPrinterError(reply, code);
    case protocol::REPLY_ERR_NO_RESOURCE:
      *code = RESULT_BUFFER_FULL;
      return 0;
    case 0x40:
      *code = RESULT_REPLY_ERR_40;
      return 0;
    case 0x41:
      *code = RESULT_REPLY_ERR_41;
      return 0;
    case 0x45:
      *code = RESULT_REPLY_ERR_45;
      return 0;
    case protocol::REPLY_ERR_BAD_LAYOUT:
      *code = RESULT_BAD_LAYOUT;
      return 0;
    default:
      break;
  }
  if (BusyStateCode(error, code)) return 0;
  // A printing state given as the refusal: the printer is busy with a job.
  *code = PrintingStateCode(error, &printing) ? static_cast<uint16_t>(RESULT_BUFFER_FULL)
                                              : static_cast<uint16_t>(RESULT_UNEXPECTED_REPLY);
  return 0;
}

int MapStatusReply(const protocol::ReplyHeader &reply, uint16_t *code) {
  const uint8_t state = reply.printerState;
  if (state == protocol::PRINTER_STATE_READY) {
    *code = RESULT_OK;
    return 1;
  }
  if (state == protocol::PRINTER_STATE_ERROR) return MapPrinterError(reply, code);
  if (state == protocol::PRINTER_STATE_BUFFER_FULL) {
    *code = RESULT_BUFFER_FULL;
    return 0;
  }
  if (BusyStateCode(state, code)) return 0;
  if (PrintingStateCode(state, code)) return 1;
  *code = RESULT_UNEXPECTED_REPLY;
  return 0;
}

int MapPrintingState(const protocol::ReplyHeader &reply, uint16_t *code) {
  if (!PrintingStateCode(reply.printerState, code)) *code = RESULT_NO_PRINT_STATE;
  return 1;
}

int MapPrinterError(const protocol::ReplyHeader &reply, uint16_t *code) {
  const uint8_t detail = reply.errorDetail;
  switch (reply.errorClass) {
    case 1:
      *code = static_cast<uint16_t>(RESULT_CLASS1_BASE + detail);
      return 0;
    case 2:
      *code = static_cast<uint16_t>(RESULT_CLASS2_BASE + detail);
      return 0;
    case 3:
      *code = static_cast<uint16_t>(RESULT_CLASS3_BASE + detail);
      return 0;
    case 4:
      *code = static_cast<uint16_t>(RESULT_CLASS4_BASE + detail);
      return 0;
    case 5:
      *code = static_cast<uint16_t>(RESULT_JAM_BASE + detail);
      return 0;
    case kMediaErrorClass:
      return MapMediaError(reply, code);
    default:
      *code = RESULT_UNEXPECTED_REPLY;
      return 0;
  }
}

int MapMediaError(const protocol::ReplyHeader &reply, uint16_t *code) {
  switch (reply.errorDetail) {
    case 1:
    case 2:
      *code = RESULT_COVER_OPEN;
      break;
    case 3:
    case 5:
      *code = RESULT_INK_EMPTY;
      break;
    case 6:
    case 7:
    case 8:
      *code = RESULT_PAPER_EMPTY;
      break;
    default:
      *code = RESULT_UNEXPECTED_REPLY;
      break;
  }
  return 0;
}

}  // namespace hostlib
