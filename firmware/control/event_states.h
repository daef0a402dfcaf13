// The sixteen printer states. Each serves the events of its own order in
// the dispatch frame; the state selection points g_pCurEventMng at one of
// them, and the main loop dispatches it once per pass.
#pragma once

#include <cstdint>

#include "firmware/control/event_frame.h"
#include "firmware/control/event_set.h"

// A state whose pass is the frame over its row: attention or idle start,
// the first pending event of its order, its one-pass policy.
class CEventMngFramed : public CEventMng {
 public:
  constexpr CEventMngFramed() = default;
  CEventMngFramed(GlobalBuild build, EventStateRowId eRow) : CEventMng(build), m_eRow(eRow) {}
  int32_t Dispatch() override;

 protected:
  ~CEventMngFramed() = default;
  const EventStateRow& Row() const { return g_EventStateRows[m_eRow]; }
  // The frame's steps, for states that add their own between them.
  void StartFrame() const;
  // Tests the events of the row from position ulFrom on while nothing was
  // handled; returns the new handled flag.
  uint32_t ServeEvents(uint32_t ulHandled, uint32_t ulFrom = 0) const;
  // Runs the handler of one event, wrapped as the frame kind wants.
  void RunHandler(uint32_t ulEvent) const;
  void ApplyRoundPolicy(uint32_t ulHandled);
  int32_t EndPass(uint32_t ulHandled);

  EventStateRowId m_eRow = ROW_READY_A;
};

// Ready state A: the ordinary idle state. Serves the keys and the host's
// deferred actions, prepares the paper path for a queued job, keeps the
// heads pre-heated, counts the power-save time and runs a ribbon check
// after a long idle time.
class CEventMngReadyA final : public CEventMngFramed {
 public:
  constexpr CEventMngReadyA() = default;
  explicit CEventMngReadyA(GlobalBuild build) : CEventMngFramed(build, ROW_READY_A) {}
  int32_t OnEnter() override;
  int32_t Dispatch() override;

  // The Menu key of ready states A and C.
  static int32_t ServeMenuKeyA();
  static int32_t ServeMenuKeyC();

  static constexpr uint32_t kIdlePeriods = 360;
  static constexpr uint32_t kPreheatWindowSec = 29;

 private:
  friend struct ReadyAStateAccess;  // tests look at the timers
  uint32_t LongIdleCheck();
  void PreheatStep();

  uint32_t m_ulIdlePeriod = 0;
  uint32_t m_ulPeriodsLeft = 0;
  uint32_t m_ulPeriodStart = 0;
  uint32_t m_ulPreheatStart = 0;
  uint16_t m_usPreheatStopped = 0;
};

// Ready state B: prints the prepared job.
class CEventMngReadyB final : public CEventMngFramed {
 public:
  constexpr CEventMngReadyB() = default;
  explicit CEventMngReadyB(GlobalBuild build) : CEventMngFramed(build, ROW_READY_B) {}
  int32_t OnEnter() override;
  int32_t Dispatch() override;
};

// Ready state C: like A, without job preparation and long-idle check.
class CEventMngReadyC final : public CEventMngFramed {
 public:
  constexpr CEventMngReadyC() = default;
  explicit CEventMngReadyC(GlobalBuild build) : CEventMngFramed(build, ROW_READY_C) {}
  int32_t OnEnter() override;
  int32_t Dispatch() override;
};

// The paper-handling and error states: the common entry and their rows.
#define BOM_FRAMED_STATE(Name, eRow)                                             \
  class Name final : public CEventMngFramed {                                    \
   public:                                                                       \
    constexpr Name() = default;                                                  \
    explicit Name(GlobalBuild build) : CEventMngFramed(build, eRow) {}           \
    int32_t OnEnter() override;                                                  \
  }
BOM_FRAMED_STATE(CEventMngPreReady, ROW_PRE_READY);
BOM_FRAMED_STATE(CEventMngReadyLoad, ROW_READY_LOAD);
BOM_FRAMED_STATE(CEventMngNoPaper, ROW_NO_PAPER);
BOM_FRAMED_STATE(CEventMngLoadFail, ROW_LOAD_FAIL);
BOM_FRAMED_STATE(CEventMngPapRemove, ROW_PAP_REMOVE);
BOM_FRAMED_STATE(CEventMngHalfRollBack, ROW_HALF_ROLL_BACK);
BOM_FRAMED_STATE(CEventMngNoRibbon, ROW_NO_RIBBON);
BOM_FRAMED_STATE(CEventMngJam, ROW_JAM);
BOM_FRAMED_STATE(CEventMngCoverOpen, ROW_COVER_OPEN);
BOM_FRAMED_STATE(CEventMngPaperCoverOpen, ROW_PAPER_COVER_OPEN);
BOM_FRAMED_STATE(CEventMngCError, ROW_C_ERROR);
BOM_FRAMED_STATE(CEventMngHError, ROW_H_ERROR);
BOM_FRAMED_STATE(CEventMngMError, ROW_M_ERROR);
#undef BOM_FRAMED_STATE

extern CEventMngReadyB g_EventMngReadyB;
extern CEventMngReadyC g_EventMngReadyC;
extern CEventMngReadyA g_EventMngReadyA;
extern CEventMngPreReady g_EventMngPreReady;
extern CEventMngReadyLoad g_EventMngReadyLoad;
extern CEventMngNoPaper g_EventMngNoPaper;
extern CEventMngNoRibbon g_EventMngNoRibbon;
extern CEventMngJam g_EventMngJam;
extern CEventMngCoverOpen g_EventMngCoverOpen;
extern CEventMngPaperCoverOpen g_EventMngPaperCoverOpen;
extern CEventMngCError g_EventMngCError;
extern CEventMngHError g_EventMngHError;
extern CEventMngMError g_EventMngMError;
extern CEventMngPapRemove g_EventMngPapRemove;
extern CEventMngHalfRollBack g_EventMngHalfRollBack;
extern CEventMngLoadFail g_EventMngLoadFail;
