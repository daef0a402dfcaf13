// Reading printer information by type: kt_getPrinterInfo, the firmware
// information, and the media-size check that reads the loaded media.
#include <algorithm>
#include <cstring>

#include "bom7300upgrade.h"
#include "host_result_codes.h"
#include "information_types.h"
#include "library_frame.h"
#include "printer_session.h"
#include "protocol/codes.h"
#include "protocol/identity.h"
#include "protocol/media.h"
#include "protocol/status_record.h"
#include "result_mapping.h"

namespace hostlib {

namespace {

// Minimum size of a PINFTAG_MEDIA set request: width at bytes 1-2, height
// at 3-4.
constexpr uint32_t kMediaRequestMin = 10;
// The loaded media's maximum width and height in the reordered media bytes.
constexpr size_t kMediaMaxWidthAt = 5;
constexpr size_t kMediaMaxHeightAt = 7;
// CheckMediaSize reads the media into a buffer of this size.
constexpr uint32_t kMediaReadBuffer = 256;

uint16_t U16At(const uint8_t *bytes, size_t at) {
  return static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

void PutU16(uint8_t *out, size_t at, uint16_t value) {
  out[at] = static_cast<uint8_t>(value);
  out[at + 1] = static_cast<uint8_t>(value >> 8);
}

// The four 4-bit nibbles of a u16, lowest first, one per byte.
void PutNibbles(uint8_t *out, uint16_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>((value >> (4 * i)) & 0x0F);
}

// One information type into `out` (the type's size). 1 on success.
class InformationReader {
 public:
  InformationReader(PrinterSession &session, uint8_t selected) : session_(session), selected_(selected) {}

  int Read(const InformationType &row, uint16_t type, uint8_t *out) {
    switch (row.source) {
      case InfoSource::MediaInfo:
        return ReadMedia(out);
      case InfoSource::Model:
        PutU16(out, 0, protocol::USB_VENDOR_ID);
        PutU16(out, 2, protocol::USB_PRODUCT_ID);
        std::memcpy(out + kModelTextAt, kModelText, sizeof kModelText - 1);
        return 1;
      case InfoSource::EngineInfo:
        return ReadEngineInfo(out);
      case InfoSource::StatusBytes:
        return ReadStatusBytes(row.from, row.size, out);
      case InfoSource::StatusError:
        return ReadStatusError(out);
      case InfoSource::UnitStatus:
        return ReadUnitStatus(out);
      case InfoSource::Counters:
        return Exchange(session_.Writer().SendGetCounters(&code_), out, row.size);
      case InfoSource::ErrorLog:
        return Exchange(session_.Writer().SendGetErrorLog(&code_), out, row.size);
      case InfoSource::DeviceSerial:
        std::memcpy(out, g_aDeviceSerials[selected_], kSerialLength);
        return 1;
      case InfoSource::PrinterSerial:
        return Exchange(session_.Writer().SendGetSerialNo(&code_), out, row.size);
      case InfoSource::Parameter:
        return Exchange(session_.Writer().SendGetParameter(FindParameterType(type)->parameterId, &code_), out,
                        row.size);
    }
    return 0;
  }

 private:
  // After a sent command: the reply's data, of which the first `size`
  // bytes go to `out` (a shorter reply leaves the rest zero).
  int Exchange(int sent, uint8_t *out, size_t size) {
    if (!sent) return 0;
    uint8_t data[kReplyBufferMin] = {};
    if (!session_.Reader().ReadPayload(data, sizeof data, &code_)) return 0;
    std::memcpy(out, data, size);
    return 1;
  }

  // The status data (the whole 100 bytes, zero where the reply is short)
  // and the reply header.
  int ReadStatus(uint8_t *data, protocol::ReplyHeader *header) {
    if (!session_.Writer().SendGetStatus(&code_)) return 0;
    uint8_t reply[kReplyBufferMin] = {};
    if (!session_.Reader().ReadWholeReply(reply, sizeof reply, &code_)) return 0;
    protocol::DecodeReplyHeader(reply, sizeof reply, header);
    std::memcpy(data, reply + protocol::REPLY_HEADER_SIZE, protocol::STATUS_REPLY_SIZE);
    return 1;
  }

  int ReadStatusBytes(size_t from, size_t size, uint8_t *out) {
    uint8_t status[protocol::STATUS_REPLY_SIZE];
    protocol::ReplyHeader header{};
    if (!ReadStatus(status, &header)) return 0;
    std::memcpy(out, status + from, size);
    return 1;
  }

  int ReadStatusError(uint8_t *out) {
    uint8_t status[protocol::STATUS_REPLY_SIZE];
    protocol::ReplyHeader header{};
    if (!ReadStatus(status, &header)) return 0;
    const bool inError = header.printerState == protocol::PRINTER_STATE_ERROR;
    out[0] = inError ? header.errorClass : 0;
    out[1] = inError ? header.errorDetail : 0;
    return 1;
  }

  int ReadUnitStatus(uint8_t *out) {
    uint8_t p[protocol::STATUS_REPLY_SIZE];
    protocol::ReplyHeader header{};
    if (!ReadStatus(p, &header)) return 0;
    out[0] = p[62];
    out[1] = selected_;
    std::memcpy(out + 2, p + 63, 6);
    PutNibbles(out + 8, U16At(p, 69));
    PutNibbles(out + 12, U16At(p, 71));
    out[16] = p[73];
    out[17] = selected_;
    out[18] = p[74];
    out[19] = p[75];
    PutNibbles(out + 20, U16At(p, 76));
    PutNibbles(out + 24, U16At(p, 78));
    return 1;
  }

  int ReadMedia(uint8_t *out) {
    uint8_t media[protocol::MEDIA_INFO_REPLY_SIZE];
    if (!Exchange(session_.Writer().SendGetMediaInfo(&code_), media, sizeof media)) return 0;
    ReorderMediaInfo(media, out);
    return 1;
  }

  // Refused while the printer runs an operation from its panel; otherwise
  // the four records as the printer gives them.
  int ReadEngineInfo(uint8_t *out) {
    uint16_t status = RESULT_OK;
    session_.GetStatus(&status);
    if (status == RESULT_OPERATION_BUSY) return 0;
    std::memset(out, 0, KT_FIRMWARE_INFO_SIZE);
    out[0] = KT_FIRMWARE_INFO_RECORDS;
    for (uint8_t component = 1; component <= KT_FIRMWARE_INFO_RECORDS; ++component) {
      uint8_t *record = out + 1 + KT_FIRMWARE_RECORD_SIZE * (component - 1);
      if (!Exchange(session_.Writer().SendGetFirmwareInfo(component, &code_), record, KT_FIRMWARE_RECORD_SIZE)) {
        return 0;
      }
    }
    return 1;
  }

  PrinterSession &session_;
  uint8_t selected_;
  uint16_t code_ = RESULT_OK;  // lost: the read reports no code
};

}  // namespace

void ReorderMediaInfo(const uint8_t in[protocol::MEDIA_INFO_REPLY_SIZE], uint8_t out[protocol::MEDIA_INFO_REPLY_SIZE]) {
  std::memmove(out, in, protocol::MEDIA_INFO_REPLY_SIZE);
  std::swap(out[1], out[2]);
}

int PrinterSession::GetPrinterInfo(uint16_t type, void *data, uint32_t *size) {
  DeviceLock lock;
  uint16_t code = RESULT_OK;
  if (!LockDevice(&lock, &code)) return 0;
  if (size == nullptr) return 0;
  // Only a printer that is gone or unreachable is refused here; one in an
  // error state still answers every type.
  GetStatus(&code);
  const InformationType *row = FindReadableType(type);
  if (IsUnreachableCode(code) || row == nullptr) {
    *size = 0;
    return 0;
  }
  if (data == nullptr) {
    *size = row->size;
    return 1;
  }
  uint8_t info[kLargestInformation] = {};
  InformationReader reader(*this, selectedDevice_.load());
  if (!reader.Read(*row, type, info)) {
    *size = 0;
    return 0;
  }
  std::memcpy(data, info, std::min<uint32_t>(*size, row->size));
  if (*size > row->size) *size = row->size;
  return 1;
}

int PrinterSession::CheckMediaSize(const void *data, const uint32_t *size, uint16_t *err) {
  mediaSet_ = 0;
  if (data == nullptr || size == nullptr || *size < kMediaRequestMin) {
    *err = RESULT_BAD_PARAMETER;
    return 0;
  }
  const auto *request = static_cast<const uint8_t *>(data);
  const uint16_t width = U16At(request, 1);
  const uint16_t height = U16At(request, 3);
  uint8_t media[kMediaReadBuffer] = {};
  uint32_t mediaSize = sizeof media;
  if (!GetPrinterInfo(PINFTAG_MEDIA, media, &mediaSize) || width > U16At(media, kMediaMaxWidthAt) ||
      height > U16At(media, kMediaMaxHeightAt)) {
    *err = RESULT_MEDIA_MISMATCH;
    return 0;
  }
  mediaWidth_ = width;
  mediaHeight_ = height;
  mediaSet_ = 1;
  *err = RESULT_OK;
  return 1;
}

}  // namespace hostlib

using namespace hostlib;

extern "C" {

int KT_CALL kt_getPrinterInfo(uint16_t type, void *data, uint32_t *size) noexcept {
  return GuardExport<int>(0, nullptr, [&] {
    PrinterSession *session = CallerSession();
    return session == nullptr ? 0 : session->GetPrinterInfo(type, data, size);
  });
}

}  // extern "C"
