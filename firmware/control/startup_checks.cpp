// The start-up's checks of what the last run and the factory left: the
// paper roll-back, the serial number, and each head EEPROM's copies of its
// unit's settings and counters with the head's value.
#include <cstring>

#include "firmware/control/app_startup.h"
#include "firmware/control/error_manager.h"
#include "firmware/control/error_table.h"
#include "firmware/control/idle_supervisor.h"
#include "firmware/control/startup_steps.h"
#include "firmware/devices/eeprom.h"
#include "firmware/devices/life_counters.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/serial_number.h"
#include "firmware/devices/settings.h"
#include "firmware/hal/kernel.h"

uint16_t g_usHeadResistanceL;
uint16_t g_usHeadResistanceR;

namespace {

constexpr int32_t kRollBackStarted = 1;
constexpr int32_t kRollBackHalf = 2;
constexpr int32_t kRollBackTakeOut = 3;
constexpr char kFactorySerial[] = "R0000000";
constexpr uint16_t kHeadValueMin = 4000;
constexpr uint16_t kHeadValueMax = 9000;
constexpr uint8_t kHeadValueLow = EEPROM_HEAD_RESISTANCE_ADDR;
constexpr uint8_t kHeadValueHigh = EEPROM_HEAD_RESISTANCE_ADDR + 1;
constexpr uint32_t kHeadSettings = 9;
// A unit's settings keep their head copy in their head cell A.
constexpr uint32_t kHeadCellA = 0;

// What one unit's head EEPROM must agree with.
struct HeadCheck {
  const CParameter* apSettings[kHeadSettings];
  const CLifeCounter* pHeadLength;
  const CLifeCounter* pHeadPrints;
  CHeadEeprom* pHeadEeprom;
  uint16_t* pusHeadValue;
  uint16_t usSettingError;
  uint16_t usHeadValueError;
};

constexpr HeadCheck kHeadCheckL = {
    {&g_ParamDensityYmcL, &g_ParamDensityLowL, &g_ParamDensityLmL, &g_ParamDensityMtL, &g_ParamDensityMt2L,
     &g_ParamDensityLmMinorL, &g_ParamDensityMtMinorL, &g_ParamDensityMt2MinorL, &g_ParamDensitySpL},
    &g_CounterHeadLengthL,
    &g_CounterHeadPrintsL,
    &g_HeadEepromL,
    &g_usHeadResistanceL,
    erridx::kHeadSettingL,
    erridx::kHeadResistanceFirst,
};
constexpr HeadCheck kHeadCheckR = {
    {&g_ParamDensityYmcR, &g_ParamDensityLowR, &g_ParamDensityLmR, &g_ParamDensityMtR, &g_ParamDensityMt2R,
     &g_ParamDensityLmMinorR, &g_ParamDensityMtMinorR, &g_ParamDensityMt2MinorR, &g_ParamDensitySpR},
    &g_CounterHeadLengthR,
    &g_CounterHeadPrintsR,
    &g_HeadEepromR,
    &g_usHeadResistanceR,
    erridx::kHeadSettingR,
    erridx::kHeadResistanceFirst + 1,
};

void CheckHeadEeprom(const HeadCheck& c) {
  int32_t lSum = 0;
  for (const CParameter* pSetting : c.apSettings) lSum += pSetting->VerifyHeadCell(kHeadCellA);
  lSum += c.pHeadLength->CompareHeadCell();
  lSum += c.pHeadPrints->CompareHeadCell();
  if (lSum != 0) {
    g_ErrorMng.SetError(c.usSettingError);
    return;
  }
  uint8_t ucLow = 0;
  uint8_t ucHigh = 0;
  c.pHeadEeprom->ReadByte(kHeadValueLow, &ucLow);
  c.pHeadEeprom->ReadByte(kHeadValueHigh, &ucHigh);
  const uint16_t usValue = static_cast<uint16_t>(ucLow | (ucHigh << 8));
  *c.pusHeadValue = usValue;
  if (usValue < kHeadValueMin || usValue > kHeadValueMax) g_ErrorMng.SetError(c.usHeadValueError);
}

}  // namespace

void CheckRollBackFlag() {
  const int32_t lFlag = SettingValue(g_ParamRollBackFlag);
  syslog(LOG_EMERG, "[MAIN] RollbackFlag = %d ", lFlag);
  if (lFlag == kRollBackStarted || lFlag == kRollBackHalf) {
    g_ErrorMng.SetError(erridx::kLoadPaperRollback);
  } else if (lFlag == kRollBackTakeOut) {
    uint32_t ulPaper = 0;
    if (g_AdPosition.GetState(&ulPaper) == 0 && ulPaper != 0) g_ErrorMng.SetError(erridx::kTakeOutPaper);
  }
}

void CheckSerialPlaceholder() {
  if (g_usServiceMode != 0) return;
  char acSerial[SERIAL_NO_LENGTH];
  GetSerialNumber(acSerial);
  if (std::memcmp(acSerial, kFactorySerial, SERIAL_NO_LENGTH) == 0) g_ErrorMng.SetError(erridx::kSerialNumber);
}

void CheckHeadEepromL() { CheckHeadEeprom(kHeadCheckL); }
void CheckHeadEepromR() { CheckHeadEeprom(kHeadCheckR); }
