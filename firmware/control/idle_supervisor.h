// The main loop and its idle supervisor: each pass polls the machine
// through the supervisor's stages (covers, paper, host commands, queued
// jobs, panel keys, fans, thermistors, ribbon slack), re-selects the
// printer state and lets it serve at most one pending event.
#pragma once

#include <cstdint>

#include "firmware/platform/global_build.h"

// The service mode chosen by the start-up window or a held key
// combination: 0 User Mode, 1 Diagnostics, 2 System Setup, 3 Maintenance,
// 4 density set-up, 5 Factory Mode.
extern uint16_t g_usServiceMode;

// A key chord that chooses a service mode (at idle, and at start-up all but
// User Mode's): its key code, the text shown when it is chosen, the mode.
struct ServiceModeChord {
  uint32_t ulKey;
  const char* pszText;
  uint16_t usMode;
};
// The chord of key code ulKey, or nullptr.
const ServiceModeChord* FindServiceModeChord(uint32_t ulKey);

class CIdleSupervisor {
 public:
  constexpr CIdleSupervisor() = default;
  explicit CIdleSupervisor(GlobalBuild);

  // The stages of the cover, paper, fan, thermistor and slack supervision.
  int32_t CheckFrontCover();
  int32_t CheckSideCovers();
  int32_t CheckUpperCovers();
  int32_t CheckPaperCover();
  int32_t CheckPaperGuide();
  int32_t CheckPaperPresence();
  int32_t ControlFansL();
  int32_t ControlFansR();
  int32_t CheckThermistorRange();
  // The paper-empty check of the sequences' abort check (not a loop stage):
  // mode 1 marks the paper end, mode 2 the same or, with the ribbon-control
  // engine, the current unit's paper-end jam. Returns the sensor's result.
  int32_t CheckPaperEmptySensor(uint32_t ulMode);

  // Sets the print events while a job is ready (or, for merged sheets, can
  // be merged).
  int32_t CheckJobPending();
  // The panel keys at idle.
  int32_t HandlePanelKeys();
  // Chooses the current printer state from the errors and events.
  int32_t SelectEventState();

  // Asks for a state selection at the next pass.
  int32_t RequestStateUpdate();
  // The Clear key is ignored for 1000 ms after a menu ends.
  int32_t StartMenuKeyGuard();
  int32_t SetCoverOpenedFlag();
  int32_t ClearCoverOpenedFlag();
  int32_t GetCoverOpenedFlag(uint32_t* pulValue) const;
  // 1 suspends the automatic fan control of the unit, 0 resumes it.
  int32_t SuspendFanControlL(uint32_t ulValue);
  int32_t SuspendFanControlR(uint32_t ulValue);

  uint32_t UpdateRequested() const { return m_ulUpdateRequest; }
  uint32_t FanSuspendedL() const { return m_ulFanSuspendL; }
  uint32_t FanSuspendedR() const { return m_ulFanSuspendR; }
  uint16_t LastKeyCode() const { return m_usLastKeyCode; }
  uint32_t KeyComboStart() const { return m_ulKeyComboStart; }

 private:
  friend struct CoverSupervision;
  int32_t ControlFans(uint32_t ulUnit);
  int32_t HandleKey(uint32_t ulKey);
  int32_t HandleKeyCombination(uint32_t ulKey);

  // Fields in the machine's order; times are CMsTimer::NowMs values.
  uint32_t m_ulUpdateRequest = 0;
  uint32_t m_ulLastLowestError = 0;
  uint32_t m_ulClearKeyGuard = 0;
  uint32_t m_ulClearKeyGuardStart = 0;
  uint32_t m_ulSideCoverLTime = 0;
  uint32_t m_ulSideCoverRTime = 0;
  uint32_t m_ulUpperCoverLTime = 0;
  uint32_t m_ulUpperCoverRTime = 0;
  uint32_t m_ulCoverOpened = 0;
  uint32_t m_ulPaperCoverTime = 0;
  uint32_t m_ulPaperGuideTime = 0;
  uint32_t m_ulFrontCoverTime = 0;
  uint32_t m_ulFanSuspendL = 0;
  uint32_t m_ulFanSuspendR = 0;
  uint32_t m_ulRollbackCoverOpened = 0;
  uint16_t m_usLastKeyCode = 0;
  uint32_t m_ulKeyComboStart = 0;
};

extern CIdleSupervisor g_IdleSupervisor;

// The ribbon slack stage of the loop.
int32_t CheckSlackTakeUpCounts();

// The loop; returns when g_ulMainLoopStop is set, after the application's
// I/O is shut down.
int32_t MainLoop();
