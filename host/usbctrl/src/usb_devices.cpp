// The device table and the bus watcher of BOM7300UsbCtrl.
//
// The watcher thread runs from the library's load to the end of the process
// (the library is never unmapped, see CMakeLists.txt): Windows tells every
// top-level window of a process about device changes whether or not it has
// opened anything, and the host library's watcher window must hear of a
// printer that arrives before any device is open. It blocks in poll(2) on
// the bus directory's inotify descriptor and on a wake-up descriptor of its
// own, so it costs nothing while nothing changes. On every batch of
// arrivals and removals, and when a transfer finds an open printer gone
// (a killed printer-sim leaves its socket file behind, so the directory
// does not change), it broadcasts WM_DEVICECHANGE with DBT_DEVNODES_CHANGED.
#include "usb_devices.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <win32_ext.h>
#include <windows.h>
#include <dbt.h>

#include <array>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "pipe_transfers.h"
#include "sim/cable/cable_bus.h"

namespace usbctrl {
namespace {

// How long a printer may take to send its identity when it is opened.
constexpr uint32_t kIdentityTimeoutMs = 5000;

struct Table {
  std::mutex lock;
  std::array<std::shared_ptr<Device>, kDeviceCount> devices;
};

// Left alive at exit: pipes closed late still reach their devices.
Table &Devices() {
  static auto *table = new Table();
  return *table;
}

std::string &BusDirectoryText() {
  static auto *text = new std::string(sim::cable::DefaultBusDirectory());
  return *text;
}

class Watcher {
 public:
  Watcher() : m_bus(BusDirectory()), m_wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (m_wakeFd >= 0) m_thread = std::thread([this] { Run(); });
  }

  // A device was found gone: one broadcast.
  void Wake() {
    m_pendingGone.store(true);
    Signal();
  }

  void Stop() {
    if (!m_thread.joinable()) return;
    m_stop.store(true);
    Signal();
    m_thread.join();
  }

 private:
  void Signal() {
    if (m_wakeFd < 0) return;
    const uint64_t one = 1;
    ssize_t ignored = write(m_wakeFd, &one, sizeof one);
    (void)ignored;
  }

  void Run() {
    while (!m_stop.load()) {
      pollfd fds[2] = {{m_wakeFd, POLLIN, 0}, {m_bus.Ok() ? m_bus.Fd() : -1, POLLIN, 0}};
      const int n = poll(fds, 2, -1);
      if (n < 0) continue;  // EINTR
      bool changed = false;
      if ((fds[0].revents & POLLIN) != 0) {
        uint64_t count = 0;
        ssize_t ignored = read(m_wakeFd, &count, sizeof count);
        (void)ignored;
        if (m_stop.load()) break;
        changed = m_pendingGone.exchange(false);
      }
      if (fds[1].revents != 0) {
        // Readable: Wait takes what is there without blocking for long.
        const std::vector<sim::cable::BusChange> changes = m_bus.Wait(1);
        for (const sim::cable::BusChange &change : changes) {
          if (change.kind == sim::cable::BusChange::Kind::Removed) MarkPortRemoved(change.port);
        }
        changed = changed || !changes.empty();
        if (!m_bus.Ok()) {
          // The bus directory itself went away: no printer is left on it.
          MarkAllRemoved();
          changed = true;
        }
      }
      if (changed) W32X_BroadcastDeviceChange(DBT_DEVNODES_CHANGED);
    }
  }

  static void MarkPortRemoved(const std::string &port) {
    std::lock_guard<std::mutex> lk(Devices().lock);
    for (auto &device : Devices().devices) {
      if (device != nullptr && device->port == port) device->removed.store(true);
    }
  }

  static void MarkAllRemoved() {
    std::lock_guard<std::mutex> lk(Devices().lock);
    for (auto &device : Devices().devices) {
      if (device != nullptr) device->removed.store(true);
    }
  }

  sim::cable::BusWatcher m_bus;
  int m_wakeFd = -1;
  std::atomic<bool> m_stop{false};
  std::atomic<bool> m_pendingGone{false};
  std::thread m_thread;
};

Watcher *g_pWatcher = nullptr;

// At load: fix the bus directory and start watching it.
__attribute__((constructor)) void StartWatcher() {
  BusDirectoryText();
  g_pWatcher = new Watcher();
}

// At the end of the process: no thread of ours may outlive the libraries
// it calls, nor block the exit.
__attribute__((destructor)) void StopEverything() {
  if (g_pWatcher != nullptr) g_pWatcher->Stop();
  std::vector<std::shared_ptr<Device>> open;
  {
    std::lock_guard<std::mutex> lk(Devices().lock);
    for (auto &device : Devices().devices) {
      if (device != nullptr) open.push_back(device);
    }
  }
  for (auto &device : open) device->connection->Close();
  JoinAbandonedTransfers(true);
}

}  // namespace

const std::string &BusDirectory() { return BusDirectoryText(); }

bool PortAtIndex(int index, std::string *pPort) {
  if (index < 0 || index >= kDeviceCount) return false;
  const std::vector<sim::cable::PrinterEntry> printers = sim::cable::ListPrinters(BusDirectory());
  if (static_cast<size_t>(index) >= printers.size()) return false;
  *pPort = printers[static_cast<size_t>(index)].port;
  return true;
}

int FindOpenDevice(int index) {
  std::string port;
  if (!PortAtIndex(index, &port)) return -1;
  std::lock_guard<std::mutex> lk(Devices().lock);
  for (auto &device : Devices().devices) {
    if (device != nullptr && device->port == port && device->Present()) return device->number;
  }
  return -1;
}

int OpenDevice(int index) {
  std::string port;
  if (!PortAtIndex(index, &port)) return -1;
  if (FindOpenDevice(index) != -1) return -1;
  sim::cable::OpenOptions options;
  options.identityTimeoutMs = kIdentityTimeoutMs;
  std::unique_ptr<sim::cable::PrinterConnection> connection =
      sim::cable::PrinterConnection::Open(BusDirectory(), port, options);
  if (connection == nullptr) return -1;
  auto device = std::make_shared<Device>();
  device->port = port;
  device->connection = std::move(connection);
  std::lock_guard<std::mutex> lk(Devices().lock);
  for (int number = 0; number < kDeviceCount; ++number) {
    auto &slot = Devices().devices[static_cast<size_t>(number)];
    if (slot == nullptr) {
      device->number = number;
      slot = std::move(device);
      return number;
    }
  }
  return -1;
}

bool CloseDevice(int number) {
  std::shared_ptr<Device> device;
  {
    std::lock_guard<std::mutex> lk(Devices().lock);
    if (number < 0 || number >= kDeviceCount) return false;
    device = std::move(Devices().devices[static_cast<size_t>(number)]);
  }
  // The last reference (this one, or a pipe's) ends the connection.
  return device != nullptr;
}

std::shared_ptr<Device> DeviceAt(int number) {
  if (number < 0 || number >= kDeviceCount) return nullptr;
  std::lock_guard<std::mutex> lk(Devices().lock);
  return Devices().devices[static_cast<size_t>(number)];
}

void NoteDeviceGone(Device &device) {
  if (device.removed.exchange(true)) return;
  if (g_pWatcher != nullptr) g_pWatcher->Wake();
}

}  // namespace usbctrl
