#include "firmware/mechanism/eject_motor.h"

#include "firmware/devices/chop_motor.h"
#include "firmware/devices/parameter.h"
#include "firmware/devices/settings.h"
#include "firmware/mechanism/step_machine.h"

constinit CEjectMotor g_EjectMotor;

namespace {

constexpr uint32_t kReverse = 1;
constexpr uint32_t kStopMask = SEQ_CHECK_HOST | SEQ_CHECK_COVERS;
constexpr uint32_t kBrakeMs = 100;

enum EjectStopStep : uint32_t { STEP_CHECK = 0, STEP_BRAKE = 100, STEP_WAIT = 110 };

}  // namespace

CEjectMotor::CEjectMotor(CFpgaChopMotor* pMotor) : m_pMotor(pMotor) {}

int32_t CEjectMotor::Start(uint32_t ulDirection) {
  m_pMotor->SetDuty(static_cast<uint32_t>(SettingValue(g_ParamEjectMotorDuty)));
  const int32_t lResult = ulDirection == kReverse ? m_pMotor->Reverse() : m_pMotor->Forward();
  if (lResult == 0) m_lRunning = 1;
  return lResult;
}

int32_t CEjectMotor::Stop() {
  SeqStepState s{0, STEP_CHECK, 0};
  bool bDone = false;
  while (!bDone) {
    uint32_t ulNext = s.ulStep;
    switch (s.ulStep) {
      case STEP_CHECK:
        ulNext = m_lRunning != 0 ? STEP_BRAKE : SEQ_STEP_END;
        break;
      case STEP_BRAKE:
        s.lResult = m_pMotor->Brake();
        ulNext = STEP_WAIT;
        break;
      case STEP_WAIT:
        s.lResult = SeqWaitMs(kBrakeMs, kStopMask);
        ulNext = SEQ_STEP_ERROR;
        break;
      case SEQ_STEP_ERROR:
        m_pMotor->Stop();
        m_lRunning = 0;
        ulNext = SEQ_STEP_END;
        break;
      case SEQ_STEP_END:
        bDone = true;
        break;
      default:
        s.lResult = -1;
        ulNext = SEQ_STEP_ERROR;
        break;
    }
    StepAdvance(s, ulNext, SEQ_STEP_ERROR, kStopMask);
  }
  return s.lResult;
}
