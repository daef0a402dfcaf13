#include "firmware/mechanism/positioner.h"

#include <cstring>

#include "firmware/control/error_manager.h"
#include "firmware/control/keys.h"
#include "firmware/control/lcd.h"
#include "firmware/devices/chop_motor.h"
#include "firmware/devices/dc_motor.h"
#include "firmware/devices/digital_sensor.h"
#include "firmware/platform/time_base.h"

PositionerMotor::PositionerMotor(CFpgaChopMotor* pChopper) : m_pChopper(pChopper) {}
PositionerMotor::PositionerMotor(CFpgaDcMotor* pMotor) : m_pMotor(pMotor) {}

int32_t PositionerMotor::Drive(PositionerDrive eDrive) {
  if (m_pChopper != nullptr) return eDrive == POS_DRIVE_FORWARD ? m_pChopper->Forward() : m_pChopper->Reverse();
  if (m_pMotor != nullptr) return eDrive == POS_DRIVE_FORWARD ? m_pMotor->Forward() : m_pMotor->Reverse();
  return -1;
}

int32_t PositionerMotor::Brake() {
  if (m_pChopper != nullptr) return m_pChopper->Brake();
  return m_pMotor != nullptr ? m_pMotor->Brake() : -1;
}

int32_t PositionerMotor::Stop() {
  if (m_pChopper != nullptr) return m_pChopper->Stop();
  return m_pMotor != nullptr ? m_pMotor->Stop() : -1;
}

int32_t PositionerMotor::SetDuty(uint32_t ulPercent) {
  return m_pChopper != nullptr ? m_pChopper->SetDuty(ulPercent) : 0;
}

int32_t PositionerMotor::SetPeriod(uint32_t ulCounts) {
  return m_pChopper != nullptr ? m_pChopper->SetPeriod(ulCounts) : 0;
}

PositionerRecord::PositionerRecord(uint32_t ulTimeout) : ulTimeoutMs(g_MsTimer.MsToTicks(ulTimeout)) {
  for (int32_t& lLevel : alLevel) lLevel = -1;
}

void PositionerRecord::Follow(CDigitalSensor* pSensor, const PositionerLevels& levels) {
  pWatched = pSensor;
  for (uint32_t i = 0; i < kLevelSlots; ++i) alLevel[i] = i < levels.ulLength ? levels.alLevel[i] : -1;
  lLength = static_cast<int32_t>(levels.ulLength);
  lIndex = 0;
  Restart();
  usStep = POS_STEP_FOLLOW;
}

void PositionerRecord::Restart() { ulStartMs = g_MsTimer.NowMs(); }

int32_t PositionerRecord::PollSequence(uint32_t* pulComplete) {
  int32_t lResult = -1;
  if (pWatched != nullptr && lIndex >= 0 && lIndex < lLength && lIndex < static_cast<int32_t>(kLevelSlots)) {
    uint32_t ulLevel = 0;
    lResult = pWatched->Read(&ulLevel);
    if (lResult == 0 && static_cast<int32_t>(ulLevel) == alLevel[lIndex]) ++lIndex;
  }
  *pulComplete = lIndex >= lLength ? 1u : 0u;
  return lResult;
}

void PositionerRecord::StepFollow(uint16_t usArrived) {
  uint32_t ulComplete = 0;
  PollSequence(&ulComplete);
  if (ulComplete != 0) usStep = usArrived;
}

bool PositionerRecord::IsTimedOut() const { return g_MsTimer.NowMs() - ulStartMs > ulTimeoutMs; }

bool PositionerRecord::PauseOver(uint32_t ulMs) const {
  return g_MsTimer.ElapsedMs16(ulStartMs, g_MsTimer.NowMs()) >= ulMs;
}

int32_t FinishPositionerStep(int32_t lResult, bool bFinished, PositionerRecord& rec, PositionerMotor& motor,
                             int32_t* plLatch, int32_t* plDone) {
  if (lResult != 0) {
    motor.Stop();
    *plLatch = 1;
    rec.usPosition = 0;
  }
  *plDone = bFinished ? 1 : 0;
  return lResult;
}

void BrakeAtTarget(PositionerRecord& rec, PositionerMotor& motor) {
  motor.Brake();
  rec.usStep = POS_STEP_IDLE;
  rec.usPosition = rec.usTarget;
}

int32_t StopPositioner(PositionerRecord& rec, PositionerMotor& motor) {
  motor.Stop();
  if (rec.usTarget != rec.usPosition) rec.usPosition = 0;
  return 0;
}

void PausePositioner(PositionerRecord& rec, PositionerMotor& motor) {
  motor.Brake();
  rec.Restart();
  rec.usStep = POS_STEP_PAUSE;
}

uint32_t ScreenRequest(const ScreenMove* pRows, uint32_t ulRows, uint32_t ulPosition) {
  for (uint32_t i = 0; i < ulRows; ++i) {
    if (pRows[i].usAt == ulPosition) return pRows[i].usRequest;
  }
  return 0;
}

int32_t ReadStableOn(CDigitalSensor* pSensor, uint32_t* pulOn) {
  uint32_t ulLevel = 0;
  const int32_t lResult = pSensor->ReadStable(&ulLevel);
  if (lResult != 0) return lResult;
  *pulOn = ulLevel == 1 ? 1u : 0u;
  return 0;
}

bool ReadsOn(CDigitalSensor* pSensor) {
  uint32_t ulLevel = 0;
  return pSensor->Read(&ulLevel) == 0 && ulLevel == 1;
}

int32_t CheckSensorLevel(CDigitalSensor* pSensor, uint32_t ulLevel, uint32_t ulErrorIndex) {
  uint32_t ulOn = 0;
  const int32_t lResult = ReadStableOn(pSensor, &ulOn);
  if (lResult != 0) return lResult;
  if (ulOn == ulLevel) return 0;
  g_ErrorMng.SetError(ulErrorIndex);
  return -1;
}

void ShowPositionTexts(const PositionTexts* pRows, uint32_t ulRows, uint32_t ulPosition) {
  const PositionTexts* pShown = nullptr;
  for (uint32_t i = 0; i < ulRows; ++i) {
    if (pRows[i].usPosition == ulPosition) pShown = &pRows[i];
    if (pShown == nullptr && pRows[i].usPosition == kOtherPosition) pShown = &pRows[i];
  }
  if (pShown == nullptr) return;
  for (const ScreenText& text : pShown->aText) {
    if (text.pszText != nullptr) {
      g_Lcd.WriteText(text.pszText, text.ucColumn, static_cast<uint32_t>(std::strlen(text.pszText)));
    }
  }
}

int32_t RunPositionerScreen(const PositionerScreen& screen, void* pOwner, int32_t* plLatch) {
  const int32_t lSavedLatch = *plLatch;
  *plLatch = 0;
  g_Lcd.WriteLine(screen.pszTitle);
  for (;;) {
    screen.pfnShow(pOwner);
    uint32_t ulKey = KEY_NONE;
    while (g_KeyMng.WaitKey(1, &ulKey) != 1) {
    }
    if (ulKey == KEY_ENTER) screen.pfnEnter(pOwner);
    if (ulKey == KEY_CLEAR) break;
  }
  *plLatch = lSavedLatch;
  return 0;
}
