// The two donor checks of a unit's ribbon initialisation with the
// colour-sensor ribbon managers, run on the current unit with the caller's
// abort mask. Results: 0 done, non-zero failure (the unit's ribbon error
// indexes tell why).
#pragma once

#include <cstdint>

int32_t CheckDonor1st(uint32_t ulMask);
int32_t CheckDonor2nd(uint32_t ulMask);
