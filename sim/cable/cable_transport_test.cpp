// Both ends of the cable over real sockets in one process: a bare board
// with the root hub and a scripted printer function, the socket transport,
// and clients on their own threads through the client library. The board
// runs paced to the wall clock, as in printer-sim, so the clients' time-outs
// and the printer's mean the same; every wait is bounded and nothing
// asserts on wall time.
#include "sim/cable/cable_transport.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <future>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "sim/board.h"
#include "sim/cable/cable_bus.h"
#include "sim/cable/cable_client.h"
#include "sim/cable/scripted_printer.h"
#include "sim/usb/usb_root_hub.h"
#include "tests/support/temp_dir.h"

namespace sim::cable {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr char kPort[] = "0000cafe";
constexpr uint32_t kShort = 50;      // ms: a time-out meant to expire
constexpr uint32_t kLong = 10000;    // ms: a time-out meant not to

std::string MakeTempDir() { return testsupport::MakeTempDir("cable"); }

Bytes Pattern(size_t size, uint32_t seed) {
  Bytes data(size);
  uint32_t x = seed;
  for (auto& b : data) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
  }
  return data;
}

BoardConfig Paced() {
  BoardConfig config;
  config.bPaced = true;
  return config;
}

class Cable : public ::testing::Test {
 protected:
  void SetUp() override { m_bus = MakeTempDir() + "/bus"; }

  void Start() {
    transport = std::make_unique<CableTransport>(board, hub, m_bus, kPort);
    ASSERT_EQ(transport->Error(), "");
  }
  // The function pulls up; the hub enumerates it; the socket appears.
  void StartAttached() {
    Start();
    function.Attach(true);
    ASSERT_TRUE(RunUntil([&] { return transport->Published(); }));
  }

  // Runs the board (paced) until `done` holds or `limit` of virtual time.
  bool RunUntil(const std::function<bool()>& done, Nanos limit = 20000 * kNsPerMs) {
    SimClock& clock = board.Clock();
    const Nanos end = clock.Now() + limit;
    while (!done()) {
      if (clock.Now() >= end) return false;
      clock.JumpToNextEvent();
      clock.RunDue();
    }
    return true;
  }
  // Runs `f` on a client thread while the board runs.
  template <class F>
  auto OnClient(F&& f) {
    auto future = std::async(std::launch::async, std::forward<F>(f));
    EXPECT_TRUE(RunUntil([&] { return future.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    return future.get();
  }
  template <class T>
  static bool Ready(const std::future<T>& f) {
    return f.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
  }

  // An exchange of `client` on both bulk pipes: what it sends arrives whole
  // after whatever the function had, and it reads the answer queued for it.
  void ExpectServed(PrinterConnection& client) {
    const size_t before = function.received.size();
    const Bytes data = Pattern(5000, 9);
    EXPECT_EQ(OnClient([&] { return client.BulkOut(data.data(), data.size(), kLong); }).outcome, Outcome::Done);
    EXPECT_EQ(Bytes(function.received.begin() + static_cast<std::ptrdiff_t>(before), function.received.end()), data);
    function.QueueIn(Bytes(3, 0x5A));
    EXPECT_EQ(OnClient([&] { return client.BulkIn(512, kLong); }).data, Bytes(3, 0x5A));
  }

  std::unique_ptr<PrinterConnection> Open() {
    return OnClient([this] { return PrinterConnection::Open(m_bus, kPort); });
  }
  // A connection made by hand, for clients that break the rules.
  int RawConnect() {
    const UnixAddress address(m_bus, SocketFileName(kPort));
    const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    EXPECT_EQ(connect(fd, address.Get(), address.Length()), 0);
    return fd;
  }
  static void RawSend(int fd, const Bytes& message) {
    EXPECT_EQ(send(fd, message.data(), message.size(), MSG_NOSIGNAL), static_cast<ssize_t>(message.size()));
  }

  std::string m_bus;
  Board board{Paced()};
  ScriptedPrinter function;
  UsbRootHub& hub = board.AddDevice<UsbRootHub>(board.Clock(), function, true);
  std::unique_ptr<CableTransport> transport;
};

TEST_F(Cable, ThePrinterIsOnTheBusWhileItsDeviceIsConfigured) {
  Start();
  BusWatcher watcher(m_bus);
  RunUntil([] { return false; }, 200 * kNsPerMs);
  EXPECT_FALSE(transport->Published());  // VBUS alone shows nothing
  EXPECT_TRUE(ListPrinters(m_bus).empty());

  function.Attach(true);
  ASSERT_TRUE(RunUntil([&] { return transport->Published(); }));
  std::vector<BusChange> changes = watcher.Wait(1000);
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].kind, BusChange::Kind::Arrived);
  EXPECT_EQ(changes[0].port, kPort);
  ASSERT_EQ(ListPrinters(m_bus).size(), 1u);

  // A client learns what the hub read at enumeration.
  auto printer = Open();
  ASSERT_TRUE(printer);
  const PrinterIdentity& id = printer->Identity();
  EXPECT_EQ(id.vendorId, ScriptedPrinter::kVendorId);
  EXPECT_EQ(id.productId, ScriptedPrinter::kProductId);
  EXPECT_EQ(id.serialNumber, "SN000001");
  EXPECT_EQ(id.manufacturer, "Maker");
  EXPECT_EQ(id.deviceId, function.DeviceId());
  EXPECT_EQ(id.deviceIdText, "MFG:Maker;CMD:RAW;MDL:Test;CLS:PRINTER;SN:SN000001;");
  EXPECT_TRUE(id.bHighSpeed);
  EXPECT_EQ(id.bulkOutEndpoint, 0x02);
  EXPECT_EQ(id.bulkInEndpoint, 0x81);
  EXPECT_EQ(id.bulkOutMaxPacket, 512);
  EXPECT_EQ(id.deviceDescriptor.size(), 18u);
  EXPECT_EQ(id.port, kPort);
  EXPECT_EQ(printer->DevicePath(),
            DevicePath(BusId(m_bus), kPort, ScriptedPrinter::kVendorId, ScriptedPrinter::kProductId));
  ASSERT_TRUE(RunUntil([&] { return transport->Connections() == 1; }));

  // The function disconnects: the file goes, a waiting read ends Gone, and
  // the connection is over.
  auto read = std::async(std::launch::async, [&] { return printer->BulkIn(512, kNoTimeout); });
  ASSERT_TRUE(RunUntil([&] { return transport->ActiveTransfers() == 1; }));
  function.Attach(false);
  ASSERT_TRUE(RunUntil([&] { return Ready(read); }));
  EXPECT_EQ(read.get().outcome, Outcome::Gone);
  EXPECT_FALSE(transport->Published());
  EXPECT_TRUE(ListPrinters(m_bus).empty());
  changes = watcher.Wait(1000);
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].kind, BusChange::Kind::Removed);
  ASSERT_TRUE(RunUntil([&] { return !printer->Connected(); }));
  EXPECT_EQ(printer->BulkOut("x", 1, kLong).outcome, Outcome::Gone);
  int error = 0;
  EXPECT_FALSE(PrinterConnection::Open(m_bus, kPort, {}, &error));
  EXPECT_EQ(error, ENOENT);

  // And it comes back at the same port.
  function.Attach(true);
  ASSERT_TRUE(RunUntil([&] { return transport->Published(); }));
  EXPECT_EQ(transport->Counters().publications, 2u);
  EXPECT_TRUE(Open());
}

struct OutCase {
  const char* name;
  size_t size;
  bool bZlp;
  bool bZlpExpected;
};

class CableBulkOut : public Cable, public ::testing::WithParamInterface<OutCase> {};

TEST_P(CableBulkOut, ArrivesWholeInPacketsOfTheEndpoint) {
  StartAttached();
  auto printer = Open();
  ASSERT_TRUE(printer);
  const OutCase& c = GetParam();
  const Bytes data = Pattern(c.size, 7);
  const TransferResult r = OnClient([&] { return printer->BulkOut(data.data(), data.size(), kLong, c.bZlp); });
  EXPECT_EQ(r.outcome, Outcome::Done);
  EXPECT_EQ(r.bytes, c.size);
  EXPECT_EQ(function.received, data);
  // Full packets, then one short or zero-length packet only at the end.
  const std::vector<uint32_t>& sizes = function.outPacketSizes;
  ASSERT_FALSE(sizes.empty());
  for (size_t i = 0; i + 1 < sizes.size(); ++i) ASSERT_EQ(sizes[i], 512u) << "packet " << i;
  EXPECT_EQ(sizes.back() == 0, c.size == 0 || c.bZlpExpected);
  EXPECT_EQ(sizes.size(), c.size == 0 ? 1 : (c.size + 511) / 512 + (c.bZlpExpected ? 1 : 0));
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, CableBulkOut,
    ::testing::Values(OutCase{"Empty", 0, false, false}, OutCase{"OnePacket", 512, false, false},
                      OutCase{"OnePacketAndZlp", 512, true, true}, OutCase{"ShortLastAndZlpAsked", 1000, true, false},
                      OutCase{"AcrossPieces", 3 * kMaxPiece + 100, false, false},
                      OutCase{"BeyondTheWindow", 2 * kOutWindow + 4096 + 7, false, false}),
    [](const ::testing::TestParamInfo<OutCase>& p) { return std::string(p.param.name); });

TEST_F(Cable, BulkInEndsAtAShortPacketOrTheAskedLengthOrItsTimeOut) {
  StartAttached();
  auto printer = Open();
  ASSERT_TRUE(printer);
  const Bytes reply = Pattern(1500, 1);
  function.QueueIn(reply);
  TransferResult r = OnClient([&] { return printer->BulkIn(4096, kLong); });
  EXPECT_EQ(r.outcome, Outcome::Done);
  EXPECT_EQ(r.data, reply);
  EXPECT_EQ(r.bytes, 1500u);

  // Four full packets and a zero-length one: a read of 1024 ends at its
  // length, the next at the zero-length packet.
  const Bytes two = Pattern(2048, 2);
  function.QueueIn(two);
  r = OnClient([&] { return printer->BulkIn(1024, kLong); });
  EXPECT_EQ(r.data, Bytes(two.begin(), two.begin() + 1024));
  r = OnClient([&] { return printer->BulkIn(4096, kLong); });
  EXPECT_EQ(r.data, Bytes(two.begin() + 1024, two.end()));
  EXPECT_EQ(function.InQueued(), 0u);

  // An answer longer than one piece of the cable.
  const Bytes large = Pattern(3 * kMaxPiece + 10, 3);
  function.QueueIn(large);
  r = OnClient([&] { return printer->BulkIn(65536, kLong); });
  EXPECT_EQ(r.outcome, Outcome::Done);
  EXPECT_EQ(r.data, large);

  // Nothing to read: the time-out ends it, and IN tokens went out meanwhile.
  const uint64_t tokens = function.inTokens;
  r = OnClient([&] { return printer->BulkIn(4096, kShort); });
  EXPECT_EQ(r.outcome, Outcome::NakTimeout);
  EXPECT_TRUE(r.data.empty());
  EXPECT_GT(function.inTokens, tokens);
}

TEST_F(Cable, ControlRequestsAndEndpointHalts) {
  StartAttached();
  auto printer = Open();
  ASSERT_TRUE(printer);
  TransferResult r = OnClient([&] { return printer->GetDeviceId(kLong); });
  EXPECT_EQ(r.outcome, Outcome::Done);
  EXPECT_EQ(r.data, function.DeviceId());

  r = OnClient([&] { return printer->Control(SetupPacket{0x80, 6, 0x0303, 0x0409, 255}, nullptr, kLong); });
  EXPECT_EQ(r.data, (Bytes{18, 3, 'S', 0, 'N', 0, '0', 0, '0', 0, '0', 0, '0', 0, '0', 0, '1', 0}));
  // The hub keeps SET_ADDRESS for itself; the function refuses what it does
  // not know.
  EXPECT_EQ(OnClient([&] { return printer->Control(SetupPacket{0x00, 5, 9, 0, 0}, nullptr, kLong); }).outcome,
            Outcome::Error);
  EXPECT_EQ(OnClient([&] { return printer->Control(SetupPacket{0xC0, 0x55, 0, 0, 4}, nullptr, kLong); }).outcome,
            Outcome::Stall);

  // A halted bulk OUT endpoint stalls until the host clears the halt.
  EXPECT_EQ(OnClient([&] { return printer->Control(SetupPacket{0x02, 3, 0, 0x02, 0}, nullptr, kLong); }).outcome,
            Outcome::Done);
  EXPECT_EQ(OnClient([&] { return printer->BulkOut("abc", 3, kLong); }).outcome, Outcome::Stall);
  EXPECT_EQ(OnClient([&] { return printer->ClearHalt(0x02, kLong); }).outcome, Outcome::Done);
  r = OnClient([&] { return printer->BulkOut("abc", 3, kLong); });
  EXPECT_EQ(r.outcome, Outcome::Done);
  EXPECT_EQ(function.received, (Bytes{'a', 'b', 'c'}));
}

TEST_F(Cable, ABusyFunctionEndsTheTransferAtItsTimeOutWithWhatMoved) {
  StartAttached();
  auto printer = Open();
  ASSERT_TRUE(printer);
  function.outNaks = 5;  // a few NAKs are only a delay
  EXPECT_EQ(OnClient([&] { return printer->BulkOut(Pattern(700, 1).data(), 700, kLong); }).outcome, Outcome::Done);

  function.received.clear();
  function.outTakeLimit = 1024;
  const Bytes data = Pattern(3 * kMaxPiece, 2);
  const TransferResult r = OnClient([&] { return printer->BulkOut(data.data(), data.size(), kShort); });
  EXPECT_EQ(r.outcome, Outcome::NakTimeout);
  EXPECT_EQ(r.bytes, 1024u);
  EXPECT_EQ(function.received, Bytes(data.begin(), data.begin() + 1024));

  // The rest of that transfer never follows: the next one is whole.
  function.received.clear();
  function.outTakeLimit = SIZE_MAX;
  const Bytes next = Pattern(600, 3);
  EXPECT_EQ(OnClient([&] { return printer->BulkOut(next.data(), next.size(), kLong); }).outcome, Outcome::Done);
  EXPECT_EQ(function.received, next);
}

TEST_F(Cable, TransfersOfTwoClientsNeverMix) {
  StartAttached();
  auto a = Open();
  auto b = Open();
  ASSERT_TRUE(a && b);
  constexpr size_t kSize = 300 * 1024;
  constexpr int kEach = 4;
  auto sender = [kSize](PrinterConnection* p, uint8_t first) {
    bool bOk = true;
    for (int i = 0; i < kEach; ++i) {
      const Bytes data(kSize, static_cast<uint8_t>(first + i));
      bOk = bOk && p->BulkOut(data.data(), data.size(), kLong).outcome == Outcome::Done;
    }
    return bOk;
  };
  auto fa = std::async(std::launch::async, sender, a.get(), 0x10);
  auto fb = std::async(std::launch::async, sender, b.get(), 0x20);
  ASSERT_TRUE(RunUntil([&] { return Ready(fa) && Ready(fb); }));
  EXPECT_TRUE(fa.get());
  EXPECT_TRUE(fb.get());
  // Each transfer arrived as one block, and each client's in its order.
  ASSERT_EQ(function.received.size(), 2 * kEach * kSize);
  std::vector<uint8_t> blocks;
  for (size_t at = 0; at < function.received.size(); at += kSize) {
    const uint8_t v = function.received[at];
    EXPECT_TRUE(std::all_of(function.received.begin() + static_cast<std::ptrdiff_t>(at),
                            function.received.begin() + static_cast<std::ptrdiff_t>(at + kSize),
                            [v](uint8_t x) { return x == v; }))
        << "block at " << at;
    blocks.push_back(v);
  }
  std::vector<uint8_t> fromA;
  std::vector<uint8_t> fromB;
  for (uint8_t v : blocks) (v < 0x20 ? fromA : fromB).push_back(v);
  EXPECT_EQ(fromA, (std::vector<uint8_t>{0x10, 0x11, 0x12, 0x13}));
  EXPECT_EQ(fromB, (std::vector<uint8_t>{0x20, 0x21, 0x22, 0x23}));

  // Two readers at once: each gets one whole answer.
  auto ra = std::async(std::launch::async, [&] { return a->BulkIn(4096, kLong); });
  auto rb = std::async(std::launch::async, [&] { return b->BulkIn(4096, kLong); });
  ASSERT_TRUE(RunUntil([&] { return transport->ActiveTransfers() == 2; }));
  function.QueueIn(Bytes(1500, 0x11));
  function.QueueIn(Bytes(1500, 0x22));
  ASSERT_TRUE(RunUntil([&] { return Ready(ra) && Ready(rb); }));
  const Bytes da = ra.get().data;
  const Bytes db = rb.get().data;
  EXPECT_EQ(std::set<Bytes>({da, db}), std::set<Bytes>({Bytes(1500, 0x11), Bytes(1500, 0x22)}));
}

TEST_F(Cable, AClientThatLeavesMidTransferLeavesThePrinterToTheNext) {
  StartAttached();
  // Client A by hand: a bulk OUT transfer of 1 MB of which it sends 256 KB,
  // and a read without time-out; then it is gone.
  const Bytes dataA = Pattern(kOutWindow, 11);
  const int fd = RawConnect();
  constexpr uint32_t kSent = 256 * 1024;
  for (uint32_t at = 0; at < kSent; at += kMaxPiece) {
    RawSend(fd, Encode(Kind::BulkOut, 1, kOutWindow, at, kNoTimeout, dataA.data() + at, kMaxPiece));
  }
  RawSend(fd, Encode(Kind::BulkIn, 2, 512, 0, kNoTimeout));
  ASSERT_TRUE(RunUntil([&] { return transport->ActiveTransfers() == 2; }));
  close(fd);
  ASSERT_TRUE(RunUntil([&] { return transport->ActiveTransfers() == 0 && transport->Connections() == 0; }));
  EXPECT_EQ(transport->Counters().cancelled, 2u);

  // Client B: its transfers run at once and whole, after what A had moved.
  auto b = Open();
  ASSERT_TRUE(b);
  const size_t fromA = function.received.size();
  EXPECT_LE(fromA, kSent);
  EXPECT_EQ(fromA % 512, 0u);
  EXPECT_EQ(function.received, Bytes(dataA.begin(), dataA.begin() + static_cast<std::ptrdiff_t>(fromA)));
  const Bytes dataB = Pattern(100000, 12);
  EXPECT_EQ(OnClient([&] { return b->BulkOut(dataB.data(), dataB.size(), kLong); }).outcome, Outcome::Done);
  EXPECT_EQ(Bytes(function.received.begin() + static_cast<std::ptrdiff_t>(fromA), function.received.end()), dataB);
  // A's read took nothing: the answer is B's.
  function.QueueIn(Bytes(100, 0x42));
  EXPECT_EQ(OnClient([&] { return b->BulkIn(512, kLong); }).data, Bytes(100, 0x42));

  // A client of the library that closes while its read waits: the read ends
  // Gone and the printer forgets it.
  auto c = Open();
  ASSERT_TRUE(c);
  auto read = std::async(std::launch::async, [&] { return c->BulkIn(512, kNoTimeout); });
  ASSERT_TRUE(RunUntil([&] { return transport->ActiveTransfers() == 1; }));
  c->Close();
  EXPECT_EQ(read.get().outcome, Outcome::Gone);
  ASSERT_TRUE(RunUntil([&] { return transport->ActiveTransfers() == 0 && transport->Connections() == 1; }));
}

TEST_F(Cable, AnAbortedPipeEndsItsTransfersCancelledAndTakesNothing) {
  StartAttached();
  auto printer = Open();
  ASSERT_TRUE(printer);
  auto read = std::async(std::launch::async, [&] { return printer->BulkIn(512, kNoTimeout); });
  ASSERT_TRUE(RunUntil([&] { return transport->ActiveTransfers() == 1; }));
  printer->AbortPipe(Pipe::BulkIn);
  ASSERT_TRUE(RunUntil([&] { return Ready(read); }));
  EXPECT_EQ(read.get().outcome, Outcome::Cancelled);

  function.QueueIn(Bytes(10, 0x33));
  EXPECT_EQ(OnClient([&] { return printer->BulkIn(512, kLong); }).data, Bytes(10, 0x33));

  // A bulk OUT stuck on a function that never takes it.
  function.bOutNakAlways = true;
  const Bytes data(3 * kMaxPiece, 1);
  auto write = std::async(std::launch::async, [&] { return printer->BulkOut(data.data(), data.size(), kNoTimeout); });
  ASSERT_TRUE(RunUntil([&] { return transport->ActiveTransfers() == 1; }));
  printer->AbortPipe(Pipe::BulkOut);
  ASSERT_TRUE(RunUntil([&] { return Ready(write); }));
  const TransferResult r = write.get();
  EXPECT_EQ(r.outcome, Outcome::Cancelled);
  EXPECT_EQ(r.bytes, 0u);
  EXPECT_EQ(transport->Counters().cancelled, 2u);
}

struct RudeCase {
  const char* name;
  std::vector<Bytes> messages;
};

class CableRudeClient : public Cable, public ::testing::WithParamInterface<RudeCase> {};

TEST_P(CableRudeClient, IsDroppedAndOthersAreServed) {
  StartAttached();
  auto good = Open();
  ASSERT_TRUE(good);
  const int fd = RawConnect();
  for (const Bytes& m : GetParam().messages) RawSend(fd, m);
  ASSERT_TRUE(RunUntil([&] { return transport->Counters().protocolErrors == 1 && transport->Connections() == 1; }));
  // The rude one hears the printer's identity, then the end.
  std::vector<uint8_t> buffer(kMaxMessage);
  ssize_t n = 0;
  int messages = 0;
  while ((n = recv(fd, buffer.data(), buffer.size(), 0)) > 0) ++messages;
  EXPECT_EQ(n, 0);
  EXPECT_GE(messages, 1);
  close(fd);
  EXPECT_EQ(OnClient([&] { return good->BulkOut("ok", 2, kLong); }).outcome, Outcome::Done);
  EXPECT_EQ(function.received, (Bytes{'o', 'k'}));
}

Bytes Piece(uint32_t tag, uint32_t total, uint32_t offset, size_t size) {
  const Bytes data(size, 0x77);
  return Encode(Kind::BulkOut, tag, total, offset, kLong, data.data(), data.size());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CableRudeClient,
    ::testing::Values(RudeCase{"UnknownKind", {Bytes(kHeaderSize, 0x42)}},
                      RudeCase{"PrinterKind", {Encode(Kind::Result, 1, 0, 0)}},
                      RudeCase{"TooShort", {Bytes(3, 0)}},
                      // (The first piece is less than a packet: the function takes none of it.)
                      RudeCase{"PieceOutOfOrder", {Piece(1, 8192, 0, 100), Piece(1, 8192, 8000, 192)}},
                      RudeCase{"PieceBeyondTheTotal", {Piece(1, 100, 0, 200)}},
                      RudeCase{"TagInUse", {Encode(Kind::BulkIn, 5, 512, 0, kLong), Encode(Kind::BulkIn, 5, 512, 0, kLong)}},
                      RudeCase{"PieceForARead", {Encode(Kind::BulkIn, 5, 512, 0, kLong), Piece(5, 0, 0, 0)}}),
    [](const ::testing::TestParamInfo<RudeCase>& p) { return std::string(p.param.name); });

// ---- clients that leave with transfers on the printer ----------------------------------------

// A client by hand with transfers queued on the printer, leaving one way or
// another: its transfers end without starting on the function (not even a
// zero-length packet), the printer keeps no trace of it, and the client
// already connected is served as before.
struct LeaveCase {
  const char* name;
  std::vector<Bytes> transfers;  // sent, then waited for as active transfers
  Bytes leave;                   // the last message; empty: the socket closes
};

class CableLeavingClient : public Cable, public ::testing::WithParamInterface<LeaveCase> {};

TEST_P(CableLeavingClient, LeavesNothingBehind) {
  StartAttached();
  auto good = Open();
  ASSERT_TRUE(good);
  const LeaveCase& c = GetParam();
  const int fd = RawConnect();
  for (const Bytes& m : c.transfers) RawSend(fd, m);
  ASSERT_TRUE(RunUntil([&] { return transport->ActiveTransfers() == c.transfers.size(); }));
  if (c.leave.empty()) {
    close(fd);
  } else {
    RawSend(fd, c.leave);
  }
  ASSERT_TRUE(RunUntil([&] { return transport->ActiveTransfers() == 0 && transport->Connections() == 1; }));
  if (!c.leave.empty()) close(fd);
  EXPECT_TRUE(function.outPacketSizes.empty());
  EXPECT_EQ(transport->Counters().transfers, c.transfers.size());
  ExpectServed(*good);
}

// A bulk OUT of about 3 MB of which 2 bytes came (the function waits for a
// whole packet), and a zero-length bulk OUT in line behind it.
const std::vector<Bytes> kOutAndEmptyOut = {Piece(1, 3 << 20, 0, 2), Piece(2, 0, 0, 0)};

std::vector<Bytes> OnEveryBulkPipe() {
  std::vector<Bytes> messages = kOutAndEmptyOut;
  messages.push_back(Encode(Kind::BulkIn, 3, 512, 0, kNoTimeout));
  messages.push_back(Encode(Kind::BulkIn, 4, 512, 0, kNoTimeout));
  return messages;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CableLeavingClient,
    ::testing::Values(LeaveCase{"ClosesWithTwoBulkOutsQueued", kOutAndEmptyOut, {}},
                      LeaveCase{"SaysByeWithTransfersOnBothBulkPipes", OnEveryBulkPipe(), Encode(Kind::Bye, 0)},
                      LeaveCase{"BreaksTheRulesWithTwoBulkOutsQueued", kOutAndEmptyOut, Piece(1, 3 << 20, 100, 2)},
                      LeaveCase{"SendsGarbageWithTransfersQueued", OnEveryBulkPipe(), Bytes(kHeaderSize, 0x42)}),
    [](const ::testing::TestParamInfo<LeaveCase>& p) { return std::string(p.param.name); });

// A client that stops reading (its receive side shut) after the identity
// makes the printer's next send to it fail: the connection is over for the
// printer too, and whatever it had queued ends.
struct DeafCase {
  const char* name;
  Bytes transfer;  // sent after the identity was read
  Bytes answer;    // then queued on the function's bulk IN endpoint
};

class CableDeafClient : public Cable, public ::testing::WithParamInterface<DeafCase> {};

TEST_P(CableDeafClient, IsDroppedAndItsTransfersEnd) {
  StartAttached();
  auto good = Open();
  ASSERT_TRUE(good);
  const DeafCase& c = GetParam();
  const int fd = RawConnect();
  std::vector<uint8_t> buffer(kMaxMessage);
  ASSERT_GT(recv(fd, buffer.data(), buffer.size(), 0), 0);
  ASSERT_EQ(shutdown(fd, SHUT_RD), 0);
  RawSend(fd, c.transfer);
  ASSERT_TRUE(RunUntil([&] { return transport->ActiveTransfers() == 1; }));
  if (!c.answer.empty()) function.QueueIn(c.answer);
  ASSERT_TRUE(RunUntil([&] { return transport->Connections() == 1 && transport->ActiveTransfers() == 0; }));

  // The bulk pipes are free for the next client.
  ExpectServed(*good);
  close(fd);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CableDeafClient,
    ::testing::Values(
        // 4 KB of 1 MB taken: the credit for them cannot be sent, and the
        // rest would never come.
        DeafCase{"WithABulkOutWaitingForData",
                 Encode(Kind::BulkOut, 1, kOutWindow, 0, kNoTimeout, Pattern(kMaxPiece, 1).data(), kMaxPiece), {}},
        // The answer cannot be sent.
        DeafCase{"WithABulkInAnswered", Encode(Kind::BulkIn, 1, 512, 0, kNoTimeout), Bytes(10, 0x33)}),
    [](const ::testing::TestParamInfo<DeafCase>& p) { return std::string(p.param.name); });

// Many clients that connect and leave at once, half of them shutting their
// receive side first: the identity often cannot even go out.
TEST_F(Cable, AStormOfClientsThatLeaveAtOnceLeavesNoConnectionBehind) {
  StartAttached();
  auto good = Open();
  ASSERT_TRUE(good);
  constexpr uint64_t kStorm = 300;
  auto storm = std::async(std::launch::async, [this] {
    for (uint64_t i = 0; i < kStorm; ++i) {
      const int fd = RawConnect();
      // Every other one never reads: the identity may not even go out.
      if (i % 2 == 0) shutdown(fd, SHUT_RD);
      close(fd);
    }
  });
  ASSERT_TRUE(RunUntil([&] { return Ready(storm) && transport->Counters().connections == kStorm + 1; }));
  ASSERT_TRUE(RunUntil([&] { return transport->Connections() == 1; }));
  ExpectServed(*good);
}

// ---- a process out of descriptors -------------------------------------------------------------

// Takes every descriptor the process may still open, below a lowered limit,
// and gives them back (and the limit) at the end.
class DescriptorDrought {
 public:
  DescriptorDrought() {
    getrlimit(RLIMIT_NOFILE, &m_saved);
    int highest = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
      highest = std::max(highest, std::stoi(entry.path().filename().string()));
    }
    rlimit lowered = m_saved;
    lowered.rlim_cur = static_cast<rlim_t>(highest) + 2;  // room for one at least
    m_bOk = setrlimit(RLIMIT_NOFILE, &lowered) == 0;
    for (int fd; m_bOk && (fd = open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) m_taken.push_back(fd);
    m_bOk = m_bOk && errno == EMFILE && !m_taken.empty();
  }
  ~DescriptorDrought() {
    for (int fd : m_taken) close(fd);
    setrlimit(RLIMIT_NOFILE, &m_saved);
  }
  bool Ok() const { return m_bOk; }
  // One descriptor back, for the caller to take.
  void Spare() {
    close(m_taken.back());
    m_taken.pop_back();
  }

 private:
  rlimit m_saved{};
  bool m_bOk = false;
  std::vector<int> m_taken;
};

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST_F(Cable, ClientsThePrinterHasNoDescriptorForAreTurnedAwayUntilThereAreAgain) {
  StartAttached();
  auto good = Open();
  ASSERT_TRUE(good);
  {
    DescriptorDrought drought;
    ASSERT_TRUE(drought.Ok());
    drought.Spare();  // for the client's socket
    for (uint64_t refused = 1; refused <= 2; ++refused) {
      const int fd = RawConnect();
      // It hears nothing: the connection ends without the identity.
      ASSERT_TRUE(RunUntil([&] { return transport->Counters().refused == refused; }));
      std::vector<uint8_t> buffer(kMaxMessage);
      EXPECT_EQ(recv(fd, buffer.data(), buffer.size(), 0), 0);
      close(fd);
    }
    // The one already connected stays. (No thread is started meanwhile: the
    // sanitizers' memory checks need descriptors of their own.)
    EXPECT_EQ(transport->Connections(), 1u);
  }
  ExpectServed(*good);
  EXPECT_EQ(Count(board.Console(), "[cable] out of descriptors"), 1u) << board.Console();
  EXPECT_EQ(transport->Counters().refused, 2u);
  EXPECT_EQ(transport->Connections(), 1u);
  auto next = Open();
  ASSERT_TRUE(next);
  ExpectServed(*next);
}

TEST_F(Cable, ASocketFileLeftByADeadPrinterIsReplacedButALiveOneIsNotTaken) {
  ASSERT_EQ(EnsureDirectory(m_bus), 0);
  const UnixAddress address(m_bus, SocketFileName(kPort));
  const int other = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  ASSERT_EQ(bind(other, address.Get(), address.Length()), 0);
  ASSERT_EQ(listen(other, 1), 0);
  {
    CableTransport second(board, hub, m_bus, kPort);
    EXPECT_NE(second.Error().find("another printer"), std::string::npos) << second.Error();
  }
  close(other);  // the file stays: a dead printer's
  StartAttached();
  EXPECT_TRUE(Open());
}

TEST_F(Cable, ABusDirectoryBeyondTheSocketAddressLimitWorks) {
  while (m_bus.size() < 2 * sizeof(sockaddr_un::sun_path)) m_bus += "/deeper-and-deeper";
  StartAttached();
  auto printer = Open();
  ASSERT_TRUE(printer);
  EXPECT_EQ(OnClient([&] { return printer->BulkOut("long", 4, kLong); }).outcome, Outcome::Done);
}

}  // namespace
}  // namespace sim::cable
