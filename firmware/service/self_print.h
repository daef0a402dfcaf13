// The test-print patterns. A pattern draws a few distinct rows into each
// colour plane of an internal job's image buffer and then tells the print
// engine, line by line, which of those rows each printed line shows. Each
// pattern class has three objects, one per plane (Y, M, C), reached by the
// print engine through g_pSelfPrintY, g_pSelfPrintM and g_pSelfPrintC.
//
// Operations, in this order in every object's table: Draw (the launchers
// only), Reset (start of a plane), NextRow (the row of the next line of the
// sequence Reset started), RowOf (the row of a given line, 0 first; the DSP
// row tables ask it for every line). Every class but CSelfPrintString
// counts its objects as they are built: the first takes plane Y and
// g_DrawPartsRectY, the second M, the third C, so the construction order
// alone gives each object its plane. W and L are those of the print-size
// record g_pPrintSizeTable designates at the time of a call.
#pragma once

#include <cstdint>

#include "firmware/hal/hw.h"
#include "firmware/platform/global_build.h"
#include "firmware/service/draw_parts_rect.h"

class CSelfPrint {
 public:
  constexpr CSelfPrint() = default;

  // Draws the pattern's rows into the plane through the drawer.
  virtual void Draw();
  // Starts the row sequence of a new plane: line counter 0.
  virtual void Reset();
  // The row of the next line of the sequence.
  virtual uint16_t NextRow();
  // The row of the given line of the plane.
  virtual uint16_t RowOf(uint16_t usLine);

  uint16_t Plane() const { return m_usPlane; }
  CDrawPartsRect* Drawer() const { return m_pDrawer; }

 protected:
  ~CSelfPrint() = default;
  // Plane and drawer by the class's object count (1 Y, 2 M, 3 C; any other
  // count: neither).
  void TakePlane(uint16_t usInstance);
  // One rectangle through the drawer (height 1 unless given).
  void Rect(uint32_t ulColumn, uint32_t ulRow, uint32_t ulWidth, PlaneLevels levels, uint32_t ulHeight = 1);
  // A row of full width in one level.
  void FullRow(uint32_t ulRow, uint16_t usLevel, uint32_t ulHeight = 1);

  uint16_t m_usLineCounter = 0;
  uint16_t m_usPlane = 0;
  CDrawPartsRect* m_pDrawer = nullptr;
};

constexpr PlaneLevels AllLevels(uint16_t usLevel) { return {usLevel, usLevel, usLevel}; }

// Each class's object counter; ResetInstances lets a test build a class's
// three objects again.
#define SELF_PRINT_COUNTED(Class)                   \
 public:                                           \
  static void ResetInstances() { s_usInstances = 0; } \
  explicit Class(GlobalBuild) { TakePlane(++s_usInstances); } \
                                                   \
 private:                                          \
  static constinit inline uint16_t s_usInstances = 0;

// A uniform field of the object's level (row 0 on every line).
class CSelfPrintGray final : public CSelfPrint {
  SELF_PRINT_COUNTED(CSelfPrintGray)

 public:
  constexpr CSelfPrintGray() = default;
  void Draw() override;
  void SetLevel(uint16_t usLevel) { m_usLevel = usLevel; }
  uint16_t Level() const { return m_usLevel; }

 private:
  uint16_t m_usLevel = 0;
};

// A grid of 4-dot lines on a 48-dot pitch.
class CSelfPrintCross final : public CSelfPrint {
  SELF_PRINT_COUNTED(CSelfPrintCross)

 public:
  constexpr CSelfPrintCross() = default;
  void Draw() override;
  uint16_t NextRow() override;
  uint16_t RowOf(uint16_t usLine) override;
};

// Rows of "H" marks, 28 dots by 36 lines on a 34-dot by 42-line pitch.
class CSelfPrintHPatern final : public CSelfPrint {
  SELF_PRINT_COUNTED(CSelfPrintHPatern)

 public:
  constexpr CSelfPrintHPatern() = default;
  void Draw() override;
  uint16_t NextRow() override;
  uint16_t RowOf(uint16_t usLine) override;

 private:
  uint16_t m_ausThresholds[4] = {};
};

// Eight density steps of L / 8 lines.
class CSelfPrintLevel8 final : public CSelfPrint {
  SELF_PRINT_COUNTED(CSelfPrintLevel8)

 public:
  constexpr CSelfPrintLevel8() = default;
  void Draw() override;
  void Reset() override;
  uint16_t NextRow() override;
  uint16_t RowOf(uint16_t usLine) override;

 private:
  uint16_t m_usBandHeight = 0;
  uint16_t m_usBandLineCount = 0;
  uint16_t m_usCurrentRow = 0;
};

// The eight steps with the internal test-print text under them: rows 8 to
// 135 hold the text area, each printed on two lines.
class CSelfPrintLevel8Letter final : public CSelfPrint {
  SELF_PRINT_COUNTED(CSelfPrintLevel8Letter)

 public:
  constexpr CSelfPrintLevel8Letter() = default;
  void Draw() override;
  void Reset() override;
  uint16_t NextRow() override;
  uint16_t RowOf(uint16_t usLine) override;
  // Side 0: no head line; 1 the left head; 2 the right head.
  void DrawWithSide(uint32_t ulSide);
  // The processor address of row 7, where text rows are counted from.
  PhysAddr TextOrigin() const { return m_ulTextOrigin; }

 private:
  uint16_t m_usBandHeight = 0;
  uint16_t m_usBandLineCount = 0;
  uint16_t m_usCurrentRow = 0;
  PhysAddr m_ulTextOrigin = 0;
};

// The text page (the status sheet): one plane, each image row printed on
// two lines. Its objects have no plane and no drawer.
class CSelfPrintString final : public CSelfPrint {
 public:
  constexpr CSelfPrintString() = default;
  explicit CSelfPrintString(GlobalBuild) {}
  void Draw() override;
  uint16_t NextRow() override;
  uint16_t RowOf(uint16_t usLine) override;
  // The sheet's first row: image-window offset + 0xC0800000.
  void SetTextBase(uint32_t ulImageAddress);
  PhysAddr TextBase() const { return m_ulTextBase; }

 private:
  PhysAddr m_ulTextBase = 0;
};

// Registration boxes, 3 x 3, on a background level.
class CSelfPrintRegi final : public CSelfPrint {
  SELF_PRINT_COUNTED(CSelfPrintRegi)

 public:
  constexpr CSelfPrintRegi() = default;
  void Draw() override;
  uint16_t NextRow() override;
  uint16_t RowOf(uint16_t usLine) override;
  void SetLevel(uint16_t usLevel) { m_usBackground = usLevel; }

 private:
  uint16_t RowAt(uint32_t ulLine) const;

  uint16_t m_ausThresholds[9] = {};
  uint16_t m_usBackground = 0;
};

// The default pattern: twelve bands of crosses, primaries and patches.
class CSelfPrintStandard final : public CSelfPrint {
  SELF_PRINT_COUNTED(CSelfPrintStandard)

 public:
  static constexpr uint32_t kBands = 12;
  constexpr CSelfPrintStandard() = default;
  void Draw() override;
  void Reset() override;
  uint16_t NextRow() override;
  uint16_t RowOf(uint16_t usLine) override;
  uint16_t BandHeight(uint32_t ulBand) const { return m_ausBandHeights[ulBand]; }

 private:
  void DrawPatches(uint32_t ulRow, uint16_t usLevel);

  uint16_t m_ausBandHeights[kBands] = {};
  uint16_t m_usBandLineCount = 0;
  uint16_t m_usCurrentBand = 0;
};

// The pattern stored in flash (g_AmsPatternData holds its rows).
class CSelfPrintAMS final : public CSelfPrint {
 public:
  static void ResetInstances() { s_usInstances = 0; }
  // Also points g_pAmsPatternAddr at the pattern in flash.
  explicit CSelfPrintAMS(GlobalBuild);
  constexpr CSelfPrintAMS() = default;
  void Draw() override;
  void Reset() override;
  uint16_t NextRow() override;
  uint16_t RowOf(uint16_t usLine) override;

 private:
  static constinit inline uint16_t s_usInstances = 0;
};

#undef SELF_PRINT_COUNTED

#define SELF_PRINT_OBJECTS(X) \
  X(CSelfPrintGray, g_SelfPrintGray) \
  X(CSelfPrintCross, g_SelfPrintCross) \
  X(CSelfPrintLevel8, g_SelfPrintLevel8) \
  X(CSelfPrintLevel8Letter, g_SelfPrintLevel8Letter) \
  X(CSelfPrintStandard, g_SelfPrintStandard) \
  X(CSelfPrintRegi, g_SelfPrintRegi) \
  X(CSelfPrintHPatern, g_SelfPrintHPatern) \
  X(CSelfPrintString, g_SelfPrintString) \
  X(CSelfPrintAMS, g_SelfPrintAMS)

#define SELF_PRINT_DECLARE(Class, name) extern Class name##Y, name##M, name##C;
SELF_PRINT_OBJECTS(SELF_PRINT_DECLARE)
#undef SELF_PRINT_DECLARE

// The pattern objects of planes Y, M and C for the internal image printed
// next; null until a pattern is installed.
extern CSelfPrint* g_pSelfPrintY;
extern CSelfPrint* g_pSelfPrintM;
extern CSelfPrint* g_pSelfPrintC;

// Installs the three grey objects as the patterns of planes Y, M and C.
void InstallGrayPatterns();

// Builds the three drawers, g_AmsPatternData and the 27 pattern objects in
// their construction order (each class Y, M, C).
void BuildTestPrintObjects();
