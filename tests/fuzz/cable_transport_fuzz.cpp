// Client bytes into the printer end of the virtual USB cable: a bare board
// with the root hub, a scripted printer function and the socket transport
// is set up once per process; each input is one client that connects to
// the printer's socket, mostly waits for its identity, sends a run of
// messages (raw bytes, or messages with a well-formed header and fuzzed
// fields), lets the board run between them, and leaves. Afterwards the printer is still on the bus and the
// transport holds nothing of the client: no connection, no transfer.
#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sim/board.h"
#include "sim/cable/cable_bus.h"
#include "sim/cable/cable_transport.h"
#include "sim/cable/cable_wire.h"
#include "sim/cable/scripted_printer.h"
#include "sim/usb/usb_root_hub.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

using namespace sim::cable;

constexpr char kPort[] = "0000f022";
constexpr size_t kMessagesMax = 12;
// Real time the transport's I/O thread gets to notice a client that left.
constexpr auto kLeaveLimit = std::chrono::seconds(10);

struct Rig {
  Rig() : directory(MakeDirectory()), hub(board.AddDevice<sim::UsbRootHub>(board.Clock(), function, true)) {
    transport = std::make_unique<CableTransport>(board, hub, directory + "/bus", kPort);
    fuzz::Require(transport->Error().empty(), "the transport starts");
    function.Attach(true);
    fuzz::Require(RunUntil([this] { return transport->Published(); }, std::chrono::seconds(30)),
                  "the printer's socket appears on the bus");
  }
  ~Rig() {
    transport.reset();
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
  }

  static std::string MakeDirectory() {
    std::string pattern = fuzz::TempRoot() + "/bom7300-fuzz-cable-XXXXXX";
    fuzz::Require(mkdtemp(pattern.data()) != nullptr, "a temporary directory");
    return pattern;
  }

  // Runs the board's clock until `done` holds or `limit` of real time has
  // passed: the I/O thread runs on its own, in real time.
  template <class Done>
  bool RunUntil(Done done, std::chrono::steady_clock::duration limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
      if (std::chrono::steady_clock::now() >= end) return false;
      Step(board.Clock().Now() + CableTransport::kDrainPeriod);
    }
    return true;
  }
  void RunFor(sim::Nanos duration) {
    const sim::Nanos end = board.Clock().Now() + duration;
    while (board.Clock().Now() < end) Step(end);
  }
  // To the next event, or to `limit` when nothing is scheduled before it.
  void Step(sim::Nanos limit) {
    sim::SimClock& clock = board.Clock();
    const std::optional<sim::Nanos> next = clock.NextEventTime();
    if (next && *next <= limit) {
      clock.JumpToNextEvent();
    } else {
      clock.AdvanceTo(limit);
    }
    clock.RunDue();
  }

  std::string directory;
  sim::Board board{sim::BoardConfig{}};
  ScriptedPrinter function;
  sim::UsbRootHub& hub;
  std::unique_ptr<CableTransport> transport;
};

Rig& TheRig() {
  static Rig rig;
  return rig;
}

// Runs the board until the printer's identity has arrived on `fd` (it is
// left unread), or the limit passed.
bool AwaitIdentity(Rig& rig, int fd) {
  return rig.RunUntil(
      [fd] {
        pollfd p{fd, POLLIN, 0};
        return poll(&p, 1, 0) > 0;
      },
      kLeaveLimit);
}

// Waits (in real time, bounded) until the printer's I/O thread has taken
// everything sent on `fd` off the socket, so that what the board does next
// follows the input rather than the threads' timing.
void AwaitTaken(int fd) {
  const auto end = std::chrono::steady_clock::now() + kLeaveLimit;
  int queued = 0;
  while (ioctl(fd, SIOCOUTQ, &queued) == 0 && queued > 0 && std::chrono::steady_clock::now() < end) {
    std::this_thread::yield();
  }
}

int Connect(const Rig& rig) {
  const UnixAddress address(rig.directory + "/bus", SocketFileName(kPort));
  const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  fuzz::Require(fd >= 0, "a client socket");
  fuzz::Require(connect(fd, address.Get(), address.Length()) == 0, "the printer accepts a client");
  return fd;
}

// One message: raw bytes, or a header built from fuzzed fields and a
// payload. The first byte says how: bit 7 raw; bit 6 a time-out of 32 bits
// (else of 8, so transfers end while the client is there); bits 0-2 the
// kind, one a client sends.
std::vector<uint8_t> NextMessage(fuzz::Input& in) {
  const uint8_t how = in.Byte();
  if ((how & 0x80u) != 0) return in.Bytes(in.U16() % (kMaxMessage + 1));
  static constexpr Kind kKinds[] = {Kind::BulkOut, Kind::BulkIn, Kind::Control, Kind::Cancel, Kind::Bye};
  const Kind kind = kKinds[(how & 0x07u) % std::size(kKinds)];
  const uint8_t flags = in.Byte() & kFlagZeroLengthPacket;
  const uint32_t tag = in.Byte();  // few tags, so they meet
  const uint32_t arg0 = in.U32();
  const uint32_t arg1 = in.U32();
  const uint32_t arg2 = (how & 0x40u) != 0 ? in.U32() : in.Byte();
  const std::vector<uint8_t> payload = in.Bytes(in.U16() % (kMaxPiece + 1));
  return Encode(kind, tag, arg0, arg1, arg2, payload.data(), payload.size(), flags);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Rig& rig = TheRig();
  fuzz::Input in(data, size);
  const int fd = Connect(rig);
  // Most clients wait for the printer's identity before they talk; some
  // leave or talk at once.
  const bool bAtOnce = (in.Byte() & 1u) != 0;
  if (!bAtOnce) fuzz::Require(AwaitIdentity(rig, fd), "a client hears the printer's identity");
  for (size_t n = 0; n < kMessagesMax && !in.Empty(); ++n) {
    const std::vector<uint8_t> message = NextMessage(in);
    // The printer may have closed the connection already (a malformed
    // message); then the rest goes nowhere.
    if (send(fd, message.data(), message.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0 && errno != EAGAIN) break;
    AwaitTaken(fd);
    rig.RunFor(in.Byte() * CableTransport::kDrainPeriod);
  }
  close(fd);
  CableTransport& transport = *rig.transport;
  fuzz::Require(rig.RunUntil([&] { return transport.Connections() == 0 && transport.ActiveTransfers() == 0; },
                             kLeaveLimit),
                "the transport lets go of a client that left, and of its transfers");
  fuzz::Require(transport.Published(), "the printer stays on the bus");
  fuzz::Require(rig.hub.State() == sim::UsbPortState::Configured, "the printer stays configured");
  return 0;
}
