// The printed sheets, composed from the print record's planes as each
// ends, line by line: line i of every plane of a sheet is row i of its
// pictures, dot x its column (kLineWords dots across).
// - The colour picture (RGB) from planes Y, M and C: a word's density is
//   min(255, word / 64) and the channel 255 - density, red from C, green
//   from M, blue from Y; paper without dye (no line, no plane) is white. The
//   SP plane's density darkens all three channels (clamped at 0).
// - The overcoat picture (grey) of the overcoat plane: 255 - density.
// - A sheet belongs to one unit; a plane code that comes again on that unit
//   starts the unit's next sheet. Sheets are numbered from 1 in the order
//   they start, over both units.
// With a folder, a sheet's colour file is written at the end of each of its
// colour and SP planes, its overcoat file at the end of its overcoat plane
// (so both are complete when its last plane ends): sheet-NNNN-L.png and
// sheet-NNNN-L-overcoat.png (unit R: -R), as sheet_png.h writes them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/board.h"
#include "sim/mechanism/print_recorder.h"
#include "sim/mechanism/sheet_png.h"

namespace sim {

class PrintedSheet {
 public:
  static constexpr uint32_t kDots = HeadDriveBlock::kLineWords;

  PrintedSheet(uint32_t number, uint32_t unit) : m_number(number), m_unit(unit) {}
  uint32_t Number() const { return m_number; }
  uint32_t Unit() const { return m_unit; }
  bool Has(uint16_t planeCode) const { return planeCode < kPlanes && m_has[planeCode]; }
  bool HasColour() const;
  // Takes a plane's densities (replacing one of the same code).
  void Add(const PrintRecorder::Plane& plane);
  SheetImage Colour() const;
  SheetImage Overcoat() const;
  // The file names of the sheet, without the folder.
  std::string ColourName() const;
  std::string OvercoatName() const;

  static uint8_t Density(uint16_t word) { return static_cast<uint8_t>(word / 64u > 255u ? 255u : word / 64u); }

 private:
  static constexpr uint16_t kPlanes = PrintRecorder::kPlaneCodes;
  uint8_t DensityAt(uint16_t planeCode, uint32_t x, uint32_t line) const;
  uint32_t Lines(uint16_t planeCode) const { return m_has[planeCode] ? m_lines[planeCode] : 0; }
  std::string Name(const char* suffix) const;

  uint32_t m_number;
  uint32_t m_unit;
  std::array<bool, kPlanes> m_has{};
  std::array<uint32_t, kPlanes> m_lines{};
  std::array<std::vector<uint8_t>, kPlanes> m_density;  // kDots per line
};

class PrintedSheets final : public DeviceModel {
 public:
  // `folder` empty: writes nothing.
  explicit PrintedSheets(std::string folder) : m_folder(std::move(folder)) {}
  // Hears of the recorder's planes as they end.
  void Attach(PrintRecorder& recorder);
  PrintedSheets(const PrintedSheets&) = delete;
  PrintedSheets& operator=(const PrintedSheets&) = delete;

  // Sheets started so far; a unit's current sheet (nullptr before its first).
  uint32_t Count() const { return m_count; }
  const PrintedSheet* Current(uint32_t unit) const;
  // Files that could not be written.
  uint32_t WriteFailures() const { return m_writeFailures; }
  // An ended plane (the recorder's planes come here).
  void Take(const PrintRecorder::Plane& plane);

 private:
  void Write(const PrintedSheet& sheet, uint16_t planeCode);

  std::string m_folder;
  uint32_t m_count = 0;
  uint32_t m_writeFailures = 0;
  std::array<std::optional<PrintedSheet>, PrintRecorder::kUnits> m_current;
};

// Installs the sheets on the board's print recorder (after it), writing
// into `folder` (empty: nothing).
PrintedSheets* InstallPrintedSheets(Board& board, const std::string& folder);

}  // namespace sim
