// Setting printer information by type: kt_setPrinterInfo. Command types go
// to the printer and report the builder's or the acknowledgement's code
// unchanged; the print options, the media size and the laminate strings are
// kept by the session for the next print. No value is read past the size
// the caller gives for its data: a smaller size is refused before anything
// is sent or kept.
#include <algorithm>
#include <cstring>

#include "bom7300upgrade.h"
#include "host_result_codes.h"
#include "information_types.h"
#include "library_frame.h"
#include "printer_session.h"

namespace hostlib {

namespace {

// PINFTAG_LAMISTRING: u16 x, u16 y, u8 style 1, u8 style 2, u8 length,
// then the text.
constexpr size_t kLaminateTextAt = 7;

// The caller's data holds at least `bytes`.
bool Holds(const uint32_t *size, size_t bytes) { return size != nullptr && *size >= bytes; }

size_t WidthOf(ParameterWidth width) {
  switch (width) {
    case ParameterWidth::I8:
      return sizeof(int8_t);
    case ParameterWidth::U16:
      return sizeof(uint16_t);
    case ParameterWidth::U32:
      break;
  }
  return sizeof(uint32_t);
}

// A laminate-string entry: its fixed fields and the characters of its text
// that are kept.
bool HoldsLaminateString(const uint8_t *bytes, const uint32_t *size) {
  return Holds(size, kLaminateTextAt) &&
         Holds(size, kLaminateTextAt + std::min<size_t>(bytes[kLaminateTextAt - 1], protocol::LAMINATE_TEXT_MAX));
}

// A value of the caller's type, as it lies in the caller's memory.
template <typename Value>
Value ValueAt(const uint8_t *bytes, size_t at = 0) {
  Value value;
  std::memcpy(&value, bytes + at, sizeof value);
  return value;
}

// The caller's parameter value widened to the u32 of CMD_SET_PARAMETER.
uint32_t WidenedParameter(ParameterWidth width, const uint8_t *bytes) {
  switch (width) {
    case ParameterWidth::I8:
      return static_cast<uint32_t>(static_cast<int32_t>(ValueAt<int8_t>(bytes)));
    case ParameterWidth::U16:
      return ValueAt<uint16_t>(bytes);
    case ParameterWidth::U32:
      break;
  }
  return ValueAt<uint32_t>(bytes);
}

LaminateString LaminateStringAt(const uint8_t *bytes) {
  LaminateString entry;
  entry.x = ValueAt<uint16_t>(bytes, 0);
  entry.y = ValueAt<uint16_t>(bytes, 2);
  entry.style1 = bytes[4];
  entry.style2 = bytes[5];
  entry.textLength = bytes[6];
  std::memcpy(entry.text, bytes + kLaminateTextAt, std::min<size_t>(entry.textLength, sizeof entry.text));
  return entry;
}

}  // namespace

int PrinterSession::SetPrinterInfo(uint16_t type, const void *data, uint32_t *size, uint16_t *err) {
  DeviceLock lock;
  if (!LockDevice(&lock, err)) return 0;
  if (data == nullptr) return Refuse(err);
  const auto *bytes = static_cast<const uint8_t *>(data);
  if (const ParameterType *parameter = FindParameterType(type)) {
    if (!Holds(size, WidthOf(parameter->width))) return Refuse(err);
    return writer_->SendSetParameter(parameter->parameterId, WidenedParameter(parameter->width, bytes), err) &&
                   reader_->ReadAck(err)
               ? 1
               : 0;
  }
  switch (type) {
    case PINFTAG_MEDIA:
      return CheckMediaSize(data, size, err);
    case PINFTAG_PRINTOPT_A:
      if (!Holds(size, sizeof(uint16_t))) return Refuse(err);
      printOptionA_ = ValueAt<uint16_t>(bytes);
      return 1;
    case PINFTAG_PRINTOPT_B:
      if (!Holds(size, sizeof(uint8_t))) return Refuse(err);
      printOptionB_ = bytes[0];
      return 1;
    case PINFTAG_SERIAL:
      if (size == nullptr || *size != kSerialLength) return Refuse(err);
      return writer_->SendSetSerialNo(static_cast<const char *>(data), err) && reader_->ReadAck(err) ? 1 : 0;
    case PINFTAG_LAMISTRING:
      if (!HoldsLaminateString(bytes, size)) return Refuse(err);
      return laminateStrings_.Add(LaminateStringAt(bytes)) ? 1 : Refuse(err);
    case PINFTAG_OPERATION_BUTTON: {
      if (!Holds(size, sizeof(uint16_t))) return Refuse(err);
      const uint16_t enable = ValueAt<uint16_t>(bytes);
      if (enable > 1) return Refuse(err);
      return writer_->SendOperationButton(static_cast<uint8_t>(enable), err) && reader_->ReadAck(err) ? 1 : 0;
    }
    default:
      return Refuse(err);
  }
}

}  // namespace hostlib

using namespace hostlib;

extern "C" {

int KT_CALL kt_setPrinterInfo(uint16_t type, const void *data, uint32_t *size, uint16_t *err) noexcept {
  return RunOnCallerSession(
      err, [&](PrinterSession &session, uint16_t *code) { return session.SetPrinterInfo(type, data, size, code); });
}

}  // extern "C"
