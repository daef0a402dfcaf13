// The mark-sensor ribbon manager: finds the ribbon panels by the four
// reflective mark sensors beside the ribbon and identifies the ribbon by
// its panel marks. In use while the ribbon control type is 0.
#pragma once

#include "firmware/mechanism/donor_mng.h"

class CDonorMng_MarkSen final : public CDonorMng {
 public:
  // The pull-back before the mark pattern is read.
  static constexpr uint32_t kPullBackMs = 200;

  constexpr CDonorMng_MarkSen() = default;
  explicit CDonorMng_MarkSen(GlobalBuild build) : CDonorMng(build) {}

  // Looks for the phase's next panel, winding forward: SetRibbonPhase's
  // result, or -1 for a phase without a next panel (nothing driven).
  int32_t StartPanelSearch(uint32_t ulPhase) override;
  // The phase in its start direction; the roll-up phases 26-29 wait for a
  // target the caller sets. -1 (nothing driven) for a phase without one.
  int32_t StartPhase(uint32_t ulPhase, uint32_t ulIgnored) override;
  // 1 running, 0 done, -1 on a stall; the argument is not written.
  int32_t Step(uint32_t* pulIgnored) override;
  int32_t ResetDetection() override { return 0; }
  // Captures the marks of the panel under the sensors during a slow wind:
  // 1 running, 0 done, -1 on a stall or a failed read.
  int32_t FindMarkPattern() override;
  // 0 when the sensors show the search panel's pattern, 1 when not, -1 on
  // a stall (or the failed read's result).
  int32_t CheckPanelMarks() override;
  // The current unit's first model whose panel-0 pattern is the captured
  // one: 0, or -1 with the unit's "Incorrect Rib" (the model unchanged).
  int32_t IdentifyRibbonType() override;

 private:
  int32_t ReadMarks(uint32_t aulStates[4], uint32_t ulSensors) const;
  // Winds one supply count further, in state 2.
  int32_t WindOneCount();
  bool Stalled();
};

extern CDonorMng_MarkSen g_DonorMngMarkSenL;
extern CDonorMng_MarkSen g_DonorMngMarkSenR;
