// Endpoint 0 on the virtual board: enumeration by the root hub, the
// standard and printer-class requests, the descriptor store, and the aborts
// of a control transfer that stops half-way.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "firmware/platform/usb_descriptor_store.h"
#include "firmware/platform/usb_endpoint0.h"
#include "firmware/platform/usb_test_rig.h"
#include "protocol/identity.h"

namespace {

using sim::UsbOutcome;
using sim::UsbSetupPacket;
using testsupport::Ms;
using usbrig::Command;
using usbrig::g_rig;
using usbrig::Peek;
using usbrig::RunInUsbTask;
using usbrig::UsbRigTest;

using Bytes = std::vector<uint8_t>;

constexpr char kSerial[] = "AB123456";

Bytes StringRecord(uint8_t index, const std::string& text) {
  Bytes r{static_cast<uint8_t>(2 * text.size()), index};
  for (char c : text) {
    r.push_back(static_cast<uint8_t>(c));
    r.push_back(0);
  }
  return r;
}

// A device-ID record of `total` bytes whose length prefix says `prefix`.
Bytes DeviceIdRecord(size_t total, uint16_t prefix) {
  std::string text = "MFG:Brental Orvik Company;CLS:PRINTER;DES:Thermal Dye Photo Printer;SN:";
  text += kSerial;
  text += ';';
  Bytes r{static_cast<uint8_t>(prefix >> 8), static_cast<uint8_t>(prefix)};
  for (size_t i = 0; r.size() < total; ++i) r.push_back(i < text.size() ? static_cast<uint8_t>(text[i]) : 'x');
  return r;
}

// What the rig registers before it connects: the serial-number string and
// a device ID; kept here so that the records outlive the registration.
Bytes g_serialRecord;
Bytes g_deviceIdRecord;

void Register(uint32_t ulKind, const Bytes& record) {
  IoctlWord aWords[3] = {ulKind, record.size(), reinterpret_cast<IoctlWord>(record.data())};
  EXPECT_EQ(UsbDrvControl(USB_DRIVER_HANDLE, USB_CTRL_SET_DESCRIPTOR, aWords), 0) << ulKind;
}

void RegisterIdentity(size_t deviceIdBytes, uint16_t prefix) {
  g_serialRecord = StringRecord(3, kSerial);
  g_deviceIdRecord = DeviceIdRecord(deviceIdBytes, prefix);
  g_rig.registerIdentity = [] {
    Register(USB_DESC_STRING, g_serialRecord);
    Register(USB_DESC_DEVICE_ID, g_deviceIdRecord);
  };
}

class UsbEp0Test : public UsbRigTest {
 protected:
  sim::UsbHostPort& Start(bool bHighSpeed = true, size_t deviceIdBytes = 100) {
    RegisterIdentity(deviceIdBytes, static_cast<uint16_t>(deviceIdBytes));
    return BootConfigured(bHighSpeed);
  }
  // Runs the firmware long enough for its interrupt to have served the
  // endpoint.
  void Settle() { m_machine->RunFor(Ms(1)); }
};

// ---- enumeration ---------------------------------------------------------------------------

class UsbEnumerationTest : public UsbEp0Test, public ::testing::WithParamInterface<bool> {};

TEST_P(UsbEnumerationTest, TheHubReadsTheRegisteredIdentityAndConfiguresThePrinter) {
  const bool bHighSpeed = GetParam();
  sim::UsbHostPort& host = Start(bHighSpeed);
  const sim::UsbDeviceIdentity& id = host.Identity();
  const uint16_t packet = bHighSpeed ? 512 : 64;
  EXPECT_EQ(id.speed, bHighSpeed ? sim::UsbSpeed::High : sim::UsbSpeed::Full);
  EXPECT_EQ(id.vendorId, protocol::USB_VENDOR_ID);
  EXPECT_EQ(id.productId, protocol::USB_PRODUCT_ID);
  EXPECT_EQ(id.manufacturer, std::string(protocol::USB_MANUFACTURER_TEXT));
  EXPECT_EQ(id.product, std::string(protocol::USB_PRODUCT_TEXT));
  EXPECT_EQ(id.serialNumber, kSerial);
  EXPECT_EQ(id.deviceId, g_deviceIdRecord);
  EXPECT_EQ(id.configurationValue, 1u);
  EXPECT_EQ(id.interfaceClass, 7u);
  EXPECT_EQ(id.interfaceSubClass, 1u);
  EXPECT_EQ(id.interfaceProtocol, 2u);
  EXPECT_EQ(id.bulkOutEndpoint, 0x02u);
  EXPECT_EQ(id.bulkInEndpoint, 0x81u);
  EXPECT_EQ(id.bulkOutMaxPacket, packet);
  EXPECT_EQ(id.bulkInMaxPacket, packet);
  EXPECT_EQ(id.qualifier.size(), bHighSpeed ? 10u : 0u);
  // The firmware's side of SET_CONFIGURATION.
  EXPECT_EQ(UsbConfigurationValue(), 1u);
  EXPECT_EQ(Peek(UsbEpReg(1, EP_TXMAXP), 2), packet);
  EXPECT_EQ(Peek(UsbEpReg(2, EP_RXMAXP), 2), packet);
  EXPECT_NE(Peek(UsbEpReg(2, EP_RXCSR), 2) & RXCSR_DMAREQENAB, 0u);
  EXPECT_EQ(Peek(USB_FADDR, 1), id.address);
}

INSTANTIATE_TEST_SUITE_P(Speeds, UsbEnumerationTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& p) { return std::string(p.param ? "HighSpeed" : "FullSpeed"); });

// ---- GET_DESCRIPTOR --------------------------------------------------------------------------

TEST_F(UsbEp0Test, TheConfigurationSetHonoursWLength) {
  sim::UsbHostPort& host = Start();
  const Bytes header{9, 2, 32, 0, 1, 1, 4, 0xC0, 0};
  EXPECT_EQ(host.GetDescriptor(2, 0, 0, 9).data, header);
  const Bytes all = host.GetDescriptor(2, 0, 0, 255).data;
  ASSERT_EQ(all.size(), 32u);
  EXPECT_EQ(Bytes(all.begin(), all.begin() + 9), header);
  EXPECT_EQ(Bytes(all.begin() + 9, all.begin() + 18), (Bytes{9, 4, 0, 0, 2, 7, 1, 2, 0}));
  EXPECT_EQ(Bytes(all.begin() + 18, all.begin() + 25), (Bytes{7, 5, 0x81, 2, 0x00, 0x02, 0}));  // IN first
  EXPECT_EQ(Bytes(all.begin() + 25, all.end()), (Bytes{7, 5, 0x02, 2, 0x00, 0x02, 0}));
  // USB allows at most wLength bytes.
  EXPECT_EQ(host.GetDescriptor(2, 0, 0, 20).data, Bytes(all.begin(), all.begin() + 20));
  EXPECT_EQ(host.GetDescriptor(1, 0, 0, 8).data.size(), 8u);
  // The other speed's set at high speed: full-speed packets behind the
  // driver's own other-speed header.
  const Bytes other = host.GetDescriptor(7, 0, 0, 255).data;
  ASSERT_EQ(other.size(), 32u);
  EXPECT_EQ(Bytes(other.begin(), other.begin() + 9), (Bytes{9, 7, 32, 0, 1, 1, 5, 0xC0, 0}));
  EXPECT_EQ(other[22], 64u);
  EXPECT_EQ(other[29], 64u);
}

TEST_F(UsbEp0Test, StringsAndTheQualifier) {
  sim::UsbHostPort& host = Start();
  EXPECT_EQ(host.GetDescriptor(3, 0, 0, 255).data, (Bytes{4, 3, 0x09, 0x04}));
  EXPECT_EQ(host.GetDescriptor(3, 6, 0x0409, 255).outcome, UsbOutcome::Stall);
  EXPECT_EQ(sim::UsbStringText(host.GetDescriptor(3, 3, 0x0409, 255).data), kSerial);
  EXPECT_EQ(host.GetDescriptor(3, 2, 0x0409, 10).data.size(), 10u);
  EXPECT_EQ(host.GetDescriptor(6, 0, 0, 10).data, (Bytes{10, 6, 0x00, 0x02, 0, 0, 0, 64, 1, 0}));
  EXPECT_EQ(host.GetDescriptor(6, 0, 0, 4).data.size(), 4u);
  EXPECT_EQ(host.GetDescriptor(6, 0, 0, 255).data.size(), 10u);
  EXPECT_EQ(host.GetDescriptor(9, 0, 0, 255).outcome, UsbOutcome::Stall);  // no such type
}

// ---- GET_DEVICE_ID ---------------------------------------------------------------------------------

struct DeviceIdCase {
  const char* name;
  size_t registered;  // bytes registered
  uint16_t prefix;    // what their length prefix says
  uint16_t wLength;
  UsbOutcome outcome;
  size_t expected;
};

class UsbDeviceIdTest : public UsbEp0Test, public ::testing::WithParamInterface<DeviceIdCase> {};

TEST_P(UsbDeviceIdTest, TheDeviceIdGoesOutBoundedByItsSlotAndWLength) {
  const DeviceIdCase& c = GetParam();
  RegisterIdentity(c.registered, c.prefix);
  sim::UsbHostPort& host = BootConfigured();
  const sim::UsbTransferResult r = host.GetDeviceId(c.wLength);
  EXPECT_EQ(r.outcome, c.outcome) << sim::ToString(r.outcome);
  if (c.outcome == UsbOutcome::Done) {
    EXPECT_EQ(r.data, Bytes(g_deviceIdRecord.begin(), g_deviceIdRecord.begin() + c.expected));
  }
  // The endpoint is ready for the next request either way.
  EXPECT_EQ(host.Control(UsbSetupPacket{0x80, 0, 0, 0, 2}).data, (Bytes{1, 0}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UsbDeviceIdTest,
    ::testing::Values(
        // Three packets of 64, 64 and 22 bytes.
        DeviceIdCase{"ThreePackets", 150, 150, 1023, UsbOutcome::Done, 150},
        DeviceIdCase{"CutToWLength", 150, 150, 100, UsbOutcome::Done, 100},
        // Fills its last packet: a zero-length packet ends the data stage.
        DeviceIdCase{"PacketMultiple", 128, 128, 1023, UsbOutcome::Done, 128},
        DeviceIdCase{"ExactlyWLength", 128, 128, 128, UsbOutcome::Done, 128},
        DeviceIdCase{"LengthZeroStalls", 100, 0, 1023, UsbOutcome::Stall, 0},
        // A prefix longer than what was registered, or than the slot.
        DeviceIdCase{"PrefixPastTheRecord", 200, 512, 1023, UsbOutcome::Done, 200},
        DeviceIdCase{"PrefixPastTheSlot", 256, 0xFFFF, 1023, UsbOutcome::Done, 256}),
    usbrig::NameOf());

// ---- features, status, settings ------------------------------------------------------------------

TEST_F(UsbEp0Test, AHaltedBulkOutEndpointTakesDataZeroAfterItsHaltIsCleared) {
  sim::UsbHostPort& host = Start();
  EXPECT_EQ(host.BulkOut(Command(0x0001, 1), Ms(100)).outcome, UsbOutcome::Done);  // the toggle moves on
  ASSERT_TRUE(usbrig::WaitForCommands(*m_machine, 1));
  EXPECT_EQ(host.SetEndpointHalt(0x02).outcome, UsbOutcome::Done);
  EXPECT_EQ(host.GetEndpointStatus(0x02).data, (Bytes{1, 0}));
  EXPECT_EQ(host.BulkOut(Command(0x0002, 1), Ms(100)).outcome, UsbOutcome::Stall);
  EXPECT_EQ(host.ClearEndpointHalt(0x02).outcome, UsbOutcome::Done);
  EXPECT_EQ(host.GetEndpointStatus(0x02).data, (Bytes{0, 0}));
  const Bytes command = Command(0x0003, 5);
  EXPECT_EQ(host.BulkOut(command, Ms(100)).outcome, UsbOutcome::Done);
  ASSERT_TRUE(usbrig::WaitForCommands(*m_machine, 2));
  EXPECT_EQ(g_rig.commands[1], command);
  EXPECT_EQ(usbrig::Controller().RxDuplicates(2), 0u);
}

TEST_F(UsbEp0Test, AHaltedBulkInEndpointSendsDataZeroAfterItsHaltIsCleared) {
  sim::UsbHostPort& host = Start();
  const Bytes first = usbrig::Pattern(30, 1);
  const Bytes second = usbrig::Pattern(40, 2);
  RunInUsbTask(*m_machine, [&] { EXPECT_EQ(UsbDrvWrite(USB_DRIVER_HANDLE, first.data(), 30), 0); });
  EXPECT_EQ(host.BulkIn(512, Ms(50)).data, first);
  EXPECT_EQ(host.SetEndpointHalt(0x81).outcome, UsbOutcome::Done);
  EXPECT_EQ(host.GetEndpointStatus(0x81).data, (Bytes{1, 0}));
  EXPECT_EQ(host.BulkIn(512, Ms(50)).outcome, UsbOutcome::Stall);
  EXPECT_EQ(host.ClearEndpointHalt(0x81).outcome, UsbOutcome::Done);
  RunInUsbTask(*m_machine, [&] { EXPECT_EQ(UsbDrvWrite(USB_DRIVER_HANDLE, second.data(), 40), 0); });
  const sim::UsbTransferResult r = host.BulkIn(512, Ms(50));
  EXPECT_EQ(r.outcome, UsbOutcome::Done);
  EXPECT_EQ(r.data, second);
  EXPECT_EQ(host.Hub().Stats().inDuplicates, 0u);
}

TEST_F(UsbEp0Test, DeviceStatusFeaturesAndSettings) {
  sim::UsbHostPort& host = Start();
  const UsbSetupPacket deviceStatus{0x80, 0, 0, 0, 2};
  EXPECT_EQ(host.Control(deviceStatus).data, (Bytes{1, 0}));  // self-powered
  EXPECT_EQ(host.Control(UsbSetupPacket{0x00, 3, 1, 0, 0}).outcome, UsbOutcome::Done);  // remote wakeup on
  EXPECT_EQ(host.Control(deviceStatus).data, (Bytes{3, 0}));
  EXPECT_EQ(host.GetDescriptor(2, 0, 0, 9).data[7], 0xE0u);
  EXPECT_EQ(host.Control(UsbSetupPacket{0x00, 1, 1, 0, 0}).outcome, UsbOutcome::Done);  // and off
  EXPECT_EQ(host.Control(deviceStatus).data, (Bytes{1, 0}));
  EXPECT_EQ(host.Control(UsbSetupPacket{0x81, 0, 0, 0, 2}).data, (Bytes{0, 0}));  // interface
  EXPECT_EQ(host.Control(UsbSetupPacket{0x80, 8, 0, 0, 1}).data, (Bytes{1}));     // GET_CONFIGURATION
  EXPECT_EQ(host.Control(UsbSetupPacket{0x01, 11, 0, 0, 0}).outcome, UsbOutcome::Done);  // SET_INTERFACE
  EXPECT_EQ(host.Control(UsbSetupPacket{0x81, 10, 0, 0, 1}).data, (Bytes{0}));    // GET_INTERFACE
}

std::array<uint8_t, 8> SetupBytes(const UsbSetupPacket& p) { return p.Bytes(); }

struct StalledRequest {
  const char* name;
  UsbSetupPacket setup;
};

class UsbStalledRequestTest : public UsbEp0Test, public ::testing::WithParamInterface<StalledRequest> {};

TEST_P(UsbStalledRequestTest, IsStalledAndTheNextRequestIsServed) {
  sim::UsbHostPort& host = Start();
  EXPECT_EQ(host.Control(GetParam().setup).outcome, UsbOutcome::Stall);
  EXPECT_EQ(host.Control(UsbSetupPacket{0x80, 0, 0, 0, 2}).data, (Bytes{1, 0}));
}

INSTANTIATE_TEST_SUITE_P(
    Requests, UsbStalledRequestTest,
    ::testing::Values(StalledRequest{"Vendor", {0x40, 1, 0, 0, 0}}, StalledRequest{"VendorIn", {0xC0, 1, 0, 0, 4}},
                      StalledRequest{"SetDescriptor", {0x00, 7, 0x0100, 0, 18}},
                      StalledRequest{"UnknownStandard", {0x00, 0x55, 0, 0, 0}},
                      StalledRequest{"ClassOut", {0x21, 0, 0, 0, 0}},
                      StalledRequest{"OtherClassRequest", {0xA1, 1, 0, 0, 1}},
                      StalledRequest{"StatusOfAnEndpointNotConfigured", {0x82, 0, 0, 0x83, 2}},
                      StalledRequest{"StatusOfEndpointZero", {0x82, 0, 0, 0x00, 2}},
                      StalledRequest{"UnknownFeature", {0x00, 3, 9, 0, 0}},
                      StalledRequest{"HaltOfEndpointFive", {0x02, 3, 0, 0x05, 0}},
                      StalledRequest{"UnknownTestSelector", {0x00, 3, 2, 0x0900, 0}},
                      // Requests whose direction, recipient or data stage
                      // does not fit the request.
                      StalledRequest{"GetStatusOut", {0x00, 0, 0, 0, 2}},
                      StalledRequest{"GetDescriptorOut", {0x00, 6, 0x0100, 0, 18}},
                      StalledRequest{"GetDescriptorOfAnInterface", {0x81, 6, 0x0100, 0, 18}},
                      StalledRequest{"GetConfigurationOfAnInterface", {0x81, 8, 0, 0, 1}},
                      StalledRequest{"GetInterfaceOfTheDevice", {0x80, 10, 0, 0, 1}},
                      StalledRequest{"SetConfigurationIn", {0x80, 9, 1, 0, 0}},
                      StalledRequest{"SetConfigurationOfAnInterface", {0x01, 9, 1, 0, 0}},
                      StalledRequest{"SetInterfaceOfTheDevice", {0x00, 11, 0, 0, 0}},
                      StalledRequest{"SetFeatureWithADataStage", {0x00, 3, 1, 0, 8}},
                      StalledRequest{"ClearHaltWithADataStage", {0x02, 1, 0, 0x02, 2}},
                      StalledRequest{"DeviceIdOfTheDevice", {0xA0, 0, 0, 0, 64}},
                      StalledRequest{"StatusOfOtherRecipient", {0x83, 0, 0, 0, 2}}),
    usbrig::NameOf());

// An OUT request whose data stage carries what a hostile host makes look
// like a SETUP: the request is stalled and its data never read, so neither
// the printer's identity (whose reply would overrun FIFO0 behind a stale
// reply) nor a test mode (which would take the printer off the bus) follows.
struct HostileDataStage {
  const char* name;
  UsbSetupPacket setup;
  Bytes data;
};

class UsbHostileDataStageTest : public UsbEp0Test, public ::testing::WithParamInterface<HostileDataStage> {};

TEST_P(UsbHostileDataStageTest, IsStalledAndNeverReadAsASetup) {
  const HostileDataStage& c = GetParam();
  sim::UsbHostPort& host = Start(true, 150);
  EXPECT_EQ(host.Control(c.setup, c.data).outcome, UsbOutcome::Stall);
  Settle();
  EXPECT_EQ(usbrig::Controller().TestMode(), 0u);
  EXPECT_EQ(UsbEp0Stage(), USB_EP0_IDLE);
  m_machine->RunFor(Ms(200));
  EXPECT_EQ(host.Hub().State(), sim::UsbPortState::Configured);
  EXPECT_EQ(host.Control(UsbSetupPacket{0x80, 0, 0, 0, 2}).data, (Bytes{1, 0}));  // remote wakeup untouched
  EXPECT_EQ(host.GetDeviceId().data, g_deviceIdRecord);
}

TEST_F(UsbEp0Test, TheDataPacketOfAStalledRequestMeetsTheStallAtPacketLevel) {
  sim::UsbHostPort& host = Start();
  const uint8_t address = host.Identity().address;
  sim::UsbController& port = usbrig::Controller();
  ASSERT_EQ(port.Setup(address, SetupBytes(UsbSetupPacket{0x00, 0, 0, 0, 8})), sim::UsbHandshake::Ack);
  Settle();
  const Bytes setFeature{0x00, 0x03, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00};  // remote wakeup on
  EXPECT_EQ(port.Out(address, 0, true, setFeature.data(), 8), sim::UsbHandshake::Stall);
  Settle();
  EXPECT_EQ(UsbEp0Stage(), USB_EP0_IDLE);
  EXPECT_EQ(host.Control(UsbSetupPacket{0x80, 0, 0, 0, 2}).data, (Bytes{1, 0}));
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, UsbHostileDataStageTest,
    ::testing::Values(
        HostileDataStage{"DeviceIdRequest", {0x00, 0, 0, 0, 8}, Bytes{0xA1, 0x00, 0x00, 0x00, 0x00, 0x00, 0x4D, 0x00}},
        HostileDataStage{"TestModeRequest", {0x00, 0, 0, 0, 8}, Bytes{0x00, 0x03, 0x02, 0x00, 0x00, 0x03, 0x00, 0x00}},
        HostileDataStage{"TestModeBehindARequestOfTheDevice", {0x00, 3, 1, 0, 8},
                         Bytes{0x00, 0x03, 0x02, 0x00, 0x00, 0x03, 0x00, 0x00}},
        HostileDataStage{"RemoteWakeupBehindGetDescriptor", {0x00, 6, 0x0100, 0, 8},
                         Bytes{0x00, 0x03, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00}}),
    usbrig::NameOf());

TEST_F(UsbEp0Test, TestPacketModeLeavesTheBusForGood) {
  sim::UsbHostPort& host = Start();
  EXPECT_EQ(host.Control(UsbSetupPacket{0x00, 3, 2, 0x0400, 0}).outcome, UsbOutcome::Done);
  Settle();
  EXPECT_EQ(Peek(USB_TESTMODE, 1), TESTMODE_PACKET);
  m_machine->RunFor(Ms(200));
  EXPECT_EQ(host.Hub().State(), sim::UsbPortState::Detached);
}

// ---- the control-transfer stages, at packet level -------------------------------------------------

TEST_F(UsbEp0Test, SetAddressTakesEffectOnlyAfterTheStatusStage) {
  sim::UsbHostPort& host = Start();
  const uint8_t address = host.Identity().address;
  sim::UsbController& port = usbrig::Controller();
  bool toggle = false;
  Bytes data;
  // An address above 127 is refused at once.
  ASSERT_EQ(port.Setup(address, SetupBytes(UsbSetupPacket{0x00, 5, 200, 0, 0})), sim::UsbHandshake::Ack);
  Settle();
  EXPECT_EQ(port.In(address, 0, &toggle, &data), sim::UsbHandshake::Stall);
  Settle();
  ASSERT_EQ(port.Setup(address, SetupBytes(UsbSetupPacket{0x00, 5, 42, 0, 0})), sim::UsbHandshake::Ack);
  Settle();
  EXPECT_EQ(Peek(USB_FADDR, 1), address);
  EXPECT_EQ(UsbEp0Stage(), USB_EP0_STATUS);
  EXPECT_EQ(port.In(address, 0, &toggle, &data), sim::UsbHandshake::Ack);  // the status stage
  EXPECT_TRUE(data.empty());
  Settle();
  EXPECT_EQ(Peek(USB_FADDR, 1), 42u);
  EXPECT_EQ(UsbEp0Stage(), USB_EP0_IDLE);
}

class UsbStuckTransferTest : public UsbEp0Test {
 protected:
  // Starts GET_DEVICE_ID of a 150-byte ID at packet level and takes the
  // first packet only: the data stage goes on (stage 1).
  void StartStuckTransfer() {
    Start(true, 150);
    m_address = Host().Identity().address;
    sim::UsbController& port = usbrig::Controller();
    ASSERT_EQ(port.Setup(m_address, SetupBytes(UsbSetupPacket{0xA1, 0, 0, 0, 1023})), sim::UsbHandshake::Ack);
    Settle();
    bool toggle = false;
    Bytes data;
    ASSERT_EQ(port.In(m_address, 0, &toggle, &data), sim::UsbHandshake::Ack);
    EXPECT_EQ(data.size(), 64u);
    Settle();
    EXPECT_EQ(UsbEp0Stage(), USB_EP0_DATA_IN);
    m_started = m_machine->Now();
  }
  uint8_t m_address = 0;
  sim::Nanos m_started = 0;
};

TEST_F(UsbStuckTransferTest, TheUsbTaskAbortsADataStageThatWaitsHalfASecond) {
  StartStuckTransfer();
  m_machine->RunFor(Ms(400));
  EXPECT_EQ(UsbEp0Stage(), USB_EP0_DATA_IN);
  m_machine->RunUntil([] { return UsbEp0Stage() == USB_EP0_IDLE; }, Ms(200));
  EXPECT_EQ(UsbEp0Stage(), USB_EP0_IDLE);
  EXPECT_GE(m_machine->Now() - m_started, Ms(500));
  // Nothing is left over for the next request.
  EXPECT_EQ(Host().GetDeviceId().data, g_deviceIdRecord);
}

TEST_F(UsbStuckTransferTest, ADisconnectAbortsTheTransferAtOnce) {
  StartStuckTransfer();
  Host().Unplug();
  Settle();
  EXPECT_EQ(UsbEp0Stage(), USB_EP0_IDLE);
  Host().Plug();
  ASSERT_TRUE(Host().WaitForConfigured(Ms(1000)));
  EXPECT_EQ(Host().Identity().deviceId, g_deviceIdRecord);
}

// ---- the descriptor store ---------------------------------------------------------------------

struct Registration {
  const char* name;
  uint32_t kind;
  Bytes record;
  bool bNull;
  int32_t result;
};

class UsbSetDescriptorTest : public ::testing::TestWithParam<Registration> {};

TEST_P(UsbSetDescriptorTest, RefusesWhatDoesNotFitAndKeepsTheSlot) {
  const Registration& r = GetParam();
  uint8_t aucBefore[USB_REPLY_MAX];
  const int32_t lBefore = UsbBuildDeviceDescriptor(aucBefore);
  EXPECT_EQ(UsbSetDescriptor(r.kind, r.bNull ? nullptr : r.record.data(), static_cast<uint32_t>(r.record.size())),
            r.result);
  if (r.result != 0 && r.kind == USB_DESC_DEVICE) {
    uint8_t aucAfter[USB_REPLY_MAX];
    ASSERT_EQ(UsbBuildDeviceDescriptor(aucAfter), lBefore);
    EXPECT_EQ(Bytes(aucAfter, aucAfter + lBefore), Bytes(aucBefore, aucBefore + lBefore));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UsbSetDescriptorTest,
    ::testing::Values(Registration{"Device", USB_DESC_DEVICE, Bytes(18, 1), false, 0},
                      Registration{"DeviceTooLong", USB_DESC_DEVICE, Bytes(19, 1), false, -1},
                      Registration{"NullPointer", USB_DESC_DEVICE, Bytes(18, 1), true, -1},
                      Registration{"Kind13", 13, Bytes(3, 1), false, -1},
                      Registration{"Kind14", 14, Bytes(3, 1), false, -1},
                      Registration{"Spare", USB_DESC_SPARE, Bytes(3, 1), false, 0},
                      Registration{"EndpointTooLong", USB_DESC_HS_EP_IN, Bytes(8, 1), false, -1},
                      Registration{"StringIndex0", USB_DESC_STRING, Bytes{2, 0, 'a', 0}, false, -1},
                      Registration{"StringIndex6", USB_DESC_STRING, Bytes{2, 6, 'a', 0}, false, -1},
                      Registration{"StringIndex5", USB_DESC_STRING, Bytes{2, 5, 'a', 0}, false, 0},
                      Registration{"StringWithoutIndex", USB_DESC_STRING, Bytes{2}, false, -1},
                      Registration{"StringTooLong", USB_DESC_STRING, Bytes(257, 1), false, -1},
                      Registration{"DeviceIdWholeSlot", USB_DESC_DEVICE_ID, Bytes(256, 1), false, 0},
                      Registration{"DeviceIdTooLong", USB_DESC_DEVICE_ID, Bytes(257, 1), false, -1}),
    usbrig::NameOf());

TEST(UsbDescriptorStore, AStringNeverReachesPastItsRecord) {
  // A record whose length byte claims more text than was registered.
  const Bytes record{200, 4, 'H', 0, 'S', 0};
  ASSERT_EQ(UsbSetDescriptor(USB_DESC_STRING, record.data(), static_cast<uint32_t>(record.size())), 0);
  uint8_t aucOut[USB_REPLY_MAX];
  ASSERT_EQ(UsbBuildString(4, aucOut), 6);
  EXPECT_EQ(Bytes(aucOut, aucOut + 6), (Bytes{6, 3, 'H', 0, 'S', 0}));
  EXPECT_EQ(UsbBuildString(6, aucOut), -1);
}

}  // namespace
