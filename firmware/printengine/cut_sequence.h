// The cut and eject sequence and the end-of-job paper parking, step
// machines of the application task taking the caller's check mask; each
// returns 0 or a negative error.
//
// CutSheetSequence brings the job's first cut position under the cutter,
// cuts at every cut position (a job with one cut position gets that cut
// only), ejects the sheet, counts the statistics and the printed copy. Near
// the end of the roll a paper end still lets the cut in progress happen and
// then ends the sheet.
//
// The parking sequences, one per engine variant (SelectEngineVariant
// installs them as g_pfnEndOfJob), run the paper back until the current
// unit's top sensor clears, find the roll's edge and park the paper at
// g_ulEngPosRefB; "Engine Version" 1 leaves the feed pinch down and the
// main pinch up, the others the main pinch half.
#pragma once

#include <cstdint>

int32_t CutSheetSequence(uint32_t ulMask);
int32_t EndOfJobSequence_EM2(uint32_t ulMask);
int32_t EndOfJobSequence_EM3(uint32_t ulMask);
