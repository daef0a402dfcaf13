// Placeholder of the A/D sensors: every reading is 0.
#include "firmware/devices/analog_sensor.h"
#include "firmware/platform/placeholder.h"

constinit CAnalogSensor g_AdTopL;
constinit CAnalogSensor g_AdTopR;

int32_t CAnalogSensor::Read(uint32_t* pulValue) const {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "CAnalogSensor (A/D sensors)");
  *pulValue = 0;
  return 0;
}
