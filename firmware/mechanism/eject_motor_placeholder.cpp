// Placeholder of the eject motor: a start is counted with its direction,
// and no motor runs.
#include "firmware/mechanism/eject_motor.h"
#include "firmware/mechanism/eject_motor_placeholder.h"
#include "firmware/platform/placeholder.h"

constinit CEjectMotor g_EjectMotor;
uint32_t g_ulPlaceholderEjectStarts;
uint32_t g_ulPlaceholderEjectDirection;

int32_t CEjectMotor::Start(uint32_t ulDirection) {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "CEjectMotor (eject motor)");
  ++g_ulPlaceholderEjectStarts;
  g_ulPlaceholderEjectDirection = ulDirection;
  return 0;
}
