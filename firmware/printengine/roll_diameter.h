// The paper roll's diameter and the remaining paper it gives.
#pragma once

#include <cstdint>

#include "firmware/platform/saturate.h"

class CRollDiameter {
 public:
  static constexpr double kFullDiameterMm = 177.0;
  // Main-stepper steps per roll turn and roll-encoder counts per roll turn.
  static constexpr double kStepsPerTurn = 6262.31;
  static constexpr double kCountsPerTurn = 100.0 / 21.0 * 36.0;

  constexpr CRollDiameter() = default;
  // The remaining paper is unknown until the next load.
  int32_t ResetRemainPercent();
  int32_t GetRemainPercent(uint32_t* pulPercent) const;
  // The roll's diameter in mm.
  int32_t GetDiameter(double* pdDiameter) const;
  // The diameter from the main-stepper steps fed while the roll encoder
  // counted 36 (one turn of its wheel).
  int32_t SetFromSteps(uint32_t ulSteps);
  // The diameter as given, in mm.
  int32_t SetDiameter(double dDiameter);
  // Main-stepper steps for a number of roll-encoder counts: the integer
  // part of counts x 6262.31 / (100 / 21 x 36), doubled for step mode 2,
  // quadrupled for step mode 3, other modes as is; saturates at 2^32 - 1.
  int32_t LengthToSteps(uint32_t* pulSteps, uint32_t ulCounts, uint32_t ulStepMode) const;

 private:
  uint32_t m_ulRemainPercent = 100;
  double m_dDiameter = kFullDiameterMm;
};

extern CRollDiameter g_RollDiameter;

// 1 while the roll is near its end: a roll end once detected stays latched.
extern uint32_t g_ulRollEndArmed;
