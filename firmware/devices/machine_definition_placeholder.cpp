// Placeholder of the machine definition: the one ordered construction list.
// Each global object that is built joins the list below, in machine order,
// until the full machine definition takes its place.
#include "firmware/devices/io_port.h"
#include "firmware/devices/machine_definition.h"
#include "firmware/hal/global.h"
#include "firmware/platform/fpga_regs.h"
#include "firmware/platform/placeholder.h"
#include "firmware/platform/system_init.h"
#include "firmware/platform/time_base.h"
#include "firmware/platform/us_timer.h"

void ConstructGlobals() {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "ConstructGlobals (machine definition)");

  // The early board start-up comes first: every later object that touches
  // the FPGA needs it configured.
  hal::ConstructGlobal(g_SystemInit, kGlobalBuild);

  // The FPGA's main block (its shadows are read from the configured FPGA)
  // and the time bases.
  hal::ConstructGlobal(g_FpgaMain, kGlobalBuild);
  hal::ConstructGlobal(g_MsTimer);
  hal::ConstructGlobal(g_UsTimer, kGlobalBuild);

  // The port registries, before any port.
  hal::ConstructGlobal(g_PortRegTableInWord);
  hal::ConstructGlobal(g_PortRegTableInLong);
  hal::ConstructGlobal(g_PortRegTableOutWord);
  hal::ConstructGlobal(g_PortRegTableOutLong);
}
