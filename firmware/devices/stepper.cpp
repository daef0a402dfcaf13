// The stepper state machine: runs, the per-pulse steps and the stops.
#include "firmware/devices/stepper.h"

#include "firmware/devices/paper_position.h"
#include "firmware/devices/settings.h"

uint32_t g_ulSpeedModOn;
uint16_t g_usSpeedModRefPos = 0xFFFFu;
uint16_t g_usSpeedModPhase;

namespace {

constexpr uint32_t kMicrosecondsPerSecond = 1000000;
constexpr uint32_t kTicksPerMicrosecond = 25;
// The top speed's six periods: the phase's ring of low, high, low, high and
// twice the plain period.
constexpr uint32_t kTopPeriods = 6;
// The modulation's phase comes from the paper position modulo this.
constexpr uint32_t kModulationCycleSteps = 400;

}  // namespace

CStpmtr::CStpmtr(const char* pszLabel, bool bModulated)
    : m_pszLabel(pszLabel),
      m_lPendingState(STPMTR_NO_PENDING_STATE),
      m_lState(STPMTR_IDLE),
      m_bModulated(bModulated) {}

// ---- running ------------------------------------------------------------------------------

int32_t CStpmtr::RunConstant(uint32_t ulRate, uint32_t ulDirection, uint32_t ulStepMode, uint32_t ulRemaining) {
  // A rate of 0 has no period, and one above 1 MHz a period of 0.
  if (ulRate == 0 || ulRate > kMicrosecondsPerSecond) return -1;
  const uint32_t ulPeriodUs = kMicrosecondsPerSecond / ulRate;
  m_lPendingState = STPMTR_NO_PENDING_STATE;
  int32_t lResult = SetDirection(ulDirection);
  if (lResult == 0) lResult = SetStepMode(ulStepMode);
  if (lResult != 0) return lResult;
  m_ulStepMode = ulStepMode;
  m_ulRemaining = ulRemaining;
  m_lState = STPMTR_CONSTANT;
  SetExcitation(1);
  lResult = SetPeriod(ulPeriodUs * kTicksPerMicrosecond);
  if (lResult != 0) return lResult;
  return StartPulses();
}

int32_t CStpmtr::RunRamp(const uint16_t* pusAccel, const uint16_t* pusDecel, uint32_t ulLength, uint32_t ulDirection,
                         uint32_t ulStepMode, uint32_t ulRemaining, uint32_t ulHeld) {
  if (pusAccel == nullptr || pusDecel == nullptr) return -1;
  m_lPendingState = STPMTR_NO_PENDING_STATE;
  m_ulRampLength = ulLength;
  m_pusAccel = pusAccel;
  m_pusDecel = pusDecel;
  m_ulRampPosition = 0;
  int32_t lResult = SetDirection(ulDirection);
  if (lResult == 0) lResult = SetStepMode(ulStepMode);
  if (lResult != 0) return lResult;
  m_ulStepMode = ulStepMode;
  m_ulRemaining = ulRemaining;
  m_lState = ulHeld == 1 ? STPMTR_HELD : STPMTR_ACCELERATING;
  m_ulRampIndex = 0;
  const uint32_t ulFirst = pusAccel[0];
  SetExcitation(1);
  SetupTopPeriods(pusAccel[ulLength]);
  lResult = SetPeriod(ulFirst);
  if (lResult == 0) lResult = StartPulses();
  return lResult;
}

void CStpmtr::SetupTopPeriods(uint32_t ulTop) {
  for (uint32_t& ulPeriod : m_aulTopPeriods) ulPeriod = ulTop;
  int32_t lRate = 0;
  g_ParamAmplitudeRate1.GetValue(&lRate);
  if (!m_bModulated || g_ulSpeedModOn == 0 || lRate <= 0) return;
  const uint32_t ulRate = static_cast<uint32_t>(lRate);
  const uint32_t ulHigh = ulTop * (100 + ulRate) / 100;
  const uint32_t ulLow = ulTop * (100 - ulRate) / 100;
  // The phase follows the paper: where it stands in steps, modulo the
  // modulation's cycle, against the position of the first modulated run.
  int32_t lPosition = 0;
  g_PaperPosition.GetCurrentPointSteps(&lPosition);
  const uint32_t ulPosition = static_cast<uint32_t>(lPosition) % kModulationCycleSteps;
  uint32_t ulPhase = 0;
  if (g_usSpeedModRefPos == 0xFFFFu) {
    g_usSpeedModRefPos = static_cast<uint16_t>(ulPosition);
  } else if (ulPosition < g_usSpeedModRefPos) {
    ulPhase = (g_usSpeedModRefPos - ulPosition) % kTopPeriods;
  } else {
    ulPhase = kTopPeriods - 1 - (ulPosition - g_usSpeedModRefPos) % kTopPeriods;
  }
  g_usSpeedModPhase = static_cast<uint16_t>(ulPhase);
  const uint32_t aulRing[kTopPeriods] = {ulLow, ulHigh, ulLow, ulHigh, ulTop, ulTop};
  for (uint32_t i = 0; i < kTopPeriods; ++i) m_aulTopPeriods[(ulPhase + i) % kTopPeriods] = aulRing[i];
}

int32_t CStpmtr::OnStep() {
  const uint32_t ulRemaining = m_ulRemaining;
  if (ulRemaining != 0) m_ulRemaining = ulRemaining - 1;
  const uint32_t ulCountdown = m_ulCountdown;
  if (ulCountdown != 0) m_ulCountdown = ulCountdown - 1;
  const int32_t lPending = m_lPendingState;
  if (lPending != STPMTR_NO_PENDING_STATE) {
    // A pending state does not take a constant-rate run out of its state.
    if (m_lState != STPMTR_CONSTANT) m_lState = lPending;
    m_lPendingState = STPMTR_NO_PENDING_STATE;
  }
  switch (m_lState) {
    case STPMTR_ACCELERATING: AccelStep(); break;
    case STPMTR_TOP_SPEED: TopStep(); break;
    case STPMTR_DECELERATING: DecelStep(); break;
    case STPMTR_IDLE:
    case STPMTR_STOPPED: return -1;
    default: break;
  }
  return 0;
}

bool CStpmtr::DecelWhenStepsRunOut() {
  const uint32_t ulRemaining = m_ulRemaining;
  if (ulRemaining == 0 || m_ulRampPosition < ulRemaining) return false;
  m_lState = STPMTR_DECELERATING;
  return true;
}

bool CStpmtr::AccelStepOwn() {
  const bool bDecel = DecelWhenStepsRunOut();
  if (m_ulRampIndex < m_ulRampLength) {
    ++m_ulRampIndex;
    SetPeriod(m_pusAccel[m_ulRampIndex]);
    m_ulRampPosition = m_ulRampPosition + 1;
  } else {
    // The top entry reached: top speed, even when the steps ran out in this
    // pulse (the next pulse's top step turns down).
    m_lState = STPMTR_TOP_SPEED;
  }
  return bDecel;
}

bool CStpmtr::TopStepOwn() {
  const bool bDecel = DecelWhenStepsRunOut();
  SetPeriod(m_aulTopPeriods[m_ulPhaseCounter % kTopPeriods]);
  ++m_ulPhaseCounter;
  return bDecel;
}

int32_t CStpmtr::AccelStep() {
  AccelStepOwn();
  return 0;
}

int32_t CStpmtr::TopStep() {
  TopStepOwn();
  return 0;
}

void CStpmtr::DecelStep() {
  const uint32_t ulPosition = m_ulRampPosition;
  // A deceleration that starts before the first step up has nothing to
  // come down: it ends at once.
  const uint32_t ulNext = ulPosition == 0 ? 0 : ulPosition - 1;
  m_ulRampPosition = ulNext;
  if (ulNext == 0) {
    if (m_lStopRequest != 0) {
      Stop();
    } else {
      m_lState = STPMTR_CONSTANT;
    }
    return;
  }
  --m_ulRampIndex;
  SetPeriod(m_pusDecel[m_ulRampIndex]);
}

// ---- stopping -----------------------------------------------------------------------------

int32_t CStpmtr::Stop() {
  m_lState = STPMTR_STOPPED;
  StopPulses();
  SetExcitation(0);
  m_lStopRequest = 0;
  return 0;
}

int32_t CStpmtr::Halt() {
  m_lState = STPMTR_IDLE;
  StopPulses();
  m_lStopRequest = 0;
  return 0;
}

int32_t CStpmtr::RequestDecel() {
  const int32_t lState = m_lState;
  if (lState == STPMTR_ACCELERATING || lState == STPMTR_TOP_SPEED) {
    m_lState = STPMTR_DECELERATING;
    m_lStopRequest = 1;
  }
  return 0;
}

int32_t CStpmtr::JoinDecel() {
  const int32_t lState = m_lState;
  if (lState == STPMTR_ACCELERATING || lState == STPMTR_TOP_SPEED) m_lState = STPMTR_DECELERATING;
  return 0;
}

int32_t CStpmtr::DecelerateAndStop() {
  const int32_t lState = m_lState;
  // A run held at its start rate comes down too (from its first step, at
  // once), so the wait below always ends.
  if (lState == STPMTR_ACCELERATING || lState == STPMTR_TOP_SPEED || lState == STPMTR_HELD) {
    m_lState = STPMTR_DECELERATING;
  }
  for (;;) {
    const int32_t lNow = m_lState;
    if (lNow == STPMTR_CONSTANT || lNow == STPMTR_IDLE || lNow == STPMTR_STOPPED) break;
  }
  return Stop();
}

// ---- accessors ----------------------------------------------------------------------------

int32_t CStpmtr::SetPendingState(int32_t lState) {
  m_lPendingState = lState;
  return 0;
}

int32_t CStpmtr::SetTargetSteps(uint32_t ulSteps) {
  m_ulRemaining = ulSteps;
  return 0;
}

int32_t CStpmtr::GetTargetSteps(uint32_t* pulSteps) const {
  *pulSteps = m_ulRemaining;
  return 0;
}

int32_t CStpmtr::SetCountdown(uint32_t ulCount) {
  m_ulCountdown = ulCount;
  return 0;
}

int32_t CStpmtr::GetCountdown(uint32_t* pulCount) const {
  *pulCount = m_ulCountdown;
  return 0;
}

int32_t CStpmtr::GetState(int32_t* plState) const {
  *plState = m_lState;
  return 0;
}

int32_t CStpmtr::GetRampSteps(uint32_t* pulSteps) const {
  *pulSteps = m_ulRampPosition;
  return 0;
}

// ---- the base's driver slots do nothing ---------------------------------------------------

int32_t CStpmtr::SetStepMode(uint32_t) { return 0; }
int32_t CStpmtr::SetDirection(uint32_t) { return 0; }
int32_t CStpmtr::SetExcitation(uint32_t) { return 0; }
int32_t CStpmtr::SetPeriod(uint32_t) { return 0; }
int32_t CStpmtr::StartPulses() { return 0; }
int32_t CStpmtr::StopPulses() { return 0; }
