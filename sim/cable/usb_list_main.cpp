// bom7300-usb-list: the printers on a virtual USB bus, as a host sees them.
//
//   bom7300-usb-list [--bus DIR] [--watch] [--watch-for-ms N]
//
// For each printer (in port order): its port, vendor and product
// identifiers, speed, serial number, device path and IEEE 1284 device ID.
// A socket file nobody answers on (a printer that died) is reported on
// standard error and not listed. With --watch it then reports printers as
// they arrive and leave, until interrupted (or for N ms).
#include <signal.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "sim/cable/cable_bus.h"
#include "sim/cable/cable_client.h"

namespace {

using sim::cable::PrinterConnection;

volatile sig_atomic_t g_bStop = 0;
void OnStop(int) { g_bStop = 1; }

void Usage() {
  std::fputs(
      "usage: bom7300-usb-list [--bus DIR] [--watch] [--watch-for-ms N]\n"
      "  --bus DIR          the bus directory (default $BOM7300_USB_BUS, else\n"
      "                     $XDG_RUNTIME_DIR/bom7300-usb, else /tmp/bom7300-usb-UID)\n"
      "  --watch            then report printers arriving and leaving, until interrupted\n"
      "  --watch-for-ms N   watch for N ms\n",
      stderr);
}

// Prints one printer; false when it does not answer.
bool Show(const std::string& bus, const std::string& port) {
  int error = 0;
  sim::cable::OpenOptions options;
  options.identityTimeoutMs = 2000;
  const auto printer = PrinterConnection::Open(bus, port, options, &error);
  if (!printer) {
    std::fprintf(stderr, "port %s: not answering (%s)\n", port.c_str(), std::strerror(error));
    return false;
  }
  const sim::cable::PrinterIdentity& id = printer->Identity();
  std::printf("port %s  %04x:%04x  %s speed  serial %s\n", port.c_str(), id.vendorId, id.productId,
              id.bHighSpeed ? "high" : "full", id.serialNumber.empty() ? "-" : id.serialNumber.c_str());
  std::printf("    path       %s\n", printer->DevicePath().c_str());
  std::printf("    device ID  %s\n", id.deviceIdText.empty() ? "-" : id.deviceIdText.c_str());
  std::fflush(stdout);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string bus = sim::cable::DefaultBusDirectory();
  bool bWatch = false;
  long long watchMs = -1;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--bus" && i + 1 < argc) {
      bus = argv[++i];
    } else if (arg == "--watch") {
      bWatch = true;
    } else if (arg == "--watch-for-ms" && i + 1 < argc) {
      char* end = nullptr;
      watchMs = std::strtoll(argv[++i], &end, 10);
      if (end == nullptr || *end != '\0' || watchMs < 0) {
        Usage();
        return 2;
      }
      bWatch = true;
    } else {
      Usage();
      return 2;
    }
  }

  // Watch before listing, so that nothing arriving in between is missed.
  sim::cable::BusWatcher watcher(bus);
  const auto printers = sim::cable::ListPrinters(bus);
  int shown = 0;
  std::printf("bus %s (bus_%s)\n", bus.c_str(), sim::cable::BusId(bus).c_str());
  for (const auto& p : printers) shown += Show(bus, p.port) ? 1 : 0;
  std::printf("%d printer%s\n", shown, shown == 1 ? "" : "s");
  std::fflush(stdout);
  if (!bWatch) return 0;
  if (!watcher.Ok()) {
    std::fprintf(stderr, "bom7300-usb-list: cannot watch %s: %s\n", bus.c_str(), std::strerror(errno));
    return 1;
  }

  struct sigaction sa {};
  sa.sa_handler = OnStop;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(watchMs < 0 ? 0 : watchMs);
  while (g_bStop == 0 && watcher.Ok()) {
    int wait = 200;  // also the pace at which an interruption is seen
    if (watchMs >= 0) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
      if (left <= 0) break;
      wait = static_cast<int>(left < wait ? left : wait);
    }
    for (const sim::cable::BusChange& change : watcher.Wait(wait)) {
      if (change.kind == sim::cable::BusChange::Kind::Arrived) {
        std::printf("arrived: ");
        if (!Show(bus, change.port)) std::printf("port %s (not answering)\n", change.port.c_str());
      } else {
        std::printf("removed: port %s\n", change.port.c_str());
      }
      std::fflush(stdout);
    }
  }
  return 0;
}
