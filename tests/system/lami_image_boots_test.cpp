// Lamination-pattern slots of a new printer and across a power cut. A new
// printer's slots pass the start-up's check. A printer stores a download
// into one of its slots, and the power fails in one of the store's phases:
// while the slot is erased, while it is programmed, or at the checksum that
// completes it. The next boot's check of the slots fails (on the signature,
// or on the checksum) and raises error index 0x119, instead of taking a
// half-written pattern for a valid one.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "firmware/control/error_manager.h"
#include "firmware/devices/lami_image.h"
#include "firmware/hal/hw.h"
#include "firmware/hal/kernel.h"
#include "sim/board.h"
#include "sim/machine.h"
#include "sim/memory/board_power.h"
#include "sim/panel/panel.h"
#include "tests/support/forked_boots.h"
#include "tests/support/machine_test.h"
#include "tools/images/lamination_slot.h"

namespace {

using testsupport::Ms;

constexpr uint32_t kOffset = 0x1A00000u;
constexpr uint32_t kPacked = LAMI_IMG_PIXELS / 8;
// Erases of a store: the header's sector, then the 18 sectors of the slot.
constexpr uint64_t kStoreErases = 1 + 18;
const images::Version kFirmware{0x02, 0x10};

struct Phase {
  const char* name;
  // 1: the stored slot, 0: the active one.
  uint32_t ulSlot;
  // Writes of the store before the one the power fails in.
  uint64_t ulWritesBefore;
  sim::CutDamage damage;
  // The LCD line when the power failed (its first 13 characters when the
  // percentage is not fixed).
  const char* pszLine;
  int32_t lNextCheck;
};

// The writes that program the sample pattern: every halfword of the packed
// pixels and of the header that is not all ones (the checksum's are, until
// the checksum is written).
uint64_t SampleProgramWrites() {
  images::Bytes slot = images::BuildSampleLaminationSlot(kFirmware);
  images::PutU16LE(slot, kPacked + 20, 0xFFFF);
  uint64_t ulWrites = 0;
  for (size_t i = 0; i < slot.size(); i += 2) ulWrites += images::GetU16LE(slot, i) != 0xFFFF ? 1 : 0;
  return ulWrites;
}

const Phase kPhases[] = {
    // The third sector of the stored slot: the header's sector is gone.
    {"Erasing", 1, 1 + 2, sim::CutDamage::Partial, "Erasing...   11%", -1},
    // In the middle of the active slot's pixels.
    {"Programming", 0, kStoreErases + 200000, sim::CutDamage::Partial, "Updating...  ", -1},
    // Every pixel and the header are in; the checksum is not (the cut
    // write changes nothing: the checksum's high byte could be all ones).
    {"Checksum", 1, 0, sim::CutDamage::None, "Updating...  95%", -2},
};

class LamiImagePowerCut : public testing::TestWithParam<Phase> {};

images::Bytes g_download;

TEST_P(LamiImagePowerCut, TheNextBootsCheckFailsAndRaisesTheCheckError) {
  static Phase s_phase;
  s_phase = GetParam();
  if (std::string(s_phase.name) == "Checksum") s_phase.ulWritesBefore = kStoreErases + SampleProgramWrites();
  g_download = images::BuildSampleLaminationDownload();

  // A new printer: both slots hold the sample pattern.
  testsupport::ForkedBoots boots;

  const std::vector<int> codes = boots.Run(2, [](int index, sim::MachineOptions options) {
    static int32_t s_lCheck;
    static bool s_bRaised;
    options.appEntry = [] {
      s_lCheck = CheckLamiImages();
      s_bRaised = IsErrorRaised(0x0119);
      if (testsupport::ForkedBoots::Index() == 0) {
        std::memcpy(PhysToHost(0xC0800000u + kOffset, LAMI_IMG_PIXELS), g_download.data(), LAMI_IMG_PIXELS);
        std::memset(PhysToHost(0xC0800000u + kOffset + LAMI_IMG_PIXELS, LAMI_IMG_HEADER_BYTES), 0xFF,
                    LAMI_IMG_HEADER_BYTES);
        sim::BoardPower::Of(sim::Board::Current()).CutAfterWrites(s_phase.ulWritesBefore, s_phase.damage);
        (s_phase.ulSlot == 1 ? g_LamiImgSlot1 : g_LamiImgSlot0).Store(kOffset);
      }
      syslog(LOG_NOTICE, "[test] done");
      for (;;) CpuRelax();
    };
    sim::Machine m(options);
    const sim::RunResult result = m.RunUntil([&] { return m.Logged("[test] done"); },
                                             testsupport::kStartUp + testsupport::kFirstBootFormat + Ms(60000));
    if (!m.UnexpectedFaults().empty()) return 10;
    if (index == 0) {
      if (result != sim::RunResult::Reset) return 11;
      if (s_lCheck != 0 || s_bRaised) return 12;
      const std::string line = m.GetBoard().FindDevice<sim::LcdController>()->Visible();
      return line.rfind(s_phase.pszLine, 0) == 0 ? 0 : 13;
    }
    if (result != sim::RunResult::ConditionMet) return 21;
    if (s_lCheck != s_phase.lNextCheck) return 22;
    return s_bRaised ? 0 : 23;
  });
  EXPECT_EQ(codes, (std::vector<int>{0, 0}));
}

class LamiImageNewPrinter : public testsupport::MachineTest {};

// A new printer's flash holds the sample pattern in both slots, written by
// its own firmware's version: the start-up's check passes.
TEST_F(LamiImageNewPrinter, BothSlotsPassTheCheck) {
  static int32_t s_lCheck;
  static bool s_bRaised;
  sim::MachineOptions options;
  options.appEntry = [] {
    s_lCheck = CheckLamiImages();
    s_bRaised = IsErrorRaised(0x0119);
    syslog(LOG_NOTICE, "[test] done");
    for (;;) CpuRelax();
  };
  sim::Machine& m = BootNewPrinter(std::move(options));
  ASSERT_EQ(m.RunUntil([&] { return m.Logged("[test] done"); },
                       testsupport::kStartUp + testsupport::kFirstBootFormat + Ms(2000)),
            sim::RunResult::ConditionMet);
  EXPECT_EQ(s_lCheck, 0);
  EXPECT_FALSE(s_bRaised);
}

INSTANTIATE_TEST_SUITE_P(Phases, LamiImagePowerCut, testing::ValuesIn(kPhases),
                         [](const testing::TestParamInfo<Phase>& param) { return std::string(param.param.name); });

}  // namespace
