#include "firmware/devices/host_id_tables.h"

#include "firmware/control/leds.h"
#include "firmware/devices/life_counters.h"
#include "firmware/devices/machine_actuators.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/stepper.h"

namespace {

struct SettingId {
  uint8_t ucId;
  CParameter* pParam;
};

// The settings the host addresses (ids 6 and 13, the pre-heat head
// voltages, have none).
constexpr SettingId kSettingIds[] = {
    {1, &g_ParamThvYL},
    {2, &g_ParamThvML},
    {3, &g_ParamThvCL},
    {4, &g_ParamThvMatteL},
    {5, &g_ParamThvOPL},
    {7, &g_ParamThvSPL},
    {8, &g_ParamThvYR},
    {9, &g_ParamThvMR},
    {10, &g_ParamThvCR},
    {11, &g_ParamThvMatteR},
    {12, &g_ParamThvOPR},
    {14, &g_ParamThvSPR},
    {18, &g_ParamMatteRel1},
    {19, &g_ParamMatteRel2},
    {20, &g_ParamMatteRel3},
    {21, &g_ParamMatteRel4},
    {22, &g_ParamMatteAdjust},
    {25, &g_ParamWaitTime},
    {33, &g_ParamMatteGloss},
    {34, &g_ParamDeGlossBlk},
    {35, &g_ParamDeGlossWht},
    {40, &g_ParamStickL},
    {41, &g_ParamStickR},
    {49, &g_ParamDensityYmcL},
    {50, &g_ParamDensityLowL},
    {51, &g_ParamDensityLmL},
    {52, &g_ParamDensityLmMinorL},
    {53, &g_ParamDensityMtL},
    {54, &g_ParamDensityMtMinorL},
    {55, &g_ParamDensityMt2L},
    {56, &g_ParamDensityMt2MinorL},
    {65, &g_ParamDensityYmcR},
    {66, &g_ParamDensityLowR},
    {67, &g_ParamDensityLmR},
    {68, &g_ParamDensityLmMinorR},
    {69, &g_ParamDensityMtR},
    {70, &g_ParamDensityMtMinorR},
    {71, &g_ParamDensityMt2R},
    {72, &g_ParamDensityMt2MinorR},
    {81, &g_ParamDensitySpL},
    {82, &g_ParamDensitySpR},
    {96, &g_ParamSliceRMark1L},
    {97, &g_ParamSliceRMark2L},
    {98, &g_ParamSliceRMark3L},
    {99, &g_ParamSliceRMark4L},
    {100, &g_ParamSliceRMark1R},
    {101, &g_ParamSliceRMark2R},
    {102, &g_ParamSliceRMark3R},
    {103, &g_ParamSliceRMark4R},
    {113, &g_ParamSlicePaperPath},
    {114, &g_ParamSlicePosition},
    {115, &g_ParamSlicePaperEnd},
    {116, &g_ParamSliceTopL},
    {117, &g_ParamSliceBarcodeL},
    {119, &g_ParamSliceTopR},
    {120, &g_ParamSliceBarcodeR},
    {129, &g_ParamEngineVersion},
    {145, &g_ParamTopOffsetL},
    {146, &g_ParamSensorOffsetL},
    {147, &g_ParamSideAL},
    {148, &g_ParamSideBR},
    {149, &g_ParamTopOffsetR},
    {150, &g_ParamSensorOffsetR},
    {151, &g_ParamSideAR},
    {152, &g_ParamSideBL},
    {153, &g_ParamCisOffsetL},
    {154, &g_ParamCisOffsetR},
    {155, &g_ParamMgOffsetL},
    {156, &g_ParamMgOffsetR},
    {157, &g_ParamCutterOffsetL},
    {158, &g_ParamCutterOffsetR},
    {159, &g_ParamBorderOffsetL},
    {160, &g_ParamBorderOffsetR},
    {164, &g_ParamHumidCorrect},
    {165, &g_ParamTProtectLLv},
    {166, &g_ParamTProtectLSW},
    {168, &g_ParamPreheatSW},
    {169, &g_ParamOpLevel},
    {177, &g_ParamHeadRev1},
    {178, &g_ParamHeadRev2},
    {179, &g_ParamHeadRevInt1},
    {180, &g_ParamHeadRevInt2},
};
static_assert(sizeof(kSettingIds) / sizeof(kSettingIds[0]) == 82);

// The sensors the self-diagnosis reads: A/D sensors on 8-14, switch
// sensors on 15-30 (11, 17 and 18 have none).
struct DiagAdSensorId {
  uint8_t ucId;
  CAnalogSensor* pSensor;
};
constexpr DiagAdSensorId kDiagAdSensors[] = {
    {8, &g_AdTopL},      {9, &g_AdPosition}, {10, &g_AdPaperEmpty},
    {12, &g_AdEnvTherm}, {13, &g_AdHThermL}, {14, &g_AdHThermR},
};

struct DiagSwitchSensorId {
  uint8_t ucId;
  CDigitalSensor* pSensor;
};
constexpr DiagSwitchSensorId kDiagSwitchSensors[] = {
    {15, &g_SensorHeadLUp},     {16, &g_SensorHeadLDn},     {19, &g_SensorEjectPinMn}, {20, &g_SensorEjectPinSb},
    {21, &g_SensorCutterL},     {22, &g_SensorCutterC},     {23, &g_SensorCutterR},    {24, &g_SensorRibEncDstL},
    {25, &g_SensorRibEncSrcL},  {26, &g_SensorUpperCoverL}, {27, &g_SensorPaperCover}, {28, &g_SensorPaperGuide},
    {29, &g_SensorHeadRUp},     {30, &g_SensorHeadRDn},
};

constexpr std::array<HostParamEntry, HOST_PARAM_ID_COUNT> MakeParamIdTable() {
  std::array<HostParamEntry, HOST_PARAM_ID_COUNT> aEntries{};
  for (const SettingId& row : kSettingIds) aEntries[row.ucId] = {HOST_PARAM_SETTING, row.pParam, nullptr};
  // The counters carry their ids in their own rows.
  for (const LifeCounterSpec& entry : g_aLifeCounterSpecs) {
    if (entry.ucHostId != 0) aEntries[entry.ucHostId] = {HOST_PARAM_COUNTER, nullptr, entry.pCounter};
  }
  return aEntries;
}
// Devices whose objects are not built yet stay none.
constexpr std::array<DiagDeviceEntry, DIAG_DEVICE_ID_COUNT> MakeDiagTable() {
  std::array<DiagDeviceEntry, DIAG_DEVICE_ID_COUNT> aEntries{};
  aEntries[37] = {DIAG_DEVICE_PANEL_LED, &g_LedPower};
  aEntries[38] = {DIAG_DEVICE_PANEL_LED, &g_LedReady};
  aEntries[39] = {DIAG_DEVICE_PANEL_LED, &g_LedError};
  for (const DiagAdSensorId& row : kDiagAdSensors) {
    aEntries[row.ucId] = {.eKind = DIAG_DEVICE_AD_SENSOR, .pAdSensor = row.pSensor};
  }
  for (const DiagSwitchSensorId& row : kDiagSwitchSensors) {
    aEntries[row.ucId] = {.eKind = DIAG_DEVICE_SWITCH_SENSOR, .pSwitchSensor = row.pSensor};
  }
  // The steppers, motors, fans and colour LEDs.
  aEntries[0] = {.eKind = DIAG_DEVICE_STEPPER, .pStepper = &g_StpmtrMain};
  aEntries[1] = {.eKind = DIAG_DEVICE_STEPPER, .pStepper = &g_StpmtrSub};
  aEntries[2] = {.eKind = DIAG_DEVICE_CHOP_MOTOR, .pChopMotor = &g_ChopMotorRibDstL};
  aEntries[3] = {.eKind = DIAG_DEVICE_CHOP_MOTOR, .pChopMotor = &g_ChopMotorRibSrcL};
  aEntries[5] = {.eKind = DIAG_DEVICE_DC_MOTOR, .pDcMotor = &g_DcMotorHeadL};
  aEntries[6] = {.eKind = DIAG_DEVICE_DC_MOTOR, .pDcMotor = &g_DcMotorMainPinch};
  aEntries[31] = {.eKind = DIAG_DEVICE_FAN, .pFan = &g_FanHeadL};
  aEntries[32] = {.eKind = DIAG_DEVICE_FAN, .pFan = &g_FanHeadR};
  aEntries[33] = {.eKind = DIAG_DEVICE_FAN, .pFan = &g_FanPcb};
  aEntries[34] = {.eKind = DIAG_DEVICE_FAN, .pFan = &g_FanStpMtr};
  aEntries[40] = {.eKind = DIAG_DEVICE_COLOR_LED, .pColorLed = &g_ColorLedRedL};
  aEntries[41] = {.eKind = DIAG_DEVICE_COLOR_LED, .pColorLed = &g_ColorLedRedR};
  aEntries[42] = {.eKind = DIAG_DEVICE_COLOR_LED, .pColorLed = &g_ColorLedGreenL};
  aEntries[43] = {.eKind = DIAG_DEVICE_COLOR_LED, .pColorLed = &g_ColorLedGreenR};
  aEntries[44] = {.eKind = DIAG_DEVICE_COLOR_LED, .pColorLed = &g_ColorLedBlueL};
  aEntries[45] = {.eKind = DIAG_DEVICE_COLOR_LED, .pColorLed = &g_ColorLedBlueR};
  return aEntries;
}

}  // namespace

constexpr std::array<HostParamEntry, HOST_PARAM_ID_COUNT> g_ParamIdTable = MakeParamIdTable();
constexpr std::array<DiagDeviceEntry, DIAG_DEVICE_ID_COUNT> g_DiagDeviceTable = MakeDiagTable();

const HostParamEntry& FindHostParam(uint32_t ulId) {
  static constexpr HostParamEntry kNone{};
  return ulId < HOST_PARAM_ID_COUNT ? g_ParamIdTable[ulId] : kNone;
}

const DiagDeviceEntry& FindDiagDevice(uint32_t ulId) {
  static constexpr DiagDeviceEntry kNone{};
  return ulId < DIAG_DEVICE_ID_COUNT ? g_DiagDeviceTable[ulId] : kNone;
}
