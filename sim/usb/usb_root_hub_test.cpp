// The root hub against a scripted USB function: enumeration, its retries,
// and the transfers it offers its clients.
#include "sim/usb/usb_root_hub.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <map>
#include <vector>

#include "sim/board.h"
#include "sim/testing/board_fixture.h"

namespace sim {
namespace {

using Bytes = std::vector<uint8_t>;

// A printer-like function that answers from tables: descriptors by
// wValue, a device ID, and bulk endpoints 0x02 (OUT) and 0x81 (IN) whose
// behaviour the test sets.
class ScriptedFunction final : public UsbFunctionPort {
 public:
  ScriptedFunction() {
    descriptors[0x0100] = {18, 1, 0x00, 0x02, 0, 0, 0, 64, 0x07, 0xFB, 0x00, 0x73, 1, 0, 1, 2, 3, 1};
    descriptors[0x0200] = {9, 2, 32, 0, 1, 1, 0, 0xC0, 0, 9, 4, 0, 0, 2, 7, 1, 2, 0,
                           7, 5, 0x81, 2, 0x00, 0x02, 0, 7, 5, 0x02, 2, 0x00, 0x02, 0};
    descriptors[0x0300] = {4, 3, 0x09, 0x04};
    descriptors[0x0301] = String("Maker");
    descriptors[0x0302] = String("Printer");
    descriptors[0x0303] = String("SN000001");
    descriptors[0x0600] = {10, 6, 0x00, 0x02, 0, 0, 0, 64, 1, 0};
    deviceId = {0, 12, 'M', 'F', 'G', ':', 'X', ';', 'C', 'L', 'S', ':'};
  }
  static Bytes String(const std::string& text) {
    Bytes d{static_cast<uint8_t>(2 + 2 * text.size()), 3};
    for (char c : text) {
      d.push_back(static_cast<uint8_t>(c));
      d.push_back(0);
    }
    return d;
  }
  void Attach(bool bOn) {
    bPullUp = bOn;
    if (observer) observer();
  }

  bool PullUp() const override { return bPullUp && bVbus; }
  void SetVbus(bool bPresent) override {
    bVbus = bPresent;
    if (observer) observer();
  }
  UsbSpeed BusReset(bool bHostHighSpeed) override {
    ++resets;
    address = 0;
    return bHostHighSpeed ? UsbSpeed::High : UsbSpeed::Full;
  }
  UsbHandshake Setup(uint8_t a, const std::array<uint8_t, 8>& p) override {
    if (!PullUp() || a != address) return UsbHandshake::NoResponse;
    setup = UsbSetupPacket{p[0], p[1], static_cast<uint16_t>(p[2] | p[3] << 8), static_cast<uint16_t>(p[4] | p[5] << 8),
                           static_cast<uint16_t>(p[6] | p[7] << 8)};
    requests.push_back(setup);
    reply.clear();
    sent = 0;
    bStall = false;
    bToggle = true;
    if (setup.bRequest == 6) {
      auto it = descriptors.find(setup.wValue);
      bStall = bStallDescriptors || it == descriptors.end();
      if (!bStall) reply = it->second;
    } else if (setup.bmRequestType == 0xA1) {
      reply = deviceId;
    } else if (setup.bRequest == 5) {
      newAddress = static_cast<uint8_t>(setup.wValue);
    }
    if (reply.size() > setup.wLength) reply.resize(setup.wLength);
    return UsbHandshake::Ack;
  }
  UsbHandshake Out(uint8_t a, uint8_t ep, bool toggle, const uint8_t* data, uint32_t length) override {
    if (!PullUp() || a != address) return UsbHandshake::NoResponse;
    if (ep == 0) return bStall ? UsbHandshake::Stall : UsbHandshake::Ack;
    if (bOutStall) return UsbHandshake::Stall;
    if (outNaks > 0) {
      --outNaks;
      return UsbHandshake::Nak;
    }
    outPackets.emplace_back(data, data + length);
    outToggles.push_back(toggle);
    return UsbHandshake::Ack;
  }
  UsbHandshake In(uint8_t a, uint8_t ep, bool* pToggle, std::vector<uint8_t>* pData) override {
    pData->clear();
    if (!PullUp() || a != address) return UsbHandshake::NoResponse;
    if (ep == 0) {
      if (bStall) return UsbHandshake::Stall;
      *pToggle = bToggle;
      if (!setup.IsIn() || setup.wLength == 0) {  // the status stage
        if (setup.bRequest == 5) address = newAddress;
        return UsbHandshake::Ack;
      }
      const size_t n = std::min<size_t>(64, reply.size() - sent);
      pData->assign(reply.begin() + static_cast<std::ptrdiff_t>(sent), reply.begin() + static_cast<std::ptrdiff_t>(sent + n));
      sent += n;
      bToggle = !bToggle;
      return UsbHandshake::Ack;
    }
    ++inTokens;
    if (inPackets.empty()) return UsbHandshake::Nak;
    *pData = inPackets.front().first;
    *pToggle = inPackets.front().second;
    inPackets.pop_front();
    return UsbHandshake::Ack;
  }
  void SetLinkObserver(std::function<void()> fn) override { observer = std::move(fn); }

  std::map<uint16_t, Bytes> descriptors;
  Bytes deviceId;
  bool bStallDescriptors = false;
  bool bPullUp = false;
  bool bVbus = false;
  uint8_t address = 0;
  uint8_t newAddress = 0;
  uint32_t resets = 0;
  std::vector<UsbSetupPacket> requests;
  int outNaks = 0;
  bool bOutStall = false;
  std::vector<Bytes> outPackets;
  std::vector<bool> outToggles;
  std::deque<std::pair<Bytes, bool>> inPackets;
  uint64_t inTokens = 0;

 private:
  std::function<void()> observer;
  UsbSetupPacket setup;
  Bytes reply;
  size_t sent = 0;
  bool bStall = false;
  bool bToggle = true;
};

class RootHub : public ::testing::Test {
 protected:
  void Run(Nanos dt) { RunBoardFor(board, dt); }
  void Configure() {
    function.Attach(true);
    Run(300 * kNsPerMs);
    ASSERT_EQ(hub.State(), UsbPortState::Configured) << hub.FailureReason();
  }
  // Submits and runs until the transfer ends.
  UsbTransferResult Wait(const std::function<void(UsbCompletion)>& submit) {
    bool bDone = false;
    UsbTransferResult result;
    submit([&](const UsbTransferResult& r) {
      result = r;
      bDone = true;
    });
    for (int i = 0; i < 100000 && !bDone; ++i) Run(100 * kNsPerUs);
    EXPECT_TRUE(bDone);
    return result;
  }
  UsbTransferResult BulkOut(Bytes data, Nanos timeout, bool bZlp = false) {
    return Wait([&](UsbCompletion done) { hub.SubmitBulkOut(data, timeout, std::move(done), bZlp); });
  }
  UsbTransferResult BulkIn(uint32_t maxLength, Nanos timeout) {
    return Wait([&](UsbCompletion done) { hub.SubmitBulkIn(maxLength, timeout, std::move(done)); });
  }
  std::vector<size_t> OutSizes() const {
    std::vector<size_t> sizes;
    for (const Bytes& p : function.outPackets) sizes.push_back(p.size());
    return sizes;
  }

  Board board{BoardConfig{}};
  ScriptedFunction function;
  UsbRootHub hub{board.Clock(), function, true};
};

TEST_F(RootHub, EnumeratesAFunctionThatPullsUpAndCachesWhatItRead) {
  std::vector<std::pair<UsbPortState, Nanos>> states;
  hub.AddObserver([&](UsbPortState s) { states.emplace_back(s, board.Clock().Now()); });
  Run(500 * kNsPerMs);
  EXPECT_EQ(hub.State(), UsbPortState::Detached);  // VBUS alone shows nothing
  const Nanos attached = board.Clock().Now();
  Configure();
  ASSERT_EQ(states.size(), 3u);
  EXPECT_EQ(states[1].first, UsbPortState::Enumerating);
  EXPECT_EQ(states[1].second - attached, UsbRootHub::kDebounce);
  const UsbDeviceIdentity& id = hub.Identity();
  EXPECT_EQ(id.speed, UsbSpeed::High);
  EXPECT_EQ(id.address, 1u);
  EXPECT_EQ(function.address, 1u);
  EXPECT_EQ(id.vendorId, 0xFB07u);
  EXPECT_EQ(id.productId, 0x7300u);
  EXPECT_EQ(id.manufacturer, "Maker");
  EXPECT_EQ(id.product, "Printer");
  EXPECT_EQ(id.serialNumber, "SN000001");
  EXPECT_EQ(id.configuration.size(), 32u);
  EXPECT_EQ(id.bulkOutEndpoint, 0x02u);
  EXPECT_EQ(id.bulkInEndpoint, 0x81u);
  EXPECT_EQ(id.bulkInMaxPacket, 512u);
  EXPECT_EQ(id.qualifier.size(), 10u);
  EXPECT_EQ(id.deviceIdText, "MFG:X;CLS:");
  // SET_CONFIGURATION with the configuration's value, then GET_DEVICE_ID.
  ASSERT_GE(function.requests.size(), 2u);
  const UsbSetupPacket& setConfiguration = function.requests[function.requests.size() - 2];
  EXPECT_EQ(setConfiguration.bRequest, 9u);
  EXPECT_EQ(setConfiguration.wValue, 1u);
  EXPECT_EQ(function.requests.back().bmRequestType, 0xA1u);
  EXPECT_EQ(hub.Stats().enumerations, 1u);
}

TEST_F(RootHub, OptionalPartsMayFailButTheDescriptorsMayNot) {
  function.descriptors.erase(0x0303);  // the serial-number string stalls
  function.deviceId.clear();           // an empty device ID
  Configure();
  EXPECT_TRUE(hub.Identity().serialNumber.empty());
  EXPECT_TRUE(hub.Identity().deviceId.empty());
  function.Attach(false);
  Run(kNsPerMs);
  EXPECT_EQ(hub.State(), UsbPortState::Detached);
  function.bStallDescriptors = true;
  function.Attach(true);
  Run(2000 * kNsPerMs);
  EXPECT_EQ(hub.State(), UsbPortState::Failed);
  EXPECT_EQ(function.resets, 1u + UsbRootHub::kEnumerationAttempts);
  EXPECT_NE(hub.FailureReason().find("stall"), std::string::npos);
}

TEST_F(RootHub, BulkOutGoesInPacketsOfTheEndpointsSizeThroughNaks) {
  Configure();
  function.outNaks = 3;
  const UsbTransferResult r = BulkOut(Bytes(1100, 5), 100 * kNsPerMs);
  EXPECT_EQ(r.outcome, UsbOutcome::Done);
  EXPECT_EQ(r.bytes, 1100u);
  EXPECT_EQ(OutSizes(), (std::vector<size_t>{512, 512, 76}));
  EXPECT_EQ(function.outToggles, (std::vector<bool>{false, true, false}));
  EXPECT_EQ(hub.Stats().outNaks, 3u);
  // A zero-length packet after a full last one only when asked; an empty
  // transfer is one zero-length packet.
  function.outPackets.clear();
  BulkOut(Bytes(1024, 1), 100 * kNsPerMs);
  BulkOut(Bytes(1024, 1), 100 * kNsPerMs, true);
  BulkOut(Bytes(), 100 * kNsPerMs);
  EXPECT_EQ(OutSizes(), (std::vector<size_t>{512, 512, 512, 512, 0, 0}));
}

TEST_F(RootHub, ATransferEndsAtItsTimeOutWithTheBytesMovedSoFar) {
  Configure();
  function.outNaks = 1;
  const UsbTransferResult first = BulkOut(Bytes(600, 1), 50 * kNsPerMs);
  EXPECT_EQ(first.outcome, UsbOutcome::Done);
  function.outNaks = 1000000;
  const Nanos start = board.Clock().Now();
  bool bDone = false;
  UsbTransferResult r;
  hub.SubmitBulkOut(Bytes(100, 1), 20 * kNsPerMs, [&](const UsbTransferResult& x) {
    r = x;
    bDone = true;
  });
  Run(20 * kNsPerMs - 1);
  EXPECT_FALSE(bDone);
  Run(1);
  ASSERT_TRUE(bDone);
  EXPECT_EQ(r.outcome, UsbOutcome::NakTimeout);
  EXPECT_EQ(r.bytes, 0u);
  EXPECT_EQ(board.Clock().Now() - start, 20 * kNsPerMs);
  function.bOutStall = true;
  EXPECT_EQ(BulkOut(Bytes(10, 1), 20 * kNsPerMs).outcome, UsbOutcome::Stall);
}

TEST_F(RootHub, BulkInEndsAtAShortPacketOrTheAskedLengthAndDropsRepeats) {
  Configure();
  function.inPackets = {{Bytes(512, 1), false}, {Bytes(512, 1), false}, {Bytes(512, 2), true}, {Bytes(100, 3), false}};
  UsbTransferResult r = BulkIn(4096, 50 * kNsPerMs);
  EXPECT_EQ(r.outcome, UsbOutcome::Done);
  EXPECT_EQ(r.data.size(), 1124u);  // the repeated DATA0 packet was dropped
  EXPECT_EQ(hub.Stats().inDuplicates, 1u);
  function.inPackets = {{Bytes(512, 4), true}, {Bytes(512, 5), false}};
  EXPECT_EQ(BulkIn(1024, 50 * kNsPerMs).data.size(), 1024u);
  function.inPackets = {{Bytes(), true}};
  r = BulkIn(4096, 50 * kNsPerMs);
  EXPECT_EQ(r.outcome, UsbOutcome::Done);
  EXPECT_TRUE(r.data.empty());
  function.inPackets = {{Bytes(512, 6), false}};
  EXPECT_EQ(BulkIn(100, 50 * kNsPerMs).outcome, UsbOutcome::Error);  // babble
}

TEST_F(RootHub, InTokensGoOutOnlyWhileAReadIsPending) {
  Configure();
  Run(100 * kNsPerMs);
  EXPECT_EQ(function.inTokens, 0u);
  EXPECT_EQ(BulkIn(512, kNsPerMs).outcome, UsbOutcome::NakTimeout);
  const uint64_t tokens = function.inTokens;
  EXPECT_GT(tokens, 0u);
  EXPECT_LE(tokens, 10u);  // one per NAK retry
  Run(100 * kNsPerMs);
  EXPECT_EQ(function.inTokens, tokens);
}

TEST_F(RootHub, PipesRunSideBySideAndADetachEndsEveryTransfer) {
  Configure();
  bool bInDone = false;
  UsbTransferResult in;
  hub.SubmitBulkIn(512, 1000 * kNsPerMs, [&](const UsbTransferResult& r) {
    in = r;
    bInDone = true;
  });
  EXPECT_EQ(BulkOut(Bytes(10, 1), 50 * kNsPerMs).outcome, UsbOutcome::Done);  // while the read waits
  EXPECT_FALSE(bInDone);
  function.Attach(false);
  Run(kNsPerMs);
  ASSERT_TRUE(bInDone);
  EXPECT_EQ(in.outcome, UsbOutcome::Gone);
  EXPECT_EQ(BulkOut(Bytes(10, 1), 50 * kNsPerMs).outcome, UsbOutcome::Gone);
}

TEST_F(RootHub, KeepsTheAddressToItselfAndResetsItsToggleWithAClearedHalt) {
  Configure();
  UsbTransferResult r = Wait([&](UsbCompletion done) {
    hub.SubmitControl(UsbSetupPacket{0x00, 5, 9, 0, 0}, {}, 50 * kNsPerMs, std::move(done));
  });
  EXPECT_EQ(r.outcome, UsbOutcome::Error);
  function.inPackets = {{Bytes(5, 1), false}};
  EXPECT_EQ(BulkIn(512, 50 * kNsPerMs).data.size(), 5u);
  r = Wait([&](UsbCompletion done) {
    hub.SubmitControl(UsbSetupPacket{0x02, 1, 0, 0x81, 0}, {}, 50 * kNsPerMs, std::move(done));
  });
  EXPECT_EQ(r.outcome, UsbOutcome::Done);
  function.inPackets = {{Bytes(6, 2), false}};  // DATA0 again after CLEAR_FEATURE(ENDPOINT_HALT)
  EXPECT_EQ(BulkIn(512, 50 * kNsPerMs).data.size(), 6u);
  EXPECT_EQ(hub.Stats().inDuplicates, 0u);
}

TEST(RootHubSpeed, AFullSpeedHubTakesTheFullSpeedSet) {
  Board board{BoardConfig{}};
  ScriptedFunction function;
  function.descriptors[0x0200][22] = 64;
  function.descriptors[0x0200][23] = 0;
  function.descriptors[0x0200][29] = 64;
  function.descriptors[0x0200][30] = 0;
  UsbRootHub hub{board.Clock(), function, false};
  function.Attach(true);
  for (int i = 0; i < 3000; ++i) {
    board.Clock().AdvanceTo(board.Clock().Now() + 100 * kNsPerUs);
    board.Clock().RunDue();
  }
  ASSERT_EQ(hub.State(), UsbPortState::Configured);
  EXPECT_EQ(hub.Identity().speed, UsbSpeed::Full);
  EXPECT_EQ(hub.Identity().bulkOutMaxPacket, 64u);
  EXPECT_TRUE(hub.Identity().qualifier.empty());
}

}  // namespace
}  // namespace sim
