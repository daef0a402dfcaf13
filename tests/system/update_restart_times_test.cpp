// How long a printer takes from the end of an update's data to being ready
// again on its next boot, for MAIN, DSP and TABLE images of a newer
// package, in virtual time: the updater's waits after each file must cover
// it, the defaults of a package's ini file (80000, 40000 and 40000 ms) and
// the short ones of the end-to-end tests (tests/e2e/update_waits.h) alike.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "firmware/control/host_status_table.h"
#include "firmware/hostif/usb_command_test_support.h"
#include "protocol/codes.h"
#include "tests/e2e/update_waits.h"
#include "tests/support/forked_boots.h"
#include "tests/support/machine_test.h"
#include "tools/images/flash_image.h"

namespace {

using hostiftest::Bytes;
using testsupport::Ms;
using namespace protocol;

// A package newer than the sample printer's 02.10.
constexpr images::Version kNew{0x03, 0x07};
constexpr sim::Nanos kBootLimit = Ms(60000);
constexpr sim::Nanos kUpdateLimit = Ms(120000);

// Configured on the cable and in a ready state: a host's next update
// would be taken now.
bool ReadyForTheHost(sim::Machine& m) {
  if (!m.UsbHost().WaitForConfigured(kBootLimit)) return false;
  return m.RunUntil([] { return GetStatusItem(SI_PRINTER_STATE) == PRINTER_STATE_READY; }, kBootLimit) ==
         sim::RunResult::ConditionMet;
}

// CMD_UPDATE without the no-reset flag, then the data: true when both went.
bool SendUpdate(sim::UsbHostPort& host, uint8_t ucKind, const Bytes& data) {
  const uint32_t ulSize = static_cast<uint32_t>(data.size());
  const Bytes request{ucKind, 0, 0, 0, 0, 0, static_cast<uint8_t>(ulSize), static_cast<uint8_t>(ulSize >> 8),
                      static_cast<uint8_t>(ulSize >> 16), static_cast<uint8_t>(ulSize >> 24)};
  const hostiftest::Reply r = hostiftest::Command(host, CMD_UPDATE, request);
  if (r.outcome != sim::UsbOutcome::Done || !r.bFramed || r.header.errorCode != 0) return false;
  return host.BulkOut(data, Ms(60000)).outcome == sim::UsbOutcome::Done;
}

void WriteMs(const std::string& path, sim::Nanos duration) {
  std::ofstream(path) << duration / sim::kNsPerMs << "\n";
}

int64_t ReadMs(const std::string& path) {
  int64_t ms = -1;
  std::ifstream(path) >> ms;
  return ms;
}

struct UpdateKind {
  const char* name;
  uint8_t ucKind;
  const Bytes& image;
  uint32_t ulDefaultWaitMs;  // a package's ini file
  uint32_t ulShortWaitMs;    // the end-to-end tests'
};

// Each kind on a sample printer of its own: boot 1 takes the update and
// restarts; boot 2 comes up on the new image. The time from the end of the
// data to the restart, and from the restart to the ready state, together
// are what the updater waits for.
TEST(UpdateRestartTimes, TheUpdatersWaitsCoverEachUpdateAndRestart) {
  // The package's images are those a printer of its version leaves the
  // factory with.
  const images::FlashContents package = images::SampleFlashContents(kNew, "        ");
  const UpdateKind kinds[] = {
      {"MAIN", UPDATE_KIND_MAIN, *package.main, 80000, e2e::kMainWaitMs},
      {"DSP", UPDATE_KIND_DSP, *package.dsp, 40000, e2e::kDspWaitMs},
      {"TABLE", UPDATE_KIND_TABLE, *package.table, 40000, e2e::kTableWaitMs},
  };
  for (const UpdateKind& kind : kinds) {
    SCOPED_TRACE(kind.name);
    testsupport::ForkedBoots printer;
    printer.ProvisionSamplePrinter();
    const std::string toRestart = printer.Path("update-to-restart-ms");
    const std::string toReady = printer.Path("restart-to-ready-ms");
    const std::vector<int> codes = printer.Run(2, [&](int index, sim::MachineOptions options) {
      sim::Machine m(std::move(options));
      if (!ReadyForTheHost(m)) return 10 + index;
      if (index == 1) {
        WriteMs(toReady, m.Now());
        return 0;
      }
      if (!SendUpdate(m.UsbHost(), kind.ucKind, kind.image)) return 20;
      const sim::Nanos dataEnd = m.Now();
      if (m.RunFor(kUpdateLimit) != sim::RunResult::Reset) return 21;
      WriteMs(toRestart, m.Now() - dataEnd);
      return 0;
    });
    ASSERT_EQ(codes, (std::vector<int>{0, 0}));
    const int64_t updateMs = ReadMs(toRestart);
    const int64_t bootMs = ReadMs(toReady);
    ASSERT_GT(updateMs, 0);
    ASSERT_GT(bootMs, 0);
    const int64_t totalMs = updateMs + bootMs;
    std::printf("[ measured ] %s: update %lld ms, restart to ready %lld ms, together %lld ms\n", kind.name,
                static_cast<long long>(updateMs), static_cast<long long>(bootMs),
                static_cast<long long>(totalMs));
    EXPECT_LE(totalMs, kind.ulDefaultWaitMs);
    EXPECT_LE(totalMs + e2e::WaitMarginMs(totalMs), kind.ulShortWaitMs);
  }
}

}  // namespace
