// The ribbon phases: what each phase of the ribbon drive does with the two
// ribbon motors of the current unit, at which pair of duty settings, and
// which panel its panel search looks for.
#pragma once

#include <cstdint>

enum RibbonPhase : uint32_t {
  RIBPH_TENSION = 0,
  RIBPH_PRINT_Y,
  RIBPH_PRINT_M,
  RIBPH_PRINT_C,
  RIBPH_INIT_TO_L,
  RIBPH_PRINT_L,
  RIBPH_INIT_TO_Y,
  RIBPH_INIT_TO_Y_SHORT,
  RIBPH_WIND_Y,
  RIBPH_SLOW_WIND_Y,
  RIBPH_WIND_M,
  RIBPH_SLOW_WIND_M,
  RIBPH_WIND_C,
  RIBPH_SLOW_WIND_C,
  RIBPH_WIND_L,
  RIBPH_SLOW_WIND_L,
  RIBPH_ROLLBACK_Y,
  RIBPH_ROLLBACK_M,
  RIBPH_ROLLBACK_C,
  RIBPH_ROLLBACK_L,
  RIBPH_ROLLBACK_INIT_Y,
  RIBPH_ROLLBACK_INIT_M,
  RIBPH_ROLLBACK_INIT_C,
  RIBPH_ROLLBACK_INIT_L,
  RIBPH_INITIAL,
  RIBPH_CALIB,
  RIBPH_ROLLUP_AP_Y,
  RIBPH_ROLLUP_AP_M,
  RIBPH_ROLLUP_AP_C,
  RIBPH_ROLLUP_AP_L,
  RIBPH_COUNT,
};

// The duty indexes: each names a take-up and a supply duty setting
// (ribbon_duty.h). The print indexes are those of the planes Y, M, C, L.
enum RibbonDutyIndex : uint8_t {
  RIBDUTY_ROLLUP = 0,
  RIBDUTY_ROLLBACK,
  RIBDUTY_ROLLBACK_INIT,
  RIBDUTY_TENSION,
  RIBDUTY_INITIAL,
  RIBDUTY_CALIB,
  RIBDUTY_ROLLUP_AP,
  RIBDUTY_PRINT_Y,
  RIBDUTY_PRINT_M,
  RIBDUTY_PRINT_C,
  RIBDUTY_PRINT_L,
  RIBDUTY_COUNT,
};

// What a phase does with one motor for one direction: run it in the
// direction's mode at the phase's duty, stop it (duty 0), or leave it as it
// is (the print phases do not command the supply: the paper pulls the
// ribbon through the head).
enum RibbonMotorRule : uint8_t {
  RIBMOTOR_RUN = 0,
  RIBMOTOR_STOP,
  RIBMOTOR_UNTOUCHED,
};

constexpr uint8_t RIBBON_NO_PANEL = 0xFF;
constexpr uint8_t RIBBON_NO_DIRECTION = 0;

struct RibbonPhaseRow {
  uint8_t ucDutyIndex;
  uint8_t ucNextPanel;       // 0 Y, 1 M, 2 C, 3 L, or RIBBON_NO_PANEL
  uint8_t ucStartDirection;  // 1 forward, 2 reverse, or RIBBON_NO_DIRECTION
  // The fast winds after a plane: a search already past its target ends at
  // once when the phase starts.
  bool bEndsPassedSearch;
  RibbonMotorRule eTakeUpForward, eSupplyForward;  // direction 1
  RibbonMotorRule eTakeUpOther, eSupplyOther;      // any other direction
};

namespace ribbonphase {
constexpr RibbonMotorRule R = RIBMOTOR_RUN;
constexpr RibbonMotorRule S = RIBMOTOR_STOP;
constexpr RibbonMotorRule U = RIBMOTOR_UNTOUCHED;
constexpr uint8_t kNone = RIBBON_NO_PANEL;
// Take-up forward with the supply stopped, or both in reverse.
constexpr RibbonPhaseRow Wind(uint8_t ucDuty, uint8_t ucPanel, uint8_t ucDirection, bool bEndsPassed = false) {
  return {ucDuty, ucPanel, ucDirection, bEndsPassed, R, S, R, R};
}
// Both motors forward, or both in reverse.
constexpr RibbonPhaseRow Both(uint8_t ucDuty, uint8_t ucPanel, uint8_t ucDirection) {
  return {ucDuty, ucPanel, ucDirection, false, R, R, R, R};
}
// The take-up only, forward or in reverse.
constexpr RibbonPhaseRow Print(uint8_t ucDuty, uint8_t ucPanel) { return {ucDuty, ucPanel, 0, false, R, U, R, U}; }
}  // namespace ribbonphase

// clang-format off
inline constexpr RibbonPhaseRow g_aRibbonPhases[RIBPH_COUNT] = {
    // 0: the take-up pulls forward with the supply stopped; in reverse the
    // supply pulls back with the take-up stopped.
    {RIBDUTY_TENSION, ribbonphase::kNone, 0, false, ribbonphase::R, ribbonphase::S, ribbonphase::S, ribbonphase::R},
    ribbonphase::Print(RIBDUTY_PRINT_Y, 1),
    ribbonphase::Print(RIBDUTY_PRINT_M, 2),
    ribbonphase::Print(RIBDUTY_PRINT_C, 3),
    ribbonphase::Wind(RIBDUTY_INITIAL, 3, 0),
    ribbonphase::Print(RIBDUTY_PRINT_L, 0),
    ribbonphase::Wind(RIBDUTY_INITIAL, 0, 0),
    ribbonphase::Wind(RIBDUTY_INITIAL, 0, 0),
    ribbonphase::Wind(RIBDUTY_ROLLUP, 0, 1, true),
    ribbonphase::Wind(RIBDUTY_INITIAL, 0, 1),
    ribbonphase::Wind(RIBDUTY_ROLLUP, 1, 1, true),
    ribbonphase::Wind(RIBDUTY_INITIAL, 1, 1),
    ribbonphase::Wind(RIBDUTY_ROLLUP, 2, 1, true),
    ribbonphase::Wind(RIBDUTY_INITIAL, 2, 1),
    ribbonphase::Wind(RIBDUTY_ROLLUP, 3, 1, true),
    ribbonphase::Wind(RIBDUTY_INITIAL, 3, 1),
    ribbonphase::Both(RIBDUTY_ROLLBACK, 0, 2),
    ribbonphase::Both(RIBDUTY_ROLLBACK, 1, 2),
    ribbonphase::Both(RIBDUTY_ROLLBACK, 2, 2),
    ribbonphase::Both(RIBDUTY_ROLLBACK, 3, 2),
    ribbonphase::Both(RIBDUTY_ROLLBACK_INIT, 0, 2),
    ribbonphase::Both(RIBDUTY_ROLLBACK_INIT, 1, 2),
    ribbonphase::Both(RIBDUTY_ROLLBACK_INIT, 2, 2),
    ribbonphase::Both(RIBDUTY_ROLLBACK_INIT, 3, 2),
    ribbonphase::Both(RIBDUTY_INITIAL, ribbonphase::kNone, 0),
    ribbonphase::Wind(RIBDUTY_CALIB, ribbonphase::kNone, 0),
    ribbonphase::Wind(RIBDUTY_ROLLUP_AP, 0, 1),
    ribbonphase::Wind(RIBDUTY_ROLLUP_AP, 1, 1),
    ribbonphase::Wind(RIBDUTY_ROLLUP_AP, 2, 1),
    ribbonphase::Wind(RIBDUTY_ROLLUP_AP, 3, 1),
};
// clang-format on

// The print phases are those whose duties are the planes' print duties;
// their plane (0 Y, 1 M, 2 C, 3 L), or -1 for any other phase.
constexpr int32_t PrintPlaneOfPhase(uint32_t ulPhase) {
  if (ulPhase >= RIBPH_COUNT || g_aRibbonPhases[ulPhase].ucDutyIndex < RIBDUTY_PRINT_Y) return -1;
  return g_aRibbonPhases[ulPhase].ucDutyIndex - RIBDUTY_PRINT_Y;
}
