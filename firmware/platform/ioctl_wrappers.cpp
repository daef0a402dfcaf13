// The wrappers of the system-device call: each packs its arguments into a
// small block on its stack, makes the call and unpacks the results.
#include <cstdlib>

#include "firmware/hal/hw.h"
#include "firmware/platform/dsp_boot.h"
#include "firmware/platform/ioctl.h"

namespace {

// Reads and writes above the directly reached range go through the window
// codes; a miss comes back as -1 and leaves the caller's value alone.
template <class T>
int32_t WindowRead(uint32_t ulCode, PhysAddr ulAddr, T* pValue) {
  IoctlWord aw[3] = {ulAddr, 0, 0};
  Ioctl(ulCode, aw);
  const int32_t lResult = IoctlResult(aw[2]);
  if (lResult == 0) *pValue = static_cast<T>(aw[1]);
  return lResult;
}

int32_t WindowWrite(uint32_t ulCode, PhysAddr ulAddr, uint32_t ulValue) {
  IoctlWord aw[3] = {ulAddr, ulValue, 0};
  Ioctl(ulCode, aw);
  return IoctlResult(aw[2]);
}

// A call whose only result is word ulResultWord.
int32_t CallForResult(uint32_t ulCode, IoctlWord* pBlock, uint32_t ulResultWord) {
  Ioctl(ulCode, pBlock);
  return IoctlResult(pBlock[ulResultWord]);
}

int32_t FpgaWrite(uint32_t ulCode, uint32_t ulOffset, uint16_t usValue) {
  IoctlWord aw[3] = {ulOffset, usValue, 0};
  return CallForResult(ulCode, aw, 2);
}

int32_t FpgaRead(uint32_t ulCode, uint32_t ulOffset, uint16_t* pusValue) {
  IoctlWord aw[3] = {ulOffset, 0, 0};
  Ioctl(ulCode, aw);
  const int32_t lResult = IoctlResult(aw[2]);
  if (lResult == 0) *pusValue = static_cast<uint16_t>(aw[1]);
  return lResult;
}

// Pins 1-7 of bank 0 can be switched through the wrappers; pin 0 passes and
// does nothing.
constexpr uint32_t kFallTriggerPinLimit = 7;
constexpr uint32_t kReservedValueLimit = 8;

// Addresses up to IOCTL_DIRECT_LAST are reached directly with the access
// width; everything above goes through the address windows.
template <typename T>
int32_t ReadAt(uint32_t ulCode, T (*pfnHwRead)(PhysAddr), PhysAddr ulAddr, T* pValue) {
  if (ulAddr <= IOCTL_DIRECT_LAST) {
    *pValue = pfnHwRead(ulAddr);
    return 0;
  }
  return WindowRead(ulCode, ulAddr, pValue);
}

template <typename T>
int32_t WriteAt(uint32_t ulCode, void (*pfnHwWrite)(PhysAddr, T), PhysAddr ulAddr, T value) {
  if (ulAddr <= IOCTL_DIRECT_LAST) {
    pfnHwWrite(ulAddr, value);
    return 0;
  }
  return WindowWrite(ulCode, ulAddr, value);
}

}  // namespace

// ---- Direct access ------------------------------------------------------------------

int32_t IoctlRead8(PhysAddr ulAddr, uint8_t* pucValue) { return ReadAt(IOCTL_READ8, HwRead8, ulAddr, pucValue); }
int32_t IoctlWrite8(PhysAddr ulAddr, uint8_t ucValue) { return WriteAt(IOCTL_WRITE8, HwWrite8, ulAddr, ucValue); }
int32_t IoctlRead16(PhysAddr ulAddr, uint16_t* pusValue) { return ReadAt(IOCTL_READ16, HwRead16, ulAddr, pusValue); }
int32_t IoctlWrite16(PhysAddr ulAddr, uint16_t usValue) { return WriteAt(IOCTL_WRITE16, HwWrite16, ulAddr, usValue); }
int32_t IoctlRead32(PhysAddr ulAddr, uint32_t* pulValue) { return ReadAt(IOCTL_READ32, HwRead32, ulAddr, pulValue); }
int32_t IoctlWrite32(PhysAddr ulAddr, uint32_t ulValue) { return WriteAt(IOCTL_WRITE32, HwWrite32, ulAddr, ulValue); }

// ---- Board, FPGA configuration, GPIO ----------------------------------------------------

int32_t IoctlInitBoard() {
  IoctlWord aw[1] = {0};
  return CallForResult(IOCTL_INIT_BOARD, aw, 0);
}

int32_t IoctlConfigFpga(IoctlWord* pBlock) {
  pBlock[3] = 0;
  return CallForResult(IOCTL_CONFIG_FPGA, pBlock, 3);
}

int32_t IoctlSetGpioFallTrig(uint32_t ulPin) {
  if (ulPin > kFallTriggerPinLimit) return -1;
  IoctlWord aw[1] = {ulPin};
  Ioctl(IOCTL_SET_GPIO_FALL_TRIG, aw);
  return 0;
}

int32_t IoctlClrGpioFallTrig(uint32_t ulPin) {
  if (ulPin > kFallTriggerPinLimit) return -1;
  IoctlWord aw[1] = {ulPin};
  Ioctl(IOCTL_CLR_GPIO_FALL_TRIG, aw);
  return 0;
}

int32_t IoctlReserved18(uint32_t ulValue) {
  if (ulValue >= kReservedValueLimit) return -1;
  IoctlWord aw[1] = {ulValue};
  Ioctl(IOCTL_RESERVED_18, aw);
  return 0;
}

int32_t IoctlReserved19(uint32_t ulValue) {
  if (ulValue >= kReservedValueLimit) return -1;
  IoctlWord aw[1] = {ulValue};
  Ioctl(IOCTL_RESERVED_19, aw);
  return 0;
}

int32_t IoctlGpioSet(uint32_t ulPin) {
  IoctlWord aw[2] = {ulPin, 0};
  return CallForResult(IOCTL_GPIO_SET, aw, 1) != 0 ? -1 : 0;
}

int32_t IoctlGpioClear(uint32_t ulPin) {
  IoctlWord aw[2] = {ulPin, 0};
  return CallForResult(IOCTL_GPIO_CLEAR, aw, 1) != 0 ? -1 : 0;
}

int32_t IoctlGpioRead(uint32_t ulPin, uint32_t* pulLevel) {
  IoctlWord aw[3] = {ulPin, 0, 0};
  if (CallForResult(IOCTL_GPIO_READ, aw, 2) != 0) return -1;
  *pulLevel = IoctlValue(aw[1]);
  return 0;
}

// ---- USB device driver -------------------------------------------------------------------

int32_t IoctlUsbRxReady() {
  IoctlWord aw[1] = {0};
  return CallForResult(IOCTL_USB_RX_READY, aw, 0);
}

int32_t IoctlUsbStartBulkRx(PhysAddr ulDestination, uint32_t ulByteCount) {
  IoctlWord aw[3] = {ulDestination, ulByteCount, 0};
  return CallForResult(IOCTL_USB_START_BULK_RX, aw, 2);
}

int32_t IoctlUsbBulkRxStatus(uint32_t* pulState) {
  IoctlWord aw[2] = {0, 0};
  Ioctl(IOCTL_USB_BULK_RX_STATUS, aw);
  *pulState = IoctlValue(aw[0]);
  return IoctlResult(aw[1]);
}

int32_t IoctlConnectUsb() {
  IoctlWord aw[1] = {0};
  return CallForResult(IOCTL_CONNECT_USB, aw, 0);
}

int32_t IoctlDisconnectUsb() {
  IoctlWord aw[1] = {0};
  return CallForResult(IOCTL_DISCONNECT_USB, aw, 0);
}

int32_t IoctlUsbRead(uint8_t* pucBuffer, uint16_t* pusLength) {
  IoctlWord aw[3] = {IoctlPointerWord(pusLength), IoctlPointerWord(pucBuffer), 0};
  return CallForResult(IOCTL_USB_READ, aw, 2);
}

int32_t IoctlUsbWrite(const uint8_t* pucBuffer, uint16_t usLength) {
  IoctlWord aw[3] = {usLength, IoctlPointerWord(pucBuffer), 0};
  return CallForResult(IOCTL_USB_WRITE, aw, 2);
}

int32_t IoctlUsbSetDescriptor(const UsbDescriptorArgs* pArgs) {
  IoctlWord aw[4] = {pArgs->ulKind, pArgs->ulLength, IoctlPointerWord(pArgs->pData), 0};
  return CallForResult(IOCTL_USB_SET_DESCRIPTOR, aw, 3);
}

int32_t IoctlOpenUsb() {
  IoctlWord aw[1] = {0};
  return CallForResult(IOCTL_OPEN_USB, aw, 0);
}

int32_t IoctlCloseUsb() {
  IoctlWord aw[1] = {0};
  return CallForResult(IOCTL_CLOSE_USB, aw, 0);
}

// ---- Board EEPROM, time -------------------------------------------------------------------

int32_t IoctlEepromRead(uint32_t ulAddress, uint32_t* pulValue) {
  IoctlWord aw[3] = {ulAddress, 0, 0};
  if (CallForResult(IOCTL_EEPROM_READ, aw, 2) != 0) return -1;
  *pulValue = IoctlValue(aw[1]);
  return 0;
}

int32_t IoctlEepromWrite(uint32_t ulAddress, uint32_t ulValue) {
  IoctlWord aw[3] = {ulAddress, ulValue, 0};
  return CallForResult(IOCTL_EEPROM_WRITE, aw, 2) != 0 ? -1 : 0;
}

uint32_t IoctlGetTime() {
  IoctlWord aw[1] = {0};
  Ioctl(IOCTL_GET_TIME, aw);
  return IoctlValue(aw[0]);
}

// ---- FPGA banks ----------------------------------------------------------------------------

int32_t IoctlFpga0Write(uint32_t ulOffset, uint16_t usValue) { return FpgaWrite(IOCTL_FPGA0_WRITE, ulOffset, usValue); }
int32_t IoctlFpga1Write(uint32_t ulOffset, uint16_t usValue) { return FpgaWrite(IOCTL_FPGA1_WRITE, ulOffset, usValue); }
int32_t IoctlFpga2Write(uint32_t ulOffset, uint16_t usValue) { return FpgaWrite(IOCTL_FPGA2_WRITE, ulOffset, usValue); }
int32_t IoctlFpga3Write(uint32_t ulOffset, uint16_t usValue) { return FpgaWrite(IOCTL_FPGA3_WRITE, ulOffset, usValue); }
int32_t IoctlFpga0Read(uint32_t ulOffset, uint16_t* pusValue) { return FpgaRead(IOCTL_FPGA0_READ, ulOffset, pusValue); }
int32_t IoctlFpga1Read(uint32_t ulOffset, uint16_t* pusValue) { return FpgaRead(IOCTL_FPGA1_READ, ulOffset, pusValue); }
int32_t IoctlFpga2Read(uint32_t ulOffset, uint16_t* pusValue) { return FpgaRead(IOCTL_FPGA2_READ, ulOffset, pusValue); }
int32_t IoctlFpga3Read(uint32_t ulOffset, uint16_t* pusValue) { return FpgaRead(IOCTL_FPGA3_READ, ulOffset, pusValue); }

// ---- DSP boot --------------------------------------------------------------------------------

namespace {

// Builds the boot block in one heap buffer (the header words, then the
// three sections read from flash), runs the boot code on it and frees it.
int32_t LoadDspImage(PhysAddr ulFlashAddr, const DspImageLayout& layout, uint32_t ulCode) {
  const uint32_t ulLength1 = layout.ulLength1 & ~3u;
  const uint32_t ulLength2 = layout.ulLength2 & ~3u;
  const uint32_t ulLength3 = layout.ulLength3 & ~3u;
  const uint32_t ulBytes = IOCTL_DSP_BOOT_WORDS * sizeof(IoctlWord) + ulLength1 + ulLength2 + ulLength3;
  auto* pBlock = static_cast<IoctlWord*>(std::malloc(ulBytes));
  if (pBlock == nullptr) return -1;
  pBlock[0] = layout.ulDest1;
  pBlock[1] = layout.ulLength1;
  pBlock[2] = layout.ulDest2;
  pBlock[3] = layout.ulLength2;
  pBlock[4] = 0;
  pBlock[5] = layout.ulDest3;
  pBlock[6] = layout.ulLength3;
  pBlock[7] = layout.ulEntry;
  uint8_t* pucSections = IoctlBlockBytes(pBlock, IOCTL_DSP_BOOT_WORDS);
  const IoctlBlockArea aSections[3] = {
      {ulFlashAddr, ulLength1},
      {ulFlashAddr + DSP_SECTION2_OFFSET, ulLength2},
      {ulFlashAddr + DSP_SECTION3_OFFSET, ulLength3},
  };
  for (const IoctlBlockArea& area : aSections) {
    IoctlSetBlock(&area);
    IoctlReadBlock(pucSections);
    pucSections += area.ulLength;
  }
  Ioctl(ulCode, pBlock);
  const int32_t lResult = IoctlResult(pBlock[4]) != 0 ? -1 : 0;
  std::free(pBlock);
  return lResult;
}

}  // namespace

int32_t LoadDspSdramImage(PhysAddr ulFlashAddr) {
  return LoadDspImage(ulFlashAddr, DSP_SDRAM_IMAGE_LAYOUT, IOCTL_BOOT_DSP_SDRAM);
}

int32_t LoadDspInternalImage(PhysAddr ulFlashAddr) {
  return LoadDspImage(ulFlashAddr, DSP_INTERNAL_IMAGE_LAYOUT, IOCTL_BOOT_DSP_INTERNAL);
}

// ---- Write batch, block codes, flash ----------------------------------------------------------

int32_t IoctlWriteBatch(IoctlWord* pBlock) {
  Ioctl(IOCTL_WRITE_BATCH, pBlock);
  return 0;
}

int32_t IoctlSetBlock2D(const IoctlBlock2DArea* pArea) {
  IoctlWord aw[5] = {pArea->ulAddress, pArea->ulRows, pArea->ulBytesPerRow, pArea->ulSpare, pArea->ulStride};
  Ioctl(IOCTL_SET_BLOCK2D, aw);
  return 0;
}

int32_t IoctlReadBlock2D(void* pBuffer) {
  Ioctl(IOCTL_READ_BLOCK2D, pBuffer);
  return 0;
}

int32_t IoctlWriteBlock2D(void* pBuffer) {
  Ioctl(IOCTL_WRITE_BLOCK2D, pBuffer);
  return 0;
}

int32_t IoctlSetBlock(const IoctlBlockArea* pArea) {
  IoctlWord aw[2] = {pArea->ulAddress, pArea->ulLength};
  Ioctl(IOCTL_SET_BLOCK, aw);
  return 0;
}

int32_t IoctlReadBlock(void* pBuffer) {
  Ioctl(IOCTL_READ_BLOCK, pBuffer);
  return 0;
}

int32_t IoctlWriteBlock(const void* pBuffer) {
  // The code only reads the caller's bytes.
  Ioctl(IOCTL_WRITE_BLOCK, const_cast<void*>(pBuffer));
  return 0;
}

int32_t IoctlFlashErase(uint32_t ulOffset) {
  IoctlWord aw[1] = {ulOffset};
  Ioctl(IOCTL_FLASH_ERASE, aw);
  return 0;
}

int32_t IoctlFlashProgram(uint32_t ulByteCount, uint32_t ulOffset, const void* pSource) {
  IoctlWord aw[3] = {ulByteCount, ulOffset, IoctlPointerWord(pSource)};
  Ioctl(IOCTL_FLASH_PROGRAM, aw);
  return 0;
}

int32_t IoctlFlashRead(uint32_t ulByteCount, uint32_t ulOffset, void* pDestination) {
  IoctlWord aw[3] = {ulByteCount, ulOffset, IoctlPointerWord(pDestination)};
  Ioctl(IOCTL_FLASH_READ, aw);
  return 0;
}
