// The stored pattern's reader: bands drawn as rows of complemented colour
// segments, rows of lines by RowOf and NextRow, and stored data that would
// reach past its tables or rows (band counts of erased flash, segments past
// the print width) kept inside.
#include "firmware/service/ams_pattern_data.h"

#include <array>
#include <cstring>
#include <vector>

#include "firmware/service/service_test_support.h"

namespace servicetest {
namespace {

// The data as the image tools store it.
struct Segment {
  uint16_t usWidth;
  uint8_t ucRed, ucGreen, ucBlue;
};
struct Band {
  uint16_t usHeight;
  std::vector<Segment> segments;
};
std::vector<uint8_t> Pattern(const std::vector<Band>& bands, int32_t lBandCount = -1) {
  std::vector<uint8_t> out;
  auto u16 = [&](uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
  };
  u16(0xABCD);
  u16(lBandCount < 0 ? bands.size() : static_cast<uint32_t>(lBandCount));
  for (const Band& b : bands) {
    u16(b.usHeight);
    u16(0x5555);
    u16(b.segments.size());
    for (const Segment& s : b.segments) {
      u16(s.usWidth);
      out.push_back(s.ucRed);
      out.push_back(s.ucGreen);
      out.push_back(s.ucBlue);
    }
  }
  return out;
}

// The data in image memory in front of the drawing buffer.
constexpr uint32_t kData = kBuffer - 0x100000u;
PhysAddr Store(const std::vector<uint8_t>& data) {
  std::memcpy(ImageAt(kData, static_cast<uint32_t>(data.size())), data.data(), data.size());
  return IMAGE_BUFFER_BASE + kData;
}

std::vector<uint16_t> RowsOf(uint32_t ulLines) {
  std::vector<uint16_t> rows;
  for (uint32_t n = 0; n < ulLines; ++n) rows.push_back(g_AmsPatternData.RowOf(static_cast<uint16_t>(n)));
  return rows;
}
std::vector<uint16_t> NextRows(uint32_t ulLines) {
  std::vector<uint16_t> rows;
  g_AmsPatternData.Reset();
  for (uint32_t n = 0; n < ulLines; ++n) rows.push_back(g_AmsPatternData.NextRow());
  return rows;
}

TEST_F(ServiceTest, AmsBandsBecomeRowsOfComplementedSegmentsAndBadDataStaysInside) {
  RunInApp([] {
    UseLength(3024);
    SetBases(kBuffer);
    uint8_t* pPlanes = ImageAt(kBuffer, 3 * PlaneBytes());
    auto Plane = [&](uint32_t ulPlane, uint32_t ulRow, uint32_t x) { return pPlanes[ulPlane * PlaneBytes() + ulRow * kW + x]; };

    struct Case {
      const char* pszWhat;
      std::vector<uint8_t> data;
      // Expected dots: {row, first x, count, Y, M, C}; everything else of
      // rows 0-3 stays 0xEE.
      std::vector<std::array<uint32_t, 6>> dots;
      std::vector<uint16_t> rows;  // RowOf of lines 0..n-1, and NextRow's sequence
      uint16_t usBands;
    };
    const Case kCases[] = {
        {"two bands",
         Pattern({{5, {{10, 10, 20, 30}, {7, 0, 0, 255}}}, {3, {{4, 255, 255, 255}}}}),
         {{0, 0, 10, 225, 235, 245}, {0, 10, 7, 0, 255, 255}, {1, 0, 4, 0, 0, 0}},
         {0, 0, 0, 0, 0, 1, 1, 1, 2, 2, 2},
         2},
        {"a segment of width 0 draws nothing and keeps the column",
         Pattern({{2, {{3, 0, 0, 0}, {0, 1, 1, 1}, {2, 255, 0, 0}}}}),
         {{0, 0, 3, 255, 255, 255}, {0, 3, 2, 255, 255, 0}},
         {0, 0, 1, 1},
         1},
        {"segments clipped at the print width; one starting past it draws nothing",
         Pattern({{1, {{2460, 0, 0, 0}, {10, 0, 255, 0}, {50, 255, 255, 255}}}, {1, {{2464, 0, 0, 255}, {8, 0, 0, 0}}}}),
         {{0, 0, 2460, 255, 255, 255}, {0, 2460, 4, 255, 0, 255}, {1, 0, 2464, 0, 255, 255}},
         {0, 1, 2, 2},
         2},
        {"a zero-height band is passed over",
         Pattern({{2, {{1, 0, 0, 0}}}, {0, {{1, 0, 0, 0}}}, {1, {{1, 0, 0, 0}}}}),
         {{0, 0, 1, 255, 255, 255}, {1, 0, 1, 255, 255, 255}, {2, 0, 1, 255, 255, 255}},
         {0, 0, 2, 3, 3},
         3},
    };
    for (const Case& c : kCases) {
      std::memset(pPlanes, 0xEE, 3 * PlaneBytes());
      const PhysAddr ulData = Store(c.data);
      for (uint32_t p = 0; p < 3; ++p) g_AmsPatternData.Load(ulData, Drawer(p));
      EXPECT_EQ(g_AmsPatternData.BandCount(), c.usBands) << c.pszWhat;
      std::vector<uint8_t> expected(3 * 4 * kW, 0xEE);
      for (const auto& d : c.dots) {
        for (uint32_t x = d[1]; x < d[1] + d[2]; ++x) {
          for (uint32_t p = 0; p < 3; ++p) expected[p * 4 * kW + d[0] * kW + x] = static_cast<uint8_t>(d[3 + p]);
        }
      }
      for (uint32_t p = 0; p < 3; ++p) {
        for (uint32_t r = 0; r < 4; ++r) {
          for (uint32_t x = 0; x < kW; ++x) {
            ASSERT_EQ(Plane(p, r, x), expected[p * 4 * kW + r * kW + x]) << c.pszWhat << ": plane " << p << " row " << r << " x " << x;
          }
        }
      }
      EXPECT_EQ(RowsOf(static_cast<uint32_t>(c.rows.size())), c.rows) << c.pszWhat;
      EXPECT_EQ(NextRows(static_cast<uint32_t>(c.rows.size())), c.rows) << c.pszWhat;
    }

    // Erased flash: a band count of 65535, the heights table holds 384.
    std::vector<Band> many(400, Band{1, {{1, 0, 0, 0}}});
    g_AmsPatternData.Load(Store(Pattern(many, 0xFFFF)), &g_DrawPartsRectY);
    EXPECT_EQ(g_AmsPatternData.BandCount(), AMS_MAX_BANDS);
    EXPECT_EQ(g_AmsPatternData.RowOf(383), 383);
    EXPECT_EQ(g_AmsPatternData.RowOf(384), AMS_MAX_BANDS);
    EXPECT_EQ(Plane(0, 384, 0), 0xEE) << "no row past the table";
    // A band of 65535 segments of width 65535: the first fills the row, the
    // rest is passed over unread; the next band follows them.
    std::vector<uint8_t> wide = Pattern({{7, {}}, {2, {{3, 0, 0, 0}}}});
    wide[4 + 4] = wide[4 + 5] = 0xFF;  // band 0's segment count
    std::vector<uint8_t> data(wide.begin(), wide.begin() + 10);
    data.insert(data.end(), 65535u * 5u, 0xFF);
    data.insert(data.end(), wide.begin() + 10, wide.end());
    std::memset(pPlanes, 0xEE, 3 * PlaneBytes());
    g_AmsPatternData.Load(Store(data), &g_DrawPartsRectY);
    for (uint32_t x = 0; x < kW; ++x) ASSERT_EQ(Plane(0, 0, x), 0) << x;
    EXPECT_EQ(Plane(0, 1, 0), 255);
    EXPECT_EQ(Plane(0, 1, 3), 0xEE);
    EXPECT_EQ(RowsOf(10), (std::vector<uint16_t>{0, 0, 0, 0, 0, 0, 0, 1, 1, 2}));
  });
}

}  // namespace
}  // namespace servicetest
