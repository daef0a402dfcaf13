#include "sim/mechanism/ribbon_spool.h"

#include <cmath>
#include <cstring>

#include "sim/mechanism/enum_index.h"

namespace sim {

namespace {

constexpr RibbonTypeData kTypes[] = {
    {"mark8x10", 1485, 301, 65.0},    {"mark8x12", 1485, 251, 65.0},    {"color8x10k1", 1218, 301, 65.0},
    {"color8x12k1", 1422, 251, 64.0}, {"color8x10k2", 1218, 301, 65.0}, {"color8x12k2", 1422, 251, 64.0},
};
static_assert(sizeof kTypes / sizeof kTypes[0] == Index(RibbonType::Count));

}  // namespace

const RibbonTypeData& DataOf(RibbonType type) { return kTypes[Index(type) % Index(RibbonType::Count)]; }

bool ParseRibbonType(const char* pszName, RibbonType* pType) {
  for (uint32_t i = 0; i < Index(RibbonType::Count); ++i) {
    if (std::strcmp(pszName, kTypes[i].pszName) == 0) {
      *pType = static_cast<RibbonType>(i);
      return true;
    }
  }
  return false;
}

double FullRollLength(RibbonType type) {
  const RibbonTypeData& d = DataOf(type);
  return static_cast<double>(d.mmPerPrint * d.printsPerRoll);
}

double RibbonThickness(RibbonType type) {
  const double full = DataOf(type).fullDiameter;
  const double n = FullRollLength(type);
  return (full * full - kCoreDiameter * kCoreDiameter) / (4.0 * (n / kRibbonPi - (full - kCoreDiameter) / 2.0));
}

double LengthOfTurns(double turns, double thickness) {
  return ((turns + 1.0) * thickness + kCoreDiameter) * turns * kRibbonPi;
}

double TurnsOfLength(double length, double thickness) {
  if (length <= 0) return 0;
  const double a = thickness + kCoreDiameter;
  return (std::sqrt(a * a + 4.0 * thickness * length / kRibbonPi) - a) / 2.0 / thickness;
}

double DiameterOfTurns(double turns, double thickness) { return kCoreDiameter + 2.0 * turns * thickness; }

double LengthPerTurn(double turns, double thickness) {
  return ((2.0 * turns + 1.0) * thickness + kCoreDiameter) * kRibbonPi;
}

}  // namespace sim
