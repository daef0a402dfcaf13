// The ribbon rolls the printer takes: six types, and the geometry of a
// spool of ribbon wound round a 31.75 mm core.
//
// A type's ribbon thickness t follows from a full roll: with D the full
// supply diameter, d the core and n the roll's length (mm per print times
// prints per roll), t = (D*D - d*d) / (4 (n / pi - (D - d) / 2)). A spool
// of N turns (layers, a real number) then holds
//     L(N) = ((N + 1) t + d) N pi
// of ribbon at a diameter of d + 2 N t; the inverse gives the turns a
// length needs. So a full roll measures D, and a spool's turns are its
// angle: one turn of the spool winds or unwinds one layer. The firmware
// estimates its diameters with the same formulas and pi = 3.14159, which
// this model uses too, so that its estimates come out right.
#pragma once

#include <cstdint>

namespace sim {

enum class RibbonType : uint8_t { Mark8x10, Mark8x12, Color8x10K1, Color8x12K1, Color8x10K2, Color8x12K2, Count };

struct RibbonTypeData {
  const char* pszName;  // the option name: mark8x10 ... color8x12k2
  uint32_t mmPerPrint;
  uint32_t printsPerRoll;
  double fullDiameter;  // mm, of a full supply spool
};
const RibbonTypeData& DataOf(RibbonType type);
bool ParseRibbonType(const char* pszName, RibbonType* pType);

constexpr double kRibbonPi = 3.14159;
constexpr double kCoreDiameter = 31.75;

// Thickness in mm (Mark8x10: about 0.00565).
double RibbonThickness(RibbonType type);
// Ribbon on a full roll, mm.
double FullRollLength(RibbonType type);

// The layer formula for ribbon of thickness t on a core of kCoreDiameter.
double LengthOfTurns(double turns, double thickness);
double TurnsOfLength(double length, double thickness);
double DiameterOfTurns(double turns, double thickness);
// Ribbon that one more turn winds at `turns`: dL/dN.
double LengthPerTurn(double turns, double thickness);

}  // namespace sim
