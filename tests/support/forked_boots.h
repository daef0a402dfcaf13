// Boots of one virtual printer, each in its own forked process
// (sim::RunBoots), on one fresh state directory: what a boot leaves in its
// flash and EEPROMs is what the next one finds.
#pragma once

#include <cstdint>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "sim/machine.h"
#include "sim/run_boots.h"
#include "tests/support/machine_test.h"

namespace testsupport {

class ForkedBoots {
 public:
  ForkedBoots() : m_dir(MakeTempDir()) {}

  const std::string& Dir() const { return m_dir; }
  // Makes the printer the sample printer as it leaves the factory
  // (sample_printer.h) before its first boot; without it the first boot
  // finds a blank printer.
  void ProvisionSamplePrinter(const SamplePrinter& printer = {}) const {
    std::string error;
    if (!testsupport::ProvisionSamplePrinter(m_dir, printer, &error)) ADD_FAILURE() << error;
  }
  // A file of the state directory ("eeprom-main.bin", ...).
  std::string Path(const std::string& file) const { return m_dir + "/" + file; }
  // The file's bytes as the last boot left them (none when it is missing).
  std::vector<uint8_t> ReadBytes(const std::string& file) const {
    std::ifstream in(Path(file), std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  // The index of the boot running now, counted over every Run of this
  // printer from 0; for an application entry, which captures nothing.
  static int Index() { return s_index; }

  // Runs `count` boots one after the other; each gets its index and the
  // options with the state directory set, builds its sim::Machine and
  // returns its exit code. Returns the codes in boot order.
  std::vector<int> Run(int count, const std::function<int(int index, sim::MachineOptions options)>& boot) {
    const int first = m_next;
    m_next += count;
    return sim::RunBoots(count, [&](int i) {
      s_index = first + i;
      sim::MachineOptions options;
      options.stateDir = m_dir;
      return boot(s_index, std::move(options));
    });
  }

 private:
  // Set in the boot's own process only.
  inline static int s_index = 0;
  std::string m_dir;
  int m_next = 0;
};

}  // namespace testsupport
