// What the ribbon manager shares with the idle supervision and the unit
// switch: the slack take-up counts, the ribbon-roll models and each unit's
// ribbon-type index into its row of models.
#pragma once

#include <cstdint>

// Ribbon slack take-up attempts per unit, counted by the take-up sequence.
extern uint32_t g_ulSlackTakeUpCountL;
extern uint32_t g_ulSlackTakeUpCountR;

// The remaining ribbon of a unit (0 unit L, 1 unit R) in percent, from the
// ribbon-roll model its type index selects.
uint32_t GetRibbonRemainPercent(uint32_t ulUnit);

// A ribbon-roll model: one ribbon type of one unit.
class CRibbonRoll {
 public:
  constexpr CRibbonRoll() = default;
  virtual int32_t GetRemainPercent(uint32_t* pulPercent);

 protected:
  ~CRibbonRoll() = default;
};

#define RIBBON_ROLL_CLASS(name)                 \
  class name final : public CRibbonRoll {       \
   public:                                      \
    constexpr name() = default;                 \
  };
RIBBON_ROLL_CLASS(CRibbonRollMark8x10)
RIBBON_ROLL_CLASS(CRibbonRollMark8x12)
RIBBON_ROLL_CLASS(CRibbonRollColor8x10K1)
RIBBON_ROLL_CLASS(CRibbonRollColor8x12K1)
RIBBON_ROLL_CLASS(CRibbonRollColor8x10K2)
RIBBON_ROLL_CLASS(CRibbonRollColor8x12K2)
#undef RIBBON_ROLL_CLASS

// The twelve models, unit L then unit R of each type.
struct RibbonRollModels {
  CRibbonRollMark8x10 mark8x10L, mark8x10R;
  CRibbonRollMark8x12 mark8x12L, mark8x12R;
  CRibbonRollColor8x10K1 color8x10K1L, color8x10K1R;
  CRibbonRollColor8x12K1 color8x12K1L, color8x12K1R;
  CRibbonRollColor8x10K2 color8x10K2L, color8x10K2R;
  CRibbonRollColor8x12K2 color8x12K2L, color8x12K2R;
};
extern RibbonRollModels g_RibbonRolls;

// Each unit's ribbon type: the index into its row of models (0-4, on an
// entry that names a model).
extern uint32_t g_ulRibbonTypeIndexL;
extern uint32_t g_ulRibbonTypeIndexR;
