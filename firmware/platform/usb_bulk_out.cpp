// Bulk OUT by the CPPI 4.1 DMA: set-up, the one receive descriptor, command
// packets and large receives.
#include "firmware/platform/usb_bulk_out.h"

#include "firmware/hal/hw.h"
#include "firmware/hal/kernel.h"
#include "firmware/platform/usb_controller.h"
#include "firmware/platform/usb_driver.h"
#include "firmware/platform/usb_endpoint0.h"
#include "firmware/platform/usb_registers.h"
#include "protocol/wire.h"

uint32_t g_ulUsbRxAbandoned;

namespace {

constexpr uint32_t kDescriptorRetries = 11;
constexpr uint32_t kCountMask = 0x3FFFFFu;
// Word 2 of the descriptor: return information, bit 14 set, return queue 28.
constexpr uint32_t kReturnInfo = 0x0000401Cu;
constexpr uint32_t kTeardownTimeoutMs = 10;

UsbRxState s_RxState;

uint32_t PopQueue(uint32_t ulQueue) { return HwRead32(UsbQueueCtrlD(ulQueue)); }

uint32_t CompletedLength() {
  const uint32_t ulLength = HwRead32(USB_RX_DESCRIPTOR + 3 * 4) & kCountMask;
  // The engine never fills past the armed length; a descriptor that says
  // more is read as full.
  return ulLength > s_RxState.ulArmedLength ? s_RxState.ulArmedLength : ulLength;
}

// Pops a queue until it is empty; true when the receive descriptor was in it.
bool DrainQueue(uint32_t ulQueue) {
  bool bFound = false;
  for (;;) {
    const uint32_t ulValue = PopQueue(ulQueue);
    if (ulValue < QUEUE_EMPTY_LIMIT) return bFound;
    if ((ulValue & QUEUE_ADDRESS_MASK) == USB_RX_DESCRIPTOR) bFound = true;
  }
}

// Takes the receive descriptor back from the queue manager so that it can
// be rewritten: from the completion queue (1, its byte count in
// *pulLength), from the free queue (0: still armed, nothing received), or,
// while the engine is filling it, by tearing the channel down (1, the bytes
// it held). -1 when it could not be had back.
int32_t ReclaimDescriptor(uint32_t* pulLength) {
  *pulLength = 0;
  if (s_RxState.ulQueued == 0) return 0;
  int32_t lResult = 0;
  if (DrainQueue(USB_RX_COMPLETION_QUEUE)) {
    *pulLength = CompletedLength();
    lResult = 1;
  } else if (!DrainQueue(USB_RX_FREE_QUEUE)) {
    HwWrite32(USB_RXGCR1, RXGCR1_VALUE | RXGCR_TEARDOWN);
    const uint32_t ulStart = UsbNowMs();
    while ((HwRead32(USB_RXGCR1) & RXGCR_ENABLE) != 0 && UsbNowMs() - ulStart <= kTeardownTimeoutMs) {
      CpuRelax();
    }
    const bool bBack = DrainQueue(USB_RX_COMPLETION_QUEUE);
    HwWrite32(USB_RXGCR1, RXGCR1_VALUE);
    if (!bBack) {
      syslog(LOG_ERROR, "[USB] receive descriptor lost");
      return -1;
    }
    *pulLength = CompletedLength();
    lResult = 1;
  }
  s_RxState.ulQueued = 0;
  return lResult;
}

// Arms the command buffer for the next command (or the rest of one), when
// nothing else owns the descriptor.
void ArmCommand() {
  UsbRxState& s = s_RxState;
  if (s.ulRunning != 0 || s.ulCommandWaiting != 0 || s.ulQueued != 0) return;
  UsbQueueRxDescriptor(USB_COMMAND_BUFFER + s.ulGathered, USB_COMMAND_BUFFER_BYTES - s.ulGathered);
}

uint32_t BulkOutMaxPacket() {
  const uint32_t ulMax = HwRead16(UsbEpReg(USB_EP_BULK_OUT, EP_RXMAXP)) & 0x7FFu;
  return ulMax != 0 ? ulMax : USB_COMMAND_BUFFER_BYTES;
}

// The command is complete: it waits to be read.
void DeliverCommand(uint32_t* pulFlag) {
  UsbRxState& s = s_RxState;
  s.ulCommandLength = s.ulGathered;
  s.ulCommandWaiting = 1;
  s.ulGathered = 0;
  *pulFlag = 1;
}

// Accounts one completed packet of a command.
void TakeCommandPiece(uint32_t ulLength, uint32_t* pulFlag) {
  UsbRxState& s = s_RxState;
  s.ulGathered += ulLength;
  s.ulGatherSince = s.ulNow;
  if (s.ulGathered == 0) return;  // a zero-length packet between commands
  bool bEnd = ulLength < BulkOutMaxPacket() || s.ulGathered >= USB_COMMAND_BUFFER_BYTES;
  if (!bEnd && s.ulGathered >= protocol::COMMAND_HEADER_SIZE) {
    const uint32_t ulPayload = HwRead8(USB_COMMAND_BUFFER + 2) | (HwRead8(USB_COMMAND_BUFFER + 3) << 8);
    bEnd = s.ulGathered >= protocol::COMMAND_HEADER_SIZE + ulPayload;
  }
  if (bEnd) DeliverCommand(pulFlag);
}

}  // namespace

const UsbRxState& UsbGetRxState() { return s_RxState; }

int32_t UsbEnableEpDma(uint32_t ulEp, uint32_t ulDir) {
  if (ulEp < 1 || ulEp > 4 || ulDir > USB_DIR_IN) return -1;
  if (ulDir == USB_DIR_OUT) {
    UsbModifyRxCsr(ulEp, RXCSR_DMAREQMODE | RXCSR_AUTOCLEAR, RXCSR_DMAREQENAB);
  } else {
    UsbModifyTxCsr(ulEp, TXCSR_DMAREQMODE, TXCSR_DMAREQENAB);
  }
  return 0;
}

int32_t UsbDisableEpDma(uint32_t ulEp, uint32_t ulDir) {
  if (ulEp < 1 || ulEp > 4 || ulDir > USB_DIR_IN) return -1;
  if (ulDir == USB_DIR_OUT) {
    UsbModifyRxCsr(ulEp, RXCSR_DMAREQENAB, 0);
  } else {
    UsbModifyTxCsr(ulEp, TXCSR_DMAREQMODE | TXCSR_DMAREQENAB, 0);
  }
  return 0;
}

int32_t UsbSetupDma() {
  s_RxState = UsbRxState{};
  HwWrite32(USB_CTRLR, HwRead32(USB_CTRLR) & ~CTRLR_RNDIS);
  HwWrite32(USB_MODE, 0);  // every endpoint transparent
  HwWrite32(USB_LRAM0BASE, USB_LINKING_RAM);
  HwWrite32(USB_LRAM0SIZE, (HwRead32(USB_LRAM0SIZE) & ~0x3FFFu) | USB_LINKING_RAM_ENTRIES);
  HwWrite32(USB_QMEMRBASE1, USB_RX_DESCRIPTOR);
  uint32_t ulCtrl = HwRead32(USB_QMEMRCTRL1);
  ulCtrl &= ~(7u | (0xFu << 8) | (0x3FFFu << 16));
  ulCtrl |= QMEMRCTRL1_REGION_SIZE_CODE;  // 32-byte descriptors from index 0
  HwWrite32(USB_QMEMRCTRL1, ulCtrl);
  HwWrite32(USB_DMA_SCHED_WORD0, DMA_SCHED_WORD0_VALUE);
  HwWrite32(USB_DMA_SCHED_CTRL, (HwRead32(USB_DMA_SCHED_CTRL) & ~0xFFu) | DMA_SCHED_ENABLE | DMA_SCHED_LAST_ENTRY);
  for (uint32_t i = 0; i < 4; ++i) HwRead32(USB_FDBSC0 + 4 * i);
  HwWrite32(USB_RXHPCRA1, 0);
  HwWrite32(USB_RXHPCRB1, 0);
  HwWrite32(USB_RXGCR1, RXGCR1_VALUE);
  UsbDisableEpDma(USB_EP_BULK_IN, USB_DIR_IN);
  UsbDisableEpDma(USB_EP_BULK_OUT, USB_DIR_OUT);
  ArmCommand();
  return 0;
}

int32_t UsbQueueRxDescriptor(PhysAddr ulBuffer, uint32_t ulLength) {
  UsbRxState& s = s_RxState;
  s.ulQueued = 1;
  s.ulArmedBuffer = ulBuffer;
  s.ulArmedLength = ulLength;
  // Pieces of 64 KB gather their packets (generic RNDIS); shorter ones end
  // with every packet (transparent).
  if (ulLength >= USB_RX_PIECE_MAX) {
    HwWrite32(USB_GENRNDISSZ2, ulLength & GENRNDISSZ_MASK);
    HwWrite32(USB_MODE, MODE_GENERIC_RNDIS << MODE_RX2_SHIFT);
  } else {
    HwWrite32(USB_MODE, MODE_TRANSPARENT << MODE_RX2_SHIFT);
  }
  const uint32_t aulWords[USB_RX_DESCRIPTOR_WORDS] = {0, 0, kReturnInfo, ulLength & kCountMask, ulBuffer, 0,
                                                      ulLength & kCountMask, ulBuffer};
  for (uint32_t ulAttempt = 0; ulAttempt < kDescriptorRetries; ++ulAttempt) {
    for (uint32_t i = 0; i < USB_RX_DESCRIPTOR_WORDS; ++i) HwWrite32(USB_RX_DESCRIPTOR + 4 * i, aulWords[i]);
    bool bSame = true;
    for (uint32_t i = 0; i < USB_RX_DESCRIPTOR_WORDS; ++i) {
      if (HwRead32(USB_RX_DESCRIPTOR + 4 * i) != aulWords[i]) bSame = false;
    }
    if (bSame) break;
  }
  HwWrite32(UsbQueueCtrlD(USB_RX_FREE_QUEUE), USB_RX_DESCRIPTOR | DESCRIPTOR_SIZE_CODE_32);
  return 0;
}

int32_t UsbStartBulkRx(PhysAddr ulDestination, uint32_t ulCount) {
  UsbRxState& s = s_RxState;
  g_ulUsbRxAbandoned = 0;
  s.ulNow = UsbNowMs();
  // Take the command arming back first: the descriptor is armed once only.
  uint32_t ulLength = 0;
  const int32_t lReclaimed = ReclaimDescriptor(&ulLength);
  if (lReclaimed < 0) return -1;
  if (lReclaimed == 1 && s.ulRunning == 0) {
    // A packet reached the command buffer since the last poll.
    uint32_t ulFlag = 0;
    TakeCommandPiece(ulLength, &ulFlag);
  }
  if (s.ulGathered != 0) {
    syslog(LOG_WARNING, "[USB] incomplete command dropped (%d bytes)", s.ulGathered);
    s.ulGathered = 0;
  }
  s.ulDestination = ulDestination;
  s.ulRemaining = ulCount;
  if (ulCount == 0) {
    s.ulRunning = 0;
    ArmCommand();
    return 0;
  }
  UsbQueueRxDescriptor(ulDestination, ulCount < USB_RX_PIECE_MAX ? ulCount : USB_RX_PIECE_MAX);
  s.ulRunning = 1;
  s.ulLastProgress = s.ulNow;
  return 0;
}

int32_t UsbGetRxRunning(uint32_t* pulRunning) {
  if (pulRunning != nullptr) *pulRunning = s_RxState.ulRunning;
  return 0;
}

int32_t UsbAdvanceRx(uint32_t ulCount) {
  UsbRxState& s = s_RxState;
  int32_t lResult = 0;
  if (ulCount <= s.ulRemaining) {
    s.ulDestination += ulCount;
    s.ulRemaining -= ulCount;
  } else {
    s.ulRemaining = 0;
    lResult = -1;
  }
  if (s.ulRemaining == 0) {
    s.ulRunning = 0;
    ArmCommand();
  }
  return lResult;
}

int32_t UsbAbandonRx() {
  UsbRxState& s = s_RxState;
  uint32_t ulLength = 0;
  ReclaimDescriptor(&ulLength);
  s.ulQueued = 0;
  syslog(LOG_WARNING, "[USB] bulk receive abandoned, %d bytes missing", s.ulRemaining);
  UsbAdvanceRx(s.ulRemaining);
  g_ulUsbRxAbandoned = 1;
  return 0;
}

int32_t UsbPollRx(uint32_t* pulFlag) {
  UsbRxState& s = s_RxState;
  uint32_t ulFlag = 0;
  UsbEp0Watchdog();
  s.ulNow = UsbNowMs();
  if (s.ulRunning != 0) {
    uint32_t ulLength = 0;
    for (;;) {
      const uint32_t ulValue = PopQueue(USB_RX_COMPLETION_QUEUE);
      if (ulValue < QUEUE_EMPTY_LIMIT) break;
      if ((ulValue & QUEUE_ADDRESS_MASK) != USB_RX_DESCRIPTOR) continue;
      ulLength = CompletedLength();
      if (s.ulQueued != 0) s.ulQueued = 0;
    }
    if (s.ulQueued != 0) {
      if (s.ulNow - s.ulLastProgress > USB_RX_ABANDON_MS) UsbAbandonRx();
    } else {
      UsbAdvanceRx(ulLength);
      if (s.ulRunning != 0) {
        uint32_t ulPiece = USB_RX_PIECE_MAX;
        if (s.ulRemaining < USB_RX_PIECE_MAX) {
          // The tail goes packet by packet, never armed past what remains.
          ulPiece = s.ulRemaining < USB_RX_TAIL_PIECE ? s.ulRemaining : USB_RX_TAIL_PIECE;
        }
        UsbQueueRxDescriptor(s.ulDestination, ulPiece);
      }
      s.ulLastProgress = UsbNowMs();
    }
  } else if (s.ulQueued != 0 && (HwRead32(USB_PEND0) & (1u << USB_RX_COMPLETION_QUEUE)) != 0) {
    bool bMine = false;
    for (;;) {
      const uint32_t ulValue = PopQueue(USB_RX_COMPLETION_QUEUE);
      if (ulValue < QUEUE_EMPTY_LIMIT) break;
      if ((ulValue & QUEUE_ADDRESS_MASK) == USB_RX_DESCRIPTOR) bMine = true;
    }
    if (bMine) {
      s.ulQueued = 0;
      TakeCommandPiece(CompletedLength(), &ulFlag);
    }
  } else if (s.ulGathered != 0 && s.ulNow - s.ulGatherSince > USB_COMMAND_GATHER_MS) {
    // The host stopped in the middle of a command: hand over what came.
    uint32_t ulLength = 0;
    if (ReclaimDescriptor(&ulLength) == 1) s.ulGathered += ulLength;
    DeliverCommand(&ulFlag);
  }
  ArmCommand();  // whenever the descriptor is free and nothing waits
  if (s.ulCommandWaiting != 0) ulFlag = 1;
  if (pulFlag != nullptr) *pulFlag = ulFlag;
  return 0;
}

int32_t UsbCopyCommand(uint8_t* pucBuffer, uint16_t* pusLength) {
  UsbRxState& s = s_RxState;
  if (pucBuffer == nullptr || s.ulCommandWaiting == 0) {
    if (pusLength != nullptr) *pusLength = 0;
    return -1;
  }
  const uint32_t ulLength =
      s.ulCommandLength > USB_COMMAND_BUFFER_BYTES ? USB_COMMAND_BUFFER_BYTES : s.ulCommandLength;
  HwReadBlock(USB_COMMAND_BUFFER, pucBuffer, ulLength);
  if (pusLength != nullptr) *pusLength = static_cast<uint16_t>(ulLength);
  s.ulCommandWaiting = 0;
  ArmCommand();
  return 0;
}
