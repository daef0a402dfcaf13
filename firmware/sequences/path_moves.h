// The mechanism moves the path preparation and the path change make, as
// one table of entry points. The sequences reach every paper feed, paper
// move and positioner move through g_pPathMoves, which points at the real
// primitives; a test rig may point it at its own table to watch the order
// and the arguments of the moves or to make one of them fail.
#pragma once

#include <cstdint>

class CAnalogSensor;

struct PathMoves {
  // Feeds to a sensor (sensor_feeds.h).
  int32_t (*pfnFeedToSensor)(CAnalogSensor* pSensor, uint32_t ulDirection, uint32_t ulTarget, uint32_t ulLimitLines,
                             uint32_t ulErrorIndex, uint32_t ulStopFlag, uint32_t ulExtraLines, uint32_t ulMask);
  int32_t (*pfnFeedToSensorCoarse)(CAnalogSensor* pSensor, uint32_t ulDirection, uint32_t ulTarget,
                                   uint32_t ulLimitLines, uint32_t ulErrorIndex, uint32_t ulStopFlag,
                                   uint32_t ulExtraLines, uint32_t ulMask);
  int32_t (*pfnFeedUntilSensor)(CAnalogSensor* pSensor, uint32_t ulDirection, uint32_t ulExcitationMode,
                                uint32_t ulTarget, uint32_t ulLimitLines, uint32_t ulErrorIndex, uint32_t ulStopFlag,
                                uint32_t ulExtraLines, uint32_t ulMask);
  int32_t (*pfnFeedToSensorRollLimited)(CAnalogSensor* pSensor, uint32_t ulDirection, uint32_t ulTarget,
                                        uint32_t ulLimitLines, uint32_t ulErrorIndex, uint32_t ulStopFlag,
                                        uint32_t ulMask);
  // Paper moves (paper_moves.h) and the roll-encoder check.
  int32_t (*pfnMovePaperBy)(int32_t lLines, uint32_t ulExcitationMode, uint32_t ulSubStepMode,
                            uint32_t ulMainProfile, uint32_t ulSubProfile, uint32_t ulMask);
  int32_t (*pfnMovePaperTo)(uint32_t ulLine, int32_t lOffsetLines, uint32_t ulExcitationMode,
                            uint32_t ulSubStepMode, uint32_t ulMainProfile, uint32_t ulSubProfile, uint32_t ulMask);
  int32_t (*pfnMovePaperToEx)(uint32_t ulLine, int32_t lOffsetLines, uint32_t ulExcitationMode,
                              uint32_t ulSubStepMode, uint32_t ulParam9, uint32_t ulMainProfile,
                              uint32_t ulSubProfile, uint32_t ulFeedDrive, uint32_t ulMask);
  int32_t (*pfnRollEncoderFeedCheck)(uint32_t* pulRollEnd, uint32_t ulCisMode, uint32_t* pulPaperEdge,
                                     uint32_t* pulImageEdge, int32_t* plError, uint32_t ulMask);
  // Positioner moves (unit_moves.h).
  int32_t (*pfnMoveRotationLock)(uint32_t ulPosition, uint32_t ulMask);
  int32_t (*pfnMoveEjectPinch)(uint32_t ulPosition, uint32_t ulMask);
  int32_t (*pfnMoveMainPinch)(uint32_t ulRequest, uint32_t ulMask);
  int32_t (*pfnMoveFeedPinch)(uint32_t ulRequest, uint32_t ulMask);
  int32_t (*pfnMoveLoadPinch)(uint32_t ulPosition, uint32_t ulMask);
  int32_t (*pfnMovePathSelect)(uint32_t ulPosition, uint32_t ulMask);
  int32_t (*pfnTurnPaperRoll)(uint32_t ulTarget, uint32_t ulMask);
  // The ribbon's slack taken up (ribbon_winding.h) and the head pre-heat
  // wait (print_conditioning.h).
  int32_t (*pfnTakeUpRibbonSlack)(uint32_t ulCount, uint32_t ulSkip, uint32_t ulMask);
  int32_t (*pfnPreheatWait)(uint32_t ulMask, uint32_t ulBackOff);
};

// The real primitives.
extern const PathMoves g_PathMovesReal;
// The table the sequences use: g_PathMovesReal unless a rig replaced it.
extern const PathMoves* g_pPathMoves;
