#include "firmware/devices/dc_motor.h"

#include "firmware/control/keys.h"
#include "firmware/control/lcd.h"
#include "firmware/devices/io_port.h"
#include "firmware/platform/fpga_regs.h"

// Line A is written first. For polarity 0: forward drives A, reverse B,
// stop both, brake, hold and its twin neither.
constexpr DcMotorLines g_aDcMotorLines[DC_OP_COUNT] = {
    {DC_MOTOR_FORWARD, 1, 0},  // DC_OP_FORWARD
    {DC_MOTOR_REVERSE, 0, 1},  // DC_OP_REVERSE
    {DC_MOTOR_STOPPED, 1, 1},  // DC_OP_STOP
    {DC_MOTOR_STOPPED, 0, 0},  // DC_OP_BRAKE
    {DC_MOTOR_HELD, 0, 0},     // DC_OP_HOLD
    {DC_MOTOR_HELD, 0, 0},     // DC_OP_HOLD_ALT
};

// ---- the FPGA variant ---------------------------------------------------------------------

CFpgaDcMotor::CFpgaDcMotor(uint32_t ulRegisterA, uint32_t ulMaskA, uint32_t ulRegisterB, uint32_t ulMaskB,
                           uint32_t ulPolarity)
    : CDcMotor(nullptr, nullptr, ulPolarity), m_ulRegisterA(ulRegisterA), m_ulRegisterB(ulRegisterB),
      m_ulMaskA(ulMaskA), m_ulMaskB(ulMaskB) {
  Stop();
}

int32_t CFpgaDcMotor::WriteLine(uint32_t ulRegister, uint32_t ulMask, bool bLevel) {
  const uint16_t usMask = static_cast<uint16_t>(ulMask & 0xFFFFu);
  return bLevel ? g_FpgaMain.SetBits(ulRegister, usMask) : g_FpgaMain.ClearBits(ulRegister, usMask);
}

int32_t CFpgaDcMotor::Drive(DcMotorOperation eOp) {
  const DcMotorLines& row = Begin(eOp);
  const int32_t lResult = WriteLine(m_ulRegisterA, m_ulMaskA, Level(row.ucLineA));
  if (lResult != 0) return lResult;
  return WriteLine(m_ulRegisterB, m_ulMaskB, Level(row.ucLineB));
}

// ---- the port variant ---------------------------------------------------------------------

CPortDcMotor::CPortDcMotor(COutputPort* pPortA, COutputPort* pPortB, uint32_t ulPolarity)
    : CDcMotor(pPortA, pPortB, ulPolarity) {
  Stop();
}

int32_t CPortDcMotor::Drive(DcMotorOperation eOp) {
  const DcMotorLines& row = Begin(eOp);
  if (Level(row.ucLineA)) {
    m_pPortA->Set();
  } else {
    m_pPortA->Clear();
  }
  return Level(row.ucLineB) ? m_pPortB->Set() : m_pPortB->Clear();
}

// ---- the maintenance screen ---------------------------------------------------------------

int32_t CDcMotor::TestScreen() {
  // Direction 1 runs forward ("+"), 2 in reverse ("-").
  static const char* const kapszText[2][2] = {{"+OFF:  .        ", "-OFF:  .        "},
                                              {"+ ON:  .        ", "- ON:  .        "}};
  uint32_t ulDirection = 1;
  for (;;) {
    g_Lcd.WriteText(":", 11, 1);
    g_Lcd.WriteText(kapszText[m_ulState != DC_MOTOR_STOPPED ? 1 : 0][ulDirection - 1], 12, 4);
    switch (WaitAnyKey()) {
      case KEY_ENTER:
        if (m_ulState != DC_MOTOR_STOPPED) {
          Stop();
        } else if (ulDirection == 1) {
          Forward();
        } else {
          Reverse();
        }
        break;
      case KEY_MENU:
        Stop();
        ulDirection = ulDirection == 1 ? 2 : 1;
        break;
      case KEY_CLEAR:
        return 0;
      default:
        break;
    }
  }
}
