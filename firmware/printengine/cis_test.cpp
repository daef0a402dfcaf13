// The CIS arithmetic: the trimmed mean of eight samples, the gradient
// filter on a step, on a line that never changes by 1 or more and with two
// equal steepest runs, the head point's worked example, the calibration
// gains and the packed EEPROM backup (against the image tools' packer).
#include "firmware/printengine/cis.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

#include "tools/images/cis_calibration.h"

namespace {

TEST(CisTrimMean, DropsTheTwoLowestAndTwoHighestAndShiftsTheSum) {
  struct Case {
    std::array<uint8_t, 8> samples;
    uint8_t mean;
  };
  const Case kCases[] = {
      {{5, 5, 5, 5, 5, 5, 5, 5}, 5},
      {{0, 255, 10, 11, 12, 13, 255, 0}, 11},     // (10 + 11 + 12 + 13) / 4
      {{255, 255, 255, 255, 255, 255, 255, 255}, 255},  // the sum needs 10 bits
      {{8, 7, 6, 5, 4, 3, 2, 1}, 4},              // 18 / 4, truncated
  };
  for (const Case& c : kCases) {
    std::array<uint8_t, 8> s = c.samples;
    EXPECT_EQ(CCis::TrimMean8(s.data()), c.mean);
    for (size_t i = 1; i < s.size(); ++i) EXPECT_LE(s[i - 1], s[i]) << "sorted in place";
  }
}

std::vector<double> Filter(const std::vector<uint8_t>& line) {
  std::vector<double> out(CIS_PIXELS, 99.0);
  CCis::FilterLine(line.data(), out.data());
  return out;
}

TEST(CisFilter, AStepRampsOverNinePixelsFromFiveBeforeIt) {
  std::vector<uint8_t> line(CIS_PIXELS, 59);
  for (uint32_t p = 100; p < CIS_PIXELS; ++p) line[p] = 131;
  const std::vector<double> out = Filter(line);
  for (uint32_t p = 0; p < CIS_PIXELS; ++p) {
    const bool bRamp = p >= 95 && p <= 103;
    EXPECT_EQ(out[p], bRamp ? -8.0 : 0.0) << p;
  }
}

TEST(CisFilter, DifferencesBelowOneAreFlatAndOnlyPixels26To312Count) {
  // A slow ramp: one step of 1 every 20 pixels moves the means by 1/9.
  std::vector<uint8_t> line(CIS_PIXELS);
  for (uint32_t p = 0; p < CIS_PIXELS; ++p) line[p] = static_cast<uint8_t>(p / 20);
  for (const double d : Filter(line)) EXPECT_EQ(d, 0.0);
  // Steps outside the filtered pixels leave no trace either.
  std::vector<uint8_t> edges(CIS_PIXELS, 59);
  for (uint32_t p = 0; p < 14; ++p) edges[p] = 200;
  for (uint32_t p = 330; p < CIS_PIXELS; ++p) edges[p] = 200;
  for (const double d : Filter(edges)) EXPECT_EQ(d, 0.0);
}

TEST(CisFilter, TwoEqualStepsGiveEqualMinimaTheSearchTakesTheLower) {
  std::vector<uint8_t> line(CIS_PIXELS, 59);
  for (uint32_t p = 60; p < 120; ++p) line[p] = 131;
  for (uint32_t p = 120; p < 180; ++p) line[p] = 59;
  for (uint32_t p = 180; p < CIS_PIXELS; ++p) line[p] = 131;
  const std::vector<double> out = Filter(line);
  EXPECT_EQ(out[55], -8.0);
  EXPECT_EQ(out[175], -8.0);
  double dMin = 0.0;
  uint32_t ulFirst = 0;
  for (uint32_t p = 20; p <= 319; ++p) {
    if (out[p] < dMin) {
      dMin = out[p];
      ulFirst = p;
    }
  }
  EXPECT_EQ(ulFirst, 55u);
  EXPECT_EQ(out[115], 8.0) << "darker again: positive";
}

CCis s_cis;

TEST(CisHeadPoint, TheWorkedExample) {
  // Unit A/L: skew -10 / 2260, 110 - 5.0 = 105.
  ASSERT_EQ(s_cis.CalcHeadPointPaperEdge(0, 100, 110, 2260), 0);
  uint32_t ulHead = 0;
  ASSERT_EQ(s_cis.GetHeadPointPaperEdge(0, &ulHead), 0);
  EXPECT_EQ(ulHead, 105u);
  EXPECT_DOUBLE_EQ(s_cis.GetSkew(0), -10.0 / 2260.0);
}

TEST(CisCalibrationGain, SixteenThousandThreeHundredEightyFourOverTheReading) {
  struct Case {
    uint8_t reading;
    uint8_t gain;
  };
  const Case kCases[] = {{0, 1}, {1, 1}, {64, 1}, {65, 252}, {128, 128}, {139, 117}, {255, 64}};
  for (const Case& c : kCases) EXPECT_EQ(CCis::GainFor(c.reading), c.gain) << int(c.reading);
}

TEST(CisBackup, TheWorkedExample) {
  std::array<uint16_t, CIS_BACKUP_ITEMS> items{};
  items[0] = 0x01;
  items[1] = 0x80;
  std::vector<uint8_t> image(CIS_CALIB_IMAGE_BYTES, 0);
  CisPackBackup(items.data(), image.data());
  const std::vector<uint8_t> expected = {0x51, 0x50, 0x52, 0x50, 0x50, 0x50, 0x50, 0x50};
  EXPECT_EQ(std::vector<uint8_t>(image.begin() + 20, image.begin() + 28), expected);
  EXPECT_EQ(image[19], 0) << "nothing before byte 20";
  EXPECT_EQ(image[150], 0) << "nothing after byte 149";
}

TEST(CisBackup, ItemsRoundTripAndAgreeWithTheImageTools) {
  std::mt19937 random(42);
  for (int round = 0; round < 50; ++round) {
    std::array<uint16_t, CIS_BACKUP_ITEMS> items{};
    std::array<uint8_t, images::kCisBackupItems> toolItems{};
    for (uint32_t i = 0; i < CIS_BACKUP_ITEMS; ++i) {
      // Extremes in the first rounds, then random bytes.
      items[i] = static_cast<uint16_t>(round == 0 ? 0xFF : round == 1 ? 0 : random() & 0xFF);
      toolItems[i] = static_cast<uint8_t>(items[i]);
    }
    std::vector<uint8_t> image(CIS_CALIB_IMAGE_BYTES, 0);
    CisPackBackup(items.data(), image.data());
    for (uint32_t b = 20; b <= 149; ++b) {
      ASSERT_GE(image[b], 0x50) << b;
      ASSERT_LE(image[b], 0xCF) << b;
    }
    images::Bytes toolImage(images::kCisImageBytes, 0);
    images::PackCisBackup(toolImage, toolItems);
    ASSERT_TRUE(std::equal(image.begin(), image.end(), toolImage.begin())) << "round " << round;
    std::array<uint16_t, CIS_BACKUP_ITEMS> back{};
    CisUnpackBackup(image.data(), back.data());
    for (uint32_t i = 0; i < 113; ++i) ASSERT_EQ(back[i], items[i]) << i;
    EXPECT_EQ(back[113], items[113] % 64);
  }
}

}  // namespace
