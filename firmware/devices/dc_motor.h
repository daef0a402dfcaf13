// Brushed DC motors behind H-bridge drivers: two input lines per motor set
// run forward, run reverse, stop and brake. The FPGA variant drives its lines
// as bits of the DC-motor registers, the port variant through two output
// ports. The polarity swaps every line level, so a motor whose bridge is
// wired the other way round takes the same operations.
#pragma once

#include <cstdint>

class COutputPort;

enum DcMotorState : uint32_t {
  DC_MOTOR_STOPPED = 0,
  DC_MOTOR_FORWARD = 1,
  DC_MOTOR_REVERSE = 2,
  DC_MOTOR_HELD = 3,
};

// The operations that set the two lines, as rows of the level table.
enum DcMotorOperation : uint32_t {
  DC_OP_FORWARD = 0,
  DC_OP_REVERSE,
  DC_OP_STOP,
  DC_OP_BRAKE,
  DC_OP_HOLD,
  DC_OP_HOLD_ALT,
  DC_OP_COUNT,
};

// One row: the state after the operation and the two line levels for
// polarity 0 (a non-zero polarity inverts both).
struct DcMotorLines {
  uint8_t ucState;
  uint8_t ucLineA;
  uint8_t ucLineB;
};
extern const DcMotorLines g_aDcMotorLines[DC_OP_COUNT];

// Every operation of this class returns 0 and does nothing; the variants
// override what they drive.
class CDcMotor {
 public:
  constexpr CDcMotor() = default;

  virtual int32_t Forward() { return 0; }
  virtual int32_t Reverse() { return 0; }
  virtual int32_t Stop() { return 0; }
  virtual int32_t Hold() { return 0; }
  virtual int32_t Brake() { return 0; }
  virtual int32_t Reserved() { return 0; }
  virtual int32_t HoldAlt() { return 0; }

  int32_t GetState(uint32_t* pulState) const {
    *pulState = m_ulState;
    return 0;
  }
  // The maintenance screen: "+"/"-" and ON/OFF at column 12, Enter runs or
  // stops, Menu stops and flips the direction, Clear leaves the motor as it
  // is.
  int32_t TestScreen();

 protected:
  // Motors are never destroyed, and never through this class.
  ~CDcMotor() = default;
  constexpr CDcMotor(COutputPort* pPortA, COutputPort* pPortB, uint32_t ulPolarity)
      : m_pPortA(pPortA), m_pPortB(pPortB), m_ulPolarity(ulPolarity) {}

  // The row of an operation with its state stored; the levels through the
  // polarity.
  const DcMotorLines& Begin(DcMotorOperation eOp) {
    const DcMotorLines& row = g_aDcMotorLines[eOp];
    m_ulState = row.ucState;
    return row;
  }
  bool Level(uint8_t ucLine) const { return (ucLine != 0) != (m_ulPolarity != 0); }

  COutputPort* m_pPortA = nullptr;
  COutputPort* m_pPortB = nullptr;
  uint32_t m_ulPolarity = 0;
  uint32_t m_ulState = DC_MOTOR_STOPPED;
};

// Lines as bits of FPGA registers (FPGA_DCMOTOR0-2), set and cleared with
// interrupts masked. Line B is written only when line A's write succeeded;
// the result is the last write's. Hold and HoldAlt do nothing here.
class CFpgaDcMotor final : public CDcMotor {
 public:
  constexpr CFpgaDcMotor() = default;
  // Ends with Stop.
  CFpgaDcMotor(uint32_t ulRegisterA, uint32_t ulMaskA, uint32_t ulRegisterB, uint32_t ulMaskB, uint32_t ulPolarity);

  int32_t Forward() override { return Drive(DC_OP_FORWARD); }
  int32_t Reverse() override { return Drive(DC_OP_REVERSE); }
  int32_t Stop() override { return Drive(DC_OP_STOP); }
  int32_t Brake() override { return Drive(DC_OP_BRAKE); }

 private:
  int32_t Drive(DcMotorOperation eOp);
  int32_t WriteLine(uint32_t ulRegister, uint32_t ulMask, bool bLevel);

  uint32_t m_ulRegisterA = 0;
  uint32_t m_ulRegisterB = 0;
  uint32_t m_ulMaskA = 0;
  uint32_t m_ulMaskB = 0;
};

// Lines through two output ports: both are always written, the result is
// line B's.
class CPortDcMotor final : public CDcMotor {
 public:
  constexpr CPortDcMotor() = default;
  // Ends with Stop.
  CPortDcMotor(COutputPort* pPortA, COutputPort* pPortB, uint32_t ulPolarity);

  int32_t Forward() override { return Drive(DC_OP_FORWARD); }
  int32_t Reverse() override { return Drive(DC_OP_REVERSE); }
  int32_t Stop() override { return Drive(DC_OP_STOP); }
  int32_t Hold() override { return Drive(DC_OP_HOLD); }
  int32_t Brake() override { return Drive(DC_OP_BRAKE); }
  int32_t HoldAlt() override { return Drive(DC_OP_HOLD_ALT); }

 private:
  int32_t Drive(DcMotorOperation eOp);
};
