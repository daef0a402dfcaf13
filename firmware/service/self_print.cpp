// The pattern base, the pattern objects and their construction, and the
// two simplest patterns (the uniform field and the cross grid).
#include "firmware/service/self_print.h"

#include "firmware/hal/global.h"
#include "firmware/service/ams_pattern_data.h"

#define SELF_PRINT_DEFINE(Class, name) constinit Class name##Y, name##M, name##C;
SELF_PRINT_OBJECTS(SELF_PRINT_DEFINE)
#undef SELF_PRINT_DEFINE

CSelfPrint* g_pSelfPrintY;
CSelfPrint* g_pSelfPrintM;
CSelfPrint* g_pSelfPrintC;

void BuildTestPrintObjects() {
  hal::ConstructGlobal(g_DrawPartsRectY, kGlobalBuild);
  hal::ConstructGlobal(g_DrawPartsRectM, kGlobalBuild);
  hal::ConstructGlobal(g_DrawPartsRectC, kGlobalBuild);
  hal::ConstructGlobal(g_AmsPatternData, kGlobalBuild);
#define SELF_PRINT_BUILD(Class, name)             \
  hal::ConstructGlobal(name##Y, kGlobalBuild); \
  hal::ConstructGlobal(name##M, kGlobalBuild); \
  hal::ConstructGlobal(name##C, kGlobalBuild);
  SELF_PRINT_OBJECTS(SELF_PRINT_BUILD)
#undef SELF_PRINT_BUILD
}

void InstallGrayPatterns() {
  g_pSelfPrintY = &g_SelfPrintGrayY;
  g_pSelfPrintM = &g_SelfPrintGrayM;
  g_pSelfPrintC = &g_SelfPrintGrayC;
}

// ---- the base -----------------------------------------------------------------------------

void CSelfPrint::Draw() {}

void CSelfPrint::Reset() { m_usLineCounter = 0; }

uint16_t CSelfPrint::NextRow() { return 0; }

uint16_t CSelfPrint::RowOf(uint16_t) { return 0; }

void CSelfPrint::TakePlane(uint16_t usInstance) {
  CDrawPartsRect* const apDrawers[] = {nullptr, &g_DrawPartsRectY, &g_DrawPartsRectM, &g_DrawPartsRectC};
  const bool bKnown = usInstance >= 1 && usInstance <= 3;
  m_usPlane = bKnown ? usInstance : 0;
  m_pDrawer = apDrawers[bKnown ? usInstance : 0];
}

void CSelfPrint::Rect(uint32_t ulColumn, uint32_t ulRow, uint32_t ulWidth, PlaneLevels levels, uint32_t ulHeight) {
  if (m_pDrawer == nullptr) return;
  m_pDrawer->SetLevels(levels);
  m_pDrawer->SetColumn(static_cast<uint16_t>(ulColumn));
  m_pDrawer->SetRow(static_cast<uint16_t>(ulRow));
  m_pDrawer->SetWidth(static_cast<uint16_t>(ulWidth));
  m_pDrawer->SetHeight(static_cast<uint16_t>(ulHeight));
  m_pDrawer->Fill();
}

void CSelfPrint::FullRow(uint32_t ulRow, uint16_t usLevel, uint32_t ulHeight) {
  Rect(0, ulRow, DrawingPrintSize().ulPrintWidth, AllLevels(usLevel), ulHeight);
}

// ---- the uniform field ------------------------------------------------------------------

void CSelfPrintGray::Draw() { FullRow(0, m_usLevel); }

// ---- the cross grid -----------------------------------------------------------------------

namespace {
constexpr uint32_t kCrossPitch = 48;
constexpr uint32_t kCrossStroke = 4;
}  // namespace

void CSelfPrintCross::Draw() {
  const uint32_t ulWidth = DrawingPrintSize().ulPrintWidth;
  FullRow(0, 255);
  FullRow(1, 0);
  for (uint32_t k = 1; k <= ulWidth / kCrossPitch; ++k) Rect(kCrossPitch * k, 1, kCrossStroke, AllLevels(255));
}

uint16_t CSelfPrintCross::RowOf(uint16_t usLine) { return usLine % kCrossPitch < kCrossStroke ? 0 : 1; }

uint16_t CSelfPrintCross::NextRow() {
  const uint16_t usRow = m_usLineCounter < kCrossStroke ? 0 : 1;
  m_usLineCounter = static_cast<uint16_t>(m_usLineCounter + 1);
  if (m_usLineCounter >= kCrossPitch) m_usLineCounter = 0;
  return usRow;
}
