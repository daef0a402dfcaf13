#include "protocol/codes.h"

#include "protocol/protocol.h"  // the umbrella header compiles on its own

#include <gtest/gtest.h>

namespace protocol {
namespace {

struct UnitCase {
  uint8_t state;
  uint8_t onUnitB;  // as it travels while unit B is current
};

// Bit 7 marks unit B only for 0x60-0x69 and 0x6C-0x6E.
constexpr UnitCase kUnitCases[] = {
    {PRINTER_STATE_COOLING, 0xE0},  {PRINTER_STATE_PRINTING, 0xE1},
    {PRINTER_STATE_PRINT_65, 0xE5}, {PRINTER_STATE_PRINT_69, 0xE9},
    {PRINTER_STATE_PRINT_6A, 0x6A}, {PRINTER_STATE_PRINT_6B, 0x6B},
    {PRINTER_STATE_PRINT_6C, 0xEC}, {PRINTER_STATE_PRINT_6E, 0xEE},
    {PRINTER_STATE_CHANGING_PATH, 0x6F}, {PRINTER_STATE_PRINT_71, 0x71},
    {PRINTER_STATE_READY, 0x00},    {PRINTER_STATE_ERROR, 0x11},
    {PRINTER_STATE_BUFFER_FULL, 0x21}, {PRINTER_STATE_DOWNLOADING, 0x37},
};

TEST(ProtocolPrinterStateUnit, MarksOnlyPrintingStatesOfUnitB) {
  for (const UnitCase& c : kUnitCases) {
    SCOPED_TRACE(testing::Message() << "state 0x" << std::hex << int{c.state});
    EXPECT_EQ(PrinterStateForUnit(c.state, PRINT_UNIT_A), c.state);
    EXPECT_EQ(PrinterStateForUnit(c.state, PRINT_UNIT_B), c.onUnitB);
    EXPECT_EQ(PrinterStateWithoutUnit(c.onUnitB), c.state);
    EXPECT_EQ(PrintUnitOfState(c.onUnitB), c.onUnitB != c.state ? PRINT_UNIT_B : PRINT_UNIT_A);
  }
}

TEST(ProtocolPrinterStateUnit, ReverseLeavesValuesTheMarkNeverProduces) {
  // 0xEA, 0xEB, 0xEF and 0xF1 look marked but no state of unit B becomes them.
  for (uint8_t wire : {0xEA, 0xEB, 0xEF, 0xF1, 0x80, 0xFF}) {
    EXPECT_EQ(PrinterStateWithoutUnit(wire), wire) << std::hex << int{wire};
    EXPECT_EQ(PrintUnitOfState(wire), PRINT_UNIT_A) << std::hex << int{wire};
  }
}

TEST(ProtocolPrinterStateUnit, RoundTripsEveryStateOfEitherUnit) {
  for (int s = 0; s < 0x80; ++s) {
    const auto state = static_cast<uint8_t>(s);
    for (uint8_t unit : {PRINT_UNIT_A, PRINT_UNIT_B}) {
      const uint8_t wire = PrinterStateForUnit(state, unit);
      EXPECT_EQ(PrinterStateWithoutUnit(wire), state) << s;
      EXPECT_EQ(PrintUnitOfState(wire), IsUnitMarkedState(state) ? unit : PRINT_UNIT_A) << s;
    }
  }
}

TEST(ProtocolCommandCodes, SplitIntoNumberAndGroup) {
  EXPECT_EQ(CommandNumberOf(CMD_PRINT), 0x01);
  EXPECT_EQ(CommandGroupOf(CMD_PRINT), CMD_GROUP_ACTION);
  EXPECT_EQ(CommandGroupOf(CMD_UNIVERSAL), CMD_GROUP_MAINTENANCE);
  EXPECT_EQ(MakeCommandCode(CMD_GROUP_DOWNLOAD, 0x02), CMD_MAINTENANCE_PERMISSION);
  EXPECT_EQ(ReplyKindFor(0), REPLY_OK);
  EXPECT_EQ(ReplyKindFor(PRINTER_STATE_SELF_DIAGNOSIS), REPLY_ERROR);
}

}  // namespace
}  // namespace protocol
