// The DSP, TABLE, tone-curve, lamination, CIS calibration and error-history
// layouts at their stated offsets, with the checks the firmware applies.
#include <gtest/gtest.h>

#include "tools/images/checksums.h"
#include "tools/images/cis_calibration.h"
#include "tools/images/dsp_image.h"
#include "tools/images/error_history.h"
#include "tools/images/lamination_slot.h"
#include "tools/images/table_image.h"
#include "tools/images/tone_curve_bank.h"

namespace images {
namespace {

TEST(DspImage, InformationBlockAndChecksum) {
  DspImageParams params;
  params.version = Version{0x03, 0x21};
  const Bytes image = BuildDspImage(params);
  ASSERT_EQ(image.size(), 0x40000u);
  EXPECT_EQ(GetText(image, 0x3FF80, 8), "KT3318DS");
  EXPECT_EQ(GetText(image, 0x3FF90, 16), "KT-3318 DSP     ");
  EXPECT_EQ(GetText(image, 0x3FFA0, 4), "0321");
  EXPECT_EQ(GetText(image, 0x3FFA4, 2), "00");
  EXPECT_EQ(GetText(image, 0x3FFA6, 10), "2024/01/15");
  EXPECT_EQ(GetU16LE(image, 0x3FFB0), OnesComplementSum16(image.data(), 0x3FF80));
  EXPECT_EQ(GetText(image, 0x20000, 17), "BOM7300 DSP SDR 1");
  EXPECT_EQ(CheckDspImage(image), 0);

  Bytes bad = image;
  bad[0x3FF7F] ^= 0x01;  // the last byte the checksum covers
  EXPECT_EQ(CheckDspImage(bad), -4);
  bad = image;
  bad[0x3FFC0] ^= 0x01;  // beyond it
  EXPECT_EQ(CheckDspImage(bad), 0);
}

TEST(TableImage, HeaderDirectoriesAndBanks) {
  const TableImageParams params = SampleTableParams();
  const Bytes image = BuildTableImage(params);
  EXPECT_EQ(GetU16LE(image, 0), kTableHeaderLength);
  EXPECT_EQ(GetText(image, 10, 16), "KT-3318 TABLE   ");
  EXPECT_EQ(image[26], 0x02);
  EXPECT_EQ(image[28], 0x10);
  EXPECT_EQ(GetU16LE(image, 64), 0x0200);
  EXPECT_EQ(GetU32LE(image, 132), 2u);
  EXPECT_EQ(GetU32LE(image, 144), 130u);
  EXPECT_EQ(GetU32LE(image, 148), kTableBankAreaOffset);
  const uint32_t dataLength = GetU32LE(image, 140);
  EXPECT_EQ(image.size(), kTableHeaderLength + dataLength);
  EXPECT_EQ(GetU16LE(image, 42), OnesComplementSum16(image.data() + kTableHeaderLength, dataLength));
  EXPECT_EQ(CheckTableImage(image), 0);

  // Lookups as the firmware computes them.
  EXPECT_EQ(GetU32LE(image, TableValueOffset(image, 1, 40)), 1350u);
  EXPECT_EQ(GetU32LE(image, TableValueOffset(image, 0, 176)), 1350u);
  EXPECT_EQ(GetU32LE(image, kTableHeaderLength + 1024 + 4 * 18), 512u) << "length directory";
  // Tables 18-23 lie back to back: table 18 read as 1536 entries spans
  // them, each block rising 64 per level.
  for (uint32_t id = 19; id < 24; ++id) {
    EXPECT_EQ(TableOffset(image, 1, id), TableOffset(image, 1, 18) + 512 * (id - 18)) << id;
  }
  EXPECT_EQ(GetU16LE(image, TableOffset(image, 1, 18) + 2 * 257), 64) << "base gradation entry 1 of magenta";
  EXPECT_EQ(GetU16LE(image, TableOffset(image, 0, 18) + 2 * 1535), 16320) << "SP entry 255";
  // The track-correction rows add up from three values.
  for (uint32_t k = 0; k < 4; ++k) {
    uint32_t rows = 0;
    for (uint32_t v : {168u, 184u, 188u}) rows += GetU32LE(image, TableValueOffset(image, 0, v + k));
    EXPECT_EQ(rows, kSampleTrackRows[k]) << k;
    EXPECT_EQ(GetU32LE(image, TableValueOffset(image, 0, 172 + k)), kSampleTrackBytesPerRow[k]) << k;
    EXPECT_EQ(GetU32LE(image, kTableHeaderLength + 1024 + 4 * (126 + k)), rows * kSampleTrackBytesPerRow[k]) << k;
  }
  EXPECT_EQ(GetU32LE(image, kTableHeaderLength + 1024 + 4 * 42), 512u);
}

// What the print line reads per table index, in both banks: the line
// period, each ramp pair slower at its start than at its top, and the four
// head-drive parameters, distinct so that a mixed-up index shows.
TEST(TableImage, ThePrintLineValuesOfEveryTableIndex) {
  const Bytes image = BuildTableImage(SampleTableParams());
  auto value = [&](uint32_t bank, uint32_t index) { return GetU32LE(image, TableValueOffset(image, bank, index)); };
  for (uint32_t bank = 0; bank < 2; ++bank) {
    for (uint32_t k = 0; k < 6; ++k) {
      EXPECT_EQ(value(bank, k), 2000u) << k;
      EXPECT_GT(value(bank, 8 + k), value(bank, k)) << "ramp A starts slower than its top, " << k;
      EXPECT_GT(value(bank, 16 + k), value(bank, k)) << "ramp B, " << k;
      EXPECT_NE(value(bank, 24 + k), 0u) << k;
      EXPECT_NE(value(bank, 32 + k), 0u) << k;
      for (uint32_t base : {72u, 80u, 88u, 96u}) EXPECT_EQ(value(bank, base + k), 0x0800u + base + k) << base + k;
    }
  }
}

// The ribbon drive's base diameters and its take-up duty tables 96-100 of
// every table index, in both banks, none of them 0.
TEST(TableImage, TheRibbonDutyBasesAndTables) {
  const Bytes image = BuildTableImage(SampleTableParams());
  for (uint32_t bank = 0; bank < 2; ++bank) {
    EXPECT_EQ(GetU32LE(image, TableValueOffset(image, bank, 64)), kSampleDutyBaseMm[0]);
    EXPECT_EQ(GetU32LE(image, TableValueOffset(image, bank, 65)), kSampleDutyBaseMm[1]);
    for (uint32_t k = 0; k < 5; ++k) {
      EXPECT_EQ(GetU32LE(image, kTableHeaderLength + 1024 + 4 * (96 + k)), kSampleDutyRows) << k;
      for (uint32_t row : {0u, kSampleDutyRows - 1}) {
        const uint8_t ucDuty = image[TableOffset(image, bank, 96 + k) + row];
        EXPECT_EQ(ucDuty, SampleTakeUpDuty(k, row)) << k;
        EXPECT_NE(ucDuty, 0) << k;
      }
    }
  }
}

TEST(TableImage, ChecksAndLimits) {
  TableImageParams params;
  params.bankCount = 3;
  params.tableCount = 130;
  params.tables[7] = {Bytes(6, 1), Bytes(6, 2), Bytes(6, 3)};
  params.tables[127] = {Bytes(4, 9)};
  const Bytes image = BuildTableImage(params);
  EXPECT_EQ(image[TableOffset(image, 2, 7)], 3);
  EXPECT_EQ(TableOffset(image, 2, 127), TableOffset(image, 0, 127)) << "ids 126-129 always from bank 0";
  EXPECT_EQ(GetU32LE(image, 128) % 4, 0u);

  struct Case {
    const char* name;
    size_t offset;
    uint8_t bits;
    int result;
  };
  const Case cases[] = {
      {"format mark", 65, 0x01, -1},
      {"table data", kTableHeaderLength + 3000, 0x01, -2},
      {"data length beyond the area", 142, 0x20, -3},
      {"header outside the checksum", 100, 0xFF, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes bad = image;
    bad[c.offset] ^= c.bits;
    EXPECT_EQ(CheckTableImage(bad), c.result);
  }

  params.tables[300] = {Bytes(2)};
  EXPECT_THROW(BuildTableImage(params), std::invalid_argument);
  params.tables.erase(300);
  params.tables[8] = {Bytes(2), Bytes(4), Bytes(2)};
  EXPECT_THROW(BuildTableImage(params), std::invalid_argument) << "one length in every bank";
  params.tables.erase(8);
  params.tables[9] = {Bytes(0x160000)};
  EXPECT_THROW(BuildTableImage(params), std::invalid_argument) << "larger than the flash area";
}

TEST(ToneCurveBank, LayoutAndValidity) {
  const Bytes bank = BuildDefaultToneCurveBank(Version{0x02, 0x10});
  ASSERT_EQ(bank.size(), 12800u);
  EXPECT_EQ(GetU16LE(bank, 2 * 255), 16320) << "entry 255 of the default curve";
  EXPECT_EQ(GetU16LE(bank, 7 * 1536 + 2 * 256), 0) << "curve 8, magenta entry 0";
  EXPECT_EQ(GetText(bank, 12288, 16), "TERAVO QRX-T8820");
  EXPECT_EQ(GetText(bank, 12304, 4), "0210");
  EXPECT_EQ(GetU16LE(bank, 12308), 0);
  EXPECT_EQ(GetU16LE(bank, 12798), OnesComplementSum16(bank.data(), 12288));
  EXPECT_EQ(CheckToneCurveBank(bank), 0);

  struct Case {
    Version version;
    int result;
  };
  for (const Case& c : {Case{{0x00, 0x04}, -4}, Case{{0x00, 0x05}, 0}, Case{{0x01, 0x00}, 0}}) {
    EXPECT_EQ(CheckToneCurveBank(BuildDefaultToneCurveBank(c.version)), c.result);
  }
  Bytes bad = bank;
  bad[12303] = 'X';
  EXPECT_EQ(CheckToneCurveBank(bad), -1);
  bad = bank;
  bad[100] ^= 1;
  EXPECT_EQ(CheckToneCurveBank(bad), -2);
}

TEST(LaminationSlot, PackingOrderAndHeader) {
  Bytes pixels(16, 0);
  pixels[0] = 1;    // pixel 0 -> bit 1 of byte 0
  pixels[1] = 0xFF; // pixel 1 -> bit 0
  pixels[10] = 7;   // pixel 10 = 8 + 2 -> bit 3 of byte 1
  EXPECT_EQ(PackLaminationPixels(pixels), (Bytes{0x03, 0x08}));

  const Bytes slot = BuildLaminationSlot([](uint32_t pixel) { return pixel == 0; }, Version{0x00, 0x02});
  ASSERT_EQ(slot.size(), kLamiSlotBytes);
  EXPECT_EQ(slot[0], 0x02) << "only the first pixel set";
  EXPECT_EQ(slot[1], 0x00);
  EXPECT_EQ(GetText(slot, 1116192, 16), "MORVELAN KT-3318");
  EXPECT_EQ(GetText(slot, 1116192 + 16, 4), "0002");
  EXPECT_EQ(GetU16LE(slot, 1116192 + 20), OnesComplementSum16(slot.data(), 1116192));
  EXPECT_EQ(CheckLaminationSlot(slot), 0);
  EXPECT_EQ(CheckLaminationSlot(BuildLaminationSlot([](uint32_t) { return false; }, Version{0x00, 0x01})), -4);
  EXPECT_EQ(CheckLaminationSlot(BuildSampleLaminationSlot(Version{0x02, 0x10})), 0);
}

// The download the host sends and the slot the printer makes of it show the
// same sample pattern.
TEST(LaminationSlot, TheSampleDownloadPacksIntoTheSampleSlot) {
  const Bytes download = BuildSampleLaminationDownload();
  ASSERT_EQ(download.size(), kLamiPixels);
  EXPECT_EQ(download[0], 0xFF) << "the first square is set";
  EXPECT_EQ(download[77], 0x00);
  EXPECT_EQ(download[77 * 2464], 0x00) << "the square below the first is clear";
  EXPECT_EQ(download[77 * 2464 + 77], 0xFF);
  const Bytes slot = BuildSampleLaminationSlot(Version{0x02, 0x10});
  EXPECT_EQ(PackLaminationPixels(download), Bytes(slot.begin(), slot.begin() + kLamiPackedBytes));
}

TEST(CisCalibration, BlocksBackupAndSerial) {
  std::array<uint8_t, kCisBackupItems> items{};
  items[0] = 0x01;
  items[1] = 0x80;
  Bytes image(kCisImageBytes, 0);
  PackCisBackup(image, items);
  const Bytes expected = {0x51, 0x50, 0x52, 0x50, 0x50, 0x50, 0x50, 0x50};
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), image.begin() + 20)) << "the worked example";

  for (size_t i = 0; i < kCisBackupItems; ++i) items[i] = static_cast<uint8_t>(i * 37 + 5);
  items[113] &= 0x3F;  // only six bits of the last item travel
  PackCisBackup(image, items);
  EXPECT_EQ(UnpackCisBackup(image), items);
  for (size_t i = 20; i < 150; ++i) {
    EXPECT_GE(image[i], 0x50);
    EXPECT_LE(image[i], 0xCF);
  }

  const Bytes cis = BuildSampleCisCalibration("S1234567");
  ASSERT_EQ(cis.size(), 4928u);
  EXPECT_EQ(GetText(cis, 4920, 8), "S1234567");
  EXPECT_EQ(cis[1230 + 5], 128) << "unity gain";
  for (size_t n = 0; n < 4; ++n) {
    SCOPED_TRACE(n);
    EXPECT_EQ(GetU16LE(cis, 1230 * n + 1228), OnesComplementSum16(cis.data() + 1230 * n, 1228));
  }
  EXPECT_EQ(cis[20], 0x50) << "a backup of zeros";
}

TEST(ErrorHistory, SectorHeaderSlotAndEntries) {
  const Bytes sector = BuildErrorHistorySector({{0x0408, 0x00012345}, {0x0101, 7}}, 1, 9);
  ASSERT_EQ(sector.size(), 0x2000u);
  EXPECT_EQ(GetU16LE(sector, 0), 0x0001);
  EXPECT_EQ(sector[2], 0xFF) << "slot 0 stays erased";
  const size_t slot = 2 + 62;
  EXPECT_EQ(sector[slot], 2);
  EXPECT_EQ(sector[slot + 1], 9);
  const Bytes entry0 = {0x04, 0x08, 0x01, 0x00, 0x45, 0x23};
  EXPECT_TRUE(std::equal(entry0.begin(), entry0.end(), sector.begin() + slot + 2));
  EXPECT_EQ(sector[slot + 8], 0x01);
  EXPECT_EQ(sector[slot + 14], 0xFF) << "entry 2 empty";
  EXPECT_THROW(BuildErrorHistorySector({}, 132), std::invalid_argument);
}

}  // namespace
}  // namespace images
