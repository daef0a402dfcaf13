#include "firmware/devices/paper_position.h"

#include "firmware/control/line_steps.h"
#include "firmware/devices/ramps.h"
#include "firmware/devices/stepper.h"
#include "firmware/hal/hw.h"
#include "firmware/mechanism/eject_motor.h"

constinit CPaperPosition g_PaperPosition;

namespace {

// How many position steps one pulse is worth and how many pulses one
// position step takes, by excitation mode 1-4.
struct ExcitationMode {
  uint32_t ulStepSize;
  uint32_t ulPulsesPerCount;
};
constexpr ExcitationMode kExcitationModes[] = {{2, 1}, {1, 1}, {1, 2}, {1, 4}};
constexpr uint32_t kExcitationModeCount = sizeof(kExcitationModes) / sizeof(kExcitationModes[0]);

// Position arithmetic wraps as the 32-bit counter does.
int32_t Add(int32_t lA, int32_t lB) { return static_cast<int32_t>(static_cast<uint32_t>(lA) + static_cast<uint32_t>(lB)); }
int32_t Sub(int32_t lA, int32_t lB) { return static_cast<int32_t>(static_cast<uint32_t>(lA) - static_cast<uint32_t>(lB)); }

uint32_t Magnitude(int32_t lValue) {
  return lValue < 0 ? 0u - static_cast<uint32_t>(lValue) : static_cast<uint32_t>(lValue);
}

}  // namespace

constexpr PaperSpeedProfile g_aPaperSpeedProfiles[] = {
    {0, &g_Ramp27, &g_Ramp27, &g_Ramp28, &g_Ramp28},
    {1, &g_Ramp00, &g_Ramp05, &g_Ramp00, &g_Ramp05},
    {2, &g_Ramp01, &g_Ramp06, &g_Ramp01, &g_Ramp06},
    {3, &g_Ramp02, &g_Ramp07, &g_Ramp02, &g_Ramp07},
    {4, &g_Ramp03, &g_Ramp08, &g_Ramp03, &g_Ramp08},
    {5, &g_Ramp04, &g_Ramp09, nullptr, nullptr},
    {6, &g_Ramp10, &g_Ramp10, &g_Ramp10, &g_Ramp10},
    {7, &g_Ramp10, &g_Ramp11, &g_Ramp10, &g_Ramp11},
    {8, &g_Ramp10, &g_Ramp12, &g_Ramp10, &g_Ramp12},
    {9, &g_Ramp11, &g_Ramp11, &g_Ramp11, &g_Ramp11},
    {10, &g_Ramp11, &g_Ramp12, &g_Ramp11, &g_Ramp12},
    {11, &g_Ramp15, &g_Ramp15, &g_Ramp16, &g_Ramp16},
    {12, &g_Ramp17, &g_Ramp17, &g_Ramp18, &g_Ramp18},
    {13, &g_Ramp19, &g_Ramp19, &g_Ramp20, &g_Ramp20},
    {14, &g_Ramp21, &g_Ramp21, &g_Ramp22, &g_Ramp22},
    {15, &g_Ramp25, &g_Ramp25, &g_Ramp25, &g_Ramp25},
    {20, nullptr, nullptr, &g_Ramp29, &g_Ramp29},
    {21, nullptr, nullptr, &g_Ramp30, &g_Ramp30},
    {22, nullptr, nullptr, &g_Ramp31, &g_Ramp31},
    {23, nullptr, nullptr, &g_Ramp32, &g_Ramp32},
    {30, nullptr, nullptr, &g_Ramp38, &g_Ramp38},
    {31, nullptr, nullptr, &g_Ramp39, &g_Ramp39},
    {32, nullptr, nullptr, &g_Ramp40, &g_Ramp40},
    {33, nullptr, nullptr, &g_Ramp41, &g_Ramp41},
};
constexpr uint32_t g_ulPaperSpeedProfileCount = sizeof(g_aPaperSpeedProfiles) / sizeof(g_aPaperSpeedProfiles[0]);

namespace {

const PaperSpeedProfile* FindProfile(uint32_t ulProfile) {
  for (const PaperSpeedProfile& profile : g_aPaperSpeedProfiles) {
    if (profile.ulProfile == ulProfile) return &profile;
  }
  return nullptr;
}

// Runs a stepper up its ramp pair: -1 (nothing started) for a pair the
// profile refuses.
int32_t RunOnRamps(CStpmtr& motor, const CRampTable* pAccel, const CRampTable* pDecel, uint32_t ulDirection,
                   uint32_t ulStepMode, uint32_t ulRemaining) {
  if (pAccel == nullptr || pDecel == nullptr) return -1;
  uint16_t* pusAccel = nullptr;
  uint16_t* pusDecel = nullptr;
  uint32_t ulLength = 0;
  pAccel->GetTable(&pusAccel);
  pDecel->GetTable(&pusDecel);
  pAccel->GetCount(&ulLength);
  return motor.RunRamp(pusAccel, pusDecel, ulLength, ulDirection, ulStepMode, ulRemaining, 0);
}

}  // namespace

CPaperPosition::CPaperPosition(GlobalBuild) : m_ulFeedDrive(PAPER_PROFILE_NONE) {}

int32_t CPaperPosition::Reset(uint32_t ulKeepPosition) {
  m_lTarget = 0;
  m_ulMoving = 0;
  m_ulMainProfile = 0;
  m_ulNoStop = 0;
  if (ulKeepPosition == 0) m_lPosition = 0;
  return 0;
}

int32_t CPaperPosition::SetCurrentPoint(uint32_t ulLines) {
  m_lPosition = static_cast<int32_t>(LinesToSteps(ulLines));
  return 0;
}

int32_t CPaperPosition::SetCurrentPointOffset(uint32_t ulLines, int32_t lSteps) {
  m_lPosition = static_cast<int32_t>(LinesToSteps(ulLines) + static_cast<uint32_t>(lSteps));
  return 0;
}

int32_t CPaperPosition::GetCurrentPoint(uint32_t* pulLines) const {
  *pulLines = StepsToLines(static_cast<uint32_t>(static_cast<int32_t>(m_lPosition)));
  return 0;
}

int32_t CPaperPosition::GetCurrentPointSteps(int32_t* plSteps) const {
  *plSteps = m_lPosition;
  return 0;
}

int32_t CPaperPosition::SetParam(uint32_t ulId, uint32_t ulValue) {
  switch (ulId) {
    case PAPER_PARAM_EXCITATION_MODE:
      m_ulExcitationMode = ulValue;
      // Another mode is kept as given and leaves the counting as it was.
      if (ulValue >= 1 && ulValue <= kExcitationModeCount) {
        m_ulStepSize = kExcitationModes[ulValue - 1].ulStepSize;
        m_ulPulsesPerCount = kExcitationModes[ulValue - 1].ulPulsesPerCount;
      }
      break;
    case PAPER_PARAM_SUB_STEP_MODE: m_ulSubStepMode = ulValue; break;
    case PAPER_PARAM_MAIN_PROFILE: m_ulMainProfile = ulValue; break;
    case PAPER_PARAM_SUB_PROFILE: m_ulSubProfile = ulValue; break;
    case PAPER_PARAM_NO_STOP: m_ulNoStop = ulValue; break;
    case PAPER_PARAM_AUX: m_ulAux = ulValue; break;
    case PAPER_PARAM_FEED_DRIVE: m_ulFeedDrive = ulValue; break;
    default: break;
  }
  return 0;
}

int32_t CPaperPosition::GetParam(uint32_t ulId, uint32_t* pulValue) const {
  switch (ulId) {
    case PAPER_PARAM_EXCITATION_MODE: *pulValue = m_ulExcitationMode; return 0;
    case PAPER_PARAM_SUB_STEP_MODE: *pulValue = m_ulSubStepMode; return 0;
    case PAPER_PARAM_MAIN_PROFILE: *pulValue = m_ulMainProfile; return 0;
    case PAPER_PARAM_SUB_PROFILE: *pulValue = m_ulSubProfile; return 0;
    case PAPER_PARAM_NO_STOP: *pulValue = m_ulNoStop; return 0;
    case PAPER_PARAM_AUX: *pulValue = m_ulAux; return 0;
    case PAPER_PARAM_FEED_DRIVE: *pulValue = m_ulFeedDrive; return 0;
    default: return -1;
  }
}

int32_t CPaperPosition::GetRemaining(uint32_t* pulSteps) const {
  *pulSteps = Magnitude(Sub(m_lTarget, m_lPosition));
  return 0;
}

int32_t CPaperPosition::SetRemainSteps(uint32_t ulSteps) {
  m_ulRemainSteps = ulSteps;
  return 0;
}

int32_t CPaperPosition::GetRemainSteps(uint32_t* pulSteps) const {
  *pulSteps = m_ulRemainSteps;
  return 0;
}

int32_t CPaperPosition::GetMoving(uint32_t* pulMoving) const {
  *pulMoving = m_ulMoving;
  return 0;
}

int32_t CPaperPosition::GetTarget(int32_t* plTarget) const {
  *plTarget = m_lTarget;
  return 0;
}

// ---- moves --------------------------------------------------------------------------------

void CPaperPosition::SetDirection(int32_t lSteps) {
  m_ulBackward = lSteps <= 0 ? 1 : 0;
  m_lIncrement = lSteps <= 0 ? -static_cast<int32_t>(m_ulStepSize) : static_cast<int32_t>(m_ulStepSize);
}

uint32_t CPaperPosition::PulsesFor(uint32_t ulSteps) const {
  switch (m_ulExcitationMode) {
    case 1: return ulSteps >> 1;
    case 3: return ulSteps * 2;
    case 4: return ulSteps * 4;
    default: return ulSteps;
  }
}

int32_t CPaperPosition::MoveSteps(int32_t lSteps) {
  m_ulMoving = 1;
  m_lTarget = Add(m_lPosition, lSteps);
  SetDirection(lSteps);
  m_ulPulseCounter = 0;
  return RunSteppers(PulsesFor(Magnitude(lSteps)));
}

int32_t CPaperPosition::MoveLines(int32_t lLines) {
  m_ulMoving = 1;
  const int32_t lSteps = lLines >= 0 ? static_cast<int32_t>(LinesToSteps(static_cast<uint32_t>(lLines)))
                                     : -static_cast<int32_t>(LinesToSteps(Magnitude(lLines)));
  m_lTarget = Add(m_lPosition, lSteps);
  SetDirection(lSteps);
  m_ulPulseCounter = 0;
  // A line move halves for full steps but does not multiply for the finer
  // modes.
  const uint32_t ulSteps = Magnitude(lSteps);
  return RunSteppers(m_ulExcitationMode == 1 ? ulSteps >> 1 : ulSteps);
}

int32_t CPaperPosition::MoveTo(int32_t lLines, int32_t lMoreLines) {
  m_ulMoving = 1;
  const int32_t lPosition = m_lPosition;
  int32_t lTarget = static_cast<int32_t>(LinesToSteps(static_cast<uint32_t>(lLines + lMoreLines)));
  // A full-step move keeps the half-step parity of the position.
  if (m_ulExcitationMode == 1) lTarget |= lPosition & 1;
  m_lTarget = lTarget;
  if (lTarget == lPosition) {
    StopAtTarget();
    return 0;
  }
  SetDirection(lTarget < lPosition ? -1 : 1);
  const uint32_t ulDistance = Magnitude(Sub(lTarget, lPosition));
  m_ulPulseCounter = 0;
  return RunSteppers(PulsesFor(ulDistance));
}

int32_t CPaperPosition::RunSteppers(uint32_t ulPulses) {
  // The sub stepper turns the other way round and runs until it is halted;
  // a profile that refuses a stepper leaves it unstarted.
  if (m_ulSubProfile != PAPER_PROFILE_NONE) {
    const PaperSpeedProfile* pProfile = FindProfile(m_ulSubProfile);
    if (pProfile != nullptr) {
      RunOnRamps(g_StpmtrSub, pProfile->pSubAccel, pProfile->pSubDecel, m_ulBackward == 0 ? 1 : 0, m_ulSubStepMode, 0);
    }
  }
  if (m_ulMainProfile != PAPER_PROFILE_NONE) {
    const PaperSpeedProfile* pProfile = FindProfile(m_ulMainProfile);
    if (pProfile != nullptr) {
      RunOnRamps(g_StpmtrMain, pProfile->pMainAccel, pProfile->pMainDecel, m_ulBackward, m_ulExcitationMode, ulPulses);
    }
  }
  int32_t lResult = 0;
  // The eject motor turns with the paper, for this move only.
  if (m_ulFeedDrive != PAPER_PROFILE_NONE) lResult = g_EjectMotor.Start(m_ulBackward != 0 ? 1 : 0);
  m_ulFeedDrive = PAPER_PROFILE_NONE;
  return lResult;
}

// ---- the end of a move and the counting ---------------------------------------------------

int32_t CPaperPosition::StopAtTarget() {
  m_ulMoving = 0;
  g_StpmtrMain.Halt();
  if (g_StpmtrSub.IsIndependent() == 0) g_StpmtrSub.Halt();
  return 0;
}

int32_t CPaperPosition::ClearMoving() {
  m_ulMoving = 0;
  return 0;
}

int32_t CPaperPosition::StopAll() {
  m_ulMoving = 0;
  g_StpmtrMain.Stop();
  g_StpmtrSub.Stop();
  return 0;
}

int32_t CPaperPosition::OnStepInterrupt() {
  int32_t lResult = 0;
  DisableIrq();
  if (m_ulMoving == 1) {
    const uint32_t ulCounter = m_ulPulseCounter + 1;
    if (ulCounter == m_ulPulsesPerCount) {
      m_ulPulseCounter = 0;
      const int32_t lPosition = Add(m_lPosition, m_lIncrement);
      m_lPosition = lPosition;
      if (m_ulNoStop == 0 && lPosition == m_lTarget) lResult = StopAtTarget();
    } else {
      m_ulPulseCounter = ulCounter;
    }
  }
  EnableIrq();
  return lResult;
}
