#include "protocol/identity.h"

#include <cstring>

namespace protocol {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

void PutHex4(uint8_t* out, uint16_t value) {
  for (size_t i = 0; i < 4; ++i) {
    out[i] = static_cast<uint8_t>(kHexDigits[(value >> (12 - 4 * i)) & 0xFu]);
  }
}

// Reads four hex characters (either case); false when one is not hex.
bool GetHex4(const uint8_t* in, uint16_t* value) {
  uint16_t v = 0;
  for (size_t i = 0; i < 4; ++i) {
    const uint8_t c = in[i];
    uint8_t digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<uint8_t>(c - '0');
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<uint8_t>(c - 'A' + 10);
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<uint8_t>(c - 'a' + 10);
    } else {
      return false;
    }
    v = static_cast<uint16_t>((v << 4) | digit);
  }
  *value = v;
  return true;
}

}  // namespace

int32_t EncodeDeviceIdRecord(const char serial[SERIAL_NO_BYTES], uint8_t* out,
                             size_t capacity) {
  if (out == nullptr || serial == nullptr) return WIRE_ERR_BAD_ARGUMENT;
  if (capacity < DEVICE_ID_RECORD_SIZE) return WIRE_ERR_NO_ROOM;
  PutU16Be(out, static_cast<uint16_t>(DEVICE_ID_RECORD_SIZE));
  std::memcpy(out + 2, DEVICE_ID_TEXT.data(), DEVICE_ID_TEXT.size());
  std::memcpy(out + DEVICE_ID_SERIAL_OFFSET, serial, SERIAL_NO_BYTES);
  return static_cast<int32_t>(DEVICE_ID_RECORD_SIZE);
}

ModelNameReply MakeModelNameReply() {
  ModelNameReply r{};
  r.vendorId = USB_VENDOR_ID;
  r.productId = USB_PRODUCT_ID;
  std::memcpy(r.text, MODEL_NAME_TEXT.data(), MODEL_NAME_TEXT_LENGTH);
  return r;
}

int32_t EncodeReply(const ModelNameReply& r, uint8_t* out, size_t capacity) {
  if (out == nullptr) return WIRE_ERR_BAD_ARGUMENT;
  if (capacity < ModelNameReply::kSize) return WIRE_ERR_NO_ROOM;
  PutHex4(out, r.vendorId);
  PutHex4(out + 4, r.productId);
  std::memcpy(out + 8, r.text, MODEL_NAME_TEXT_LENGTH);
  return static_cast<int32_t>(ModelNameReply::kSize);
}

int32_t DecodeReply(const uint8_t* in, size_t length, ModelNameReply* r) {
  if (r == nullptr) return WIRE_ERR_BAD_ARGUMENT;
  *r = ModelNameReply{};
  if (in == nullptr) return WIRE_ERR_SHORT_BUFFER;
  if (const int32_t rc = CheckExactLength(length, ModelNameReply::kSize); rc != WIRE_OK) return rc;
  std::memcpy(r->text, in + 8, MODEL_NAME_TEXT_LENGTH);
  if (!GetHex4(in, &r->vendorId) || !GetHex4(in + 4, &r->productId)) return WIRE_ERR_BAD_VALUE;
  return WIRE_OK;
}

}  // namespace protocol
