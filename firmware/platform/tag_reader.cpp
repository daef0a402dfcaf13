#include "firmware/platform/tag_reader.h"

#include <algorithm>
#include <cstring>

#include "firmware/platform/fpga_regs.h"
#include "firmware/platform/soft_timer.h"

namespace {

constexpr uint16_t kStatusStart = 0x0001;
constexpr uint16_t kStatusDone = 0x0002;
constexpr uint16_t kStatusReplyReady = 0x0008;
constexpr uint16_t kStatusBit8 = 0x0100;
constexpr uint16_t kModeBit1 = 0x0002;
constexpr uint16_t kModeBit2 = 0x0004;
constexpr uint16_t kModeBit3 = 0x0008;

constexpr uint32_t kSettleMs = 10;
constexpr uint32_t kFlagTimeoutMs = 1000;
constexpr uint32_t kIrqStatusReads = 10;
constexpr uint32_t kCommandAttempts = 10;
// Bits of the interrupt status that a clean exchange leaves 0.
constexpr uint32_t kIrqStatusErrors = 0xFD;

constexpr uint8_t kChipRead = 0x40;
constexpr uint8_t kChipContinuous = 0x20;
constexpr uint8_t kChipRegisterMask = 0x1F;
// A continuous read of the FIFO.
constexpr uint8_t kFifoRead = kChipRead | kChipContinuous | TAG_CHIP_FIFO;

// The head of every frame for a tag: reset the FIFO, transmit with CRC, a
// continuous write from register 29 (the transmit length, then the FIFO).
constexpr uint8_t kFrameHead[] = {0x8F, 0x91, 0x3D, 0x00};
constexpr uint32_t kFrameHeadBytes = sizeof kFrameHead;
// The end-of-frame pulse a write with the option flag waits for.
constexpr uint8_t kEndOfFrame[] = {0x8F, 0x94, 0x00};

// What a command's answer looks like: the FIFO status it leaves, how its
// FIFO is read (two parts into one buffer) and how many bytes of the second
// part are the result.
struct TagReply {
  uint8_t ucFifoStatus;
  uint8_t ucFirstPart;
  uint8_t ucSecondPart;
  uint8_t ucResultBytes;
};
constexpr TagReply kInventoryReply = {0x69, 3, 9, TAG_UID_BYTES};
constexpr TagReply kBlockReply = {0x24, 2, 5, TAG_BLOCK_BYTES};
constexpr TagReply kBlockGroupReply = {0x20 + 4, 2, 5, TAG_BLOCK_BYTES};

// The two parts' FIFO reads store whole words into one buffer: the first
// part's bytes rounded up to even, then the second part's from the first
// part's end (overwriting the first part's spare byte), rounded likewise.
constexpr uint32_t ReplyBufferBytes(const TagReply& r) {
  return std::max(TagFifoBytesStored(r.ucFirstPart), r.ucFirstPart + TagFifoBytesStored(r.ucSecondPart));
}
constexpr uint32_t kReplyBufferBytes =
    std::max({ReplyBufferBytes(kInventoryReply), ReplyBufferBytes(kBlockReply), ReplyBufferBytes(kBlockGroupReply)});
static_assert(kInventoryReply.ucResultBytes <= kInventoryReply.ucSecondPart);
static_assert(kBlockReply.ucResultBytes <= kBlockReply.ucSecondPart);
static_assert(kBlockGroupReply.ucResultBytes <= kBlockGroupReply.ucSecondPart);

// Busy-waits ulMs on the soft timer.
void WaitMs(uint32_t ulMs) {
  StartSoftTimer(SOFT_TIMER_WAIT, ulMs);
  while (IsSoftTimerRunning(SOFT_TIMER_WAIT) != 0) {
  }
}

int32_t Modify(uint32_t ulAddress, uint16_t usClear, uint16_t usSet) {
  uint16_t usValue = 0;
  g_FpgaMain.Read(ulAddress, &usValue);
  g_FpgaMain.Write(ulAddress, static_cast<uint16_t>((usValue & ~usClear) | usSet));
  return 0;
}

int32_t WaitStatus(uint16_t usMask) {
  StartSoftTimer(SOFT_TIMER_WAIT, kFlagTimeoutMs);
  for (;;) {
    uint16_t usStatus = 0;
    g_FpgaMain.Read(TAG_BRIDGE_STATUS, &usStatus);
    if ((usStatus & usMask) != 0) return 0;
    if (IsSoftTimerRunning(SOFT_TIMER_WAIT) == 0) return -1;
  }
}

// Loads bytes into the transmit words, two per word.
void LoadTx(const uint8_t* pucBytes, uint32_t ulLength) {
  for (uint32_t i = 0; i < ulLength; i += 2) {
    const uint16_t usHigh = i + 1 < ulLength ? pucBytes[i + 1] : 0;
    g_FpgaMain.Write(TAG_BRIDGE_TX + i, static_cast<uint16_t>(pucBytes[i] | usHigh << 8));
  }
}

// A read transfer of ulLength bytes started by one address byte.
int32_t StartRead(uint8_t ucAddress, uint32_t ulLength) {
  g_FpgaMain.Write(TAG_BRIDGE_TX, ucAddress);
  TagSetTxLength(ulLength);
  TagSetModeRead();
  TagStartTransfer();
  if (TagWaitDone() != 0) return -1;
  return TagWaitIrq();
}

// Step 1 of a command: the frame goes out.
int32_t SendFrame(const uint8_t* pucFrame, uint32_t ulLength) {
  LoadTx(pucFrame, ulLength);
  TagSetTxLength(ulLength);
  TagSetModeCommand();
  TagStartTransfer();
  return TagWaitDone();
}

// Step 2: the interrupt status reads clean within 10 reads.
bool IrqStatusClean() {
  for (uint32_t i = 0; i < kIrqStatusReads; ++i) {
    if ((TagReadRegister(TAG_CHIP_IRQ_STATUS) & kIrqStatusErrors) == 0) return true;
  }
  return false;
}

// A frame for a tag: the head, the transmit length and the request.
struct TagFrame {
  uint8_t aucBytes[TAG_BRIDGE_TX_BYTES];
  uint32_t ulLength;
};

TagFrame BuildFrame(const uint8_t* pucRequest, uint32_t ulRequestBytes) {
  TagFrame frame{};
  std::memcpy(frame.aucBytes, kFrameHead, kFrameHeadBytes);
  frame.aucBytes[kFrameHeadBytes] = static_cast<uint8_t>(ulRequestBytes << 4);
  std::memcpy(&frame.aucBytes[kFrameHeadBytes + 1], pucRequest, ulRequestBytes);
  frame.ulLength = kFrameHeadBytes + 1 + ulRequestBytes;
  return frame;
}

int32_t SendRequest(const uint8_t* pucRequest, uint32_t ulRequestBytes) {
  const TagFrame frame = BuildFrame(pucRequest, ulRequestBytes);
  return SendFrame(frame.aucBytes, frame.ulLength);
}

// A command with a reply: up to 10 attempts until the FIFO status is the
// expected one, then the two-part FIFO read; the result is the start of the
// second part.
int32_t RequestWithReply(const uint8_t* pucRequest, uint32_t ulRequestBytes, const TagReply& reply, uint8_t* pucOut) {
  bool bAnswered = false;
  for (uint32_t ulAttempt = 0; ulAttempt < kCommandAttempts && !bAnswered; ++ulAttempt) {
    if (SendRequest(pucRequest, ulRequestBytes) != 0) return -1;
    if (!IrqStatusClean()) return -1;
    bAnswered = TagReadRegister(TAG_CHIP_FIFO_STATUS) == reply.ucFifoStatus;
  }
  if (!bAnswered) return -1;
  uint8_t aucFifo[kReplyBufferBytes] = {};
  if (TagReadFifo(aucFifo, reply.ucFirstPart) != 0) return -1;
  if (TagReadFifo(&aucFifo[reply.ucFirstPart], reply.ucSecondPart) != 0) return -1;
  std::memcpy(pucOut, &aucFifo[reply.ucFirstPart], reply.ucResultBytes);
  TagReadRegister(TAG_CHIP_TX_LENGTH2);
  return 0;
}

}  // namespace

// ---- bridge primitives ----

int32_t TagSetTxLength(uint32_t ulLength) {
  g_FpgaMain.Write(TAG_BRIDGE_TX_LENGTH, static_cast<uint16_t>(ulLength));
  return 0;
}

int32_t TagSetModeWrite() { return Modify(TAG_BRIDGE_MODE, kModeBit3, kModeBit1 | kModeBit2); }
int32_t TagSetModeCommand() { return Modify(TAG_BRIDGE_MODE, 0, kModeBit1 | kModeBit2 | kModeBit3); }
int32_t TagSetModeRead() { return Modify(TAG_BRIDGE_MODE, kModeBit2, kModeBit1 | kModeBit3); }
int32_t TagSetModeIdle() { return Modify(TAG_BRIDGE_MODE, kModeBit2 | kModeBit3, kModeBit1); }

int32_t TagStartTransfer() {
  Modify(TAG_BRIDGE_STATUS, kStatusStart | kStatusDone | kStatusBit8, 0);
  Modify(TAG_BRIDGE_STATUS, 0, kStatusStart);
  WaitMs(kSettleMs);
  return 0;
}

int32_t TagWaitDone() { return WaitStatus(kStatusDone); }
int32_t TagWaitIrq() { return WaitStatus(kStatusReplyReady); }

int32_t TagWriteRegister(uint32_t ulRegister, uint32_t ulValue) {
  g_FpgaMain.Write(TAG_BRIDGE_TX, static_cast<uint16_t>((ulValue << 8) | (ulRegister & kChipRegisterMask)));
  TagSetTxLength(2);
  TagSetModeWrite();
  TagStartTransfer();
  return TagWaitDone();
}

uint32_t TagReadRegister(uint32_t ulRegister) {
  if (StartRead(static_cast<uint8_t>(kChipRead | kChipContinuous | (ulRegister & kChipRegisterMask)), 2) != 0) {
    return TAG_READ_TIMEOUT;
  }
  uint16_t usWord = 0;
  g_FpgaMain.Read(TAG_BRIDGE_RX, &usWord);
  return usWord & 0xFFu;
}

int32_t TagReadFifo(uint8_t* pucBuffer, uint32_t ulLength) {
  if (StartRead(kFifoRead, ulLength) != 0) return -1;
  for (uint32_t i = 0; i < TagFifoBytesStored(ulLength); i += 2) {
    uint16_t usWord = 0;
    g_FpgaMain.Read(TAG_BRIDGE_RX + i, &usWord);
    pucBuffer[i] = static_cast<uint8_t>(usWord);
    pucBuffer[i + 1] = static_cast<uint8_t>(usWord >> 8);
  }
  return 0;
}

// ---- set-up ----

int32_t InitRFTag() {
  TagWriteRegister(0, 0x20);
  TagWriteRegister(1, 0x02);
  TagWriteRegister(7, 0x2F);
  return TagWriteRegister(8, 0x1F);
}

// ---- tag commands ----

int32_t TagInventory(uint8_t* pucUid) {
  // One slot, high data rate; no mask.
  const uint8_t aucRequest[] = {0x26, 0x01, 0x00};
  return RequestWithReply(aucRequest, sizeof aucRequest, kInventoryReply, pucUid);
}

int32_t TagReadBlock(uint32_t ulBlock, uint8_t* pucData) {
  const uint8_t aucRequest[] = {0x02, 0x20, static_cast<uint8_t>(ulBlock)};
  return RequestWithReply(aucRequest, sizeof aucRequest, kBlockReply, pucData);
}

int32_t TagWriteBlock(uint32_t ulBlock, const uint8_t* pucData) {
  const uint8_t aucRequest[] = {0x42, 0x21, static_cast<uint8_t>(ulBlock), pucData[0], pucData[1], pucData[2], pucData[3]};
  if (SendRequest(aucRequest, sizeof aucRequest) != 0) return -1;
  if (!IrqStatusClean()) return -1;
  WaitMs(kSettleMs);
  // The end-of-frame pulse: a bridge that never finishes it, or a chip that
  // reports an error after it, fails the write.
  if (SendFrame(kEndOfFrame, sizeof kEndOfFrame) != 0) return -1;
  return (TagReadRegister(TAG_CHIP_IRQ_STATUS) & kIrqStatusErrors) == 0 ? 0 : -1;
}

int32_t TagLockBlock(uint32_t ulBlock) {
  const uint8_t aucRequest[] = {0x40, 0x22, static_cast<uint8_t>(ulBlock)};
  if (SendRequest(aucRequest, sizeof aucRequest) != 0) return -1;
  return IrqStatusClean() ? 0 : -1;
}

int32_t TagReadMultipleBlocks(uint32_t ulFirst, uint8_t* pucOut) {
  // Four blocks from ulFirst (the count is sent less one).
  const uint8_t aucRequest[] = {0x02, 0x2C, static_cast<uint8_t>(ulFirst), 0x03};
  return RequestWithReply(aucRequest, sizeof aucRequest, kBlockGroupReply, pucOut);
}

int32_t TagReadBlockGroups(uint8_t* pucOut) {
  for (uint32_t i = 0; i < TAG_BLOCK_GROUPS; ++i) {
    if (TagReadMultipleBlocks(4 * i, &pucOut[TAG_BLOCK_BYTES * i]) != 0) return -1;
  }
  return 0;
}
