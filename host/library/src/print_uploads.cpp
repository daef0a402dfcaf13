// Tone-curve and laminate-pattern uploads of the print path, the
// tone-curve read-back, and SortedMaximum.
#include <algorithm>
#include <cstring>
#include <vector>

#include "host_result_codes.h"
#include "library_frame.h"
#include "printer_session.h"
#include "protocol/codes.h"
#include "protocol/tone_curve.h"
#include "protocol/wire.h"
#include "result_mapping.h"

namespace hostlib {

namespace {

// The laminate pattern the printer takes in one piece: 2181 bulk writes.
constexpr uint32_t kLaminatePatternSize = 8929536;
constexpr uint16_t kLaminateStepSend = 0;
constexpr uint16_t kLaminateStepRestore = 2;
constexpr uint16_t kToneCurveReset = 0;
constexpr uint32_t kSortedMaximumMax = 260;

bool IsCurveNumber(uint16_t curve) { return curve >= 1 && curve <= protocol::TONE_CURVE_NUMBER_MAX; }

}  // namespace

int PrinterSession::UploadLaminatePattern(uint16_t step, const uint8_t *data, uint16_t *err) {
  DeviceLock lock;
  if (!LockDevice(&lock, err)) return 0;
  uint16_t code = RESULT_OK;
  int result = 0;
  if (step == kLaminateStepSend) {
    // Announcing a pattern that is not there would leave the printer
    // waiting for 8.9 MB.
    if (data == nullptr) return Refuse(err);
    uint32_t length = kLaminatePatternSize;
    result = writer_->SendUpdate(protocol::UPDATE_KIND_LAMINATE_1, 0, 0, kLaminatePatternSize, &code) &&
             reader_->ReadAck(&code) && SendDataDirect(data, &length, &code);
  } else if (step == kLaminateStepRestore) {
    result = writer_->SendReset(protocol::RESET_KIND_LAMINATE, 0, &code) && reader_->ReadAck(&code);
  } else {
    return Refuse(err);
  }
  *err = FoldParameterThenUsbCode(code);
  return result;
}

int PrinterSession::WriteToneCurve(uint16_t type, uint16_t curve, const uint8_t *data, uint16_t *err) {
  DeviceLock lock;
  if (!LockDevice(&lock, err)) return 0;
  if (type > protocol::TONE_CURVE_TYPE_MAX || !IsCurveNumber(curve)) return Refuse(err);
  const auto number = static_cast<uint8_t>(curve);
  uint16_t code = RESULT_OK;
  int result = 0;
  if (type == kToneCurveReset) {
    result = writer_->SendReset(protocol::RESET_KIND_TONE_CURVE, number, &code) && reader_->ReadAck(&code);
  } else {
    if (data == nullptr) return Refuse(err);
    // Type 1 stores the curve (kind 3), type 2 loads it into RAM (kind 4).
    const auto kind = static_cast<uint8_t>(type + 2);
    uint32_t length = protocol::TONE_CURVE_SIZE;
    result = writer_->SendUpdate(kind, number, 0, protocol::TONE_CURVE_SIZE, &code) && reader_->ReadAck(&code) &&
             SendDataDirect(data, &length, &code);
  }
  *err = FoldParameterThenUsbCode(code);
  return result;
}

int PrinterSession::ReadToneCurveLocked(uint16_t type, uint16_t curve, uint16_t *values, uint16_t *err) {
  uint8_t announced[2] = {};
  if (!writer_->SendReadToneCurve(static_cast<uint8_t>(type), static_cast<uint8_t>(curve), err) ||
      !reader_->ReadShortPayload(announced, err)) {
    return 0;
  }
  const uint16_t size = protocol::GetU16(announced);
  // Every piece the printer sends is read, so none is left in the pipe to
  // be taken for the next reply; a curve larger than the caller's 768
  // values is then refused without writing any.
  std::vector<uint8_t> curveBytes(size);
  int32_t received = 0;
  while (received < size) {
    int32_t piece = size - received;
    if (!reader_->ReadToneCurveData(curveBytes.data() + received, &piece, err)) return 0;
    received += piece;
  }
  if (size > protocol::TONE_CURVE_SIZE) {
    *err = RESULT_USB_ERROR;
    return 0;
  }
  // The curve travels as little-endian 16-bit values.
  for (int32_t i = 0; i < size / 2; ++i) values[i] = protocol::GetU16(curveBytes.data() + 2 * i);
  if (size % 2 != 0) values[size / 2] = curveBytes[size - 1];
  *err = RESULT_OK;
  return 1;
}

int PrinterSession::ReadToneCurve(uint16_t type, uint16_t curve, uint16_t *values, uint16_t *err) {
  DeviceLock lock;
  if (!LockDevice(&lock, err)) return 0;
  if (type < 1 || type > protocol::TONE_CURVE_TYPE_MAX || !IsCurveNumber(curve) || values == nullptr) {
    return Refuse(err);
  }
  const int result = ReadToneCurveLocked(type, curve, values, err);
  *err = FoldParameterThenUsbCode(*err);
  return result;
}

int ReplyReader::ReadToneCurveData(uint8_t *out, int32_t *length, uint16_t *err) {
  const int32_t room = *length;
  *length = 0;
  uint8_t transfer[kDirectReadSize];
  uint32_t received = 0;
  if (!ReadDirect(transfer, &received, err)) return 0;
  protocol::ToneCurvePiece piece{};
  if (protocol::DecodeToneCurvePiece(transfer, received, &piece) != protocol::WIRE_OK || piece.length > room) {
    *err = RESULT_USB_ERROR;
    return 0;
  }
  std::memcpy(out, piece.data, piece.length);
  *length = piece.length;
  *err = RESULT_OK;
  return 1;
}

uint16_t SortedMaximum(uint16_t count, const uint16_t *values) {
  const uint32_t looked = std::min<uint32_t>(count, kSortedMaximumMax);
  if (looked == 0 || values == nullptr) return 0;
  return *std::max_element(values, values + looked);
}

}  // namespace hostlib
