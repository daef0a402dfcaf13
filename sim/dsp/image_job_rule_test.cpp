// The stand-in's image rule: which source bytes make which destination
// pixel, for host pictures, internal planes with and without row tables,
// and the copy mode.
#include "sim/dsp/image_job_rule.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <vector>

#include "tests/support/test_images.h"

namespace sim {
namespace {

// A sparse RAM of a few areas, by base address.
class Ram {
 public:
  void Put(uint32_t base, std::vector<uint8_t> bytes) { m_areas[base] = std::move(bytes); }
  image_job::RamReader Reader() const {
    return [this](uint32_t addr, uint32_t bytes) -> const uint8_t* {
      for (const auto& [base, area] : m_areas) {
        if (addr >= base && addr - base + bytes <= area.size()) return area.data() + (addr - base);
      }
      return nullptr;
    };
  }

 private:
  std::map<uint32_t, std::vector<uint8_t>> m_areas;
};

std::vector<uint8_t> Row(const ImageJobWords& w, uint32_t line, const Ram& ram) {
  std::vector<uint8_t> out(w.printWidth, 0xAA);
  image_job::ComputeRow(w, line, ram.Reader(), out.data());
  return out;
}

constexpr uint32_t kHost = 0xC1000000u;
constexpr uint32_t kPlanes = 0xC2000000u;

ImageJobWords HostWords(uint16_t width, uint16_t height) {
  ImageJobWords w;
  w.mode = image_job::kModeProcess;
  w.sourceWidth = width;
  w.sourceHeight = height;
  w.printWidth = width;
  w.totalLines = height;
  w.sources[0] = w.sources[1] = w.sources[2] = kHost;
  return w;
}

// Interleaved host pixels: 255 minus the mean of B, G, R, bits 3-4 cleared.
TEST(ImageJobRule, AHostPixelIsItsMeanDensityWithoutTheOverlayBits) {
  struct Case {
    const char* what;
    uint8_t r, g, b;
    uint8_t pixel;
  };
  const Case cases[] = {
      {"white", 255, 255, 255, 0},
      {"black", 0, 0, 0, 255 & ~0x18},
      {"yellow: 85", 255, 255, 0, 0x45},
      {"red: 170", 255, 0, 0, 0xA2},
      {"a mean rounded down: 255", 1, 1, 0, 0xE7},
      {"grey 200: 55", 200, 200, 200, 0x27},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testsupport::TestImage picture(4, 2);
    picture.Set(2, 1, c.r, c.g, c.b);
    Ram ram;
    ram.Put(kHost, picture.bytes);
    const ImageJobWords w = HostWords(4, 2);
    const std::vector<uint8_t> row = Row(w, 1, ram);
    EXPECT_EQ(row[2], c.pixel);
    EXPECT_EQ(row[0], 0) << "white around it";
    EXPECT_EQ(Row(w, 0, ram)[2], 0) << "row 0 is white";
  }
}

// Three planes: the mean of the Y, M and C levels; a plane with its flag
// takes the row its table names; without a flag, the line's own row.
TEST(ImageJobRule, InternalPlanesTakeTheMeanThroughTheirRowTables) {
  constexpr uint16_t kW = 3, kH = 4;
  // Plane p, row r, pixel x: 30 p + 100 + r (x ignored), except pixel 2: 0.
  std::vector<uint8_t> planes(3u * kW * kH);
  for (uint32_t p = 0; p < 3; ++p) {
    for (uint32_t r = 0; r < kH; ++r) {
      for (uint32_t x = 0; x < kW; ++x) planes[(p * kH + r) * kW + x] = x == 2 ? 0 : static_cast<uint8_t>(30 * p + 100 + r);
    }
  }
  Ram ram;
  ram.Put(kPlanes, planes);
  // Row tables: Y reverses the rows, M takes row 0 always, C (flag 0) unused.
  ram.Put(image_job::kRowTables[0], {3, 0, 2, 0, 1, 0, 0, 0});
  ram.Put(image_job::kRowTables[1], {0, 0, 0, 0, 0, 0, 0, 0});
  ImageJobWords w;
  w.mode = image_job::kModeProcess;
  w.sourceWidth = kW;
  w.sourceHeight = kH;
  w.printWidth = 5;
  w.totalLines = kH;
  for (uint32_t p = 0; p < 3; ++p) w.sources[p] = kPlanes + p * kW * kH;
  w.rowTableFlags[0] = 1;
  w.rowTableFlags[1] = 1;
  EXPECT_FALSE(image_job::Interleaved(w));
  struct Case {
    uint32_t line;
    uint32_t rowY, rowM, rowC;
  };
  const Case cases[] = {{0, 3, 0, 0}, {1, 2, 0, 1}, {3, 0, 0, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(image_job::SourceRow(w, 0, c.line, ram.Reader()), c.rowY);
    const uint32_t mean = ((100 + c.rowY) + (130 + c.rowM) + (160 + c.rowC)) / 3;
    const std::vector<uint8_t> row = Row(w, c.line, ram);
    EXPECT_EQ(row[0], mean & ~0x18u);
    EXPECT_EQ(row[1], mean & ~0x18u);
    EXPECT_EQ(row[2], 0);
    EXPECT_EQ(row[3], 0) << "past the source width";
    EXPECT_EQ(row[4], 0);
  }
}

// The rows that are all 0: the copy mode, lines past the source height, a
// source row outside RAM.
TEST(ImageJobRule, RowsOfZero) {
  const testsupport::TestImage black(4, 2, 0);
  Ram ram;
  ram.Put(kHost, black.bytes);
  struct Case {
    const char* what;
    uint16_t mode;
    uint32_t source;
    uint32_t line;
  };
  const Case cases[] = {
      {"the copy mode", image_job::kModeCopy, kHost, 0},
      {"past the source height", image_job::kModeProcess, kHost, 2},
      {"a source outside RAM", image_job::kModeProcess, 0xC3000000u, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ImageJobWords w = HostWords(4, 2);
    w.mode = c.mode;
    w.totalLines = 3;
    w.sources[0] = w.sources[1] = w.sources[2] = c.source;
    EXPECT_EQ(Row(w, c.line, ram), std::vector<uint8_t>(4, 0));
  }
  const ImageJobWords w = HostWords(4, 2);
  EXPECT_EQ(Row(w, 0, ram), std::vector<uint8_t>(4, 255 & ~0x18)) << "black, the case above taken";
}

}  // namespace
}  // namespace sim
