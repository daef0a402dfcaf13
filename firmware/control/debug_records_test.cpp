// The sequences' debug records: the entry table wraps without storing, a
// trace takes at most its five words, and the paper log stops when full.
#include "firmware/control/debug_records.h"

#include <gtest/gtest.h>

#include <cstring>

#include "firmware/devices/panel_ports.h"
#include "sim/mechanism/mechanism_inputs.h"
#include "tests/support/machine_test.h"

namespace {

using testsupport::Ms;

TEST(DebugRecords, EachKindStoresWhereItBelongs) {
  ClearDebugRecord();
  const uint32_t aulValues[8] = {11, 12, 13, 14, 15, 16, 17, 18};
  EXPECT_EQ(StoreDebugRecord(0, aulValues, 2), 0);
  EXPECT_EQ(g_DebugRecord.aulCurrent[0], 11u);
  EXPECT_EQ(g_DebugRecord.aulCurrent[1], 12u);

  // Ten entries with their sequence numbers; the eleventh call only sets
  // the index back, the twelfth stores at entry 0 with the next number.
  for (uint32_t i = 0; i < DEBUG_RECORD_ENTRIES; ++i) EXPECT_EQ(StoreDebugRecord(1, aulValues + (i % 2), 2), 0);
  const DebugRecordEntry kFourth = {3, 3, 12, 13};
  EXPECT_EQ(std::memcmp(&g_DebugRecord.aEntries[3], &kFourth, sizeof kFourth), 0);
  EXPECT_EQ(StoreDebugRecord(1, aulValues, 2), 0);
  EXPECT_EQ(g_DebugRecord.ulEntryIndex, 0u);
  EXPECT_EQ(g_DebugRecord.aEntries[0].ulSequenceA, 0u) << "nothing stored";
  EXPECT_EQ(StoreDebugRecord(1, aulValues + 4, 2), 0);
  const DebugRecordEntry kAgain = {10, 10, 15, 16};
  EXPECT_EQ(std::memcmp(&g_DebugRecord.aEntries[0], &kAgain, sizeof kAgain), 0);

  // A trace takes at most five words, so the array after it keeps its own.
  EXPECT_EQ(StoreDebugRecord(3, aulValues, 3), 0);
  EXPECT_EQ(StoreDebugRecord(2, aulValues, 8), 0);
  EXPECT_EQ(g_DebugRecord.aulTrace[0][4], 15u);
  EXPECT_EQ(g_DebugRecord.aulTrace[1][0], 11u) << "not overwritten by a count of 8";
  EXPECT_EQ(g_DebugRecord.aulTrace[1][3], 0u);
  EXPECT_EQ(StoreDebugRecord(4, aulValues + 3, 5), 0);
  EXPECT_EQ(g_DebugRecord.aulTrace[2][0], 14u);

  EXPECT_EQ(StoreDebugRecord(5, aulValues, 2), -1);
  EXPECT_EQ(StoreDebugRecord(2, nullptr, 5), -1);
}

class PaperLog : public testsupport::MachineTest {};

TEST_F(PaperLog, AppendsTagAndSensorsUntilFullAndClearsItsFirstPart) {
  static uint32_t s_ulCountAfterFirst;
  static uint32_t s_ulCountWhenFull;
  sim::MachineOptions options;
  options.appEntry = [] {
    // The photo sensors' LEDs, as the start-up switches them on.
    g_PortPhotoSenLed1.Set();
    g_PortPhotoSenLed2.Set();
    g_ulPaperLogCount = PAPER_LOG_ENTRIES - 6;
    LogPaperSensors(0x12345);
    s_ulCountAfterFirst = g_ulPaperLogCount;
    LogPaperSensors(0x6789A);
    LogPaperSensors(1);
    s_ulCountWhenFull = g_ulPaperLogCount;
    syslog(LOG_NOTICE, "[test] done");
  };
  sim::Machine& m = Boot(std::move(options));
  // Paper in front of every sensor (the web at rest leaves "Top R" dark).
  m.GetBoard().FindDevice<sim::MechanismInputs>()->SetRollLoaded(true);
  ASSERT_EQ(m.RunUntil([&] { return m.Logged("[test] done"); }, testsupport::kStartUp + Ms(1000)),
            sim::RunResult::ConditionMet);
  EXPECT_EQ(s_ulCountAfterFirst, PAPER_LOG_ENTRIES - 2);
  EXPECT_EQ(s_ulCountWhenFull, PAPER_LOG_ENTRIES) << "stops without an error";
  const uint16_t* pusEntry = &g_ausPaperLog[PAPER_LOG_ENTRIES - 6];
  EXPECT_EQ(pusEntry[0], 0x2345);
  // The photo sensors see the roll (raw readings), "PaperEmpty" is on.
  EXPECT_EQ(pusEntry[1], sim::MechanismInputs::kPaperSeen);
  EXPECT_EQ(pusEntry[2], sim::MechanismInputs::kPaperSeen);
  EXPECT_EQ(pusEntry[3], 1);
  EXPECT_EQ(pusEntry[4], 0x789A);
  EXPECT_EQ(pusEntry[5], sim::MechanismInputs::kPaperSeen);

  g_ausPaperLog[PAPER_LOG_CLEARED - 1] = 7;
  g_ausPaperLog[PAPER_LOG_CLEARED] = 7;
  ClearPaperLog();
  EXPECT_EQ(g_ulPaperLogCount, 0u);
  EXPECT_EQ(g_ausPaperLog[PAPER_LOG_CLEARED - 1], 0);
  EXPECT_EQ(g_ausPaperLog[PAPER_LOG_CLEARED], 7);
}

}  // namespace
