// Placeholder of the application's I/O shut-down: nothing is closed yet.
#include "firmware/devices/main_loop_stop.h"
#include "firmware/platform/placeholder.h"

int32_t ShutdownApplicationIo() {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "ShutdownApplicationIo (application I/O shut-down)");
  return 0;
}
