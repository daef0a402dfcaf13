// The physical-address windows of the system-device call: the ranges that
// the window codes (IOCTL_READ8 ... IOCTL_WRITE32) and the block codes
// accept, and the bases of the FPGA banks. An address maps to
// base + (address - first). The bases are plain variables that
// InitDeviceWindows writes once at start-up; a window whose base is still 0
// accepts nothing.
#pragma once

#include <cstdint>

#include "firmware/hal/hw.h"

enum AddressWindowId : uint32_t {
  WIN_FLASH = 0,          // NOR flash, 8 MB
  WIN_SDRAM = 1,          // DDR memory from 0xC0400000 up
  WIN_DSP_SHM = 2,        // shared RAM with the DSP
  WIN_FPGA_DEV = 3,       // FPGA device registers (CIS and others)
  WIN_PSC1 = 4,           // power and sleep controller 1
  WIN_MAINSTEP_CTRL = 5,  // main stepper driver control byte
  WIN_SUBSTEP_CTRL = 6,   // sub stepper driver control (FPGA register 0x3E)
  WIN_EXITSTEP_CTRL = 7,  // exit stepper driver control byte
  WIN_COUNT = 8,
};

struct AddressWindow {
  PhysAddr ulFirst;
  PhysAddr ulLast;
  PhysAddr ulBase;  // set by InitDeviceWindows
};

// Indexed by AddressWindowId; the ranges do not overlap.
extern AddressWindow g_AddressWindows[WIN_COUNT];

constexpr PhysAddr FLASH_BASE = 0x60000000u;
constexpr PhysAddr FLASH_LAST = 0x607FFFFFu;
constexpr uint32_t FLASH_SIZE = 0x00800000u;
constexpr PhysAddr SDRAM_WINDOW_FIRST = 0xC0400000u;
constexpr PhysAddr SDRAM_WINDOW_LAST = 0xC7FFFFFFu;

// FPGA register banks 0-3, reached only through IOCTL_FPGA0_WRITE ...
// IOCTL_FPGA3_READ, never through the windows.
constexpr uint32_t FPGA_BANK_COUNT = 4;
extern PhysAddr g_aulFpgaBankBase[FPGA_BANK_COUNT];

// The USB driver's handle, given to every USB request.
extern uint32_t g_hUsbDevice;

// Sets every window base and the FPGA bank bases, then opens the USB device
// driver with its handle into g_hUsbDevice; called once by MainTask before
// any other system-device call. Returns 0.
int32_t InitDeviceWindows();

// Maps an access of ulBytes bytes at ulAddr through the window list: the
// window's id with the mapped address in *pulMapped, or -1 when no window
// holds the whole access.
int32_t MapAddressWindow(PhysAddr ulAddr, uint32_t ulBytes, PhysAddr* pulMapped);

// As MapAddressWindow, restricted to one window.
int32_t MapInWindow(AddressWindowId eWindow, PhysAddr ulAddr, uint32_t ulBytes, PhysAddr* pulMapped);
