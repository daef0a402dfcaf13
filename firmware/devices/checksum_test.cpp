// The ones'-complement checksums: the two summing rules on RAM objects, and
// the same rules reading flash through the bus and SDRAM directly on the
// virtual board.
#include "firmware/devices/checksum.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "firmware/hal/kernel.h"
#include "sim/board.h"
#include "sim/memory/nor_flash.h"
#include "tests/support/machine_test.h"

namespace {

using testsupport::MachineTest;
using testsupport::Ms;

std::vector<uint8_t> Bytes(std::initializer_list<uint8_t> bytes) { return bytes; }

// ---- the rules on RAM objects ------------------------------------------------

TEST(Checksum16, OnesComplementSumOfRamObjects) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    uint16_t sum;
  };
  const Case cases[] = {
      {"empty", {}, 0xFFFF},
      {"one byte", Bytes({0x7E}), 0xFFFF},
      {"abc", Bytes({0x61, 0x62, 0x63}), 0x9D9E},
      {"carry folded back at once", Bytes({0xFF, 0xFF, 0x02, 0x00, 0xFF, 0xFF}), 0xFFFD},
      {"negative zero", Bytes({0xFF, 0xFF}), 0x0000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    uint16_t usSum = 0x1234;
    EXPECT_EQ(OnesComplementSum16(c.bytes.data(), static_cast<uint32_t>(c.bytes.size()), &usSum), 0);
    EXPECT_EQ(usSum, c.sum);
    EXPECT_EQ(VerifyChecksum16(c.bytes.data(), static_cast<uint32_t>(c.bytes.size()), c.sum), 0);
    EXPECT_EQ(VerifyChecksum16(c.bytes.data(), static_cast<uint32_t>(c.bytes.size()), static_cast<uint16_t>(c.sum ^ 1)), -1);
  }
}

// The image rule wraps its 32-bit accumulator instead of folding every step,
// so it parts from the ones'-complement sum once the sum passes 2^32.
TEST(Checksum16, ImageRuleWrapsWhereThePerStepRuleFolds) {
  const uint8_t aucOnes[4] = {0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(AddOnesComplement16(0, aucOnes, 2), 0xFFFFu);
  EXPECT_EQ(AddWrapping16(0, aucOnes, 2), 0x1FFFEu);
  EXPECT_EQ(FoldImageSum(0x1FFFEu), 0);
  EXPECT_EQ(FoldImageSum(0xFFFFu), 0);
  EXPECT_NE(FoldImageSum(0), 0) << "an all-zero range is not good";
  // 0xFFFFFFFF + 0xFFFF wraps to 0xFFFE: the carry out of bit 31 is lost.
  EXPECT_EQ(AddWrapping16(0xFFFFFFFFu, aucOnes, 1), 0x0000FFFEu);
  EXPECT_NE(FoldImageSum(0x0000FFFEu), 0);
  EXPECT_EQ(AddOnesComplement16(0xFFFFu, aucOnes, 1), 0xFFFFu);
}

// ---- reading through the bus on the board -----------------------------------------

struct BoardSums {
  uint16_t usAbcFlash;
  uint16_t usLongFlash;
  uint16_t usLongDirect;
  uint16_t usEmpty;
  int32_t lVerifyGood;
  int32_t lVerifyBad;
  int32_t lImageEven;
  int32_t lImageOdd;
  int32_t lImageOddShort;
  int32_t lImageZeros;
  int32_t lImageWrapped;
  int32_t lImageCompensated;
};
BoardSums g_sums;

constexpr PhysAddr kFlashRange = 0x60600000u;
constexpr PhysAddr kSdramRange = 0xC0800000u;
constexpr uint32_t kLongBytes = 1001;  // several 256-byte blocks, the last short, an odd byte

// Filled before the board runs: the application's fiber is abandoned, not
// unwound, so it keeps nothing on the heap.
uint8_t g_aucLongRange[kLongBytes];

void FillLongRange() {
  for (uint32_t i = 0; i < kLongBytes; ++i) g_aucLongRange[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
}

void SumOnTheBoard() {
  BoardSums& s = g_sums;
  OnesComplementSum16(0x60000000u, 3, &s.usAbcFlash, CHECKSUM_READ_BLOCK);
  OnesComplementSum16(kFlashRange, kLongBytes, &s.usLongFlash, CHECKSUM_READ_BLOCK);
  HwWriteBlock(kSdramRange, g_aucLongRange, kLongBytes);
  OnesComplementSum16(kSdramRange, kLongBytes, &s.usLongDirect, CHECKSUM_READ_DIRECT);
  OnesComplementSum16(kFlashRange, 0, &s.usEmpty, CHECKSUM_READ_BLOCK);
  s.lVerifyGood = VerifyChecksum16(kFlashRange, kLongBytes, s.usLongFlash, 7);
  s.lVerifyBad = VerifyChecksum16(kSdramRange, kLongBytes, static_cast<uint16_t>(s.usLongFlash + 1), CHECKSUM_READ_DIRECT);

  // Image rule: 0x7FFF + 0x8000 folds to 0xFFFF; with an odd length the
  // byte after the last halfword counts too.
  const uint8_t aucImage[6] = {0xFF, 0x7F, 0x00, 0x80, 0x01, 0xEE};
  HwWriteBlock(kSdramRange + 0x1000, aucImage, sizeof aucImage);
  s.lImageEven = CheckImageSum16(kSdramRange + 0x1000, 4);
  s.lImageOdd = CheckImageSum16(kSdramRange + 0x1000, 5);
  const uint8_t aucOdd[4] = {0x00, 0xFF, 0xFF, 0x12};
  HwWriteBlock(kSdramRange + 0x2000, aucOdd, sizeof aucOdd);
  s.lImageOddShort = CheckImageSum16(kSdramRange + 0x2000, 3);
  s.lImageZeros = CheckImageSum16(kSdramRange + 0x3000, 64);
  // 0x20000 halfwords of 0xFFFF sum past 2^32: the per-step rule folds them
  // to 0xFFFF (good), the image rule loses the carry and ends at 0xFFFE; one
  // more halfword of 1 makes the image rule good and the per-step rule not.
  constexpr uint32_t kWrapBytes = 0x40000;
  std::memset(PhysToHost(kSdramRange + 0x10000, kWrapBytes + 2), 0xFF, kWrapBytes);
  s.lImageWrapped = CheckImageSum16(kSdramRange + 0x10000, kWrapBytes);
  const uint8_t aucOne[2] = {0x01, 0x00};
  HwWriteBlock(kSdramRange + 0x10000 + kWrapBytes, aucOne, 2);
  s.lImageCompensated = CheckImageSum16(kSdramRange + 0x10000, kWrapBytes + 2);
  syslog(LOG_EMERG, "[test] sums done");
  for (;;) CpuRelax();
}

TEST_F(MachineTest, ChecksumsReadFlashThroughTheBusAndRamDirectly) {
  sim::MachineOptions options;
  options.appEntry = SumOnTheBoard;
  sim::Machine& m = Boot(std::move(options));
  sim::NorFlash* flash = m.GetBoard().FindDevice<sim::NorFlash>();
  ASSERT_NE(flash, nullptr);
  const uint8_t abc[3] = {0x61, 0x62, 0x63};
  flash->LoadImage(0, abc, sizeof abc);
  FillLongRange();
  flash->LoadImage(kFlashRange - sim::NorFlash::kBase, g_aucLongRange, kLongBytes);
  ASSERT_EQ(m.RunUntil([&] { return m.Logged("[test] sums done"); }, Ms(10000)), sim::RunResult::ConditionMet);

  uint16_t usExpected = 0;
  OnesComplementSum16(g_aucLongRange, kLongBytes, &usExpected);
  const BoardSums& s = g_sums;
  EXPECT_EQ(s.usAbcFlash, 0x9D9E);
  EXPECT_EQ(s.usLongFlash, usExpected);
  EXPECT_EQ(s.usLongDirect, usExpected);
  EXPECT_EQ(s.usEmpty, 0xFFFF);
  EXPECT_EQ(s.lVerifyGood, 0) << "any mode other than direct reads through the bus";
  EXPECT_EQ(s.lVerifyBad, -1);
  EXPECT_EQ(s.lImageEven, 0);
  EXPECT_EQ(s.lImageOdd, -1) << "the odd byte 0x01 counts (and 0xEE beside it does not)";
  EXPECT_EQ(s.lImageOddShort, 0) << "0xFF00 + the odd byte 0xFF";
  EXPECT_EQ(s.lImageZeros, -1);
  EXPECT_EQ(s.lImageWrapped, -1) << "the carry out of bit 31 is lost";
  EXPECT_EQ(s.lImageCompensated, 0);
}

}  // namespace
