// The printer on the virtual USB cable, end to end in one process: the
// firmware boots, registers its descriptor set and connects; the root hub
// enumerates it; through the in-process host port a host reads its
// identity, sends a command packet, sends the raw data of a download into
// the receive the command armed, and reads a reply.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "firmware/platform/usb_test_rig.h"
#include "protocol/identity.h"
#include "protocol/wire.h"

namespace {

using sim::UsbOutcome;
using testsupport::Ms;
using usbrig::g_rig;

using Bytes = std::vector<uint8_t>;

constexpr char kSerial[] = "T7300001";
using usbrig::kDownloadBuffer;
constexpr uint16_t kDownload = usbrig::kDownloadCommand;

Bytes String(uint8_t index, std::string_view text) {
  Bytes r{static_cast<uint8_t>(2 * text.size()), index};
  for (char c : text) {
    r.push_back(static_cast<uint8_t>(c));
    r.push_back(0);
  }
  return r;
}

// The descriptor set as the application start-up registers it, kind by
// kind, with this printer's serial number.
std::vector<std::pair<uint32_t, Bytes>> DescriptorSet() {
  const uint16_t vid = protocol::USB_VENDOR_ID;
  const uint16_t pid = protocol::USB_PRODUCT_ID;
  Bytes deviceId(protocol::DEVICE_ID_RECORD_SIZE);
  protocol::EncodeDeviceIdRecord(kSerial, deviceId.data(), deviceId.size());
  return {
      {USB_DESC_DEVICE, {18, 1, 0x00, 0x02, 0, 0, 0, 64, static_cast<uint8_t>(vid), static_cast<uint8_t>(vid >> 8),
                         static_cast<uint8_t>(pid), static_cast<uint8_t>(pid >> 8), 0x01, 0x00, 1, 2, 3, 1}},
      {USB_DESC_QUALIFIER, {10, 6, 0x00, 0x02, 0, 0, 0, 64, 1, 0}},
      {USB_DESC_HS_CONFIG, {9, 2, 32, 0, 1, 1, 4, 0xC0, 0}},
      {USB_DESC_HS_INTERFACE, {9, 4, 0, 0, 2, 7, 1, 2, 0}},
      {USB_DESC_HS_EP_OUT, {7, 5, 0x02, 2, 0x00, 0x02, 0}},
      {USB_DESC_HS_EP_IN, {7, 5, 0x81, 2, 0x00, 0x02, 0}},
      {USB_DESC_FS_CONFIG, {9, 2, 32, 0, 1, 1, 5, 0xC0, 0}},
      {USB_DESC_FS_INTERFACE, {9, 4, 0, 0, 2, 7, 1, 2, 0}},
      {USB_DESC_FS_EP_OUT, {7, 5, 0x02, 2, 64, 0, 0}},
      {USB_DESC_FS_EP_IN, {7, 5, 0x81, 2, 64, 0, 0}},
      {USB_DESC_STRING, String(1, protocol::USB_MANUFACTURER_TEXT)},
      {USB_DESC_STRING, String(2, protocol::USB_PRODUCT_TEXT)},
      {USB_DESC_STRING, String(3, kSerial)},
      {USB_DESC_STRING, String(4, protocol::USB_CONFIG_HIGH_SPEED_TEXT)},
      {USB_DESC_STRING, String(5, protocol::USB_CONFIG_FULL_SPEED_TEXT)},
      {USB_DESC_SPARE, {0, 0, 0}},
      {USB_DESC_DEVICE_ID, deviceId},
  };
}

std::vector<std::pair<uint32_t, Bytes>> g_set;

// The command layer of this test: the rig's download-or-pattern layer (a
// download command arms the receive of the size its payload names and is
// answered with 10 bytes; any other is answered with 1024), whose every
// reply must be written.
void OnCommand(const Bytes& command) { EXPECT_EQ(usbrig::AnswerDownloadOrPattern(command), 0); }

class UsbDevice : public usbrig::UsbRigTest, public ::testing::WithParamInterface<bool> {};

TEST_P(UsbDevice, EnumeratesTakesACommandAndADownloadAndAnswers) {
  const bool bHighSpeed = GetParam();
  g_set = DescriptorSet();
  g_rig.registerIdentity = [] {
    for (const auto& [kind, record] : g_set) {
      IoctlWord aWords[3] = {kind, record.size(), reinterpret_cast<IoctlWord>(record.data())};
      EXPECT_EQ(UsbDrvControl(USB_DRIVER_HANDLE, USB_CTRL_SET_DESCRIPTOR, aWords), 0);
    }
  };
  g_rig.onCommand = OnCommand;
  sim::UsbHostPort& host = BootConfigured(bHighSpeed);

  // Enumeration: the registered identity, as the host reads it.
  const sim::UsbDeviceIdentity& id = host.Identity();
  EXPECT_EQ(id.serialNumber, kSerial);
  EXPECT_EQ(id.product, std::string(protocol::USB_PRODUCT_TEXT));
  EXPECT_EQ(id.deviceId, g_set.back().second);
  EXPECT_NE(id.deviceIdText.find("SN:T7300001;"), std::string::npos);
  EXPECT_EQ(id.bulkOutMaxPacket, bHighSpeed ? 512u : 64u);
  const sim::UsbTransferResult deviceId = host.GetDeviceId();
  EXPECT_EQ(deviceId.data, g_set.back().second);
  EXPECT_EQ(sim::UsbStringText(host.GetDescriptor(3, 3, 0x0409, 255).data), kSerial);

  // A command packet lands in the command buffer and is read whole; its
  // reply of two full packets ends for a host reading more.
  const Bytes status = usbrig::Command(0x0001, 70, 2);
  EXPECT_EQ(host.BulkOut(status, Ms(100)).outcome, UsbOutcome::Done);
  ASSERT_TRUE(usbrig::WaitForCommands(*m_machine, 1));
  EXPECT_EQ(g_rig.commands[0], status);
  EXPECT_EQ(Bytes(usbrig::Ram(USB_COMMAND_BUFFER, 74), usbrig::Ram(USB_COMMAND_BUFFER, 74) + 74), status);
  const sim::UsbTransferResult reply = host.BulkIn(4096, Ms(1000));
  EXPECT_EQ(reply.outcome, UsbOutcome::Done);
  EXPECT_EQ(reply.data, usbrig::Pattern(1024, 0x0001));

  // A download: the command arms the receive, the data fills it.
  constexpr uint32_t kSize = 300000;
  Bytes download = {static_cast<uint8_t>(kDownload), static_cast<uint8_t>(kDownload >> 8), 4, 0};
  download.resize(8);
  protocol::PutU32(download.data() + 4, kSize);
  EXPECT_EQ(host.BulkOut(download, Ms(100)).outcome, UsbOutcome::Done);
  const sim::UsbTransferResult armed = host.BulkIn(512, Ms(1000));
  ASSERT_EQ(armed.data.size(), 10u);
  EXPECT_EQ(armed.data[0], 0u);
  const Bytes data = usbrig::Pattern(kSize, 99);
  for (uint32_t at = 0; at < kSize; at += 65536) {  // as a host sends it: in pieces
    const uint32_t n = std::min<uint32_t>(65536, kSize - at);
    ASSERT_EQ(host.BulkOut(Bytes(data.begin() + at, data.begin() + at + n), Ms(30000)).outcome, UsbOutcome::Done);
  }
  bool bFinished = false;
  m_machine->RunUntil(
      [&] {
        IoctlWord aWords[1] = {1};
        UsbDrvControl(USB_DRIVER_HANDLE, USB_CTRL_BULK_RX_STATUS, aWords);
        bFinished = aWords[0] == 0;
        return bFinished;
      },
      Ms(1000));
  ASSERT_TRUE(bFinished);
  EXPECT_EQ(g_ulUsbRxAbandoned, 0u);
  EXPECT_EQ(Bytes(usbrig::Ram(kDownloadBuffer, kSize), usbrig::Ram(kDownloadBuffer, kSize) + kSize), data);

  // And the next command is a command again.
  EXPECT_EQ(host.BulkOut(usbrig::Command(0x0002, 0), Ms(100)).outcome, UsbOutcome::Done);
  EXPECT_EQ(host.BulkIn(4096, Ms(1000)).data, usbrig::Pattern(1024, 0x0002));
  EXPECT_EQ(g_rig.commands.size(), 3u);
}

INSTANTIATE_TEST_SUITE_P(Speeds, UsbDevice, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& p) {
                           return std::string(p.param ? "HighSpeed" : "FullSpeed");
                         });

}  // namespace
