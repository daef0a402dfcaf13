// NOR flash erase and program with the AMD command set. Each operation's
// command words go out in one write batch, whose end word brings back the
// time the last command was written; the data word is then polled (DQ6
// toggling while busy, DQ5 when the part's own time limit passed, DQ7 data
// polling) against a 10-second guard.
//
// Whatever the outcome, an operation ends with the reset command: a part
// that gave up on an operation stays in status mode until it is reset, so
// without it a retry would not be taken and every later read of the flash
// would return status bits instead of data.
#include "firmware/platform/flash.h"

#include "firmware/platform/ioctl.h"
#include "firmware/platform/time_base.h"

namespace {

constexpr PhysAddr kFlashBase = 0x60000000u;
constexpr PhysAddr kFlashLast = 0x607FFFFFu;
constexpr uint32_t kUnlock1 = 0x0AAAu;
constexpr uint32_t kUnlock2 = 0x0554u;
constexpr uint16_t kCmdUnlock1 = 0xAAAAu;
constexpr uint16_t kCmdUnlock2 = 0x5555u;
constexpr uint16_t kCmdEraseSetup = 0x8080u;
constexpr uint16_t kCmdSectorErase = 0x3030u;
constexpr uint16_t kCmdProgram = 0xA0A0u;
constexpr uint16_t kCmdReset = 0xF0F0u;
constexpr uint16_t kDq7 = 0x0080u;
constexpr uint16_t kDq6 = 0x0040u;
constexpr uint16_t kDq5 = 0x0020u;
constexpr uint32_t kBusyLimitMs = 10000;
constexpr uint32_t kEraseAttempts = 4;

bool InFlash(PhysAddr ulAddress) { return ulAddress >= kFlashBase && ulAddress <= kFlashLast; }

void ResetToRead(PhysAddr ulBase) { FlashWriteWord(ulBase + kUnlock1, kCmdReset); }

// Sends the pairs as one batch; the batch's time stamp goes to *pulT0.
// -1 when the batch was refused (its end word came back unchanged).
int32_t SendBatch(IoctlWord* pBlock, uint32_t ulPairs, uint32_t* pulT0) {
  pBlock[2 * ulPairs] = IOCTL_LIST_END;
  IoctlWriteBatch(pBlock);
  if (IoctlIsListEnd(pBlock[2 * ulPairs])) return -1;
  *pulT0 = IoctlValue(pBlock[2 * ulPairs]);
  return 0;
}

// Whether the target shows the finished operation: an erased word has DQ7
// set, a programmed word reads back its data.
bool Finished(PhysAddr ulTarget, bool bProgram, uint16_t usData) {
  const uint16_t usWord = FlashReadWord(ulTarget);
  return bProgram ? usWord == usData : (usWord & kDq7) != 0;
}

bool Toggling(PhysAddr ulTarget) {
  const uint16_t usFirst = FlashReadWord(ulTarget);
  const uint16_t usSecond = FlashReadWord(ulTarget);
  return ((usFirst ^ usSecond) & kDq6) != 0;
}

// Polls the target until the operation is over: 0 done, -1 failed (DQ5
// with DQ6 still toggling, a finished word that is not what was asked for,
// or the 10-second guard). The reset command follows either way.
int32_t PollOperation(PhysAddr ulBase, PhysAddr ulTarget, uint32_t ulT0, bool bProgram, uint16_t usData) {
  int32_t lResult = -1;
  for (;;) {
    if (!Toggling(ulTarget) && Finished(ulTarget, bProgram, usData)) {
      lResult = 0;
      break;
    }
    if ((FlashReadWord(ulTarget) & kDq5) != 0) {
      // The part's time limit passed: it has either ended after all (DQ6
      // stands still) or failed. An ended operation counts only when the
      // word holds what it should.
      if (!Toggling(ulTarget) && Finished(ulTarget, bProgram, usData)) lResult = 0;
      break;
    }
    if (GetSystemTimeMs() - ulT0 > kBusyLimitMs) break;
  }
  ResetToRead(ulBase);
  return lResult;
}

}  // namespace

uint16_t FlashReadWord(PhysAddr ulAddress) {
  uint16_t usValue = 0xFFFFu;
  IoctlRead16(ulAddress, &usValue);
  return usValue;
}

void FlashWriteWord(PhysAddr ulAddress, uint16_t usValue) { IoctlWrite16(ulAddress, usValue); }

int32_t FlashEraseOnce(PhysAddr ulBase, uint32_t ulOffset) {
  const PhysAddr ulTarget = ulBase + ulOffset;
  IoctlWord aw[2 * 6 + 1] = {
      ulBase + kUnlock1, kCmdUnlock1,    ulBase + kUnlock2, kCmdUnlock2, ulBase + kUnlock1, kCmdEraseSetup,
      ulBase + kUnlock1, kCmdUnlock1,    ulBase + kUnlock2, kCmdUnlock2, ulTarget,          kCmdSectorErase,
      IOCTL_LIST_END,
  };
  uint32_t ulT0 = 0;
  if (SendBatch(aw, 6, &ulT0) != 0) {
    ResetToRead(ulBase);
    return -1;
  }
  return PollOperation(ulBase, ulTarget, ulT0, false, 0);
}

int32_t FlashProgramWordOnce(PhysAddr ulBase, uint32_t ulOffset, uint16_t usValue) {
  const PhysAddr ulTarget = ulBase + ulOffset;
  IoctlWord aw[2 * 4 + 1] = {
      ulBase + kUnlock1, kCmdUnlock1, ulBase + kUnlock2, kCmdUnlock2,
      ulBase + kUnlock1, kCmdProgram, ulTarget,          usValue,
      IOCTL_LIST_END,
  };
  uint32_t ulT0 = 0;
  if (SendBatch(aw, 4, &ulT0) != 0) {
    ResetToRead(ulBase);
    return -1;
  }
  return PollOperation(ulBase, ulTarget, ulT0, true, usValue);
}

int32_t FlashEraseSector(PhysAddr ulAddress) {
  if (!InFlash(ulAddress)) return -1;
  int32_t lResult = -1;
  for (uint32_t i = 0; i < kEraseAttempts; ++i) {
    lResult = FlashEraseOnce(kFlashBase, ulAddress - kFlashBase);
    if (lResult == 0) break;
  }
  return lResult;
}

int32_t FlashProgram(PhysAddr ulAddress, IoctlWord source, uint32_t ulLength, uint32_t ulDirect) {
  if (!InFlash(ulAddress)) return -1;
  const uint32_t ulWords = ulLength / 2 + (ulLength & 1u);
  // The whole destination must lie in the flash, not only its first word.
  if (ulWords > (kFlashLast - ulAddress + 1) / 2) return -1;
  for (uint32_t i = 0; i < ulWords; ++i) {
    uint16_t usWord = 0xFFFFu;
    if (ulDirect == 1) {
      // A host pointer to the source in memory, read byte by byte in the
      // target's little-endian order.
      const uint8_t* pucSource = IoctlPointer<const uint8_t>(source) + 2 * i;
      usWord = static_cast<uint16_t>(pucSource[0] | (pucSource[1] << 8));
    } else if (IoctlRead16(IoctlValue(source) + 2 * i, &usWord) != 0) {
      return -1;
    }
    // Programming only clears bits: a word of all ones would change nothing.
    if (usWord == 0xFFFFu) continue;
    if (FlashProgramWordOnce(kFlashBase, ulAddress + 2 * i - kFlashBase, usWord) != 0) return -1;
  }
  return 0;
}
