// PWM choppers: a DC motor whose speed is the duty cycle of one of the
// FPGA's PWM channels. The chopper keeps the duty (percent) and the period
// (FPGA counts) it last wrote and switches direction through its DC motor.
#pragma once

#include <cstdint>

class CDcMotor;

// Every operation of this class returns 0 and does nothing; the FPGA
// variant overrides them all.
class CChopMotor {
 public:
  constexpr CChopMotor() = default;

  virtual int32_t GetState(uint32_t* /*pulState*/) { return 0; }
  virtual int32_t GetDuty(uint32_t* /*pulDuty*/) { return 0; }
  virtual int32_t SetDuty(uint32_t /*ulPercent*/) { return 0; }
  virtual int32_t GetPeriod(uint32_t* /*pulPeriod*/) { return 0; }
  virtual int32_t SetPeriod(uint32_t /*ulCounts*/) { return 0; }
  virtual int32_t Forward() { return 0; }
  virtual int32_t Reverse() { return 0; }
  virtual int32_t Stop() { return 0; }
  virtual int32_t Brake() { return 0; }

  // The maintenance screen of one direction (1 "+" forward, 2 "-" reverse):
  // Enter runs or stops, + and - step the duty through 0-100 with wrap,
  // Clear leaves the motor as it is.
  int32_t TestScreen(uint32_t ulDirection);

 protected:
  // Choppers are never destroyed, and never through this class.
  ~CChopMotor() = default;
};

class CFpgaChopMotor final : public CChopMotor {
 public:
  static constexpr uint32_t kDefaultPeriod = 800;

  constexpr CFpgaChopMotor() = default;
  // SetPeriod(800), then SetDuty(0).
  CFpgaChopMotor(CDcMotor* pMotor, uint32_t ulChannel);

  int32_t GetState(uint32_t* pulState) override;
  int32_t GetDuty(uint32_t* pulDuty) override;
  // Stored first, then written: a channel without PWM registers gives -2
  // and the value stays stored.
  int32_t SetDuty(uint32_t ulPercent) override;
  int32_t GetPeriod(uint32_t* pulPeriod) override;
  int32_t SetPeriod(uint32_t ulCounts) override;
  // The DC motor's operations; duty and period stay.
  int32_t Forward() override;
  int32_t Reverse() override;
  int32_t Stop() override;
  int32_t Brake() override;

  uint32_t Channel() const { return m_ulChannel; }

 private:
  uint32_t m_ulDuty = 0;
  uint32_t m_ulPeriod = 0;
  CDcMotor* m_pMotor = nullptr;
  uint32_t m_ulChannel = 0;
};
