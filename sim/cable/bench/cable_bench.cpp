// cable-bench: how fast an 8 MB bulk OUT transfer crosses the virtual USB
// cable, next to the raw throughput of the same socket type on this machine.
//
//   cable-bench [--runs N] [--megabytes N]
//
// raw:    two processes, AF_UNIX SOCK_SEQPACKET, messages of one cable
//         piece (header and 4096 bytes), the reader acknowledging the end.
// cable:  a client thread's BulkOut through the printer's socket transport
//         and root hub (512-byte packets at high speed) into a function that
//         takes every packet; once with the board paced to the wall clock as
//         printer-sim runs it, once in virtual time (the cable's own limit).
// Each figure is the best of the runs. Not a test: nothing is asserted.
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <string>
#include <vector>

#include "sim/board.h"
#include "sim/cable/cable_bus.h"
#include "sim/cable/cable_client.h"
#include "sim/cable/cable_transport.h"
#include "sim/cable/scripted_printer.h"
#include "sim/usb/usb_root_hub.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }
double MegabytesPerSecond(size_t bytes, double seconds) { return static_cast<double>(bytes) / 1e6 / seconds; }

// One run of the raw socket: the parent sends, a child reads and answers.
double RawRun(size_t bytes) {
  int sv[2];
  if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sv) != 0) return 0;
  const size_t message = sim::cable::kHeaderSize + sim::cable::kMaxPiece;
  const pid_t child = fork();
  if (child == 0) {
    close(sv[0]);
    std::vector<uint8_t> buffer(message);
    size_t got = 0;
    while (got < bytes) {
      const ssize_t n = recv(sv[1], buffer.data(), buffer.size(), 0);
      if (n <= 0) _exit(1);
      got += static_cast<size_t>(n) - sim::cable::kHeaderSize;
    }
    const char ack = 1;
    _exit(send(sv[1], &ack, 1, 0) == 1 ? 0 : 1);
  }
  close(sv[1]);
  std::vector<uint8_t> buffer(message, 0x5A);
  const auto start = Clock::now();
  for (size_t sent = 0; sent < bytes; sent += sim::cable::kMaxPiece) {
    if (send(sv[0], buffer.data(), buffer.size(), 0) < 0) break;
  }
  char ack = 0;
  const bool bOk = recv(sv[0], &ack, 1, 0) == 1;
  const double seconds = Seconds(Clock::now() - start);
  close(sv[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return bOk ? MegabytesPerSecond(bytes, seconds) : 0;
}

// One run through the cable: a bare board with the root hub, the transport
// and a function that takes everything.
double CableRun(size_t bytes, bool bPaced, const std::string& bus) {
  sim::BoardConfig config;
  config.bPaced = bPaced;
  sim::Board board(config);
  sim::cable::ScriptedPrinter function;
  sim::UsbRootHub& hub = board.AddDevice<sim::UsbRootHub>(board.Clock(), function, true);
  sim::cable::CableTransport transport(board, hub, bus, "0000be0c");
  if (!transport.Error().empty()) {
    std::fprintf(stderr, "cable-bench: %s\n", transport.Error().c_str());
    return 0;
  }
  sim::SimClock& clock = board.Clock();
  auto runUntil = [&clock](const std::function<bool()>& done) {
    const sim::Nanos limit = clock.Now() + 600 * sim::kNsPerMs * 1000;
    while (!done() && clock.Now() < limit) {
      clock.JumpToNextEvent();
      clock.RunDue();
    }
  };
  function.Attach(true);
  runUntil([&] { return transport.Published(); });

  std::vector<uint8_t> data(bytes, 0xA5);
  std::atomic<bool> bDone{false};
  double seconds = 0;
  bool bOk = false;
  auto client = std::async(std::launch::async, [&] {
    auto printer = sim::cable::PrinterConnection::Open(bus, "0000be0c");
    if (!printer) {
      bDone = true;
      return;
    }
    const auto start = Clock::now();
    const sim::cable::TransferResult r = printer->BulkOut(data.data(), data.size(), sim::cable::kNoTimeout);
    seconds = Seconds(Clock::now() - start);
    bOk = r.outcome == sim::cable::Outcome::Done && r.bytes == bytes;
    bDone = true;
  });
  runUntil([&] { return bDone.load(); });
  client.wait();
  if (function.received.size() != bytes) bOk = false;
  return bOk ? MegabytesPerSecond(bytes, seconds) : 0;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 5;
  size_t megabytes = 8;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--runs") == 0) runs = std::max(1, std::atoi(argv[i + 1]));
    if (std::strcmp(argv[i], "--megabytes") == 0) megabytes = static_cast<size_t>(std::max(1, std::atoi(argv[i + 1])));
  }
  const size_t bytes = megabytes * 1024 * 1024;
  char pattern[] = "/tmp/cable-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    std::perror("cable-bench: mkdtemp");
    return 1;
  }
  const std::string bus = pattern;

  double raw = 0;
  double paced = 0;
  double virt = 0;
  for (int i = 0; i < runs; ++i) raw = std::max(raw, RawRun(bytes));
  for (int i = 0; i < runs; ++i) paced = std::max(paced, CableRun(bytes, true, bus));
  for (int i = 0; i < runs; ++i) virt = std::max(virt, CableRun(bytes, false, bus));
  rmdir(bus.c_str());

  std::printf("%zu MB, best of %d runs\n", megabytes, runs);
  std::printf("  raw SOCK_SEQPACKET, 4116-byte messages, two processes  %8.1f MB/s\n", raw);
  std::printf("  cable bulk OUT, board paced to the wall clock (x1)     %8.1f MB/s\n", paced);
  std::printf("  cable bulk OUT, board in virtual time                  %8.1f MB/s\n", virt);
  return 0;
}
