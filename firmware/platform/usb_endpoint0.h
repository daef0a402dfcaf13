// Endpoint 0 of the USB device: the control transfers of enumeration, the
// standard feature and status requests and the printer class's
// GET_DEVICE_ID, served from the USB0 interrupt (UsbDeviceInterrupt, in
// usb_device_interrupt.h). Only the driver's files include this header.
#pragma once

#include <cstdint>

// Stages of an endpoint-0 control transfer.
constexpr uint32_t USB_EP0_IDLE = 0;     // the next interrupt brings a SETUP packet
constexpr uint32_t USB_EP0_DATA_IN = 1;  // an IN data stage goes on packet by packet
constexpr uint32_t USB_EP0_STATUS = 3;   // the status stage was armed; the request's action waits for it
// A data or status stage that waits longer is aborted by the USB task's poll.
constexpr uint32_t USB_EP0_WATCHDOG_MS = 500;
constexpr uint32_t USB_EP0_PACKET = 64;

// A SETUP packet as received (fields as on the bus).
struct UsbSetupRecord {
  uint8_t ucRequestType;
  uint8_t ucRequest;
  uint16_t usValue;
  uint16_t usIndex;
  uint16_t usLength;
};

void UsbEp0Interrupt();
// Ends the control transfer in progress without a stall: flushes FIFO0 and
// returns to stage 0. Result -1.
int32_t UsbEp0Abort();
// The USB task's check of a data or status stage that waits too long, with
// the endpoint-0 interrupt masked.
void UsbEp0Watchdog();
// Back to stage 0 at open.
void UsbEp0Reset();
uint32_t UsbEp0Stage();
uint8_t UsbConfigurationValue();

// Endpoint-0 register operations (CSR0, COUNT0, FIFO0).
void UsbEp0ServicedRx(bool bDataEnd);
void UsbEp0WriteFifo(const uint8_t* pucData, uint32_t ulLength);
void UsbEp0TxReady(bool bDataEnd);
void UsbEp0Stall();
void UsbEp0ClearStall();
bool UsbEp0SentStall();
bool UsbEp0SetupEnd();
void UsbEp0ServiceSetupEnd();
void UsbEp0FlushFifo();
int32_t UsbReadSetupPacket(UsbSetupRecord* pSetup);
