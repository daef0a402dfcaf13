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
  return RunSteps(STEP_CHECK, SEQ_STEP_ERROR, kStopMask, [this](SeqStepState& s) -> uint32_t {
    switch (s.ulStep) {
      case STEP_CHECK:
        return m_lRunning != 0 ? STEP_BRAKE : SEQ_STEP_END;
      case STEP_BRAKE:
        s.lResult = m_pMotor->Brake();
        return STEP_WAIT;
      case STEP_WAIT:
        s.lResult = SeqWaitMs(kBrakeMs, kStopMask);
        return SEQ_STEP_ERROR;
      case SEQ_STEP_ERROR:
        m_pMotor->Stop();
        m_lRunning = 0;
        return SEQ_STEP_END;
      case SEQ_STEP_END:
        return SEQ_STEP_END;
      default:
        s.lResult = -1;
        return SEQ_STEP_ERROR;
    }
  });
}
