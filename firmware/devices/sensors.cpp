#include "firmware/devices/sensors.h"

#include "firmware/devices/eeprom_cells.h"
#include "firmware/hal/global.h"

constinit CInputPortWord g_aPortFpgaIn[kFpgaInputWords][kFpgaInputBits];

constinit CDigitalSensor g_SensorFrontCover;
constinit CDigitalSensor g_SensorPaperGuide;
constinit CDigitalSensor g_SensorSideCoverL;
constinit CDigitalSensor g_SensorSideCoverR;
constinit CDigitalSensor g_SensorUpperCoverL;
constinit CDigitalSensor g_SensorUpperCoverR;
constinit CDigitalSensor g_SensorPaperCover;

constinit CParameter g_ParamSliceHeadThermL;
constinit CParameter g_ParamSliceHeadThermR;
constinit CParameter g_ParamSliceEnvTherm;
constinit CParameter g_ParamSlicePaperEnd;
constinit CParameter g_ParamSliceTopL;
constinit CParameter g_ParamSliceTopR;
constinit CParameter g_ParamSlicePosition;
constinit CParameter g_ParamFanOn;
constinit CParameter g_ParamFanOff;

constinit CAnalogSensor g_AdHThermL;
constinit CAnalogSensor g_AdHThermR;
constinit CAnalogSensor g_AdEnvTherm;
constinit CAnalogSensor g_AdPaperEmpty;
constinit CAnalogSensor g_AdTopL;
constinit CAnalogSensor g_AdTopR;
constinit CAnalogSensor g_AdPosition;

namespace {

constexpr uint32_t kFpgaIn0 = 0x64000000u;
constexpr uint32_t kFpgaInWordStep = 2;
// Word 1 has no bit 15.
constexpr uint32_t kFpgaInBitsOfWord[kFpgaInputWords] = {16, 15, 16};

CInputPort* FpgaIn(uint32_t ulWord, uint32_t ulBit) { return &g_aPortFpgaIn[ulWord][ulBit]; }

struct SwitchSensorWiring {
  CDigitalSensor* pSensor;
  const char* pszLabel;
  uint32_t ulWord;
  uint32_t ulBit;
  uint32_t ulErrorIndex;
  uint32_t ulInvert;
};

// In the machine's order of the switch sensors (of those built so far).
constexpr SwitchSensorWiring kSwitchSensors[] = {
    {&g_SensorFrontCover, "FrontCover      ", 0, 0, 0x031E, 0},
    {&g_SensorPaperGuide, "PaperGuide      ", 0, 10, 0x0337, 0},
    {&g_SensorSideCoverL, "SideCover L     ", 1, 2, 0x031C, 0},
    {&g_SensorSideCoverR, "SideCover R     ", 1, 6, 0x031D, 0},
    {&g_SensorUpperCoverL, "UpperCoverL     ", 1, 3, 0x032F, 0},
    {&g_SensorUpperCoverR, "UpperCoverR     ", 1, 7, 0x0330, 0},
    {&g_SensorPaperCover, "PaperCover      ", 1, 8, 0x0336, 0},
};

constexpr int32_t kSliceMax = 255;
constexpr int32_t kSliceDefaultRam = 128;
constexpr int32_t kSliceDefaultStored = 113;

struct SliceSettingWiring {
  CParameter* pSetting;
  const char* pszLabel;
  const CEepromCell* pCell;  // nullptr: RAM only
  int32_t lDefault;
};

constexpr SliceSettingWiring kSliceSettings[] = {
    {&g_ParamSliceHeadThermL, "HeadTherm L     ", nullptr, kSliceDefaultRam},
    {&g_ParamSliceHeadThermR, "HeadTherm R     ", nullptr, kSliceDefaultRam},
    {&g_ParamSliceEnvTherm, "EnvTherm        ", nullptr, kSliceDefaultRam},
    {&g_ParamSlicePaperEnd, "PaperEnd        ", &g_Cell154, kSliceDefaultStored},
    {&g_ParamSliceTopL, "Top L           ", &g_Cell155, kSliceDefaultStored},
    {&g_ParamSliceTopR, "Top R           ", &g_Cell158, kSliceDefaultStored},
    {&g_ParamSlicePosition, "Position        ", &g_Cell153, kSliceDefaultStored},
};

struct AdSensorWiring {
  CAnalogSensor* pSensor;
  const char* pszLabel;
  uint32_t ulMode;
  uint32_t ulChannel;
  const CParameter* pSlice;
};

// In the machine's order of the A/D sensors (of those built so far).
constexpr AdSensorWiring kAdSensors[] = {
    {&g_AdHThermL, "H.Therm L       ", 0, 16, &g_ParamSliceHeadThermL},
    {&g_AdHThermR, "H.Therm R       ", 0, 17, &g_ParamSliceHeadThermR},
    {&g_AdEnvTherm, "EnvTherm        ", 0, 18, &g_ParamSliceEnvTherm},
    {&g_AdPaperEmpty, "PaperEmpty      ", 0, 21, &g_ParamSlicePaperEnd},
    {&g_AdTopL, "Top L           ", 0, 22, &g_ParamSliceTopL},
    {&g_AdTopR, "Top R           ", 0, 23, &g_ParamSliceTopR},
    {&g_AdPosition, "Position        ", 0, 24, &g_ParamSlicePosition},
};

}  // namespace

void ConstructFpgaInputPorts() {
  for (uint32_t ulWord = 0; ulWord < kFpgaInputWords; ++ulWord) {
    for (uint32_t ulBit = 0; ulBit < kFpgaInBitsOfWord[ulWord]; ++ulBit) {
      hal::ConstructGlobal(g_aPortFpgaIn[ulWord][ulBit], kFpgaIn0 + ulWord * kFpgaInWordStep, 1u << ulBit);
    }
  }
}

void ConstructSwitchSensors() {
  for (const SwitchSensorWiring& w : kSwitchSensors) {
    hal::ConstructGlobal(*w.pSensor, w.pszLabel, FpgaIn(w.ulWord, w.ulBit), w.ulErrorIndex, w.ulInvert);
  }
}

void ConstructSliceSettings() {
  for (const SliceSettingWiring& w : kSliceSettings) {
    hal::ConstructGlobal(*w.pSetting, w.pszLabel, 0, kSliceMax, w.pCell, nullptr, nullptr, w.lDefault);
  }
}

void ConstructAdSensors() {
  for (const AdSensorWiring& w : kAdSensors) {
    hal::ConstructGlobal(*w.pSensor, w.pszLabel, w.ulMode, w.ulChannel, w.pSlice, 0u);
  }
}

void ConstructFanSettings() {
  constexpr int32_t kFanLevelMin = -1;
  constexpr int32_t kFanLevelMax = 256;
  hal::ConstructGlobal(g_ParamFanOn, "Fan On          ", kFanLevelMin, kFanLevelMax, nullptr, nullptr, nullptr, -1);
  hal::ConstructGlobal(g_ParamFanOff, "Fan Off         ", kFanLevelMin, kFanLevelMax, nullptr, nullptr, nullptr, -1);
}
