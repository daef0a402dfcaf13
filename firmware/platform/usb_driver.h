// The USB device controller driver's entry points, as the system-device call
// reaches them. Results are signed 32-bit, 0 on success; every entry refuses
// a handle other than USB_DRIVER_HANDLE with -1.
#pragma once

#include <cstdint>

#include "firmware/platform/ioctl_word.h"

constexpr uint32_t USB_DRIVER_HANDLE = 0x00005542u;

// Sub-codes of UsbDrvControl.
constexpr uint32_t USB_CTRL_CONNECT = 0;
constexpr uint32_t USB_CTRL_DISCONNECT = 1;
constexpr uint32_t USB_CTRL_BULK_RX_STATUS = 2;
constexpr uint32_t USB_CTRL_START_BULK_RX = 3;
constexpr uint32_t USB_CTRL_SET_DESCRIPTOR = 4;

int32_t UsbDrvOpen(uint32_t* pulHandle);
int32_t UsbDrvClose(uint32_t ulHandle);
int32_t UsbDrvPoll(uint32_t ulHandle, uint32_t* pulFlag);
int32_t UsbDrvRead(uint32_t ulHandle, uint8_t* pucBuffer, uint16_t* pusLength);
int32_t UsbDrvWrite(uint32_t ulHandle, const uint8_t* pucBuffer, uint32_t ulLength);
// pArgs: the sub-code's argument words (Connect/Disconnect: none; bulk-receive
// status: word 0 out; start bulk receive: word 0 destination, word 1 byte
// count; set descriptor: word 0 kind, word 1 length, word 2 pointer).
int32_t UsbDrvControl(uint32_t ulHandle, uint32_t ulSubCode, IoctlWord* pArgs);

// Set to 1 when a large bulk receive was abandoned after 30 s without
// progress; cleared when the next one starts. The print-data and
// update-data handlers read and clear it.
extern uint32_t g_ulUsbRxAbandoned;

// The slots of the driver's descriptor store that IOCTL_USB_SET_DESCRIPTOR
// fills, with the most bytes each takes. A string record is {text length in
// bytes, string index 1-5, UTF-16LE text}; the device ID is a 16-bit
// big-endian length that counts itself, then the IEEE 1284 text. Kinds 13
// and above are refused.
enum UsbDescriptorKind : uint32_t {
  USB_DESC_DEVICE = 0,         // 18
  USB_DESC_QUALIFIER = 1,      // 10
  USB_DESC_HS_CONFIG = 2,      // 9: the configuration header
  USB_DESC_HS_INTERFACE = 3,   // 9
  USB_DESC_HS_EP_OUT = 4,      // 7: bulk OUT 0x02
  USB_DESC_HS_EP_IN = 5,       // 7: bulk IN 0x81
  USB_DESC_FS_CONFIG = 6,      // 9
  USB_DESC_FS_INTERFACE = 7,   // 9
  USB_DESC_FS_EP_OUT = 8,      // 7
  USB_DESC_FS_EP_IN = 9,       // 7
  USB_DESC_STRING = 10,        // 256 each, strings 1-5
  USB_DESC_DEVICE_ID = 11,     // 256
  USB_DESC_SPARE = 12,         // 3, kept and never sent
  USB_DESC_KIND_COUNT = 13,
};
