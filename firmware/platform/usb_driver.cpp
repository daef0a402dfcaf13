// The USB device controller driver's entry points: what the system-device
// call reaches for the codes 35 to 44.
#include "firmware/platform/usb_driver.h"

#include "firmware/platform/usb_bulk_out.h"
#include "firmware/platform/usb_controller.h"
#include "firmware/platform/usb_descriptor_store.h"
#include "firmware/platform/usb_endpoint0.h"

int32_t UsbDrvOpen(uint32_t* pulHandle) {
  int32_t lResult = 0;
  if (UsbPhyPowerUp() != 0) {
    lResult = -1;
  } else if (UsbSetupEndpoints() != 0) {
    lResult = -2;
  } else if (UsbSetupDma() != 0) {
    lResult = -3;
  } else {
    UsbEp0Reset();
    if (UsbSetupInterrupts() != 0) lResult = -4;
  }
  // Not connected yet: the host sees the printer only from IoctlConnectUsb.
  if (pulHandle != nullptr) *pulHandle = lResult == 0 ? USB_DRIVER_HANDLE : 0;
  return lResult;
}

int32_t UsbDrvClose(uint32_t ulHandle) {
  if (ulHandle != USB_DRIVER_HANDLE) return -1;
  UsbSoftDisconnect();
  if (UsbFlushEndpoints() != 0) return -3;
  if (UsbDisableInterrupts() != 0) return -4;
  return 0;
}

int32_t UsbDrvPoll(uint32_t ulHandle, uint32_t* pulFlag) {
  if (ulHandle != USB_DRIVER_HANDLE) {
    if (pulFlag != nullptr) *pulFlag = 0;
    return -1;
  }
  return UsbPollRx(pulFlag) != 0 ? -2 : 0;
}

int32_t UsbDrvRead(uint32_t ulHandle, uint8_t* pucBuffer, uint16_t* pusLength) {
  if (ulHandle != USB_DRIVER_HANDLE) {
    if (pusLength != nullptr) *pusLength = 0;
    return -1;
  }
  return UsbCopyCommand(pucBuffer, pusLength) != 0 ? -2 : 0;
}

int32_t UsbDrvWrite(uint32_t ulHandle, const uint8_t* pucBuffer, uint32_t ulLength) {
  if (ulHandle != USB_DRIVER_HANDLE) return -1;
  return UsbBulkInWrite(USB_EP_BULK_IN, pucBuffer, ulLength) != 0 ? -2 : 0;
}

int32_t UsbDrvControl(uint32_t ulHandle, uint32_t ulSubCode, IoctlWord* pArgs) {
  if (ulHandle != USB_DRIVER_HANDLE) return -1;
  switch (ulSubCode) {
    case USB_CTRL_CONNECT:
      return UsbSoftConnect();
    case USB_CTRL_DISCONNECT:
      return UsbSoftDisconnect();
    case USB_CTRL_BULK_RX_STATUS: {
      uint32_t ulRunning = 0;
      const int32_t lResult = UsbGetRxRunning(&ulRunning);
      if (pArgs != nullptr) pArgs[0] = ulRunning;
      return lResult;
    }
    case USB_CTRL_START_BULK_RX:
      if (pArgs == nullptr) return -1;
      return UsbStartBulkRx(static_cast<PhysAddr>(pArgs[0]), static_cast<uint32_t>(pArgs[1]));
    case USB_CTRL_SET_DESCRIPTOR:
      if (pArgs == nullptr) return -1;
      return UsbSetDescriptor(static_cast<uint32_t>(pArgs[0]), reinterpret_cast<const uint8_t*>(pArgs[2]),
                              static_cast<uint32_t>(pArgs[1]));
    default:
      return -3;
  }
}
