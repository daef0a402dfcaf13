// Placeholder of the jam eject, the system reset, the ready-B preparation
// and the ribbon slack take-up. The system reset does what it will do: the
// host is answered, the LCD says so and the main loop ends.
#include "firmware/control/event_set.h"
#include "firmware/control/host_command_poll.h"
#include "firmware/control/lcd.h"
#include "firmware/devices/main_loop_stop.h"
#include "firmware/hostif/shmem_usb.h"
#include "firmware/hostif/usb_comm.h"
#include "firmware/platform/placeholder.h"
#include "firmware/platform/time_base.h"
#include "firmware/sequences/action_results_placeholder.h"
#include "firmware/sequences/event_actions.h"
#include "firmware/sequences/ribbon_winding.h"

namespace {
bool s_bLogged;
void Note() { LogPlaceholderOnce(s_bLogged, "jam eject, ready-B preparation and ribbon slack take-up"); }
}  // namespace

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
