// The self-diagnosis and panel command handlers. A diagnosis request names a
// device by a sub-command and a device id; each sub-command's ids map onto
// the diagnosis device table by a fixed offset, and the table entry's kind
// says how the device is driven or read.
#include "firmware/hostif/diagnosis_handlers.h"

#include "firmware/control/app_startup.h"
#include "firmware/control/error_history.h"
#include "firmware/control/error_manager.h"
#include "firmware/control/error_table.h"
#include "firmware/control/event_set.h"
#include "firmware/control/head_preheat.h"
#include "firmware/control/host_status_table.h"
#include "firmware/control/idle_supervisor.h"
#include "firmware/control/lcd.h"
#include "firmware/control/leds.h"
#include "firmware/devices/analog_sensor.h"
#include "firmware/devices/chop_motor.h"
#include "firmware/devices/dc_motor.h"
#include "firmware/devices/digital_sensor.h"
#include "firmware/devices/fan.h"
#include "firmware/devices/host_id_tables.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/stepper.h"
#include "firmware/hostif/diagnosis_ramp.h"
#include "firmware/hostif/usb_comm.h"
#include "firmware/platform/time_base.h"
#include "firmware/printengine/thv_control.h"
#include "firmware/sequences/event_actions.h"
#include "firmware/service/service_menus.h"
#include "firmware/service/test_prints.h"
#include "protocol/codes.h"

namespace {

using protocol::REPLY_ERR_BAD_PARAMETER;

constexpr uint32_t kStepperRate = 1300;  // pulses per second
constexpr uint32_t kStepperStepMode = 1;
constexpr uint32_t kChopperDuty = 100;
constexpr uint32_t kMessageMs = 3000;

enum DiagAction : uint8_t {
  ACTION_ON = 1,  // forward, on
  ACTION_OFF = 2,  // reverse, off
  ACTION_3 = 3,
  ACTION_4 = 4,
  ACTION_5 = 5,
};

// The ids a sub-command accepts and where they lie in the device table.
struct DiagIdRange {
  uint8_t ucSubCommand;
  uint8_t ucFirstId;
  uint8_t ucLastId;
  int8_t cOffset;  // table index = id + offset
};
constexpr DiagIdRange kDiagIdRanges[] = {
    {protocol::DIAG_STEPPER, 1, 2, -1},
    {protocol::DIAG_MOTOR, 1, 3, 1},     // ribbon motors
    {protocol::DIAG_MOTOR, 16, 19, -12},  // DC motors
    {protocol::DIAG_ANALOG_SENSOR, 1, 7, 7},
    {protocol::DIAG_SWITCH_SENSOR, 1, 16, 14},
    {protocol::DIAG_FAN, 1, 6, 30},
    {protocol::DIAG_LED, 1, 3, 36},
};

// The device entry of a sub-command's id, or null for an id outside its
// ranges (an empty entry is an entry of kind none).
const DiagDeviceEntry* DeviceOf(uint32_t ulSubCommand, uint32_t ulId) {
  for (const DiagIdRange& range : kDiagIdRanges) {
    if (range.ucSubCommand != ulSubCommand || ulId < range.ucFirstId || ulId > range.ucLastId) continue;
    return &FindDiagDevice(static_cast<uint32_t>(static_cast<int32_t>(ulId) + range.cOffset));
  }
  return nullptr;
}

uint8_t DriveStepper(const DiagDeviceEntry& device, uint32_t ulAction, uint8_t*) {
  CStpmtr* pMotor = device.pStepper;
  if (pMotor == nullptr) return REPLY_ERR_BAD_PARAMETER;
  const uint16_t* pusRamp = kDiagStepperRamp.data();
  switch (ulAction) {
    case ACTION_ON:
    case ACTION_OFF:
      pMotor->RunConstant(kStepperRate, ulAction == ACTION_ON ? 0 : 1, kStepperStepMode, 0);
      break;
    case ACTION_3:
    case ACTION_4:
      // The ramp's length names its top entry, the last of the table.
      pMotor->RunRamp(pusRamp, pusRamp, DIAG_RAMP_LENGTH - 1, ulAction == ACTION_3 ? 0 : 1, kStepperStepMode, 0, 0);
      break;
    case ACTION_5: {
      int32_t lState = STPMTR_IDLE;
      pMotor->GetState(&lState);
      if (lState == STPMTR_CONSTANT) {
        pMotor->Stop();
      } else {
        pMotor->DecelerateAndStop();
      }
      break;
    }
    default:  // the stepper ignores other actions
      break;
  }
  return 0;
}

uint8_t DriveMotor(const DiagDeviceEntry& device, uint32_t ulAction, uint8_t*) {
  if (device.pDcMotor != nullptr) {
    CDcMotor& motor = *device.pDcMotor;
    switch (ulAction) {
      case ACTION_ON: motor.Forward(); return 0;
      case ACTION_OFF: motor.Reverse(); return 0;
      case ACTION_3: motor.Stop(); return 0;
      default: return REPLY_ERR_BAD_PARAMETER;
    }
  }
  if (device.pChopMotor != nullptr) {
    CChopMotor& motor = *device.pChopMotor;
    switch (ulAction) {
      case ACTION_ON:
        motor.SetDuty(kChopperDuty);
        motor.Forward();
        return 0;
      case ACTION_OFF:
        motor.SetDuty(kChopperDuty);
        motor.Reverse();
        return 0;
      case ACTION_3:
        motor.Stop();
        motor.SetDuty(0);
        return 0;
      default: return REPLY_ERR_BAD_PARAMETER;
    }
  }
  return REPLY_ERR_BAD_PARAMETER;
}

// An empty entry reads 0; a sampling that fails is reported.
uint8_t ReadAnalog(const DiagDeviceEntry& device, uint32_t, uint8_t* pucValue) {
  if (device.pAdSensor == nullptr) return 0;
  uint32_t ulAverage = 0;
  if (device.pAdSensor->Read(&ulAverage) != 0) return protocol::REPLY_ERR_UNIT_ERROR;
  const uint32_t ulValue = ulAverage / 4;
  *pucValue = static_cast<uint8_t>(ulValue > 0xFF ? 0xFF : ulValue);
  return 0;
}

uint8_t ReadSwitch(const DiagDeviceEntry& device, uint32_t, uint8_t* pucValue) {
  if (device.pSwitchSensor == nullptr) return 0;
  uint32_t ulLevel = 0;
  device.pSwitchSensor->ReadStable(&ulLevel);
  *pucValue = ulLevel != 0 ? 1 : 0;
  return 0;
}

// A head fan brings its side fan along and holds off the automatic fan
// control of its side while it is on.
struct HeadFanSide {
  CFanCnt* pHeadFan;
  CFanCnt* pSideFan;
  int32_t (CIdleSupervisor::*pfnSuspend)(uint32_t);
};
const HeadFanSide kHeadFanSides[] = {
    {&g_FanHeadL, &g_FanSideL, &CIdleSupervisor::SuspendFanControlL},
    {&g_FanHeadR, &g_FanSideR, &CIdleSupervisor::SuspendFanControlR},
};

uint8_t DriveFan(const DiagDeviceEntry& device, uint32_t ulAction, uint8_t*) {
  CFanCnt* pFan = device.pFan;
  if (pFan == nullptr || (ulAction != ACTION_ON && ulAction != ACTION_OFF)) return REPLY_ERR_BAD_PARAMETER;
  const bool bOn = ulAction == ACTION_ON;
  if (bOn) {
    pFan->On();
  } else {
    pFan->Off();
  }
  for (const HeadFanSide& side : kHeadFanSides) {
    if (side.pHeadFan != pFan) continue;
    if (bOn) {
      side.pSideFan->On();
    } else {
      side.pSideFan->Off();
    }
    (g_IdleSupervisor.*side.pfnSuspend)(bOn ? 1 : 0);
  }
  return 0;
}

uint8_t DriveLed(const DiagDeviceEntry& device, uint32_t ulAction, uint8_t*) {
  CPortLed* pLed = device.pPanelLed;
  if (pLed == nullptr) return REPLY_ERR_BAD_PARAMETER;
  switch (ulAction) {
    case ACTION_ON: pLed->On(); return 0;
    case ACTION_OFF: pLed->Off(); return 0;
    default: return REPLY_ERR_BAD_PARAMETER;
  }
}

// The device sub-commands: result of driving or reading one device (the
// measured value through the last argument).
struct DeviceCommand {
  uint8_t ucSubCommand;
  uint8_t (*pfnRun)(const DiagDeviceEntry& device, uint32_t ulAction, uint8_t* pucValue);
};
constexpr DeviceCommand kDeviceCommands[] = {
    {protocol::DIAG_STEPPER, DriveStepper},     {protocol::DIAG_MOTOR, DriveMotor},
    {protocol::DIAG_ANALOG_SENSOR, ReadAnalog}, {protocol::DIAG_SWITCH_SENSOR, ReadSwitch},
    {protocol::DIAG_FAN, DriveFan},             {protocol::DIAG_LED, DriveLed},
};

uint8_t RunDeviceCommand(SelfDiagnosisBlock& block) {
  for (const DeviceCommand& command : kDeviceCommands) {
    if (command.ucSubCommand != block.ucSubCommand) continue;
    const DiagDeviceEntry* pDevice = DeviceOf(block.ucSubCommand, block.ucDeviceId);
    if (pDevice == nullptr) return REPLY_ERR_BAD_PARAMETER;
    return command.pfnRun(*pDevice, block.ucAction, &block.ucValue);
  }
  return REPLY_ERR_BAD_PARAMETER;
}

bool IsErrorSet(uint32_t ulIndex) {
  uint32_t ulFlag = 0;
  g_ErrorMng.IsErrorSet(ulIndex, &ulFlag);
  return ulFlag != 0;
}

// The tuning of the heads' voltages is refused with the front cover open
// (the only refusal shown) and with an invalid head resistance, which the
// tuning could never converge on.
bool TuningRefused() {
  if (IsErrorSet(erridx::kFrontCover)) {
    g_Lcd.WriteLine("Front Cover Open");
    g_MsTimer.WaitMs(kMessageMs);
    return true;
  }
  for (uint32_t ulIndex = erridx::kHeadResistanceFirst; ulIndex <= erridx::kHeadResistanceLast; ++ulIndex) {
    if (IsErrorSet(ulIndex)) return true;
  }
  return false;
}

// 0 when every unit the sub-command names was tuned.
int32_t TuneHeadVoltages(uint32_t ulSubCommand) {
  if (TuningRefused()) return -1;
  if (ulSubCommand != protocol::DIAG_THV_TUNE_R) {
    if (AutoTuneThvList(g_ThvTableL, g_usHeadResistanceL) != 0) return -1;
  }
  if (ulSubCommand != protocol::DIAG_THV_TUNE_L) {
    if (AutoTuneThvList(g_ThvTableR, g_usHeadResistanceR) != 0) return -1;
  }
  return 0;
}

SelfDiagnosisBlock& DiagnosisBlock() {
  SelfDiagnosisBlock* pBlock = nullptr;
  usb_comm_get_self_diagnosis_block(&pBlock);
  return *pBlock;
}

}  // namespace

bool DiagnosisRunsAfterReply(uint32_t ulSubCommand) {
  return ulSubCommand == protocol::DIAG_KEY_TEST || ulSubCommand >= protocol::DIAG_FOLLOWUP_FIRST;
}

int32_t ExecSelfDiagnosis() {
  SelfDiagnosisBlock& block = DiagnosisBlock();
  g_PreheatBoth.Reset();
  block.ucValue = 0;
  block.ucResult = 0;
  switch (block.ucSubCommand) {
    case protocol::DIAG_AUTO_DIAGNOSIS:
      g_pCurEventMng->SetEvent(EV_AUTO_DIAG);
      break;
    case protocol::DIAG_INIT_MECHA:
      MechaAllOff();
      g_pCurEventMng->SetEvent(EV_INIT_MECHA);
      break;
    default:
      block.ucResult = RunDeviceCommand(block);
      break;
  }
  return 0;
}

int32_t ExecDiagnosisFollowup() {
  SelfDiagnosisBlock& block = DiagnosisBlock();
  block.ucValue = 0;
  switch (block.ucSubCommand) {
    case protocol::DIAG_KEY_TEST:
      CheckKeyTest();
      break;
    case protocol::DIAG_STATUS_SHEET:
      PrintStatusSheet();
      break;
    case protocol::DIAG_THV_TUNE_BOTH:
    case protocol::DIAG_THV_TUNE_L:
    case protocol::DIAG_THV_TUNE_R: {
      const bool bTuned = TuneHeadVoltages(block.ucSubCommand) == 0;
      g_Lcd.WriteLine(bTuned ? "Auto Tuning OK  " : "Auto Tuning NG  ");
      g_MsTimer.WaitMs(kMessageMs);
      break;
    }
    default:
      return 0;
  }
  g_IdleSupervisor.RequestStateUpdate();
  return 0;
}

int32_t ExecFlashLed() {
  FlashLedBlock* pBlock = nullptr;
  usb_comm_get_flash_led_block(&pBlock);
  g_pCurEventMng->SetEvent(EV_FLASH_LED);
  pBlock->ucResult = 0;
  return 0;
}

int32_t ExecOperationButton() {
  OperationButtonBlock* pBlock = nullptr;
  usb_comm_get_operation_button_block(&pBlock);
  // The parser refused a value above 1 already.
  if (pBlock->ucResult != 0 || g_ucRibbonControlType == 0) return 0;
  if (g_ParamKeyEnable.SetValue(pBlock->ucValue) != 0) pBlock->ucResult = protocol::REPLY_ERR_UNIT_ERROR;
  SetStatusItem(SI_KEY_ENABLE, pBlock->ucValue, 1);
  return 0;
}

int32_t ExecResetErrorLog() {
  ResetErrorLogBlock* pBlock = nullptr;
  usb_comm_get_reset_error_log_block(&pBlock);
  pBlock->ucResult = g_ErrorHist.Clear() == 0 ? 0 : protocol::REPLY_ERR_UNIT_ERROR;
  return 0;
}
