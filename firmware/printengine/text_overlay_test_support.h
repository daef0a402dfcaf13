// Test support of the text overlay (test code only): text items written
// into a slot as the job queue leaves them, and a pixel-wise model of the
// cells the overlay draws, for comparing a plane's bytes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "firmware/printengine/print_job_record.h"
#include "firmware/service/bitmap_fonts.h"

namespace overlaytest {

struct Item {
  uint16_t usX;
  uint16_t usY;
  uint8_t ucFont;
  uint8_t ucAlignment;
  std::string text;
  int32_t lCount = -1;  // the count byte, when it is not the text's length
};

// One character's cell as the model draws it.
struct Cell {
  uint8_t ucFont;  // 1 the character font, else the second font
  uint32_t ulX;
  uint32_t ulY;
  char cCode;
  bool bLast;
};

// The slot's twelve items: the given ones first, the rest empty.
inline void PutItems(ImageSlot& slot, const std::vector<Item>& items) {
  std::memset(slot.aucTextItems, 0, sizeof slot.aucTextItems);
  for (size_t i = 0; i < items.size(); ++i) {
    const Item& it = items[i];
    uint8_t* p = slot.aucTextItems[i];
    p[0] = static_cast<uint8_t>(it.usX);
    p[1] = static_cast<uint8_t>(it.usX >> 8);
    p[2] = static_cast<uint8_t>(it.usY);
    p[3] = static_cast<uint8_t>(it.usY >> 8);
    p[4] = it.ucFont;
    p[5] = it.ucAlignment;
    p[6] = static_cast<uint8_t>(it.lCount >= 0 ? it.lCount : static_cast<int32_t>(it.text.size()));
    std::memcpy(p + 7, it.text.data(), std::min<size_t>(it.text.size(), IMPRINT_TEXT_MAX_CHARS));
  }
}

// The model: bits 3-4 of a pixel inside the plane.
class PlaneModel {
 public:
  PlaneModel(std::vector<uint8_t> bytes, uint32_t ulWidth, uint32_t ulLength)
      : m_bytes(std::move(bytes)), m_ulWidth(ulWidth), m_ulLength(ulLength) {}
  void Draw(const Cell& c) {
    const auto code = static_cast<uint8_t>(c.cCode);
    if (c.ucFont == 1) {
      const uint8_t* g = g_Font8x16Table[code];
      const uint32_t ulWidth = c.bLast ? 36 : 32;
      for (uint32_t dy = 3; dy <= 64; ++dy) {
        for (uint32_t dx = 0; dx < ulWidth; ++dx) {
          const uint32_t ulRow = dy == 3 ? 0 : dy / 4;
          const bool bInk = dy < 64 && dx < 32 && ((g[ulRow] >> (7 - dx / 4)) & 1) != 0;
          Put(c.ulX + dx, c.ulY + dy, bInk ? 0x18 : 0x08);
        }
      }
    } else {
      const uint8_t* g = g_FontTurnedTable[code];
      const uint32_t ulLines = c.bLast ? 36 : 32;
      for (uint32_t dy = 0; dy < ulLines; ++dy) {
        for (uint32_t dx = 0; dx < 66; ++dx) {
          uint8_t uc = 0x08;
          if (dx == 0 || dx == 65) {
            uc = 0;
          } else if (dx >= 2 && dy < 32) {
            const uint32_t ulBit = (dx - 2) / 4;
            uc = ((g[2 * (dy / 4) + ulBit / 8] >> (7 - ulBit % 8)) & 1) != 0 ? 0x18 : 0x08;
          }
          Put(c.ulX + dx, c.ulY + dy, uc);
        }
      }
    }
  }
  const std::vector<uint8_t>& Bytes() const { return m_bytes; }

 private:
  void Put(uint32_t x, uint32_t y, uint8_t uc) {
    if (x >= m_ulWidth || y >= m_ulLength) return;
    uint8_t& b = m_bytes[y * m_ulWidth + x];
    b = static_cast<uint8_t>((b & ~0x18) | uc);
  }
  std::vector<uint8_t> m_bytes;
  uint32_t m_ulWidth;
  uint32_t m_ulLength;
};

// Where two byte strings first differ, as "line L, pixel P".
inline std::string FirstDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, uint32_t ulWidth) {
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
    if (a[i] != b[i]) {
      return "line " + std::to_string(i / ulWidth) + ", pixel " + std::to_string(i % ulWidth) + ": " +
             std::to_string(a[i]) + " != " + std::to_string(b[i]);
    }
  }
  return "none";
}

}  // namespace overlaytest
