// The stand-in cover sensors of the abort check's placeholder: the level each
// reads (every cover closed unless set otherwise) and how often each was
// read. They go with the placeholder once the sensors are built.
#pragma once

#include <cstdint>

#include "firmware/mechanism/abort_check_inputs.h"

constexpr uint32_t STAND_IN_COVER_SENSORS = COVER_UPPER_R + 1;

struct StandInCovers {
  uint32_t aulLevel[STAND_IN_COVER_SENSORS];
  uint32_t aulReads[STAND_IN_COVER_SENSORS];
};
extern StandInCovers g_StandInCovers;
