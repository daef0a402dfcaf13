// Placeholder of the mechanism home and ribbon drive actions and of the
// engine variants' mechanism and main-pinch initialisations: nothing moves, and switching everything off stops the positioners built so far,
// so an aborted step leaves no positioner's motor running. The system reset does what it will do: the host is answered, the
// LCD says so and the main loop ends.
#include "firmware/control/engine_variant.h"
#include "firmware/control/event_set.h"
#include "firmware/control/host_command_poll.h"
#include "firmware/control/lcd.h"
#include "firmware/devices/main_loop_stop.h"
#include "firmware/hostif/shmem_usb.h"
#include "firmware/hostif/usb_comm.h"
#include "firmware/mechanism/cutter.h"
#include "firmware/mechanism/feed_pinch.h"
#include "firmware/mechanism/main_pinch.h"
#include "firmware/mechanism/path_select.h"
#include "firmware/mechanism/rotation_lock.h"
#include "firmware/mechanism/simple_positioners.h"
#include "firmware/platform/placeholder.h"
#include "firmware/platform/time_base.h"
#include "firmware/sequences/action_results_placeholder.h"
#include "firmware/sequences/event_actions.h"
#include "firmware/sequences/mechanism_init.h"
#include "firmware/sequences/ribbon_winding.h"

uint32_t g_ulUnitsPrinted;
uint32_t g_ulRibbonCheckPending = 3;
// The ribbon drive sets no lead-in yet.
uint32_t g_ulRibDummyLines;

namespace {
bool s_bLogged;
void Note() { LogPlaceholderOnce(s_bLogged, "mechanism home and ribbon drive actions"); }
}  // namespace

int32_t MechaAllOff() {
  Note();
  ++g_PlaceholderActionResults.ulMechaAllOffRuns;
  g_HeadLiftL.Stop();
  g_HeadLiftR.Stop();
  g_pProllMain->Stop();
  g_LoadPinch.Stop();
  g_RotationLock.Stop();
  g_PathSelect.Stop();
  g_pProllFeed->Stop();
  g_EjectPinch.Stop();
  g_Cutter.Stop();
  g_LoadBar.Stop();
  return g_PlaceholderActionResults.lMechaAllOff;
}

int32_t RestoreMechaHome() {
  Note();
  return g_PlaceholderActionResults.lRestoreMechaHome;
}

int32_t InitializeMecha() {
  Note();
  ++g_PlaceholderActionResults.ulInitializeMechaRuns;
  ClearActionEvents({EV_INIT_MECHA});
  return g_PlaceholderActionResults.lInitializeMecha;
}

int32_t Wait24VSupply() {
  Note();
  return 0;
}

int32_t SystemResetAction() {
  usb_comm::regist_txreq_code(APPMSG_RESET);
  PollHostCommands();
  MechaAllOff();
  g_Lcd.WriteText("System reset... ", 0, 16);
  g_MsTimer.WaitMs(1000);
  RequestSystemReset();
  ClearActionEvents({EV_SYSTEM_RESET});
  return 0;
}

int32_t JamEjectAction() {
  Note();
  ClearActionEvents({EV_EJECT_JAM});
  return 0;
}

int32_t ReadyBPrepareAction() {
  Note();
  return 0;
}

int32_t TakeUpRibbonSlack(uint32_t, uint32_t, uint32_t) {
  Note();
  ++g_PlaceholderActionResults.ulTakeUpSlackRuns;
  return 0;
}

int32_t InitMechaEM2() {
  Note();
  return 0;
}

int32_t InitMechaEM3() {
  Note();
  return 0;
}

int32_t InitMainPinchEM2(uint32_t, uint32_t) {
  Note();
  return 0;
}

int32_t InitMainPinchEM3(uint32_t, uint32_t) {
  Note();
  return 0;
}
