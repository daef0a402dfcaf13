// PrinterSession: defaults, opening and closing.
#include "printer_session.h"

#include <cstring>

#include "bom7300upgrade.h"
#include "host_result_codes.h"

namespace hostlib {

PrinterSession::PrinterSession() { std::memset(selectedSerial_, 0xFF, sizeof selectedSerial_); }

PrinterSession::~PrinterSession() { DeleteParts(); }

void PrinterSession::InitDefaults() {
  if (defaultsSet_ == 1) return;
  replyReadSize_ = kDirectReadSize;
  stagingCapacity_ = kStagingCapacity;
  stagingFree_ = kStagingCapacity;
  writePipe_.store(INVALID_HANDLE_VALUE);
  readPipe_.store(INVALID_HANDLE_VALUE);
  selectedDevice_.store(kNoDevice);
  std::memset(selectedSerial_, 0xFF, sizeof selectedSerial_);
  printOptionA_ = kDefaultPrintOptionA;
  mediaSet_ = 0;
  laminateStrings_.Clear();
  image_ = ImageJob{};
  job_ = PrintJob{};
  InitIdentityLut();
  deviceIndexLimit_ = kDeviceCount;
  openedDeviceCount_ = 0;
  defaultsSet_ = 1;
}

bool PrinterSession::CreateParts() {
  if (!writer_) writer_.reset(new (std::nothrow) CommandWriter(*this));
  if (!reader_) reader_.reset(new (std::nothrow) ReplyReader(*this));
  if (!colorMatcher_) colorMatcher_.reset(new (std::nothrow) ColorMatchWrapper());
  if (!pipeline_) pipeline_.reset(new (std::nothrow) ImagePipeline(*this));
  // A record that is not bound yet starts clear; a bound one is kept with
  // its colour world.
  if (colorMatch_.loaded != 1) colorMatch_ = ColorMatchLibrary{};
  return writer_ && reader_ && colorMatcher_ && pipeline_;
}

bool PrinterSession::AllocateBuffers() {
  if (!stripBuffer_) stripBuffer_.reset(new (std::nothrow) uint8_t[kStripBufferSize]);
  if (!stripBuffer_) return false;
  if (!rowBuffer_) {
    rowBuffer_.reset(new (std::nothrow) uint8_t[kRowBufferSize]);
    carriedRowBytes_ = 0;
  }
  if (!rowBuffer_) return false;
  if (!staging_) {
    staging_.reset(new (std::nothrow) uint8_t[kStagingCapacity]);
    stagingCapacity_ = kStagingCapacity;
    stagingFree_ = kStagingCapacity;
  }
  if (!staging_) return false;
  if (!paddingRow_) {
    paddingRow_.reset(new (std::nothrow) uint8_t[kRowBufferSize]);
    if (!paddingRow_) return false;
    std::memset(paddingRow_.get(), 0xFF, kRowBufferSize);
  }
  return true;
}

void PrinterSession::FreeBuffers() {
  stripBuffer_.reset();
  rowBuffer_.reset();
  carriedRowBytes_ = 0;
  staging_.reset();
  stagingCapacity_ = 0;
  stagingFree_ = 0;
  paddingRow_.reset();
}

void PrinterSession::DeleteParts() {
  writer_.reset();
  reader_.reset();
  colorMatcher_.reset();
  pipeline_.reset();
}

int PrinterSession::Open(uint16_t *err) {
  if (g_bDevicesEnumerated.load() == 0) ResetDeviceEntries();
  InitDefaults();
  if (!CreateParts()) {
    *err = RESULT_MEMORY_FULL;
    return 0;
  }
  if (!LoadUsbCtrlLibrary(usb_)) {
    *err = RESULT_USBCTRL_LOAD_FAILED;
    return 0;
  }
  if (!LoadColorMatchLibrary(colorMatch_)) {
    *err = RESULT_COLORMATCH_LOAD_FAILED;
    return 0;
  }
  if (!AllocateBuffers()) {
    *err = RESULT_MEMORY_FULL;
    return 0;
  }
  if (g_bDevicesEnumerated.load() == 0) {
    ResetDeviceEntries();
    uint8_t numbers[kDeviceCount];
    const int16_t found = ListPrinters(numbers);
    // Later enumerations probe only the indexes where this one found a
    // device, until the sessions are destroyed.
    deviceIndexLimit_ = indexesInUse_;
    if (found <= 0) {
      *err = RESULT_USB_OPEN_FAILED;
      return 0;
    }
    g_bDevicesEnumerated.store(1);
  }
  if (firstSelectionDone_ == 0) {
    uint16_t ignored = RESULT_OK;
    SelectPrinter(FirstOpenDevice(), &ignored);
    firstSelectionDone_ = 1;
  }
  *err = RESULT_OK;
  return 1;
}

void PrinterSession::Close() {
  dataPhaseLock_.Release();
  ReleaseDeviceMutexes();
  FreeBuffers();
  if (usb_.loaded == 1) CloseAllDevices();
  FreeColorMatchLibrary(colorMatch_);
  FreeUsbCtrlLibrary(usb_);
  DeleteParts();
}

}  // namespace hostlib
