// The colour-sensor ribbon manager: finds the ribbon panels by the unit's
// colour sensor read under a red, a green or a blue LED. The start-up sets
// the colour-sensor ribbon control, so these are the managers in use.
//
// A search walks the roll's colour steps: a step is complete once six
// valid readings in a row show its sensor's expected level, and the edge of
// the target step's panel is the supply count at the first of the six.
// During a print plane the search first waits for the paper (main-stepper
// steps counted by the FPGA interrupt), then samples; once the edge is
// found the ribbon stops the stop distance behind it.
#pragma once

#include "firmware/mechanism/donor_mng.h"

class CDonorMng_ColorSen final : public CDonorMng {
 public:
  // Matching readings that complete a colour step; mismatches below this
  // many are forgotten at the next match.
  static constexpr uint32_t kMatchesPerStep = 6;
  // Supply counts without the next level after the last edge: no usable
  // ribbon.
  static constexpr int32_t kEmptyCounts = 3800;

  constexpr CDonorMng_ColorSen() = default;
  explicit CDonorMng_ColorSen(GlobalBuild build) : CDonorMng(build) {}

  int32_t SearchWait() override;
  int32_t SearchSample() override;
  int32_t SearchStop() override;
  // A search during the phases 1-7 (the planes and the initial winds),
  // sampling after the plane's wait: SetRibbonPhase's result, or -1 for
  // any other phase (nothing driven).
  int32_t StartPanelSearch(uint32_t ulPhase) override;
  // A search with sampling at once for the phases with a start direction
  // (8-23, 26-29): SetRibbonPhase's result, or -1 (nothing driven).
  int32_t StartPhase(uint32_t ulPhase, uint32_t ulIgnored) override;
  int32_t Step(uint32_t* pulDone) override;
  int32_t MeasurePanelColor(uint32_t ulRequireMotion, uint32_t* pulFound) override;
  int32_t GetEdgeCount(uint32_t* pulCount) override;
  int32_t SetEdgeCount(uint32_t ulCount) override;
  int32_t ResetDetection() override;
};

extern CDonorMng_ColorSen g_DonorMngColorSenL;
extern CDonorMng_ColorSen g_DonorMngColorSenR;
