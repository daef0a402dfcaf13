// The address windows of the system-device call and the opening of the USB
// device driver at start-up.
#include "firmware/platform/address_windows.h"

#include "firmware/platform/usb_driver.h"

AddressWindow g_AddressWindows[WIN_COUNT] = {
    {FLASH_BASE, FLASH_LAST, 0},
    {SDRAM_WINDOW_FIRST, SDRAM_WINDOW_LAST, 0},
    {0x80013000u, 0x80013FFFu, 0},
    {0x64040000u, 0x64044FFFu, 0},
    {0x01E27000u, 0x01E270FFu, 0},
    {0x66000000u, 0x6600000Fu, 0},
    {0x6400003Eu, 0x6400004Du, 0},
    {0x66800000u, 0x6680000Fu, 0},
};

PhysAddr g_aulFpgaBankBase[FPGA_BANK_COUNT];
uint32_t g_hUsbDevice;

namespace {

// Where each window's range lies on this board: every window is reached at
// its own address.
constexpr PhysAddr kWindowBase[WIN_COUNT] = {
    FLASH_BASE, SDRAM_WINDOW_FIRST, 0x80013000u, 0x64040000u, 0x01E27000u, 0x66000000u, 0x6400003Eu, 0x66800000u,
};

constexpr PhysAddr kFpgaBankBase[FPGA_BANK_COUNT] = {0x64000000u, 0x64010000u, 0x64020000u, 0x64030000u};

}  // namespace

int32_t InitDeviceWindows() {
  for (uint32_t i = 0; i < WIN_COUNT; ++i) g_AddressWindows[i].ulBase = kWindowBase[i];
  for (uint32_t i = 0; i < FPGA_BANK_COUNT; ++i) g_aulFpgaBankBase[i] = kFpgaBankBase[i];
  // The driver reports a failed open itself; start-up goes on without it.
  UsbDrvOpen(&g_hUsbDevice);
  return 0;
}

int32_t MapInWindow(AddressWindowId eWindow, PhysAddr ulAddr, uint32_t ulBytes, PhysAddr* pulMapped) {
  if (eWindow >= WIN_COUNT || ulBytes == 0) return -1;
  const AddressWindow& w = g_AddressWindows[eWindow];
  if (w.ulBase == 0) return -1;  // not set up yet
  // The whole access must lie inside the window; 64-bit sums do not wrap.
  if (ulAddr < w.ulFirst || static_cast<uint64_t>(ulAddr) + ulBytes - 1 > w.ulLast) return -1;
  *pulMapped = w.ulBase + (ulAddr - w.ulFirst);
  return 0;
}

int32_t MapAddressWindow(PhysAddr ulAddr, uint32_t ulBytes, PhysAddr* pulMapped) {
  for (uint32_t i = 0; i < WIN_COUNT; ++i) {
    if (MapInWindow(static_cast<AddressWindowId>(i), ulAddr, ulBytes, pulMapped) == 0) return static_cast<int32_t>(i);
  }
  return -1;
}
