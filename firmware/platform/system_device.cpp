// The dispatcher of the system-device call: a table of the codes with the
// header words each copies in and the result words it copies back, and the
// operations behind them.
#include <cstring>
#include <utility>

#include "firmware/hal/hw.h"
#include "firmware/hal/kernel.h"
#include "firmware/platform/address_windows.h"
#include "firmware/platform/board_eeprom.h"
#include "firmware/platform/board_setup.h"
#include "firmware/platform/dsp_boot.h"
#include "firmware/platform/fpga_config.h"
#include "firmware/platform/gpio.h"
#include "firmware/platform/ioctl.h"
#include "firmware/platform/usb_driver.h"

namespace {

// The dispatcher's frame: the largest header is the DSP boot block's.
constexpr uint32_t kFrameWords = 8;

// An operation works on the frame (the header words copied in; the result
// words are copied back from it) and, for bulk data, on the caller's block
// where it lies.
using IoctlOperation = void (*)(uint32_t ulCode, IoctlWord* pFrame, void* pBlock);

struct IoctlEntry {
  uint32_t ulCode;
  uint8_t ucInWords;     // header words copied into the frame
  uint8_t ucOutFirst;    // first result word copied back
  uint8_t ucOutWords;    // result words copied back
  bool bNeedsBlock;      // refuses a null block
  IoctlOperation pfnOperation;
};

// ---- Remembered areas of the block codes ---------------------------------------

IoctlBlock2DArea g_Block2D;
IoctlBlockArea g_Block;
uint8_t g_aucBlock2DStaging[IOCTL_BLOCK2D_MAX_BYTES];

// ---- Board, FPGA configuration, GPIO ---------------------------------------------

void OpInitBoard(uint32_t, IoctlWord* w, void*) {
  InitBoardByRevision();
  w[0] = 0;
}

void OpConfigFpga(uint32_t, IoctlWord* w, void* pBlock) {
  syslog(LOG_EMERG, "fpga config start\n");
  const uint32_t ulCount = IoctlValue(w[0]);
  const uint32_t ulFromFlash = IoctlValue(w[2]);
  if (ulFromFlash == 0) {
    w[3] = IoctlResultWord(
        ConfigureFpga(0, IoctlBlockBytes(static_cast<IoctlWord*>(pBlock), IOCTL_FPGA_CONFIG_WORDS), ulCount, 0));
    return;
  }
  // The whole bitstream must lie in the flash; an erased count word would
  // otherwise send the FPGA 4 GB from beyond the flash's end.
  PhysAddr ulMapped = 0;
  if (MapInWindow(WIN_FLASH, IoctlValue(w[1]), ulCount == 0 ? 1 : ulCount, &ulMapped) != 0) {
    w[3] = IoctlResultWord(-3);
    return;
  }
  w[3] = IoctlResultWord(ConfigureFpga(ulMapped, nullptr, ulCount, ulFromFlash));
}

void OpFallTrigger(uint32_t ulCode, IoctlWord* w, void*) {
  if (ulCode == IOCTL_SET_GPIO_FALL_TRIG) {
    GpioSetFallTrigger(IoctlValue(w[0]));
  } else {
    GpioClearFallTrigger(IoctlValue(w[0]));
  }
}

void OpNothing(uint32_t, IoctlWord*, void*) {}

void OpGpioSetClear(uint32_t ulCode, IoctlWord* w, void*) {
  const uint32_t ulPin = IoctlValue(w[0]);
  w[1] = IoctlResultWord(ulCode == IOCTL_GPIO_SET ? GpioSetPin(ulPin) : GpioClearPin(ulPin));
}

void OpGpioRead(uint32_t, IoctlWord* w, void*) {
  uint32_t ulLevel = 0;
  w[2] = IoctlResultWord(GpioReadPin(IoctlValue(w[0]), &ulLevel));
  w[1] = ulLevel;
}

// ---- USB device driver ----------------------------------------------------------

void OpUsbRxReady(uint32_t, IoctlWord* w, void*) {
  uint32_t ulFlag = 0;
  if (UsbDrvPoll(g_hUsbDevice, &ulFlag) != 0) ulFlag = 0;
  w[0] = ulFlag;
}

void OpUsbStartBulkRx(uint32_t, IoctlWord* w, void*) {
  // The driver reads its arguments from words 0 and 1.
  w[2] = IoctlResultWord(UsbDrvControl(g_hUsbDevice, USB_CTRL_START_BULK_RX, w));
}

void OpUsbBulkRxStatus(uint32_t, IoctlWord* w, void*) {
  w[0] = 0;
  w[1] = IoctlResultWord(UsbDrvControl(g_hUsbDevice, USB_CTRL_BULK_RX_STATUS, w));
}

void OpUsbConnect(uint32_t ulCode, IoctlWord* w, void*) {
  IoctlWord aNoArgs[1] = {0};
  w[0] = IoctlResultWord(
      UsbDrvControl(g_hUsbDevice, ulCode == IOCTL_CONNECT_USB ? USB_CTRL_CONNECT : USB_CTRL_DISCONNECT, aNoArgs));
}

void OpUsbRead(uint32_t, IoctlWord* w, void*) {
  uint16_t* pusLength = IoctlPointer<uint16_t>(w[0]);
  uint8_t* pucBuffer = IoctlPointer<uint8_t>(w[1]);
  if (pusLength == nullptr || pucBuffer == nullptr) {
    if (pusLength != nullptr) *pusLength = 0;
    w[2] = IoctlResultWord(-1);
    return;
  }
  w[2] = IoctlResultWord(UsbDrvRead(g_hUsbDevice, pucBuffer, pusLength));
}

void OpUsbWrite(uint32_t, IoctlWord* w, void*) {
  w[2] = IoctlResultWord(UsbDrvWrite(g_hUsbDevice, IoctlPointer<const uint8_t>(w[1]), IoctlValue(w[0])));
}

void OpUsbSetDescriptor(uint32_t, IoctlWord* w, void*) {
  // Words 0-2 are the driver's kind, length and pointer.
  w[3] = IoctlResultWord(UsbDrvControl(g_hUsbDevice, USB_CTRL_SET_DESCRIPTOR, w));
}

void OpUsbOpenClose(uint32_t ulCode, IoctlWord* w, void*) {
  w[0] = IoctlResultWord(ulCode == IOCTL_OPEN_USB ? UsbDrvOpen(&g_hUsbDevice) : UsbDrvClose(g_hUsbDevice));
}

// ---- Board EEPROM, time -------------------------------------------------------------

void OpEepromRead(uint32_t, IoctlWord* w, void*) {
  uint16_t usValue = 0;
  // A read fails only when the caller does not own the bus.
  w[2] = IoctlResultWord(EepromReadByte(static_cast<uint16_t>(w[0]), &usValue));
  w[1] = usValue & 0xFFu;
}

void OpEepromWrite(uint32_t, IoctlWord* w, void*) {
  w[2] = IoctlResultWord(EepromWriteByte(static_cast<uint16_t>(w[0]), static_cast<uint16_t>(w[1])));
}

uint32_t SystemTimeMs() {
  SYSTIM ulNow = 0;
  get_tim(&ulNow);
  return ulNow;
}

void OpGetTime(uint32_t, IoctlWord* w, void*) { w[0] = SystemTimeMs(); }

// ---- FPGA banks ---------------------------------------------------------------------

constexpr uint32_t kFpgaBankBytes = 0x10000u;

void OpFpgaBank(uint32_t ulCode, IoctlWord* w, void*) {
  const uint32_t ulBank = (ulCode - IOCTL_FPGA0_WRITE) / 2;
  const bool bWrite = ((ulCode - IOCTL_FPGA0_WRITE) & 1u) == 0;
  const uint32_t ulOffset = IoctlValue(w[0]);
  const PhysAddr ulBase = g_aulFpgaBankBase[ulBank];
  if (ulBase == 0 || ulOffset > kFpgaBankBytes - 2) {
    w[2] = IoctlResultWord(-1);
    return;
  }
  if (bWrite) {
    HwWrite16(ulBase + ulOffset, static_cast<uint16_t>(w[1]));
  } else {
    w[1] = HwRead16(ulBase + ulOffset);
  }
  w[2] = 0;
}

// ---- DSP boot -----------------------------------------------------------------------

void OpBootDsp(uint32_t ulCode, IoctlWord* w, void* pBlock) {
  const PhysAddr ulDest1 = IoctlValue(w[0]);
  const uint32_t ulLength1 = IoctlValue(w[1]) & ~3u;
  const PhysAddr ulDest2 = IoctlValue(w[2]);
  const uint32_t ulLength2 = IoctlValue(w[3]) & ~3u;
  const PhysAddr ulDest3 = IoctlValue(w[5]);
  const uint32_t ulLength3 = IoctlValue(w[6]) & ~3u;
  const PhysAddr ulEntry = IoctlValue(w[7]);
  // The sections stay in the caller's buffer; they are copied from there.
  const uint8_t* pucSections = IoctlBlockBytes(static_cast<const IoctlWord*>(pBlock), IOCTL_DSP_BOOT_WORDS);

  int32_t lResult = 0;
  if (ulDest1 == 0) {
    lResult = -2;
  } else {
    HwWriteBlock(ulDest1, pucSections, ulLength1);
    if (ulDest2 == 0 || ulDest3 == 0) {
      lResult = -3;
    } else {
      HwWriteBlock(ulDest2, pucSections + ulLength1, ulLength2);
      HwWriteBlock(ulDest3, pucSections + ulLength1 + ulLength2, ulLength3);
    }
  }
  // A DSP whose sections were not all loaded is not started.
  if (lResult == 0 && StartDsp(ulEntry, 0) != 0) lResult = -4;
  if (ulCode == IOCTL_BOOT_DSP_SDRAM) DspHoldInReset();
  w[4] = IoctlResultWord(lResult);
}

// ---- Window access --------------------------------------------------------------------

void OpWindowAccess(uint32_t ulCode, IoctlWord* w, void*) {
  const uint32_t ulWidth = ulCode <= IOCTL_READ8 ? 1 : ulCode <= IOCTL_READ16 ? 2 : 4;
  PhysAddr ulMapped = 0;
  if (MapAddressWindow(IoctlValue(w[0]), ulWidth, &ulMapped) < 0) {
    w[1] = 0;
    w[2] = IoctlResultWord(-1);
    return;
  }
  const uint32_t ulValue = IoctlValue(w[1]);
  switch (ulCode) {
    case IOCTL_WRITE8: HwWrite8(ulMapped, static_cast<uint8_t>(ulValue)); break;
    case IOCTL_WRITE16: HwWrite16(ulMapped, static_cast<uint16_t>(ulValue)); break;
    case IOCTL_WRITE32: HwWrite32(ulMapped, ulValue); break;
    case IOCTL_READ8: w[1] = HwRead8(ulMapped); break;
    case IOCTL_READ16: w[1] = HwRead16(ulMapped); break;
    default: w[1] = HwRead32(ulMapped); break;
  }
  w[2] = 0;
}

// ---- Block codes -----------------------------------------------------------------------

void OpSetBlock2D(uint32_t, IoctlWord* w, void*) {
  g_Block2D = IoctlBlock2DArea{IoctlValue(w[0]), IoctlValue(w[1]), IoctlValue(w[2]), IoctlValue(w[3]),
                               IoctlValue(w[4])};
}

// The byte count of the remembered 2-D area, or 0 when it is empty, larger
// than the staging buffer, or reaches outside the SDRAM window.
uint32_t Block2DBytes() {
  const IoctlBlock2DArea& a = g_Block2D;
  const uint64_t ullBytes = static_cast<uint64_t>(a.ulRows) * a.ulBytesPerRow;
  if (ullBytes == 0 || ullBytes > IOCTL_BLOCK2D_MAX_BYTES) return 0;
  // Rows lie between the first and the last one.
  const uint64_t ullLastRow = a.ulAddress + static_cast<uint64_t>(a.ulRows - 1) * a.ulStride;
  PhysAddr ulMapped = 0;
  if (ullLastRow > 0xFFFFFFFFu || MapInWindow(WIN_SDRAM, a.ulAddress, a.ulBytesPerRow, &ulMapped) != 0 ||
      MapInWindow(WIN_SDRAM, static_cast<PhysAddr>(ullLastRow), a.ulBytesPerRow, &ulMapped) != 0) {
    return 0;
  }
  return static_cast<uint32_t>(ullBytes);
}

PhysAddr Block2DRow(uint32_t ulRow) {
  PhysAddr ulMapped = 0;
  MapInWindow(WIN_SDRAM, g_Block2D.ulAddress + ulRow * g_Block2D.ulStride, g_Block2D.ulBytesPerRow, &ulMapped);
  return ulMapped;
}

void OpReadBlock2D(uint32_t, IoctlWord*, void* pBlock) {
  const uint32_t ulBytes = Block2DBytes();
  if (ulBytes == 0) return;
  const uint32_t ulRowBytes = g_Block2D.ulBytesPerRow;
  for (uint32_t r = 0; r < g_Block2D.ulRows; ++r) HwReadBlock(Block2DRow(r), g_aucBlock2DStaging + r * ulRowBytes, ulRowBytes);
  std::memcpy(pBlock, g_aucBlock2DStaging, ulBytes);
}

void OpWriteBlock2D(uint32_t, IoctlWord*, void* pBlock) {
  const uint32_t ulBytes = Block2DBytes();
  if (ulBytes == 0) return;
  const uint32_t ulRowBytes = g_Block2D.ulBytesPerRow;
  std::memcpy(g_aucBlock2DStaging, pBlock, ulBytes);
  for (uint32_t r = 0; r < g_Block2D.ulRows; ++r) {
    HwWriteBlock(Block2DRow(r), g_aucBlock2DStaging + r * ulRowBytes, ulRowBytes);
  }
  std::memcpy(pBlock, g_aucBlock2DStaging, ulBytes);
}

void OpSetBlock(uint32_t, IoctlWord* w, void*) { g_Block = IoctlBlockArea{IoctlValue(w[0]), IoctlValue(w[1])}; }

void OpReadBlock(uint32_t, IoctlWord*, void* pBlock) {
  PhysAddr ulMapped = 0;
  if (g_Block.ulLength == 0) return;
  if (MapInWindow(WIN_FLASH, g_Block.ulAddress, g_Block.ulLength, &ulMapped) != 0 &&
      MapInWindow(WIN_SDRAM, g_Block.ulAddress, g_Block.ulLength, &ulMapped) != 0) {
    return;
  }
  HwReadBlock(ulMapped, pBlock, g_Block.ulLength);
}

void OpWriteBlock(uint32_t, IoctlWord*, void* pBlock) {
  // Flash takes data only through its command sequences: a plain copy into
  // it would be read by the chip as commands.
  PhysAddr ulMapped = 0;
  if (g_Block.ulLength == 0 || MapInWindow(WIN_SDRAM, g_Block.ulAddress, g_Block.ulLength, &ulMapped) != 0) return;
  HwWriteBlock(ulMapped, pBlock, g_Block.ulLength);
}

// ---- Write batch and flash --------------------------------------------------------------

void OpWriteBatch(uint32_t, IoctlWord*, void* pBlock) {
  auto* pw = static_cast<IoctlWord*>(pBlock);
  // Copy the pairs in up to the end word, never past 7 pairs, and check
  // every address before the first write: a command sequence is sent whole
  // or not at all.
  IoctlWord aw[IOCTL_WRITE_BATCH_WORDS];
  PhysAddr aulMapped[IOCTL_WRITE_BATCH_MAX_PAIRS];
  uint32_t ulPairs = 0;
  for (;;) {
    aw[2 * ulPairs] = pw[2 * ulPairs];
    if (IoctlIsListEnd(aw[2 * ulPairs])) break;
    if (ulPairs == IOCTL_WRITE_BATCH_MAX_PAIRS ||
        MapInWindow(WIN_FLASH, IoctlValue(aw[2 * ulPairs]), 2, &aulMapped[ulPairs]) != 0) {
      syslog(LOG_EMERG, "Ioctl: WriteBatch refused\n");
      return;
    }
    aw[2 * ulPairs + 1] = pw[2 * ulPairs + 1];
    ++ulPairs;
  }
  for (uint32_t i = 0; i < ulPairs; ++i) HwWrite16(aulMapped[i], static_cast<uint16_t>(aw[2 * i + 1]));
  pw[2 * ulPairs] = SystemTimeMs();
}

// The flash command addresses, as byte offsets from the flash base.
constexpr uint32_t kFlashUnlock1 = 0x0AAAu;
constexpr uint32_t kFlashUnlock2 = 0x0554u;
constexpr uint32_t kFlashOffsetMask = 0x00FFFFFFu;
// A device that still toggles after this long will not finish.
constexpr uint32_t kFlashBusyLimitMs = 10000;

// The flash base, or 0 when the byte range [offset, offset + bytes) does not
// lie in the flash.
PhysAddr FlashRangeBase(uint32_t ulOffset, uint32_t ulBytes) {
  PhysAddr ulMapped = 0;
  if (MapInWindow(WIN_FLASH, FLASH_BASE + ulOffset, ulBytes == 0 ? 1 : ulBytes, &ulMapped) != 0) return 0;
  return ulMapped - ulOffset;
}

// Waits until two successive reads at the address agree in DQ6.
void WaitFlashToggleDone(PhysAddr ulAddr) {
  const uint32_t ulStart = SystemTimeMs();
  for (;;) {
    const uint16_t usFirst = HwRead16(ulAddr);
    const uint16_t usSecond = HwRead16(ulAddr);
    if (((usFirst ^ usSecond) & 0x40u) == 0) return;
    if (SystemTimeMs() - ulStart > kFlashBusyLimitMs) return;
  }
}

void OpFlashErase(uint32_t, IoctlWord* w, void*) {
  const uint32_t ulOffset = IoctlValue(w[0]) & kFlashOffsetMask;
  const PhysAddr ulBase = FlashRangeBase(ulOffset, 2);
  if (ulBase == 0) return;
  syslog(LOG_EMERG, "sector erase start %x\n", ulOffset);
  HwWrite16(ulBase, 0xF0);
  HwWrite16(ulBase + kFlashUnlock1, 0xAA);
  HwWrite16(ulBase + kFlashUnlock2, 0x55);
  HwWrite16(ulBase + kFlashUnlock1, 0x80);
  HwWrite16(ulBase + kFlashUnlock1, 0xAA);
  HwWrite16(ulBase + kFlashUnlock2, 0x55);
  HwWrite16(ulBase + ulOffset, 0x30);
  WaitFlashToggleDone(ulBase + ulOffset);
  syslog(LOG_EMERG, "sector erase comp\n");
}

// Halfword i of a byte buffer of ulBytes bytes, as it lies in memory (low
// byte first). A last odd byte is padded with 0xFF, which programming
// leaves as it is, so nothing past the buffer is read.
uint16_t SourceHalfword(const uint8_t* pucSource, uint32_t ulBytes, uint32_t i) {
  const uint8_t ucHigh = 2 * i + 1 < ulBytes ? pucSource[2 * i + 1] : 0xFF;
  return static_cast<uint16_t>(pucSource[2 * i] | (ucHigh << 8));
}

void OpFlashProgram(uint32_t, IoctlWord* w, void*) {
  const uint32_t ulBytes = IoctlValue(w[0]);
  const uint32_t ulOffset = IoctlValue(w[1]) & kFlashOffsetMask;
  const auto* pucSource = IoctlPointer<const uint8_t>(w[2]);
  const uint32_t ulWords = (ulBytes + 1) / 2;
  const PhysAddr ulBase = FlashRangeBase(ulOffset, 2 * ulWords);
  if (ulBase == 0 || pucSource == nullptr) return;
  syslog(LOG_EMERG, "Flash Write NByte start address = %x size = %x \n", ulOffset, ulBytes);
  HwWrite16(ulBase, 0xF0);
  for (uint32_t i = 0; i < ulWords; ++i) {
    const PhysAddr ulTarget = ulBase + ulOffset + 2 * i;
    HwWrite16(ulBase + kFlashUnlock1, 0xAA);
    HwWrite16(ulBase + kFlashUnlock2, 0x55);
    HwWrite16(ulBase + kFlashUnlock1, 0xA0);
    HwWrite16(ulTarget, SourceHalfword(pucSource, ulBytes, i));
    WaitFlashToggleDone(ulTarget);
  }
  syslog(LOG_EMERG, "Flash Write NByte comp...\n");
}

void OpFlashRead(uint32_t, IoctlWord* w, void*) {
  const uint32_t ulBytes = IoctlValue(w[0]);
  const uint32_t ulOffset = IoctlValue(w[1]) & kFlashOffsetMask;
  auto* pucDest = IoctlPointer<uint8_t>(w[2]);
  const uint32_t ulWords = (ulBytes + 1) / 2;
  const PhysAddr ulBase = FlashRangeBase(ulOffset, 2 * ulWords);
  if (ulBase == 0 || pucDest == nullptr) return;
  // The flash is read in halfwords; exactly ulBytes bytes are stored.
  for (uint32_t i = 0; i < ulWords; ++i) {
    const uint16_t usWord = HwRead16(ulBase + ulOffset + 2 * i);
    pucDest[2 * i] = static_cast<uint8_t>(usWord);
    if (2 * i + 1 < ulBytes) pucDest[2 * i + 1] = static_cast<uint8_t>(usWord >> 8);
  }
}

// ---- The code table --------------------------------------------------------------------

constexpr IoctlEntry kIoctlTable[] = {
    {IOCTL_INIT_BOARD, 0, 0, 1, true, OpInitBoard},
    {IOCTL_CONFIG_FPGA, 3, 3, 1, true, OpConfigFpga},
    {IOCTL_SET_GPIO_FALL_TRIG, 1, 0, 0, true, OpFallTrigger},
    {IOCTL_CLR_GPIO_FALL_TRIG, 1, 0, 0, true, OpFallTrigger},
    {IOCTL_RESERVED_18, 0, 0, 0, false, OpNothing},
    {IOCTL_RESERVED_19, 0, 0, 0, false, OpNothing},
    {IOCTL_GPIO_SET, 1, 1, 1, true, OpGpioSetClear},
    {IOCTL_GPIO_CLEAR, 1, 1, 1, true, OpGpioSetClear},
    {IOCTL_GPIO_READ, 1, 1, 2, true, OpGpioRead},
    {IOCTL_USB_RX_READY, 0, 0, 1, true, OpUsbRxReady},
    {IOCTL_USB_START_BULK_RX, 2, 2, 1, true, OpUsbStartBulkRx},
    {IOCTL_USB_BULK_RX_STATUS, 0, 0, 2, true, OpUsbBulkRxStatus},
    {IOCTL_CONNECT_USB, 0, 0, 1, true, OpUsbConnect},
    {IOCTL_DISCONNECT_USB, 0, 0, 1, true, OpUsbConnect},
    {IOCTL_USB_READ, 2, 2, 1, true, OpUsbRead},
    {IOCTL_USB_WRITE, 2, 2, 1, true, OpUsbWrite},
    {IOCTL_USB_SET_DESCRIPTOR, 3, 3, 1, true, OpUsbSetDescriptor},
    {IOCTL_OPEN_USB, 0, 0, 1, true, OpUsbOpenClose},
    {IOCTL_CLOSE_USB, 0, 0, 1, true, OpUsbOpenClose},
    {IOCTL_EEPROM_READ, 1, 1, 2, true, OpEepromRead},
    {IOCTL_EEPROM_WRITE, 2, 2, 1, true, OpEepromWrite},
    {IOCTL_GET_TIME, 0, 0, 1, true, OpGetTime},
    {IOCTL_FPGA0_WRITE, 2, 2, 1, true, OpFpgaBank},
    {IOCTL_FPGA0_READ, 1, 1, 2, true, OpFpgaBank},
    {IOCTL_FPGA1_WRITE, 2, 2, 1, true, OpFpgaBank},
    {IOCTL_FPGA1_READ, 1, 1, 2, true, OpFpgaBank},
    {IOCTL_FPGA2_WRITE, 2, 2, 1, true, OpFpgaBank},
    {IOCTL_FPGA2_READ, 1, 1, 2, true, OpFpgaBank},
    {IOCTL_FPGA3_WRITE, 2, 2, 1, true, OpFpgaBank},
    {IOCTL_FPGA3_READ, 1, 1, 2, true, OpFpgaBank},
    {IOCTL_BOOT_DSP_SDRAM, IOCTL_DSP_BOOT_WORDS, 4, 1, true, OpBootDsp},
    {IOCTL_BOOT_DSP_INTERNAL, IOCTL_DSP_BOOT_WORDS, 4, 1, true, OpBootDsp},
    {IOCTL_WRITE8, 2, 2, 1, true, OpWindowAccess},
    {IOCTL_READ8, 1, 1, 2, true, OpWindowAccess},
    {IOCTL_WRITE16, 2, 2, 1, true, OpWindowAccess},
    {IOCTL_READ16, 1, 1, 2, true, OpWindowAccess},
    {IOCTL_WRITE32, 2, 2, 1, true, OpWindowAccess},
    {IOCTL_READ32, 1, 1, 2, true, OpWindowAccess},
    {IOCTL_SET_BLOCK2D, 5, 0, 0, true, OpSetBlock2D},
    {IOCTL_READ_BLOCK2D, 0, 0, 0, true, OpReadBlock2D},
    {IOCTL_WRITE_BLOCK2D, 0, 0, 0, true, OpWriteBlock2D},
    {IOCTL_SET_BLOCK, 2, 0, 0, true, OpSetBlock},
    {IOCTL_READ_BLOCK, 0, 0, 0, true, OpReadBlock},
    {IOCTL_WRITE_BLOCK, 0, 0, 0, true, OpWriteBlock},
    {IOCTL_WRITE_BATCH, 0, 0, 0, true, OpWriteBatch},
    {IOCTL_FLASH_ERASE, 1, 0, 0, true, OpFlashErase},
    {IOCTL_FLASH_PROGRAM, 3, 0, 0, true, OpFlashProgram},
    {IOCTL_FLASH_READ, 3, 0, 0, true, OpFlashRead},
};

static_assert(IOCTL_DSP_BOOT_WORDS <= kFrameWords, "the frame holds every header");

constexpr bool EveryEntryFitsTheFrame() {
  for (const IoctlEntry& e : kIoctlTable) {
    if (e.ucInWords > kFrameWords || e.ucOutFirst + e.ucOutWords > kFrameWords) return false;
  }
  return true;
}
static_assert(EveryEntryFitsTheFrame(), "every code's header and result words lie in the frame");

constexpr uint32_t kIoctlEntries = sizeof kIoctlTable / sizeof kIoctlTable[0];

constexpr uint32_t CodeLimit() {
  uint32_t ulLimit = 0;
  for (const IoctlEntry& e : kIoctlTable) {
    if (e.ulCode + 1 > ulLimit) ulLimit = e.ulCode + 1;
  }
  return ulLimit;
}
constexpr uint32_t kCodeLimit = CodeLimit();

// The dispatch of one table entry, made from it at compile time: its
// copies have fixed lengths and its operation is a direct call, so a call
// costs little more than the operation itself.
template <uint32_t I>
int32_t DispatchEntry(void* pBlock) {
  constexpr IoctlEntry kEntry = kIoctlTable[I];
  if (kEntry.bNeedsBlock && pBlock == nullptr) return 0;
  auto* pw = static_cast<IoctlWord*>(pBlock);
  IoctlWord aFrame[kFrameWords] = {};
  for (uint32_t i = 0; i < kEntry.ucInWords; ++i) aFrame[i] = pw[i];
  kEntry.pfnOperation(kEntry.ulCode, aFrame, pBlock);
  for (uint32_t i = kEntry.ucOutFirst; i < kEntry.ucOutFirst + kEntry.ucOutWords; ++i) pw[i] = aFrame[i];
  return 0;
}

using IoctlDispatch = int32_t (*)(void* pBlock);

// By code, the dispatch of its table entry, or null for a code outside the
// table.
struct IoctlDispatchTable {
  IoctlDispatch apfnByCode[kCodeLimit];
};
template <uint32_t... I>
constexpr IoctlDispatchTable MakeDispatchTable(std::integer_sequence<uint32_t, I...>) {
  IoctlDispatchTable table{};
  const IoctlDispatch apfnByEntry[] = {&DispatchEntry<I>...};
  // From the end, so that the first entry of a code is the one kept.
  for (uint32_t i = kIoctlEntries; i-- > 0;) table.apfnByCode[kIoctlTable[i].ulCode] = apfnByEntry[i];
  return table;
}
constexpr IoctlDispatchTable kDispatch = MakeDispatchTable(std::make_integer_sequence<uint32_t, kIoctlEntries>{});

// Every call of either entry is dispatched here, without a further call.
[[gnu::always_inline]] inline int32_t Dispatch(uint32_t ulCode, void* pBlock) {
  const IoctlDispatch pfnDispatch = ulCode < kCodeLimit ? kDispatch.apfnByCode[ulCode] : nullptr;
  if (pfnDispatch == nullptr) {
    syslog(LOG_EMERG, "Ioctl: Command=Undefine\n");
    return 0;
  }
  return pfnDispatch(pBlock);
}

}  // namespace

int32_t SystemDeviceIoctl(uint32_t ulCode, void* pBlock) { return Dispatch(ulCode, pBlock); }

int32_t Ioctl(uint32_t ulCode, void* pBlock) { return Dispatch(ulCode, pBlock); }
