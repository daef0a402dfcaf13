// Everything the host sends on the bulk OUT endpoint 2 arrives by the
// controller's CPPI 4.1 DMA through one receive descriptor: command packets
// into the 512-byte command buffer, and the raw data after a Print or
// Update command into a destination, in pieces of at most 64 KB. The USB
// task polls for arrivals every 2 ms; a large receive without progress for
// 30 s is abandoned.
//
// A command is delivered as one transfer at either speed: the packets of
// one command are gathered in the command buffer until a short packet ends
// the transfer, the buffer is full, or the bytes cover the length the
// command's own header announces. A command cut short by the host is
// delivered as it is after USB_COMMAND_GATHER_MS without a further packet.
// While a command waits to be read the command buffer is not armed, so the
// host is NAKed and the waiting command cannot be overwritten.
//
// Only the driver's files include this header.
#pragma once

#include <cstdint>

#include "firmware/hal/hw.h"

constexpr uint32_t USB_RX_PIECE_MAX = 65536;
constexpr uint32_t USB_RX_TAIL_PIECE = 512;
constexpr uint32_t USB_RX_ABANDON_MS = 30000;
constexpr uint32_t USB_COMMAND_GATHER_MS = 500;

// The receive state (cleared at set-up).
struct UsbRxState {
  PhysAddr ulDestination;     // where the next piece of a large receive goes
  uint32_t ulRemaining;       // bytes still expected
  uint32_t ulRunning;         // 1 while a large receive runs
  uint32_t ulQueued;          // 1 while the descriptor is armed or being filled
  uint32_t ulLastProgress;    // kernel ms of the start or of the last completed piece
  uint32_t ulNow;             // kernel ms of the latest check
  uint32_t ulCommandLength;   // length of the waiting command (at most 512)
  uint32_t ulCommandWaiting;  // 1 while a command waits to be read
  PhysAddr ulArmedBuffer;     // what the descriptor was armed with
  uint32_t ulArmedLength;
  uint32_t ulGathered;        // bytes of a command gathered so far
  uint32_t ulGatherSince;     // kernel ms of the last packet of that command
};

int32_t UsbSetupDma();
int32_t UsbQueueRxDescriptor(PhysAddr ulBuffer, uint32_t ulLength);
int32_t UsbStartBulkRx(PhysAddr ulDestination, uint32_t ulCount);
int32_t UsbGetRxRunning(uint32_t* pulRunning);
int32_t UsbPollRx(uint32_t* pulFlag);
int32_t UsbCopyCommand(uint8_t* pucBuffer, uint16_t* pusLength);
int32_t UsbAdvanceRx(uint32_t ulCount);
int32_t UsbAbandonRx();
int32_t UsbEnableEpDma(uint32_t ulEp, uint32_t ulDir);
int32_t UsbDisableEpDma(uint32_t ulEp, uint32_t ulDir);

// The receive state, for the driver's tests.
const UsbRxState& UsbGetRxState();
