// The host's ways to the machine's objects: the parameter ids of the
// setting and counter commands, and the device ids of the self-diagnosis
// commands. Both are constant tables of tagged entries; an id the table does
// not hold reads as none.
#pragma once

#include <array>
#include <cstdint>

class CParameter;
class CLifeCounter;
class CPortLed;
class CDigitalSensor;
class CAnalogSensor;
class CChopMotor;
class CDcMotor;
class CFanCnt;
class CColorLed;
class CStpmtr;

enum HostParamKind : uint8_t {
  HOST_PARAM_NONE = 0,
  HOST_PARAM_SETTING = 1,  // ids 1-180
  HOST_PARAM_COUNTER = 2,  // ids 225-255
};

struct HostParamEntry {
  HostParamKind eKind = HOST_PARAM_NONE;
  CParameter* pParam = nullptr;
  CLifeCounter* pCounter = nullptr;
};

constexpr uint32_t HOST_PARAM_ID_COUNT = 256;
extern const std::array<HostParamEntry, HOST_PARAM_ID_COUNT> g_ParamIdTable;

// The entry of an id; a kind of HOST_PARAM_NONE for an id that does not
// exist (any value beyond the table included).
const HostParamEntry& FindHostParam(uint32_t ulId);

// Self-diagnosis devices by class; the handler operates each by its kind.
enum DiagDeviceKind : uint8_t {
  DIAG_DEVICE_NONE = 0,
  DIAG_DEVICE_PANEL_LED = 1,
  DIAG_DEVICE_SWITCH_SENSOR = 2,
  DIAG_DEVICE_AD_SENSOR = 3,
  DIAG_DEVICE_CHOP_MOTOR = 4,
  DIAG_DEVICE_DC_MOTOR = 5,
  DIAG_DEVICE_FAN = 6,
  DIAG_DEVICE_COLOR_LED = 7,
  DIAG_DEVICE_STEPPER = 8,
};

// One pointer is set, the one of the entry's kind.
struct DiagDeviceEntry {
  DiagDeviceKind eKind = DIAG_DEVICE_NONE;
  CPortLed* pPanelLed = nullptr;
  CDigitalSensor* pSwitchSensor = nullptr;
  CAnalogSensor* pAdSensor = nullptr;
  CChopMotor* pChopMotor = nullptr;
  CDcMotor* pDcMotor = nullptr;
  CFanCnt* pFan = nullptr;
  CColorLed* pColorLed = nullptr;
  CStpmtr* pStepper = nullptr;
};

constexpr uint32_t DIAG_DEVICE_ID_COUNT = 46;
extern const std::array<DiagDeviceEntry, DIAG_DEVICE_ID_COUNT> g_DiagDeviceTable;

const DiagDeviceEntry& FindDiagDevice(uint32_t ulId);
