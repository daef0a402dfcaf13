// Placeholder of the address windows and the USB driver's opening.
#include "firmware/platform/address_windows.h"
#include "firmware/platform/placeholder.h"

int32_t InitDeviceWindows() {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "InitDeviceWindows (system-device call and address windows)");
  return 0;
}
