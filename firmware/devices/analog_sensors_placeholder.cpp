// Placeholder of the A/D sensors: every reading is 0; the states read as
// a test sets them (paper seen by default).
#include "firmware/devices/analog_sensor.h"
#include "firmware/devices/analog_sensors_placeholder.h"
#include "firmware/platform/placeholder.h"

constinit CAnalogSensor g_AdTopL;
constinit CAnalogSensor g_AdTopR;
constinit CAnalogSensor g_AdPosition;
uint32_t g_ulPlaceholderAdState = 1;

int32_t CAnalogSensor::Read(uint32_t* pulValue) const {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "CAnalogSensor (A/D sensors)");
  *pulValue = 0;
  return 0;
}

int32_t CAnalogSensor::GetState(uint32_t* pulState) const {
  *pulState = g_ulPlaceholderAdState;
  return 0;
}
