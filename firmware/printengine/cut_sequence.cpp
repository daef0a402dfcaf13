// The cut and eject sequence and the end-of-job paper parking.
#include "firmware/printengine/cut_sequence.h"

#include "firmware/control/engine_variant.h"
#include "firmware/control/error_manager.h"
#include "firmware/control/event_set.h"
#include "firmware/control/host_status_table.h"
#include "firmware/devices/fan.h"
#include "firmware/devices/life_counters.h"
#include "firmware/devices/paper_position.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/mechanism/donor_mng.h"
#include "firmware/mechanism/paper_moves.h"
#include "firmware/mechanism/roll_encoder_checks.h"
#include "firmware/mechanism/sensor_feeds.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/mechanism/unit_moves.h"
#include "firmware/printengine/plane_sequencer.h"
#include "firmware/printengine/print_job_queue.h"
#include "firmware/printengine/print_line.h"
#include "firmware/printengine/print_sequence_support.h"
#include "firmware/printengine/print_support.h"
#include "firmware/printengine/roll_diameter.h"
#include "firmware/sequences/ribbon_winding.h"
#include "firmware/sequences/sequence_words.h"
#include "protocol/codes.h"

namespace {

using namespace protocol;

// ---- cut and eject ----
constexpr uint32_t kEjectPinchUp = 1, kEjectPinchFeed = 2, kEjectPinchCut = 3;
constexpr uint32_t kCutterLeft = 1;
constexpr uint32_t kFeedPinchDown = 10, kFeedPinchUp = 1;
constexpr uint32_t kLoadPinchUp = 1, kLoadPinchDown = 2;
constexpr uint32_t kMainPinchDown = 10, kMainPinchUp = 1, kMainPinchHalf = 11;
constexpr uint32_t kLongestCutMove = 1800;
constexpr uint32_t kEjectLines = 1157;
constexpr uint32_t kPositionSensorLimit = 220;
// Before the first cut after a path change: the paper parked short of the
// position sensor, then fed to it.
constexpr int32_t kParkShortOfSensor = -100;

struct CutProfiles {
  uint32_t ulMain;
  uint32_t ulSub;
};
constexpr CutProfiles kCutProfiles[2] = {{13, 23}, {12, 22}};  // by "FeedRollDiam" 0, 1
constexpr CutProfiles kSplitProfiles = {0, 21};

bool PaperEnd() { return IsEventPending(EV_PAPER_END); }

// Clears a set near-zone flag: whether it was set.
bool TakeNearZone() {
  if (g_ulPaperInNearZone == 0) return false;
  g_ulPaperInNearZone = 0;
  return true;
}

int32_t SetPosition(uint32_t ulLine) { return g_PaperPosition.SetCurrentPoint(ulLine); }

int32_t RollCheckWithoutCis(uint32_t ulMask) {
  uint32_t ulRollEnd = 0;
  return RollEncoderFeedCheck(&ulRollEnd, ROLL_CHECK_NO_CIS, nullptr, nullptr, nullptr, ulMask);
}

// ---- parking ----
constexpr uint32_t kTopSensorLimit = 4127 + 1157 + 120;
constexpr uint32_t kAtTopSensor = 0x10000;
constexpr uint32_t kParkingProfileMain = 14, kParkingProfileSub = 20;

uint32_t ParkingOffsetLines() { return g_ulEngPosRefB - kAtTopSensor; }

// Steps 0 to 1100 of both parking sequences: the paper back until the top
// sensor clears, then the ribbon's slack taken up. The next step; 1100 ends
// with the variant's slack flag.
uint32_t ParkToTopSensor(SeqStepState& s, uint32_t ulMask, uint32_t ulSlackSkip) {
  switch (s.ulStep) {
    case 0:
      s.lResult = SetStatusItem(SI_PRINTER_STATE, PRINTER_STATE_PRINT_6C, 1);
      return 100;
    case 100:
      s.lResult = RollCheckWithoutCis(ulMask);
      return 200;
    case 200:
      return PaperEnd() ? SEQ_STEP_ERROR : 1000u;
    case 1000:
      s.lResult = MoveMainPinch(kMainPinchDown, ulMask);
      return 1001;
    case 1001:
      s.lResult = MoveFeedPinch(kFeedPinchUp, ulMask);
      return 1002;
    case 1002:
      s.lResult = MoveEjectPinch(kEjectPinchUp, ulMask);
      return 1004;
    case 1004:
      s.lResult = g_pCurClutchRibRvs->On();
      return g_ulRollEndDetected != 0 ? 1010u : 1005u;
    case 1005:
      s.lResult = FeedToSensorCoarse(g_pCurAdTop, 1, 0, kTopSensorLimit, g_ulCurErrUpperJam64, 1, 0, ulMask);
      if (s.lResult == 0) SetPosition(kAtTopSensor);
      return 1050;
    case 1010:
      s.lResult = g_ClutchLoad.On();
      return 1015;
    case 1015:
      s.lResult = MoveLoadPinch(kLoadPinchDown, ulMask);
      return 1020;
    case 1020:
      s.lResult = FeedUntilSensor(g_pCurAdTop, 1, 1, 0, kTopSensorLimit, g_ulCurErrUpperJam64, 1, 0, ulMask);
      if (s.lResult == 0) SetPosition(kAtTopSensor);
      return 1025;
    case 1025:
      s.lResult = g_ClutchLoad.Off();
      return 1030;
    case 1030:
      s.lResult = MoveLoadPinch(kLoadPinchUp, ulMask);
      return 1050;
    case 1050:
      s.lResult = g_pCurClutchRibRvs->Off();
      return 1100;
    case 1100:
      g_pCurSlitRibEncSrc->Stop();
      s.lResult = TakeUpRibbonSlack(1, ulSlackSkip, ulMask);
      return 1110;
    case 1110: {
      uint32_t ulOffset = 0;
      s.lResult = FeedToRollEdge(ulMask, &ulOffset);
      return PaperEnd() ? SEQ_STEP_ERROR : 1200u;
    }
    case SEQ_STEP_ERROR:
      return SEQ_STEP_END;
    case SEQ_STEP_END:
      g_pDonorMng->StopRibbon(1, 1);
      return SEQ_STEP_END;
    default:
      s.lResult = -1;
      return SEQ_STEP_END;
  }
}

bool RibbonEmpty() {
  uint32_t ulSet = 0;
  g_ErrorMng.IsErrorSet(g_ulCurErrRibbonEmpty, &ulSet);
  return ulSet != 0;
}

}  // namespace

int32_t CutSheetSequence(uint32_t ulMask) {
  const CutProfiles& profiles = kCutProfiles[SettingValue(g_ParamFeedRollDiam) == 1 ? 1 : 0];
  PrintJobRecord* pJob = nullptr;
  if (g_PrintJobQueue.GetCurrentJob(&pJob) != 0) return -1;
  const uint32_t ulMoveMask = ulMask | SEQ_CHECK_PAPER_END;
  uint32_t ulCut = 0, ulLastCut = 0, ulDistance = 0, ulMoved = 0, ulSum = 0;
  return RunSteps(0, SEQ_STEP_ERROR, ulMask, [&](SeqStepState& s) -> uint32_t {
    switch (s.ulStep) {
      case 0:
        s.lResult = SetStatusItem(SI_PRINTER_STATE, PRINTER_STATE_PRINT_6A, 1);
        return 4;
      case 4:
        s.lResult = HeadFanControl(0);
        return 5;
      case 5:
        s.lResult = HeadFanControl(1);
        return 10;
      case 10:
        s.lResult = MoveFeedPinch(kFeedPinchDown, ulMask);
        return 12;
      case 12:
        s.lResult = g_ClutchLoad.Off();
        return 14;
      case 14:
        s.lResult = MoveLoadPinch(kLoadPinchUp, ulMask);
        return 20;
      case 20:
        g_pCurSlitRibEncSrc->Stop();
        s.lResult = g_pDonorMng->SetRibbonPhase(0, 2);
        return g_ulPathChanged == 1 ? 30u : 60u;
      case 30:
        s.lResult = MovePaperToEx(PAPER_AT_POSITION_SENSOR, kParkShortOfSensor, 1, 1, 1, 14, 20, 40, ulMoveMask);
        return 35;
      case 35:
        s.lResult = FeedToSensor(&g_AdPosition, 0, 1, kPositionSensorLimit, g_ulCurErrUpperJam63, 1, 0,
                                 WithoutHostCheck(ulMask));
        SetPosition(PAPER_AT_POSITION_SENSOR);
        return 40;
      case 40:
        s.lResult = g_pDonorMng->StopRibbon(1, 1);
        return 45;
      case 45:
        s.lResult = MoveEjectPinch(kEjectPinchFeed, ulMask);
        return 50;
      case 50: {
        const int32_t lOffset = static_cast<int32_t>(g_pCurPrintSize->ulColourTailLines) +
                                static_cast<int32_t>(g_pCurPrintSize->ulCutterLeadLines) +
                                SettingValue(*g_pCurParamCutterOffset);
        s.lResult =
            MovePaperToEx(PAPER_AT_CUT, lOffset, 1, 1, 1, profiles.ulMain, profiles.ulSub, 14, ulMoveMask);
        return 104;
      }
      case 60:
        s.lResult = BackFeedToCutPosition(pJob, ulMask);
        return 104;
      case 104:
        return PaperEnd() ? 105u : 106u;
      case 105:
        return g_ulPaperInNearZone != 0 ? 106u : SEQ_STEP_ERROR;
      case 106:
        s.lResult = MoveEjectPinch(kEjectPinchCut, ulMask);
        return 107;
      case 107:
        SetPosition(PAPER_AT_CUT);
        s.lResult = MoveCutter(kCutterLeft, ulMask);
        return 108;
      case 108:
        s.lResult = g_CounterCut.Add(1);
        return 1085;
      case 1085:
        return TakeNearZone() ? SEQ_STEP_ERROR : 109u;
      case 109: {
        uint32_t ulCount = 0;
        g_PrintJobQueue.GetCutCount(pJob, &ulCount);
        ulCut = 0;
        ulSum = 0;
        ulLastCut = ulCount >= 1 ? ulCount - 1 : 0;
        // A job with a single cut position has had its cut.
        return ulCount < 2 ? 214u : 200u;
      }
      case 200:
        ++ulCut;
        ulMoved = 0;
        return 201;
      case 201:
        s.lResult = SetStatusItem(SI_PRINTER_STATE, PRINTER_STATE_PRINT_6B, 1);
        return 202;
      case 202: {
        uint32_t ulThis = 0, ulBefore = 0;
        s.lResult = g_PrintJobQueue.GetCutPosition(pJob, ulCut, &ulThis);
        if (s.lResult == 0) s.lResult = g_PrintJobQueue.GetCutPosition(pJob, ulCut - 1, &ulBefore);
        ulDistance = ulThis - ulBefore;
        ulSum += ulDistance;
        return 203;
      }
      case 203:
        s.lResult = MoveEjectPinch(kEjectPinchFeed, ulMask);
        return 204;
      case 204:
      case 2045: {
        const CutProfiles& p = s.ulStep == 204 ? profiles : kSplitProfiles;
        if (ulDistance > kLongestCutMove) {
          s.lResult = MovePaperToEx(PAPER_AT_CUT, static_cast<int32_t>(ulMoved + kLongestCutMove), 1, 2, 1, p.ulMain,
                                    p.ulSub, 50, ulMoveMask);
          ulMoved += kLongestCutMove;
          ulDistance -= kLongestCutMove;
          return 2045;
        }
        s.lResult = MovePaperToEx(PAPER_AT_CUT, static_cast<int32_t>(ulMoved + ulDistance), 1, 2, 1, p.ulMain,
                                  p.ulSub, 0, ulMoveMask);
        return 205;
      }
      case 205:
        return PaperEnd() ? 2055u : 206u;
      case 2055:
        return g_ulPaperInNearZone != 0 ? 206u : SEQ_STEP_END;
      case 206:
        SetPosition(PAPER_AT_CUT);
        return 207;
      case 207:
        s.lResult = MoveEjectPinch(kEjectPinchCut, ulMask);
        return 208;
      case 208:
        s.lResult = MoveCutter(kCutterLeft, ulMask);
        return 209;
      case 209:
        s.lResult = g_CounterCut.Add(1);
        g_ulPathPrepared = 0;
        return 210;
      case 210:
        return ulCut == ulLastCut ? 214u : 212u;
      case 212:
        return TakeNearZone() ? SEQ_STEP_END : 200u;
      case 214:
        return TakeNearZone() ? 300u : 220u;
      case 220:
        s.lResult = MoveEjectPinch(kEjectPinchFeed, ulMask);
        return 221;
      case 221:
        s.lResult = MovePaperToEx(PAPER_AT_CUT, kEjectLines, 1, 2, 1, 13, 23, 0, ulMoveMask);
        return 222;
      case 222:
        ulSum += g_pCurPrintSize->ulColourTailLines;
        s.lResult = SetTrackingPointPair(ulSum);
        return 223;
      case 223:
        s.lResult = MoveEjectPinch(kEjectPinchUp, ulMask);
        return 300;
      case 300: {
        LogSheetHeader();
        s.lResult = CountSheetStatistics(*g_pCurPrintSize);
        uint32_t ulMore = 0;
        g_PrintJobQueue.CopyPrinted(&ulMore);
        g_ulRepeatState = 0;
        if (ulMore == 0) g_PlaneSequencer.SetState(0);
        return g_ulRollEndArmed != 0 && g_ulRollEndDetected == 0 ? 400u : SEQ_STEP_ERROR;
      }
      case 400:
        s.lResult = RollEncoderFeedCheckLite(2, ulMask);
        return 410;
      case 410:
        s.lResult = RollCheckWithoutCis(ulMask);
        return SEQ_STEP_ERROR;
      case SEQ_STEP_ERROR:
        return SEQ_STEP_END;
      case SEQ_STEP_END:
        g_pDonorMng->StopRibbon(1, 1);
        return SEQ_STEP_END;
      default:
        s.lResult = -1;
        return SEQ_STEP_ERROR;
    }
  });
}

int32_t EndOfJobSequence_EM2(uint32_t ulMask) {
  const uint32_t ulMoveMask = ulMask | SEQ_CHECK_PAPER_END;
  return RunSteps(0, SEQ_STEP_ERROR, ulMask, [&](SeqStepState& s) -> uint32_t {
    switch (s.ulStep) {
      case 1200:
        s.lResult = MovePaperTo(kAtTopSensor, static_cast<int32_t>(ParkingOffsetLines()), 1, 1, kParkingProfileMain,
                                kParkingProfileSub, ulMoveMask);
        return 1210;
      case 1210:
        s.lResult = RollCheckWithoutCis(ulMask);
        return 1220;
      case 1220:
        s.lResult = MoveFeedPinch(kFeedPinchDown, ulMask);
        return 1230;
      case 1230:
        s.lResult = MoveMainPinch(kMainPinchUp, ulMask);
        return 1240;
      case 1240:
        s.lResult = SeqWaitMs(100, ulMask);
        return SEQ_STEP_END;
      default:
        return ParkToTopSensor(s, ulMask, 0);
    }
  });
}

int32_t EndOfJobSequence_EM3(uint32_t ulMask) {
  const uint32_t ulSlackSkip = RibbonEmpty() ? 1u : 0u;
  const int32_t lParking = static_cast<int32_t>(ParkingOffsetLines());
  return RunSteps(0, SEQ_STEP_ERROR, ulMask, [&](SeqStepState& s) -> uint32_t {
    switch (s.ulStep) {
      case 1200:
        s.lResult = g_pCurClutchRibRvs->On();
        return g_ulRollEndDetected != 0 ? 1240u : 1210u;
      case 1210:
        s.lResult = MovePaperTo(kAtTopSensor, lParking, 1, 2, 0, 21, ulMask);
        return 1290;
      case 1240:
        s.lResult = g_ClutchLoad.On();
        return 1245;
      case 1245:
        s.lResult = MoveLoadPinch(kLoadPinchDown, ulMask);
        return 1250;
      case 1250:
        s.lResult = MovePaperTo(kAtTopSensor, lParking, 1, 1, 0, 31, ulMask);
        return 1255;
      case 1255:
        s.lResult = g_ClutchLoad.Off();
        return 1260;
      case 1260:
        s.lResult = MoveLoadPinch(kLoadPinchUp, ulMask);
        return 1290;
      case 1290:
        s.lResult = g_pCurClutchRibRvs->Off();
        return 1300;
      case 1300:
        s.lResult = RollCheckWithoutCis(ulMask);
        return 1400;
      case 1400:
        s.lResult = MoveMainPinch(kMainPinchHalf, ulMask);
        return 1410;
      case 1410:
        s.lResult = SeqWaitMs(100, ulMask);
        return SEQ_STEP_END;
      default: {
        const uint32_t ulNext = ParkToTopSensor(s, ulMask, ulSlackSkip);
        // After the roll's edge: the ribbon stopped and a pause first.
        if (s.ulStep == 1110 && ulNext == 1200) return 1120;
        return ulNext;
      }
      case 1120:
        s.lResult = g_pDonorMng->StopRibbon(1, 1);
        return 1130;
      case 1130:
        s.lResult = SeqWaitMs(200, ulMask);
        return 1200;
    }
  });
}
