// The machine's actuators and colour-sensor objects as wiring tables over
// their classes, in construction order:
//   DC(motor, line A register, line A mask, line B register, line B mask, polarity)
//   CHOP(chopper, DC motor, PWM channel)
//   SLIT(slit, label, counter channel, chopper that turns its shaft or none)
//   LED(colour LED, name, LED number)
//   SENSOR(colour sensor, class, LED)
//   SET(colour-sensor set)
// The fans and clutches are the table of fan.h. Each chopper follows its
// motor, or the pair of motors for the L/R pairs. The three motors on
// FPGA_DCMOTOR2 and their choppers are built but driven by no code.
#pragma once

#include <cstdint>

#include "firmware/devices/chop_motor.h"
#include "firmware/devices/color_sensor.h"
#include "firmware/devices/dc_motor.h"
#include "firmware/devices/fan.h"
#include "firmware/devices/slit.h"

#define DC_MOTORS(DC, CHOP)                                                  \
  DC(g_DcMotorLoadPinch, 0x64000030u, 0x0100u, 0x64000030u, 0x0200u, 1)      \
  DC(g_DcMotorMainPinch, 0x64000030u, 0x4000u, 0x64000030u, 0x8000u, 1)      \
  DC(g_DcMotorFeedPinch, 0x64000032u, 0x0080u, 0x64000032u, 0x0040u, 1)      \
  DC(g_DcMotorPathSel, 0x64000032u, 0x0100u, 0x64000032u, 0x0200u, 1)        \
  DC(g_DcMotorEjectPinch, 0x64000032u, 0x0400u, 0x64000032u, 0x0800u, 1)     \
  CHOP(g_ChopMotorEjectPinch, g_DcMotorEjectPinch, 13)                       \
  DC(g_DcMotorSpare45, 0x64000034u, 0x0010u, 0x64000034u, 0x0020u, 1)        \
  CHOP(g_ChopMotorSpare45, g_DcMotorSpare45, 18)                             \
  DC(g_DcMotorRibDstL, 0x64000030u, 0x0002u, 0x64000030u, 0x0001u, 0)        \
  DC(g_DcMotorRibDstR, 0x64000032u, 0x0001u, 0x64000032u, 0x0002u, 0)        \
  CHOP(g_ChopMotorRibDstL, g_DcMotorRibDstL, 0)                              \
  CHOP(g_ChopMotorRibDstR, g_DcMotorRibDstR, 8)                              \
  DC(g_DcMotorRibSrcL, 0x64000030u, 0x0004u, 0x64000030u, 0x0008u, 1)        \
  DC(g_DcMotorRibSrcR, 0x64000032u, 0x0008u, 0x64000032u, 0x0004u, 1)        \
  CHOP(g_ChopMotorRibSrcL, g_DcMotorRibSrcL, 1)                              \
  CHOP(g_ChopMotorRibSrcR, g_DcMotorRibSrcR, 9)                              \
  DC(g_DcMotorHeadL, 0x64000030u, 0x0020u, 0x64000030u, 0x0010u, 0)          \
  DC(g_DcMotorHeadR, 0x64000032u, 0x0020u, 0x64000032u, 0x0010u, 0)          \
  CHOP(g_ChopMotorHeadL, g_DcMotorHeadL, 2)                                  \
  CHOP(g_ChopMotorHeadR, g_DcMotorHeadR, 10)                                 \
  DC(g_DcMotorRotLock, 0x64000030u, 0x0040u, 0x64000030u, 0x0080u, 1)        \
  CHOP(g_ChopMotorRotLock, g_DcMotorRotLock, 3)                              \
  DC(g_DcMotorPaperRot, 0x64000030u, 0x0400u, 0x64000030u, 0x0800u, 1)       \
  CHOP(g_ChopMotorPaperRot, g_DcMotorPaperRot, 5)                            \
  DC(g_DcMotorLoadBar, 0x64000030u, 0x1000u, 0x64000030u, 0x2000u, 1)        \
  CHOP(g_ChopMotorLoadBar, g_DcMotorLoadBar, 6)                              \
  DC(g_DcMotorCutter, 0x64000032u, 0x2000u, 0x64000032u, 0x1000u, 0)         \
  CHOP(g_ChopMotorCutter, g_DcMotorCutter, 14)                               \
  DC(g_DcMotorEject, 0x64000032u, 0x4000u, 0x64000032u, 0x8000u, 1)          \
  CHOP(g_ChopMotorEject, g_DcMotorEject, 15)                                 \
  DC(g_DcMotorSpare01, 0x64000034u, 0x0001u, 0x64000034u, 0x0002u, 1)        \
  CHOP(g_ChopMotorSpare01, g_DcMotorSpare01, 16)                             \
  DC(g_DcMotorSpare23, 0x64000034u, 0x0004u, 0x64000034u, 0x0008u, 1)        \
  CHOP(g_ChopMotorSpare23, g_DcMotorSpare23, 17)

#define SLITS(SLIT)                                                          \
  SLIT(g_SlitRibEncDstL, "RibEncDstL      ", 2, &g_ChopMotorRibDstL)         \
  SLIT(g_SlitRibEncDstR, "RibEncDstR      ", 3, &g_ChopMotorRibDstR)         \
  SLIT(g_SlitRibEncSrcL, "RibEncSrcL      ", 0, &g_ChopMotorRibSrcL)         \
  SLIT(g_SlitRibEncSrcR, "RibEncSrcR      ", 1, &g_ChopMotorRibSrcR)         \
  SLIT(g_SlitTurnEnc, "TurnEnc         ", 4, &g_ChopMotorPaperRot)           \
  SLIT(g_SlitRollEnc, "RollEnc         ", 5, nullptr)                        \
  SLIT(g_SlitFaultChk, "FaultChk        ", 6, nullptr)

#define COLOR_OBJECTS(LED, SENSOR, SET)                                      \
  LED(g_ColorLedRedL, "Red L           ", 1)                                 \
  LED(g_ColorLedRedR, "Red R           ", 4)                                 \
  LED(g_ColorLedGreenL, "Green L         ", 2)                               \
  LED(g_ColorLedGreenR, "Green R         ", 5)                               \
  LED(g_ColorLedBlueL, "Blue L          ", 3)                                \
  LED(g_ColorLedBlueR, "Blue R          ", 6)                                \
  SENSOR(g_ColorSensorRedL, CColorSensorR, g_ColorLedRedL)                   \
  SENSOR(g_ColorSensorRedR, CColorSensorR, g_ColorLedRedR)                   \
  SENSOR(g_ColorSensorGreenL, CColorSensorG, g_ColorLedGreenL)               \
  SENSOR(g_ColorSensorGreenR, CColorSensorG, g_ColorLedGreenR)               \
  SENSOR(g_ColorSensorBlueL, CColorSensorB, g_ColorLedBlueL)                 \
  SENSOR(g_ColorSensorBlueR, CColorSensorB, g_ColorLedBlueR)                 \
  SET(g_ColorSensorSetL)                                                     \
  SET(g_ColorSensorSetR)

#define ACTUATORS_DECLARE_DC(object, ...) extern CFpgaDcMotor object;
#define ACTUATORS_DECLARE_CHOP(object, ...) extern CFpgaChopMotor object;
#define ACTUATORS_DECLARE_SLIT(object, ...) extern CSlit object;
#define ACTUATORS_DECLARE_LED(object, ...) extern CColorLed object;
#define ACTUATORS_DECLARE_SENSOR(object, type, ...) extern type object;
#define ACTUATORS_DECLARE_SET(object) extern CColorSensorSet object;
DC_MOTORS(ACTUATORS_DECLARE_DC, ACTUATORS_DECLARE_CHOP)
SLITS(ACTUATORS_DECLARE_SLIT)
COLOR_OBJECTS(ACTUATORS_DECLARE_LED, ACTUATORS_DECLARE_SENSOR, ACTUATORS_DECLARE_SET)
#undef ACTUATORS_DECLARE_DC
#undef ACTUATORS_DECLARE_CHOP
#undef ACTUATORS_DECLARE_SLIT
#undef ACTUATORS_DECLARE_LED
#undef ACTUATORS_DECLARE_SENSOR
#undef ACTUATORS_DECLARE_SET

// One row of the motor table: a DC motor (pChopper null) with its lines, or
// a chopper on its motor with its channel.
struct MotorWiring {
  CFpgaDcMotor* pMotor;
  CFpgaChopMotor* pChopper;
  uint32_t ulRegisterA;
  uint32_t ulMaskA;
  uint32_t ulRegisterB;
  uint32_t ulMaskB;
  uint32_t ulPolarity;
  uint32_t ulChannel;
};

struct SlitWiring {
  CSlit* pSlit;
  const char* pszLabel;
  uint32_t ulChannel;
  CChopMotor* pMotor;
};

// One fan-control output: a limited fan (pFan) or a plain one (pOutput).
struct FanWiring {
  CFanCnt* pFan;
  CFanSwitch* pOutput;
  uint32_t ulRegister;
  uint32_t ulMask;
  uint32_t ulPolarity;
};

struct ColorLedWiring {
  CColorLed* pLed;
  const char* pszName;
  uint32_t ulNumber;
};

#define ACTUATORS_COUNT_ONE(...) +1
#define ACTUATORS_COUNT_NONE(...)
constexpr uint32_t DC_MOTOR_COUNT = 0 DC_MOTORS(ACTUATORS_COUNT_ONE, ACTUATORS_COUNT_NONE);
constexpr uint32_t CHOP_MOTOR_COUNT = 0 DC_MOTORS(ACTUATORS_COUNT_NONE, ACTUATORS_COUNT_ONE);
constexpr uint32_t SLIT_COUNT = 0 SLITS(ACTUATORS_COUNT_ONE);
constexpr uint32_t FAN_OUTPUT_COUNT = 0 FAN_OUTPUTS(ACTUATORS_COUNT_ONE);
constexpr uint32_t COLOR_LED_COUNT =
    0 COLOR_OBJECTS(ACTUATORS_COUNT_ONE, ACTUATORS_COUNT_NONE, ACTUATORS_COUNT_NONE);
#undef ACTUATORS_COUNT_ONE
#undef ACTUATORS_COUNT_NONE
static_assert(DC_MOTOR_COUNT == 19 && CHOP_MOTOR_COUNT == 15 && SLIT_COUNT == 7 && FAN_OUTPUT_COUNT == 11 &&
              COLOR_LED_COUNT == 6);

extern const MotorWiring g_aMotorWiring[DC_MOTOR_COUNT + CHOP_MOTOR_COUNT];
extern const SlitWiring g_aSlitWiring[SLIT_COUNT];
extern const FanWiring g_aFanWiring[FAN_OUTPUT_COUNT];
extern const ColorLedWiring g_aColorLedWiring[COLOR_LED_COUNT];

// The machine definition's steps, in this order: the colour LEDs, sensors
// and sets (after the A/D sensors); the motors and choppers; the slits
// (after their choppers); the fans and clutches.
void ConstructColorObjects();
void ConstructMotors();
void ConstructSlits();
void ConstructFanOutputs();
