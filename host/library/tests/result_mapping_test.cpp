// The mapping of replies to result codes, as one table, and the folds.
#include "result_mapping.h"

#include <gtest/gtest.h>

#include "host_result_codes.h"
#include "protocol/codes.h"

namespace hostlib_test {
namespace {

using hostlib::MAP_ERROR;
using hostlib::MAP_PRINTING_STATE;
using hostlib::MAP_STATUS;

struct MappingCase {
  const char *what;
  int mode;
  uint8_t errorCode;  // the reply kind follows from it
  uint8_t errorClass;
  uint8_t errorDetail;
  uint8_t printerState;
  int result;
  uint16_t code;
};

constexpr uint8_t kReadyState = protocol::PRINTER_STATE_READY;

const MappingCase kMappingCases[] = {
    // Status replies (REPLY_OK), by printer state.
    {"ready", MAP_STATUS, 0, 0, 0, 0x00, 1, RESULT_OK},
    {"printing Y", MAP_STATUS, 0, 0, 0, 0x61, 1, RESULT_PRINT_61},
    {"printing M", MAP_STATUS, 0, 0, 0, 0x65, 1, RESULT_PRINT_65},
    {"last of the first range", MAP_STATUS, 0, 0, 0, 0x6C, 1, RESULT_PRINT_6C},
    {"single-pass printing", MAP_STATUS, 0, 0, 0, 0x6E, 1, RESULT_PRINT_6E},
    {"changing path", MAP_STATUS, 0, 0, 0, 0x6F, 1, RESULT_PRINT_6F},
    {"state 0x71", MAP_STATUS, 0, 0, 0, 0x71, 1, RESULT_PRINT_71},
    {"unit B printing M", MAP_STATUS, 0, 0, 0, 0xE5, 1, RESULT_PRINT_E5},
    {"unit B range end", MAP_STATUS, 0, 0, 0, 0xE9, 1, RESULT_PRINT_E9},
    {"state 0xEC", MAP_STATUS, 0, 0, 0, 0xEC, 1, RESULT_PRINT_EC},
    {"state 0xEE", MAP_STATUS, 0, 0, 0, 0xEE, 1, RESULT_PRINT_EE},
    {"state 0xF1", MAP_STATUS, 0, 0, 0, 0xF1, 1, RESULT_PRINT_F1},
    {"cooling is no printing state", MAP_STATUS, 0, 0, 0, 0x60, 0, RESULT_UNEXPECTED_REPLY},
    {"0x6D is no printing state", MAP_STATUS, 0, 0, 0, 0x6D, 0, RESULT_UNEXPECTED_REPLY},
    {"0xEA is no printing state", MAP_STATUS, 0, 0, 0, 0xEA, 0, RESULT_UNEXPECTED_REPLY},
    {"0xEF is no printing state", MAP_STATUS, 0, 0, 0, 0xEF, 0, RESULT_UNEXPECTED_REPLY},
    {"buffer full", MAP_STATUS, 0, 0, 0, 0x21, 0, RESULT_BUFFER_FULL},
    {"CPU initialising", MAP_STATUS, 0, 0, 0, 0x31, 0, RESULT_CPU_INITIALIZING},
    {"paper loading", MAP_STATUS, 0, 0, 0, 0x33, 0, RESULT_PAPER_LOADING},
    {"downloading", MAP_STATUS, 0, 0, 0, 0x37, 0, RESULT_DOWNLOADING},
    {"class 1 error", MAP_STATUS, 0, 1, 9, 0x11, 0, 4009},
    {"class 2 error", MAP_STATUS, 0, 2, 7, 0x11, 0, 4107},
    {"class 3 error", MAP_STATUS, 0, 3, 0, 0x11, 0, 4200},
    {"class 4 error", MAP_STATUS, 0, 4, 255, 0x11, 0, 4555},
    {"jam", MAP_STATUS, 0, 5, 12, 0x11, 0, 3012},
    {"cover open", MAP_STATUS, 0, 6, 2, 0x11, 0, RESULT_COVER_OPEN},
    {"ink empty", MAP_STATUS, 0, 6, 5, 0x11, 0, RESULT_INK_EMPTY},
    {"paper empty", MAP_STATUS, 0, 6, 8, 0x11, 0, RESULT_PAPER_EMPTY},
    {"unknown media error", MAP_STATUS, 0, 6, 4, 0x11, 0, RESULT_UNEXPECTED_REPLY},
    {"unknown error class", MAP_STATUS, 0, 7, 1, 0x11, 0, RESULT_UNEXPECTED_REPLY},
    {"status mapping of an error reply", MAP_STATUS, 0x01, 0, 0, kReadyState, 0, RESULT_UNEXPECTED_REPLY},

    // Error replies (REPLY_ERROR), by error code.
    {"printer refuses a parameter", MAP_ERROR, 0x01, 0, 0, kReadyState, 0, RESULT_PRINTER_BAD_PARAMETER},
    {"refused", MAP_ERROR, 0x02, 0, 0, kReadyState, 0, RESULT_USB_ERROR},
    {"application time-out", MAP_ERROR, 0x03, 0, 0, kReadyState, 0, RESULT_USB_ERROR},
    {"no permission", MAP_ERROR, 0x04, 0, 0, kReadyState, 0, RESULT_USB_ERROR},
    {"unknown command", MAP_ERROR, 0x05, 0, 0, kReadyState, 0, RESULT_USB_ERROR},
    {"unit error", MAP_ERROR, 0x11, 5, 3, 0x11, 0, 3003},
    {"no resource", MAP_ERROR, 0x21, 0, 0, kReadyState, 0, RESULT_BUFFER_FULL},
    {"refused while printing", MAP_ERROR, 0x63, 0, 0, 0x63, 0, RESULT_BUFFER_FULL},
    {"refused while unit B prints", MAP_ERROR, 0xE3, 0, 0, 0xE3, 0, RESULT_BUFFER_FULL},
    {"refused in the paper-loading state", MAP_ERROR, 0x33, 0, 0, 0x33, 0, RESULT_PAPER_LOADING},
    {"refused in the self-diagnosis state", MAP_ERROR, 0x36, 0, 0, 0x36, 0, RESULT_SELF_DIAGNOSIS},
    {"error 0x40", MAP_ERROR, 0x40, 0, 0, kReadyState, 0, RESULT_REPLY_ERR_40},
    {"error 0x41", MAP_ERROR, 0x41, 0, 0, kReadyState, 0, RESULT_REPLY_ERR_41},
    {"error 0x45", MAP_ERROR, 0x45, 0, 0, kReadyState, 0, RESULT_REPLY_ERR_45},
    {"bad layout", MAP_ERROR, 0x46, 0, 0, kReadyState, 0, RESULT_BAD_LAYOUT},
    {"job state", MAP_ERROR, 0x22, 0, 0, kReadyState, 0, RESULT_UNEXPECTED_REPLY},
    {"error mapping of a status reply", MAP_ERROR, 0, 0, 0, kReadyState, 0, RESULT_UNEXPECTED_REPLY},

    // Printing-state mapping: always a success.
    {"printing state", MAP_PRINTING_STATE, 0, 0, 0, 0x67, 1, RESULT_PRINT_67},
    {"no printing state", MAP_PRINTING_STATE, 0, 0, 0, 0x00, 1, RESULT_NO_PRINT_STATE},
    {"printing-state mapping of an error reply", MAP_PRINTING_STATE, 0x02, 0, 0, 0x61, 0, RESULT_UNEXPECTED_REPLY},

    {"unknown mode", 9, 0, 0, 0, kReadyState, 0, RESULT_UNEXPECTED_REPLY},
};

TEST(HostResultMapping, RepliesMapToTheirCodes) {
  for (const MappingCase &c : kMappingCases) {
    SCOPED_TRACE(c.what);
    const protocol::ReplyHeader reply =
        protocol::MakeReplyHeader(c.errorCode, c.errorClass, c.errorDetail, 0, c.printerState, 0);
    uint16_t code = 0xFFFF;
    EXPECT_EQ(hostlib::MapReplyStatus(c.mode, reply, &code), c.result);
    EXPECT_EQ(code, c.code);
  }
}

TEST(HostResultMapping, FoldsAndTexts) {
  struct Fold {
    uint16_t code;
    uint16_t usb;
    uint16_t parameter;
    uint16_t parameterThenUsb;  // a printer's refusal stays the caller's bad parameter
  };
  for (const Fold &f : {Fold{2599, 2599, 2599, 2599}, Fold{2600, 2600, 2600, 2600}, Fold{2601, 2600, 1006, 1006},
                        Fold{2602, 2600, 2602, 2600}, Fold{2605, 2600, 2605, 2600}, Fold{2606, 2606, 2606, 2606},
                        Fold{1006, 1006, 1006, 1006}, Fold{0, 0, 0, 0}}) {
    SCOPED_TRACE(f.code);
    EXPECT_EQ(hostlib::FoldUsbCode(f.code), f.usb);
    EXPECT_EQ(hostlib::FoldParameterCode(f.code), f.parameter);
    EXPECT_EQ(hostlib::FoldParameterThenUsbCode(f.code), f.parameterThenUsb);
  }
  EXPECT_STREQ(HostResultText(RESULT_OK), "The printer is a ready state.");
  EXPECT_STREQ(HostResultText(RESULT_USBCTRL_LOAD_FAILED), "Cannot load BOM7300UsbCtrl.dll.");
  EXPECT_STREQ(HostResultText(RESULT_MEDIA_MISMATCH),
               "The specified paper information is not available to the currently selected printer.");
  EXPECT_STREQ(HostResultText(RESULT_USB_ERROR), "USB communication error.");
  EXPECT_STREQ(HostResultText(RESULT_NO_SESSION), "Refer to WRT3-N586K");
  EXPECT_STREQ(HostResultText(4107), "Refer to WRT3-N586K");
}

}  // namespace
}  // namespace hostlib_test
