// The machine's switch sensors and A/D sensors, as two wiring tables over
// the sensor classes, in construction order:
//   SW(object, label, FPGA input register, bit, error index, invert)
//   AD(object, label, A/D mode word, channel, slice-level setting)
// A switch sensor's port is the one-bit FPGA input port of its register bit
// (the port table); its error index is raised when that port cannot be read.
#pragma once

#include <cstdint>

#include "firmware/devices/analog_sensor.h"
#include "firmware/devices/digital_sensor.h"
#include "firmware/devices/settings.h"

#define SWITCH_SENSORS(SW)                                                                   \
  SW(g_SensorFrontCover, "FrontCover      ", 0x64000000u, 0, 0x031E, 0)                     \
  SW(g_SensorLockMain, "Lock Main       ", 0x64000000u, 1, 0x0329, 0)                       \
  SW(g_SensorLockSub, "Lock Sub        ", 0x64000000u, 2, 0x032A, 0)                        \
  SW(g_SensorEjectPinMn, "EjectPin Mn     ", 0x64000000u, 4, 0x0317, 0)                     \
  SW(g_SensorEjectPinSb, "EjectPin Sb     ", 0x64000000u, 3, 0x0318, 0)                     \
  SW(g_SensorPathPosiL, "PathPosi L      ", 0x64000000u, 5, 0x032C, 0)                      \
  SW(g_SensorPathPosiR, "PathPosi R      ", 0x64000000u, 6, 0x032D, 0)                      \
  SW(g_SensorFeedPinchL, "FeedPinch L     ", 0x64000000u, 7, 0x0326, 0)                     \
  SW(g_SensorFeedPinchC, "FeedPinch C     ", 0x64000000u, 8, 0x0327, 0)                     \
  SW(g_SensorFeedPinchR, "FeedPinch R     ", 0x64000000u, 9, 0x0328, 0)                     \
  SW(g_SensorPaperGuide, "PaperGuide      ", 0x64000000u, 10, 0x0337, 0)                    \
  SW(g_SensorMainPinL, "MainPin L       ", 0x64000000u, 11, 0x0313, 0)                      \
  SW(g_SensorMainPinC, "MainPin C       ", 0x64000000u, 12, 0x0314, 0)                      \
  SW(g_SensorMainPinR, "MainPin R       ", 0x64000000u, 13, 0x0315, 0)                      \
  SW(g_SensorLoadPinUp, "LoadPin Up      ", 0x64000000u, 14, 0x0324, 0)                     \
  SW(g_SensorLoadPinDn, "LoadPin Dn      ", 0x64000000u, 15, 0x0325, 0)                     \
  SW(g_SensorHeadLUp, "HeadL Up        ", 0x64000002u, 0, 0x030F, 0)                        \
  SW(g_SensorHeadRUp, "HeadR Up        ", 0x64000002u, 4, 0x0310, 0)                        \
  SW(g_SensorHeadLDn, "HeadL Dn        ", 0x64000002u, 1, 0x0311, 0)                        \
  SW(g_SensorHeadRDn, "HeadR Dn        ", 0x64000002u, 5, 0x0312, 0)                        \
  SW(g_SensorSideCoverL, "SideCover L     ", 0x64000002u, 2, 0x031C, 0)                     \
  SW(g_SensorSideCoverR, "SideCover R     ", 0x64000002u, 6, 0x031D, 0)                     \
  SW(g_SensorUpperCoverL, "UpperCoverL     ", 0x64000002u, 3, 0x032F, 0)                    \
  SW(g_SensorUpperCoverR, "UpperCoverR     ", 0x64000002u, 7, 0x0330, 0)                    \
  SW(g_SensorPaperCover, "PaperCover      ", 0x64000002u, 8, 0x0336, 0)                     \
  SW(g_SensorUnitPosi, "UnitPosi        ", 0x64000002u, 9, 0x032E, 0)                       \
  SW(g_SensorLoadBarUp, "LoadBar Up      ", 0x64000002u, 10, 0x0331, 0)                     \
  SW(g_SensorLoadBarDn, "LoadBar Dn      ", 0x64000002u, 11, 0x0332, 0)                     \
  SW(g_SensorCutterL, "Cutter L        ", 0x64000002u, 12, 0x0319, 1)                       \
  SW(g_SensorCutterC, "Cutter C        ", 0x64000002u, 13, 0x031B, 1)                       \
  SW(g_SensorCutterR, "Cutter R        ", 0x64000002u, 14, 0x031A, 1)                       \
  SW(g_SensorRibEncDstL, "RibEncDstL      ", 0x64000004u, 2, 0x031F, 1)                     \
  SW(g_SensorRibEncDstR, "RibEncDstR      ", 0x64000004u, 3, 0x0320, 1)                     \
  SW(g_SensorRibEncSrcL, "RibEncSrcL      ", 0x64000004u, 0, 0x0321, 1)                     \
  SW(g_SensorRibEncSrcR, "RibEncSrcR      ", 0x64000004u, 1, 0x0322, 1)                     \
  SW(g_SensorTurnEncoder, "TurnEncoder     ", 0x64000004u, 4, 0x0323, 1)                    \
  SW(g_SensorRollSize, "RollSize        ", 0x64000004u, 5, 0x0335, 0)                       \
  SW(g_SensorFaultCheck, "FaultCheck      ", 0x64000004u, 11, 0x0338, 0)                    \
  SW(g_SensorExitTray1, "ExitTray1       ", 0x64000004u, 12, 0x0339, 1)                     \
  SW(g_SensorExitPrint1, "ExitPrint1      ", 0x64000004u, 13, 0x033A, 0)                    \
  SW(g_SensorExitTray2, "ExitTray2       ", 0x64000004u, 14, 0x033B, 1)                     \
  SW(g_SensorExitPrint2, "ExitPrint2      ", 0x64000004u, 15, 0x033C, 1)

#define AD_SENSORS(AD)                                                                       \
  AD(g_AdHThermL, "H.Therm L       ", 0, 16, g_ParamSliceHeadThermL)                         \
  AD(g_AdHThermR, "H.Therm R       ", 0, 17, g_ParamSliceHeadThermR)                         \
  AD(g_AdEnvTherm, "EnvTherm        ", 0, 18, g_ParamSliceEnvTherm)                          \
  AD(g_AdExitPrint, "ExitPrint       ", 0, 19, g_ParamSliceExitPrint)                        \
  AD(g_AdEnvHumid, "EnvHumid        ", 0, 20, g_ParamSliceEnvHumid)                          \
  AD(g_AdPaperEmpty, "PaperEmpty      ", 0, 21, g_ParamSlicePaperEnd)                        \
  AD(g_AdTopL, "Top L           ", 0, 22, g_ParamSliceTopL)                                  \
  AD(g_AdTopR, "Top R           ", 0, 23, g_ParamSliceTopR)                                  \
  AD(g_AdPosition, "Position        ", 0, 24, g_ParamSlicePosition)                          \
  AD(g_AdPaperPath, "PaperPath       ", 0, 25, g_ParamSlicePaperPath)                        \
  AD(g_AdRMark1L, "R.Mark1 L       ", 0, 32, g_ParamSliceRMark1L)                            \
  AD(g_AdRMark1R, "R.Mark1 R       ", 0, 36, g_ParamSliceRMark1R)                            \
  AD(g_AdRMark2L, "R.Mark2 L       ", 0, 33, g_ParamSliceRMark2L)                            \
  AD(g_AdRMark2R, "R.Mark2 R       ", 0, 37, g_ParamSliceRMark2R)                            \
  AD(g_AdRMark3L, "R.Mark3 L       ", 0, 34, g_ParamSliceRMark3L)                            \
  AD(g_AdRMark3R, "R.Mark3 R       ", 0, 38, g_ParamSliceRMark3R)                            \
  AD(g_AdRMark4L, "R.Mark4 L       ", 0, 35, g_ParamSliceRMark4L)                            \
  AD(g_AdRMark4R, "R.Mark4 R       ", 0, 39, g_ParamSliceRMark4R)                            \
  AD(g_AdSPRibEndL, "SPRibEnd L      ", 0, 64, g_ParamSliceSPRibEndL)                        \
  AD(g_AdSPRibEndR, "SPRibEnd R      ", 0, 65, g_ParamSliceSPRibEndR)                        \
  AD(g_AdCISOutVol, "CISOutVol       ", 0, 67, g_ParamSliceCISOutVol)                        \
  AD(g_AdCISLEDVol, "CISLEDVol       ", 0, 66, g_ParamSliceCISLEDVol)                        \
  AD(g_AdEnvTherm2, "EnvTherm 2      ", 0, 69, g_ParamSliceEnvTherm2)                        \
  AD(g_AdReserve1, "Reserve1        ", 0, 68, g_ParamSliceReserve1)                          \
  AD(g_AdReserve2, "Reserve2        ", 0, 69, g_ParamSliceReserve2)                          \
  AD(g_AdReserve3, "Reserve3        ", 0, 70, g_ParamSliceReserve3)                          \
  AD(g_Ad24Vol, "24Vol           ", 0, 73, g_ParamSlice24Vol)                                \
  AD(g_AdCSenL, "CSen L          ", 32, 128, g_ParamSliceRibbonColorL)                       \
  AD(g_AdCSenR, "CSen R          ", 0, 128, g_ParamSliceRibbonColorR)                        \
  AD(g_AdBarcodeL, "Barcode L       ", 0, 130, g_ParamSliceBarcodeL)                         \
  AD(g_AdBarcodeR, "Barcode R       ", 0, 131, g_ParamSliceBarcodeR)                         \
  AD(g_AdRollEdge, "RollEdge        ", 0, 132, g_ParamSliceRollEdge)                         \
  AD(g_AdTHV, "THV             ", 0, 10, g_ParamThvYL)

#define SWITCH_SENSOR_DECLARE(name, ...) extern CDigitalSensor name;
#define AD_SENSOR_DECLARE(name, ...) extern CAnalogSensor name;
SWITCH_SENSORS(SWITCH_SENSOR_DECLARE)
AD_SENSORS(AD_SENSOR_DECLARE)
#undef SWITCH_SENSOR_DECLARE
#undef AD_SENSOR_DECLARE

struct SwitchSensorWiring {
  CDigitalSensor* pSensor;
  const char* pszLabel;
  uint32_t ulRegister;
  uint32_t ulBit;
  uint32_t ulErrorIndex;
  uint32_t ulInvert;
};

struct AdSensorWiring {
  CAnalogSensor* pSensor;
  const char* pszLabel;
  uint32_t ulMode;
  uint32_t ulChannel;
  const CParameter* pSlice;
};

#define SENSOR_COUNT_ONE(...) +1
constexpr uint32_t SWITCH_SENSOR_COUNT = 0 SWITCH_SENSORS(SENSOR_COUNT_ONE);
constexpr uint32_t AD_SENSOR_COUNT = 0 AD_SENSORS(SENSOR_COUNT_ONE);
static_assert(SWITCH_SENSOR_COUNT == 42 && AD_SENSOR_COUNT == 33);

extern const SwitchSensorWiring g_aSwitchSensorWiring[SWITCH_SENSOR_COUNT];
extern const AdSensorWiring g_aAdSensorWiring[AD_SENSOR_COUNT];

// The machine definition's steps: the switch sensors (after their ports),
// the A/D sensors (after the converter and their slice settings).
void ConstructSwitchSensors();
void ConstructAdSensors();
