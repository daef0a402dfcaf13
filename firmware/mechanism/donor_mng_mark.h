// The mark-sensor ribbon manager: finds the ribbon panels by the four
// reflective mark sensors beside the ribbon and identifies the ribbon by
// its panel marks. In use while the ribbon control type is 0.
#pragma once

#include "firmware/mechanism/donor_mng.h"

class CDonorMng_MarkSen final : public CDonorMng {
 public:
  constexpr CDonorMng_MarkSen() = default;
  explicit CDonorMng_MarkSen(GlobalBuild build) : CDonorMng(build) {}
};

extern CDonorMng_MarkSen g_DonorMngMarkSenL;
extern CDonorMng_MarkSen g_DonorMngMarkSenR;
