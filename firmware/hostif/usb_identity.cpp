#include "firmware/hostif/usb_identity.h"

#include <cstring>
#include <string_view>

#include "firmware/devices/serial_number.h"
#include "firmware/platform/ioctl.h"
#include "firmware/platform/usb_driver.h"
#include "protocol/identity.h"
#include "protocol/replies.h"
#include "protocol/wire.h"

namespace {

using protocol::USB_PRODUCT_ID;
using protocol::USB_VENDOR_ID;

constexpr uint8_t Lo(uint16_t us) { return static_cast<uint8_t>(us & 0xFFu); }
constexpr uint8_t Hi(uint16_t us) { return static_cast<uint8_t>(us >> 8); }

// The other-speed configurations, which the driver does not store.
constexpr uint32_t kKindHsOtherSpeed = 13;
constexpr uint32_t kKindFsOtherSpeed = 14;

constexpr uint8_t kDescDevice = 1;
constexpr uint8_t kDescConfiguration = 2;
constexpr uint8_t kDescInterface = 4;
constexpr uint8_t kDescEndpoint = 5;
constexpr uint8_t kDescQualifier = 6;
constexpr uint8_t kDescOtherSpeed = 7;
constexpr uint8_t kEndpointBulk = 2;
constexpr uint8_t kTotalLength = 9 + 9 + 7 + 7;
constexpr uint8_t kSelfPowered = 0xC0;

constexpr uint8_t kDevice[18] = {18, kDescDevice, Lo(protocol::USB_VERSION_BCD), Hi(protocol::USB_VERSION_BCD),
                                 0, 0, 0, protocol::USB_CONTROL_PACKET, Lo(USB_VENDOR_ID), Hi(USB_VENDOR_ID),
                                 Lo(USB_PRODUCT_ID), Hi(USB_PRODUCT_ID), Lo(protocol::USB_DEVICE_RELEASE),
                                 Hi(protocol::USB_DEVICE_RELEASE), 1, 2, 3, 1};
constexpr uint8_t kQualifier[10] = {10, kDescQualifier, Lo(protocol::USB_VERSION_BCD), Hi(protocol::USB_VERSION_BCD),
                                    0, 0, 0, protocol::USB_CONTROL_PACKET, 1, 0};
constexpr uint8_t kHsConfig[9] = {9, kDescConfiguration, kTotalLength, 0, 1, 1, 4, kSelfPowered, 0};
constexpr uint8_t kHsOtherSpeed[9] = {9, kDescOtherSpeed, kTotalLength, 0, 1, 1, 4, kSelfPowered, 0};
constexpr uint8_t kFsConfig[9] = {9, kDescConfiguration, kTotalLength, 0, 1, 1, 5, kSelfPowered, 0};
constexpr uint8_t kFsOtherSpeed[9] = {9, kDescOtherSpeed, kTotalLength, 0, 1, 1, 5, kSelfPowered, 0};
constexpr uint8_t kInterface[9] = {9, kDescInterface, 0, 0, 2, protocol::USB_INTERFACE_CLASS_PRINTER,
                                   protocol::USB_INTERFACE_SUBCLASS_PRINTER,
                                   protocol::USB_INTERFACE_PROTOCOL_BIDIRECTIONAL, 0};
constexpr uint8_t kHsEpOut[7] = {7, kDescEndpoint, protocol::USB_ENDPOINT_BULK_OUT, kEndpointBulk,
                                 Lo(protocol::USB_BULK_PACKET_HIGH_SPEED), Hi(protocol::USB_BULK_PACKET_HIGH_SPEED), 0};
constexpr uint8_t kHsEpIn[7] = {7, kDescEndpoint, protocol::USB_ENDPOINT_BULK_IN, kEndpointBulk,
                                Lo(protocol::USB_BULK_PACKET_HIGH_SPEED), Hi(protocol::USB_BULK_PACKET_HIGH_SPEED), 0};
constexpr uint8_t kFsEpOut[7] = {7, kDescEndpoint, protocol::USB_ENDPOINT_BULK_OUT, kEndpointBulk,
                                 Lo(protocol::USB_BULK_PACKET_FULL_SPEED), Hi(protocol::USB_BULK_PACKET_FULL_SPEED), 0};
constexpr uint8_t kFsEpIn[7] = {7, kDescEndpoint, protocol::USB_ENDPOINT_BULK_IN, kEndpointBulk,
                                Lo(protocol::USB_BULK_PACKET_FULL_SPEED), Hi(protocol::USB_BULK_PACKET_FULL_SPEED), 0};
// The driver's own three-byte record.
constexpr uint8_t kSpare[3] = {0x03, 0x09, 0x01};

constexpr uint32_t kStringCount = 5;
constexpr uint32_t kSerialStringIndex = 3;
constexpr uint32_t kStringTextMax = 32;

// String records: text length in bytes, string index, UTF-16LE text.
struct StringRecord {
  uint8_t aucBytes[2 + 2 * kStringTextMax];
  uint32_t ulLength;
};

// The set as registered; the serial number is patched into string 3 and
// the device ID.
struct IdentitySet {
  StringRecord aStrings[kStringCount];
  uint8_t aucDeviceId[protocol::DEVICE_ID_RECORD_SIZE];
};
IdentitySet s_Set;

void BuildString(StringRecord* pRecord, uint8_t ucIndex, std::string_view text) {
  const uint32_t ulChars = text.size() < kStringTextMax ? static_cast<uint32_t>(text.size()) : kStringTextMax;
  std::memset(pRecord->aucBytes, 0, sizeof pRecord->aucBytes);
  pRecord->aucBytes[0] = static_cast<uint8_t>(2 * ulChars);
  pRecord->aucBytes[1] = ucIndex;
  for (uint32_t i = 0; i < ulChars; ++i) pRecord->aucBytes[2 + 2 * i] = static_cast<uint8_t>(text[i]);
  pRecord->ulLength = 2 + 2 * ulChars;
}

void Register(uint32_t ulKind, const uint8_t* pucRecord, uint32_t ulLength) {
  const UsbDescriptorArgs args{ulKind, ulLength, pucRecord};
  IoctlUsbSetDescriptor(&args);
}

}  // namespace

int32_t SetupUsbIdentity(const char* pcSerial) {
  char acSerial[protocol::SERIAL_NO_BYTES];
  std::memcpy(acSerial, pcSerial, sizeof acSerial);
  if (static_cast<uint8_t>(acSerial[0]) == 0xFFu) {
    std::memcpy(acSerial, protocol::SERIAL_NO_ERASED_TEXT, sizeof acSerial);
  }
  BuildString(&s_Set.aStrings[0], 1, protocol::USB_MANUFACTURER_TEXT);
  BuildString(&s_Set.aStrings[1], 2, protocol::USB_PRODUCT_TEXT);
  BuildString(&s_Set.aStrings[2], kSerialStringIndex, std::string_view(acSerial, sizeof acSerial));
  BuildString(&s_Set.aStrings[3], 4, protocol::USB_CONFIG_HIGH_SPEED_TEXT);
  BuildString(&s_Set.aStrings[4], 5, protocol::USB_CONFIG_FULL_SPEED_TEXT);
  protocol::EncodeDeviceIdRecord(acSerial, s_Set.aucDeviceId, sizeof s_Set.aucDeviceId);
  return RegisterUsbDescriptors2();
}

int32_t RegisterUsbDescriptors2() {
  Register(USB_DESC_DEVICE, kDevice, sizeof kDevice);
  Register(USB_DESC_QUALIFIER, kQualifier, sizeof kQualifier);
  Register(USB_DESC_HS_CONFIG, kHsConfig, sizeof kHsConfig);
  Register(kKindHsOtherSpeed, kHsOtherSpeed, sizeof kHsOtherSpeed);
  Register(USB_DESC_HS_INTERFACE, kInterface, sizeof kInterface);
  Register(USB_DESC_HS_EP_OUT, kHsEpOut, sizeof kHsEpOut);
  Register(USB_DESC_HS_EP_IN, kHsEpIn, sizeof kHsEpIn);
  Register(USB_DESC_FS_CONFIG, kFsConfig, sizeof kFsConfig);
  Register(kKindFsOtherSpeed, kFsOtherSpeed, sizeof kFsOtherSpeed);
  Register(USB_DESC_FS_INTERFACE, kInterface, sizeof kInterface);
  Register(USB_DESC_FS_EP_OUT, kFsEpOut, sizeof kFsEpOut);
  Register(USB_DESC_FS_EP_IN, kFsEpIn, sizeof kFsEpIn);
  for (const StringRecord& record : s_Set.aStrings) Register(USB_DESC_STRING, record.aucBytes, record.ulLength);
  Register(USB_DESC_SPARE, kSpare, sizeof kSpare);
  Register(USB_DESC_DEVICE_ID, s_Set.aucDeviceId, protocol::GetU16Be(s_Set.aucDeviceId));
  return 0;
}
