// The USB0 controller inside the driver: bring-up (PHY, module enable,
// endpoints, interrupts), connect and disconnect, the bulk IN path, and the
// endpoint register operations that the endpoint-0 requests use. Only the
// driver's own files include this header; the rest of the firmware reaches
// the driver through usb_driver.h.
#pragma once

#include <cstdint>

// Directions of an endpoint operation.
constexpr uint32_t USB_DIR_OUT = 0;
constexpr uint32_t USB_DIR_IN = 1;

// Endpoints of the printer interface.
constexpr uint32_t USB_EP_BULK_IN = 1;   // 0x81, replies
constexpr uint32_t USB_EP_BULK_OUT = 2;  // 0x02, commands and bulk data

// Time-outs of the hardware handshakes and of a bulk IN packet (ms).
constexpr uint32_t USB_HANDSHAKE_TIMEOUT_MS = 10000;
constexpr uint32_t USB_PHY_RESET_MS = 1000;
constexpr uint32_t USB_DETACH_MS = 1500;
constexpr uint32_t USB_BULK_IN_TIMEOUT_MS = 10000;
constexpr uint32_t USB_BULK_IN_POLL_MS = 2;

// Kernel time in ms.
uint32_t UsbNowMs();
// Busy wait of ulMs of kernel time.
void UsbDelayMs(uint32_t ulMs);

// ---- bring-up ----------------------------------------------------------------------
int32_t UsbPhyPowerUp();
int32_t UsbPscEnable();
int32_t UsbSetupEndpoints();
int32_t UsbSetupEndpoint(uint32_t ulEp, uint32_t ulDir);
int32_t UsbSetupInterrupts();
int32_t UsbDisableInterrupts();

// Interrupt enables: the core's enable bit and the wrapper's mask together.
void UsbEnableTxInterrupt(uint32_t ulEp);
void UsbDisableTxInterrupt(uint32_t ulEp);
void UsbEnableRxInterrupt(uint32_t ulEp);
void UsbDisableRxInterrupt(uint32_t ulEp);
// ulIndex 0-7 stands for INTRUSBE bits 7 down to 0.
void UsbEnableBusInterrupt(uint32_t ulIndex);
void UsbDisableBusInterrupt(uint32_t ulIndex);

// ---- connect, disconnect, bulk IN ------------------------------------------------------
int32_t UsbSoftConnect();
int32_t UsbSoftDisconnect();
// Sends ulLength bytes on endpoint ulEp (1-4) in packets of its maximum size,
// ending with a zero-length packet when the last one was full. 0, or -1 when
// a packet was not taken within USB_BULK_IN_TIMEOUT_MS or VBUS went away.
int32_t UsbBulkInWrite(uint32_t ulEp, const uint8_t* pucBuffer, uint32_t ulLength);
// Drops what the FIFO of the endpoint holds (both halves when
// double-buffered).
int32_t UsbFlushFifo(uint32_t ulEp, uint32_t ulDir);
int32_t UsbFlushEndpoints();
bool UsbVbusPresent();

// ---- endpoint operations (endpoints 1-4; 3 and 4 are accepted and left alone) -----
// Read-modify-writes of an endpoint's control and status register that
// never write back an action bit; interrupts are masked around them, as the
// endpoint-0 interrupt changes the same registers.
void UsbModifyTxCsr(uint32_t ulEp, uint16_t usClear, uint16_t usSet);
void UsbModifyRxCsr(uint32_t ulEp, uint16_t usClear, uint16_t usSet);
int32_t UsbStallEndpoint(uint32_t ulEp);
// Clears the halt and resets the data toggle: after CLEAR_FEATURE(ENDPOINT_HALT)
// the host sends and expects DATA0.
int32_t UsbClearEndpointStall(uint32_t ulEp);
int32_t UsbGetEndpointHalt(uint32_t ulEp, uint32_t* pulHalt);
int32_t UsbSetAddress(uint32_t ulAddress);
int32_t UsbSetBulkPacketSize(uint32_t ulSize);
bool UsbIsHighSpeed();
