// Placeholder of the USB device controller driver: opens, never sees a
// packet, accepts what it is given.
#include "firmware/platform/placeholder.h"
#include "firmware/platform/usb_driver.h"

namespace {
bool s_bLogged;
void Note() { LogPlaceholderOnce(s_bLogged, "USB device controller driver"); }
}  // namespace

int32_t UsbDrvOpen(uint32_t* pulHandle) {
  Note();
  if (pulHandle != nullptr) *pulHandle = USB_DRIVER_HANDLE;
  return 0;
}

int32_t UsbDrvClose(uint32_t ulHandle) { return ulHandle == USB_DRIVER_HANDLE ? 0 : -1; }

int32_t UsbDrvPoll(uint32_t ulHandle, uint32_t* pulFlag) {
  if (pulFlag != nullptr) *pulFlag = 0;
  return ulHandle == USB_DRIVER_HANDLE ? 0 : -1;
}

int32_t UsbDrvRead(uint32_t ulHandle, uint8_t*, uint16_t* pusLength) {
  if (pusLength != nullptr) *pusLength = 0;
  return ulHandle == USB_DRIVER_HANDLE ? -2 : -1;
}

int32_t UsbDrvWrite(uint32_t ulHandle, const uint8_t*, uint32_t) { return ulHandle == USB_DRIVER_HANDLE ? 0 : -1; }

int32_t UsbDrvControl(uint32_t ulHandle, uint32_t ulSubCode, IoctlWord* pArgs) {
  if (ulHandle != USB_DRIVER_HANDLE) return -1;
  if (ulSubCode == USB_CTRL_BULK_RX_STATUS && pArgs != nullptr) pArgs[0] = 0;
  return ulSubCode <= USB_CTRL_SET_DESCRIPTOR ? 0 : -3;
}
