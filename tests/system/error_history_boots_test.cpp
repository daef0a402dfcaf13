// The error history across boots. A restart finds the entries as saved,
// counters above 16 bits included. Power cuts: the power fails at each
// flash and EEPROM write of one save in turn, and the next boot reads the
// history it finds. Every boot sees the entries saved before, the newest
// possibly lost, never the whole history. Two saves are cut: one inside a
// sector, and the one that moves the history to the other sector.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "firmware/control/error_history.h"
#include "firmware/devices/eeprom_cells.h"
#include "firmware/devices/life_counters.h"
#include "firmware/hal/kernel.h"
#include "sim/board.h"
#include "sim/machine.h"
#include "sim/memory/board_power.h"
#include "firmware/devices/eeprom.h"
#include "tests/support/forked_boots.h"
#include "tests/support/machine_test.h"

namespace {

using testsupport::Ms;

// What a boot found of the entries the boot before it saved.
enum Found : int { kNothingBefore = 0, kBoth = 1, kNewestLost = 2, kWrong = 3 };
// A boot's exit code: found * 10 + 1 when its save was cut; 99 when the
// boot neither finished its save nor was cut.
constexpr int kBootFailed = 99;

// The older and the newer entry of boot i (the counter tells them apart).
constexpr uint16_t OlderCode(int i) { return static_cast<uint16_t>(0x0100 + i); }
constexpr uint16_t NewerCode(int i) { return static_cast<uint16_t>(0x0200 + i); }

bool IsRecord(const ErrorHistRecord& r, uint16_t usCode) {
  return r.ucCodeMajor == (usCode >> 8) && r.ucCodeMinor == (usCode & 0xFFu);
}

Found ReadBack(int i) {
  if (i == 0) return kNothingBefore;
  const ErrorHistRecord* pRecords = g_ErrorHistTable.aRecords;
  if (IsRecord(pRecords[0], NewerCode(i - 1)) && IsRecord(pRecords[1], OlderCode(i - 1))) return kBoth;
  if (IsRecord(pRecords[0], OlderCode(i - 1))) return kNewestLost;
  return kWrong;
}

// The next boot i: reads what the boot before left, then saves two entries
// from `startSlot`, the power failing at write i of the second save.
int Boot(testsupport::ForkedBoots& boots, uint8_t ucStartSlot) {
  static uint8_t s_ucStartSlot;
  static Found s_found;
  s_ucStartSlot = ucStartSlot;
  return boots.Run(1, [](int, sim::MachineOptions options) {
    options.appEntry = [] {
      // The start-up's EEPROM step, which this entry replaces.
      g_Eeprom.StoreFirmwareVersion();
      const int i = testsupport::ForkedBoots::Index();
      s_found = ReadBack(i);
      g_Cell122.Write(&s_ucStartSlot);
      g_ErrorHist.Load();
      g_ErrorHist.Add(OlderCode(i));
      sim::BoardPower::Of(sim::Board::Current()).CutAfterWrites(static_cast<uint64_t>(i));
      g_ErrorHist.Add(NewerCode(i));
      syslog(LOG_NOTICE, "[test] saved");
      for (;;) CpuRelax();
    };
    sim::Machine m(options);
    const sim::RunResult result = m.RunUntil([&] { return m.Logged("[test] saved"); },
                                             testsupport::kStartUp + testsupport::kFirstBootFormat + Ms(8000));
    const bool bCut = result == sim::RunResult::Reset;
    if ((!bCut && result != sim::RunResult::ConditionMet) || !m.UnexpectedFaults().empty()) return kBootFailed;
    return s_found * 10 + (bCut ? 1 : 0);
  }).at(0);
}

class ErrorHistoryPowerCut : public testing::TestWithParam<uint8_t> {};

TEST_P(ErrorHistoryPowerCut, EachWriteOfASaveCutCostsAtMostTheNewestEntry) {
  testsupport::ForkedBoots boots;
  int cuts = 0;
  int lost = 0;
  bool bPreviousCut = true;
  // Boot i cuts its save at write i, until a boot's save makes fewer
  // writes; the boot after that one reads the uncut save.
  constexpr int kMaxBoots = 64;
  for (int i = 0; i < kMaxBoots; ++i) {
    const int code = Boot(boots, GetParam());
    ASSERT_NE(code, kBootFailed) << "boot " << i;
    const int found = code / 10;
    if (i > 0) {
      EXPECT_TRUE(found == kBoth || (bPreviousCut && found == kNewestLost))
          << "boot " << i << " found " << found << " of the entries saved by the boot before";
    }
    if (found == kNewestLost) ++lost;
    if (!bPreviousCut) break;
    bPreviousCut = code % 10 != 0;
    if (bPreviousCut) ++cuts;
  }
  EXPECT_FALSE(bPreviousCut) << "a save makes fewer writes than the boots tried";
  EXPECT_GT(cuts, 31) << "a save writes the slot's 31 halfwords and a cell";
  EXPECT_GT(lost, 0) << "a cut before the cells move loses the newest entry";
}

// Slot 4: the cut save stays in its sector; slot 130: the cut save is the
// one after the last slot, which moves to the other sector.
INSTANTIATE_TEST_SUITE_P(Saves, ErrorHistoryPowerCut, testing::Values(uint8_t{4}, uint8_t{130}),
                         [](const testing::TestParamInfo<uint8_t>& param) {
                           return param.param == 4 ? std::string("InsideASector") : std::string("AtASectorSwitch");
                         });

// Boot 0 records two errors with the "Total" counter past 65535; boot 1
// reads them at its start-up.
TEST(ErrorHistoryBoots, ARestartFindsTheEntriesWithTheirFullCounters) {
  testsupport::ForkedBoots boots;
  const std::vector<int> codes = boots.Run(2, [](int index, sim::MachineOptions options) {
    static bool s_bRight;
    options.appEntry = [] {
      // The start-up's EEPROM step, which this entry replaces.
      g_Eeprom.StoreFirmwareVersion();
      if (testsupport::ForkedBoots::Index() == 0) {
        g_CounterTotal.Write(65535);
        g_ErrorHist.Add(0x0201);
        g_CounterTotal.Write(0x00012345);
        g_ErrorHist.Add(0x0408);
      } else {
        const ErrorHistRecord* pRecords = g_ErrorHistTable.aRecords;
        s_bRight = IsRecord(pRecords[0], 0x0408) && pRecords[0].ulTotalCount == 0x00012345u &&
                   IsRecord(pRecords[1], 0x0201) && pRecords[1].ulTotalCount == 65535u &&
                   IsRecord(pRecords[2], 0);
      }
      syslog(LOG_NOTICE, "[test] done");
      for (;;) CpuRelax();
    };
    sim::Machine m(options);
    const sim::RunResult result = m.RunUntil([&] { return m.Logged("[test] done"); },
                                             testsupport::kStartUp + testsupport::kFirstBootFormat + Ms(2000));
    if (result != sim::RunResult::ConditionMet || !m.UnexpectedFaults().empty()) return 2;
    return index == 0 || s_bRight ? 0 : 1;
  });
  EXPECT_EQ(codes, (std::vector<int>{0, 0}));
}

}  // namespace
