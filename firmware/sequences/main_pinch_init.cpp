// The main pinch roller at the home run. EM2 trusts "MainPin C" or the
// stored position; EM3 checks its stored status against the sensors and
// finishes a move that a power cut interrupted.
#include "firmware/sequences/main_pinch_init.h"

#include "firmware/devices/life_counters.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/settings.h"
#include "firmware/mechanism/main_pinch.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/mechanism/unit_moves.h"
#include "firmware/sequences/mechanism_init.h"

namespace {

constexpr uint32_t kPositions = 6;
constexpr uint32_t kUp = 1;
constexpr uint32_t kRequestDownOnSide = 10;
constexpr uint32_t kUnitL = 0;
constexpr uint32_t kUnitR = 1;
constexpr uint32_t kUnstable = 255;

using ResumeTable = int32_t[kPositions][kPositions];

// [stored position][stored target]; -1 where no rule.
constexpr ResumeTable kResumeAssumed = {
    {-1, -1, -1, -1, -1, -1}, {-1, -1, 2, 3, 4, 5},   {-1, 2, -1, 3, -1, -1},
    {-1, 3, 3, -1, -1, -1},   {-1, 4, -1, -1, -1, 5}, {-1, 5, -1, -1, 5, -1},
};
constexpr ResumeTable kResumeRequest = {
    {-1, -1, -1, -1, -1, -1}, {-1, -1, 1, 1, 1, 1},   {-1, 1, -1, 2, -1, -1},
    {-1, 1, 2, -1, -1, -1},   {-1, 1, -1, -1, -1, 4}, {-1, 1, -1, -1, 4, -1},
};
constexpr ResumeTable kResumeUnit = {
    {-1, -1, -1, -1, -1, -1}, {-1, -1, 0, 0, 1, 1},   {-1, 0, -1, 0, -1, -1},
    {-1, 0, 0, -1, -1, -1},   {-1, 1, -1, -1, -1, 1}, {-1, 1, -1, -1, 1, -1},
};

uint32_t ReadLevel(CDigitalSensor& sensor) {
  uint32_t ulLevel = kUnstable;
  sensor.Read(&ulLevel);
  return ulLevel;
}

uint32_t AdState(CAnalogSensor& sensor) {
  uint32_t ulState = 0;
  sensor.GetState(&ulState);
  return ulState;
}

// Move, then Step until done, as a step machine of its own.
int32_t DriveMainPinch(uint32_t ulRequest, uint32_t ulUnit, uint32_t ulMask) {
  return RunSteps(0, SEQ_STEP_ERROR, WithoutHostCheck(ulMask), [&](SeqStepState& s) -> uint32_t {
    switch (s.ulStep) {
      case 0:
        s.lResult = g_pProllMain->Move(ulRequest, ulUnit);
        return 10;
      case 10: {
        int32_t lDone = 0;
        s.lResult = g_pProllMain->Step(&lDone);
        return lDone != 0 ? SEQ_STEP_END : 10;
      }
      case SEQ_STEP_ERROR:
      case SEQ_STEP_END:
        return SEQ_STEP_END;
      default:
        s.lResult = -1;
        return SEQ_STEP_END;
    }
  });
}

// Whether the sensors read what `ulPosition` shows.
bool SensorsMatch(uint32_t ulPosition, uint32_t ulC, uint32_t ulL) {
  switch (ulPosition) {
    case 1:
      return ulC == 1 && ulL == 0;
    case 2:
    case 4:
      return ulC == 1 && ulL == 1;
    case 3:
    case 5:
      return ulC == 0;
    default:
      return false;
  }
}

void SetPositionAndTargetNoSave(uint32_t ulValue) {
  g_pProllMain->SetPositionNoSave(static_cast<uint16_t>(ulValue));
  g_pProllMain->SetTarget(static_cast<uint16_t>(ulValue));
}

}  // namespace

MainPinchResumeRule LookUpMainPinchResume(uint32_t ulPosition, uint32_t ulTarget) {
  if (ulPosition >= kPositions || ulTarget >= kPositions) return {-1, -1, -1};
  return {kResumeAssumed[ulPosition][ulTarget], kResumeRequest[ulPosition][ulTarget],
          kResumeUnit[ulPosition][ulTarget]};
}

int32_t ValidateMainPinchStatus(uint32_t* pulInvalid, uint32_t ulMask) {
  (void)ulMask;
  uint32_t ulRaw = 0, ulMoving = 0, ulTarget = 0, ulPosition = 0;
  g_pProllMain->GetStoredStatus(&ulRaw, &ulMoving, &ulTarget, &ulPosition);
  if (ulMoving != 0) {
    const bool bValid = ulTarget >= 1 && ulTarget <= 5 && ulPosition >= 1 && ulPosition <= 5;
    *pulInvalid = bValid ? 0 : 1;
    SetPositionAndTargetNoSave(0);
    return 0;
  }
  const bool bMatch = SensorsMatch(ulPosition, ReadLevel(g_SensorMainPinC), ReadLevel(g_SensorMainPinL));
  *pulInvalid = bMatch ? 0 : 1;
  SetPositionAndTargetNoSave(bMatch ? ulPosition : 0);
  return 0;
}

int32_t RaiseMainPinchUnlessHalf(uint32_t ulMask) {
  uint32_t ulPosition = 0;
  g_pProllMain->GetPosition(&ulPosition);
  if (AdState(g_AdPaperPath) == 1 && (ulPosition == 2 || ulPosition == 4)) return 0;
  return MoveMainPinch(kUp, ulMask);
}

int32_t ResumeMainPinchMove(uint32_t* pulUnsettled, uint32_t ulTarget, uint32_t ulPosition, uint32_t ulMask) {
  const MainPinchResumeRule rule = LookUpMainPinchResume(ulPosition, ulTarget);
  if (rule.lAssumed < 0) {
    *pulUnsettled = 1;
    return 0;
  }
  uint32_t ulAssumed = static_cast<uint32_t>(rule.lAssumed);
  uint32_t ulRequest = static_cast<uint32_t>(rule.lRequest);
  if ((ulRequest == 2 || ulRequest == 4) && AdState(g_AdPaperPath) == 0) {
    // No paper to hold: the roller is taken to be at the half position
    // and driven up.
    ulAssumed = ulRequest;
    ulRequest = kUp;
  }
  g_pProllMain->SetPosition(static_cast<uint16_t>(ulAssumed));
  const int32_t lResult = DriveMainPinch(ulRequest, static_cast<uint32_t>(rule.lUnit), ulMask);
  *pulUnsettled = 0;
  return lResult;
}

int32_t FindMainPinchAtPaper(uint32_t ulAtTopL, uint32_t /*ulAtTopR*/, uint32_t ulMask) {
  const bool bSideL = ulAtTopL == 1;
  const uint32_t ulC = ReadLevel(g_SensorMainPinC);
  const uint32_t ulL = ReadLevel(g_SensorMainPinL);
  int32_t lResult = 0;
  if (ulC == 1 && ulL == 1) {
    // Half down on the paper's side: down there first, then up.
    const uint32_t ulUnit = bSideL ? kUnitL : kUnitR;
    g_pProllMain->SetPositionNoSave(bSideL ? 2 : 4);
    lResult = DriveMainPinch(kRequestDownOnSide, ulUnit, ulMask);
    if (lResult == 0) lResult = DriveMainPinch(kUp, kUnitL, ulMask);
  } else if (ulC == 0 && (ulL == 0 || ulL == 1)) {
    const bool bFarSide = ulL == 0;
    g_pProllMain->SetPositionNoSave(bSideL == bFarSide ? 5 : 3);
    g_pProllMain->SetVerify(0);
    lResult = DriveMainPinch(kUp, kUnitL, ulMask);
    g_pProllMain->SetVerify(1);
    if (lResult == 0 && ReadLevel(g_SensorMainPinL) != 0) {
      // Stopped at a half position on the way up.
      uint32_t ulHalf = bSideL ? 4 : 2;
      if (ulL == 0) ulHalf = bSideL ? 2 : 4;
      g_pProllMain->SetPosition(static_cast<uint16_t>(ulHalf));
      uint32_t ulPosition = 0;
      g_pProllMain->GetPosition(&ulPosition);
      g_pProllMain->SetTarget(static_cast<uint16_t>(ulPosition));
      lResult = DriveMainPinch(kUp, kUnitL, ulMask);
    }
  } else {
    g_pProllMain->SetPosition(kUp);
    g_pProllMain->SetTarget(kUp);
  }
  g_pProllMain->SetVerify(1);
  return lResult;
}

int32_t InitMainPinchEM2(uint32_t ulMoveFlag, uint32_t ulMask) {
  if (ReadLevel(g_SensorMainPinC) == 1) {
    g_pProllMain->SetPosition(kUp);
    return 0;
  }
  const int32_t lStored = SettingValue(g_ParamMainPinStatus);
  g_pProllMain->SetPosition(static_cast<uint16_t>(lStored));
  if (ulMoveFlag == 0) return 0;
  return DriveMainPinch(kUp, kUnitL, ulMask);
}

int32_t InitMainPinchEM3(uint32_t ulMoveFlag, uint32_t ulMask) {
  uint32_t ulUp = 0;
  g_pProllMain->CheckUpState(&ulUp);
  if (ulUp != 0) return 0;
  uint32_t ulInvalid = 0;
  int32_t lResult = ValidateMainPinchStatus(&ulInvalid, ulMask);
  if (ulMoveFlag == 0 || lResult != 0) return lResult;
  if (ulInvalid != 0) g_pProllMain->SetPosition(0);
  uint32_t ulRaw = 0, ulMoving = 0, ulTarget = 0, ulPosition = 0;
  g_pProllMain->GetStoredStatus(&ulRaw, &ulMoving, &ulTarget, &ulPosition);
  if (ulPosition != 0) {
    if (ulMoving == 0) return RaiseMainPinchUnlessHalf(ulMask);
    uint32_t ulUnsettled = 0;
    lResult = ResumeMainPinchMove(&ulUnsettled, ulTarget, ulPosition, ulMask);
    if (ulUnsettled == 0) return lResult;
    g_pProllMain->SetPosition(0);
  }
  const uint32_t ulTopL = AdState(g_AdTopL);
  const uint32_t ulTopR = AdState(g_AdTopR);
  if (ulTopL != 1 && ulTopR != 1) {
    const bool bPathL = SettingValue(g_ParamPrintpathFlag) == 3;
    g_CounterMainPin.Add(1);
    return FindMainPinchAtPaper(bPathL ? 1 : 0, bPathL ? 0 : 1, ulMask);
  }
  return FindMainPinchAtPaper(ulTopL, ulTopR, ulMask);
}
