// The printers this process has opened over the virtual USB cable, and the
// watcher that tells the process's windows when printers come and go.
//
// Device indexes count the printers of the bus directory in its stable
// order (by port) at the moment of the call; device numbers (0-127) are
// slots of this table, the lowest free one given at each open. A device
// stays in its slot until SDKUsb_Close, also after its printer left: it is
// then "removed" (SDKUsb_CheckDevice reports 0) and its transfers end at
// once.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "sim/cable/cable_client.h"

namespace usbctrl {

constexpr int kDeviceCount = 128;

struct Device {
  int number = -1;
  std::string port;
  std::shared_ptr<sim::cable::PrinterConnection> connection;
  // Set when the printer's socket left the bus directory or a transfer
  // found it gone; never cleared (a printer that comes back is opened anew).
  std::atomic<bool> removed{false};

  bool Present() const { return !removed.load() && connection->Connected(); }
};

// The bus directory, fixed when the library is loaded: $BOM7300_USB_BUS,
// else the cable's default.
const std::string &BusDirectory();

// The port of the printer at `index` in the bus directory's listing now;
// false when there is none.
bool PortAtIndex(int index, std::string *pPort);

// Opens the printer at `index` into the lowest free slot; -1 when there is
// no printer there, it does not answer, it is already open here, or every
// slot is taken.
int OpenDevice(int index);
// The open (present) device of the printer at `index`, else -1.
int FindOpenDevice(int index);
// Frees the slot; the connection ends when no pipe uses it any more.
bool CloseDevice(int number);
// The device in slot `number`, or null.
std::shared_ptr<Device> DeviceAt(int number);

// A transfer found the printer gone: mark it and let the watcher tell the
// windows (once per device).
void NoteDeviceGone(Device &device);

}  // namespace usbctrl
