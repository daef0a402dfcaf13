// The cover stages of the idle supervision: each cover raises its error
// when it reads open and clears it once it has read closed on every pass
// for more than 1000 ms after its last open reading.
#include <initializer_list>

#include "firmware/control/error_manager.h"
#include "firmware/control/event_states.h"
#include "firmware/control/idle_supervisor.h"
#include "firmware/mechanism/abort_check_inputs.h"
#include "firmware/control/power_save.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/settings.h"
#include "firmware/platform/time_base.h"
#include "firmware/sequences/event_actions.h"

namespace {

constexpr uint32_t kCoverClosedMs = 1000;
constexpr int32_t kRollBackRolled = 2;

void FrontCoverRaised() { g_PowerSave.SetCoverRequest(1); }
void FrontCoverCleared() {
  g_PowerSave.SetCoverRequest(0);
  g_pCurEventMng->SetEvent(EV_INIT_MECHA);
}

void UpperCoverRaised(uint32_t ulRibbonEmpty, uint32_t ulIncorrectRibbon) {
  for (uint32_t ulIndex : {ulRibbonEmpty, ulIncorrectRibbon, static_cast<uint32_t>(erridx::kRibbonMismatch)}) {
    g_ErrorMng.ClearError(ulIndex);
  }
}
void UpperCoverCleared(uint32_t ulUnitBit) {
  g_ulRibbonCheckPending |= ulUnitBit;
  for (uint32_t ulEvent : {EV_INIT_RIBBON, EV_LOAD_PAPER, EV_RELOAD_PAPER1}) g_pCurEventMng->SetEvent(ulEvent);
}
void UpperCoverLRaised() { UpperCoverRaised(erridx::kRibbonEmptyL, erridx::kIncorrectRibL); }
void UpperCoverRRaised() { UpperCoverRaised(erridx::kRibbonEmptyR, erridx::kIncorrectRibR); }
void UpperCoverLCleared() { UpperCoverCleared(1); }
void UpperCoverRCleared() { UpperCoverCleared(2); }

}  // namespace

// The cover table and the steps every cover goes through.
struct CoverSupervision {
  struct Cover {
    CDigitalSensor* pSensor;
    uint32_t ulOpenReading;
    uint32_t ulErrorIndex;
    uint32_t CIdleSupervisor::*pTime;
    bool bSkipInPowerSave;
    void (*pfnRaised)();
    void (*pfnCleared)();
  };

  static constexpr Cover kFront = {&g_SensorFrontCover, 0, 0x0607, &CIdleSupervisor::m_ulFrontCoverTime, false,
                                   FrontCoverRaised, FrontCoverCleared};
  static constexpr Cover kSideL = {&g_SensorSideCoverL, 1, 0x0601, &CIdleSupervisor::m_ulSideCoverLTime, true,
                                   nullptr, nullptr};
  static constexpr Cover kSideR = {&g_SensorSideCoverR, 1, 0x0602, &CIdleSupervisor::m_ulSideCoverRTime, true,
                                   nullptr, nullptr};
  static constexpr Cover kUpperL = {&g_SensorUpperCoverL, 1, 0x0603, &CIdleSupervisor::m_ulUpperCoverLTime,
                                    false, UpperCoverLRaised, UpperCoverLCleared};
  static constexpr Cover kUpperR = {&g_SensorUpperCoverR, 1, 0x0604, &CIdleSupervisor::m_ulUpperCoverRTime,
                                    false, UpperCoverRRaised, UpperCoverRCleared};
  static constexpr Cover kPaper = {&g_SensorPaperCover, 1, 0x0605, &CIdleSupervisor::m_ulPaperCoverTime, true,
                                   nullptr, nullptr};
  static constexpr Cover kGuide = {&g_SensorPaperGuide, 0, 0x0606, &CIdleSupervisor::m_ulPaperGuideTime, true,
                                   nullptr, nullptr};

  static bool Skipped(const Cover& c) { return c.bSkipInPowerSave && g_ulPowerSaveActive == 1; }

  // A read that fails is no fresh reading: the cover's state stays as it
  // was (its sensor has raised its own error).
  static void Check(CIdleSupervisor& self, const Cover& c) {
    uint32_t& ulTime = self.*c.pTime;
    uint32_t ulLevel = 0;
    const uint32_t ulNow = g_MsTimer.NowMs();
    if (IsErrorRaised(c.ulErrorIndex)) {
      if (c.pSensor->ReadStable(&ulLevel) != 0) return;
      if (ulLevel == c.ulOpenReading) {
        ulTime = ulNow;
      } else if (g_MsTimer.ElapsedMs16(ulTime, ulNow) > kCoverClosedMs) {
        g_ErrorMng.ClearError(c.ulErrorIndex);
        self.m_ulCoverOpened = 0;
        if (c.pfnCleared != nullptr) c.pfnCleared();
      }
      return;
    }
    if (c.pSensor->ReadStable(&ulLevel) != 0 || ulLevel != c.ulOpenReading) return;
    g_ErrorMng.SetError(c.ulErrorIndex);
    // Stamped at once: the cover clears only 1000 ms after this reading.
    ulTime = ulNow;
    if (c.pfnRaised != nullptr) c.pfnRaised();
  }

  // The front and paper covers while the roll is being exchanged.
  static void RollBack(CIdleSupervisor& self, const Cover& c) {
    uint32_t ulLevel = 0;
    if (c.pSensor->ReadStable(&ulLevel) != 0) return;
    const bool bRolledBack = SettingValue(g_ParamRollBackFlag) == kRollBackRolled;
    if (ulLevel == c.ulOpenReading) {
      g_ErrorMng.ClearError(erridx::kPaperEmpty);
      if (bRolledBack) {
        g_ErrorMng.ClearError(erridx::kIncorrectPaper);
        self.m_ulRollbackCoverOpened = 1;
      }
    } else if (self.m_ulRollbackCoverOpened != 0) {
      self.m_ulRollbackCoverOpened = 0;
      if (bRolledBack) {
        g_ErrorMng.SetError(erridx::kReadyLoading);
        g_ErrorMng.ClearError(erridx::kLoadPaper);
      }
    }
  }
};

int32_t CIdleSupervisor::CheckFrontCover() {
  CoverSupervision::Check(*this, CoverSupervision::kFront);
  CoverSupervision::RollBack(*this, CoverSupervision::kFront);
  return 0;
}

int32_t CIdleSupervisor::CheckSideCovers() {
  for (const CoverSupervision::Cover* pCover : {&CoverSupervision::kSideL, &CoverSupervision::kSideR}) {
    if (!CoverSupervision::Skipped(*pCover)) CoverSupervision::Check(*this, *pCover);
  }
  return 0;
}

int32_t CIdleSupervisor::CheckUpperCovers() {
  CoverSupervision::Check(*this, CoverSupervision::kUpperL);
  CoverSupervision::Check(*this, CoverSupervision::kUpperR);
  return 0;
}

int32_t CIdleSupervisor::CheckPaperCover() {
  if (CoverSupervision::Skipped(CoverSupervision::kPaper)) return 0;
  CoverSupervision::Check(*this, CoverSupervision::kPaper);
  CoverSupervision::RollBack(*this, CoverSupervision::kPaper);
  return 0;
}

int32_t CIdleSupervisor::CheckPaperGuide() {
  if (!CoverSupervision::Skipped(CoverSupervision::kGuide)) CoverSupervision::Check(*this, CoverSupervision::kGuide);
  return 0;
}

// The abort check's view of the covers.
int32_t ReadCoverSensor(CoverSensor eSensor, uint32_t* pulReading) {
  static constexpr CDigitalSensor* kSensors[] = {&g_SensorFrontCover, &g_SensorSideCoverL, &g_SensorSideCoverR,
                                                 &g_SensorPaperCover, &g_SensorPaperGuide, &g_SensorUpperCoverL,
                                                 &g_SensorUpperCoverR};
  if (eSensor >= sizeof kSensors / sizeof kSensors[0]) return -1;
  return kSensors[eSensor]->ReadStable(pulReading);
}
