// The USB task's permission table: its columns by printer state, and its
// agreement with the protocol's command table.
#include <gtest/gtest.h>

#include <string>

#include "firmware/hostif/usb_command_layer.h"
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

}  // namespace
