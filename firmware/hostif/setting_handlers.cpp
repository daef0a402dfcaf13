// The setting and serial-number command handlers, and the head-EEPROM byte
// of the head-EEPROM request.
#include "firmware/control/engine_variant.h"
#include "firmware/hostif/setting_handlers.h"

#include "firmware/control/app_startup.h"
#include "firmware/control/host_status_table.h"
#include "firmware/devices/eeprom.h"
#include "firmware/devices/eeprom_cells.h"
#include "firmware/devices/host_id_tables.h"
#include "firmware/devices/life_counter.h"
#include "firmware/devices/serial_number.h"
#include "firmware/devices/settings.h"
#include "firmware/hostif/usb_comm.h"
#include "firmware/printengine/print_geometry.h"
#include "protocol/codes.h"

namespace {

// Ids from here up always name life counters.
constexpr uint32_t FIRST_COUNTER_ID = 224;

// What a set request of an id recomputes afterwards, whether the value was
// taken or not: the print edges that depend on the setting.
struct SetFollowUp {
  uint8_t ucId;
  int32_t (CPrintGeometry::*pfnApply)();
};
constexpr SetFollowUp kSetFollowUps[] = {
    {153, &CPrintGeometry::ApplyCisOffsets},
    {154, &CPrintGeometry::ApplyCisOffsets},
    {155, &CPrintGeometry::ApplyMgOffsets},
    {156, &CPrintGeometry::ApplyMgOffsets},
};

// The counter of a counter id, or null.
CLifeCounter* CounterOf(uint32_t ulId) {
  const HostParamEntry& entry = FindHostParam(ulId);
  return entry.eKind == HOST_PARAM_COUNTER ? entry.pCounter : nullptr;
}

// The setting of a setting id, or null.
CParameter* SettingOf(uint32_t ulId) {
  const HostParamEntry& entry = FindHostParam(ulId);
  return entry.eKind == HOST_PARAM_SETTING ? entry.pParam : nullptr;
}

uint8_t ResetCounter(uint32_t ulId) {
  CLifeCounter* pCounter = CounterOf(ulId);
  uint8_t ucResult = protocol::REPLY_ERR_BAD_PARAMETER;
  if (pCounter != nullptr) ucResult = pCounter->Reset() == 0 ? 0 : protocol::REPLY_ERR_UNIT_ERROR;
  RefreshCounterItems();
  return ucResult;
}

uint8_t SetSetting(uint32_t ulId, int32_t lValue) {
  CParameter* pParam = SettingOf(ulId);
  if (pParam == nullptr) return protocol::REPLY_ERR_BAD_PARAMETER;
  int32_t lMin = 0;
  int32_t lMax = 0;
  pParam->GetMin(&lMin);
  pParam->GetMax(&lMax);
  if (lValue < lMin || lValue > lMax || !pParam->Storable(lValue)) return protocol::REPLY_ERR_BAD_PARAMETER;
  // The value is in RAM even when a cell write fails; the host hears of the
  // failure.
  const uint8_t ucResult = pParam->SetValue(lValue) == 0 ? 0 : protocol::REPLY_ERR_UNIT_ERROR;
  if (pParam == &g_ParamEngineVersion) SelectEngineVariant();
  return ucResult;
}

}  // namespace

int32_t ExecGetParameter() {
  GetParameterBlock* pBlock = nullptr;
  usb_comm_get_get_parameter_block(&pBlock);
  pBlock->ulValue = 0;
  pBlock->ucResult = protocol::REPLY_ERR_BAD_PARAMETER;
  const uint32_t ulId = pBlock->ucParameterId;
  if (ulId >= FIRST_COUNTER_ID) {
    const CLifeCounter* pCounter = CounterOf(ulId);
    uint32_t ulValue = 0;
    if (pCounter != nullptr && pCounter->GetValue(&ulValue) == 0) {
      pBlock->ulValue = ulValue;
      pBlock->ucResult = 0;
    }
  } else {
    const CParameter* pParam = SettingOf(ulId);
    int32_t lValue = 0;
    if (pParam != nullptr && pParam->GetValue(&lValue) == 0) {
      pBlock->ulValue = static_cast<uint32_t>(lValue);
      pBlock->ucResult = 0;
    }
  }
  return 0;
}

int32_t ExecSetParameter() {
  SetParameterBlock* pBlock = nullptr;
  usb_comm_get_set_parameter_block(&pBlock);
  const uint32_t ulId = pBlock->ucParameterId;
  // A counter id resets its counter whatever value came with it.
  pBlock->ucResult = ulId >= FIRST_COUNTER_ID ? ResetCounter(ulId) : SetSetting(ulId, pBlock->lValue);
  for (const SetFollowUp& row : kSetFollowUps) {
    if (row.ucId == ulId) (g_PrintGeometry.*row.pfnApply)();
  }
  return 0;
}

// The number goes into the RAM copy (the USB task has already put it
// there), its main EEPROM cell, and its second and third characters into
// cells 80 and 81 of both head EEPROMs. Every cell is written; any failed
// write is reported.
int32_t ExecSetSerialNo() {
  SetSerialBlock* pBlock = nullptr;
  usb_comm_get_set_serial_block(&pBlock);
  const char* pcSerial = pBlock->acSerial;
  const CHeadEepromCell* const apHeadCells[][2] = {
      {&g_HeadCellL80, &g_HeadCellL81},
      {&g_HeadCellR80, &g_HeadCellR81},
  };
  SetSerialNumberRam(pcSerial);
  bool bFailed = SetSerialNumber(pcSerial) != 0;
  for (const auto& unit : apHeadCells) {
    if (unit[0]->Write(&pcSerial[1]) != 0) bFailed = true;
    if (unit[1]->Write(&pcSerial[2]) != 0) bFailed = true;
  }
  pBlock->ucResult = bFailed ? protocol::REPLY_ERR_UNIT_ERROR : 0;
  return 0;
}

int32_t ReadHeadEepromForHost(uint8_t ucUnit, uint8_t ucAddress, uint8_t* pucValue) {
  *pucValue = 0;
  CHeadEeprom* const apUnits[] = {&g_HeadEepromL, &g_HeadEepromR};
  if (ucUnit < 1 || ucUnit > 2) return 0;
  return apUnits[ucUnit - 1]->ReadByte(ucAddress, pucValue) == 0 ? 0 : -1;
}
