// The driver's descriptor store: the printer's USB identity, with defaults
// from the driver's own data until the application registers the real one
// (IOCTL_USB_SET_DESCRIPTOR, before it connects), and the replies to
// GET_DESCRIPTOR and GET_DEVICE_ID built from it. Only the driver's files
// include this header.
#pragma once

#include <cstdint>

// Descriptor types of GET_DESCRIPTOR.
constexpr uint8_t USB_DT_DEVICE = 1;
constexpr uint8_t USB_DT_CONFIGURATION = 2;
constexpr uint8_t USB_DT_STRING = 3;
constexpr uint8_t USB_DT_INTERFACE = 4;
constexpr uint8_t USB_DT_ENDPOINT = 5;
constexpr uint8_t USB_DT_DEVICE_QUALIFIER = 6;
constexpr uint8_t USB_DT_OTHER_SPEED_CONFIGURATION = 7;

constexpr uint32_t USB_STRING_SLOTS = 5;
constexpr uint32_t USB_RECORD_SLOT_BYTES = 256;
// The longest reply the store builds (a device ID of a full slot).
constexpr uint32_t USB_REPLY_MAX = 256;

// Copies a registration into its slot: 0, or -1 for a null pointer, a kind
// above 12, a record longer than its slot or (strings) an index outside
// 1-5; a refused record leaves the slot as it was.
int32_t UsbSetDescriptor(uint32_t ulKind, const uint8_t* pucData, uint32_t ulLength);

// Replies, written into pucOut (room for USB_REPLY_MAX bytes): the number of
// bytes of the whole descriptor, or -1 when there is none to send.
int32_t UsbBuildDeviceDescriptor(uint8_t* pucOut);
int32_t UsbBuildQualifier(uint8_t* pucOut);
// The configuration set of one speed: header, interface, bulk IN endpoint,
// bulk OUT endpoint; bOtherSpeed puts the driver's other-speed header in
// front instead of the registered one.
int32_t UsbBuildConfiguration(bool bHighSpeed, bool bOtherSpeed, uint8_t* pucOut);
// String 0 (the language list) or strings 1-5 from their records.
int32_t UsbBuildString(uint32_t ulIndex, uint8_t* pucOut);
// The device-ID record as registered, bounded by its slot and by what was
// registered; -1 when its length is 0.
int32_t UsbBuildDeviceId(uint8_t* pucOut);

// Configuration attributes: self-powered (bit 6) and remote wakeup (bit 5)
// of the high-speed header; remote wakeup is set and cleared in both
// registered headers.
bool UsbStoreSelfPowered();
bool UsbStoreRemoteWakeup();
void UsbStoreSetRemoteWakeup(bool bOn);
uint8_t UsbStoreAlternateSetting();
void UsbStoreSetAlternateSetting(uint8_t ucSetting);
// wMaxPacketSize of the bulk OUT endpoint descriptor of one speed.
uint32_t UsbStoreBulkOutMaxPacket(bool bHighSpeed);
