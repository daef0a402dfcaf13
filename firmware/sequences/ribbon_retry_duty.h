// The take-up duty for the next try of a ribbon winding that ran too
// slowly, from an empirical model of the take-up drive.
#pragma once

#include <cstdint>

namespace Iniribon {

// From one winding run (its time in ms, the supply and take-up encoder
// counts it moved, the duty in percent it used) the duty to try next,
// truncated toward zero into *plDuty. A run whose supply took 1.71 ms a
// count or more keeps the initial duty; a run without time or counts gives
// no speeds either, and keeps it too. Every value is logged. Always 0.
int32_t RetryDuty(uint32_t arg_ulTime, uint32_t arg_ulSrcSlit, uint32_t arg_ulDstSlit, int32_t arg_lInitialDuty,
                  int32_t* plDuty);

}  // namespace Iniribon
