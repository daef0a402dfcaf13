// The paper roll's model: its diameter, the paper length left on it and
// that length as a percentage of a full roll, which arms the roll-end
// handling at the "Paper[%]" threshold. All arithmetic in double precision.
#pragma once

#include <cstdint>

#include "firmware/platform/global_build.h"

class CRollDiameter {
 public:
  static constexpr double kFullDiameterMm = 177.0;
  static constexpr double kCoreDiameterMm = 86.7;
  static constexpr double kPaperThicknessMm = 0.212;
  static constexpr double kMaxRemainLengthMm = 81100.0;
  static constexpr double kLinesPerInch = 300.0;
  static constexpr double kMmPerInch = 25.4;
  // The roll turns through this angle while a diameter is measured (36
  // roll-encoder counts); pi as the measurement takes it, and as the length
  // formula takes it.
  static constexpr double kMeasureAngleDeg = 75.6;
  static constexpr double kPiMeasure = 3.14;
  static constexpr double kPiLength = 3.14159;
  // Main-stepper steps per roll turn and roll-encoder counts per roll turn.
  static constexpr double kStepsPerTurn = 6262.31;
  static constexpr double kCountsPerTurn = 100.0 / 21.0 * 36.0;

  constexpr CRollDiameter() = default;
  // The machine definition's construction: a full diameter, nothing left.
  explicit CRollDiameter(GlobalBuild) : CRollDiameter() {}

  // The diameter from the main-stepper steps fed while the roll turned
  // through the measuring angle, limited to core .. full. The remaining
  // length is not recomputed. 0.
  int32_t SetFromSteps(uint32_t ulSteps);
  int32_t SetDiameter(double dDiameter);
  int32_t GetDiameter(double* pdDiameter) const;
  // The remaining length from the diameter, then the percentage. 0.
  int32_t Recalc();
  // Subtracts a used length in print lines (to 0.0 at most), then the
  // percentage. 0.
  int32_t ConsumeLength(uint32_t ulLines);
  // The percentage (or, without the colour-sensor ribbon control, the
  // prints left) and the roll-end arming from the remaining length. 0.
  int32_t RecalcRemainPercent();
  // The remaining paper is unknown until the next load.
  int32_t ResetRemainPercent();
  int32_t GetRemainPercent(uint32_t* pulPercent) const;
  // Main-stepper steps for a number of roll-encoder counts: the integer
  // part of counts x 6262.31 / (100 / 21 x 36), doubled for step mode 2,
  // quadrupled for step mode 3, other modes as is; saturates at 2^32 - 1.
  int32_t LengthToSteps(uint32_t* pulSteps, uint32_t ulCounts, uint32_t ulStepMode) const;

  double RemainLength() const { return m_dRemainLength; }

 private:
  double m_dDiameter = kFullDiameterMm;
  double m_dRemainLength = 0.0;
  int32_t m_lRemainPercent = 0;
};

extern CRollDiameter g_RollDiameter;
// 1 while the roll end is armed (the percentage at or below "Paper[%]").
extern uint32_t g_ulRollEndArmed;
