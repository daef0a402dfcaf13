// The text overlay against the plane's bytes: each case's items drawn into
// a plane of pseudo-random bytes are compared with the plane a pixel-wise
// model of the cells gives, bytes past the plane included.
#include "firmware/printengine/text_overlay.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "firmware/control/control_test_rig.h"
#include "firmware/hal/hw.h"
#include "firmware/hostif/print_job_handlers.h"
#include "firmware/hostif/shmem_usb.h"
#include "firmware/hostif/usb_command_test_support.h"
#include "firmware/printengine/job_queue_test_support.h"
#include "firmware/printengine/print_geometry.h"
#include "firmware/printengine/print_job_record.h"
#include "firmware/printengine/text_overlay_test_support.h"
#include "firmware/service/bitmap_fonts.h"

namespace {

using overlaytest::Cell;
using overlaytest::FirstDifference;
using overlaytest::Item;
using overlaytest::PlaneModel;
using overlaytest::PutItems;
using testsupport::Ms;

constexpr PhysAddr kPlane = 0xC5A00000u;
constexpr uint32_t kWidth = 2464;
constexpr uint32_t kLength = 400;
constexpr uint32_t kGuard = 4096;  // bytes past the plane that stay as they were

ImageSlot PlaneSlot(uint32_t ulWidth = kWidth, uint32_t ulLength = kLength) {
  ImageSlot slot{};
  slot.printParams.ulPrintWidth = ulWidth;
  slot.printParams.ulPrintLength = ulLength;
  slot.pParams = &slot.printParams;
  return slot;
}

std::vector<uint8_t> Noise(size_t n, uint32_t ulSeed) {
  std::vector<uint8_t> bytes(n);
  uint32_t ul = ulSeed;
  for (uint8_t& b : bytes) {
    ul = ul * 1103515245u + 12345u;
    b = static_cast<uint8_t>(ul >> 16);
  }
  return bytes;
}

void Fill(PhysAddr ulAddr, const std::vector<uint8_t>& bytes) {
  std::memcpy(PhysToHost(ulAddr, static_cast<uint32_t>(bytes.size())), bytes.data(), bytes.size());
}

std::vector<uint8_t> Read(PhysAddr ulAddr, size_t n) {
  const uint8_t* p = static_cast<const uint8_t*>(PhysToHost(ulAddr, static_cast<uint32_t>(n)));
  return std::vector<uint8_t>(p, p + n);
}

using TextOverlayTest = controltest::ControlTest;

// Positions, alignment, the cut to what fits, odd x, and cells that would
// leave the plane (not drawn; the last cell's extra background is cut at
// the edge).
TEST_F(TextOverlayTest, ItemsAreClippedToThePlaneAndDrawnCellByCell) {
  InApp(
      [] {
        struct Case {
          const char* what;
          std::vector<Item> items;
          std::vector<Cell> cells;
        };
        const Case cases[] = {
            {"count 0 draws nothing", {{100, 50, 1, 0, "AB", 0}}, {}},
            {"character font side by side", {{100, 50, 1, 0, "AB"}}, {{1, 100, 50, 'A', false}, {1, 132, 50, 'B', true}}},
            {"an odd x from the even pixel below", {{101, 50, 1, 0, "AB"}},
             {{1, 100, 50, 'A', false}, {1, 132, 50, 'B', true}}},
            {"end-aligned", {{200, 7, 1, 2, "AB"}}, {{1, 136, 7, 'A', false}, {1, 168, 7, 'B', true}}},
            {"end-aligned past the edge drops its leading characters", {{70, 50, 1, 2, "ABCDE"}},
             {{1, 6, 50, 'D', false}, {1, 38, 50, 'E', true}}},
            {"cut at the width", {{kWidth - 100, 50, 1, 0, "ABCDEFG"}},
             {{1, kWidth - 100, 50, 'A', false}, {1, kWidth - 68, 50, 'B', false}, {1, kWidth - 36, 50, 'C', true}}},
            {"the last cell's extra background cut at the width", {{kWidth - 96, 50, 1, 0, "ABCD"}},
             {{1, kWidth - 96, 50, 'A', false}, {1, kWidth - 64, 50, 'B', false}, {1, kWidth - 32, 50, 'C', true}}},
            {"a start beyond the width", {{3000, 50, 1, 0, "AB"}}, {}},
            {"at most the 21 characters an item holds", {{0, 0, 1, 0, std::string(21, 'x') , 30}},
             [] {
               std::vector<Cell> v;
               for (uint32_t k = 0; k < 21; ++k) v.push_back({1, 32 * k, 0, 'x', k == 20});
               return v;
             }()},
            {"second font along the paper", {{300, 100, 2, 0, "AB"}}, {{2, 300, 100, 'A', false}, {2, 300, 132, 'B', true}}},
            {"second font cut at the length", {{300, kLength - 100, 2, 0, "ABCD"}},
             {{2, 300, kLength - 100, 'A', false}, {2, 300, kLength - 68, 'B', false}, {2, 300, kLength - 36, 'C', true}}},
            {"second font, the last cell's extra lines cut at the length", {{300, kLength - 64, 2, 0, "AB"}},
             {{2, 300, kLength - 64, 'A', false}, {2, 300, kLength - 32, 'B', true}}},
            {"second font end-aligned past the start", {{300, 40, 2, 2, "ABC"}}, {{2, 300, 8, 'C', true}}},
            {"second font across the paper", {{100, 10, 0, 0, "AB"}}, {{0, 100, 10, 'A', false}, {0, 164, 10, 'B', true}}},
            {"across: a cell that would leave the width is not drawn", {{kWidth - 128, 10, 7, 0, "ABC"}},
             {{7, kWidth - 128, 10, 'A', false}}},
            {"a character-font cell that would leave the length", {{100, kLength - 60, 1, 0, "AB"}}, {}},
            {"a second-font cell that would leave the width", {{kWidth - 40, 100, 2, 0, "AB"}}, {}},
            {"the twelfth item too",
             {{0, 0, 1, 0, "", 0}, {0, 0, 1, 0, "", 0}, {0, 0, 1, 0, "", 0}, {0, 0, 1, 0, "", 0}, {0, 0, 1, 0, "", 0},
              {0, 0, 1, 0, "", 0}, {0, 0, 1, 0, "", 0}, {0, 0, 1, 0, "", 0}, {0, 0, 1, 0, "", 0}, {0, 0, 1, 0, "", 0},
              {0, 0, 1, 0, "", 0}, {500, 200, 1, 0, "\x80Z"}},
             {{1, 500, 200, '\x80', false}, {1, 532, 200, 'Z', true}}},
        };
        ImageSlot slot = PlaneSlot();
        uint32_t ulSeed = 1;
        for (const Case& c : cases) {
          SCOPED_TRACE(c.what);
          const std::vector<uint8_t> before = Noise(kWidth * kLength + kGuard, ulSeed++);
          Fill(kPlane, before);
          PutItems(slot, c.items);
          ASSERT_EQ(g_TextOverlay.DrawItems(&slot, kPlane), 0);
          PlaneModel model(before, kWidth, kLength);
          for (const Cell& cell : c.cells) model.Draw(cell);
          const std::vector<uint8_t> after = Read(kPlane, before.size());
          EXPECT_TRUE(after == model.Bytes()) << FirstDifference(after, model.Bytes(), kWidth);
        }
      },
      Ms(120000));
}

// Only bits 3 and 4 change, and a second drawing over the same cells gives
// the same plane; second-font lines carry code 0 at both edges.
TEST_F(TextOverlayTest, DrawingAgainGivesTheSamePlaneAndSecondFontLinesHaveCode0AtTheirEdges) {
  InApp([] {
    ImageSlot slot = PlaneSlot();
    PutItems(slot, {{100, 20, 1, 0, "Text 1"}, {200, 120, 2, 0, "Ab"}, {400, 300, 3, 2, "xyz"}});
    const std::vector<uint8_t> before = Noise(kWidth * kLength, 99);
    Fill(kPlane, before);
    ASSERT_EQ(g_TextOverlay.DrawItems(&slot, kPlane), 0);
    const std::vector<uint8_t> once = Read(kPlane, before.size());
    size_t ulChanged = 0;
    for (size_t i = 0; i < before.size(); ++i) {
      ASSERT_EQ(before[i] & ~0x18, once[i] & ~0x18) << i;
      if (before[i] != once[i]) ++ulChanged;
    }
    EXPECT_GT(ulChanged, 10000u);
    ASSERT_EQ(g_TextOverlay.DrawItems(&slot, kPlane), 0);
    EXPECT_TRUE(Read(kPlane, before.size()) == once);

    // Edges of the second font's lines, ink-looking bytes before.
    Fill(kPlane, std::vector<uint8_t>(kWidth * kLength, 0xFF));
    PutItems(slot, {{200, 120, 2, 0, "A"}});
    ASSERT_EQ(g_TextOverlay.DrawItems(&slot, kPlane), 0);
    for (uint32_t y = 120; y < 120 + 36; ++y) {
      SCOPED_TRACE(y);
      EXPECT_EQ(HwRead8(kPlane + y * kWidth + 199), 0xFF) << "left of the line";
      EXPECT_EQ(HwRead8(kPlane + y * kWidth + 200), 0xE7) << "code 0";
      EXPECT_EQ(HwRead8(kPlane + y * kWidth + 201), 0xEF) << "background";
      EXPECT_EQ(HwRead8(kPlane + y * kWidth + 265), 0xE7) << "code 0";
      EXPECT_EQ(HwRead8(kPlane + y * kWidth + 266), 0xFF) << "right of the line";
    }
    EXPECT_EQ(HwRead8(kPlane + (120 + 36) * kWidth + 200), 0xFF) << "after the last character's extra lines";
  });
}

// The host's laminate string reaches the slot as it was sent; items far
// along the paper, or too close to an edge for their cells, draw nothing,
// and the track-correction buffers behind the plane keep their bytes.
TEST_F(TextOverlayTest, AHostStringFarAlongThePaperDrawsNothingOutsideThePlane) {
  InApp(
      [] {
        struct Sent {
          uint8_t ucItem;
          uint16_t usX, usY;
          uint8_t ucFont, ucAlignment;
          std::string text;
        };
        const Sent sent[] = {
            {1, 100, 9400, 1, 0, "HELLO"},         // into the track-correction buffers
            {2, 100, 3624 - 40, 1, 0, "EDGE"},     // the cell leaves the plane's length
            {3, 2440, 1000, 2, 0, "SIDE"},         // the second font's lines leave its width
            {4, 600, 60000, 2, 0, "FAR"},          // far beyond SDRAM
            {5, 1000, 1000, 1, 0, "OK"},           // drawn
        };
        for (const Sent& s : sent) {
          hostiftest::Bytes payload(28, 0);
          payload[0] = s.ucItem;
          payload[1] = static_cast<uint8_t>(s.usX);
          payload[2] = static_cast<uint8_t>(s.usX >> 8);
          payload[3] = static_cast<uint8_t>(s.usY);
          payload[4] = static_cast<uint8_t>(s.usY >> 8);
          payload[5] = s.ucFont;
          payload[6] = s.ucAlignment;
          payload[7] = static_cast<uint8_t>(s.text.size());
          std::memcpy(payload.data() + 8, s.text.data(), s.text.size());
          hostiftest::PostRequest(AppRequestCode(APPMSG_SET_LAMINATE_STRING), payload);
          hostiftest::AppPass();
        }
        ASSERT_EQ(jobtest::SetUpHostJob({}), 0);
        jobtest::SetImageBlock(2464, 3624);
        ASSERT_EQ(jobtest::ReceiveImage(0, IMAGE_HOST, &g_PrintSize8x12), 0);
        PrintJobRecord* pJob = jobtest::ReceivingJob();
        ASSERT_NE(pJob, nullptr);
        const ImageSlot& slot = pJob->slotColorA;
        ASSERT_EQ(slot.pParams->ulPrintLength, 3624u);
        EXPECT_EQ(slot.aucTextItems[0][2] | slot.aucTextItems[0][3] << 8, 9400) << "the host's y as sent";

        const uint32_t ulPlaneBytes = 2464 * 3624;
        const std::vector<uint8_t> plane = Noise(ulPlaneBytes + kGuard, 5);
        Fill(kPlane, plane);
        const std::vector<uint8_t> track = Noise(0x40000, 6);
        Fill(TRACK_LINE_BUFFER_BASE, track);
        ASSERT_EQ(g_TextOverlay.DrawItems(&slot, kPlane), 0);
        EXPECT_TRUE(Read(TRACK_LINE_BUFFER_BASE, track.size()) == track) << "the track-correction buffers";
        PlaneModel model(plane, 2464, 3624);
        model.Draw({1, 1000, 1000, 'O', false});
        model.Draw({1, 1032, 1000, 'K', true});
        const std::vector<uint8_t> after = Read(kPlane, plane.size());
        EXPECT_TRUE(after == model.Bytes()) << FirstDifference(after, model.Bytes(), 2464);
      },
      Ms(120000));
}

}  // namespace
