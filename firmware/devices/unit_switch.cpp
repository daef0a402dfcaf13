// The unit switch: every current-unit pointer and error-index word is
// re-pointed from the role lists, so both units' objects are named once.
#include "firmware/devices/unit_switch.h"

#include "firmware/control/app_startup.h"
#include "firmware/devices/fan.h"
#include "firmware/devices/life_counters.h"
#include "firmware/devices/machine_actuators.h"
#include "firmware/devices/machine_ports.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/settings.h"
#include "firmware/mechanism/donor_mng_color.h"
#include "firmware/mechanism/donor_mng_mark.h"
#include "firmware/printengine/dummy_lines.h"

uint32_t g_ulCurrentUnit;

// The pointers are set by the first switch, made while the machine
// definition is being built; the error words start as unit A's.
#define UNIT_SWITCH_DEFINE_ROLE(type, pointer, ...) type* pointer;
#define UNIT_SWITCH_DEFINE_ERROR_WORD(word, ulIndexA, ...) uint32_t word = ulIndexA;
UNIT_SWITCH_ROLES(UNIT_SWITCH_DEFINE_ROLE)
UNIT_SWITCH_ROLES_AFTER_RIBBON(UNIT_SWITCH_DEFINE_ROLE)
UNIT_SWITCH_ERROR_WORDS(UNIT_SWITCH_DEFINE_ERROR_WORD)
#undef UNIT_SWITCH_DEFINE_ROLE
#undef UNIT_SWITCH_DEFINE_ERROR_WORD

// Unit A's mark-sensor row and manager until the first switch, so the FPGA
// interrupt never meets a null manager.
CRibbonRoll* g_pCurRibbonRolls[RIBBON_ROLL_ROW] = {
    &g_RibbonRolls.mark8x10L, &g_RibbonRolls.mark8x12L, reinterpret_cast<CRibbonRoll*>(RIBBON_ROLL_END_WORD),
    reinterpret_cast<CRibbonRoll*>(RIBBON_ROLL_END_WORD), reinterpret_cast<CRibbonRoll*>(RIBBON_ROLL_END_WORD)};
CDonorMng* g_pDonorMng = &g_DonorMngMarkSenL;
uint32_t* g_pCurRibbonTypeIndex = &g_ulRibbonTypeIndexL;
CRibbonRoll* g_pRibbonRoll = &g_RibbonRolls.mark8x10L;

namespace {

// The unit's ribbon rows and manager by the ribbon control type, then the
// model its ribbon-type word selects.
void SelectRibbon(bool bUnitB) {
  const bool bColor = g_ucRibbonControlType != 0;
  CRibbonRoll* const* apRow = bColor ? (bUnitB ? g_apRibbonRollColorR : g_apRibbonRollColorL)
                                     : (bUnitB ? g_apRibbonRollMarkR : g_apRibbonRollMarkL);
  for (uint32_t i = 0; i < RIBBON_ROLL_ROW; ++i) g_pCurRibbonRolls[i] = apRow[i];
  if (bColor) {
    g_pDonorMng = bUnitB ? static_cast<CDonorMng*>(&g_DonorMngColorSenR) : &g_DonorMngColorSenL;
  } else {
    g_pDonorMng = bUnitB ? static_cast<CDonorMng*>(&g_DonorMngMarkSenR) : &g_DonorMngMarkSenL;
  }
  g_pCurRibbonTypeIndex = bUnitB ? &g_ulRibbonTypeIndexR : &g_ulRibbonTypeIndexL;
  // A type word beyond the row names no model.
  const uint32_t ulType = *g_pCurRibbonTypeIndex;
  g_pRibbonRoll = ulType < RIBBON_ROLL_ROW ? g_pCurRibbonRolls[ulType] : nullptr;
}

}  // namespace

int32_t SelectUnit(uint32_t arg_ulUnit) {
  // Any non-zero unit is unit B; the stored unit says so too, so readers
  // of the current unit agree with the pointers.
  const bool bUnitB = arg_ulUnit != 0;
#define UNIT_SWITCH_SELECT_ROLE(type, pointer, objectA, objectB) pointer = bUnitB ? &objectB : &objectA;
#define UNIT_SWITCH_SELECT_ERROR_WORD(word, ulIndexA, ulStepB) word = ulIndexA + (bUnitB ? ulStepB : 0u);
  UNIT_SWITCH_ROLES(UNIT_SWITCH_SELECT_ROLE)
  SelectRibbon(bUnitB);
  UNIT_SWITCH_ROLES_AFTER_RIBBON(UNIT_SWITCH_SELECT_ROLE)
  UNIT_SWITCH_ERROR_WORDS(UNIT_SWITCH_SELECT_ERROR_WORD)
#undef UNIT_SWITCH_SELECT_ROLE
#undef UNIT_SWITCH_SELECT_ERROR_WORD
  g_ulCurrentUnit = bUnitB ? 1u : 0u;
  return LoadDummyLines();
}

uint32_t GetCurrentUnit() { return g_ulCurrentUnit; }
