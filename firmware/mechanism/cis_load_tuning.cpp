#include "firmware/mechanism/cis_load_tuning.h"

#include "firmware/control/engine_variant.h"
#include "firmware/control/event_set.h"
#include "firmware/control/lcd.h"
#include "firmware/devices/analog_sensor.h"
#include "firmware/devices/fan.h"
#include "firmware/devices/paper_position.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/mechanism/donor_mng.h"
#include "firmware/mechanism/paper_moves.h"
#include "firmware/mechanism/roll_encoder_checks.h"
#include "firmware/mechanism/sensor_feeds.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/mechanism/unit_moves.h"
#include "firmware/printengine/cis.h"
#include "firmware/sequences/ribbon_winding.h"

uint32_t g_ulCisTunedAtLoad;

namespace {

constexpr uint32_t kTopLine = 65536;
constexpr int32_t kEm2TuneOffset = -125;
constexpr uint32_t kLcdColumns = 16;
// Pinch requests and positions.
constexpr uint32_t kPinchUp = 1, kPinchDown = 10, kPinchHalf = 11, kLoadPinchDown = 2, kLoadPinchUp = 1;
constexpr uint32_t kForward = 1, kTargetClear = 0, kHalt = 1, kExcitationFull = 1;

// The sequence's arguments.
struct TuneArgs {
  uint32_t ulMode;
  uint32_t ulLimitLines;
  uint32_t ulErrorIndex;
  uint32_t ulMask;
};

// The tuning block: four passes from its first step, each kStride on.
constexpr uint32_t kSave = 0, kOffset = 1, kLed = 2, kRestore = 3, kBlockSteps = 4;
struct TuningBlock {
  uint32_t ulFirst;
  uint32_t ulStride;
  uint32_t ulNext;
};

bool TuningDue() { return SettingValue(g_ParamCisSW) == 1 && g_ulCisTunedAtLoad == 0; }

int32_t EndPositionOffset() { return static_cast<int32_t>(g_ulEngPosRefB - kTopLine); }

// Runs the block's pass when the step is one of the block's: the next step,
// or 0 for a step outside it.
uint32_t TuningPass(const TuningBlock& b, uint32_t ulStep, uint32_t ulMode, char (&acLine)[kLcdColumns]) {
  if (ulStep < b.ulFirst || (ulStep - b.ulFirst) % b.ulStride != 0) return 0;
  const uint32_t ulPass = (ulStep - b.ulFirst) / b.ulStride;
  if (ulPass >= kBlockSteps) return 0;
  switch (ulPass) {
    case kSave: g_Lcd.ReadText(acLine, 0, kLcdColumns); break;
    case kOffset: g_Cis.TuneCisOffset(ulMode); break;
    case kLed: g_Cis.TuneCisLed(ulMode); break;
    default:
      g_ulCisTunedAtLoad = 1;
      g_Lcd.WriteText(acLine, 0, kLcdColumns);
      return b.ulNext;
  }
  return ulStep + b.ulStride;
}

// A step of one of the variant's two tuning blocks; a step of neither is
// unknown: -1.
uint32_t TuningBlockStep(const TuningBlock (&blocks)[2], SeqStepState& s, uint32_t ulMode,
                         char (&acLine)[kLcdColumns]) {
  for (const TuningBlock& b : blocks) {
    const uint32_t ulNext = TuningPass(b, s.ulStep, ulMode, acLine);
    if (ulNext != 0) return ulNext;
  }
  s.lResult = -1;
  return SEQ_STEP_END;
}

// The steps both variants share under their own numbers.
int32_t FeedToTopCoarse(const TuneArgs& a) {
  const int32_t lResult = FeedToSensorCoarse(g_pCurAdTop, kForward, kTargetClear, a.ulLimitLines, a.ulErrorIndex,
                                             kHalt, 0, a.ulMask);
  g_PaperPosition.SetCurrentPoint(kTopLine);
  return lResult;
}

int32_t FeedToTopByLoadPinch(const TuneArgs& a) {
  const int32_t lResult = FeedUntilSensor(g_pCurAdTop, kForward, kExcitationFull, kTargetClear, a.ulLimitLines,
                                          a.ulErrorIndex, kHalt, 0, a.ulMask);
  g_PaperPosition.SetCurrentPoint(kTopLine);
  return lResult;
}

int32_t CheckRoll(uint32_t ulMask) {
  uint32_t ulRollEnd = 0;
  return RollEncoderFeedCheck(&ulRollEnd, ROLL_CHECK_NO_CIS, nullptr, nullptr, nullptr, ulMask);
}

}  // namespace

int32_t TuneCisAtLoadEM2(uint32_t ulMode, uint32_t ulLimitLines, uint32_t ulErrorIndex, uint32_t ulMask) {
  const TuneArgs a{ulMode, ulLimitLines, ulErrorIndex, ulMask};
  const uint32_t ulEndMask = ulMask | SEQ_CHECK_PAPER_END;
  constexpr TuningBlock kBlocks[] = {{225, 5, 300}, {260, 2, 280}};
  char acLine[kLcdColumns] = {};
  return RunSteps(0, SEQ_STEP_END, ulMask, [&](SeqStepState& s) -> uint32_t {
    switch (s.ulStep) {
      case 0: s.lResult = MoveFeedPinch(kPinchUp, ulMask); return 100;
      case 100: s.lResult = g_pCurClutchRibRvs->On(); return g_ulRollEndDetected != 0 ? 250 : 200;
      case 200: s.lResult = FeedToTopCoarse(a); return 210;
      case 210: return TuningDue() ? 215 : 300;
      case 215: s.lResult = MovePaperTo(kTopLine, kEm2TuneOffset, 1, 1, 14, 20, ulEndMask); return 220;
      case 220: s.lResult = CheckRoll(ulMask); return 222;
      case 222: return IsEventPending(EV_PAPER_END) ? SEQ_STEP_END : 225;
      case 250: s.lResult = g_ClutchLoad.On(); return 252;
      case 252: s.lResult = MoveLoadPinch(kLoadPinchDown, ulMask); return 254;
      case 254: s.lResult = FeedToTopByLoadPinch(a); return 256;
      case 256: return TuningDue() ? 258 : 280;
      case 258: s.lResult = MovePaperTo(kTopLine, kEm2TuneOffset, 1, 1, 14, 20, ulEndMask); return 260;
      case 280: s.lResult = g_ClutchLoad.Off(); return 290;
      case 290: s.lResult = MoveLoadPinch(kLoadPinchUp, ulMask); return 300;
      case 300: s.lResult = g_pCurClutchRibRvs->Off(); return 1000;
      case 1000: s.lResult = SeqWaitMs(200, ulMask); return 1100;
      case 1100: s.lResult = MoveFeedPinch(kPinchDown, ulMask); return 1200;
      case 1200: s.lResult = TakeUpRibbonSlack(1, 0, ulMask); return 1300;
      case 1300: s.lResult = MovePaperTo(kTopLine, EndPositionOffset(), 1, 1, 14, 20, ulEndMask); return 1400;
      case 1400: s.lResult = g_pDonorMng->StopRibbon(1, 1); return 1500;
      case 1500: s.lResult = MoveMainPinch(kPinchUp, ulMask); return 1510;
      case 1510: s.lResult = SeqWaitMs(100, ulMask); return SEQ_STEP_END;
      case SEQ_STEP_END: return SEQ_STEP_END;
      default: return TuningBlockStep(kBlocks, s, ulMode, acLine);
    }
  });
}

int32_t TuneCisAtLoadEM3(uint32_t ulMode, uint32_t ulLimitLines, uint32_t ulErrorIndex, uint32_t ulMask) {
  const TuneArgs a{ulMode, ulLimitLines, ulErrorIndex, ulMask};
  constexpr TuningBlock kBlocks[] = {{1220, 10, 2000}, {1550, 10, 1590}};
  char acLine[kLcdColumns] = {};
  return RunSteps(0, SEQ_STEP_END, ulMask, [&](SeqStepState& s) -> uint32_t {
    switch (s.ulStep) {
      case 0: s.lResult = MoveFeedPinch(kPinchUp, ulMask); return 100;
      case 100: s.lResult = g_pCurClutchRibRvs->On(); return g_ulRollEndDetected != 0 ? 1500 : 1000;
      case 1000: s.lResult = FeedToTopCoarse(a); return 1100;
      case 1100: s.lResult = MovePaperTo(kTopLine, EndPositionOffset(), 1, 2, 0, 21, ulMask); return 1200;
      case 1200: return TuningDue() ? 1210 : 2000;
      case 1210: s.lResult = CheckRoll(ulMask); return 1215;
      case 1215: return IsEventPending(EV_PAPER_END) ? SEQ_STEP_END : 1220;
      case 1500: s.lResult = g_ClutchLoad.On(); return 1510;
      case 1510: s.lResult = MoveLoadPinch(kLoadPinchDown, ulMask); return 1520;
      case 1520: s.lResult = FeedToTopByLoadPinch(a); return 1530;
      case 1530: s.lResult = MovePaperTo(kTopLine, EndPositionOffset(), 1, 1, 0, 31, ulMask); return 1540;
      case 1540: return TuningDue() ? 1550 : 1590;
      case 1590: s.lResult = g_ClutchLoad.Off(); return 1600;
      case 1600: s.lResult = MoveLoadPinch(kLoadPinchUp, ulMask); return 2000;
      case 2000: s.lResult = g_pCurClutchRibRvs->Off(); return 3000;
      case 3000: s.lResult = MoveMainPinch(kPinchHalf, ulMask); return 3010;
      case 3010: s.lResult = SeqWaitMs(100, ulMask); return SEQ_STEP_END;
      case SEQ_STEP_END: return SEQ_STEP_END;
      default: return TuningBlockStep(kBlocks, s, ulMode, acLine);
    }
  });
}
