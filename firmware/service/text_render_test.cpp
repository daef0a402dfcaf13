// The text renderer: the width-doubling table, a doubled character's whole
// cell with margin and background, the 96-character cut, and the byte
// writes of the 16-bit image window.
#include "firmware/service/text_render.h"

#include <cstring>

#include "firmware/service/service_test_support.h"

namespace servicetest {
namespace {

bool Dot(const uint8_t* pGlyph, uint32_t ulBytesPerRow, uint32_t ulRow, uint32_t ulColumn) {
  return ((pGlyph[ulRow * ulBytesPerRow + ulColumn / 8] >> (7 - ulColumn % 8)) & 1u) != 0;
}

TEST(TextRender, WidthDoublingDoublesEveryBit) {
  struct Case {
    uint8_t uc;
    uint16_t us;
  };
  const Case kCases[] = {{0x00, 0x0000}, {0x01, 0x0003}, {0x80, 0xC000}, {0x81, 0xC003}, {0xA5, 0xCC33}, {0xFF, 0xFFFF}};
  for (const Case& c : kCases) EXPECT_EQ(g_WidthDoublingTable[c.uc], c.us) << int{c.uc};
  const uint8_t aucSrc[2] = {0x81, 0x0F};
  uint8_t aucDst[4] = {};
  ExpandGlyphWidth(aucDst, aucSrc, 1, 2);
  EXPECT_EQ(aucDst[0], 0xC0);
  EXPECT_EQ(aucDst[1], 0x03);
  EXPECT_EQ(aucDst[2], 0x00);
  EXPECT_EQ(aucDst[3], 0xFF);
}

TEST_F(ServiceTest, TextCellsCoverTheirWholeCellAndByteWritesKeepTheOtherByte) {
  RunInApp([] {
    UseLength(2408);
    const PhysAddr ulBase = IMAGE_BUFFER_BASE + kBuffer;
    uint8_t* pImage = ImageAt(kBuffer, 200 * kW);

    // 'A' at cell (0, 0): dots 16-31 of rows 16-31, background 7.
    std::memset(pImage, 0xEE, 200 * kW);
    DrawTextCells(ulBase, 0, 0, "A", 7);
    const uint8_t* pGlyph = g_Font8x16Table['A'];
    uint32_t ulInk = 0;
    for (uint32_t r = 0; r < 40; ++r) {
      for (uint32_t x = 0; x < 40; ++x) {
        const uint8_t uc = pImage[r * kW + x];
        const bool bCell = r >= 16 && r < 32 && x >= 16 && x < 32;
        if (!bCell) {
          EXPECT_EQ(uc, 0xEE) << r << "," << x;
          continue;
        }
        const bool bInk = Dot(pGlyph, 1, r - 16, (x - 16) / 2);
        EXPECT_EQ(uc, bInk ? 255 : 7) << r << "," << x;
        ulInk += bInk;
      }
    }
    EXPECT_GT(ulInk, 0u);

    // 97 characters: the 97th cell stays untouched.
    std::memset(pImage, 0xEE, 200 * kW);
    const std::string text(97, 'H');
    DrawTextCells(ulBase, 0, 0, text.c_str(), 0);
    EXPECT_NE(pImage[16 * kW + 16 + 95 * 16 + 1], 0xEE) << "the 96th character";
    for (uint32_t x = 16 + 96 * 16; x < 16 + 97 * 16; ++x) EXPECT_EQ(pImage[20 * kW + x], 0xEE) << x;

    // A refused font draws nothing.
    TextCommand cmd{};
    cmd.ucFont = 1;
    cmd.ucCount = 1;
    cmd.aucChars[0] = 16;
    std::memset(pImage, 0xEE, 200 * kW);
    EXPECT_EQ(RenderTextCommand(cmd, ulBase, 255, 0), -1);
    for (uint32_t i = 0; i < 40 * kW; ++i) ASSERT_EQ(pImage[i], 0xEE) << i;

    struct ByteCase {
      uint32_t ulOffset;
      uint8_t ucValue;
      uint8_t aucExpected[4];
    };
    const ByteCase kBytes[] = {{0, 0x12, {0x12, 0xBB, 0xCC, 0xDD}},
                               {1, 0x34, {0xAA, 0x34, 0xCC, 0xDD}},
                               {2, 0x56, {0xAA, 0xBB, 0x56, 0xDD}},
                               {3, 0x78, {0xAA, 0xBB, 0xCC, 0x78}}};
    for (const ByteCase& c : kBytes) {
      const uint8_t aucStart[4] = {0xAA, 0xBB, 0xCC, 0xDD};
      std::memcpy(pImage, aucStart, 4);
      WriteImageByte(ulBase + c.ulOffset, c.ucValue);
      EXPECT_EQ(0, std::memcmp(pImage, c.aucExpected, 4)) << c.ulOffset;
    }
  });
}

}  // namespace
}  // namespace servicetest
