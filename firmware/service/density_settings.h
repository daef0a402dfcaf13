// The six density settings of a head unit in menu order (YMC, Low, Lm, Mt,
// Mt2, SP), shared by the density editor and the head-information screens.
#pragma once

#include <cstdint>

class CParameter;

struct DensityItem {
  CParameter* apMajor[2];  // unit L, unit R
  CParameter* apMinor[2];  // null: a whole-number setting
};

constexpr uint32_t DENSITY_ITEMS = 6;
extern const DensityItem g_DensityItems[DENSITY_ITEMS];
