// bom7300-send-job: sends a printer on a virtual USB bus one print job from
// the host's side and prints what the printer answers (send_job.h).
//
//   bom7300-send-job [--bus DIR] [--port PORT]
//
// Without --port it takes the first printer on the bus. Exit code 0 when
// the job is complete in the printer's queue, 1 when the printer refused it
// or did not answer, 2 for a bad command line.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>

#include "sim/cable/cable_bus.h"
#include "sim/cable/cable_client.h"
#include "sim/cable/send_job.h"

namespace {

using sim::cable::Outcome;
using sim::cable::PrinterConnection;

constexpr uint32_t kDataTimeoutMs = 60000;
constexpr uint32_t kCommandTimeoutMs = 5000;
constexpr uint32_t kReplyTimeoutMs = 15000;
constexpr uint32_t kReplyMax = 1024;
constexpr int kPauseMs = 100;

void Usage() {
  std::fputs(
      "usage: bom7300-send-job [--bus DIR] [--port PORT]\n"
      "  --bus DIR    the bus directory (default as bom7300-usb-list)\n"
      "  --port PORT  the printer's port (default: the first printer on the bus)\n",
      stderr);
}

}  // namespace

int main(int argc, char** argv) {
  std::string bus = sim::cable::DefaultBusDirectory();
  std::string port;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--bus" && i + 1 < argc) {
      bus = argv[++i];
    } else if (arg == "--port" && i + 1 < argc) {
      port = argv[++i];
    } else {
      Usage();
      return 2;
    }
  }
  if (port.empty()) {
    const auto printers = sim::cable::ListPrinters(bus);
    if (printers.empty()) {
      std::fprintf(stderr, "bom7300-send-job: no printer on %s\n", bus.c_str());
      return 1;
    }
    port = printers.front().port;
  }
  int error = 0;
  sim::cable::OpenOptions options;
  options.retryMs = 10000;  // a printer restarting comes back
  const auto printer = PrinterConnection::Open(bus, port, options, &error);
  if (!printer) {
    std::fprintf(stderr, "bom7300-send-job: port %s: not answering (%s)\n", port.c_str(), std::strerror(error));
    return 1;
  }
  std::printf("printer on port %s, serial %s\n", port.c_str(), printer->Identity().serialNumber.c_str());

  sim::cable::JobLink link;
  link.bulkOut = [&](const std::vector<uint8_t>& data) {
    const uint32_t ulTimeout = data.size() > kReplyMax ? kDataTimeoutMs : kCommandTimeoutMs;
    const auto r = printer->BulkOut(data.data(), data.size(), ulTimeout);
    return r.outcome == Outcome::Done && r.bytes == data.size();
  };
  link.bulkIn = [&](std::vector<uint8_t>* pReply) {
    auto r = printer->BulkIn(kReplyMax, kReplyTimeoutMs);
    if (r.outcome != Outcome::Done) return false;
    *pReply = std::move(r.data);
    return true;
  };
  link.pause = [] { std::this_thread::sleep_for(std::chrono::milliseconds(kPauseMs)); };
  return sim::cable::SendOneSidedJob(link, [](const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  });
}
