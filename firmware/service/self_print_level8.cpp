// The eight density steps (levels 255 - 32k in rows 0-7, L / 8 lines each)
// and the same steps with the internal test-print text under them.
#include "firmware/printengine/image_buffer.h"
#include "firmware/service/self_print.h"
#include "firmware/service/test_print_info.h"

namespace {

constexpr uint16_t kLastStep = 7;
constexpr uint16_t kTextFirstRow = 8;
constexpr uint16_t kTextRows = 128;
constexpr uint16_t kLastRow = kTextFirstRow + kTextRows;  // 136
constexpr uint16_t kStripLines = 10;
constexpr uint16_t kTextLevel = 31;

uint16_t StepHeight() { return static_cast<uint16_t>(DrawingPrintSize().ulPrintLength / 8); }

}  // namespace

// ---- eight steps ------------------------------------------------------------------------

void CSelfPrintLevel8::Draw() {
  m_usBandHeight = StepHeight();
  for (uint32_t k = 0; k <= kLastStep; ++k) FullRow(k, static_cast<uint16_t>(255 - 32 * k));
}

uint16_t CSelfPrintLevel8::RowOf(uint16_t usLine) {
  const uint32_t b = m_usBandHeight != 0 ? usLine / m_usBandHeight : kLastStep;
  return static_cast<uint16_t>(b < kLastStep ? b : kLastStep);
}

void CSelfPrintLevel8::Reset() {
  m_usBandLineCount = 0;
  m_usCurrentRow = 0;
}

uint16_t CSelfPrintLevel8::NextRow() {
  m_usBandLineCount = static_cast<uint16_t>(m_usBandLineCount + 1);
  if (m_usBandLineCount == m_usBandHeight) {
    if (m_usCurrentRow < kLastStep) ++m_usCurrentRow;
    m_usBandLineCount = 0;
  }
  return m_usCurrentRow;
}

// ---- eight steps with text --------------------------------------------------------------

void CSelfPrintLevel8Letter::Draw() { DrawWithSide(0); }

void CSelfPrintLevel8Letter::DrawWithSide(uint32_t ulSide) {
  m_usBandHeight = StepHeight();
  for (uint32_t k = 0; k <= kLastStep; ++k) FullRow(k, static_cast<uint16_t>(255 - 32 * k));
  FullRow(kTextFirstRow, kTextLevel, kTextRows);
  FullRow(kLastRow, kTextLevel);
  if (m_pDrawer == nullptr) return;
  m_ulTextOrigin = IMAGE_BUFFER_BASE + m_pDrawer->GetBase() + kLastStep * DrawingPrintSize().ulPrintWidth;
  DrawTestPrintInfo(*this, ulSide);
}

uint16_t CSelfPrintLevel8Letter::RowOf(uint16_t usLine) {
  const uint32_t b = m_usBandHeight != 0 ? usLine / m_usBandHeight : kLastStep;
  if (b < kLastStep) return static_cast<uint16_t>(b);
  const uint32_t ulStrip = kLastStep * static_cast<uint32_t>(m_usBandHeight) + kStripLines;
  if (usLine < ulStrip) return kLastStep;
  if (usLine < ulStrip + 2u * kTextRows) return static_cast<uint16_t>(kTextFirstRow + (usLine - ulStrip) / 2);
  return kLastRow;
}

void CSelfPrintLevel8Letter::Reset() {
  m_usBandLineCount = 0;
  m_usCurrentRow = 0;
}

uint16_t CSelfPrintLevel8Letter::NextRow() {
  m_usBandLineCount = static_cast<uint16_t>(m_usBandLineCount + 1);
  const uint16_t r = m_usCurrentRow;
  uint16_t usRunLength = m_usBandHeight;
  if (r == kLastStep) {
    usRunLength = kStripLines;
  } else if (r >= kTextFirstRow && r < kLastRow) {
    usRunLength = 2;
  }
  if (m_usBandLineCount == usRunLength) {
    if (m_usCurrentRow < kLastRow) ++m_usCurrentRow;
    m_usBandLineCount = 0;
  }
  return m_usCurrentRow;
}
