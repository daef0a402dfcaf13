// Large downloads over the cable's sockets into the firmware's USB driver:
// the printer runs in this process (paced, as printer-sim runs it) with a
// test entry in place of the command layer that arms the driver's bulk
// receive on a download command, so what arrived can be compared byte for
// byte; the clients run on their own threads through the client library.
// Covered: 8 MB arriving whole with replies coming back, a client that leaves
// in the middle of its download with the next one finishing it, and two
// clients sending at once without their transfers mixing.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "firmware/hostif/usb_identity.h"
#include "firmware/platform/usb_test_rig.h"
#include "protocol/wire.h"
#include "sim/cable/cable_bus.h"
#include "sim/cable/cable_client.h"
#include "sim/cable/cable_transport.h"

namespace {

using sim::cable::Outcome;
using sim::cable::PrinterConnection;
using testsupport::Ms;
using usbrig::g_rig;
using Bytes = std::vector<uint8_t>;

constexpr char kPort[] = "00d0e2e0";
using usbrig::kDownloadBuffer;
constexpr uint16_t kDownload = usbrig::kDownloadCommand;
constexpr uint32_t kEight = 8u * 1024 * 1024;
constexpr uint32_t kTransferMs = 60000;
constexpr sim::Nanos kRunLimit = 180000 * sim::kNsPerMs;

// The test's command layer, in the USB task: the rig's download-or-pattern
// layer (see usbrig::AnswerDownloadOrPattern).
void OnCommand(const Bytes& command) { usbrig::AnswerDownloadOrPattern(command); }

Bytes DownloadCommand(uint32_t size) {
  Bytes command{static_cast<uint8_t>(kDownload), static_cast<uint8_t>(kDownload >> 8), 4, 0, 0, 0, 0, 0};
  protocol::PutU32(command.data() + 4, size);
  return command;
}

class CableDownload : public usbrig::UsbRigTest {
 protected:
  void BootOnTheBus() {
    g_rig.registerIdentity = [] { SetupUsbIdentity("E2E00001"); };
    g_rig.onCommand = OnCommand;
    sim::MachineOptions options = usbrig::RigOptions(true);
    options.bPaced = true;
    sim::Machine& m = Boot(options);
    m.RunUntil([] { return g_rig.bReady; }, Ms(10000));
    ASSERT_TRUE(g_rig.bReady);
    sim::UsbRootHub* hub = m.GetBoard().FindDevice<sim::UsbRootHub>();
    ASSERT_NE(hub, nullptr);
    m_bus = testsupport::MakeTempDir() + "/bus";
    m_transport = std::make_unique<sim::cable::CableTransport>(m.GetBoard(), *hub, m_bus, kPort);
    ASSERT_EQ(m_transport->Error(), "");
    ASSERT_TRUE(RunUntil([&] { return m_transport->Published(); }));
  }
  void TearDown() override {
    m_transport.reset();
    usbrig::UsbRigTest::TearDown();
  }

  // Runs the printer until `done` (checked every millisecond of its time).
  bool RunUntil(const std::function<bool()>& done) {
    m_machine->RunUntil(done, kRunLimit);
    return done();
  }
  template <class T>
  static bool Ready(const std::future<T>& f) {
    return f.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
  }
  template <class F>
  auto OnClient(F&& f) {
    auto future = std::async(std::launch::async, std::forward<F>(f));
    EXPECT_TRUE(RunUntil([&] { return Ready(future); }));
    return future.get();
  }
  std::unique_ptr<PrinterConnection> Open() {
    return OnClient([this] { return PrinterConnection::Open(m_bus, kPort); });
  }
  // Arms a receive through the cable, as a host's command would.
  void Arm(PrinterConnection& printer, uint32_t size) {
    const Bytes command = DownloadCommand(size);
    const auto armed = OnClient([&] {
      const Outcome out = printer.BulkOut(command.data(), command.size(), kTransferMs).outcome;
      return out == Outcome::Done ? printer.BulkIn(512, kTransferMs) : sim::cable::TransferResult{};
    });
    ASSERT_EQ(armed.outcome, Outcome::Done);
    ASSERT_EQ(armed.data.size(), 10u);
    ASSERT_EQ(armed.data[0], 0u);
  }
  // Runs until the driver's receive has finished.
  bool ReceiveFinished() {
    bool bFinished = false;
    RunUntil([&] {
      IoctlWord aWords[1] = {1};
      UsbDrvControl(USB_DRIVER_HANDLE, USB_CTRL_BULK_RX_STATUS, aWords);
      bFinished = aWords[0] == 0;
      return bFinished;
    });
    return bFinished;
  }
  static Bytes Received(uint32_t offset, uint32_t size) {
    const uint8_t* p = usbrig::Ram(kDownloadBuffer + offset, size);
    return Bytes(p, p + size);
  }

  std::string m_bus;
  std::unique_ptr<sim::cable::CableTransport> m_transport;
};

TEST_F(CableDownload, EightMegabytesArriveWholeAndRepliesComeBack) {
  BootOnTheBus();
  auto printer = Open();
  ASSERT_TRUE(printer);
  EXPECT_EQ(printer->Identity().serialNumber, "E2E00001");
  Arm(*printer, kEight);
  const Bytes data = usbrig::Pattern(kEight, 8);
  const sim::cable::TransferResult sent =
      OnClient([&] { return printer->BulkOut(data.data(), data.size(), kTransferMs); });
  EXPECT_EQ(sent.outcome, Outcome::Done);
  EXPECT_EQ(sent.bytes, kEight);
  ASSERT_TRUE(ReceiveFinished());
  EXPECT_EQ(g_ulUsbRxAbandoned, 0u);
  EXPECT_TRUE(Received(0, kEight) == data);

  // Commands again, their replies of two full packets back whole.
  for (uint16_t code : {0x0001, 0x0006, 0x0003}) {
    const Bytes command = usbrig::Command(code, 0);
    const auto reply = OnClient([&] {
      printer->BulkOut(command.data(), command.size(), kTransferMs);
      return printer->BulkIn(4096, kTransferMs);
    });
    EXPECT_EQ(reply.outcome, Outcome::Done);
    EXPECT_EQ(reply.data, usbrig::Pattern(1024, code));
  }
}

TEST_F(CableDownload, AClientThatLeavesMidDownloadLeavesTheRestToTheNext) {
  BootOnTheBus();
  auto next = Open();
  ASSERT_TRUE(next);
  Arm(*next, kEight);

  // A client sends the first megabyte of its 8 MB transfer and vanishes.
  const Bytes first = usbrig::Pattern(kEight, 1);
  const uint64_t before = m_transport->Counters().outBytes;
  const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  {
    const sim::cable::UnixAddress address(m_bus, sim::cable::SocketFileName(kPort));
    ASSERT_EQ(connect(fd, address.Get(), address.Length()), 0);
  }
  auto sender = std::async(std::launch::async, [&] {
    for (uint32_t at = 0; at < sim::cable::kOutWindow; at += sim::cable::kMaxPiece) {
      const Bytes piece = sim::cable::Encode(sim::cable::Kind::BulkOut, 1, kEight, at, kTransferMs, first.data() + at,
                                             sim::cable::kMaxPiece);
      if (send(fd, piece.data(), piece.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(piece.size())) return false;
    }
    return true;
  });
  ASSERT_TRUE(RunUntil([&] { return Ready(sender) && m_transport->Counters().outBytes - before >= 64 * 1024; }));
  EXPECT_TRUE(sender.get());
  close(fd);
  ASSERT_TRUE(RunUntil([&] { return m_transport->Connections() == 1 && m_transport->ActiveTransfers() == 0; }));
  const auto moved = static_cast<uint32_t>(m_transport->Counters().outBytes - before);
  EXPECT_EQ(moved % 512, 0u);
  EXPECT_LE(moved, sim::cable::kOutWindow);

  // The next client sends the rest; the receive ends with exactly both.
  const Bytes rest = usbrig::Pattern(kEight - moved, 2);
  EXPECT_EQ(OnClient([&] { return next->BulkOut(rest.data(), rest.size(), kTransferMs); }).outcome, Outcome::Done);
  ASSERT_TRUE(ReceiveFinished());
  EXPECT_TRUE(Received(0, moved) == Bytes(first.begin(), first.begin() + moved));
  EXPECT_TRUE(Received(moved, kEight - moved) == rest);
}

TEST_F(CableDownload, TwoClientsSendingAtOnceDoNotMixTheirTransfers) {
  BootOnTheBus();
  auto a = Open();
  auto b = Open();
  auto c = Open();
  ASSERT_TRUE(a && b && c);
  constexpr uint32_t kHalf = kEight / 2;
  Arm(*c, kEight);
  const Bytes dataA = usbrig::Pattern(kHalf, 0xA);
  const Bytes dataB = usbrig::Pattern(kHalf, 0xB);
  const Bytes deviceId = c->Identity().deviceId;
  auto sendA = std::async(std::launch::async, [&] { return a->BulkOut(dataA.data(), dataA.size(), kTransferMs).outcome; });
  auto sendB = std::async(std::launch::async, [&] { return b->BulkOut(dataB.data(), dataB.size(), kTransferMs).outcome; });
  // Meanwhile a third client keeps the control pipe busy.
  auto control = std::async(std::launch::async, [&] {
    int good = 0;
    for (int i = 0; i < 20; ++i) good += c->GetDeviceId(kTransferMs).data == deviceId ? 1 : 0;
    return good;
  });
  ASSERT_TRUE(RunUntil([&] { return Ready(sendA) && Ready(sendB) && Ready(control); }));
  EXPECT_EQ(sendA.get(), Outcome::Done);
  EXPECT_EQ(sendB.get(), Outcome::Done);
  EXPECT_EQ(control.get(), 20);
  ASSERT_TRUE(ReceiveFinished());
  const Bytes low = Received(0, kHalf);
  const Bytes high = Received(kHalf, kHalf);
  EXPECT_TRUE((low == dataA && high == dataB) || (low == dataB && high == dataA));
}

}  // namespace
