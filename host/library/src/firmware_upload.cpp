// Firmware and laminate uploads: the whole file is read into memory,
// announced with one CMD_UPDATE, and after the printer's acknowledgement
// written as raw bulk data. The printer then writes its flash and, for the
// firmware kinds, restarts; nothing here waits for that.
#include <windows.h>

#include <memory>
#include <new>

#include "bom7300upgrade.h"
#include "host_result_codes.h"
#include "library_frame.h"
#include "printer_session.h"
#include "protocol/codes.h"
#include "result_mapping.h"
#include "setting_file_reader.h"

namespace hostlib {

namespace {

// The update kind of a kt_updateFirmware type; false for a type that has
// none.
bool FirmwareKind(uint8_t type, uint8_t *kind) {
  switch (type) {
    case FIRMWARE_TYPE_MAIN:
      *kind = protocol::UPDATE_KIND_MAIN;
      return true;
    case FIRMWARE_TYPE_DSP:
      *kind = protocol::UPDATE_KIND_DSP;
      return true;
    case FIRMWARE_TYPE_TABLE:
      *kind = protocol::UPDATE_KIND_TABLE;
      return true;
    default:
      return false;
  }
}

// The whole file in memory. RESULT_FILE_ACCESS_FAILED when it cannot be
// opened or read, RESULT_MEMORY_FULL when there is no room for it, and
// RESULT_BAD_PARAMETER for a file that is empty or too large to announce.
int ReadWholeFile(const char *path, std::unique_ptr<uint8_t[]> *bytes, uint32_t *length, uint16_t *err) {
  SettingFileReader file;
  uint32_t low = 0;
  uint32_t high = 0;
  if (!file.OpenForRead(path) || !file.Size(&low, &high)) {
    *err = RESULT_FILE_ACCESS_FAILED;
    return 0;
  }
  // An empty file would arm a receive of nothing on the printer; the
  // announced size is 32 bits wide.
  if (high != 0 || low == 0) {
    *err = RESULT_BAD_PARAMETER;
    return 0;
  }
  bytes->reset(new (std::nothrow) uint8_t[low]);
  if (!*bytes) {
    *err = RESULT_MEMORY_FULL;
    return 0;
  }
  if (!file.Read(bytes->get(), low)) {
    *err = RESULT_FILE_ACCESS_FAILED;
    return 0;
  }
  *length = low;
  return 1;
}

}  // namespace

int PrinterSession::SendFirmwareFile(const char *path, uint8_t kind, uint16_t *err) {
  if (path == nullptr) {
    *err = RESULT_BAD_PARAMETER;
    return 0;
  }
  std::unique_ptr<uint8_t[]> bytes;
  uint32_t length = 0;
  if (!ReadWholeFile(path, &bytes, &length, err)) return 0;
  uint16_t code = RESULT_OK;
  const int result = writer_->SendUpdate(kind, 0, 0, length, &code) && reader_->ReadAck(&code) &&
                             SendBulkData(*this, bytes.get(), &length, &code)
                         ? 1
                         : 0;
  *err = FoldParameterThenUsbCode(code);
  return result;
}

int PrinterSession::UpdateFirmware(uint8_t type, const char *path, uint16_t *err) {
  DeviceLock lock;
  if (!LockDevice(&lock, err)) return 0;
  uint8_t kind = 0;
  if (!FirmwareKind(type, &kind)) {
    *err = RESULT_BAD_PARAMETER;
    return 0;
  }
  return SendFirmwareFile(path, kind, err);
}

int PrinterSession::UpdateLaminate(uint8_t kind, const char *path, uint16_t *err) {
  DeviceLock lock;
  if (!LockDevice(&lock, err)) return 0;
  return SendFirmwareFile(path, kind, err);
}

}  // namespace hostlib

using namespace hostlib;

extern "C" {

int KT_CALL kt_updateFirmware(uint8_t type, const char *path, uint16_t *err) noexcept {
  return RunOnCallerSession(
      err, [&](PrinterSession &session, uint16_t *code) { return session.UpdateFirmware(type, path, code); });
}

int KT_CALL kt_update_laminate(uint8_t kind, const char *path, uint16_t *err) noexcept {
  return RunOnCallerSession(
      err, [&](PrinterSession &session, uint16_t *code) { return session.UpdateLaminate(kind, path, code); });
}

}  // extern "C"
