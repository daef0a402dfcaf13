// The system-device call: every access of the application to the SoC, the
// flash, the board EEPROM, the FPGA banks, the DSP and the USB device driver
// goes through one numbered call on an argument block of words, and through
// the thin wrappers below that pack their arguments into a small block on
// their stack, make the call and unpack the results.
//
// The dispatcher copies a code's header words into its own frame, performs
// the operation and copies the result words back. Bulk data (the bitstream
// of a configuration block, the sections of a DSP boot block, the bytes of
// the block codes, flash program and read buffers) is used where the caller
// keeps it and never copied onto the stack: a task has 8 KB of stack.
#pragma once

#include <cstdint>

#include "firmware/hal/hw.h"
#include "firmware/platform/ioctl_word.h"

// The codes of the system-device call and the layout of their blocks (w[k]
// is word k; words not named are not read).
enum IoctlCode : uint32_t {
  IOCTL_INIT_BOARD = 0,           // out w0 = 0
  IOCTL_CONFIG_FPGA = 1,          // in w0 byte count, w1 flash address, w2 from-flash flag;
                                  // bitstream bytes from w4 on when the flag is 0; out w3 result
  IOCTL_SET_GPIO_FALL_TRIG = 16,  // in w0 pin 1-8
  IOCTL_CLR_GPIO_FALL_TRIG = 17,  // in w0 pin 1-8
  IOCTL_RESERVED_18 = 18,         // nothing
  IOCTL_RESERVED_19 = 19,         // nothing
  IOCTL_GPIO_SET = 32,            // in w0 pin 0-127; out w1 result
  IOCTL_GPIO_CLEAR = 33,          // in w0 pin; out w1 result
  IOCTL_GPIO_READ = 34,           // in w0 pin; out w1 level, w2 result
  IOCTL_USB_RX_READY = 35,        // out w0: 1 when a command packet waits
  IOCTL_USB_START_BULK_RX = 36,   // in w0 destination, w1 byte count; out w2 result
  IOCTL_USB_BULK_RX_STATUS = 37,  // out w0 state (1 running), w1 result
  IOCTL_CONNECT_USB = 38,         // out w0 result
  IOCTL_DISCONNECT_USB = 39,      // out w0 result
  IOCTL_USB_READ = 40,            // in w0 pointer to a 16-bit length, w1 buffer; out w2 result
  IOCTL_USB_WRITE = 41,           // in w0 length, w1 buffer; out w2 result
  IOCTL_USB_SET_DESCRIPTOR = 42,  // in w0 kind/index, w1 length, w2 pointer; out w3 result
  IOCTL_OPEN_USB = 43,            // out w0 result; the handle goes to g_hUsbDevice
  IOCTL_CLOSE_USB = 44,           // out w0 result
  IOCTL_EEPROM_READ = 48,         // in w0 byte address; out w1 value 0-255, w2 = 0
  IOCTL_EEPROM_WRITE = 49,        // in w0 byte address, w1 value; out w2 result
  IOCTL_GET_TIME = 64,            // out w0 system time in ms
  IOCTL_FPGA0_WRITE = 80,         // in w0 byte offset, w1 value; out w2 result
  IOCTL_FPGA0_READ = 81,          // in w0 byte offset; out w1 value, w2 result
  IOCTL_FPGA1_WRITE = 82,
  IOCTL_FPGA1_READ = 83,
  IOCTL_FPGA2_WRITE = 84,
  IOCTL_FPGA2_READ = 85,
  IOCTL_FPGA3_WRITE = 86,
  IOCTL_FPGA3_READ = 87,
  IOCTL_BOOT_DSP_SDRAM = 98,     // DSP boot block; out w4 result; the DSP is left in local reset
  IOCTL_BOOT_DSP_INTERNAL = 99,  // DSP boot block; out w4 result; the DSP is left running
  IOCTL_WRITE8 = 128,            // in w0 physical address, w1 value; out w2 result (0, -1)
  IOCTL_READ8 = 129,             // in w0 physical address; out w1 value, w2 result (0, -1)
  IOCTL_WRITE16 = 130,
  IOCTL_READ16 = 131,
  IOCTL_WRITE32 = 132,
  IOCTL_READ32 = 133,
  IOCTL_SET_BLOCK2D = 134,    // in w0 SDRAM address, w1 rows, w2 bytes per row, w3 spare, w4 row stride
  IOCTL_READ_BLOCK2D = 135,   // block = rows x bytes-per-row bytes, filled from the area
  IOCTL_WRITE_BLOCK2D = 136,  // block = rows x bytes-per-row bytes, scattered into the area
  IOCTL_SET_BLOCK = 137,      // in w0 physical address, w1 length in bytes
  IOCTL_READ_BLOCK = 138,     // block = length bytes, filled from the area
  IOCTL_WRITE_BLOCK = 139,    // block = length bytes, copied into the area
  IOCTL_WRITE_BATCH = 144,    // pairs {w2k address, w2k+1 value}, then IOCTL_LIST_END; out: the end
                              // word replaced by the system time in ms
  IOCTL_FLASH_ERASE = 145,    // in w0 flash offset
  IOCTL_FLASH_PROGRAM = 146,  // in w0 byte count, w1 flash offset, w2 source pointer
  IOCTL_FLASH_READ = 147,     // in w0 byte count, w1 flash offset, w2 destination pointer
};

// The header words of a configuration block; the bitstream follows.
constexpr uint32_t IOCTL_FPGA_CONFIG_WORDS = 4;
// The header words of a DSP boot block: w0 destination 1, w1 length 1,
// w2 destination 2, w3 length 2, w4 result, w5 destination 3, w6 length 3,
// w7 entry. The three sections follow back to back from w8 on, each as long
// as its length rounded down to a multiple of 4 (they are copied as 32-bit
// words).
constexpr uint32_t IOCTL_DSP_BOOT_WORDS = 8;
// A write batch holds at most 7 pairs and its end word.
constexpr uint32_t IOCTL_WRITE_BATCH_MAX_PAIRS = 7;
constexpr uint32_t IOCTL_WRITE_BATCH_WORDS = 2 * IOCTL_WRITE_BATCH_MAX_PAIRS + 1;
// The 2-D codes move at most this many bytes (rows x bytes per row).
constexpr uint32_t IOCTL_BLOCK2D_MAX_BYTES = 4096;
// Addresses up to this one are plain memory that the direct-access wrappers
// reach without the dispatcher.
constexpr PhysAddr IOCTL_DIRECT_LAST = 0x00FFFFFFu;

// Runs the dispatcher on the code and the block; always 0: results travel
// only in the block.
int32_t Ioctl(uint32_t ulCode, void* pBlock);
// The dispatcher. A code outside the table logs "Ioctl: Command=Undefine\n"
// and leaves the block untouched. Returns 0.
int32_t SystemDeviceIoctl(uint32_t ulCode, void* pBlock);

// ---- Direct access ------------------------------------------------------------
// Addresses up to IOCTL_DIRECT_LAST are accessed directly with the access
// width, everything above through IOCTL_READ8 ... IOCTL_WRITE32. They
// return 0, or -1 when the address lies in no address window (then nothing
// is accessed and a read leaves *pValue as it was).
int32_t IoctlRead8(PhysAddr ulAddr, uint8_t* pucValue);
int32_t IoctlWrite8(PhysAddr ulAddr, uint8_t ucValue);
int32_t IoctlRead16(PhysAddr ulAddr, uint16_t* pusValue);
int32_t IoctlWrite16(PhysAddr ulAddr, uint16_t usValue);
int32_t IoctlRead32(PhysAddr ulAddr, uint32_t* pulValue);
int32_t IoctlWrite32(PhysAddr ulAddr, uint32_t ulValue);

// ---- Wrappers, one per code ----------------------------------------------------
int32_t IoctlInitBoard();
// pBlock: {byte count, flash address, from-flash flag, result}, the
// bitstream bytes after it when the flag is 0; the result word is cleared
// first and returned.
int32_t IoctlConfigFpga(IoctlWord* pBlock);
// Pins 0-7 pass (pin 0 does nothing); -1 without a call for a larger pin.
int32_t IoctlSetGpioFallTrig(uint32_t ulPin);
int32_t IoctlClrGpioFallTrig(uint32_t ulPin);
// -1 for a value of 8 or more, else 0.
int32_t IoctlReserved18(uint32_t ulValue);
int32_t IoctlReserved19(uint32_t ulValue);
// -1 when the driver refused, else 0.
int32_t IoctlGpioSet(uint32_t ulPin);
int32_t IoctlGpioClear(uint32_t ulPin);
int32_t IoctlGpioRead(uint32_t ulPin, uint32_t* pulLevel);

// The USB device driver; results are the driver's.
int32_t IoctlUsbRxReady();
int32_t IoctlUsbStartBulkRx(PhysAddr ulDestination, uint32_t ulByteCount);
int32_t IoctlUsbBulkRxStatus(uint32_t* pulState);
int32_t IoctlConnectUsb();
int32_t IoctlDisconnectUsb();
// Copies the waiting command packet into the buffer (512 bytes) and its
// size into *pusLength: 0, or negative (length 0) when none waits.
int32_t IoctlUsbRead(uint8_t* pucBuffer, uint16_t* pusLength);
int32_t IoctlUsbWrite(const uint8_t* pucBuffer, uint16_t usLength);
struct UsbDescriptorArgs {
  uint32_t ulKind;
  uint32_t ulLength;
  const void* pData;
};
int32_t IoctlUsbSetDescriptor(const UsbDescriptorArgs* pArgs);
int32_t IoctlOpenUsb();
int32_t IoctlCloseUsb();

// The board EEPROM: -1 when the driver failed, else 0.
int32_t IoctlEepromRead(uint32_t ulAddress, uint32_t* pulValue);
int32_t IoctlEepromWrite(uint32_t ulAddress, uint32_t ulValue);

// The kernel's system time in ms.
uint32_t IoctlGetTime();

// 16-bit access at FPGA bank n + byte offset (an offset within the 64 KB
// bank): 0, or -1 for an offset outside the bank.
int32_t IoctlFpga0Write(uint32_t ulOffset, uint16_t usValue);
int32_t IoctlFpga1Write(uint32_t ulOffset, uint16_t usValue);
int32_t IoctlFpga2Write(uint32_t ulOffset, uint16_t usValue);
int32_t IoctlFpga3Write(uint32_t ulOffset, uint16_t usValue);
int32_t IoctlFpga0Read(uint32_t ulOffset, uint16_t* pusValue);
int32_t IoctlFpga1Read(uint32_t ulOffset, uint16_t* pusValue);
int32_t IoctlFpga2Read(uint32_t ulOffset, uint16_t* pusValue);
int32_t IoctlFpga3Read(uint32_t ulOffset, uint16_t* pusValue);

// Loads a DSP image from flash (three sections, see dsp_boot.h) and starts
// it: the SDRAM image is left in local reset, the internal image running.
// 0, or -1 when any step failed.
int32_t LoadDspSdramImage(PhysAddr ulFlashAddr);
int32_t LoadDspInternalImage(PhysAddr ulFlashAddr);

// pBlock: the pairs and their end word (at most 7 pairs); the end word
// comes back as the system time taken right after the last write. A block
// without an end word within 7 pairs, or with an address outside the flash,
// is refused and left as it was. Returns 0.
int32_t IoctlWriteBatch(IoctlWord* pBlock);

// The remembered rectangular SDRAM area of the 2-D codes and the linear
// area of the block codes. A SET and the READ/WRITE that follows must come
// from one task with no other user in between.
struct IoctlBlock2DArea {
  PhysAddr ulAddress;
  uint32_t ulRows;
  uint32_t ulBytesPerRow;
  uint32_t ulSpare;
  uint32_t ulStride;
};
struct IoctlBlockArea {
  PhysAddr ulAddress;
  uint32_t ulLength;
};
int32_t IoctlSetBlock2D(const IoctlBlock2DArea* pArea);
// Move rows x bytes-per-row bytes between the buffer and the area; an area
// outside the SDRAM window or larger than IOCTL_BLOCK2D_MAX_BYTES moves
// nothing. Return 0.
int32_t IoctlReadBlock2D(void* pBuffer);
int32_t IoctlWriteBlock2D(void* pBuffer);
int32_t IoctlSetBlock(const IoctlBlockArea* pArea);
// Read from the flash or SDRAM window, write into the SDRAM window; an
// area outside them moves nothing. Return 0.
int32_t IoctlReadBlock(void* pBuffer);
int32_t IoctlWriteBlock(const void* pBuffer);

// The plain flash operations: one command sequence per sector or halfword,
// no retries and no result (FlashEraseSector and FlashProgram are the ones
// that report). Offsets are taken as 24 bits; a range outside the 8 MB flash
// is refused. A read stores exactly ulByteCount bytes. Return 0.
int32_t IoctlFlashErase(uint32_t ulOffset);
int32_t IoctlFlashProgram(uint32_t ulByteCount, uint32_t ulOffset, const void* pSource);
int32_t IoctlFlashRead(uint32_t ulByteCount, uint32_t ulOffset, void* pDestination);
