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
