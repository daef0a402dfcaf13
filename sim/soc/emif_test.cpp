// The external memory interface's chip-select configuration: reset value,
// what the firmware writes and how it decodes.
#include "sim/soc/emif.h"

#include <gtest/gtest.h>

#include "sim/board.h"

namespace sim {
namespace {

TEST(EmifModel, ChipSelectTimingReadsBackAndDecodesByThePublishedFields) {
  Board board{BoardConfig{}};
  ExternalMemoryInterface& emif = board.AddDevice<ExternalMemoryInterface>(board);
  EXPECT_EQ(emif.Read(ExternalMemoryInterface::kMidr, 4), ExternalMemoryInterface::kModuleId);
  for (uint32_t cs = 2; cs <= 5; ++cs) EXPECT_EQ(emif.ChipSelectConfig(cs), ExternalMemoryInterface::kCeCfgReset);
  EXPECT_EQ(emif.Timing(4), (AsyncTiming{false, false, 15, 63, 7, 15, 63, 7, 3, 16}));

  // The FPGA's timing on chip select 4.
  emif.Write(0x18, 4, 0x44902889u);
  EXPECT_EQ(emif.Read(0x18, 4), 0x44902889u);
  EXPECT_EQ(emif.Timing(4), (AsyncTiming{false, true, 1, 9, 0, 1, 17, 0, 2, 16}));
  EXPECT_EQ(emif.ChipSelectConfig(3), ExternalMemoryInterface::kCeCfgReset);

  // The module id is read-only; a halfword write is refused.
  emif.Write(ExternalMemoryInterface::kMidr, 4, 0);
  EXPECT_EQ(emif.Read(ExternalMemoryInterface::kMidr, 4), ExternalMemoryInterface::kModuleId);
  emif.Write(0x18, 2, 0);
  EXPECT_EQ(emif.ChipSelectConfig(4), 0x44902889u);
  EXPECT_EQ(board.Faults().size(), 1u);
}

}  // namespace
}  // namespace sim
