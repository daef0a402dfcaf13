// Placeholder of the USB task's command layer.
#include "firmware/hostif/host_command_interface.h"
#include "firmware/platform/placeholder.h"

void UsbPoll() {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "UsbPoll (USB-task command layer)");
}
