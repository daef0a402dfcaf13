// The MAIN and boot images: the FirmwareInfoBlock field by field, the body
// checksum under the firmware's image rule, and the flash data every MAIN
// image carries (FPGA configuration, AMS pattern).
#include "tools/images/main_image.h"

#include <gtest/gtest.h>

#include "tools/images/ams_pattern.h"
#include "tools/images/checksums.h"
#include "tools/images/fpga_bitstream.h"

namespace images {
namespace {

TEST(MainImage, InformationBlockFields) {
  MainImageParams params;
  params.version = Version{0x01, 0x0A};
  params.createDate = "2023/12/31";
  const Bytes image = BuildMainImage(params);

  EXPECT_EQ(GetU16LE(image, 0), 64);
  EXPECT_EQ(GetText(image, 2, 8), "KT3318MN");
  EXPECT_EQ(GetText(image, 10, 16), "KT-3318 MAIN    ");
  EXPECT_EQ(GetText(image, 26, 2), "01");
  EXPECT_EQ(GetText(image, 28, 2), "0A");
  EXPECT_EQ(GetText(image, 32, 10), "2023/12/31");
  const uint32_t length = GetU16LE(image, 48) | (static_cast<uint32_t>(GetU16LE(image, 50)) << 16);
  EXPECT_EQ(length, image.size() - 64) << "the body runs to the end of the image";
  EXPECT_LE(image.size(), kMainMaxBytes);
  EXPECT_EQ(GetU16LE(image, 42), GetU16LE(image, image.size() - 2)) << "imageChecksum is the compensation word";

  const FirmwareInfo info = ReadFirmwareInfo(image);
  EXPECT_EQ(info.version.major, 0x01);
  EXPECT_EQ(info.version.minor, 0x0A);
  EXPECT_EQ(info.programLength, length);
}

TEST(MainImage, BodyFoldsToOnesUnderTheImageRule) {
  const Bytes image = BuildMainImage();
  EXPECT_EQ(ImageSumResidue(image.data() + 64, image.size() - 64), 0);
  EXPECT_EQ(CheckMainImage(image), 0);

  struct Case {
    const char* name;
    size_t offset;
    uint8_t bits;
    int result;
  };
  const Case cases[] = {
      {"model text", 16, 0x01, -2},
      {"program code", 0x1000, 0x80, -1},
      {"FPGA configuration", kMainFpgaOffset + 100, 0x01, -1},
      {"programLength beyond the area", 50, 0x40, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes bad = image;
    bad[c.offset] ^= c.bits;
    EXPECT_EQ(CheckMainImage(bad), c.result);
  }
}

TEST(MainImage, CarriesTheFpgaConfigurationAndTheAmsPattern) {
  const Bytes image = BuildMainImage();
  const uint32_t count = GetU32LE(image, kMainFpgaOffset);
  EXPECT_EQ(count, kFpgaDefaultBytes);
  const Bytes bitstream(image.begin() + kMainFpgaOffset + 4, image.begin() + kMainFpgaOffset + 4 + count);
  EXPECT_TRUE(CheckFpgaBitstream(bitstream));

  const Bytes pattern = BuildAmsPattern(SampleAmsBands());
  EXPECT_EQ(GetU32LE(image, kMainAmsOffset), pattern.size());
  EXPECT_TRUE(std::equal(pattern.begin(), pattern.end(), image.begin() + kMainAmsOffset + 4));
  EXPECT_EQ(image[kMainFpgaOffset - 1], 0xFF) << "gaps read as erased flash";
}

TEST(MainImage, BootImageHasTheFormatWithoutTheFlashData) {
  const Bytes image = BuildMainImage(BootImageParams());
  EXPECT_EQ(GetText(image, 10, 7), "KT-3318");
  EXPECT_EQ(GetText(image, 2, 8), "KT3318BT");
  EXPECT_LE(image.size(), kBootMaxBytes);
  EXPECT_EQ(CheckMainImage(image), 0);
}

TEST(MainImage, RefusesWhatDoesNotFit) {
  MainImageParams params;
  params.codeBytes = kMainFpgaOffset;  // would overwrite the FPGA configuration
  EXPECT_THROW(BuildMainImage(params), std::invalid_argument);
  params = MainImageParams{};
  params.fpgaBitstream = BuildFpgaBitstream(0x50000);  // runs into the AMS pattern
  EXPECT_THROW(BuildMainImage(params), std::invalid_argument);
}

TEST(FpgaBitstream, RegionAndIntegrity) {
  const Bytes bitstream = BuildFpgaBitstream(64, 3);
  EXPECT_EQ(GetText(bitstream, 0, 16), kFpgaMagic);
  EXPECT_EQ(GetU16LE(bitstream, 16), 3);
  EXPECT_EQ(GetU32LE(bitstream, 20), 64u);
  EXPECT_TRUE(CheckFpgaBitstream(bitstream));
  const Bytes region = BuildFpgaRegion(bitstream);
  EXPECT_EQ(GetU32LE(region, 0), 64u);
  EXPECT_TRUE(std::equal(bitstream.begin(), bitstream.end(), region.begin() + 4));

  Bytes damaged = bitstream;
  damaged[40] ^= 0x10;
  EXPECT_FALSE(CheckFpgaBitstream(damaged));
  EXPECT_FALSE(CheckFpgaBitstream(Bytes(bitstream.begin(), bitstream.end() - 2))) << "cut short";
  EXPECT_THROW(BuildFpgaBitstream(25), std::invalid_argument);
}

// The records of the firmware's own example: two bands of 5 and 3 lines.
TEST(AmsPattern, RecordsArePackedLittleEndian) {
  const Bytes b = BuildAmsPattern({{5, {{10, 10, 20, 30}, {7, 0, 0, 255}}}, {3, {{4, 255, 255, 255}}}});
  const Bytes expected = {
      0, 0, 2, 0,                    // header: band count 2
      5, 0, 0, 0, 2, 0,              // band 0: height 5, two segments
      10, 0, 10, 20, 30, 7, 0, 0, 0, 255,
      3, 0, 0, 0, 1, 0,              // band 1: height 3, one segment
      4, 0, 255, 255, 255,
  };
  EXPECT_EQ(b, expected);
  uint32_t lines = 0;
  for (const AmsBand& band : SampleAmsBands()) lines += band.height;
  EXPECT_EQ(lines, 3024u) << "the sample covers the 3024-line print size";
}

}  // namespace
}  // namespace images
