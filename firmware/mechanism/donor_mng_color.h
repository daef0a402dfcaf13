// The colour-sensor ribbon manager: finds the ribbon panels by the unit's
// colour sensor read under a red, a green or a blue LED. The start-up sets
// the colour-sensor ribbon control, so these are the managers in use.
#pragma once

#include "firmware/mechanism/donor_mng.h"

class CDonorMng_ColorSen final : public CDonorMng {
 public:
  constexpr CDonorMng_ColorSen() = default;
  explicit CDonorMng_ColorSen(GlobalBuild build) : CDonorMng(build) {}
};

extern CDonorMng_ColorSen g_DonorMngColorSenL;
extern CDonorMng_ColorSen g_DonorMngColorSenR;
