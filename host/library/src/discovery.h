// The device tables that all sessions share, and discovery and selection
// on them.
//
// One entry per device number 0-127 (the number SDKUsb_Open hands out):
// open or free, its named mutex, its identity marker, its serial number and
// its two pipes. The tables own the pipe handles and the mutex handles;
// sessions only borrow a device's pipes while it is selected, so every
// handle is closed exactly once, by the table.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

namespace hostlib {

class PrinterSession;

inline constexpr int kDeviceCount = 128;
inline constexpr uint8_t kNoDevice = 255;
inline constexpr int32_t kFreeDevice = -1;
inline constexpr size_t kSerialLength = 8;

// The identity marker of this model: vendor in the high half, product in
// the low half.
uint32_t ExpectedIdentity();

struct DeviceEntries {
  std::atomic<int32_t> number[kDeviceCount];     // the entry's own number while open, else -1
  std::atomic<HANDLE> mutex[kDeviceCount];       // named mutex, INVALID_HANDLE_VALUE = none
  std::atomic<uint32_t> identity[kDeviceCount];  // ExpectedIdentity() when the device matched, else 0
};
struct DevicePipes {
  std::atomic<HANDLE> write[kDeviceCount];  // OUT pipe, INVALID_HANDLE_VALUE = none
  std::atomic<HANDLE> read[kDeviceCount];   // IN pipe
};

extern DeviceEntries g_aDeviceTable;
// Serial numbers, 8 characters not terminated; zero bytes when free.
// Written under g_csLibrary.
extern char g_aDeviceSerials[kDeviceCount][kSerialLength];
extern DevicePipes g_aDevicePipes;
// 1 after the first successful enumeration; cleared when the devices are
// closed.
extern std::atomic<uint32_t> g_bDevicesEnumerated;

// The state at load: every entry free, no handle.
void InitDeviceTables();
// Frees all 128 entries (numbers, identities, serials) before an
// enumeration from scratch; the handles were closed with the devices.
void ResetDeviceEntries();
bool IsDeviceOpen(int device);

// The pipe indexes of a device identity. False for an unknown identity.
bool LookupPipeIndexes(uint32_t identity, uint8_t *readIndex, uint8_t *writeIndex);
// True when the device path carries this model's vendor and product.
bool PathCarriesIdentity(const char *path);

// Closes the sessions' view of a device removed while the process runs:
// checks every session's selected printer, then frees every open device
// that the USB-access library reports gone. Takes g_csLibrary; does nothing
// once the sessions are destroyed.
void SweepAfterDeviceChange();
// Frees every open device that `session`'s USB-access library reports gone.
// Under g_csLibrary.
void SweepRemovedDevices(PrinterSession &session);

// The enumeration that kt_listupPrinter runs, on slot 0's session. Under
// g_csLibrary (taken again).
int16_t ListPrinters(uint8_t numbers[kDeviceCount]);

}  // namespace hostlib
