#include "sim/cable/cable_bus.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace sim::cable {

namespace {
constexpr std::string_view kPrefix = "printer-";
constexpr std::string_view kSuffix = ".sock";
constexpr size_t kPortLength = 8;
}  // namespace

std::string DefaultBusDirectory() {
  if (const char* bus = std::getenv(kBusEnvironment); bus != nullptr && *bus != '\0') return bus;
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && *runtime == '/') {
    return std::string(runtime) + "/bom7300-usb";
  }
  return "/tmp/bom7300-usb-" + std::to_string(getuid());
}

int EnsureDirectory(const std::string& directory) {
  if (directory.empty()) return -ENOENT;
  struct stat st {};
  if (stat(directory.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : -ENOTDIR;
  for (size_t at = 1; at <= directory.size(); ++at) {
    if (at != directory.size() && directory[at] != '/') continue;
    const std::string part = directory.substr(0, at);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return -errno;
  }
  return stat(directory.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? 0 : -ENOTDIR;
}

std::string PathDigest(const std::string& path) {
  std::string canonical = path;
  if (char* real = realpath(path.c_str(), nullptr); real != nullptr) {
    canonical = real;
    std::free(real);
  }
  uint32_t h = 2166136261u;
  for (unsigned char c : canonical) {
    h ^= c;
    h *= 16777619u;
  }
  char text[9];
  std::snprintf(text, sizeof text, "%08x", h);
  return text;
}

bool IsValidPort(std::string_view port) {
  return port.size() == kPortLength &&
         std::all_of(port.begin(), port.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

std::string SocketFileName(const std::string& port) {
  return std::string(kPrefix) + port + std::string(kSuffix);
}

bool ParsePrinterFileName(std::string_view name, std::string* pPort) {
  if (name.size() != kPrefix.size() + kPortLength + kSuffix.size()) return false;
  if (name.substr(0, kPrefix.size()) != kPrefix || name.substr(name.size() - kSuffix.size()) != kSuffix) return false;
  const std::string_view port = name.substr(kPrefix.size(), kPortLength);
  if (!IsValidPort(port)) return false;
  if (pPort != nullptr) *pPort = std::string(port);
  return true;
}

std::string DevicePath(const std::string& busId, const std::string& port, uint16_t vendorId, uint16_t productId) {
  char head[32];
  std::snprintf(head, sizeof head, "\\\\?\\usb#vid_%04x&pid_%04x#", vendorId, productId);
  return std::string(head) + "bus_" + busId + "&port_" + port + "#printer";
}

std::vector<PrinterEntry> ListPrinters(const std::string& busDirectory) {
  std::vector<PrinterEntry> printers;
  DIR* dir = opendir(busDirectory.c_str());
  if (dir == nullptr) return printers;
  while (const dirent* e = readdir(dir)) {
    std::string port;
    if (!ParsePrinterFileName(e->d_name, &port)) continue;
    printers.push_back(PrinterEntry{port, busDirectory + "/" + e->d_name});
  }
  closedir(dir);
  std::sort(printers.begin(), printers.end(), [](const PrinterEntry& a, const PrinterEntry& b) { return a.port < b.port; });
  return printers;
}

// ---- addresses -----------------------------------------------------------------------------

UnixAddress::UnixAddress(const std::string& directory, const std::string& name) {
  m_address.sun_family = AF_UNIX;
  std::string path = directory + "/" + name;
  if (path.size() >= sizeof m_address.sun_path) {
    m_directoryFd = open(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (m_directoryFd < 0) return;
    path = "/proc/self/fd/" + std::to_string(m_directoryFd) + "/" + name;
    if (path.size() >= sizeof m_address.sun_path) return;
  }
  std::memcpy(m_address.sun_path, path.c_str(), path.size() + 1);
  m_length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1);
}

UnixAddress::~UnixAddress() {
  if (m_directoryFd >= 0) close(m_directoryFd);
}

// ---- watching ------------------------------------------------------------------------------

BusWatcher::BusWatcher(const std::string& busDirectory) {
  if (EnsureDirectory(busDirectory) != 0) return;
  m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (m_fd < 0) return;
  const uint32_t mask = IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
  if (inotify_add_watch(m_fd, busDirectory.c_str(), mask) < 0) {
    close(m_fd);
    m_fd = -1;
  }
}

BusWatcher::~BusWatcher() {
  if (m_fd >= 0) close(m_fd);
}

std::vector<BusChange> BusWatcher::Wait(int timeoutMs) {
  std::vector<BusChange> changes;
  const auto start = std::chrono::steady_clock::now();
  while (m_fd >= 0 && changes.empty()) {
    int wait = timeoutMs;
    if (timeoutMs >= 0) {
      const auto spent =
          std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
      if (spent >= timeoutMs) break;
      wait = static_cast<int>(timeoutMs - spent);
    }
    pollfd p{m_fd, POLLIN, 0};
    const int n = poll(&p, 1, wait);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    alignas(inotify_event) char buffer[4096];
    const ssize_t got = read(m_fd, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EAGAIN || errno == EINTR) continue;
      break;
    }
    bool bEnded = false;
    for (ssize_t at = 0; at < got;) {
      const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
      if ((e->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) != 0) bEnded = true;
      std::string port;
      if (e->len == 0 || !ParsePrinterFileName(e->name, &port)) continue;
      if ((e->mask & (IN_CREATE | IN_MOVED_TO)) != 0) changes.push_back(BusChange{BusChange::Kind::Arrived, port});
      if ((e->mask & (IN_DELETE | IN_MOVED_FROM)) != 0) changes.push_back(BusChange{BusChange::Kind::Removed, port});
    }
    if (bEnded) {
      close(m_fd);
      m_fd = -1;
    }
  }
  return changes;
}

}  // namespace sim::cable
