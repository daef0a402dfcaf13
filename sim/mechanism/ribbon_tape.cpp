#include "sim/mechanism/ribbon_tape.h"

#include <cmath>

#include "sim/mechanism/ribbon_transport.h"

namespace sim {

namespace {

struct TapeLayout {
  uint32_t linesPerPrint;
  std::array<uint32_t, 4> panelLines;  // Y, M, C, L
  std::array<std::array<bool, 4>, 4> marks;
  std::array<uint8_t, 17> barcode;  // widths, 255 after the last
};

constexpr std::array<std::array<bool, 4>, 4> Marks(bool a, bool b, bool c, bool d) {
  return {{{a, b, c, d}, {false, false, true, true}, {false, false, true, true}, {false, false, true, true}}};
}
constexpr std::array<std::array<bool, 4>, 4> kNoMarks{};

// clang-format off
constexpr TapeLayout kLayouts[static_cast<uint32_t>(RibbonType::Count)] = {
    {17532, {4085, 4085, 4085, 4085}, Marks(true, true, false, false),
     {14, 2, 2, 2, 2, 6, 2, 2, 2, 6, 2, 2, 2, 6, 2, 2, 255}},
    {17532, {4085, 4085, 4085, 4085}, Marks(true, false, true, false),
     {14, 2, 2, 2, 2, 6, 2, 2, 6, 2, 2, 2, 2, 6, 2, 2, 255}},
    {14386, {3596, 3596, 3596, 3596}, kNoMarks, {14, 2, 2, 2, 2, 6, 2, 4, 12, 6, 2, 2, 255}},
    {16798, {4196, 4196, 4202, 4202}, kNoMarks, {14, 2, 2, 2, 2, 6, 2, 8, 8, 6, 2, 2, 255}},
    {14386, {3596, 3596, 3596, 3596}, kNoMarks, {14, 2, 2, 2, 2, 6, 10, 4, 4, 6, 2, 2, 255}},
    {16798, {4196, 4196, 4202, 4202}, kNoMarks, {14, 2, 2, 2, 2, 6, 6, 8, 4, 6, 2, 2, 255}},
};
// clang-format on

const TapeLayout& LayoutOf(RibbonType type) { return kLayouts[static_cast<uint32_t>(type)]; }

constexpr uint32_t kPanels = 4;

}  // namespace

RibbonTape::RibbonTape(RibbonType type, uint32_t lineOffset) : m_type(type), m_lineOffset(lineOffset) {}

namespace {
// The panels of a print as they lie: the type's, or all four short and
// without a gap.
struct PanelRun {
  uint32_t linesPerPrint;
  std::array<uint32_t, kPanels> panelLines;
};
PanelRun PanelsOf(RibbonType type, uint32_t shortLines) {
  if (shortLines == 0) return {LayoutOf(type).linesPerPrint, LayoutOf(type).panelLines};
  return {kPanels * shortLines, {shortLines, shortLines, shortLines, shortLines}};
}
}  // namespace

uint32_t RibbonTape::LinesPerPrint() const { return PanelsOf(m_type, m_shortPanelLines).linesPerPrint; }

uint32_t RibbonTape::PanelLines(Panel panel) const {
  const uint32_t index = static_cast<uint32_t>(panel);
  return index < kPanels ? PanelsOf(m_type, m_shortPanelLines).panelLines[index] : 0;
}

uint32_t RibbonTape::PanelStart(Panel panel) const {
  uint32_t start = 0;
  for (uint32_t i = 0; i < kPanels && i < static_cast<uint32_t>(panel); ++i) start += PanelLines(static_cast<Panel>(i));
  return start;
}

namespace {
// The position within its print, and the panel index there (4: the gap).
void Locate(const PanelRun& layout, double line, double* pInPanel, uint32_t* pPanel) {
  double inPrint = std::fmod(line, static_cast<double>(layout.linesPerPrint));
  if (inPrint < 0) inPrint += layout.linesPerPrint;
  for (uint32_t i = 0; i < kPanels; ++i) {
    if (inPrint < layout.panelLines[i]) {
      *pInPanel = inPrint;
      *pPanel = i;
      return;
    }
    inPrint -= layout.panelLines[i];
  }
  *pInPanel = inPrint;
  *pPanel = kPanels;
}
}  // namespace

Panel RibbonTape::PanelAt(double line) const {
  double inPanel = 0;
  uint32_t panel = 0;
  Locate(PanelsOf(m_type, m_shortPanelLines), line, &inPanel, &panel);
  return panel < kPanels ? static_cast<Panel>(panel) : Panel::None;
}

std::array<bool, RibbonTape::kMarkSensors> RibbonTape::MarksAt(double line) const {
  const TapeLayout& layout = LayoutOf(m_type);
  double inPanel = 0;
  uint32_t panel = 0;
  Locate(PanelsOf(m_type, m_shortPanelLines), line, &inPanel, &panel);
  const bool bBand = panel < kPanels && inPanel < kMarkBandLines;
  return layout.marks[bBand ? panel : 1];
}

namespace {
uint32_t BarcodeUnits(const TapeLayout& layout) {
  uint32_t units = 0;
  for (uint8_t width : layout.barcode) {
    if (width == 255) break;
    units += width;
  }
  return units;
}
}  // namespace

double RibbonTape::BarcodePeriodCounts() const { return BarcodeUnits(LayoutOf(m_type)) * kBarcodeUnitCounts; }

bool RibbonTape::BarcodeBarAt(double supplyCounts) const {
  const TapeLayout& layout = LayoutOf(m_type);
  const uint32_t units = BarcodeUnits(layout);
  if (units == 0) return false;
  double at = std::fmod(supplyCounts / kBarcodeUnitCounts, static_cast<double>(units));
  if (at < 0) at += units;
  for (uint32_t i = 0; layout.barcode[i] != 255; ++i) {
    if (at < layout.barcode[i]) return i % 2 == 0;
    at -= layout.barcode[i];
  }
  return false;
}

void RibbonTape::Place(double tapeMm, Panel panel, double into) {
  m_offsetLines = PanelStart(panel) + into - tapeMm / kMmPerLine;
}

Panel RibbonTape::PanelAtColorSensor(double tapeMm, double supplyMm, bool bRibbon) const {
  if (!bRibbon) return Panel::None;
  // The sensor's point reaches the head after ColorSensorLines more.
  if (supplyMm - ColorSensorLines() * kMmPerLine <= RibbonTransport::kLeaderMm) return Panel::Overcoat;
  // The clear gap between prints reads like the overcoat.
  const Panel panel = PanelAt(ColorSensorLine(tapeMm));
  return panel == Panel::None ? Panel::Overcoat : panel;
}

Panel RibbonTape::PanelAtHead(double tapeMm, double supplyMm, bool bRibbon) const {
  if (!bRibbon) return Panel::None;
  if (supplyMm <= RibbonTransport::kLeaderMm) return Panel::Overcoat;
  return PanelAt(HeadLine(tapeMm));
}

}  // namespace sim
