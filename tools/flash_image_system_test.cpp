// A virtual printer started from a composed flash image: the firmware's own
// checksum routines, reading the NOR flash model through the bus, accept
// every image where the builders put it.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "firmware/devices/checksum.h"
#include "firmware/hal/hw.h"
#include "firmware/hal/kernel.h"
#include "tests/support/machine_test.h"
#include "tools/images/flash_image.h"
#include "tools/images/lamination_slot.h"

namespace {

using testsupport::MachineTest;
using testsupport::Ms;

struct Results {
  char acModel[8];
  int32_t lMain;
  int32_t lMainShifted;
  int32_t lDsp;
  int32_t lDspWrongWord;
  int32_t lTable;
  int32_t lToneBank;
  int32_t lLamination;
  int32_t lCisBlock0;
  uint16_t usDspBlock;
  uint16_t usDspDirect;
};
Results g_results;
uint8_t g_aucCisBlock[1228];

constexpr PhysAddr kMain = 0x60100000u;
constexpr PhysAddr kDsp = 0x605C0000u;
constexpr PhysAddr kTable = 0x60600000u;
constexpr PhysAddr kToneBank0 = 0x60360000u;
constexpr PhysAddr kLamiActive = 0x604A0000u;
constexpr PhysAddr kCis = 0x607F0000u;
constexpr PhysAddr kStaging = 0xC0800000u;

void CheckTheFlash() {
  Results& r = g_results;
  for (PhysAddr i = 0; i < 7; ++i) r.acModel[i] = static_cast<char>(HwRead8(kMain + 10 + i));
  const uint16_t usHeader = HwRead16(kMain);
  const uint32_t ulLength = HwRead16(kMain + 48) | (static_cast<uint32_t>(HwRead16(kMain + 50)) << 16);
  r.lMain = CheckImageSum16(kMain + usHeader, ulLength);
  r.lMainShifted = CheckImageSum16(kMain + usHeader + 2, ulLength);

  const uint16_t usDspSum = HwRead16(kDsp + 0x3FFB0);
  r.lDsp = VerifyChecksum16(kDsp, 0x3FF80, usDspSum, CHECKSUM_READ_BLOCK);
  r.lDspWrongWord = VerifyChecksum16(kDsp, 0x3FF80, static_cast<uint16_t>(usDspSum + 1), CHECKSUM_READ_BLOCK);

  const uint16_t usTableHeader = HwRead16(kTable);
  r.lTable = VerifyChecksum16(kTable + usTableHeader, HwRead32(kTable + 140), HwRead16(kTable + 42), CHECKSUM_READ_BLOCK);
  r.lToneBank = VerifyChecksum16(kToneBank0, 12288, HwRead16(kToneBank0 + 12798), CHECKSUM_READ_BLOCK);
  r.lLamination = VerifyChecksum16(kLamiActive, images::kLamiPackedBytes,
                                   HwRead16(kLamiActive + images::kLamiPackedBytes + 20), CHECKSUM_READ_BLOCK);
  HwReadBlock(kCis, g_aucCisBlock, sizeof g_aucCisBlock);
  r.lCisBlock0 = VerifyChecksum16(g_aucCisBlock, sizeof g_aucCisBlock, HwRead16(kCis + 1228));

  // The same range summed from flash and, copied, directly from SDRAM.
  uint8_t aucPiece[1024];
  for (uint32_t ulDone = 0; ulDone < 0x3FF80; ulDone += sizeof aucPiece) {
    HwReadBlock(kDsp + ulDone, aucPiece, sizeof aucPiece);
    HwWriteBlock(kStaging + ulDone, aucPiece, sizeof aucPiece);
  }
  OnesComplementSum16(kDsp, 0x3FF80, &r.usDspBlock, CHECKSUM_READ_BLOCK);
  OnesComplementSum16(kStaging, 0x3FF80, &r.usDspDirect, CHECKSUM_READ_DIRECT);
  syslog(LOG_EMERG, "[test] flash checked");
  for (;;) CpuRelax();
}

TEST_F(MachineTest, FirmwareChecksumsAcceptTheComposedFlash) {
  const std::string dir = testsupport::MakeTempDir();
  const images::Bytes flash = images::ComposeFlash(images::SampleFlashContents(images::Version{0x02, 0x10}));
  FILE* f = std::fopen((dir + "/flash.bin").c_str(), "wb");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(std::fwrite(flash.data(), 1, flash.size(), f), flash.size());
  std::fclose(f);

  sim::MachineOptions options;
  options.stateDir = dir;
  options.appEntry = CheckTheFlash;
  sim::Machine& m = Boot(std::move(options));
  ASSERT_EQ(m.RunUntil([&] { return m.Logged("[test] flash checked"); }, Ms(10000)), sim::RunResult::ConditionMet);

  const Results& r = g_results;
  EXPECT_EQ(std::string(r.acModel, 7), "KT-3318");
  EXPECT_EQ(r.lMain, 0);
  EXPECT_EQ(r.lMainShifted, -1);
  EXPECT_EQ(r.lDsp, 0);
  EXPECT_EQ(r.lDspWrongWord, -1);
  EXPECT_EQ(r.lTable, 0);
  EXPECT_EQ(r.lToneBank, 0);
  EXPECT_EQ(r.lLamination, 0);
  EXPECT_EQ(r.lCisBlock0, 0);
  EXPECT_EQ(r.usDspBlock, r.usDspDirect);
}

}  // namespace
