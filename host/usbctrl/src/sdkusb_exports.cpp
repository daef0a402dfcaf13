// The thirteen SDKUsb_ entry points of BOM7300UsbCtrl over the virtual USB
// cable. No exception leaves an entry point; each fails as its table in
// bom7300usbctrl_api.h says.
#include <win32_ext.h>
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "bom7300usbctrl_api.h"
#include "pipe_transfers.h"
#include "usb_devices.h"

namespace {

using usbctrl::Device;

// Control requests of the entry points that reach the printer's endpoint 0.
constexpr uint32_t kControlTimeoutMs = 5000;

template <typename Result, typename Body>
Result Guarded(Result failed, Body body) noexcept {
  try {
    return body();
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return failed;
  }
}

// Runs `body(device, in)` on the device and direction of a pipe handle of
// this library; any other handle fails with ERROR_INVALID_HANDLE.
template <typename Body>
int OnPipe(HANDLE pipe, Body body) noexcept {
  return Guarded(0, [&] {
    bool in = false;
    std::shared_ptr<Device> d = usbctrl::PipeDevice(pipe, &in);
    if (d == nullptr) {
      SetLastError(ERROR_INVALID_HANDLE);
      return 0;
    }
    return body(*d, in);
  });
}

std::shared_ptr<Device> OpenDeviceAt(int number) {
  std::shared_ptr<Device> device = usbctrl::DeviceAt(number);
  if (device == nullptr) SetLastError(ERROR_INVALID_HANDLE);
  return device;
}

}  // namespace

#define SDKUSB_EXPORT extern "C" __attribute__((visibility("default")))

SDKUSB_EXPORT int WINAPI SDKUsb_Open(int index) {
  return Guarded(-1, [&] { return usbctrl::OpenDevice(index); });
}

// The flags choose nothing on the cable: as SDKUsb_Open.
SDKUSB_EXPORT int WINAPI SDKUsb_OpenEx(int index, DWORD) { return SDKUsb_Open(index); }

SDKUSB_EXPORT int WINAPI SDKUsb_Close(int device) {
  return Guarded(0, [&] { return usbctrl::CloseDevice(device) ? 1 : 0; });
}

// The cable has no handle of the whole device: callers use the pipes.
SDKUSB_EXPORT HANDLE WINAPI SDKUsb_GetDeviceHandle(int) {
  SetLastError(ERROR_NOT_SUPPORTED);
  return INVALID_HANDLE_VALUE;
}

SDKUSB_EXPORT int WINAPI SDKUsb_GetDeviceName(int device, char *path) {
  return Guarded(0, [&] {
    std::shared_ptr<Device> d = OpenDeviceAt(device);
    if (d == nullptr || path == nullptr) return 0;
    const std::string name = d->connection->DevicePath();
    if (name.size() >= SDKUSB_PATH_SIZE) return 0;
    std::memcpy(path, name.c_str(), name.size() + 1);
    return 1;
  });
}

// The IEEE 1284 device ID as the printer class reads it (a 16-bit
// big-endian length that counts itself, then the text), from what the
// cable read at enumeration. Returns the bytes copied; 0 when the buffer
// is too small or the device is not open.
SDKUSB_EXPORT int WINAPI SDKUsb_GetDeviceIDString(int device, char *buffer, int size) {
  return Guarded(0, [&] {
    std::shared_ptr<Device> d = OpenDeviceAt(device);
    if (d == nullptr || buffer == nullptr || size < 0) return 0;
    const std::vector<uint8_t> &id = d->connection->Identity().deviceId;
    if (id.empty() || id.size() > static_cast<size_t>(size)) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return 0;
    }
    std::memcpy(buffer, id.data(), id.size());
    return static_cast<int>(id.size());
  });
}

SDKUSB_EXPORT HANDLE WINAPI SDKUsb_GetPipeHandle(int device, int interfaceIndex, int pipeIndex, int) {
  return Guarded(INVALID_HANDLE_VALUE, [&] {
    std::shared_ptr<Device> d = OpenDeviceAt(device);
    if (d == nullptr) return INVALID_HANDLE_VALUE;
    if (interfaceIndex != 0 || (pipeIndex != SDKUSB_PIPE_BULK_OUT && pipeIndex != SDKUSB_PIPE_BULK_IN)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return INVALID_HANDLE_VALUE;
    }
    if (!d->Present()) {
      SetLastError(ERROR_GEN_FAILURE);
      return INVALID_HANDLE_VALUE;
    }
    return usbctrl::CreatePipeHandle(d, pipeIndex == SDKUSB_PIPE_BULK_IN);
  });
}

// Closes a pipe handle of this library; any other handle, or one already
// closed, fails with ERROR_INVALID_HANDLE and is left alone.
SDKUSB_EXPORT int WINAPI SDKUsb_ClosePipe(HANDLE pipe) {
  if (!usbctrl::IsPipeHandle(pipe)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return CloseHandle(pipe) ? 1 : 0;
}

// Ends the transfers in progress on the pipe (their calls fail with
// ERROR_OPERATION_ABORTED).
SDKUSB_EXPORT int WINAPI SDKUsb_AbortPipe(HANDLE pipe) {
  return OnPipe(pipe, [](Device &d, bool in) {
    d.connection->AbortPipe(in ? sim::cable::Pipe::BulkIn : sim::cable::Pipe::BulkOut);
    return 1;
  });
}

namespace {

// CLEAR_FEATURE(ENDPOINT_HALT) on the pipe's endpoint.
bool ClearHalt(Device &d, bool in) {
  const sim::cable::PrinterIdentity &id = d.connection->Identity();
  const uint8_t endpoint = in ? id.bulkInEndpoint : id.bulkOutEndpoint;
  return d.connection->ClearHalt(endpoint, kControlTimeoutMs).outcome == sim::cable::Outcome::Done;
}

}  // namespace

// Clears a halted pipe and its data toggle.
SDKUSB_EXPORT int WINAPI SDKUsb_ResetPipe(HANDLE pipe) {
  return OnPipe(pipe, [](Device &d, bool in) {
    if (!ClearHalt(d, in)) {
      SetLastError(ERROR_GEN_FAILURE);
      return 0;
    }
    return 1;
  });
}

SDKUSB_EXPORT int WINAPI SDKUsb_CheckDeviceName(int index) {
  return Guarded(-1, [&] { return usbctrl::FindOpenDevice(index); });
}

SDKUSB_EXPORT int WINAPI SDKUsb_CheckDevice(int device) {
  return Guarded(0, [&] {
    std::shared_ptr<Device> d = usbctrl::DeviceAt(device);
    return d != nullptr && d->Present() ? 1 : 0;
  });
}

// The cable cannot reset the printer's port: the nearest it offers is to
// end every transfer of the device and clear both bulk pipes.
SDKUSB_EXPORT int WINAPI SDKUsb_ResetDevice(int device) {
  return Guarded(0, [&] {
    std::shared_ptr<Device> d = OpenDeviceAt(device);
    if (d == nullptr) return 0;
    if (!d->Present()) {
      SetLastError(ERROR_GEN_FAILURE);
      return 0;
    }
    d->connection->AbortPipe(sim::cable::Pipe::BulkOut);
    d->connection->AbortPipe(sim::cable::Pipe::BulkIn);
    const bool ok = ClearHalt(*d, false) && ClearHalt(*d, true);
    if (!ok) SetLastError(ERROR_GEN_FAILURE);
    return ok ? 1 : 0;
  });
}
