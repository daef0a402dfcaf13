// FPGA configuration: the passive-serial load of the bitstream over the
// GPIO bank-0 configuration lines, reached through IOCTL_CONFIG_FPGA, and
// the start-up step that loads the bitstream kept in flash.
#pragma once

#include <cstdint>

#include "firmware/hal/hw.h"
#include "firmware/platform/ioctl.h"

// The bitstream in flash: a 32-bit little-endian byte count, then the bytes.
// Its area ends where the test-pattern data begins.
constexpr PhysAddr FPGA_IMAGE_COUNT_ADDR = 0x602E0000u;
constexpr PhysAddr FPGA_IMAGE_ADDR = 0x602E0004u;
constexpr PhysAddr FPGA_IMAGE_AREA_END = 0x60330000u;
constexpr uint32_t FPGA_IMAGE_MAX_BYTES = FPGA_IMAGE_AREA_END - FPGA_IMAGE_ADDR;

// The configuration lines, bank 0 in the banks 0/1 registers.
constexpr uint32_t FPGA_CFG_DATA = 0x0400u;    // GP0[10] out: the data bit
constexpr uint32_t FPGA_CFG_START = 0x0800u;   // GP0[11] out: pulsed low to start
constexpr uint32_t FPGA_CFG_READY = 0x1000u;   // GP0[12] out: raised 5 ms after success
constexpr uint32_t FPGA_CFG_CLOCK = 0x2000u;   // GP0[13] out: data taken on the rising edge
constexpr uint32_t FPGA_CFG_STATUS = 0x4000u;  // GP0[14] in: 1 when the FPGA takes data
constexpr uint32_t FPGA_CFG_DONE = 0x8000u;    // GP0[15] in: 1 once a whole bitstream arrived

// Loads ulByteCount bitstream bytes into the FPGA. With ulFromFlash not 0
// the bytes are read from flash at ulFlashAddr (already mapped through
// WIN_FLASH); otherwise from pucBlockBytes, the bytes that follow the
// configuration block's header. Returns 0, -1 (the status line did not
// rise), -2 (the done line did not rise) or -3 (a byte count of 0 or larger
// than the bitstream area holds: refused before any line moves, so that a
// count read from erased flash cannot clock on for gigabytes).
int32_t ConfigureFpga(PhysAddr ulFlashAddr, const uint8_t* pucBlockBytes, uint32_t ulByteCount,
                      uint32_t ulFromFlash);

// Where the bitstream lies: {address, byte count, from-flash flag}.
struct FpgaImageInfo {
  PhysAddr ulAddress;
  uint32_t ulCount;
  uint32_t ulFromFlash;
};
// Reads the count at FPGA_IMAGE_COUNT_ADDR and fills the descriptor for the
// bitstream in flash; the result of the count read (the count is 0 when it
// failed).
int32_t GetFpgaImageInfo(FpgaImageInfo* pInfo);

// The configuration block of the start-up: {byte count, flash address,
// from-flash flag, result}.
extern IoctlWord g_FpgaConfigBlock[IOCTL_FPGA_CONFIG_WORDS];
// Configures the FPGA from the bitstream in flash through IOCTL_CONFIG_FPGA;
// the block's result word. A count that does not fit the bitstream area
// (erased flash reads 0xFFFFFFFF) is refused with -3 without a call.
int32_t ConfigureFpgaFromFlash();
