// Conversions from double precision to unsigned integers that never leave
// the target's range: the mechanism models compute lengths, diameters and
// duties in double, and a division by a count of 0 or a blank setting can
// give an infinity or a NaN that a plain cast would turn into anything.
#pragma once

#include <cstdint>

// Truncated toward zero; below 0 gives 0, above 4294967295 gives
// 4294967295, NaN gives 0.
constexpr uint32_t SaturateToU32(double dValue) {
  if (!(dValue >= 0.0)) return 0;
  if (dValue >= 4294967295.0) return 0xFFFFFFFFu;
  return static_cast<uint32_t>(dValue);
}

// The quotient, or 0 for a divisor of 0 (the models' rule for a count or a
// length not known yet).
constexpr double DivideOrZero(double dNumerator, double dDenominator) {
  return dDenominator == 0.0 ? 0.0 : dNumerator / dDenominator;
}
