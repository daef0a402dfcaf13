// The mechanism stop's order (MechaAllOff): the actuators and positioners
// stopped, one row each, in the order they are stopped.
#pragma once

#include <cstdint>

enum MechaStopGroup : uint32_t {
  MECHA_STOP_DC_MOTORS,
  MECHA_STOP_CHOPPERS,
  MECHA_STOP_ROTATION_LOCK_MOTOR,
  MECHA_STOP_STEPPERS,  // the trace point "DstOff:MechaAllOff()" comes first
  MECHA_STOP_FANS,      // fans and clutches
  MECHA_STOP_LEDS,
  MECHA_STOP_POSITIONERS,  // the pre-heat and over-heat watches are reset first
  MECHA_STOP_GROUPS,
};

struct MechaStopRow {
  MechaStopGroup eGroup;
  const char* pszObject;
  int32_t (*pfnStop)();
};

const MechaStopRow* MechaStopRows(uint32_t* pulCount);

// Mechanism stops since start-up.
extern uint32_t g_ulMechaStopCount;
