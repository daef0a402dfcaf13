// The printer's USB identity, as the printer registers it and the host
// library looks for it: identifiers, interface class, endpoints, texts, the
// IEEE 1284 device-ID record, and the CMD_GET_MODEL_NAME reply that repeats
// them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "protocol/codes.h"
#include "protocol/wire.h"

namespace protocol {

// Vendor and product identifiers are configuration values of the product.
// This pair lies in the top of the 16-bit vendor range, which is not handed
// out to vendors; change both ends together by changing it here.
inline constexpr uint16_t USB_VENDOR_ID = 0xFB07;
inline constexpr uint16_t USB_PRODUCT_ID = 0x7300;
inline constexpr uint16_t USB_DEVICE_RELEASE = 0x0001;
inline constexpr uint16_t USB_VERSION_BCD = 0x0200;  // USB 2.0

// One printer-class interface, bidirectional.
inline constexpr uint8_t USB_INTERFACE_CLASS_PRINTER = 7;
inline constexpr uint8_t USB_INTERFACE_SUBCLASS_PRINTER = 1;
inline constexpr uint8_t USB_INTERFACE_PROTOCOL_BIDIRECTIONAL = 2;

// Commands and bulk data go out on 0x02, replies come back on 0x81.
inline constexpr uint8_t USB_ENDPOINT_BULK_OUT = 0x02;
inline constexpr uint8_t USB_ENDPOINT_BULK_IN = 0x81;
inline constexpr uint16_t USB_BULK_PACKET_HIGH_SPEED = 512;
inline constexpr uint16_t USB_BULK_PACKET_FULL_SPEED = 64;
inline constexpr uint8_t USB_CONTROL_PACKET = 64;

// String texts of the descriptor set, by string index 1-5 (3 is the serial).
inline constexpr std::string_view USB_MANUFACTURER_TEXT = "Brental Orvik Company";
inline constexpr std::string_view USB_PRODUCT_TEXT = "ORVIK M7300 Photo Printer";
inline constexpr std::string_view USB_CONFIG_HIGH_SPEED_TEXT = "Hi-Speed";
inline constexpr std::string_view USB_CONFIG_FULL_SPEED_TEXT = "Full-Speed";

// The serial number: 8 characters, not terminated.
inline constexpr size_t SERIAL_NO_BYTES = 8;
// Stands in the descriptors until the real serial number is patched in.
inline constexpr std::string_view SERIAL_NUMBER_PLACEHOLDER = "R0000000";

// Manufacturer and product joined by a blank: the model text of
// CMD_GET_MODEL_NAME.
inline constexpr std::string_view MODEL_NAME_TEXT =
    "Brental Orvik Company ORVIK M7300 Photo Printer";
inline constexpr size_t MODEL_NAME_TEXT_LENGTH = 47;
static_assert(MODEL_NAME_TEXT.size() == MODEL_NAME_TEXT_LENGTH);
static_assert(MODEL_NAME_TEXT.substr(0, USB_MANUFACTURER_TEXT.size()) == USB_MANUFACTURER_TEXT &&
              MODEL_NAME_TEXT[USB_MANUFACTURER_TEXT.size()] == ' ' &&
              MODEL_NAME_TEXT.substr(USB_MANUFACTURER_TEXT.size() + 1) == USB_PRODUCT_TEXT);

// IEEE 1284 device ID: a 2-byte big-endian length that counts itself, then
// this text, not terminated, with the serial number after "SN:".
inline constexpr std::string_view DEVICE_ID_TEXT =
    "MFG:Brental Orvik Company;CMD:TQPCC;MDL:ORVIK M7300 Photo Printer;CLS:PRINTER;"
    "DES:Thermal Dye Photo Printer;SN:R0000000;";
inline constexpr size_t DEVICE_ID_RECORD_SIZE = 122;
inline constexpr size_t DEVICE_ID_SERIAL_OFFSET = 113;  // in the record
static_assert(2 + DEVICE_ID_TEXT.size() == DEVICE_ID_RECORD_SIZE);
static_assert(2 + DEVICE_ID_TEXT.find("SN:") + 3 == DEVICE_ID_SERIAL_OFFSET);

// Writes the 122-byte device-ID record with the serial number patched in.
int32_t EncodeDeviceIdRecord(const char serial[SERIAL_NO_BYTES], uint8_t* out,
                             size_t capacity);

// CMD_GET_MODEL_NAME, 55 bytes: 0-3 the vendor identifier and 4-7 the
// product identifier as four upper-case hex characters each, 8-54 the
// model text.
struct ModelNameReply {
  static constexpr uint16_t kCode = CMD_GET_MODEL_NAME;
  static constexpr size_t kSize = 55;
  uint16_t vendorId;
  uint16_t productId;
  char text[MODEL_NAME_TEXT_LENGTH];
};

// The reply of this printer: its identifiers and model text.
ModelNameReply MakeModelNameReply();

int32_t EncodeReply(const ModelNameReply& r, uint8_t* out, size_t capacity);
// WIRE_ERR_BAD_VALUE when an identifier is not four hex characters.
int32_t DecodeReply(const uint8_t* in, size_t length, ModelNameReply* r);

}  // namespace protocol
