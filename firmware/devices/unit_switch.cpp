// The unit switch: every current-unit pointer and error-index word is
// re-pointed from the role lists, so both units' objects are named once.
#include "firmware/devices/unit_switch.h"

#include "firmware/devices/fan.h"
#include "firmware/devices/life_counters.h"
#include "firmware/devices/machine_actuators.h"
#include "firmware/devices/machine_ports.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/settings.h"
#include "firmware/printengine/dummy_lines.h"
#include "firmware/printengine/ribbon_manager.h"

uint32_t g_ulCurrentUnit;

// The pointers are set by the first switch, made while the machine
// definition is being built; the error words start as unit A's.
#define UNIT_SWITCH_DEFINE_ROLE(type, pointer, ...) type* pointer;
#define UNIT_SWITCH_DEFINE_ERROR_WORD(word, ulIndexA, ...) uint32_t word = ulIndexA;
UNIT_SWITCH_ROLES(UNIT_SWITCH_DEFINE_ROLE)
UNIT_SWITCH_ERROR_WORDS(UNIT_SWITCH_DEFINE_ERROR_WORD)
#undef UNIT_SWITCH_DEFINE_ROLE
#undef UNIT_SWITCH_DEFINE_ERROR_WORD

int32_t SelectUnit(uint32_t arg_ulUnit) {
  // Any non-zero unit is unit B; the stored unit says so too, so readers
  // of the current unit agree with the pointers.
  const bool bUnitB = arg_ulUnit != 0;
#define UNIT_SWITCH_SELECT_ROLE(type, pointer, objectA, objectB) pointer = bUnitB ? &objectB : &objectA;
#define UNIT_SWITCH_SELECT_ERROR_WORD(word, ulIndexA, ulStepB) word = ulIndexA + (bUnitB ? ulStepB : 0u);
  UNIT_SWITCH_ROLES(UNIT_SWITCH_SELECT_ROLE)
  UNIT_SWITCH_ERROR_WORDS(UNIT_SWITCH_SELECT_ERROR_WORD)
#undef UNIT_SWITCH_SELECT_ROLE
#undef UNIT_SWITCH_SELECT_ERROR_WORD
  g_ulCurrentUnit = bUnitB ? 1u : 0u;
  return LoadDummyLines();
}

uint32_t GetCurrentUnit() { return g_ulCurrentUnit; }
