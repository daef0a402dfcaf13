// The rectangle fillers of the test patterns: one object per colour plane
// of an internal print's image buffer (Y, M, C), shared by every pattern.
// A client sets the plane base once per buffer, then describes rectangles
// (levels, column, row, width, height; each setter only stores) and fills
// each with Fill, which writes the level of its own plane through the image
// memory cursor g_ImageBuffer.
//
// The three planes of a buffer lie one after the other, each W x (L + e1 +
// e2) bytes, one byte per dot, row r at plane base + r x W; W, L, e1 and
// e2 come from the print-size record g_pPrintSizeTable designates at the
// time of the call. Fill clips nothing: callers keep their rectangles
// inside the plane.
#pragma once

#include <cstdint>

#include "firmware/platform/global_build.h"
#include "firmware/printengine/print_size.h"

// The value to write into each plane (its low eight bits).
struct PlaneLevels {
  uint16_t usY;
  uint16_t usM;
  uint16_t usC;
};

// The record the drawings are laid out on: the one g_pPrintSizeTable
// designates (the 8x10 record while no size is selected yet).
const PrintSizeRecord& DrawingPrintSize();
// W x (L + e1 + e2) of that record: the bytes of one plane.
uint32_t DrawingPlaneBytes();

class CDrawPartsRect {
 public:
  constexpr CDrawPartsRect() = default;

  // The plane base from the address (image-window offset) of the buffer.
  virtual void SetBase(uint32_t ulBuffer);
  // Writes the current rectangle: its first row always (a height of 0
  // writes one row as 1 does), then height - 1 more rows.
  virtual void Fill();

  uint32_t GetBase() const { return m_ulBase; }
  void SetColumn(uint16_t usColumn) { m_usColumn = usColumn; }
  void SetRow(uint16_t usRow) { m_usRow = usRow; }
  void SetWidth(uint16_t usWidth) { m_usWidth = usWidth; }
  void SetHeight(uint16_t usHeight) { m_usHeight = usHeight; }
  void SetLevels(PlaneLevels levels) { m_levels = levels; }

 protected:
  ~CDrawPartsRect() = default;
  // The plane base at planes x plane bytes behind the buffer.
  void SetPlaneBase(uint32_t ulBuffer, uint32_t ulPlane);
  // The rectangle in this level.
  void FillLevel(uint16_t usLevel);

  uint32_t m_ulBase = 0;
  uint16_t m_usColumn = 0;
  uint16_t m_usRow = 0;
  uint16_t m_usWidth = 0;
  uint16_t m_usHeight = 0;
  PlaneLevels m_levels = {};
};

class CDrawPartsRectY final : public CDrawPartsRect {
 public:
  constexpr CDrawPartsRectY() = default;
  explicit CDrawPartsRectY(GlobalBuild) {}
  void SetBase(uint32_t ulBuffer) override;
  void Fill() override;
};

class CDrawPartsRectM final : public CDrawPartsRect {
 public:
  constexpr CDrawPartsRectM() = default;
  explicit CDrawPartsRectM(GlobalBuild) {}
  void SetBase(uint32_t ulBuffer) override;
  void Fill() override;
};

class CDrawPartsRectC final : public CDrawPartsRect {
 public:
  constexpr CDrawPartsRectC() = default;
  explicit CDrawPartsRectC(GlobalBuild) {}
  void SetBase(uint32_t ulBuffer) override;
  void Fill() override;
};

extern CDrawPartsRectY g_DrawPartsRectY;
extern CDrawPartsRectM g_DrawPartsRectM;
extern CDrawPartsRectC g_DrawPartsRectC;
