// Discovery and selection: the shared device tables, enumeration, the
// selection of a session's printer, and the sweep after a device change.
#include "discovery.h"

#include <cstdio>
#include <cstring>

#include "bom7300upgrade.h"
#include "library_frame.h"
#include "printer_session.h"
#include "trace_log.h"
#include "protocol/identity.h"

namespace hostlib {

DeviceEntries g_aDeviceTable;
char g_aDeviceSerials[kDeviceCount][kSerialLength];
DevicePipes g_aDevicePipes;
std::atomic<uint32_t> g_bDevicesEnumerated{0};

namespace {

struct PipeIndexRow {
  uint32_t identity;
  uint8_t readIndex;
  uint8_t writeIndex;
};

// One row per supported device identity, searched in order.
const PipeIndexRow kPipeIndexTable[] = {
    {(uint32_t{protocol::USB_VENDOR_ID} << 16) | protocol::USB_PRODUCT_ID, SDKUSB_PIPE_BULK_IN, SDKUSB_PIPE_BULK_OUT},
};

bool ValidDeviceNumber(int device) { return device >= 0 && device < kDeviceCount; }

void ClearSerial(int device) { std::memset(g_aDeviceSerials[device], 0, kSerialLength); }

// Releases (when this thread holds it) and closes a device's mutex.
void DropDeviceMutex(int device) {
  HANDLE mutex = g_aDeviceTable.mutex[device].exchange(INVALID_HANDLE_VALUE);
  if (mutex == INVALID_HANDLE_VALUE) return;
  ReleaseMutex(mutex);
  CloseHandle(mutex);
}

// Creates (or opens) the device's named mutex, once per device entry.
void EnsureDeviceMutex(int device, const char *path) {
  if (g_aDeviceTable.mutex[device].load() != INVALID_HANDLE_VALUE) return;
  HANDLE mutex = CreateMutexA(nullptr, FALSE, path + SDKUSB_PATH_MUTEX_NAME_AT);
  g_aDeviceTable.mutex[device].store(mutex != nullptr ? mutex : INVALID_HANDLE_VALUE);
}

// Closes the device's two pipes through the table, which owns them, and
// takes them from every session that borrowed them. A pipe of a direction
// whose transfer once timed out is forgotten without being closed.
void ReleaseDevicePipes(UsbCtrlLibrary &usb, int device) {
  HANDLE write = g_aDevicePipes.write[device].exchange(INVALID_HANDLE_VALUE);
  HANDLE read = g_aDevicePipes.read[device].exchange(INVALID_HANDLE_VALUE);
  if (write != INVALID_HANDLE_VALUE && g_bWriteTimedOut.load() != 1) usb.ClosePipe(write);
  if (read != INVALID_HANDLE_VALUE && g_bReadTimedOut.load() != 1) usb.ClosePipe(read);
  for (int i = 0; i < kMaxSessionSlots; ++i) {
    PrinterSession *session = g_apSessions[i].load();
    if (session != nullptr) session->ForgetPipes(write, read);
  }
}

// Returns an open device entry to free: the USB-access library closes it,
// its mutex and pipes go, its identity and serial are cleared.
void FreeDevice(UsbCtrlLibrary &usb, int device) {
  usb.Close(device);
  g_aDeviceTable.number[device].store(kFreeDevice);
  g_aDeviceTable.identity[device].store(0);
  ClearSerial(device);
  DropDeviceMutex(device);
  ReleaseDevicePipes(usb, device);
}

}  // namespace

uint32_t ExpectedIdentity() { return (uint32_t{protocol::USB_VENDOR_ID} << 16) | protocol::USB_PRODUCT_ID; }

void InitDeviceTables() {
  for (int d = 0; d < kDeviceCount; ++d) {
    g_aDeviceTable.mutex[d].store(INVALID_HANDLE_VALUE);
    g_aDevicePipes.write[d].store(INVALID_HANDLE_VALUE);
    g_aDevicePipes.read[d].store(INVALID_HANDLE_VALUE);
  }
  ResetDeviceEntries();
}

void ResetDeviceEntries() {
  for (int d = 0; d < kDeviceCount; ++d) {
    g_aDeviceTable.number[d].store(kFreeDevice);
    g_aDeviceTable.identity[d].store(0);
    ClearSerial(d);
  }
}

bool IsDeviceOpen(int device) {
  return ValidDeviceNumber(device) && g_aDeviceTable.number[device].load() != kFreeDevice;
}

bool LookupPipeIndexes(uint32_t identity, uint8_t *readIndex, uint8_t *writeIndex) {
  for (const PipeIndexRow &row : kPipeIndexTable) {
    if (row.identity == identity) {
      *readIndex = row.readIndex;
      *writeIndex = row.writeIndex;
      return true;
    }
  }
  return false;
}

bool PathCarriesIdentity(const char *path) {
  char vendor[8];
  char product[8];
  std::snprintf(vendor, sizeof vendor, "%04x", unsigned{protocol::USB_VENDOR_ID});
  std::snprintf(product, sizeof product, "%04x", unsigned{protocol::USB_PRODUCT_ID});
  return std::strlen(path) >= SDKUSB_PATH_PRODUCT_AT + 4 && std::memcmp(path + SDKUSB_PATH_VENDOR_AT, vendor, 4) == 0 &&
         std::memcmp(path + SDKUSB_PATH_PRODUCT_AT, product, 4) == 0;
}

// ---- Enumeration -----------------------------------------------------------------

uint16_t PrinterSession::EnumeratePrinters(uint8_t *numbers) {
  const uint8_t remembered = selectedDevice_.load();
  uint16_t found = 0;
  uint16_t opened = 0;
  indexesInUse_ = 0;
  for (int index = 0; index < deviceIndexLimit_ && found < kDeviceCount; ++index) {
    char path[SDKUSB_PATH_SIZE] = {};
    int device = usb_.CheckDeviceName(index);
    if (device != kFreeDevice) {
      // Open in this process already: listed again as it is.
      if (!ValidDeviceNumber(device)) continue;
      g_aDeviceTable.number[device].store(device);
      indexesInUse_ = static_cast<uint16_t>(index + 1);
      if (usb_.GetDeviceName(device, path) == 1) {
        path[SDKUSB_PATH_SIZE - 1] = '\0';
        EnsureDeviceMutex(device, path);
        numbers[found++] = static_cast<uint8_t>(device);
      }
      continue;
    }
    device = usb_.Open(index);
    if (device == kFreeDevice) continue;
    if (!ValidDeviceNumber(device)) {
      usb_.Close(device);
      continue;
    }
    g_aDeviceTable.number[device].store(device);
    indexesInUse_ = static_cast<uint16_t>(index + 1);
    usb_.GetDeviceName(device, path);
    path[SDKUSB_PATH_SIZE - 1] = '\0';
    EnsureDeviceMutex(device, path);
    openedDeviceCount_ = ++opened;
    // A new printer is asked for its serial only while no other user of the
    // process or of another one works on it.
    HANDLE mutex = g_aDeviceTable.mutex[device].load();
    const DWORD waited = mutex != INVALID_HANDLE_VALUE ? WaitForSingleObject(mutex, INFINITE) : WAIT_FAILED;
    const bool owned = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    bool listed = false;
    if (owned && PathCarriesIdentity(path)) {
      g_aDeviceTable.identity[device].store(ExpectedIdentity());
      if (OpenPipes(device) && ReadSerialNumber(device)) {
        numbers[found++] = static_cast<uint8_t>(device);
        listed = true;
      }
    }
    if (owned) ReleaseMutex(mutex);
    if (!listed) FreeDevice(usb_, device);
  }
  // Serial reads pointed the session's pipes at each new printer; the
  // session goes back to the printer it had selected, or to none.
  uint16_t ignored = RESULT_OK;
  if (remembered == kNoDevice || SelectPrinter(remembered, &ignored) == kNoDevice) BorrowPipes(kFreeDevice);
  return found;
}

int16_t PrinterSession::ListSerialNumbers(char *serials) {
  uint8_t numbers[kDeviceCount];
  std::memset(numbers, 0xFF, sizeof numbers);
  int16_t count = static_cast<int16_t>(EnumeratePrinters(numbers));
  if (count <= 0 || count >= kDeviceCount) return 0;
  for (int i = 0; i < count; ++i) std::memcpy(serials + kSerialLength * i, g_aDeviceSerials[numbers[i]], kSerialLength);
  return count;
}

bool PrinterSession::OpenPipes(int device) {
  uint8_t readIndex = 0;
  uint8_t writeIndex = 0;
  if (!LookupPipeIndexes(g_aDeviceTable.identity[device].load(), &readIndex, &writeIndex)) return false;
  readPipeIndex_ = readIndex;
  writePipeIndex_ = writeIndex;
  HANDLE read = usb_.GetPipeHandle(device, 0, readIndex, 0);
  HANDLE write = usb_.GetPipeHandle(device, 0, writeIndex, 0);
  g_aDevicePipes.read[device].store(read != nullptr ? read : INVALID_HANDLE_VALUE);
  g_aDevicePipes.write[device].store(write != nullptr ? write : INVALID_HANDLE_VALUE);
  if (TraceEnabled()) {
    TraceConnectHandle(1, device);
    TraceConnectHandle(2, device);
  }
  return g_aDevicePipes.read[device].load() != INVALID_HANDLE_VALUE &&
         g_aDevicePipes.write[device].load() != INVALID_HANDLE_VALUE;
}

bool PrinterSession::ReadSerialNumber(int device) {
  BorrowPipes(device);
  uint8_t serial[kSerialLength] = {};
  uint16_t code = RESULT_OK;
  uint16_t length = 0;
  if (!writer_->SendGetSerialNo(&code)) return false;
  if (!reader_->ReadPayload(serial, sizeof serial, &code, &length) || length != kSerialLength) return false;
  std::memcpy(g_aDeviceSerials[device], serial, kSerialLength);
  return true;
}

// ---- Selection -------------------------------------------------------------------

void PrinterSession::BorrowPipes(int device) {
  if (ValidDeviceNumber(device)) {
    writePipe_.store(g_aDevicePipes.write[device].load());
    readPipe_.store(g_aDevicePipes.read[device].load());
  } else {
    writePipe_.store(INVALID_HANDLE_VALUE);
    readPipe_.store(INVALID_HANDLE_VALUE);
  }
}

void PrinterSession::ForgetPipes(HANDLE write, HANDLE read) {
  if (write != INVALID_HANDLE_VALUE) {
    HANDLE expected = write;
    writePipe_.compare_exchange_strong(expected, INVALID_HANDLE_VALUE);
  }
  if (read != INVALID_HANDLE_VALUE) {
    HANDLE expected = read;
    readPipe_.compare_exchange_strong(expected, INVALID_HANDLE_VALUE);
  }
}

uint8_t PrinterSession::SelectPrinter(uint8_t number, uint16_t *err) {
  *err = RESULT_PRINTER_NOT_FOUND;
  if (number == kNoDevice) {
    const uint8_t selected = selectedDevice_.load();
    if (IsDeviceOpen(selected)) {
      *err = RESULT_OK;
      return selected;
    }
    return kNoDevice;
  }
  if (!IsDeviceOpen(number)) return kNoDevice;
  printOptionA_ = kDefaultPrintOptionA;
  selectedDevice_.store(number);
  BorrowPipes(number);
  *err = RESULT_OK;
  return number;
}

char *PrinterSession::SelectPrinterBySerial(const char *serial, uint16_t *err) {
  *err = RESULT_PRINTER_NOT_FOUND;
  if (serial != nullptr) {
    for (int d = 0; d < kDeviceCount; ++d) {
      if (!IsDeviceOpen(d) || std::memcmp(g_aDeviceSerials[d], serial, kSerialLength) != 0) continue;
      selectedDevice_.store(static_cast<uint8_t>(d));
      std::memcpy(selectedSerial_, serial, kSerialLength);
      BorrowPipes(d);
      *err = RESULT_OK;
      break;
    }
  } else {
    const uint8_t selected = selectedDevice_.load();
    if (selected < kDeviceCount) {
      std::memcpy(selectedSerial_, g_aDeviceSerials[selected], kSerialLength);
      if (IsDeviceOpen(selected)) *err = RESULT_OK;
    }
  }
  return selectedSerial_;
}

void PrinterSession::CopySelectedSerial(char out[kSerialLength]) const {
  std::memcpy(out, selectedSerial_, kSerialLength);
}

int PrinterSession::IsExpectedModel() const {
  const uint8_t selected = selectedDevice_.load();
  if (selected >= kDeviceCount) return 0;
  return g_aDeviceTable.identity[selected].load() == ExpectedIdentity() ? 1 : 0;
}

uint8_t PrinterSession::FirstOpenDevice() {
  for (int d = 0; d < kDeviceCount; ++d) {
    if (IsDeviceOpen(d)) return static_cast<uint8_t>(d);
  }
  return kNoDevice;
}

// ---- Closing and removal ---------------------------------------------------------

void PrinterSession::ClosePipes() {
  const uint8_t selected = selectedDevice_.load();
  if (IsDeviceOpen(selected)) ReleaseDevicePipes(usb_, selected);
  BorrowPipes(kFreeDevice);
}

void PrinterSession::ReleaseDeviceMutexes() {
  for (int d = 0; d < kDeviceCount; ++d) {
    if (g_aDeviceTable.mutex[d].load() == INVALID_HANDLE_VALUE) continue;
    DropDeviceMutex(d);
    ClearSerial(d);
  }
}

void PrinterSession::CloseAllDevices() {
  // All 128 entries, not only the probed indexes: a device number need not
  // lie below the number of indexes probed.
  for (int d = 0; d < kDeviceCount; ++d) {
    if (IsDeviceOpen(d)) {
      FreeDevice(usb_, d);
    } else {
      DropDeviceMutex(d);
      ReleaseDevicePipes(usb_, d);
    }
  }
  BorrowPipes(kFreeDevice);
  g_bDevicesEnumerated.store(0);
  firstSelectionDone_ = 0;
}

void PrinterSession::CheckSelectedDevice() {
  const uint8_t selected = selectedDevice_.load();
  if (!IsDeviceOpen(selected) || usb_.CheckDevice(selected) != 0) return;
  ClosePipes();
  selectedDevice_.store(kNoDevice);
}

void SweepRemovedDevices(PrinterSession &session) {
  UsbCtrlLibrary &usb = session.Usb();
  for (int d = 0; d < kDeviceCount; ++d) {
    if (IsDeviceOpen(d) && usb.CheckDevice(d) == 0) FreeDevice(usb, d);
  }
}

void SweepAfterDeviceChange() {
  LibraryLock lock;
  PrinterSession *first = g_apSessions[0].load();
  // The sessions may be gone already (the last kt_close ran first): there
  // is nothing left to sweep.
  if (first == nullptr || first->Usb().loaded != 1) return;
  for (int i = 0; i < kMaxSessionSlots; ++i) {
    PrinterSession *session = g_apSessions[i].load();
    if (session != nullptr && session->Usb().loaded == 1) session->CheckSelectedDevice();
  }
  SweepRemovedDevices(*first);
}

int16_t ListPrinters(uint8_t numbers[kDeviceCount]) {
  LibraryLock lock;
  std::memset(numbers, 0xFF, kDeviceCount);
  PrinterSession *first = g_apSessions[0].load();
  if (first == nullptr || first->Usb().loaded != 1) return 0;
  return static_cast<int16_t>(first->EnumeratePrinters(numbers));
}

}  // namespace hostlib

using namespace hostlib;

extern "C" {

int16_t KT_CALL kt_listupPrinter(uint8_t numbers[KT_PRINTER_LIST_SIZE]) noexcept {
  return GuardExport<int16_t>(0, nullptr, [&]() -> int16_t {
    if (numbers == nullptr) return 0;
    return ListPrinters(numbers);
  });
}

int16_t KT_CALL kt_listupPrinterSN(char serials[KT_SERIAL_LIST_SIZE]) noexcept {
  return GuardExport<int16_t>(0, nullptr, [&]() -> int16_t {
    if (serials == nullptr) return 0;
    LibraryLock lock;
    std::memset(serials, 0xFF, KT_SERIAL_LIST_SIZE);
    PrinterSession *first = g_apSessions[0].load();
    if (first == nullptr || first->Usb().loaded != 1) return 0;
    return first->ListSerialNumbers(serials);
  });
}

uint8_t KT_CALL kt_selectPrinter(uint8_t number, uint16_t *err) noexcept {
  return GuardExport<uint8_t>(kNoDevice, err, [&]() -> uint8_t {
    LibraryLock lock;
    SetCode(err, RESULT_NO_SESSION);
    const int slot = AssignThreadSlot();
    if (slot < 0) return kNoDevice;
    uint16_t code = RESULT_OK;
    const uint8_t selected = g_apSessions[slot].load()->SelectPrinter(number, &code);
    SetCode(err, code);
    return selected;
  });
}

char *KT_CALL kt_selectPrinterSN(const char serial[KT_SERIAL_LENGTH], uint16_t *err) noexcept {
  return GuardExport<char *>(nullptr, err, [&]() -> char * {
    LibraryLock lock;
    SetCode(err, RESULT_NO_SESSION);
    const int slot = AssignThreadSlot();
    if (slot < 0) return nullptr;
    uint16_t code = RESULT_OK;
    char *selected = g_apSessions[slot].load()->SelectPrinterBySerial(serial, &code);
    SetCode(err, code);
    return selected;
  });
}

int KT_CALL kt_GetModelName(uint16_t *err) noexcept {
  return GuardExport<int>(0, err, [&] {
    SetCode(err, RESULT_OK);
    PrinterSession *session = CallerSession();
    if (session == nullptr) {
      SetCode(err, RESULT_NO_SESSION);
      return 0;
    }
    return session->IsExpectedModel();
  });
}

}  // extern "C"
