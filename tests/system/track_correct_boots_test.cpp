// The track-correction lengths live in their settings: what one boot pushes
// and consumes, the next boot's construction list reads back.
#include <gtest/gtest.h>

#include <vector>

#include "firmware/hal/hw.h"
#include "firmware/hal/kernel.h"
#include "firmware/printengine/print_geometry.h"
#include "sim/machine.h"
#include "tests/support/forked_boots.h"
#include "tests/support/machine_test.h"

namespace {

using testsupport::Ms;

TEST(TrackCorrectBoots, TheSixLengthsAreReadBackAfterARestart) {
  testsupport::ForkedBoots printer;
  printer.ProvisionSamplePrinter();
  const std::vector<int> codes = printer.Run(2, [](int index, sim::MachineOptions options) {
    static int s_code;
    s_code = 100;
    options.appEntry = [] {
      uint32_t aulA[3] = {}, aulB[3] = {}, ulActive = 9;
      if (testsupport::ForkedBoots::Index() == 0) {
        g_TrackCorrect.PushLength(0, 300, 2);
        g_TrackCorrect.PushLength(0, 120, 1);
        g_TrackCorrect.PushLength(1, 4000, 2);
        g_TrackCorrect.ConsumeLength(1, 1000);
        g_TrackCorrect.PushLength(1, 77, 0);
        g_TrackCorrect.SetActive();
        s_code = 0;
      } else {
        g_TrackCorrect.GetLengths(0, aulA);
        g_TrackCorrect.GetLengths(1, aulB);
        g_TrackCorrect.IsActive(&ulActive);
        s_code = std::vector<uint32_t>(aulA, aulA + 3) == std::vector<uint32_t>{120, 300, 300} ? 0 : 1;
        if (std::vector<uint32_t>(aulB, aulB + 3) != std::vector<uint32_t>{77, 3000, 3000}) s_code = 2;
        if (ulActive != 0) s_code = 3;
      }
      syslog(LOG_NOTICE, "[test] done");
      for (;;) CpuRelax();
    };
    sim::Machine m(options);
    if (m.RunUntil([&] { return m.Logged("[test] done"); }, testsupport::kStartUp + testsupport::kEepromBackup + Ms(10000)) !=
        sim::RunResult::ConditionMet) {
      return 10 + index;
    }
    return s_code;
  });
  EXPECT_EQ(codes, (std::vector<int>{0, 0}));
}

}  // namespace
