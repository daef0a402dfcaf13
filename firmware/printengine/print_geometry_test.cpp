// The print geometry, the track-correction lengths and line buffers, the
// image-buffer cursor and the sort of the CIS code on the virtual board.
#include "firmware/printengine/print_geometry.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "firmware/devices/settings.h"
#include "firmware/platform/ioctl.h"
#include "firmware/printengine/image_buffer.h"
#include "firmware/printengine/table_store.h"
#include "sim/board.h"
#include "sim/memory/nor_flash.h"
#include "tests/support/machine_test.h"
#include "tools/images/flash_map.h"
#include "tools/images/table_image.h"

namespace {

using testsupport::kStartUp;
using testsupport::Ms;

void LoadTable(const images::Bytes& table) {
  sim::NorFlash& flash = *sim::Board::Current().FindDevice<sim::NorFlash>();
  const images::Bytes erased(images::kTableAreaBytes, 0xFF);
  flash.LoadImage(images::kAreaTable.offset, erased.data(), images::kTableAreaBytes);
  flash.LoadImage(images::kAreaTable.offset, table.data(), static_cast<uint32_t>(table.size()));
}

class Geometry : public testsupport::AppBodyTest {
 protected:
  void RunInApp(std::function<void()> body) { AppBodyTest::RunInApp(std::move(body), kStartUp + Ms(600000)); }
};

TEST_F(Geometry, EngineConstantsEdgesAndTrackOffsets) {
  RunInApp([] {
    struct Engine {
      int32_t lVersion;
      int32_t lFeedRollDiam;
      int32_t lWidthX100, lWidthA, lWidthB;
      int32_t lMgEdgeL, lMgEdgeR;  // of Calc alone
    };
    const Engine engines[] = {
        {1, 0, 5000, 210, 40, 40, 54}, {1, 1, 4794, 201, 93, 64, 77}, {2, 0, 4794, 201, 93, 64, 77},
        {3, 0, 4525, 207, 58, 96, 109}, {4, 0, 5025, 207, 58, 38, 51}, {5, 1, 5025, 207, 58, 38, 51},
    };
    g_ParamMgOffsetL.SetValue(5);
    g_ParamMgOffsetR.SetValue(3);
    for (const Engine& e : engines) {
      g_ParamFeedRollDiam.SetValue(e.lFeedRollDiam);
      ASSERT_EQ(g_PrintGeometry.SetForEngine(e.lVersion), 0);
      EXPECT_EQ(g_PrintGeometry.WidthX100(), e.lWidthX100) << e.lVersion;
      EXPECT_EQ(g_PrintGeometry.WidthA(), e.lWidthA) << e.lVersion;
      EXPECT_EQ(g_PrintGeometry.WidthB(), e.lWidthB) << e.lVersion;
      EXPECT_EQ(SettingValue(g_ParamWidthx100), e.lWidthX100) << e.lVersion;
      EXPECT_EQ(SettingValue(g_ParamWidth), e.lWidthA) << e.lVersion;
      EXPECT_EQ(SettingValue(g_ParamWidth2), e.lWidthB) << e.lVersion;
      EXPECT_EQ(g_PrintGeometry.MgEdgeL(), e.lWidthB + 5) << e.lVersion;
      EXPECT_EQ(g_PrintGeometry.MgEdgeR(), e.lWidthB - 3) << e.lVersion;
      ASSERT_EQ(g_PrintGeometry.Calc(), 0);
      EXPECT_EQ(g_PrintGeometry.MgEdgeL(), e.lMgEdgeL) << e.lVersion;
      EXPECT_EQ(g_PrintGeometry.MgEdgeR(), e.lMgEdgeR) << e.lVersion;
      EXPECT_EQ(g_PrintGeometry.LeftEdge(), -8);
      EXPECT_EQ(g_PrintGeometry.RightEdge(), 2542);
    }

    g_ParamCisOffsetL.SetValue(-4);
    g_ParamCisOffsetR.SetValue(6);
    g_PrintGeometry.ApplyCisOffsets();
    EXPECT_EQ(g_PrintGeometry.LeftEdge(), 4);
    EXPECT_EQ(g_PrintGeometry.RightEdge(), 2554);

    // Track points from the CIS, then the offsets of both units (engine
    // 3's widthA 207 is 2446 dots).
    g_ParamFeedRollDiam.SetValue(0);
    g_PrintGeometry.SetForEngine(3);
    g_PrintGeometry.SetTrackPoint(0, 120);
    g_PrintGeometry.SetTrackPoint(1, 90);
    EXPECT_EQ(SettingValue(g_ParamTrackPointA), 120);
    EXPECT_EQ(SettingValue(g_ParamTrackPointB), 90);
    int32_t lOffset = 0;
    g_PrintGeometry.GetTrackOffset(0, &lOffset);
    EXPECT_EQ(lOffset, 120 - 4 + 63 - 90);
    g_PrintGeometry.GetTrackOffset(1, &lOffset);
    EXPECT_EQ(lOffset, 2554 - 90 - 55 + 120 - 2446);
    // "Cis SW" off: both track points 80, the settings kept.
    g_ParamCisSW.SetValue(0);
    g_PrintGeometry.Calc();
    EXPECT_EQ(g_PrintGeometry.TrackPointA(), 80);
    EXPECT_EQ(g_PrintGeometry.TrackPointB(), 80);
    EXPECT_EQ(SettingValue(g_ParamTrackPointA), 120);
    g_ParamCisSW.SetValue(1);
    g_PrintGeometry.Calc();
    EXPECT_EQ(g_PrintGeometry.TrackPointA(), 120);
  });
}

TEST_F(Geometry, TrackCorrectionLengthsPushConsumeAndSwap) {
  RunInApp([] {
    auto lengths = [](uint32_t ulSide) {
      std::vector<uint32_t> v(3);
      EXPECT_EQ(g_TrackCorrect.GetLengths(ulSide, v.data()), 0);
      return v;
    };
    auto settings = [] {
      return std::vector<int32_t>{SettingValue(g_ParamTrackLenA),  SettingValue(g_ParamTrackLen2A),
                                  SettingValue(g_ParamTrackLen3A), SettingValue(g_ParamTrackLenB),
                                  SettingValue(g_ParamTrackLen2B), SettingValue(g_ParamTrackLen3B)};
    };
    g_TrackCorrect.PushLength(0, 300, 2);
    g_TrackCorrect.PushLength(0, 200, 1);
    g_TrackCorrect.PushLength(0, 100, 1);
    EXPECT_EQ(lengths(0), (std::vector<uint32_t>{100, 200, 300}));
    ASSERT_EQ(g_TrackCorrect.PushLength(0, 500, 1), 0);
    EXPECT_EQ(lengths(0), (std::vector<uint32_t>{500, 100, 200}));
    ASSERT_EQ(g_TrackCorrect.ConsumeLength(0, 150), 0);
    EXPECT_EQ(lengths(0), (std::vector<uint32_t>{350, 0, 50}));
    g_TrackCorrect.PushLength(1, 7, 2);
    g_TrackCorrect.PushLength(1, 9, 0);
    EXPECT_EQ(lengths(1), (std::vector<uint32_t>{9, 7, 7}));
    EXPECT_EQ(settings(), (std::vector<int32_t>{350, 0, 50, 9, 7, 7}));
    ASSERT_EQ(g_TrackCorrect.SwapSides(), 0);
    EXPECT_EQ(settings(), (std::vector<int32_t>{9, 7, 7, 350, 0, 50}));
    g_TrackCorrect.SwapSides();
    EXPECT_EQ(settings(), (std::vector<int32_t>{350, 0, 50, 9, 7, 7}));
    EXPECT_EQ(lengths(0), (std::vector<uint32_t>{350, 0, 50}));

    // Side 2 is refused and changes nothing.
    uint32_t aul[3] = {1, 2, 3};
    EXPECT_EQ(g_TrackCorrect.PushLength(2, 5, 1), -1);
    EXPECT_EQ(g_TrackCorrect.ConsumeLength(2, 5), -1);
    EXPECT_EQ(g_TrackCorrect.GetLengths(2, aul), -1);
    EXPECT_EQ(aul[0], 1u);
    EXPECT_EQ(settings(), (std::vector<int32_t>{350, 0, 50, 9, 7, 7}));

    uint32_t ulActive = 9;
    g_TrackCorrect.SetActive();
    g_TrackCorrect.IsActive(&ulActive);
    EXPECT_EQ(ulActive, 1u);
    g_TrackCorrect.ClearActive();
    g_TrackCorrect.IsActive(&ulActive);
    EXPECT_EQ(ulActive, 0u);

    // A new object reads the six settings back, not active.
    CTrackCorrect fresh{kGlobalBuild};
    uint32_t aulA[3] = {}, aulB[3] = {};
    fresh.GetLengths(0, aulA);
    fresh.GetLengths(1, aulB);
    EXPECT_EQ(std::vector<uint32_t>(aulA, aulA + 3), (std::vector<uint32_t>{350, 0, 50}));
    EXPECT_EQ(std::vector<uint32_t>(aulB, aulB + 3), (std::vector<uint32_t>{9, 7, 7}));
    fresh.IsActive(&ulActive);
    EXPECT_EQ(ulActive, 0u);
  });
}

// Buffer k's rows from table 126 + k: each entry i and its mirror 2560 - i,
// position 2560 (one past the row) untouched; the rows and bytes per row cut
// to what fits; a missing table stops the load with -2.
TEST_F(Geometry, LineBuffersFromTheTable) {
  RunInApp([] {
    constexpr uint32_t kRowBytes = 2 * TRACK_LINE_ENTRIES;
    auto entry = [](uint32_t k, uint32_t r, uint32_t i) {
      return HwRead16(TRACK_LINE_BUFFER_BASE + k * TRACK_LINE_BUFFER_STRIDE + r * kRowBytes + 2 * i);
    };
    // Marks where nothing may be written.
    const uint16_t kMark = 0xA5A5;
    for (uint32_t k = 0; k < 4; ++k) {
      const PhysAddr ulBuffer = TRACK_LINE_BUFFER_BASE + k * TRACK_LINE_BUFFER_STRIDE;
      for (uint32_t r = 0; r < 8; ++r) {
        for (uint32_t i = 0; i <= TRACK_LINE_ENTRIES; ++i) HwWrite16(ulBuffer + r * kRowBytes + 2 * i, kMark);
      }
    }
    LoadTable(images::BuildTableImage(images::SampleTableParams()));
    ASSERT_EQ(InitTableData(), 0);
    ASSERT_EQ(LoadTrackCorrectLineBuffers(), 0);
    for (uint32_t k = 0; k < 4; ++k) {
      const uint32_t ulRows = images::kSampleTrackRows[k];
      const uint32_t ulBytes = images::kSampleTrackBytesPerRow[k];
      for (uint32_t r = 0; r < ulRows; ++r) {
        for (uint32_t i = 0; i < TRACK_LINE_ENTRIES; ++i) {
          uint16_t usWant = 0;
          const uint32_t ulMirror = TRACK_LINE_ENTRIES - i;
          if (i < ulBytes) {
            usWant = static_cast<uint8_t>(k * 64 + r * ulBytes + i + 1);
          } else if (ulMirror < ulBytes && ulMirror != 0) {
            usWant = static_cast<uint8_t>(k * 64 + r * ulBytes + ulMirror + 1);
          }
          ASSERT_EQ(entry(k, r, i), usWant) << k << "/" << r << "/" << i;
        }
      }
      // Position 2560 of the last row and the row after it untouched.
      EXPECT_EQ(entry(k, ulRows - 1, TRACK_LINE_ENTRIES), kMark) << k;
      EXPECT_EQ(entry(k, ulRows, 1), kMark) << k;
    }

    // Rows and bytes beyond a buffer are cut: 1000 rows of 3000 bytes fill
    // buffer 0's 409 rows of 2560 and leave buffer 1 alone.
    images::TableImageParams big = images::SampleTableParams();
    for (auto& bank : big.values) {
      bank[168] = 998;
      bank[172] = 3000;
    }
    big.tables[126] = {images::Bytes(8, 0x11)};
    const uint16_t kBuffer1Mark = 0x5A5A;
    HwWrite16(TRACK_LINE_BUFFER_BASE + TRACK_LINE_BUFFER_STRIDE, kBuffer1Mark);
    HwWrite16(TRACK_LINE_BUFFER_BASE + TRACK_LINE_MAX_ROWS * kRowBytes, kBuffer1Mark);
    HwWrite16(TRACK_LINE_BUFFER_BASE + (TRACK_LINE_MAX_ROWS - 1) * kRowBytes + 2 * 2559, kBuffer1Mark);
    // Only table 126 and buffer 0 matter here: take the others away.
    for (uint32_t id = 127; id < 130; ++id) big.tables.erase(id);
    big.tableCount = 127;
    LoadTable(images::BuildTableImage(big));
    ASSERT_EQ(InitTableData(), 0);
    EXPECT_EQ(LoadTrackCorrectLineBuffers(), -2) << "table 127 missing";
    EXPECT_LE(entry(0, TRACK_LINE_MAX_ROWS - 1, 2559), 0xFF) << "the last row that fits is written";
    EXPECT_EQ(HwRead16(TRACK_LINE_BUFFER_BASE + TRACK_LINE_MAX_ROWS * kRowBytes), kBuffer1Mark) << "past row 409";
    EXPECT_EQ(HwRead16(TRACK_LINE_BUFFER_BASE + TRACK_LINE_BUFFER_STRIDE), kBuffer1Mark) << "buffer 1";
    EXPECT_EQ(entry(0, 0, 0), 0x11);

    // Without table 126 nothing is built.
    HwWrite16(TRACK_LINE_BUFFER_BASE, kBuffer1Mark);
    big.tables.erase(126);
    big.tableCount = 126;
    LoadTable(images::BuildTableImage(big));
    ASSERT_EQ(InitTableData(), 0);
    EXPECT_EQ(LoadTrackCorrectLineBuffers(), -2);
    EXPECT_EQ(entry(0, 0, 0), kBuffer1Mark);
  });
}

TEST_F(Geometry, ImageCursorWrapsAndFillStopsAtAFailingWrite) {
  RunInApp([] {
    CImageBuffer buffer{kGlobalBuild};
    buffer.Skip(0x7FFFFF0u);
    buffer.Skip(0x20u);
    EXPECT_EQ(buffer.Cursor(), 0x10u) << "past 0x8000000";
    buffer.Skip(0xFFFFFFFFu);
    EXPECT_EQ(buffer.Cursor(), 0xFu);
    buffer.Rewind();
    EXPECT_EQ(buffer.Cursor(), 0u);
    ASSERT_EQ(buffer.Fill(0x1234, 3), 0);
    EXPECT_EQ(HwRead8(IMAGE_BUFFER_BASE), 0x34);
    EXPECT_EQ(HwRead8(IMAGE_BUFFER_BASE + 2), 0x34);
    EXPECT_EQ(buffer.Cursor(), 3u);
    // The window's last SDRAM byte, then an address past SDRAM.
    buffer.Rewind();
    buffer.Skip(0xC7FFFFFEu - IMAGE_BUFFER_BASE);
    EXPECT_EQ(buffer.Fill(0x77, 5), -1);
    EXPECT_EQ(buffer.Cursor(), 0xC8000000u - IMAGE_BUFFER_BASE) << "left on the byte that failed";
    EXPECT_EQ(HwRead8(0xC7FFFFFFu), 0x77);
  });
}

TEST(SortIntAscending, SortsSignedValuesInPlace) {
  struct Case {
    std::vector<int32_t> in;
    std::vector<int32_t> out;
  };
  const Case cases[] = {
      {{}, {}}, {{5}, {5}}, {{3, -1, 2, -7, 3}, {-7, -1, 2, 3, 3}}, {{-2147483647 - 1, 2147483647, 0}, {-2147483647 - 1, 0, 2147483647}},
  };
  for (Case c : cases) {
    SortIntAscending(c.in.data(), static_cast<uint32_t>(c.in.size()));
    EXPECT_EQ(c.in, c.out);
  }
}

}  // namespace
