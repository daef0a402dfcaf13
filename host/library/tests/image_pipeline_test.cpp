// The image pipeline: mode choice, the 3x3 filter against a reference
// written from its formula, the channel swap and tables, colour matching
// end to end through the staged send, and worlds that do not fit the
// image.
#include <algorithm>
#include <array>

#include "image_test_support.h"

namespace hostlib_test {
namespace {

using hostlib::kModeColorMatch;
using hostlib::kModeFilter;
using hostlib::kModePlain;
using hostlib::kModeTables;

using ImagePipelineTest = ImageTest;

std::array<uint8_t, 256> Inverted() {
  std::array<uint8_t, 256> table{};
  for (int i = 0; i < 256; ++i) table[i] = static_cast<uint8_t>(255 - i);
  return table;
}

TEST_F(ImagePipelineTest, ChooseModeFollowsTablesWorldAndFilter) {
  struct Case {
    bool secondSetChanged;
    bool firstSetChanged;
    bool world;
    bool filter;
    uint16_t width;
    uint32_t mode;
  };
  const Case cases[] = {
      {false, false, false, false, 4096, kModePlain},      {true, false, false, false, 4096, kModeTables},
      {false, true, false, false, 4096, kModePlain},       {false, false, true, false, 4096, kModeColorMatch},
      {true, false, true, false, 4096, kModeColorMatch},   {false, false, false, true, 4096, kModeFilter},
      {true, true, true, true, 4096, kModeFilter},         {false, false, false, true, 4097, kModePlain},
      {true, false, true, true, 4097, kModeColorMatch},    {true, false, false, true, 4097, kModeTables},
  };
  const std::array<uint8_t, 256> inverted = Inverted();
  const int32_t cross[9] = {0, -10, 0, -10, 140, -10, 0, -10, 0};
  for (const Case &c : cases) {
    SCOPED_TRACE(::testing::Message() << "second " << c.secondSetChanged << " first " << c.firstSetChanged
                                      << " world " << c.world << " filter " << c.filter << " width " << c.width);
    const uint8_t *tables[6] = {c.firstSetChanged ? inverted.data() : nullptr, nullptr, nullptr,
                                c.secondSetChanged ? inverted.data() : nullptr, nullptr, nullptr};
    Job().components = 3;
    uint16_t err = 0xFFFF;
    const std::string source = ProfilePath("srgb.icc");
    const std::string dest = ProfilePath("printer_rgb.icc");
    ASSERT_EQ(Session().SetColorProfiles(c.world ? source.c_str() : nullptr, c.world ? dest.c_str() : nullptr, 0,
                                         tables, &err),
              1);
    ASSERT_EQ(err, RESULT_OK);
    Session().SetFilter(c.filter ? cross : nullptr);
    Job().width = c.width;
    Pipeline().ChooseMode(&Job().firstSetActive, &Job().secondSetActive);
    EXPECT_EQ(Pipeline().Mode(), c.mode);
    EXPECT_EQ(Job().firstSetActive, c.firstSetChanged ? 1u : 0u);
    EXPECT_EQ(Job().secondSetActive, c.secondSetChanged ? 1u : 0u);
  }
}

TEST_F(ImagePipelineTest, SetFilterSwitchesOnlyForAKernelThatChangesSomething) {
  struct Case {
    const char *what;
    std::array<int32_t, 9> kernel;
    bool null;
    uint32_t on;
    uint32_t mask;
  };
  const Case cases[] = {
      {"null", {}, true, 0, 0},
      {"unity", {0, 0, 0, 0, 100, 0, 0, 0, 0}, false, 0, 0x010},
      {"centre only, not unity", {0, 0, 0, 0, 120, 0, 0, 0, 0}, false, 1, 0x010},
      {"cross", {0, -10, 0, -10, 140, -10, 0, -10, 0}, false, 1, 0x0BA},
      {"corners", {1, 0, 2, 0, 100, 0, 3, 0, 4}, false, 1, 0x155},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Session().SetFilter(c.null ? nullptr : c.kernel.data());
    EXPECT_EQ(Job().filterOn, c.on);
    EXPECT_EQ(Job().filterMask, c.mask);
    const std::array<int32_t, 9> unity = {0, 0, 0, 0, 100, 0, 0, 0, 0};
    EXPECT_TRUE(std::equal(unity.begin(), unity.end(), Job().filter) || c.on == 1);
    if (c.on == 1) {
      EXPECT_TRUE(std::equal(c.kernel.begin(), c.kernel.end(), Job().filter));
    }
  }
}

// The filter's formula: each output channel from its input channel (2, 1, 0,
// 3 when swapped), the nine neighbours weighted, white (255) outside the
// image, the sum divided by 100 toward zero and clamped.
std::vector<uint8_t> ReferenceFilter(const std::vector<uint8_t> &image, int width, int height, int components,
                                     const std::array<int32_t, 9> &k, bool swapped) {
  std::vector<uint8_t> out(image.size());
  auto at = [&](int x, int y, int channel) -> int64_t {
    if (x < 0 || y < 0 || x >= width || y >= height) return 255;
    return image[(static_cast<size_t>(y) * width + x) * components + channel];
  };
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      for (int c = 0; c < components; ++c) {
        const int channel = swapped && components >= 3 && c < 3 ? 2 - c : c;
        int64_t sum = 0;
        for (int dy = -1; dy <= 1; ++dy) {
          for (int dx = -1; dx <= 1; ++dx) sum += k[(dy + 1) * 3 + dx + 1] * at(x + dx, y + dy, channel);
        }
        out[(static_cast<size_t>(y) * width + x) * components + c] =
            static_cast<uint8_t>(std::clamp<int64_t>(sum / 100, 0, 255));
      }
    }
  }
  return out;
}

// Runs an image through the filter in strips of `stripRows` rows.
int FilterImage(hostlib::ImagePipeline &pipeline, std::vector<uint8_t> image, uint32_t rowBytes,
                uint32_t stripRows, bool swapped, uint16_t *err) {
  for (size_t at = 0; at < image.size(); at += stripRows * rowBytes) {
    uint32_t length = static_cast<uint32_t>(std::min<size_t>(stripRows * rowBytes, image.size() - at));
    if (!pipeline.ConvertStrip(image.data() + at, &length, err, swapped ? 1 : 0)) return 0;
  }
  return 1;
}

TEST_F(ImagePipelineTest, FilterEqualsItsFormulaOnRandomImages) {
  CaptureOutput();
  const std::array<int32_t, 9> kernels[] = {
      {0, -10, 0, -10, 140, -10, 0, -10, 0},   // the cross: five taps
      {-5, -10, -5, -10, 160, -10, -5, -10, -5},  // all nine
      {10, 10, 10, 10, 20, 10, 10, 10, 10},    // softening
  };
  struct Shape {
    uint16_t components;
    uint16_t type;
  };
  const Shape shapes[] = {{1, 1}, {3, 3}, {3, 4}, {4, 3}, {4, 4}};
  for (const auto &kernel : kernels) {
    for (const Shape &shape : shapes) {
      SCOPED_TRACE(::testing::Message() << "kernel " << kernel[0] << "," << kernel[1] << " components "
                                        << shape.components << " type " << shape.type);
      constexpr uint16_t kWidth = 64;
      constexpr uint16_t kHeight = 40;
      SetImage(kWidth, kHeight, shape.components, shape.type);
      Session().SetFilter(kernel.data());
      Pipeline().ChooseMode(&Job().firstSetActive, &Job().secondSetActive);
      ASSERT_EQ(Pipeline().Mode(), kModeFilter);
      const std::vector<uint8_t> image = TestBytes(static_cast<size_t>(kWidth) * kHeight * shape.components, 40);
      sent.clear();
      uint16_t err = 0xFFFF;
      // Strips of 7 rows: the rows around a strip's edge come from two strips.
      ASSERT_EQ(FilterImage(Pipeline(), image, Job().RowBytes(), 7, shape.type == 4, &err), 1);
      EXPECT_EQ(err, RESULT_OK);
      EXPECT_EQ(Job().rowsConverted, kHeight);
      EXPECT_EQ(AllSent(), ReferenceFilter(image, kWidth, kHeight, shape.components, kernel, shape.type == 4));
    }
  }
}

TEST_F(ImagePipelineTest, FilterFlatAreasImpulsesEdgesAndClamps) {
  CaptureOutput();
  struct Case {
    const char *what;
    std::array<int32_t, 9> kernel;
    uint16_t width, height;
    std::vector<uint8_t> image;  // one component
    std::vector<uint8_t> expected;
  };
  std::vector<uint8_t> flat(5 * 5, 100);
  std::vector<uint8_t> impulse(5 * 5, 0);
  impulse[12] = 100;
  const Case cases[] = {
      // Inside, a flat area keeps its value; at the border the white
      // outside darkens nothing, it lightens: 140 - 10 x (100 + 255 ...).
      {"cross on a flat area", {0, -10, 0, -10, 140, -10, 0, -10, 0}, 5, 5, flat,
       {0,   0,   0,   0, 0,    //
        0, 100, 100, 100, 0,    //
        0, 100, 100, 100, 0,    //
        0, 100, 100, 100, 0,    //
        0,   0,   0,   0, 0}},
      // The impulse spreads into the kernel turned by half a turn; the
      // edges read white.
      {"impulse", {1, 2, 3, 4, 5, 6, 7, 8, 9}, 5, 5, impulse,
       {0, 0, 0, 0, 0,  //
        0, 9, 8, 7, 0,  //
        0, 6, 5, 4, 0,  //
        0, 3, 2, 1, 0,  //
        0, 0, 0, 0, 0}},
      // A lone pixel has white all round: (10 x v + 80 x 255) / 100.
      {"white around a single pixel", {10, 10, 10, 10, 10, 10, 10, 10, 10}, 1, 1, {0}, {204}},
      {"truncated, not rounded", {0, 0, 0, 0, 299, 0, 0, 0, 0}, 1, 1, {1}, {2}},
      {"clamped at 255", {0, 0, 0, 0, 300, 0, 0, 0, 0}, 1, 1, {200}, {255}},
      {"clamped at 0", {0, -10, 0, -10, 140, -10, 0, -10, 0}, 1, 1, {0}, {0}},
      // A coefficient as large as a kernel file can give: the sum must not
      // wrap round to a negative value.
      {"the largest coefficient", {0, 0, 0, 0, 2147483647, 0, 0, 0, 0}, 1, 1, {255}, {255}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    SetImage(c.width, c.height, 1, 1);
    Session().SetFilter(c.kernel.data());
    Pipeline().ChooseMode(&Job().firstSetActive, &Job().secondSetActive);
    sent.clear();
    uint16_t err = 0xFFFF;
    ASSERT_EQ(FilterImage(Pipeline(), c.image, c.width, c.height, false, &err), 1);
    std::vector<uint8_t> got = AllSent();
    if (c.width == 5) {
      // The outer ring mixes in the white border; only the inside matters.
      for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 5; ++x) {
          if (x == 0 || y == 0 || x == 4 || y == 4) got[static_cast<size_t>(y * 5 + x)] = 0;
        }
      }
    }
    EXPECT_EQ(got, c.expected);
  }
}

TEST_F(ImagePipelineTest, FilterSendsOneRowPerImageRowInFullBlocks) {
  CaptureOutput();
  // 8196 bytes a row: ten rows fill the 81960-byte block exactly.
  constexpr uint16_t kWidth = 2732;
  constexpr uint16_t kHeight = 25;
  SetImage(kWidth, kHeight, 3, 3);
  const int32_t cross[9] = {0, -10, 0, -10, 140, -10, 0, -10, 0};
  Session().SetFilter(cross);
  Pipeline().ChooseMode(&Job().firstSetActive, &Job().secondSetActive);
  const std::vector<uint8_t> image = TestBytes(size_t{kWidth} * 3 * kHeight, 5);
  uint16_t err = 0;
  ASSERT_EQ(FilterImage(Pipeline(), image, Job().RowBytes(), hostlib::RowsPerStrip(Job().RowBytes()), false, &err), 1);
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0].size(), hostlib::kFilterOutputBlockSize);
  EXPECT_EQ(sent[1].size(), hostlib::kFilterOutputBlockSize);
  EXPECT_EQ(sent[2].size(), 5u * 8196u);
}

TEST_F(ImagePipelineTest, FilterRefusesShapesItCannotHold) {
  CaptureOutput();
  struct Case {
    uint16_t width;
    uint16_t components;
  };
  const Case cases[] = {{0, 3}, {4097, 3}, {16, 2}};
  const int32_t cross[9] = {0, -10, 0, -10, 140, -10, 0, -10, 0};
  for (const Case &c : cases) {
    SCOPED_TRACE(::testing::Message() << "width " << c.width << " components " << c.components);
    SetImage(16, 2, 3, 3);
    Session().SetFilter(cross);
    Pipeline().ChooseMode(&Job().firstSetActive, &Job().secondSetActive);
    ASSERT_EQ(Pipeline().Mode(), kModeFilter);
    Job().width = c.width;
    Job().components = c.components;
    std::vector<uint8_t> strip(16 * 3 * 2, 7);
    uint32_t length = static_cast<uint32_t>(strip.size());
    uint16_t err = 0;
    EXPECT_EQ(Pipeline().ConvertStrip(strip.data(), &length, &err, 0), 0);
    EXPECT_EQ(err, RESULT_BAD_PARAMETER);
    EXPECT_TRUE(sent.empty());
  }
}

TEST_F(ImagePipelineTest, SwapAndChannelTables) {
  uint8_t pixels[] = {1, 2, 3, 4, 5, 6};
  hostlib::SwapRgbBgr(pixels, 2);
  EXPECT_EQ(std::vector<uint8_t>(pixels, pixels + 6), (std::vector<uint8_t>{3, 2, 1, 6, 5, 4}));

  // Table 0 adds 10, table 1 adds 20, table 2 adds 30.
  hostlib::LutSet set;
  for (int t = 0; t < 3; ++t) {
    for (int i = 0; i < 256; ++i) set[t][i] = static_cast<uint8_t>(i + 10 * (t + 1));
  }
  struct Case {
    uint16_t components;
    uint32_t swapped;
    std::vector<uint8_t> in;
    std::vector<uint8_t> out;
  };
  const Case cases[] = {
      {3, 0, {1, 2, 3, 4, 5, 6}, {11, 22, 33, 14, 25, 36}},
      {3, 1, {1, 2, 3, 4, 5, 6}, {13, 22, 31, 16, 25, 34}},
      {4, 0, {1, 2, 3, 9, 4, 5, 6, 8}, {11, 22, 33, 9, 14, 25, 36, 8}},
      {4, 1, {1, 2, 3, 9, 4, 5, 6, 8}, {13, 22, 31, 9, 16, 25, 34, 8}},
      {1, 0, {1, 2}, {1, 2}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(::testing::Message() << "components " << c.components << " swapped " << c.swapped);
    const uint32_t count = static_cast<uint32_t>(c.in.size() / c.components);
    std::vector<uint8_t> out(c.in.size(), 0);
    hostlib::ApplyChannelLut(out.data(), c.in.data(), c.components, count, set, c.swapped);
    EXPECT_EQ(out, c.out);
    std::vector<uint8_t> inPlace = c.in;
    hostlib::ApplyChannelLut(inPlace.data(), inPlace.data(), c.components, count, set, c.swapped);
    EXPECT_EQ(inPlace, c.out);
  }
}

TEST_F(ImagePipelineTest, TablesModeAndPlainModeSendTheConvertedStrip) {
  CaptureOutput();
  const std::array<uint8_t, 256> inverted = Inverted();
  const uint8_t *tables[6] = {nullptr, nullptr, nullptr, inverted.data(), nullptr, nullptr};
  SetImage(2, 1, 3, 4);
  uint16_t err = 0;
  ASSERT_EQ(Session().SetColorProfiles(nullptr, nullptr, 0, tables, &err), 1);
  Pipeline().ChooseMode(&Job().firstSetActive, &Job().secondSetActive);
  ASSERT_EQ(Pipeline().Mode(), kModeTables);
  std::vector<uint8_t> strip = {1, 2, 3, 4, 5, 6};
  uint32_t length = 6;
  ASSERT_EQ(Pipeline().ConvertStrip(strip.data(), &length, &err, 1), 1);
  ASSERT_EQ(Session().SetColorProfiles(nullptr, nullptr, 0, nullptr, &err), 1);
  Pipeline().ChooseMode(&Job().firstSetActive, &Job().secondSetActive);
  ASSERT_EQ(Pipeline().Mode(), kModePlain);
  strip = {1, 2, 3, 4, 5, 6};
  ASSERT_EQ(Pipeline().ConvertStrip(strip.data(), &length, &err, 1), 1);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0], (std::vector<uint8_t>{252, 2, 1, 249, 5, 4}));  // swapped through the tables
  EXPECT_EQ(sent[1], (std::vector<uint8_t>{3, 2, 1, 6, 5, 4}));
  EXPECT_EQ(Job().rowsConverted, 2u);
}

// A BGR page through colour matching, strip by strip as the print path
// cuts it, into the fake printer: it receives lcms2's transform of the
// page turned to RGB.
TEST_F(ImagePipelineTest, ColourMatchingEndToEndThroughTheStagedSend) {
  constexpr uint16_t kWidth = 2464;
  constexpr uint16_t kHeight = 100;
  SetImage(kWidth, kHeight, 3, hostlib::kImageTypeBgr);
  uint16_t err = 0;
  const std::string source = ProfilePath("srgb.icc");
  const std::string dest = ProfilePath("printer_rgb.icc");
  ASSERT_EQ(Session().SetColorProfiles(source.c_str(), dest.c_str(), 1, nullptr, &err), 1);
  EXPECT_EQ(Session().ColorMatch().rgbToRgb, 1u);
  Pipeline().ChooseMode(&Job().firstSetActive, &Job().secondSetActive);
  ASSERT_EQ(Pipeline().Mode(), kModeColorMatch);
  Session().BeginImageData();

  const std::vector<uint8_t> page = TestBytes(size_t{kWidth} * 3 * kHeight, 2464);
  const size_t before = usbctrl_double::Written(0).size();
  const uint32_t rowBytes = Job().RowBytes();
  const uint32_t stripRows = hostlib::RowsPerStrip(rowBytes);
  EXPECT_EQ(stripRows, 17u);
  std::vector<uint8_t> strip;
  for (uint32_t row = 0; row < kHeight; row += stripRows) {
    const uint32_t rows = std::min<uint32_t>(stripRows, kHeight - row);
    strip.assign(page.begin() + row * rowBytes, page.begin() + (row + rows) * rowBytes);
    uint32_t length = rows * rowBytes;
    ASSERT_EQ(Pipeline().ConvertStrip(strip.data(), &length, &err, 1), 1) << "row " << row;
  }
  EXPECT_EQ(Job().rowsConverted, kHeight);
  EXPECT_EQ(Job().bytesStaged, Job().imageBytes);

  std::vector<uint8_t> rgb = page;
  for (size_t i = 0; i < rgb.size(); i += 3) std::swap(rgb[i], rgb[i + 2]);
  const std::vector<uint8_t> expected =
      LcmsTransform("srgb.icc", "printer_rgb.icc", TYPE_RGB_8, TYPE_RGB_8, 3, 1, rgb, size_t{kWidth} * kHeight);
  std::vector<uint8_t> received;
  for (const auto &write : WritesFrom(before)) {
    EXPECT_LE(write.size(), hostlib::kStagingCapacity);
    received.insert(received.end(), write.begin(), write.end());
  }
  EXPECT_EQ(received.size(), expected.size());
  EXPECT_TRUE(received == expected);
}

// A colour world made while the image had one component (grey to CMYK)
// must not convert a three-component strip in place: its four-component
// output would run past the strip. The strip is neither converted nor sent.
TEST_F(ImagePipelineTest, WorldThatDoesNotFitTheImageIsNotUsed) {
  CaptureOutput();
  struct Case {
    const char *what;
    const char *source;
    const char *destination;
    uint16_t worldComponents;
    bool filter;
  };
  const Case cases[] = {
      {"grey to CMYK, then RGB", "gray.icc", "printer_cmyk.icc", 1, false},
      {"grey to RGB, then RGB", "gray.icc", "srgb.icc", 1, false},
      {"grey to CMYK, then RGB through the filter", "gray.icc", "printer_cmyk.icc", 1, true},
  };
  const int32_t cross[9] = {0, -10, 0, -10, 140, -10, 0, -10, 0};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    sent.clear();
    SetImage(8, 4, c.worldComponents, 1);
    uint16_t err = 0;
    const std::string source = ProfilePath(c.source);
    const std::string dest = ProfilePath(c.destination);
    ASSERT_EQ(Session().SetColorProfiles(source.c_str(), dest.c_str(), 0, nullptr, &err), 1);
    SetImage(8, 4, 3, 3);
    Session().SetFilter(c.filter ? cross : nullptr);
    Pipeline().ChooseMode(&Job().firstSetActive, &Job().secondSetActive);
    // The strip sits in a larger buffer whose tail must stay untouched.
    std::vector<uint8_t> buffer(8 * 3 * 4 + 64, 0x5A);
    uint32_t length = 8 * 3 * 4;
    EXPECT_EQ(Pipeline().ConvertStrip(buffer.data(), &length, &err, 0), 0);
    EXPECT_EQ(err, RESULT_USB_ERROR);
    EXPECT_TRUE(sent.empty());
    EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](uint8_t b) { return b == 0x5A; }));
  }
}

}  // namespace
}  // namespace hostlib_test
