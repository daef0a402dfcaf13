// The bus directory of the virtual USB cable: where printers show up. Each
// printer whose USB device the root hub has configured has one socket file
// in it, "printer-<port>.sock", where <port> is eight hex digits that stay
// the same across the printer's restarts (printer-sim derives them from its
// state directory). The file appears (by rename, with the socket already
// listening) when the printer is configured and goes when it disconnects,
// resets or ends.
//
// The bus directory is $BOM7300_USB_BUS, else $XDG_RUNTIME_DIR/bom7300-usb,
// else /tmp/bom7300-usb-<uid>.
#pragma once

#include <sys/socket.h>
#include <sys/un.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sim::cable {

constexpr const char* kBusEnvironment = "BOM7300_USB_BUS";

std::string DefaultBusDirectory();
// Creates the directory and its missing parents (mode 0700). 0 or -errno.
int EnsureDirectory(const std::string& directory);

// Eight lower-case hex digits naming a path: a 32-bit FNV-1a digest of its
// canonical form (of the text as given when it does not exist).
std::string PathDigest(const std::string& path);
// The bus's identifier in device paths.
inline std::string BusId(const std::string& busDirectory) { return PathDigest(busDirectory); }
// The port of the printer kept in `stateDirectory`.
inline std::string PortFor(const std::string& stateDirectory) { return PathDigest(stateDirectory); }

bool IsValidPort(std::string_view port);
std::string SocketFileName(const std::string& port);
// The port of a printer's socket file name; false for any other name.
bool ParsePrinterFileName(std::string_view name, std::string* pPort);

// The device interface path a Windows host would report for the printer,
// with its vendor and product identifiers at characters 12-15 and 21-24 and
// the bus and port in the instance part, so that names derived from it (the
// per-device mutex) never collide across buses or ports:
//   \\?\usb#vid_xxxx&pid_xxxx#bus_<bus>&port_<port>#printer
std::string DevicePath(const std::string& busId, const std::string& port, uint16_t vendorId, uint16_t productId);

struct PrinterEntry {
  std::string port;
  std::string socketPath;
};
// The printers whose socket files are in the bus directory, by port (a
// stable order). A file of a printer that died without removing it is
// listed too; opening it fails with ECONNREFUSED.
std::vector<PrinterEntry> ListPrinters(const std::string& busDirectory);

// An AF_UNIX address of a file in a directory, whatever the length of the
// directory's path: a path longer than sun_path is reached through the
// directory's descriptor (/proc/self/fd/N/name), held open as long as the
// address lives.
class UnixAddress {
 public:
  UnixAddress(const std::string& directory, const std::string& name);
  ~UnixAddress();
  UnixAddress(const UnixAddress&) = delete;
  UnixAddress& operator=(const UnixAddress&) = delete;

  bool Ok() const { return m_length != 0; }
  const sockaddr* Get() const { return reinterpret_cast<const sockaddr*>(&m_address); }
  socklen_t Length() const { return m_length; }

 private:
  sockaddr_un m_address{};
  socklen_t m_length = 0;
  int m_directoryFd = -1;
};

// Notices printers arriving on and leaving a bus directory (inotify on the
// directory; no polling). The directory is created when missing.
struct BusChange {
  enum class Kind : uint8_t { Arrived, Removed };
  Kind kind;
  std::string port;
};

class BusWatcher {
 public:
  explicit BusWatcher(const std::string& busDirectory);
  ~BusWatcher();
  BusWatcher(const BusWatcher&) = delete;
  BusWatcher& operator=(const BusWatcher&) = delete;

  bool Ok() const { return m_fd >= 0; }
  // Readable when changes wait: for callers with their own poll loop.
  int Fd() const { return m_fd; }
  // Waits at most `timeoutMs` (-1: without limit) for changes and returns
  // them in the order they happened; empty after the time-out. The bus
  // directory itself going away ends the watch (Ok() turns false).
  std::vector<BusChange> Wait(int timeoutMs);

 private:
  int m_fd = -1;
};

}  // namespace sim::cable
