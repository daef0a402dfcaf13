// Placeholder of the application start-up and main loop: it idles as the
// main loop would, never blocking and never returning.
#include "firmware/control/app_startup.h"
#include "firmware/hal/hw.h"
#include "firmware/platform/placeholder.h"

void AppTaskMain() {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "AppTaskMain (application start-up and main loop)");
  for (;;) CpuRelax();
}
