// What lies along one unit's ribbon tape: the panels of each print, their
// marks and the roll's barcode, and which of them the sensors beside the
// tape and the head see.
//
// Tape coordinates are print lines (1/300 inch) from the start of a Y
// panel; the tape moves towards the take-up, so a point on the supply
// side of the head has a larger coordinate than the head's.
// - Colour types: panels Y, M, C and L, each of the type's edge lines long,
//   the print's remaining lines a clear gap before the next Y. The colour
//   sensor sits kColorSensorLines (the engine's line offset less 24) before
//   the head on the supply side.
// - Mark types: the first kMarkBandLines of each panel carry the type's
//   mark pattern for the four mark sensors; elsewhere they show the pattern
//   of panels 1-3.
// - Barcode: the type's template (run widths, bars first) repeated along
//   the tape without a gap. Its coordinate is the supply encoder's counts
//   of tape unwound from the supply, a width unit kBarcodeUnitCounts: every
//   7 counts carry 4 samples of the donor check's barcode run, 5 samples a
//   unit, whatever the supply's diameter, and one turn of the code (56
//   units, 490 counts) fits the run's window of 503 counts wherever a
//   panel boundary puts it.
// - The last kLeaderMm of the supply are a clear leader without panels.
#pragma once

#include <array>
#include <cstdint>

#include "sim/mechanism/ribbon_colors.h"
#include "sim/mechanism/ribbon_spool.h"

namespace sim {

class RibbonTape {
 public:
  static constexpr double kMmPerLine = 25.4 / 300.0;
  static constexpr uint32_t kMarkBandLines = 118;
  static constexpr uint32_t kLineOffsetEm3 = 410;
  static constexpr uint32_t kLineOffsetEm2 = 413;
  static constexpr uint32_t kMarkSensors = 4;
  // The barcode's width unit in supply counts: 5 bits of 4 per 7 counts.
  static constexpr double kBarcodeUnitCounts = 5 * 7.0 / 4.0;
  // The donor check's barcode window: from more than 124 to more than 627
  // supply counts after the run's start.
  static constexpr double kBarcodeWindowCounts = 627 - 124;

  explicit RibbonTape(RibbonType type, uint32_t lineOffset = kLineOffsetEm3);

  // ---- the tape's layout ----
  uint32_t LinesPerPrint() const;
  uint32_t PanelLines(Panel panel) const;
  // The first line of a panel within its print.
  uint32_t PanelStart(Panel panel) const;
  // The panel at a coordinate; None in the clear gap after a print's L.
  Panel PanelAt(double line) const;
  // The mark sensors' states (1: mark) at a coordinate.
  std::array<bool, kMarkSensors> MarksAt(double line) const;
  // The barcode at a coordinate (supply counts): true on a bar.
  bool BarcodeBarAt(double supplyCounts) const;
  // The supply counts of one turn of the code.
  double BarcodePeriodCounts() const;
  // Fault switch: panels so short (lines; 0 the type's own) that two of
  // them pass within the barcode window.
  void SetShortPanels(uint32_t lines) { m_shortPanelLines = lines; }

  // ---- where the tape stands ----
  // The head's coordinate for a tape position (mm moved since power-on).
  double HeadLine(double tapeMm) const { return m_offsetLines + tapeMm / kMmPerLine; }
  double ColorSensorLine(double tapeMm) const { return HeadLine(tapeMm) + ColorSensorLines(); }
  uint32_t ColorSensorLines() const { return m_lineOffset - 24; }
  // The engine's line offset (kLineOffsetEm3 or kLineOffsetEm2).
  void SetLineOffset(uint32_t lineOffset) { m_lineOffset = lineOffset; }
  // Places the tape so that at tape position tapeMm the head stands
  // `into` lines into the panel.
  void Place(double tapeMm, Panel panel, double into);
  // Places the tape so that at tape position tapeMm the head stands at
  // coordinate `line`.
  void PlaceHeadAt(double tapeMm, double line) { m_offsetLines = line - tapeMm / kMmPerLine; }
  // The panel under the colour sensor, with the supply's length (mm at the
  // head): the gap and the leader read like the overcoat, no ribbon as
  // None. Under the head the gap and the leader are None and Overcoat.
  Panel PanelAtColorSensor(double tapeMm, double supplyMm, bool bRibbon) const;
  Panel PanelAtHead(double tapeMm, double supplyMm, bool bRibbon) const;

 private:
  RibbonType m_type;
  uint32_t m_lineOffset;
  double m_offsetLines = 0;
  uint32_t m_shortPanelLines = 0;
};

}  // namespace sim
