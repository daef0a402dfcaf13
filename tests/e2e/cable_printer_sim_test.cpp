// printer-sim processes on a virtual USB bus, reached from this test process
// through the cable's client library and its listing tool: printers appear
// and disappear with their processes and come back at the same port with
// the same serial number; commands and replies cross the cable; a client
// that leaves in the middle of its transfers does not hold the printer up;
// two clients at once each get exactly their own answers; clients that
// leave with transfers queued, or before their identity could be sent,
// leave the printer up and holding none of their connections; a blank
// machine starts up to its main loop and is listed; a bad engine version
// is refused before anything is written. Every printer-sim
// runs paced, faster than the wall clock, with its state and the bus in this test's
// temporary directory; every wait is bounded by a limit, never measured.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "protocol/codes.h"
#include "protocol/headers.h"
#include "protocol/replies.h"
#include "sim/cable/cable_bus.h"
#include "sim/cable/cable_client.h"
#include "tests/e2e/bus_ports.h"
#include "tests/e2e/child_process.h"
#include "tools/images/flash_map.h"
#include "tools/images/lamination_slot.h"
#include "tools/images/main_image.h"
#include "tests/support/temp_dir.h"

namespace {

using sim::cable::BusWatcher;
using sim::cable::Outcome;
using sim::cable::PrinterConnection;
using Bytes = std::vector<uint8_t>;

// Wall-clock bounds of waits (limits, never expectations): a paced printer
// boots in a few seconds; sanitizer builds are slower.
constexpr int kBootLimitMs = 120000;
constexpr uint32_t kTransferMs = 5000;
// printer-sim's pace: its virtual time may run this much faster than wall
// time, so its start-up (some 4.5 s of virtual time) does not hold the test.
constexpr const char* kPace = "--paced=4";

class PrinterSimBus : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = testsupport::MakeTempDir("e2e-cable");
    m_bus = m_dir + "/bus";
    ASSERT_EQ(sim::cable::EnsureDirectory(m_bus), 0);
    m_watcher = std::make_unique<BusWatcher>(m_bus);
    ASSERT_TRUE(m_watcher->Ok());
  }

  std::string StateDir(const std::string& name) {
    const std::string dir = m_dir + "/" + name;
    mkdir(dir.c_str(), 0700);
    return dir;
  }
  std::string PortOf(const std::string& name) { return sim::cable::PortFor(StateDir(name)); }

  // Starts a printer; it runs until the test stops it, or ends at the end of
  // the test, where it must end cleanly (no fault, no sanitizer report).
  e2e::ChildProcess* StartPrinter(const std::string& name, const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args{PRINTER_SIM_PATH, "--state", StateDir(name), "--usb-bus", m_bus, kPace};
    args.insert(args.end(), extra.begin(), extra.end());
    m_children.push_back(
        std::make_unique<e2e::ChildProcess>(args, m_dir + "/" + name + "-" + std::to_string(m_children.size()) + ".log"));
    EXPECT_TRUE(m_children.back()->Started());
    return m_children.back().get();
  }
  void TearDown() override {
    for (auto& child : m_children) {
      if (!child->Running()) continue;
      EXPECT_EQ(child->Stop(SIGTERM), 0) << child->Log();
      const std::string log = child->Log();
      for (const char* bad : {"printer-sim: fault", "AddressSanitizer", "runtime error"}) {
        EXPECT_EQ(log.find(bad), std::string::npos) << log;
      }
    }
    m_children.clear();
  }

  // Waits, on the bus directory's changes, until exactly `ports` are listed.
  bool WaitForPorts(const std::set<std::string>& ports, int limitMs = kBootLimitMs) {
    return e2e::WaitForBusPorts(m_bus, *m_watcher, ports, limitMs);
  }

  std::unique_ptr<PrinterConnection> Open(const std::string& port) {
    int error = 0;
    auto printer = PrinterConnection::Open(m_bus, port, {}, &error);
    EXPECT_TRUE(printer) << "open " << port << ": " << std::strerror(error);
    return printer;
  }

  // The listing tool's output.
  std::string List() {
    e2e::ChildProcess tool({USB_LIST_PATH, "--bus", m_bus}, m_dir + "/list-" + std::to_string(++m_lists) + ".log");
    EXPECT_TRUE(tool.WaitExit(30000));
    EXPECT_EQ(tool.Stop(), 0);
    return tool.Log();
  }

  std::string m_dir;
  std::string m_bus;
  std::unique_ptr<BusWatcher> m_watcher;
  std::vector<std::unique_ptr<e2e::ChildProcess>> m_children;
  int m_lists = 0;
};

// One command and its reply, as the host library exchanges them.
struct Exchange {
  Outcome out = Outcome::Gone;
  Outcome in = Outcome::Gone;
  protocol::ReplyHeader header{};
  Bytes data;
};

Exchange Command(PrinterConnection& printer, uint16_t code, const Bytes& payload = {}) {
  Exchange e;
  uint8_t packet[512];
  const int32_t size = protocol::EncodeCommandPacket(code, payload.data(), static_cast<uint16_t>(payload.size()),
                                                     packet, sizeof packet);
  if (size <= 0) return e;
  e.out = printer.BulkOut(packet, static_cast<size_t>(size), kTransferMs).outcome;
  if (e.out != Outcome::Done) return e;
  const sim::cable::TransferResult reply = printer.BulkIn(4096, kTransferMs);
  e.in = reply.outcome;
  protocol::ReplyFrame frame{};
  if (e.in == Outcome::Done && protocol::DecodeReplyFrame(reply.data.data(), reply.data.size(), &frame) >= 0) {
    e.header = frame.header;
    e.data.assign(frame.data, frame.data + frame.dataLength);
  } else if (e.in == Outcome::Done) {
    e.in = Outcome::Error;  // not a reply
  }
  return e;
}

// What the listing tool shows of a printer.
std::string ListingOf(const PrinterConnection& printer) {
  const sim::cable::PrinterIdentity& id = printer.Identity();
  char ids[16];
  std::snprintf(ids, sizeof ids, "%04x:%04x", id.vendorId, id.productId);
  return "port " + id.port + "  " + ids + "  " + (id.bHighSpeed ? "high" : "full") + " speed  serial " +
         id.serialNumber + "\n    path       " + printer.DevicePath() + "\n    device ID  " + id.deviceIdText + "\n";
}

std::string SerialOverCommand(PrinterConnection& printer) {
  const Exchange e = Command(printer, protocol::CMD_GET_SERIAL_NO);
  if (e.out != Outcome::Done || e.in != Outcome::Done || e.header.errorCode != 0) return "(no answer)";
  return std::string(e.data.begin(), e.data.end());
}

TEST_F(PrinterSimBus, TwoPrintersAreListedAndOneThatEndsLeavesAndComesBackTheSame) {
  const std::string portA = PortOf("a");
  const std::string portB = PortOf("b");
  ASSERT_NE(portA, portB);
  auto a = StartPrinter("a");
  auto b = StartPrinter("b");
  ASSERT_TRUE(WaitForPorts({portA, portB})) << a->Log() << b->Log();

  // Each printer whole, as a client that opens it sees it, in port order.
  std::string listing = List();
  EXPECT_NE(listing.find("\n2 printers\n"), std::string::npos) << listing;
  EXPECT_EQ(listing.find("not answering"), std::string::npos) << listing;
  std::vector<size_t> where;
  for (const std::string& port : std::set<std::string>{portA, portB}) {
    const auto printer = Open(port);
    ASSERT_TRUE(printer);
    const std::string block = ListingOf(*printer);
    EXPECT_NE(block.find("CLS:PRINTER;"), std::string::npos) << block;
    EXPECT_NE(block.find("bus_" + sim::cable::BusId(m_bus) + "&port_" + port), std::string::npos) << block;
    where.push_back(listing.find(block));
    EXPECT_NE(where.back(), std::string::npos) << "expected\n" << block << "in\n" << listing;
  }
  EXPECT_LT(where[0], where[1]) << listing;

  auto printerA = Open(portA);
  ASSERT_TRUE(printerA);
  const std::string serial = printerA->Identity().serialNumber;
  EXPECT_EQ(serial.size(), 8u);
  char ids[16];
  std::snprintf(ids, sizeof ids, "%04x:%04x", printerA->Identity().vendorId, printerA->Identity().productId);
  EXPECT_NE(listing.find(ids), std::string::npos) << listing;

  // Ending printer a takes it off the bus; its clients hear it left.
  EXPECT_EQ(a->Stop(SIGTERM), 0) << a->Log();
  ASSERT_TRUE(WaitForPorts({portB}));
  listing = List();
  EXPECT_NE(listing.find("1 printer\n"), std::string::npos) << listing;
  EXPECT_EQ(listing.find("port " + portA), std::string::npos) << listing;
  EXPECT_EQ(printerA->BulkIn(512, kTransferMs).outcome, Outcome::Gone);
  EXPECT_FALSE(printerA->Connected());

  // Started again on its state, it is back at its port with its serial.
  a = StartPrinter("a");
  ASSERT_TRUE(WaitForPorts({portA, portB})) << a->Log();
  printerA = Open(portA);
  ASSERT_TRUE(printerA);
  EXPECT_EQ(printerA->Identity().serialNumber, serial);
  EXPECT_EQ(printerA->DevicePath(), sim::cable::DevicePath(sim::cable::BusId(m_bus), portA, printerA->Identity().vendorId,
                                                           printerA->Identity().productId));
  EXPECT_NE(a->Log().find("[board] boot 2"), std::string::npos) << a->Log();
  listing = List();
  EXPECT_NE(listing.find("port " + portA), std::string::npos) << listing;

  // Killed outright, it leaves its socket file behind, listed as not
  // answering; a client that keeps trying gets through once it is back.
  a->Stop(SIGKILL);
  printerA.reset();
  listing = List();
  EXPECT_NE(listing.find("port " + portA + ": not answering"), std::string::npos) << listing;
  EXPECT_NE(listing.find("1 printer\n"), std::string::npos) << listing;
  auto reopen = std::async(std::launch::async, [&] {
    sim::cable::OpenOptions options;
    options.retryMs = kBootLimitMs;
    int error = 0;
    auto p = PrinterConnection::Open(m_bus, portA, options, &error);
    return std::make_pair(std::move(p), error);
  });
  a = StartPrinter("a");
  auto [reopened, error] = reopen.get();
  ASSERT_TRUE(reopened) << std::strerror(error) << a->Log();
  EXPECT_EQ(reopened->Identity().serialNumber, serial);
}

TEST_F(PrinterSimBus, AHostResetReexecutesThePrinterWhichLeavesAndComesBackAtItsPort) {
  auto child = StartPrinter("p");
  const std::string port = PortOf("p");
  ASSERT_TRUE(WaitForPorts({port})) << child->Log();
  auto printer = Open(port);
  ASSERT_TRUE(printer);
  const std::string serial = printer->Identity().serialNumber;

  // The host resets the printer: its main loop ends, the kernel exits and
  // the watchdog restarts the board. The socket goes before the process
  // image is replaced, and the connections end.
  const Exchange reset = Command(*printer, protocol::CMD_RESET, {protocol::RESET_KIND_PRINTER, 0});
  ASSERT_EQ(reset.in, Outcome::Done) << child->Log();
  EXPECT_EQ(reset.header.errorCode, 0);
  ASSERT_TRUE(WaitForPorts({})) << child->Log();
  EXPECT_EQ(printer->BulkIn(512, kTransferMs).outcome, Outcome::Gone);
  // The same process, booted again, comes back at its port.
  ASSERT_TRUE(WaitForPorts({port})) << child->Log();
  EXPECT_TRUE(child->Running());
  printer = Open(port);
  ASSERT_TRUE(printer);
  EXPECT_EQ(printer->Identity().serialNumber, serial);
  EXPECT_EQ(SerialOverCommand(*printer), serial);
  // In that order: the socket off the bus as the main loop ends, the
  // kernel's end and the watchdog's restart, the new boot.
  const std::string log = child->Log();
  const size_t off = log.find("[cable] off the bus");
  const size_t restart = log.find("[board] kernel ended at ", off);
  const size_t boot = log.find("[board] boot 2", off);
  ASSERT_NE(off, std::string::npos) << log;
  ASSERT_NE(restart, std::string::npos) << log;
  EXPECT_NE(log.find("watchdog restart", restart), std::string::npos) << log;
  ASSERT_NE(boot, std::string::npos) << log;
  EXPECT_LT(restart, boot) << log;
}

TEST_F(PrinterSimBus, CommandsAndRepliesCrossTheCable) {
  auto child = StartPrinter("p");
  const std::string port = PortOf("p");
  ASSERT_TRUE(WaitForPorts({port})) << child->Log();
  auto printer = Open(port);
  ASSERT_TRUE(printer);

  // The serial number the firmware answers is the one its descriptors carry.
  EXPECT_EQ(SerialOverCommand(*printer), printer->Identity().serialNumber);
  const sim::cable::TransferResult deviceId = printer->GetDeviceId(kTransferMs);
  EXPECT_EQ(deviceId.outcome, Outcome::Done);
  EXPECT_EQ(deviceId.data, printer->Identity().deviceId);
  // Many exchanges in a row, each reply whole and for its command.
  for (int i = 0; i < 40; ++i) {
    const Exchange e = Command(*printer, i % 2 == 0 ? protocol::CMD_GET_STATUS : protocol::CMD_GET_SERIAL_NO);
    ASSERT_EQ(e.out, Outcome::Done) << "exchange " << i;
    ASSERT_EQ(e.in, Outcome::Done) << "exchange " << i;
    if (i % 2 != 0) {
      EXPECT_EQ(std::string(e.data.begin(), e.data.end()), printer->Identity().serialNumber);
    }
  }
  // An unknown command is refused with a reply, not dropped.
  const Exchange unknown = Command(*printer, 0x00EE);
  EXPECT_EQ(unknown.in, Outcome::Done);
  EXPECT_NE(unknown.header.errorCode, 0);
}

TEST_F(PrinterSimBus, AClientThatLeavesMidTransferDoesNotHoldThePrinterUp) {
  auto child = StartPrinter("p");
  const std::string port = PortOf("p");
  ASSERT_TRUE(WaitForPorts({port})) << child->Log();

  // A client that starts a read without time-out and a 64 KB transfer of
  // which it sends one piece, then vanishes.
  {
    const sim::cable::UnixAddress address(m_bus, sim::cable::SocketFileName(port));
    const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    ASSERT_EQ(connect(fd, address.Get(), address.Length()), 0);
    const Bytes read = sim::cable::Encode(sim::cable::Kind::BulkIn, 1, 512, 0, sim::cable::kNoTimeout);
    const Bytes zeros(sim::cable::kMaxPiece, 0);
    const Bytes piece = sim::cable::Encode(sim::cable::Kind::BulkOut, 2, 65536, 0, sim::cable::kNoTimeout,
                                           zeros.data(), zeros.size());
    EXPECT_EQ(send(fd, read.data(), read.size(), MSG_NOSIGNAL), static_cast<ssize_t>(read.size()));
    EXPECT_EQ(send(fd, piece.data(), piece.size(), MSG_NOSIGNAL), static_cast<ssize_t>(piece.size()));
    close(fd);
  }
  // The next client is served at once, and the reply is its own.
  auto printer = Open(port);
  ASSERT_TRUE(printer);
  EXPECT_EQ(SerialOverCommand(*printer), printer->Identity().serialNumber);
  // And one that closes while its read waits ends that read Gone.
  auto other = Open(port);
  ASSERT_TRUE(other);
  auto read = std::async(std::launch::async, [&] { return other->BulkIn(512, sim::cable::kNoTimeout); });
  other->Close();
  EXPECT_EQ(read.get().outcome, Outcome::Gone);
  EXPECT_EQ(SerialOverCommand(*printer), printer->Identity().serialNumber);
}

TEST_F(PrinterSimBus, TwoClientsAtOnceGetExactlyTheirOwnAnswers) {
  auto child = StartPrinter("p");
  const std::string port = PortOf("p");
  ASSERT_TRUE(WaitForPorts({port})) << child->Log();
  auto commands = Open(port);
  auto requests = Open(port);
  ASSERT_TRUE(commands && requests);
  const std::string serial = commands->Identity().serialNumber;
  const Bytes deviceId = commands->Identity().deviceId;
  ASSERT_EQ(commands->Identity().deviceDescriptor.size(), 18u);
  const auto serialIndex = commands->Identity().deviceDescriptor[16];
  const uint16_t language = commands->Identity().languageId;

  // One client exchanges commands on the bulk pipes while the other reads
  // the device ID and the serial-number string on the control pipe.
  auto bulk = std::async(std::launch::async, [&] {
    int good = 0;
    for (int i = 0; i < 30; ++i) good += SerialOverCommand(*commands) == serial ? 1 : 0;
    return good;
  });
  auto control = std::async(std::launch::async, [&] {
    std::string failures;
    for (int i = 0; i < 30; ++i) {
      const sim::cable::TransferResult id = requests->GetDeviceId(kTransferMs);
      const sim::cable::TransferResult text = requests->Control(
          sim::cable::SetupPacket{0x80, 6, static_cast<uint16_t>(0x0300 | serialIndex), language, 255}, nullptr,
          kTransferMs);
      std::string s;
      for (size_t at = 2; at + 1 < text.data.size(); at += 2) s += static_cast<char>(text.data[at]);
      if (id.data != deviceId || s != serial) {
        failures += "request " + std::to_string(i) + ": device ID " + sim::cable::ToString(id.outcome) + " (" +
                    std::to_string(id.data.size()) + " bytes), serial string " + sim::cable::ToString(text.outcome) +
                    " '" + s + "'\n";
      }
    }
    return failures;
  });
  EXPECT_EQ(bulk.get(), 30);
  EXPECT_EQ(control.get(), "");
}

// ---- clients that break the printer's connections ------------------------------------------

int ConnectTo(const std::string& bus, const std::string& port) {
  const sim::cable::UnixAddress address(bus, sim::cable::SocketFileName(port));
  const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (fd >= 0 && connect(fd, address.Get(), address.Length()) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

bool SendAll(int fd, const std::vector<Bytes>& messages) {
  for (const Bytes& m : messages) {
    if (send(fd, m.data(), m.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(m.size())) return false;
  }
  return true;
}

// Each returns how many of its clients it could not even connect.
struct Departure {
  const char* name;
  int (*run)(const std::string& bus, const std::string& port);
};

// Once the identity came: a bulk OUT announcing 3 MB with a 2-byte first
// piece, a zero-length bulk OUT queued behind it, then the socket closes.
int LeaveWithTwoBulkOutsQueued(const std::string& bus, const std::string& port) {
  using sim::cable::Encode;
  using sim::cable::Kind;
  const int fd = ConnectTo(bus, port);
  if (fd < 0) return 1;
  std::vector<uint8_t> identity(sim::cable::kMaxMessage);
  const uint8_t two[2] = {0x1B, 0x40};
  const bool bSent =
      recv(fd, identity.data(), identity.size(), 0) > 0 &&
      SendAll(fd, {Encode(Kind::BulkOut, 1, 3u << 20, 0, sim::cable::kNoTimeout, two, sizeof two),
                   Encode(Kind::BulkOut, 2, 0, 0, sim::cable::kNoTimeout)});
  close(fd);
  return bSent ? 0 : 1;
}

// Clients that connect and leave before the printer could send their
// identity (their receive side shut at once).
int ConnectAndLeaveStorm(const std::string& bus, const std::string& port) {
  int failed = 0;
  for (int i = 0; i < 2000; ++i) {
    const int fd = ConnectTo(bus, port);
    if (fd < 0) {
      ++failed;
      continue;
    }
    shutdown(fd, SHUT_RD);
    close(fd);
  }
  return failed;
}

class PrinterSimDeparture : public PrinterSimBus, public ::testing::WithParamInterface<Departure> {};

// The printer stays up and on the bus, answers the next client, and by the
// time that client has its answer it holds no connection of the departed.
TEST_P(PrinterSimDeparture, LeavesThePrinterUpAndHoldingNoConnectionOfTheDeparted) {
  auto child = StartPrinter("p");
  const std::string port = PortOf("p");
  ASSERT_TRUE(WaitForPorts({port})) << child->Log();
  EXPECT_EQ(GetParam().run(m_bus, port), 0);

  auto printer = Open(port);
  ASSERT_TRUE(printer) << child->Log();
  const Exchange status = Command(*printer, protocol::CMD_GET_STATUS);
  EXPECT_EQ(status.out, Outcome::Done);
  EXPECT_EQ(status.in, Outcome::Done);
  EXPECT_EQ(status.header.errorCode, 0);
  EXPECT_EQ(SerialOverCommand(*printer), printer->Identity().serialNumber);
  EXPECT_TRUE(child->Running());
  EXPECT_TRUE(WaitForPorts({port}, 0));

  // Ended while this client is still connected: it is the only one.
  EXPECT_EQ(child->Stop(SIGTERM), 0) << child->Log();
  const std::string log = child->Log();
  EXPECT_NE(log.find(" 1 still connected,"), std::string::npos) << log;
  EXPECT_EQ(log.find("printer-sim: fault"), std::string::npos) << log;
}

INSTANTIATE_TEST_SUITE_P(Cases, PrinterSimDeparture,
                         ::testing::Values(Departure{"WithTwoBulkOutsQueued", LeaveWithTwoBulkOutsQueued},
                                           Departure{"BeforeTheIdentityTwoThousandTimes", ConnectAndLeaveStorm}),
                         [](const ::testing::TestParamInfo<Departure>& p) { return std::string(p.param.name); });

// A blank machine (flash erased but for the sample MAIN image, blank
// EEPROMs) provisioned with "Engine Version" 2 as the factory would: it
// starts up in order to its main loop, is listed on the bus with the serial
// number's placeholder, and shows the DSP error it raised.
TEST_F(PrinterSimBus, ABlankMachineStartsUpToItsMainLoopAndIsListed) {
  const std::string state = StateDir("blank");
  images::Bytes flash(images::kFlashBytes, 0xFF);
  images::PutBytes(flash, images::kAreaMain.offset, images::BuildMainImage());
  {
    std::ofstream out(state + "/flash.bin", std::ios::binary);
    out.write(reinterpret_cast<const char*>(flash.data()), static_cast<std::streamsize>(flash.size()));
    ASSERT_TRUE(out.good());
  }
  auto child = StartPrinter("blank", {"--engine-version", "2", "--paced=20"});  // the later pace wins
  ASSERT_TRUE(WaitForPorts({PortOf("blank")})) << child->Log();
  const std::string listing = List();
  EXPECT_NE(listing.find("port " + PortOf("blank")), std::string::npos) << listing;
  EXPECT_NE(listing.find("serial R0000000"), std::string::npos) << listing;

  // The start-up's lines in order, then the DSP error's status line.
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBootLimitMs);
  while (child->Log().find("[lcd] |Control Error 09|") == std::string::npos && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  const std::string log = child->Log();
  size_t at = 0;
  for (const char* pszLine : {"[board] boot 1", "Motor Enable ON ...", "LCD Initialize ...", "[MAIN] DSP Initialize ...",
                              "[MAIN] S/N = R0000000", "[MAIN] IoctlConnectUsb ...", "[MAIN] Table Initialize ...",
                              "[MAIN] Loading Lami", "Caliculate Rampup Curve ...", "Main Loop ...",
                              "[lcd] |Control Error 09|"}) {
    at = log.find(pszLine, at);
    ASSERT_NE(at, std::string::npos) << "\"" << pszLine << "\" missing or out of order in\n" << log;
  }
  EXPECT_EQ(child->Stop(SIGTERM), 0) << log;
  std::ifstream in(state + "/eeprom-main.bin", std::ios::binary);
  const std::vector<char> main((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(main.size(), 512u);
  EXPECT_EQ(main[28], 2) << "the engine version the factory wrote";
}

// An engine version outside 1-5 is a usage error: nothing is written, not
// even the state directory.
TEST_F(PrinterSimBus, AnEngineVersionOutsideOneToFiveIsAUsageErrorAndWritesNothing) {
  for (const char* pszVersion : {"0", "6", "2.5", "x"}) {
    const std::string state = m_dir + "/never-" + std::to_string(m_children.size());
    m_children.push_back(std::make_unique<e2e::ChildProcess>(
        std::vector<std::string>{PRINTER_SIM_PATH, "--state", state, "--usb-bus", m_bus, "--engine-version", pszVersion},
        state + ".log"));
    ASSERT_TRUE(m_children.back()->WaitExit(30000));
    EXPECT_EQ(m_children.back()->Stop(), 2) << pszVersion;
    struct stat st {};
    EXPECT_NE(stat(state.c_str(), &st), 0) << pszVersion;
  }
}

}  // namespace

namespace {

// Checks `condition` until it holds or `limitMs` of wall time passed (a
// limit, never an expectation); the pause between checks only spares the
// processor.
bool PollUntil(const std::function<bool()>& condition, int limitMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

Bytes ReadFile(const std::string& path) {
  Bytes bytes;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    uint8_t buffer[65536];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(f);
  }
  return bytes;
}

Bytes UpdateRequest(uint8_t kind, size_t size) {
  const auto n = static_cast<uint32_t>(size);
  return Bytes{kind, 0, 0, 0, 0, 0, static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n >> 16),
               static_cast<uint8_t>(n >> 24)};
}

// CMD_UPDATE, then the data in pieces of at most 4096 bytes, as the host
// library sends them: 0, the refusal's error code, or -1.
int SendUpdate(PrinterConnection& printer, uint8_t kind, const Bytes& data) {
  const Exchange e = Command(printer, protocol::CMD_UPDATE, UpdateRequest(kind, data.size()));
  if (e.in != Outcome::Done) return -1;
  if (e.header.errorCode != 0) return e.header.errorCode;
  for (size_t at = 0; at < data.size(); at += 4096) {
    const size_t n = std::min<size_t>(4096, data.size() - at);
    if (printer.BulkOut(data.data() + at, n, kTransferMs).outcome != Outcome::Done) return -1;
  }
  return 0;
}

}  // namespace

// A lamination pattern from this process through the cable: parked by the
// printer, stored into its active slot by the idle state. Then the MAIN
// image of a newer package: the printer restarts on it (the socket leaves
// and comes back with the same serial number) and reports its version.
TEST_F(PrinterSimBus, ALaminationPatternIsStoredAndANewMainImageRestartsThePrinter) {
  auto child = StartPrinter("p", {"--paced=8"});
  const std::string port = PortOf("p");
  ASSERT_TRUE(WaitForPorts({port})) << child->Log();
  auto printer = Open(port);
  ASSERT_TRUE(printer);
  const std::string serial = printer->Identity().serialNumber;

  const auto isSet = [](uint32_t pixel) { return (pixel / 7) % 5 == 1; };
  const Bytes pattern = images::BuildLaminationDownload(isSet);
  ASSERT_EQ(pattern.size(), 8929536u);
  // The start-up expands the active slot with the same text: only a later
  // one tells the parked pattern was applied.
  const auto loads = [&child] {
    const std::string log = child->Log();
    size_t n = 0;
    for (size_t at = log.find("[lcd] |Loading L 8x12  |"); at != std::string::npos;
         at = log.find("[lcd] |Loading L 8x12  |", at + 1)) {
      ++n;
    }
    return n;
  };
  ASSERT_TRUE(PollUntil([&] { return child->Log().find("Main Loop ...") != std::string::npos; }, kBootLimitMs))
      << child->Log();
  const size_t loadsAtStart = loads();
  ASSERT_EQ(SendUpdate(*printer, protocol::UPDATE_KIND_LAMINATE_1, pattern), 0) << child->Log();
  ASSERT_TRUE(PollUntil([&] { return loads() > loadsAtStart; }, kBootLimitMs)) << child->Log();

  // The package the updater would send.
  const std::string package = m_dir + "/package";
  e2e::ChildProcess tool({BOM_IMAGES_PATH, "package", package, "--version", "03.07"}, m_dir + "/package.log");
  ASSERT_TRUE(tool.WaitExit(60000));
  ASSERT_EQ(tool.Stop(), 0) << tool.Log();
  const Bytes main = ReadFile(package + "/MAIN.BIN");
  ASSERT_FALSE(main.empty());
  ASSERT_EQ(SendUpdate(*printer, protocol::UPDATE_KIND_MAIN, main), 0) << child->Log();
  ASSERT_TRUE(WaitForPorts({})) << child->Log();
  ASSERT_TRUE(WaitForPorts({port})) << child->Log();
  printer = Open(port);
  ASSERT_TRUE(printer);
  EXPECT_EQ(printer->Identity().serialNumber, serial);
  const Exchange info = Command(*printer, protocol::CMD_GET_FIRMWARE_INFO, {protocol::FW_COMPONENT_MAIN});
  ASSERT_EQ(info.in, Outcome::Done);
  ASSERT_EQ(info.data.size(), protocol::FirmwareInfoRecord::kSize);
  EXPECT_EQ(info.data[34], 0x03);
  EXPECT_EQ(info.data[35], 0x07);
  EXPECT_NE(child->Log().find("[board] boot 2"), std::string::npos) << child->Log();

  // The active slot holds the pattern and passes the check it is booted
  // with.
  const Bytes flash = ReadFile(StateDir("p") + "/flash.bin");
  ASSERT_GE(flash.size(), 0x4A0000u + images::kLamiSlotBytes);
  const Bytes slot(flash.begin() + 0x4A0000, flash.begin() + 0x4A0000 + images::kLamiSlotBytes);
  EXPECT_EQ(images::CheckLaminationSlot(slot), 0);
  EXPECT_TRUE(std::equal(slot.begin(), slot.begin() + images::kLamiPackedBytes,
                         images::PackLaminationPixels(pattern).begin()));
}
