// Where the ribbon motors' PWM duties come from: a take-up and a supply
// setting per duty index (ribbon_phases.h), a fixed duty by take-up spool
// diameter for the initial rollback, the TABLE image's duty tables for the
// print planes, and the motor model (CDonorMng::CalcDuty) that gives the
// take-up's duty at the start of each plane. The operations are the ribbon
// manager's (donor_mng.h) and act on the current roll model g_pRibbonRoll.
#pragma once

#include <cstdint>

#include "firmware/mechanism/ribbon_phases.h"

class CParameter;

// The take-up settings of the duty indexes 0-10, then the supply settings
// of the same indexes, then null. Every setting is 0..100 %, RAM only; 0
// selects the automatic duty for the initial rollback and the print
// indexes.
constexpr uint32_t RIBBON_DUTY_PARAMS = 2 * RIBDUTY_COUNT + 1;
extern CParameter* const g_RibbonDutyParams[RIBBON_DUTY_PARAMS];

// The initial rollback's take-up duty by spool diameter in mm minus 32
// (clamped to 0..63).
constexpr uint32_t RIBBON_DIAMETER_DUTY_BYTES = 64;
constexpr uint32_t RIBBON_DIAMETER_DUTY_FIRST_MM = 32;
extern const uint8_t g_aucRibbonDiameterDuty[RIBBON_DIAMETER_DUTY_BYTES];

// The take-up duty of every print phase while a single-pass sheet prints.
constexpr uint32_t RIBBON_SINGLE_PASS_DUTY = 28;

// TABLE values and tables of the print duties: the base diameters of the
// take-up and supply duty tables, the duty tables by plane from
// RIBBON_TABLE_DUTY_FIRST + the plane's table index.
constexpr uint32_t RIBBON_TABLE_TAKE_UP_BASE = 64;
constexpr uint32_t RIBBON_TABLE_SUPPLY_BASE = 65;
constexpr uint32_t RIBBON_TABLE_DUTY_FIRST = 96;
