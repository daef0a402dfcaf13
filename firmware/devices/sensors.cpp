#include "firmware/devices/sensors.h"

#include "firmware/devices/machine_ports.h"
#include "firmware/hal/global.h"

#define SWITCH_SENSOR_DEFINE(name, ...) constinit CDigitalSensor name;
#define AD_SENSOR_DEFINE(name, ...) constinit CAnalogSensor name;
SWITCH_SENSORS(SWITCH_SENSOR_DEFINE)
AD_SENSORS(AD_SENSOR_DEFINE)

#define SWITCH_SENSOR_ROW(name, label, reg, bit, error, invert) {&name, label, reg, bit, error, invert},
#define AD_SENSOR_ROW(name, label, mode, channel, slice) {&name, label, mode, channel, &slice},
constexpr SwitchSensorWiring g_aSwitchSensorWiring[SWITCH_SENSOR_COUNT] = {SWITCH_SENSORS(SWITCH_SENSOR_ROW)};
constexpr AdSensorWiring g_aAdSensorWiring[AD_SENSOR_COUNT] = {AD_SENSORS(AD_SENSOR_ROW)};

void ConstructSwitchSensors() {
  for (const SwitchSensorWiring& w : g_aSwitchSensorWiring) {
    hal::ConstructGlobal(*w.pSensor, w.pszLabel, SwitchInputPort(w.ulRegister, w.ulBit), w.ulErrorIndex, w.ulInvert);
  }
}

void ConstructAdSensors() {
  for (const AdSensorWiring& w : g_aAdSensorWiring) {
    hal::ConstructGlobal(*w.pSensor, w.pszLabel, w.ulMode, w.ulChannel, w.pSlice, 0u);
  }
}
