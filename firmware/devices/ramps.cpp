#include "firmware/devices/ramps.h"

#include "firmware/hal/global.h"

namespace {

// One storage per ramp, but the second of a shared pair has none of its own.
uint16_t s_aausRampStorage[RAMP_STORAGE_COUNT][CRampTable::kEntries];

}  // namespace

#define RAMP_DEFINE(ramp, ...) constinit CRampTable ramp;
RAMP_TABLES(RAMP_DEFINE)
#undef RAMP_DEFINE

#define RAMP_SPEC(ramp, mode, storage) {&ramp, s_aausRampStorage[storage], mode},
constexpr RampSpec g_aRampSpecs[RAMP_TABLE_COUNT] = {RAMP_TABLES(RAMP_SPEC)};
#undef RAMP_SPEC

void ConstructRampTables() {
  for (const RampSpec& entry : g_aRampSpecs) {
    // The construction's three further numbers are not kept by the ramp.
    hal::ConstructGlobal(*entry.pRamp, entry.pusStorage, 1576u, 1000u, 50u, entry.ulMode);
  }
}
