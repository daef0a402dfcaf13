// The eject motor: the exit rollers that carry the printed sheet out run on
// their own chopper ("Eject Motor", PWM channel 15). The paper position
// starts it with every paper move that asks for it; the paper moves and the
// sequences stop it softly: a brake, and the motor off 100 ms later. It has
// no position and no sensors, only a running flag.
#pragma once

#include <cstdint>

class CFpgaChopMotor;

class CEjectMotor {
 public:
  constexpr CEjectMotor() = default;
  // The motor kept; the running flag clear. Writes nothing.
  explicit CEjectMotor(CFpgaChopMotor* pMotor);

  // Runs the motor at "MoveDuty[%]": reverse for direction 1, forward for
  // any other. A motor call that succeeds marks it running; the motor
  // call's result.
  int32_t Start(uint32_t ulDirection);
  // The soft stop, a step machine with the abort mask host and covers: only
  // a running motor is braked, then switched off 100 ms later and marked
  // stopped; an abort during the brake or the wait still switches it off.
  // 0, or the brake's, the wait's or the abort check's failure.
  int32_t Stop();
  // 1 while started and not yet stopped through Stop.
  int32_t IsRunning() const { return m_lRunning; }
  CFpgaChopMotor* Motor() const { return m_pMotor; }

 private:
  int32_t m_lRunning = 0;
  CFpgaChopMotor* m_pMotor = nullptr;
};

extern CEjectMotor g_EjectMotor;
