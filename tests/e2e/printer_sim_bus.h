// The frame of end-to-end tests of the host side against printer-sim
// processes: a bus directory of the test's own (which BOM7300UsbCtrl reads
// when it is loaded), printers with their own state directory, provisioned
// as the sample printer leaves the factory (serial number and head values
// by bom-eeprom, the sample flash by bom-images) so they start up without
// an error, and bounded waits for the bus and for the library. The
// including test defines PRINTER_SIM_PATH, BOM_EEPROM_PATH and
// BOM_IMAGES_PATH.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "bom7300upgrade.h"
#include "bom7300usbctrl_api.h"
#include "protocol/identity.h"
#include "sim/cable/cable_bus.h"
#include "tests/e2e/bus_ports.h"
#include "tests/e2e/child_process.h"
#include "tests/support/temp_dir.h"

namespace e2e {

// Limits of waits, never expectations: a paced printer boots in a second or
// two; sanitizer builds are slower.
inline constexpr int kBootLimitMs = 120000;
inline constexpr int kNoticeLimitMs = 30000;
// printer-sim's pace: virtual time may run this much faster than wall time.
inline constexpr const char *kPace = "--paced=4";

// Checks `condition` until it holds or `limitMs` of wall time passed. The
// short pause between checks only spares the processor; nothing depends on
// its length.
inline bool PollUntil(const std::function<bool()> &condition, int limitMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

class PrinterSimBusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = testsupport::MakeTempDir("library-e2e");
    m_bus = m_dir + "/bus";
    ASSERT_EQ(sim::cable::EnsureDirectory(m_bus), 0);
    // The library reads its bus directory when it is loaded.
    setenv(sim::cable::kBusEnvironment, m_bus.c_str(), 1);
    m_watcher = std::make_unique<sim::cable::BusWatcher>(m_bus);
    ASSERT_TRUE(m_watcher->Ok());
  }

  std::string StateDir(const std::string &name) {
    const std::string dir = m_dir + "/" + name;
    mkdir(dir.c_str(), 0700);
    return dir;
  }
  std::string PortOf(const std::string &name) { return sim::cable::PortFor(StateDir(name)); }
  std::string MutexNameOf(const std::string &name) {
    return sim::cable::DevicePath(sim::cable::BusId(m_bus), PortOf(name), protocol::USB_VENDOR_ID,
                                  protocol::USB_PRODUCT_ID)
        .substr(SDKUSB_PATH_MUTEX_NAME_AT);
  }

  // A printer with its own state directory and serial number; `options`
  // go to printer-sim after the default ones (a later --paced wins).
  std::unique_ptr<e2e::ChildProcess> StartPrinter(const std::string &name, const std::string &serial,
                                                  const std::vector<std::string> &options = {}) {
    const std::string state = StateDir(name);
    const std::vector<std::vector<std::string>> provisioning = {
        {BOM_EEPROM_PATH, "serial", state, serial},
        {BOM_IMAGES_PATH, "flash", state + "/flash.bin", "--cis-serial", serial},
    };
    for (size_t i = 0; i < provisioning.size(); ++i) {
      e2e::ChildProcess run(provisioning[i], m_dir + "/" + name + "-provisioning-" + std::to_string(i) + ".log");
      EXPECT_TRUE(run.WaitExit(30000));
      EXPECT_EQ(run.Stop(), 0) << run.Log();
    }
    std::vector<std::string> argv{PRINTER_SIM_PATH, "--state", state, "--usb-bus", m_bus, kPace};
    argv.insert(argv.end(), options.begin(), options.end());
    auto child = std::make_unique<e2e::ChildProcess>(argv, m_dir + "/" + name + ".log");
    EXPECT_TRUE(child->Started());
    return child;
  }

  // Waits, on the bus directory's changes, until exactly `ports` are listed.
  bool WaitForPorts(const std::set<std::string> &ports, int limitMs = kBootLimitMs) {
    return e2e::WaitForBusPorts(m_bus, *m_watcher, ports, limitMs);
  }

  std::string m_dir;
  std::string m_bus;
  std::unique_ptr<sim::cable::BusWatcher> m_watcher;
};

// The selected printer is deselected once the library's watcher has swept it.
inline bool Deselected() {
  uint16_t err = 0;
  return kt_selectPrinter(KT_NO_PRINTER, &err) == KT_NO_PRINTER;
}

}  // namespace e2e
