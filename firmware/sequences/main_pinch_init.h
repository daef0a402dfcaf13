// The main pinch roller's initialisation by engine variant (the hooks are
// declared in mechanism_init.h) and the EM3 roller's recovery steps. Each
// step machine takes the caller's mask (its own steps drop the host poll)
// and returns 0 or -1.
#pragma once

#include <cstdint>

// A stored EM3 status that is not moving is checked against "MainPin C"
// and "MainPin L"; a moving one is valid when position and target are
// both 1-5. The roller's position and target become the stored position
// (or 0 when invalid); "MainPinStatus" is not written.
int32_t ValidateMainPinchStatus(uint32_t* pulInvalid, uint32_t ulMask);
// The roller up, unless paper is at "PaperPath" and the roller is half
// down (2 or 4).
int32_t RaiseMainPinchUnlessHalf(uint32_t ulMask);
// A move interrupted between `ulPosition` and `ulTarget` finished by the
// resume table; *pulUnsettled 1 when the pair has no rule.
int32_t ResumeMainPinchMove(uint32_t* pulUnsettled, uint32_t ulTarget, uint32_t ulPosition, uint32_t ulMask);
// The roller found from its sensors with paper at the top of unit L
// (ulAtTopL 1) or R, and driven up.
int32_t FindMainPinchAtPaper(uint32_t ulAtTopL, uint32_t ulAtTopR, uint32_t ulMask);

// The resume table: one rule for a stored (position, target) pair.
struct MainPinchResumeRule {
  int32_t lAssumed;  // -1: no rule
  int32_t lRequest;
  int32_t lUnit;
};
MainPinchResumeRule LookUpMainPinchResume(uint32_t ulPosition, uint32_t ulTarget);
