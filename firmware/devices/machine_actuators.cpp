#include "firmware/devices/machine_actuators.h"

#include "firmware/hal/global.h"

#define ACTUATORS_DEFINE(object, type, ...) constinit type object;
#define ACTUATORS_DEFINE_DC(object, ...) constinit CFpgaDcMotor object;
#define ACTUATORS_DEFINE_CHOP(object, ...) constinit CFpgaChopMotor object;
#define ACTUATORS_DEFINE_SLIT(object, ...) constinit CSlit object;
#define ACTUATORS_DEFINE_LED(object, ...) constinit CColorLed object;
#define ACTUATORS_DEFINE_SET(object) constinit CColorSensorSet object;
DC_MOTORS(ACTUATORS_DEFINE_DC, ACTUATORS_DEFINE_CHOP)
SLITS(ACTUATORS_DEFINE_SLIT)
FAN_OUTPUTS(ACTUATORS_DEFINE)
COLOR_OBJECTS(ACTUATORS_DEFINE_LED, ACTUATORS_DEFINE, ACTUATORS_DEFINE_SET)

#define MOTOR_ROW(object, regA, maskA, regB, maskB, polarity) \
  {&object, nullptr, regA, maskA, regB, maskB, polarity, 0},
#define CHOPPER_ROW(object, motor, channel) {&motor, &object, 0, 0, 0, 0, 0, channel},
#define SLIT_ROW(object, label, channel, motor) {&object, label, channel, motor},
#define LED_ROW(object, name, number) {&object, name, number},
#define NO_ROW(...)
constexpr MotorWiring g_aMotorWiring[DC_MOTOR_COUNT + CHOP_MOTOR_COUNT] = {DC_MOTORS(MOTOR_ROW, CHOPPER_ROW)};
constexpr SlitWiring g_aSlitWiring[SLIT_COUNT] = {SLITS(SLIT_ROW)};
constexpr ColorLedWiring g_aColorLedWiring[COLOR_LED_COUNT] = {COLOR_OBJECTS(LED_ROW, NO_ROW, NO_ROW)};

namespace {
// A limited fan's row names it as one, so it is built as one.
constexpr FanWiring FanRow(CFanCnt* pFan, uint32_t ulRegister, uint32_t ulMask, uint32_t ulPolarity) {
  return {pFan, nullptr, ulRegister, ulMask, ulPolarity};
}
constexpr FanWiring FanRow(CFanSwitch* pOutput, uint32_t ulRegister, uint32_t ulMask, uint32_t ulPolarity) {
  return {nullptr, pOutput, ulRegister, ulMask, ulPolarity};
}
}  // namespace

#define FAN_ROW(object, type, reg, mask, polarity) FanRow(&object, reg, mask, polarity),
constexpr FanWiring g_aFanWiring[FAN_OUTPUT_COUNT] = {FAN_OUTPUTS(FAN_ROW)};

void ConstructColorObjects() {
  for (const ColorLedWiring& w : g_aColorLedWiring) hal::ConstructGlobal(*w.pLed, w.pszName, w.ulNumber);
#define BUILD_SENSOR(object, type, led) hal::ConstructGlobal(object, &led);
#define BUILD_SET(object) hal::ConstructGlobal(object);
  COLOR_OBJECTS(NO_ROW, BUILD_SENSOR, BUILD_SET)
#undef BUILD_SENSOR
#undef BUILD_SET
}

void ConstructMotors() {
  for (const MotorWiring& w : g_aMotorWiring) {
    if (w.pChopper != nullptr) {
      hal::ConstructGlobal(*w.pChopper, static_cast<CDcMotor*>(w.pMotor), w.ulChannel);
    } else {
      hal::ConstructGlobal(*w.pMotor, w.ulRegisterA, w.ulMaskA, w.ulRegisterB, w.ulMaskB, w.ulPolarity);
    }
  }
}

void ConstructSlits() {
  for (const SlitWiring& w : g_aSlitWiring) hal::ConstructGlobal(*w.pSlit, w.pszLabel, w.ulChannel, w.pMotor);
}

void ConstructFanOutputs() {
  for (const FanWiring& w : g_aFanWiring) {
    if (w.pFan != nullptr) {
      hal::ConstructGlobal(*w.pFan, w.ulRegister, w.ulMask, w.ulPolarity);
    } else {
      hal::ConstructGlobal(*w.pOutput, w.ulRegister, w.ulMask, w.ulPolarity);
    }
  }
}
