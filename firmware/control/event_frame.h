// The dispatch frame shared by every printer state: each state tests its
// events in its own fixed order and runs the handler of the first pending
// one; its one-pass policy then decides which one-pass events survive the
// pass. The orders and policies are rows of one table; the steps a state
// adds between handlers are written around the frame in the state itself.
#pragma once

#include <cstdint>

enum class FrameKind : uint8_t {
  // Pre-heat stopped and the power-save countdown cancelled at the start of
  // every pass.
  Attention,
  // The ready states A and C: every handler is wrapped in that stop and a
  // re-armed countdown instead.
  Idle,
};

enum class RoundPolicy : uint8_t {
  ClearEveryPass,  // ClearRoundEvents at the end of every pass
  ClearWhenIdle,   // at the end of a pass in which nothing was handled
  Keep,            // never cleared by the state
  ClearList,       // the fixed list of the jam and cover states
};

enum EventStateRowId : uint8_t {
  ROW_READY_A,
  ROW_READY_B,
  ROW_READY_C,
  ROW_PRE_READY,
  ROW_READY_LOAD,
  ROW_NO_PAPER,
  ROW_LOAD_FAIL,
  ROW_PAP_REMOVE,
  ROW_HALF_ROLL_BACK,
  ROW_NO_RIBBON,
  ROW_JAM,
  ROW_COVER_OPEN,
  ROW_PAPER_COVER_OPEN,
  ROW_C_ERROR,
  ROW_H_ERROR,
  ROW_M_ERROR,
  EVENT_STATE_ROWS,
};

constexpr uint32_t EVENT_ORDER_MAX = 12;

struct EventStateRow {
  FrameKind eFrame;
  RoundPolicy ePolicy;
  // The argument of the refused-key blink: 1 also watches the covers.
  uint8_t ucBlinkCovers;
  // The mode passed to the ribbon initialisation.
  uint8_t ucRibbonMode;
  // One-pass events whose handler is preceded by ClearRoundEvents (bits).
  uint32_t ulClearBefore;
  // The Menu key's handler; null: the service mode's menu.
  int32_t (*pfnMenu)();
  uint8_t ucCount;
  uint8_t aucOrder[EVENT_ORDER_MAX];
};

extern const EventStateRow g_EventStateRows[EVENT_STATE_ROWS];

// The events the jam and cover states clear at the end of every pass.
extern const uint8_t g_aucEventClearList[9];

// The paper-end follow-up of the handlers that move paper: PaperEndAction
// when EV_PAPER_END is set.
int32_t RunPaperEndFollowUp();
