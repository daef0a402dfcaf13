// The USB task's permission table: its columns by printer state, and its
// agreement with the protocol's command table; the wait for the
// application's reply, step by step.
#include <gtest/gtest.h>

#include <string>

#include "firmware/hostif/usb_app_messages.h"
#include "firmware/hostif/usb_command_layer.h"
#include "firmware/hostif/usb_command_test_support.h"
#include "firmware/platform/soft_timer.h"
#include "protocol/codes.h"
#include "protocol/command_table.h"

namespace {

using namespace protocol;

uint8_t Refusal(uint16_t usCode, uint8_t ucState) {
  g_ReplyStatus.ucPrinterState = ucState;
  uint8_t ucOut = 0;
  return CheckCommandPermission(usCode, &ucOut) == 0 ? 0 : ucOut;
}

TEST(PermissionTable, EveryServedCommandHasARowAndOnlyGatedOnesAreEverRefused) {
  for (const CommandInfo& info : kCommandTable) {
    SCOPED_TRACE(info.code);
    const bool bServed = info.answer != CommandAnswer::Unknown;
    const CommandPermission* pRow = nullptr;
    for (const CommandPermission& row : g_CommandPermissionTable) {
      if (row.usCommandCode == info.code) pRow = &row;
    }
    EXPECT_EQ(pRow != nullptr, bServed);
    if (pRow == nullptr) continue;
    if (!info.gated) {
      EXPECT_EQ(pRow->aucAllow[0] | pRow->aucAllow[1] | pRow->aucAllow[2] | pRow->aucAllow[3], 0);
    }
  }
  EXPECT_EQ(g_CommandPermissionTable[COMMAND_PERMISSION_ROWS - 1].usCommandCode, 0);
}

struct Column {
  const char* name;
  uint8_t state;
  uint8_t refusesPrint;      // 0x4001: refused in 0x3_
  uint8_t refusesSetParam;   // 0x4007: refused in 0x3_ and 0x6_/0xE_
  uint8_t refusesCutList;    // 0x4009: never refused in a known column
};

class PermissionColumn : public ::testing::TestWithParam<Column> {};

TEST_P(PermissionColumn, TheUpperNibbleChoosesTheColumn) {
  const Column& c = GetParam();
  EXPECT_EQ(Refusal(CMD_PRINT, c.state), c.refusesPrint ? c.state : 0);
  EXPECT_EQ(Refusal(CMD_SET_PARAMETER, c.state), c.refusesSetParam ? c.state : 0);
  EXPECT_EQ(Refusal(CMD_SET_CUT_LIST, c.state), c.refusesCutList ? c.state : 0);
  // A code the table does not list is refused in every state.
  EXPECT_EQ(Refusal(0x4444, c.state), c.state == 0 ? 0 : c.state);
}

INSTANTIATE_TEST_SUITE_P(
    States, PermissionColumn,
    ::testing::Values(Column{"Ready", PRINTER_STATE_READY, 0, 0, 0}, Column{"Error", PRINTER_STATE_ERROR, 0, 0, 0},
                      Column{"BufferFull", PRINTER_STATE_BUFFER_FULL, 1, 1, 1},
                      Column{"Downloading", PRINTER_STATE_DOWNLOADING, 1, 1, 0},
                      Column{"Printing", PRINTER_STATE_PRINTING, 0, 1, 0}, Column{"PrintingUnitB", 0xE9, 0, 1, 0},
                      Column{"ChangingPath", PRINTER_STATE_CHANGING_PATH, 0, 1, 0},
                      Column{"Print71", PRINTER_STATE_PRINT_71, 1, 1, 1}, Column{"UnmarkedEA", 0xEA, 0, 1, 0}),
    [](const ::testing::TestParamInfo<Column>& p) { return std::string(p.param.name); });

// ---- The reply wait -------------------------------------------------------------------

struct ReplyWaitCase {
  const char* name;
  bool bAnswerHere;   // the awaited answer came before this step
  bool bTimedOut;     // the wait's time-out has run out at this step
  uint8_t ucState;    // after the step
  uint8_t ucError;
};

class ReplyWait : public hostiftest::UsbCommandTest, public ::testing::WithParamInterface<ReplyWaitCase> {};

TEST_P(ReplyWait, ATimeOutEndingInTheSameStepAsTheAnswerWins) {
  const ReplyWaitCase& c = GetParam();
  BootQuiet();
  InApp([&c] {
    InitUsbProcess();
    constexpr uint16_t usRequest = 0x8020;
    ArmAppReplyWait(usRequest, 1, c.bTimedOut ? 0 : 10000);
    g_ucUsbCmdState = USB_CMD_AWAIT_REPLY;
    if (c.bAnswerHere) {
      g_AppReply.aucData[0] = REPLY_ERR_NO_RESOURCE;
      g_usLastAppMessage = AppReplyCodeOf(usRequest);
    }
    UsbCommandStep();
    EXPECT_EQ(g_ucUsbCmdState, c.ucState);
    EXPECT_EQ(g_ReplyStatus.ucErrorCode, c.ucError);
  });
}

INSTANTIATE_TEST_SUITE_P(
    Steps, ReplyWait,
    ::testing::Values(ReplyWaitCase{"Waiting", false, false, USB_CMD_AWAIT_REPLY, 0},
                      ReplyWaitCase{"Answered", true, false, USB_CMD_RESPOND, REPLY_ERR_NO_RESOURCE},
                      ReplyWaitCase{"TimedOut", false, true, USB_CMD_RESPOND, REPLY_ERR_TIMEOUT},
                      ReplyWaitCase{"AnsweredAsItTimedOut", true, true, USB_CMD_RESPOND, REPLY_ERR_TIMEOUT}),
    [](const ::testing::TestParamInfo<ReplyWaitCase>& p) { return std::string(p.param.name); });

}  // namespace
