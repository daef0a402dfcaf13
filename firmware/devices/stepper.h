// Stepper motors: the per-motor pulse state machine behind the FPGA's
// pulse channels. A run goes at a constant rate or up a ramp table, holds a
// (possibly modulated) top speed, comes down the deceleration table and
// stops after a given number of steps. The FPGA interrupt calls OnStep at
// every pulse of the main and the sub stepper; OnStep loads the period of
// the step that follows the pulse.
#pragma once

#include <cstdint>

#include "firmware/hal/isr_shared.h"

enum StpmtrState : int32_t {
  STPMTR_IDLE = 0,         // pulses stopped, driver still energised
  STPMTR_CONSTANT = 1,     // constant rate
  STPMTR_HELD = 2,         // held at the ramp's start rate
  STPMTR_ACCELERATING = 3,
  STPMTR_DECELERATING = 4,
  STPMTR_TOP_SPEED = 5,
  STPMTR_STOPPED = 6,      // stopped and de-energised
};
// In the pending-state field: no state pending.
constexpr int32_t STPMTR_NO_PENDING_STATE = 503;

// One motor's driver: where its control byte is written, which pulse
// channel steps it and which fans its excitation switches.
struct StpmtrDriver {
  uint32_t ulControlAddress;
  uint32_t ulPulseChannel;
  bool bStepperFan;    // the stepper-motor fan on with the PCB fan
  bool bFansOffToo;    // both fans off when the excitation goes off
};

class CStpmtr {
 public:
  constexpr CStpmtr() = default;
  CStpmtr(const CStpmtr&) = delete;
  CStpmtr& operator=(const CStpmtr&) = delete;

  // ---- running ----
  // At a constant rate (pulses per second, 1-1000000; -1 and nothing
  // started for another); remaining steps 0 = no limit.
  int32_t RunConstant(uint32_t ulRate, uint32_t ulDirection, uint32_t ulStepMode, uint32_t ulRemaining);
  // Up the acceleration table to its entry `length`, down the deceleration
  // table; held 1 stays at the start rate until pending state 3 moves it on.
  int32_t RunRamp(const uint16_t* pusAccel, const uint16_t* pusDecel, uint32_t ulLength, uint32_t ulDirection,
                  uint32_t ulStepMode, uint32_t ulRemaining, uint32_t ulHeld);
  // Interrupt context, at every pulse: -1 in states 0 and 6, else 0.
  int32_t OnStep();

  // ---- stopping ----
  int32_t Stop();  // state 6, pulses stopped, excitation off
  int32_t Halt();  // state 0, pulses stopped, excitation kept
  // Accelerating or at top speed: decelerate, then stop.
  int32_t RequestDecel();
  // Decelerates, waits until the deceleration has ended, then stops.
  int32_t DecelerateAndStop();
  // Accelerating or at top speed: decelerate with the other paper stepper
  // (no stop request of its own).
  int32_t JoinDecel();

  // ---- accessors ----
  int32_t SetPendingState(int32_t lState);
  int32_t SetTargetSteps(uint32_t ulSteps);
  int32_t GetTargetSteps(uint32_t* pulSteps) const;
  int32_t SetCountdown(uint32_t ulCount);
  int32_t GetCountdown(uint32_t* pulCount) const;
  int32_t GetState(int32_t* plState) const;
  int32_t GetRampSteps(uint32_t* pulSteps) const;
  const char* GetLabel() const { return m_pszLabel; }
  // The six periods of the top speed.
  const uint32_t* GetTopPeriods() const { return m_aulTopPeriods; }

  // ---- the driver slots ----
  virtual int32_t AccelStep();
  virtual int32_t TopStep();
  virtual int32_t SetStepMode(uint32_t ulMode);
  virtual int32_t SetDirection(uint32_t ulDirection);
  virtual int32_t SetExcitation(uint32_t ulOn);
  virtual int32_t SetPeriod(uint32_t ulTicks);
  virtual int32_t StartPulses();
  virtual int32_t StopPulses();

 protected:
  CStpmtr(const char* pszLabel, bool bModulated);
  ~CStpmtr() = default;

  // The common step of slots 0 and 1: state 4 when just enough steps are
  // left to come down the ramp; true when it switched.
  bool DecelWhenStepsRunOut();
  // Slot 0 and 1 without the switch of the other motor; true when the
  // motor switched to state 4.
  bool AccelStepOwn();
  bool TopStepOwn();
  void DecelStep();

 private:
  void SetupTopPeriods(uint32_t ulTop);

  const char* m_pszLabel = nullptr;
  uint32_t m_ulStepMode = 0;
  hal::IsrShared<uint32_t> m_ulRemaining;
  hal::IsrShared<uint32_t> m_ulCountdown;
  hal::IsrShared<uint32_t> m_ulRampPosition;
  uint32_t m_ulRampIndex = 0;
  uint32_t m_ulRampLength = 0;
  const uint16_t* m_pusAccel = nullptr;
  const uint16_t* m_pusDecel = nullptr;
  hal::IsrShared<int32_t> m_lPendingState;
  hal::IsrShared<int32_t> m_lStopRequest;
  uint32_t m_ulPhaseCounter = 0;
  uint32_t m_aulTopPeriods[6] = {};
  hal::IsrShared<int32_t> m_lState;
  // Only the main paper stepper modulates its top speed.
  bool m_bModulated = false;
};

// A stepper on its driver: the control byte (step mode, excitation with its
// fans and settling time) and the pulse channel. Each motor gives its own
// direction rule.
class CStpmtrDriven : public CStpmtr {
 public:
  constexpr CStpmtrDriven() = default;
  int32_t SetStepMode(uint32_t ulMode) override;
  int32_t SetExcitation(uint32_t ulOn) override;
  int32_t SetPeriod(uint32_t ulTicks) override;
  int32_t StartPulses() override;
  int32_t StopPulses() override;
  // The last value written to the driver's control byte.
  uint8_t GetControlShadow() const { return m_ucControl; }

 protected:
  // Writes 0x02 to the control byte.
  CStpmtrDriven(const char* pszLabel, const StpmtrDriver& driver, bool bModulated);
  ~CStpmtrDriven() = default;
  int32_t SetDirectionBit(bool bSet);
  int32_t WriteControl(uint8_t ucValue);

 private:
  uint8_t m_ucControl = 0;
  // 1 while the driver is energised.
  int32_t m_lExcited = 0;
  StpmtrDriver m_driver = {};
};

// The main paper stepper: control byte 0x66000000, pulse channel 0; its
// direction is reversed on unit B, and its deceleration draws the sub
// stepper down with it.
class CStpmtr2Ph final : public CStpmtrDriven {
 public:
  constexpr CStpmtr2Ph() = default;
  CStpmtr2Ph(const char* pszLabel, uint32_t ulUnused);
  int32_t AccelStep() override;
  int32_t TopStep() override;
  int32_t SetDirection(uint32_t ulDirection) override;
  // The drive-current bit, written without changing the shadow: the next
  // control-byte write clears it again.
  int32_t SetCurrentBit(uint32_t ulOn);
};

// The sub (feed) stepper: FPGA_SUBSTEP_CTRL, pulse channel 1; its direction
// sense follows "Engine Version".
class CStpmtrSub2Ph final : public CStpmtrDriven {
 public:
  constexpr CStpmtrSub2Ph() = default;
  CStpmtrSub2Ph(const char* pszLabel, uint32_t ulUnused);
  int32_t SetDirection(uint32_t ulDirection) override;
  // Non-zero: the sub stepper neither decelerates nor stops with the main one.
  int32_t SetIndependent(int32_t lFlag);
  int32_t IsIndependent() const { return m_lIndependent; }

 private:
  int32_t m_lIndependent = 0;
};

// The exit stepper: control byte 0x66800000, pulse channel 2. Built and
// initialised; nothing runs it.
class CStpmtrExit final : public CStpmtrDriven {
 public:
  constexpr CStpmtrExit() = default;
  CStpmtrExit(const char* pszLabel, uint32_t ulUnused);
  int32_t SetDirection(uint32_t ulDirection) override;
};

extern CStpmtr2Ph g_StpmtrMain;
extern CStpmtrSub2Ph g_StpmtrSub;
extern CStpmtrExit g_StpmtrExit;

// The top-speed modulation of the single-pass print: on while
// g_ulSpeedModOn is 1 and "Rate1[%]" is not 0. The reference position
// starts as 0xFFFF (none yet) and the phase is the last one chosen.
extern uint32_t g_ulSpeedModOn;
extern uint16_t g_usSpeedModRefPos;
extern uint16_t g_usSpeedModPhase;

// The service screen that runs a stepper by hand: direction 0 or 1, mode 1
// constant rate or 3 ramp (g_Ramp22).
int32_t MotorTestScreen(CStpmtr* pMotor, uint32_t ulDirection, uint32_t ulMode, uint32_t ulUnused);
