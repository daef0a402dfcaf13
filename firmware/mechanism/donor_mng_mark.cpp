// The mark-sensor managers of both units: the panel search by the panels'
// mark patterns, the capture of a pattern and the identification by it.
#include "firmware/mechanism/donor_mng_mark.h"

#include "firmware/control/error_manager.h"
#include "firmware/devices/analog_sensor.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/mechanism/ribbon_roll.h"
#include "firmware/platform/time_base.h"

constinit CDonorMng_MarkSen g_DonorMngMarkSenL;
constinit CDonorMng_MarkSen g_DonorMngMarkSenR;

namespace {

constexpr uint32_t kMarkStateCapture = 3;
// Readings in a row that agree end the capture.
constexpr uint32_t kUnchangedReadings = 1;

CAnalogSensor* MarkSensor(uint32_t ulIndex) {
  CAnalogSensor* const apSensors[RIBBON_MARK_SENSORS] = {g_pCurAdRMark1, g_pCurAdRMark2, g_pCurAdRMark3,
                                                         g_pCurAdRMark4};
  return apSensors[ulIndex];
}

bool SameMarks(const uint32_t* pulA, const uint32_t* pulB) {
  for (uint32_t i = 0; i < RIBBON_MARK_SENSORS; ++i) {
    if (pulA[i] != pulB[i]) return false;
  }
  return true;
}

}  // namespace

bool CDonorMng_MarkSen::Stalled() {
  uint32_t ulStalled = 0;
  return CheckStall(&ulStalled) != 0 || ulStalled != 0;
}

// The first ulSensors mark sensors into the states: 0 or the failed read.
int32_t CDonorMng_MarkSen::ReadMarks(uint32_t aulStates[4], uint32_t ulSensors) const {
  for (uint32_t i = 0; i < ulSensors; ++i) {
    const int32_t lResult = MarkSensor(i)->GetState(&aulStates[i]);
    if (lResult != 0) return lResult;
  }
  return 0;
}

int32_t CDonorMng_MarkSen::StartPanelSearch(uint32_t ulPhase) {
  uint32_t ulNext = 0;
  if (GetNextPanel(ulPhase, &ulNext) != 0) return -1;
  g_pRibbonRoll->SetSearchPanel(ulNext);
  m_ulSearchState = kSearchStarted;
  g_pCurSlitRibEncSrc->Clear();
  g_pCurSlitRibEncDst->Clear();
  return SetRibbonPhase(ulPhase, 1);
}

int32_t CDonorMng_MarkSen::StartPhase(uint32_t ulPhase, uint32_t) {
  uint32_t ulNext = 0;
  if (GetNextPanel(ulPhase, &ulNext) != 0) return -1;
  g_pRibbonRoll->SetSearchPanel(ulNext);
  uint32_t ulDirection = 0;
  if (GetSearchDirection(ulPhase, &ulDirection) != 0) return -1;
  m_ulSearchState = ulPhase >= RIBPH_ROLLUP_AP_Y ? kSearchSampling : kSearchStarted;
  return SetRibbonPhase(ulPhase, ulDirection);
}

int32_t CDonorMng_MarkSen::Step(uint32_t*) {
  if (Stalled()) return -1;
  switch (m_ulSearchState) {
    case kSearchIdle:
      return 0;
    case kSearchStarted: {
      const int32_t lResult = CheckPanelMarks();
      if (lResult != 0) return lResult;
      if (PrintPlaneOfPhase(m_ulRibbonPhase) >= 0) {
        m_ulSearchState = kSearchIdle;
        return 0;
      }
      // Outside printing the ribbon stops one count after the marks.
      SetTarget(1);
      m_ulSearchState = kSearchSampling;
      return 1;
    }
    case kSearchSampling: {
      uint32_t ulDone = 0;
      IsAtTarget(0, &ulDone);
      if (ulDone == 0) return 1;
      m_ulSearchState = kSearchIdle;
      StopRibbon(0, 0);
      return 0;
    }
    default:
      return -1;
  }
}

int32_t CDonorMng_MarkSen::CheckPanelMarks() {
  if (Stalled()) return -1;
  uint32_t aulStates[RIBBON_MARK_SENSORS] = {};
  const int32_t lResult = ReadMarks(aulStates, RIBBON_MARK_SENSORS);
  if (lResult != 0) return lResult;
  return SameMarks(aulStates, g_pRibbonRoll->MarkPattern(g_pRibbonRoll->GetSearchPanel())) ? 0 : 1;
}

int32_t CDonorMng_MarkSen::WindOneCount() {
  StopRibbon(0, 1);
  SetRibbonPhase(RIBPH_SLOW_WIND_Y, 1);
  SetTarget(1);
  m_ulSearchState = kSearchSampling;
  return 1;
}

int32_t CDonorMng_MarkSen::FindMarkPattern() {
  if (Stalled()) return -1;
  switch (m_ulSearchState) {
    case kSearchIdle:
      return 0;
    case kSearchStarted: {
      uint32_t ulSensor4 = 0;
      const int32_t lResult = MarkSensor(3)->GetState(&ulSensor4);
      if (lResult != 0) return lResult;
      if (ulSensor4 != 0) return 1;
      // Past the mark band: the supply pulls the ribbon back onto it.
      StopRibbon(0, 0);
      SetRibbonPhase(RIBPH_TENSION, 2);
      g_MsTimer.WaitMs(kPullBackMs);
      StopRibbon(0, 0);
      const int32_t lRead = ReadMarks(m_aulMarkStates, 3);
      if (lRead != 0) return lRead;
      m_aulMarkStates[3] = 0;
      m_ulUnchangedCount = 0;
      return WindOneCount();
    }
    case kSearchSampling: {
      uint32_t ulDone = 0;
      IsAtTarget(0, &ulDone);
      if (ulDone != 0) {
        m_ulSearchState = kMarkStateCapture;
        StopRibbon(0, 0);
      }
      return 1;
    }
    case kMarkStateCapture: {
      uint32_t aulStates[RIBBON_MARK_SENSORS] = {};
      const int32_t lResult = ReadMarks(aulStates, RIBBON_MARK_SENSORS);
      if (lResult != 0) return lResult;
      if (SameMarks(aulStates, m_aulMarkStates)) {
        ++m_ulUnchangedCount;
      } else {
        m_ulUnchangedCount = 0;
        for (uint32_t i = 0; i < RIBBON_MARK_SENSORS; ++i) m_aulMarkStates[i] = aulStates[i];
      }
      if (m_ulUnchangedCount > kUnchangedReadings) {
        m_ulSearchState = kSearchIdle;
        StopRibbon(0, 0);
        return 0;
      }
      if (aulStates[3] != 0) {
        StopRibbon(0, 0);
        return 0;
      }
      return WindOneCount();
    }
    default:
      return -1;
  }
}

int32_t CDonorMng_MarkSen::IdentifyRibbonType() {
  for (uint32_t i = 0; i < RIBBON_ROLL_ROW; ++i) {
    CRibbonRoll* pRoll = g_pCurRibbonRolls[i];
    if (pRoll == RibbonRollEnd()) break;
    if (SameMarks(pRoll->MarkPattern(0), m_aulMarkStates)) {
      SelectRibbonRoll(i);
      return 0;
    }
  }
  g_ErrorMng.SetError(g_ulCurErrIncorrectRib);
  return -1;
}
