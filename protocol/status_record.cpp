#include "protocol/status_record.h"

#include <cstring>

namespace protocol {
namespace {

// Record offsets of the fields behind the four header bytes.
constexpr size_t kCounterItems = 4;
constexpr size_t kPaperRemain = 64;
constexpr size_t kJobStatus = 66;
constexpr size_t kKeyEnable = 84;
constexpr size_t kToneCurveFlags = 85;
constexpr size_t kUnitAssign = 95;
constexpr size_t kPrintMode = 98;

constexpr size_t JobStatusBytes() {
  size_t n = 0;
  for (uint8_t w : kJobStatusItemWidth) n += w;
  return n;
}
static_assert(kJobStatus + JobStatusBytes() == kKeyEnable, "job status items fill 66-83");
static_assert(kToneCurveFlags + STATUS_TONE_CURVE_ITEMS + 2 == kUnitAssign,
              "bytes 93 and 94 are the gap before the unit assignment");
static_assert(kPrintMode + 1 == STATUS_RECORD_SIZE, "the print mode ends the record");

// Writes record bytes `from`.. (from is 0 or 4) at out[0]...
void WriteFrom(const StatusRecord& r, size_t from, uint8_t* out) {
  auto at = [&](size_t offset) { return out + (offset - from); };
  if (from == 0) {
    out[0] = r.errorClass;
    out[1] = r.errorDetail;
    out[2] = r.printerState;
    out[3] = r.auxStatus;
  }
  for (size_t i = 0; i < STATUS_COUNTER_ITEMS; ++i) {
    PutU32(at(kCounterItems + 4 * i), r.counterItems[i]);
  }
  PutU16(at(kPaperRemain), r.paperRemain);
  size_t offset = kJobStatus;
  for (size_t i = 0; i < STATUS_JOB_ITEMS; ++i) {
    if (kJobStatusItemWidth[i] == 1) {
      *at(offset) = static_cast<uint8_t>(r.jobStatus[i] & 0xFFu);
    } else {
      PutU16(at(offset), r.jobStatus[i]);
    }
    offset += kJobStatusItemWidth[i];
  }
  *at(kKeyEnable) = r.keyEnable;
  std::memcpy(at(kToneCurveFlags), r.toneCurveFlags, STATUS_TONE_CURVE_ITEMS);
  std::memcpy(at(kUnitAssign), r.unitAssign, STATUS_UNIT_ASSIGN_ITEMS);
  *at(kPrintMode) = r.printMode;
}

void ReadFrom(const uint8_t* in, size_t from, StatusRecord* r) {
  auto at = [&](size_t offset) { return in + (offset - from); };
  if (from == 0) {
    r->errorClass = in[0];
    r->errorDetail = in[1];
    r->printerState = in[2];
    r->auxStatus = in[3];
  }
  for (size_t i = 0; i < STATUS_COUNTER_ITEMS; ++i) {
    r->counterItems[i] = GetU32(at(kCounterItems + 4 * i));
  }
  r->paperRemain = GetU16(at(kPaperRemain));
  size_t offset = kJobStatus;
  for (size_t i = 0; i < STATUS_JOB_ITEMS; ++i) {
    r->jobStatus[i] = kJobStatusItemWidth[i] == 1 ? *at(offset) : GetU16(at(offset));
    offset += kJobStatusItemWidth[i];
  }
  r->keyEnable = *at(kKeyEnable);
  std::memcpy(r->toneCurveFlags, at(kToneCurveFlags), STATUS_TONE_CURVE_ITEMS);
  std::memcpy(r->unitAssign, at(kUnitAssign), STATUS_UNIT_ASSIGN_ITEMS);
  r->printMode = *at(kPrintMode);
}

}  // namespace

int32_t EncodeStatusRecord(const StatusRecord& record, uint8_t* out, size_t capacity) {
  if (out == nullptr) return WIRE_ERR_BAD_ARGUMENT;
  if (capacity < STATUS_RECORD_SIZE) return WIRE_ERR_NO_ROOM;
  std::memset(out, 0, STATUS_RECORD_SIZE);
  WriteFrom(record, 0, out);
  return static_cast<int32_t>(STATUS_RECORD_SIZE);
}

int32_t DecodeStatusRecord(const uint8_t* in, size_t length, StatusRecord* record) {
  if (record == nullptr) return WIRE_ERR_BAD_ARGUMENT;
  *record = StatusRecord{};
  if (in == nullptr) return WIRE_ERR_SHORT_BUFFER;
  if (const int32_t rc = CheckExactLength(length, STATUS_RECORD_SIZE); rc != WIRE_OK) return rc;
  ReadFrom(in, 0, record);
  return WIRE_OK;
}

int32_t EncodeStatusReply(const StatusRecord& record, uint8_t* out, size_t capacity) {
  if (out == nullptr) return WIRE_ERR_BAD_ARGUMENT;
  if (capacity < STATUS_REPLY_SIZE) return WIRE_ERR_NO_ROOM;
  std::memset(out, 0, STATUS_REPLY_SIZE);
  WriteFrom(record, 4, out);
  return static_cast<int32_t>(STATUS_REPLY_SIZE);
}

int32_t DecodeStatusReply(const uint8_t* in, size_t length, StatusRecord* record) {
  if (record == nullptr) return WIRE_ERR_BAD_ARGUMENT;
  *record = StatusRecord{};
  if (in == nullptr) return WIRE_ERR_SHORT_BUFFER;
  if (const int32_t rc = CheckExactLength(length, STATUS_REPLY_SIZE); rc != WIRE_OK) return rc;
  ReadFrom(in, 4, record);
  return WIRE_OK;
}

int32_t StatusFromReply(const ReplyFrame& frame, StatusRecord* record) {
  const int32_t rc = DecodeStatusReply(frame.data, frame.dataLength, record);
  if (rc != WIRE_OK) return rc;
  record->errorClass = frame.header.errorClass;
  record->errorDetail = frame.header.errorDetail;
  record->printerState = frame.header.printerState;
  record->auxStatus = frame.header.auxStatus;
  return WIRE_OK;
}

}  // namespace protocol
