#include "sim/mechanism/printed_sheets.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace sim {

namespace {
constexpr uint16_t kPlaneOvercoat = 3;
constexpr uint16_t kPlaneSp = 4;
constexpr uint16_t kColourPlanes[] = {0, 1, 2, kPlaneSp};
}  // namespace

bool PrintedSheet::HasColour() const {
  return std::any_of(std::begin(kColourPlanes), std::end(kColourPlanes), [this](uint16_t code) { return Has(code); });
}

void PrintedSheet::Add(const PrintRecorder::Plane& plane) {
  if (plane.planeCode >= kPlanes) return;
  std::vector<uint8_t>& density = m_density[plane.planeCode];
  density.assign(static_cast<size_t>(kDots) * plane.lines.size(), 0);
  for (size_t line = 0; line < plane.lines.size(); ++line) {
    const std::vector<uint16_t>& words = plane.lines[line].words;
    const size_t dots = std::min<size_t>(kDots, words.size());
    for (size_t x = 0; x < dots; ++x) density[line * kDots + x] = Density(words[x]);
  }
  m_has[plane.planeCode] = true;
  m_lines[plane.planeCode] = static_cast<uint32_t>(plane.lines.size());
}

uint8_t PrintedSheet::DensityAt(uint16_t planeCode, uint32_t x, uint32_t line) const {
  return line < Lines(planeCode) ? m_density[planeCode][static_cast<size_t>(line) * kDots + x] : 0;
}

SheetImage PrintedSheet::Colour() const {
  uint32_t height = 0;
  for (uint16_t code : kColourPlanes) height = std::max(height, Lines(code));
  SheetImage image(kDots, height, 3, 255);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < kDots; ++x) {
      const uint32_t sp = DensityAt(kPlaneSp, x, y);
      // Red from C, green from M, blue from Y.
      for (uint32_t channel = 0; channel < 3; ++channel) {
        const uint32_t value = 255u - DensityAt(static_cast<uint16_t>(2 - channel), x, y);
        image.At(x, y, channel) = static_cast<uint8_t>(value > sp ? value - sp : 0);
      }
    }
  }
  return image;
}

SheetImage PrintedSheet::Overcoat() const {
  const uint32_t height = Lines(kPlaneOvercoat);
  SheetImage image(kDots, height, 1, 255);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < kDots; ++x) image.At(x, y) = static_cast<uint8_t>(255 - DensityAt(kPlaneOvercoat, x, y));
  }
  return image;
}

std::string PrintedSheet::Name(const char* suffix) const {
  char name[64];
  std::snprintf(name, sizeof name, "sheet-%04u-%c%s.png", m_number, m_unit == 0 ? 'L' : 'R', suffix);
  return name;
}

std::string PrintedSheet::ColourName() const { return Name(""); }
std::string PrintedSheet::OvercoatName() const { return Name("-overcoat"); }

void PrintedSheets::Attach(PrintRecorder& recorder) {
  recorder.AddPlaneObserver([this](const PrintRecorder::Plane& plane) { Take(plane); });
}

const PrintedSheet* PrintedSheets::Current(uint32_t unit) const {
  return unit < m_current.size() && m_current[unit] ? &*m_current[unit] : nullptr;
}

void PrintedSheets::Take(const PrintRecorder::Plane& plane) {
  if (plane.unit >= m_current.size()) return;
  std::optional<PrintedSheet>& current = m_current[plane.unit];
  if (!current || current->Has(plane.planeCode)) current.emplace(++m_count, plane.unit);
  current->Add(plane);
  if (!m_folder.empty()) Write(*current, plane.planeCode);
}

void PrintedSheets::Write(const PrintedSheet& sheet, uint16_t planeCode) {
  const bool bOvercoat = planeCode == kPlaneOvercoat;
  const SheetImage image = bOvercoat ? sheet.Overcoat() : sheet.Colour();
  if (image.height == 0) return;  // a plane of no lines
  const std::string path = m_folder + "/" + (bOvercoat ? sheet.OvercoatName() : sheet.ColourName());
  if (!sheet_png::WriteFile(path, image)) ++m_writeFailures;
}

PrintedSheets* InstallPrintedSheets(Board& board, const std::string& folder) {
  PrintRecorder* pRecorder = board.FindDevice<PrintRecorder>();
  if (pRecorder == nullptr) return nullptr;
  if (!folder.empty()) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
  }
  PrintedSheets& sheets = board.AddDevice<PrintedSheets>(folder);
  sheets.Attach(*pRecorder);
  return &sheets;
}

}  // namespace sim
