// The small paper-side actions of the printer states: a jammed sheet fed
// out of the path, the host's printer reset, and the ready-B preparation.
#include "firmware/control/event_set.h"
#include "firmware/control/lcd.h"
#include "firmware/devices/main_loop_stop.h"
#include "firmware/devices/paper_position.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/stepper.h"
#include "firmware/hostif/shmem_usb.h"
#include "firmware/hostif/usb_cmd_blocks.h"
#include "firmware/hostif/usb_comm.h"
#include "firmware/mechanism/sensor_feeds.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/mechanism/unit_moves.h"
#include "firmware/platform/time_base.h"
#include "firmware/sequences/event_actions.h"
#include "firmware/sequences/jam_eject_and_reset.h"
#include "protocol/codes.h"

namespace {

// The sheet's tail must reach "Position" within 1597 + 120 lines; it is then
// fed 2530 lines further, clear of the path.
constexpr uint32_t kJamLimitLines = 1597 + 120;
constexpr uint32_t kJamExtraLines = 2530;
constexpr uint32_t kJamErrorIndex = 0x152E;
constexpr uint32_t kPaperGone = 0;
constexpr uint32_t kForward = 0;
constexpr uint32_t kHaltBoth = 1;
constexpr uint32_t kUp = 1;

enum JamStep : uint32_t { JAM_START = 0, JAM_PINCH_UP = 1000, JAM_LENGTHS = 1010, JAM_FEED = 1110, JAM_STOP = 9910 };

}  // namespace

int32_t JamEjectSequence(uint32_t ulMask) {
  return RunSteps(JAM_START, SEQ_STEP_ERROR, ulMask, [ulMask](SeqStepState& s) -> uint32_t {
    switch (s.ulStep) {
      case JAM_START:
        s.lResult = g_PaperPosition.Reset(0);
        return JAM_PINCH_UP;
      case JAM_PINCH_UP:
        s.lResult = MoveMainPinch(kUp, ulMask);
        return JAM_LENGTHS;
      case JAM_LENGTHS:
        return JAM_FEED;
      case JAM_FEED:
        s.lResult = FeedToSensor(&g_AdPosition, kForward, kPaperGone, kJamLimitLines, kJamErrorIndex, kHaltBoth,
                                 kJamExtraLines, ulMask);
        return SEQ_STEP_ERROR;
      case SEQ_STEP_ERROR: {
        const int32_t lUp = MoveMainPinch(kUp, ulMask);
        if (s.lResult == 0) s.lResult = lUp;
        return JAM_STOP;
      }
      case JAM_STOP:
        g_StpmtrMain.Stop();
        g_StpmtrSub.Stop();
        return SEQ_STEP_END;
      case SEQ_STEP_END:
        return SEQ_STEP_END;
      default:
        s.lResult = -1;
        return SEQ_STEP_END;
    }
  });
}

int32_t JamEjectAction() {
  g_Lcd.WriteText("Jam Ejecting    ", 0, 16);
  const int32_t lResult = JamEjectSequence(SEQ_CHECK_HOST | SEQ_CHECK_COVERS);
  MechaAllOff();
  if (lResult != 0) RestoreMechaHome();
  g_pCurEventMng->ClearEvent(EV_EJECT_JAM);
  return lResult;
}

int32_t SystemResetSequence() {
  MechaAllOff();
  g_Lcd.WriteText("System reset... ", 0, 16);
  g_MsTimer.WaitMs(1000);
  RequestSystemReset();
  return 0;
}

int32_t SystemResetAction() {
  ResetBlock* pBlock = nullptr;
  usb_comm_get_reset_block(&pBlock);
  if (pBlock != nullptr) {
    pBlock->ucResult = 0;
    pBlock->ucKind = protocol::RESET_KIND_PRINTER;
    pBlock->ucArgument = 0;
  }
  usb_comm::regist_txreq_code(APPMSG_RESET);
  usb_comm_poll();
  SystemResetSequence();
  g_pCurEventMng->ClearEvent(EV_SYSTEM_RESET);
  return 0;
}

int32_t ReadyBPrepareSequence(uint32_t) { return 0; }

int32_t ReadyBPrepareAction() {
  const int32_t lResult = ReadyBPrepareSequence(SEQ_CHECK_HOST | SEQ_CHECK_COVERS);
  if (lResult != 0) {
    MechaAllOff();
    RestoreMechaHome();
  }
  return lResult;
}
