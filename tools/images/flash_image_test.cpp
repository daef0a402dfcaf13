// The composed flash image: the map's areas against the part's sectors, and
// each sample image at its flash address with the firmware's checks
// passing; the command line that writes images, packages and flash files.
#include "tools/images/flash_image.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "tools/images/checksums.h"
#include "tools/images/cis_calibration.h"
#include "tools/images/command_line.h"
#include "tools/images/dsp_image.h"
#include "tools/images/fpga_bitstream.h"
#include "tools/images/lamination_slot.h"
#include "tools/images/main_image.h"
#include "tools/images/table_image.h"
#include "tools/images/tone_curve_bank.h"
#include "tests/support/temp_dir.h"

namespace images {
namespace {

Bytes Slice(const Bytes& b, uint32_t offset, uint32_t bytes) {
  return Bytes(b.begin() + offset, b.begin() + offset + bytes);
}

TEST(FlashMap, AreasStartOnSectorsAndDoNotOverlap) {
  for (const FlashArea& a : kFlashAreas) {
    SCOPED_TRACE(a.name);
    EXPECT_EQ(SectorStart(a.offset), a.offset);
    EXPECT_EQ(SectorStart(a.offset + a.bytes - 1) + (a.offset + a.bytes >= kBootSectorsOffset ? kBootSectorBytes : kSectorBytes),
              a.offset + a.bytes)
        << "ends on a sector boundary";
    EXPECT_LE(a.offset + a.bytes, kFlashBytes);
    for (const FlashArea& b : kFlashAreas) {
      if (&a == &b) continue;
      EXPECT_TRUE(a.offset + a.bytes <= b.offset || b.offset + b.bytes <= a.offset) << b.name;
    }
  }
  // The data read from inside the MAIN area lie inside it.
  EXPECT_GT(kFpgaOffset, kAreaMain.offset);
  EXPECT_LT(kAmsPatternOffset + 4, kAreaMain.offset + kAreaMain.bytes);
  EXPECT_EQ(kAreaMain.offset + kMainFpgaOffset, kFpgaOffset);
  EXPECT_EQ(kAreaMain.offset + kMainAmsOffset, kAmsPatternOffset);
  // A lamination slot fits its 18 sectors; the CIS image its own 8 KB one.
  EXPECT_LE(kLamiSlotBytes, kAreaLamiActive.bytes);
  EXPECT_GT(kLamiSlotBytes, kAreaLamiActive.bytes - kSectorBytes);
  EXPECT_LE(kCisImageBytes, kAreaCis.bytes);
}

TEST(FlashImage, SampleContentsSitAtTheirAddresses) {
  const Bytes flash = ComposeFlash(SampleFlashContents(Version{0x02, 0x10}, "R0000042"));
  ASSERT_EQ(flash.size(), 0x800000u);

  const Bytes main = Slice(flash, kAreaMain.offset, kAreaMain.bytes);
  EXPECT_EQ(CheckMainImage(main), 0);
  EXPECT_EQ(GetText(flash, 0x0A0000 + 2, 8), "KT3318BT");
  EXPECT_EQ(GetText(flash, 0x100000 + 26, 4), "0210");
  const uint32_t fpgaCount = GetU32LE(flash, 0x2E0000);
  EXPECT_TRUE(CheckFpgaBitstream(Slice(flash, 0x2E0004, fpgaCount)));
  EXPECT_EQ(GetU16LE(flash, 0x330004 + 2), 8) << "AMS band count";

  EXPECT_EQ(CheckDspImage(Slice(flash, 0x5C0000, kDspImageBytes)), 0);
  EXPECT_EQ(GetText(flash, 0x5FFF80, 8), "KT3318DS");
  EXPECT_EQ(CheckTableImage(Slice(flash, 0x600000, kTableAreaBytes)), 0);
  EXPECT_EQ(CheckToneCurveBank(Slice(flash, 0x360000, kToneBankBytes)), 0);
  EXPECT_EQ(flash[0x370000], 0xFF) << "the other bank erased";
  EXPECT_EQ(CheckLaminationSlot(Slice(flash, 0x380000, kLamiSlotBytes)), 0);
  EXPECT_EQ(CheckLaminationSlot(Slice(flash, 0x4A0000, kLamiSlotBytes)), 0);
  EXPECT_EQ(GetText(flash, 0x7F1338, 8), "R0000042");
  EXPECT_EQ(GetU16LE(flash, 0x7F0000 + 1228), OnesComplementSum16(flash.data() + 0x7F0000, 1228));
  for (uint32_t erased : {0x000000u, 0x09FFFFu, 0x7F4000u, 0x7F6000u, 0x7FFFFFu, 0x340000u}) {
    EXPECT_EQ(flash[erased], 0xFF) << std::hex << erased;
  }
}

TEST(FlashImage, AnImageLargerThanItsAreaIsRefused) {
  FlashContents c;
  c.dsp = Bytes(kAreaDsp.bytes + 1, 0);
  EXPECT_THROW(ComposeFlash(c), std::invalid_argument);
}

// ---- the command line ---------------------------------------------------------

std::string TempDir() { return testsupport::MakeTempDir("bom-images"); }

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int RunTool(std::vector<std::string> args, std::string* pErr = nullptr) {
  std::ostringstream out;
  std::ostringstream err;
  const int code = RunImagesCommand(args, out, err);
  if (pErr != nullptr) *pErr = err.str();
  return code;
}

TEST(ImagesCommand, PackageHoldsTheThreeFilesAndTheUpdaterIni) {
  const std::string dir = TempDir() + "/pkg";
  ASSERT_EQ(RunTool({"package", dir, "--version", "03.4F", "--wait-ms", "500"}), 0);
  const Bytes main = ReadFile(dir + "/MAIN.BIN");
  EXPECT_EQ(CheckMainImage(main), 0);
  EXPECT_EQ(GetText(main, 26, 4), "034F");
  EXPECT_EQ(CheckDspImage(ReadFile(dir + "/DSP.BIN")), 0);
  const Bytes table = ReadFile(dir + "/TABLE.BIN");
  EXPECT_EQ(CheckTableImage(table), 0);
  EXPECT_EQ(table[26], 0x03);
  EXPECT_EQ(table[28], 0x4F);
  const Bytes ini = ReadFile(dir + "/update.ini");
  EXPECT_EQ(std::string(ini.begin(), ini.end()),
            "[MAIN]\nFILEPATH=MAIN.BIN\n[DSP]\nFILEPATH=DSP.BIN\n[TABLE]\nFILEPATH=TABLE.BIN\n[TIME]\n"
            "MAIN_WAIT_TIME=500\nDSP_WAIT_TIME=500\nTABLE_WAIT_TIME=500\nDISP_WAIT_TIME=500\n");
}

TEST(ImagesCommand, FlashTakesGivenImagesOrSamples) {
  const std::string dir = TempDir();
  ASSERT_EQ(RunTool({"main", dir + "/main.bin", "--version", "01.02", "--fpga-bytes", "128"}), 0);
  ASSERT_EQ(RunTool({"flash", dir + "/flash.bin", "--main", dir + "/main.bin", "--no-lamination", "--cis-serial", "ABCDEFGH"}), 0);
  const Bytes flash = ReadFile(dir + "/flash.bin");
  ASSERT_EQ(flash.size(), 0x800000u);
  EXPECT_EQ(GetText(flash, 0x100000 + 26, 4), "0102");
  EXPECT_EQ(GetU32LE(flash, 0x2E0000), 128u);
  EXPECT_EQ(GetText(flash, 0x0A0000 + 26, 4), "0210") << "the other images are the default version's samples";
  EXPECT_EQ(flash[0x380000 + kLamiPackedBytes], 0xFF) << "no lamination slot";
  EXPECT_EQ(GetText(flash, 0x7F1338, 8), "ABCDEFGH");

  ASSERT_EQ(RunTool({"fpga", dir + "/fpga.bin", "--fpga-bytes", "64"}), 0);
  EXPECT_EQ(ReadFile(dir + "/fpga.bin").size(), 68u);
}

TEST(ImagesCommand, LaminationWritesTheSampleDownload) {
  const std::string dir = TempDir();
  ASSERT_EQ(RunTool({"lamination", dir + "/lami.bin"}), 0);
  EXPECT_EQ(ReadFile(dir + "/lami.bin"), BuildSampleLaminationDownload());
}

TEST(ImagesCommand, UsageErrors) {
  struct Case {
    std::vector<std::string> args;
    int code;
  };
  const std::string dir = TempDir();
  const Case cases[] = {
      {{}, 2},
      {{"main"}, 2},
      {{"mystery", dir + "/x"}, 2},
      {{"main", dir + "/x", "--version", "2.10"}, 2},
      {{"main", dir + "/x", "--bogus"}, 2},
      {{"main", dir + "/x", "--date"}, 2},
      {{"flash", dir + "/x", "--main", dir + "/missing.bin"}, 1},
      {{"main", dir + "/no/such/dir/x"}, 1},
      {{"main", dir + "/x", "--fpga-bytes", "3"}, 1},
  };
  for (const Case& c : cases) {
    std::string err;
    EXPECT_EQ(RunTool(c.args, &err), c.code) << err;
    EXPECT_FALSE(err.empty());
  }
}

}  // namespace
}  // namespace images
