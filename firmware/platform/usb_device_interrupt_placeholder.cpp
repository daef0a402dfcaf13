// Placeholder of the USB device controller's interrupt handler.
#include "firmware/platform/placeholder.h"
#include "firmware/platform/usb_device_interrupt.h"

void UsbDeviceInterrupt() {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "UsbDeviceInterrupt (USB device controller driver)");
}
