// The sensors the idle supervision reads: the FPGA's input-bit ports, the
// seven cover switches, the A/D converter, the slice settings of the photo
// sensors and thermistors, the fan levels, and the photo sensors and
// thermistors themselves. Built by the machine definition in its order.
#pragma once

#include <cstdint>

#include "firmware/devices/analog_sensor.h"
#include "firmware/devices/digital_sensor.h"
#include "firmware/devices/io_port.h"
#include "firmware/devices/parameter.h"

// One port per FPGA input bit: words 0 and 2 bits 0-15, word 1 bits 0-14.
constexpr uint32_t kFpgaInputWords = 3;
constexpr uint32_t kFpgaInputBits = 16;
extern CInputPortWord g_aPortFpgaIn[kFpgaInputWords][kFpgaInputBits];

extern CDigitalSensor g_SensorFrontCover;
extern CDigitalSensor g_SensorPaperGuide;
extern CDigitalSensor g_SensorSideCoverL;
extern CDigitalSensor g_SensorSideCoverR;
extern CDigitalSensor g_SensorUpperCoverL;
extern CDigitalSensor g_SensorUpperCoverR;
extern CDigitalSensor g_SensorPaperCover;

// Slice levels (8-bit units) of the A/D sensors built so far.
extern CParameter g_ParamSliceHeadThermL;
extern CParameter g_ParamSliceHeadThermR;
extern CParameter g_ParamSliceEnvTherm;
extern CParameter g_ParamSlicePaperEnd;
extern CParameter g_ParamSliceTopL;
extern CParameter g_ParamSliceTopR;
extern CParameter g_ParamSlicePosition;

// The idle fan levels, -1..256; -1 takes the level from the ambient tables.
extern CParameter g_ParamFanOn;
extern CParameter g_ParamFanOff;

// The groups, each called at its place in the construction list.
void ConstructFpgaInputPorts();
void ConstructSwitchSensors();
void ConstructSliceSettings();
void ConstructAdSensors();
void ConstructFanSettings();
