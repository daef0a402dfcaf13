// The descriptor store and the replies built from it.
#include "firmware/platform/usb_descriptor_store.h"

#include <cstring>
#include <string_view>

#include "firmware/platform/usb_driver.h"
#include "protocol/identity.h"

namespace {

constexpr uint32_t kSlotLimit[USB_DESC_KIND_COUNT] = {18, 10, 9, 9, 7, 7, 9, 9, 7, 7, 256, 256, 3};
constexpr uint32_t kHigh = 0;  // set index of the high-speed descriptors
constexpr uint32_t kFull = 1;
constexpr uint32_t kConfigBytes = 9;
constexpr uint32_t kInterfaceBytes = 9;
constexpr uint32_t kEndpointBytes = 7;
constexpr uint8_t kAttrSelfPowered = 1u << 6;
constexpr uint8_t kAttrRemoteWakeup = 1u << 5;
// The longest string text a one-byte descriptor length can carry, in whole
// UTF-16 characters.
constexpr uint32_t kStringTextMax = 252;

struct DescriptorStore {
  uint8_t aucDevice[18];
  uint8_t aucQualifier[10];
  uint8_t aucConfig[2][kConfigBytes];
  uint8_t aucInterface[2][kInterfaceBytes];
  uint8_t aucEndpointOut[2][kEndpointBytes];
  uint8_t aucEndpointIn[2][kEndpointBytes];
  uint8_t aucOtherSpeed[2][kConfigBytes];  // the driver's own, never registered
  uint8_t aucString[USB_STRING_SLOTS][USB_RECORD_SLOT_BYTES];
  uint32_t aulStringLength[USB_STRING_SLOTS];
  uint8_t aucDeviceId[USB_RECORD_SLOT_BYTES];
  uint32_t ulDeviceIdLength;
  uint8_t aucSpare[3];
};

constexpr void Copy(uint8_t* pucDst, const uint8_t* pucSrc, uint32_t ulBytes) {
  for (uint32_t i = 0; i < ulBytes; ++i) pucDst[i] = pucSrc[i];
}

constexpr uint32_t PutStringRecord(uint8_t* pucSlot, uint8_t ucIndex, std::string_view text) {
  pucSlot[0] = static_cast<uint8_t>(2 * text.size());
  pucSlot[1] = ucIndex;
  for (size_t i = 0; i < text.size(); ++i) {
    pucSlot[2 + 2 * i] = static_cast<uint8_t>(text[i]);
    pucSlot[3 + 2 * i] = 0;
  }
  return static_cast<uint32_t>(2 + 2 * text.size());
}

constexpr void PutEndpoint(uint8_t* pucOut, uint8_t ucAddress, uint16_t usMaxPacket) {
  const uint8_t aucEndpoint[kEndpointBytes] = {
      7, USB_DT_ENDPOINT, ucAddress, 2, static_cast<uint8_t>(usMaxPacket), static_cast<uint8_t>(usMaxPacket >> 8), 0};
  Copy(pucOut, aucEndpoint, kEndpointBytes);
}

constexpr void PutConfigHeader(uint8_t* pucOut, uint8_t ucType, uint8_t ucString) {
  const uint8_t aucHeader[kConfigBytes] = {9, ucType, 32, 0, 1, 1, ucString, 0xC0, 0};
  Copy(pucOut, aucHeader, kConfigBytes);
}

// The identity until the application registers its own: the printer's
// identifiers and texts, the placeholder serial number.
constexpr DescriptorStore MakeDefaultStore() {
  DescriptorStore s{};
  const uint16_t usVendor = protocol::USB_VENDOR_ID;
  const uint16_t usProduct = protocol::USB_PRODUCT_ID;
  const uint8_t aucDevice[18] = {18,
                                 USB_DT_DEVICE,
                                 0x00,
                                 0x02,
                                 0,
                                 0,
                                 0,
                                 64,
                                 static_cast<uint8_t>(usVendor),
                                 static_cast<uint8_t>(usVendor >> 8),
                                 static_cast<uint8_t>(usProduct),
                                 static_cast<uint8_t>(usProduct >> 8),
                                 0x01,
                                 0x00,
                                 1,
                                 2,
                                 3,
                                 1};
  Copy(s.aucDevice, aucDevice, sizeof aucDevice);
  const uint8_t aucQualifier[10] = {10, USB_DT_DEVICE_QUALIFIER, 0x00, 0x02, 0, 0, 0, 64, 1, 0};
  Copy(s.aucQualifier, aucQualifier, sizeof aucQualifier);
  PutConfigHeader(s.aucConfig[kHigh], USB_DT_CONFIGURATION, 4);
  PutConfigHeader(s.aucConfig[kFull], USB_DT_CONFIGURATION, 5);
  PutConfigHeader(s.aucOtherSpeed[kHigh], USB_DT_OTHER_SPEED_CONFIGURATION, 4);
  PutConfigHeader(s.aucOtherSpeed[kFull], USB_DT_OTHER_SPEED_CONFIGURATION, 5);
  const uint8_t aucInterface[kInterfaceBytes] = {9,
                                                 USB_DT_INTERFACE,
                                                 0,
                                                 0,
                                                 2,
                                                 protocol::USB_INTERFACE_CLASS_PRINTER,
                                                 protocol::USB_INTERFACE_SUBCLASS_PRINTER,
                                                 protocol::USB_INTERFACE_PROTOCOL_BIDIRECTIONAL,
                                                 0};
  Copy(s.aucInterface[kHigh], aucInterface, kInterfaceBytes);
  Copy(s.aucInterface[kFull], aucInterface, kInterfaceBytes);
  PutEndpoint(s.aucEndpointOut[kHigh], protocol::USB_ENDPOINT_BULK_OUT, protocol::USB_BULK_PACKET_HIGH_SPEED);
  PutEndpoint(s.aucEndpointIn[kHigh], protocol::USB_ENDPOINT_BULK_IN, protocol::USB_BULK_PACKET_HIGH_SPEED);
  PutEndpoint(s.aucEndpointOut[kFull], protocol::USB_ENDPOINT_BULK_OUT, protocol::USB_BULK_PACKET_FULL_SPEED);
  PutEndpoint(s.aucEndpointIn[kFull], protocol::USB_ENDPOINT_BULK_IN, protocol::USB_BULK_PACKET_FULL_SPEED);
  s.aulStringLength[0] = PutStringRecord(s.aucString[0], 1, protocol::USB_MANUFACTURER_TEXT);
  s.aulStringLength[1] = PutStringRecord(s.aucString[1], 2, protocol::USB_PRODUCT_TEXT);
  s.aulStringLength[2] = PutStringRecord(s.aucString[2], 3, protocol::SERIAL_NUMBER_PLACEHOLDER);
  s.aulStringLength[3] = PutStringRecord(s.aucString[3], 4, protocol::USB_CONFIG_HIGH_SPEED_TEXT);
  s.aulStringLength[4] = PutStringRecord(s.aucString[4], 5, protocol::USB_CONFIG_FULL_SPEED_TEXT);
  const auto usIdLength = static_cast<uint16_t>(2 + protocol::DEVICE_ID_TEXT.size());
  s.aucDeviceId[0] = static_cast<uint8_t>(usIdLength >> 8);
  s.aucDeviceId[1] = static_cast<uint8_t>(usIdLength);
  for (size_t i = 0; i < protocol::DEVICE_ID_TEXT.size(); ++i) {
    s.aucDeviceId[2 + i] = static_cast<uint8_t>(protocol::DEVICE_ID_TEXT[i]);
  }
  s.ulDeviceIdLength = usIdLength;
  return s;
}

constinit DescriptorStore s_Store = MakeDefaultStore();

}  // namespace

int32_t UsbSetDescriptor(uint32_t ulKind, const uint8_t* pucData, uint32_t ulLength) {
  if (pucData == nullptr || ulKind >= USB_DESC_KIND_COUNT || ulLength > kSlotLimit[ulKind]) return -1;
  DescriptorStore& s = s_Store;
  switch (ulKind) {
    case USB_DESC_DEVICE:
      std::memcpy(s.aucDevice, pucData, ulLength);
      break;
    case USB_DESC_QUALIFIER:
      std::memcpy(s.aucQualifier, pucData, ulLength);
      break;
    case USB_DESC_HS_CONFIG:
    case USB_DESC_FS_CONFIG:
      std::memcpy(s.aucConfig[ulKind == USB_DESC_HS_CONFIG ? kHigh : kFull], pucData, ulLength);
      break;
    case USB_DESC_HS_INTERFACE:
    case USB_DESC_FS_INTERFACE:
      std::memcpy(s.aucInterface[ulKind == USB_DESC_HS_INTERFACE ? kHigh : kFull], pucData, ulLength);
      break;
    case USB_DESC_HS_EP_OUT:
    case USB_DESC_FS_EP_OUT:
      std::memcpy(s.aucEndpointOut[ulKind == USB_DESC_HS_EP_OUT ? kHigh : kFull], pucData, ulLength);
      break;
    case USB_DESC_HS_EP_IN:
    case USB_DESC_FS_EP_IN:
      std::memcpy(s.aucEndpointIn[ulKind == USB_DESC_HS_EP_IN ? kHigh : kFull], pucData, ulLength);
      break;
    case USB_DESC_STRING: {
      // The index is in byte 1 of the record.
      if (ulLength < 2 || pucData[1] < 1 || pucData[1] > USB_STRING_SLOTS) return -1;
      const uint32_t ulSlot = pucData[1] - 1u;
      std::memcpy(s.aucString[ulSlot], pucData, ulLength);
      s.aulStringLength[ulSlot] = ulLength;
      break;
    }
    case USB_DESC_DEVICE_ID:
      std::memcpy(s.aucDeviceId, pucData, ulLength);
      s.ulDeviceIdLength = ulLength;
      break;
    default:
      std::memcpy(s.aucSpare, pucData, ulLength);
      break;
  }
  return 0;
}

int32_t UsbBuildDeviceDescriptor(uint8_t* pucOut) {
  std::memcpy(pucOut, s_Store.aucDevice, sizeof s_Store.aucDevice);
  return static_cast<int32_t>(sizeof s_Store.aucDevice);
}

int32_t UsbBuildQualifier(uint8_t* pucOut) {
  std::memcpy(pucOut, s_Store.aucQualifier, sizeof s_Store.aucQualifier);
  return static_cast<int32_t>(sizeof s_Store.aucQualifier);
}

int32_t UsbBuildConfiguration(bool bHighSpeed, bool bOtherSpeed, uint8_t* pucOut) {
  const DescriptorStore& s = s_Store;
  const uint32_t ulSet = bHighSpeed ? kHigh : kFull;
  uint32_t ulAt = 0;
  std::memcpy(pucOut, bOtherSpeed ? s.aucOtherSpeed[ulSet] : s.aucConfig[ulSet], kConfigBytes);
  ulAt += kConfigBytes;
  std::memcpy(pucOut + ulAt, s.aucInterface[ulSet], kInterfaceBytes);
  ulAt += kInterfaceBytes;
  std::memcpy(pucOut + ulAt, s.aucEndpointIn[ulSet], kEndpointBytes);
  ulAt += kEndpointBytes;
  std::memcpy(pucOut + ulAt, s.aucEndpointOut[ulSet], kEndpointBytes);
  ulAt += kEndpointBytes;
  return static_cast<int32_t>(ulAt);
}

int32_t UsbBuildString(uint32_t ulIndex, uint8_t* pucOut) {
  if (ulIndex == 0) {
    const uint8_t aucLanguages[4] = {4, USB_DT_STRING, 0x09, 0x04};
    std::memcpy(pucOut, aucLanguages, sizeof aucLanguages);
    return static_cast<int32_t>(sizeof aucLanguages);
  }
  if (ulIndex > USB_STRING_SLOTS) return -1;
  const uint8_t* pucRecord = s_Store.aucString[ulIndex - 1];
  const uint32_t ulRegistered = s_Store.aulStringLength[ulIndex - 1];
  // The text length of the record, never past what was registered.
  const uint32_t ulInRecord = ulRegistered >= 2 ? ulRegistered - 2 : 0;
  uint32_t ulText = pucRecord[0];
  if (ulText > ulInRecord) ulText = ulInRecord;
  if (ulText > kStringTextMax) ulText = kStringTextMax;
  pucOut[0] = static_cast<uint8_t>(ulText + 2);
  pucOut[1] = USB_DT_STRING;
  std::memcpy(pucOut + 2, pucRecord + 2, ulText);
  return static_cast<int32_t>(ulText + 2);
}

int32_t UsbBuildDeviceId(uint8_t* pucOut) {
  const DescriptorStore& s = s_Store;
  uint32_t ulTotal = (static_cast<uint32_t>(s.aucDeviceId[0]) << 8) | s.aucDeviceId[1];
  if (ulTotal == 0) return -1;
  // The length prefix is the registrant's word: never send past the slot or
  // past what was registered.
  if (ulTotal > s.ulDeviceIdLength) ulTotal = s.ulDeviceIdLength;
  if (ulTotal > USB_RECORD_SLOT_BYTES) ulTotal = USB_RECORD_SLOT_BYTES;
  std::memcpy(pucOut, s.aucDeviceId, ulTotal);
  return static_cast<int32_t>(ulTotal);
}

bool UsbStoreSelfPowered() { return (s_Store.aucConfig[kHigh][7] & kAttrSelfPowered) != 0; }

bool UsbStoreRemoteWakeup() { return (s_Store.aucConfig[kHigh][7] & kAttrRemoteWakeup) != 0; }

void UsbStoreSetRemoteWakeup(bool bOn) {
  for (uint32_t ulSet : {kHigh, kFull}) {
    uint8_t& ucAttributes = s_Store.aucConfig[ulSet][7];
    ucAttributes = bOn ? static_cast<uint8_t>(ucAttributes | kAttrRemoteWakeup)
                       : static_cast<uint8_t>(ucAttributes & ~kAttrRemoteWakeup);
  }
}

uint8_t UsbStoreAlternateSetting() { return s_Store.aucInterface[kHigh][3]; }

void UsbStoreSetAlternateSetting(uint8_t ucSetting) {
  s_Store.aucInterface[kHigh][3] = ucSetting;
  s_Store.aucInterface[kFull][3] = ucSetting;
}

uint32_t UsbStoreBulkOutMaxPacket(bool bHighSpeed) {
  const uint8_t* pucEndpoint = s_Store.aucEndpointOut[bHighSpeed ? kHigh : kFull];
  return (pucEndpoint[4] | (static_cast<uint32_t>(pucEndpoint[5]) << 8)) & 0x7FFu;
}
