// Ramp tables: the curve's entries, the tail, the refusals, the line-period
// conversion by mode, the fill bounds and the shared storage.
#include "firmware/devices/ramp_table.h"

#include <gtest/gtest.h>

#include <vector>

#include "firmware/devices/settings.h"
#include "firmware/hal/global.h"

namespace {

class RampTables : public ::testing::Test {
 protected:
  void SetUp() override { SetStepsPerKiloLine(4000); }
  static void SetStepsPerKiloLine(int32_t lValue) {
    hal::ConstructGlobal(g_ParamStpLx1000, "Stp/Lx1000       ", 1000, 8000, nullptr, nullptr, nullptr, lValue);
  }
  std::vector<uint16_t> m_storage = std::vector<uint16_t>(CRampTable::kEntries, 0xABCD);
  CRampTable m_ramp{m_storage.data(), 1576, 1000, 50, 2};

  uint32_t Count() const {
    uint32_t ulCount = 0;
    m_ramp.GetCount(&ulCount);
    return ulCount;
  }
};

TEST_F(RampTables, TheCurveItsTopEntryAndTheTail) {
  struct Case {
    uint32_t ulStart, ulTop, ulMs;
    uint32_t ulCount;
    std::vector<uint16_t> head;  // entries 0, 1, 2, ...
    uint16_t usTop;              // entries count .. 2047
  };
  const Case cases[] = {
      {1000, 1000, 50, 50, {25000, 25000, 25000}, 25000},
      {500, 3000, 200, 350, {50000, 49998, 49986}, 8333},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(m_ramp.SetupByRate(c.ulStart, c.ulTop, c.ulMs), 0);
    EXPECT_EQ(Count(), c.ulCount);
    for (size_t i = 0; i < c.head.size(); ++i) EXPECT_EQ(m_storage[i], c.head[i]) << c.ulStart << " entry " << i;
    for (uint32_t i = c.ulCount; i < CRampTable::kEntries; ++i) ASSERT_EQ(m_storage[i], c.usTop) << i;
    // The ramp climbs: no entry is longer than the one before.
    for (uint32_t i = 1; i <= c.ulCount; ++i) ASSERT_LE(m_storage[i], m_storage[i - 1]) << i;
    uint32_t ulTopRate = 0;
    m_ramp.GetTopRate(&ulTopRate);
    EXPECT_EQ(ulTopRate, c.ulTop);
  }
}

TEST_F(RampTables, RefusedBuildsLeaveTableAndCountAsTheyWere) {
  ASSERT_EQ(m_ramp.SetupByRate(1000, 1000, 50), 0);
  const std::vector<uint16_t> before = m_storage;
  struct Case {
    uint32_t ulStart, ulTop, ulMs;
  };
  // Start above top, each zero, and a start rate whose period does not fit
  // an entry.
  for (const Case& c : {Case{3000, 500, 100}, Case{0, 1000, 50}, Case{500, 0, 50}, Case{500, 1000, 0},
                        Case{381, 1000, 50}}) {
    EXPECT_EQ(m_ramp.SetupByRate(c.ulStart, c.ulTop, c.ulMs), -1) << c.ulStart << "/" << c.ulTop << "/" << c.ulMs;
    EXPECT_EQ(Count(), 50u);
    EXPECT_EQ(m_storage, before);
  }
  // The slowest rate that fits is taken.
  EXPECT_EQ(m_ramp.SetupByRate(382, 382, 10), 0);
  EXPECT_EQ(m_storage[0], 65445);
}

TEST_F(RampTables, ARampLongerThanTheTableEndsAtItsLastEntry) {
  m_storage.push_back(0x5A5A);  // a guard beyond the table
  CRampTable ramp(m_storage.data(), 0, 0, 0, 2);
  ASSERT_EQ(ramp.SetupByRate(8600, 8600, 1000), 0);  // 8600 steps wanted
  uint32_t ulCount = 0;
  ramp.GetCount(&ulCount);
  EXPECT_EQ(ulCount, CRampTable::kEntries - 1);
  EXPECT_EQ(m_storage[CRampTable::kEntries - 1], 2906);
  EXPECT_EQ(m_storage[CRampTable::kEntries], 0x5A5A);
}

TEST_F(RampTables, LinePeriodsConvertByStepsPerLineAndMode) {
  struct Case {
    uint32_t ulMode;
    int32_t lStepsPerKiloLine;
    uint32_t ulPeriod;
    uint32_t ulRate;
  };
  const Case cases[] = {
      {1, 4000, 1000, 4000}, {2, 4000, 1000, 2000}, {3, 4000, 1000, 4000}, {4, 4000, 1000, 8000},
      {5, 4000, 1000, 16000}, {1, 2722, 1000, 2722}, {2, 4000, 3, 666666}, {1, 8000, 0xFFFFFFFFu, 0},
  };
  for (const Case& c : cases) {
    SetStepsPerKiloLine(c.lStepsPerKiloLine);
    m_ramp.SetMode(c.ulMode);
    uint32_t ulRate = 7;
    EXPECT_EQ(m_ramp.LinePeriodToRate(c.ulPeriod, &ulRate), 0);
    EXPECT_EQ(ulRate, c.ulRate) << "mode " << c.ulMode << " period " << c.ulPeriod;
  }
  uint32_t ulRate = 7;
  EXPECT_EQ(m_ramp.LinePeriodToRate(0, &ulRate), -1);
  EXPECT_EQ(ulRate, 7u);
}

TEST_F(RampTables, LinePeriodSetUpAndParameters) {
  // 1000 and 500 us per line in mode 2 at 4000: 2000 to 4000 pulses per second.
  ASSERT_EQ(m_ramp.SetupByLinePeriod(1000, 500, 40), 0);
  uint32_t ulValue = 0;
  m_ramp.GetTopRate(&ulValue);
  EXPECT_EQ(ulValue, 4000u);
  EXPECT_EQ(m_storage[0], 12500);
  const std::vector<uint16_t> built = m_storage;
  // A zero line period is refused everywhere, with nothing changed.
  EXPECT_EQ(m_ramp.SetupByLinePeriod(0, 500, 40), -1);
  EXPECT_EQ(m_ramp.SetupByLinePeriod(1000, 0, 40), -1);
  EXPECT_EQ(m_ramp.SetParam(2, 0, 1), -1);
  EXPECT_EQ(m_storage, built);
  m_ramp.GetParam(2, &ulValue);
  EXPECT_EQ(ulValue, 500u);

  struct Case {
    uint32_t ulId;
    uint32_t ulValue;
    int32_t lResult;
  };
  for (const Case& c : {Case{1, 800, 0}, Case{2, 400, 0}, Case{3, 60, 0}, Case{4, 3, 0}, Case{0, 1, -1}, Case{5, 1, -1}}) {
    EXPECT_EQ(m_ramp.SetParam(c.ulId, c.ulValue, 0), c.lResult) << c.ulId;
    if (c.lResult != 0) {
      EXPECT_EQ(m_ramp.GetParam(c.ulId, &ulValue), -1);
      continue;
    }
    ASSERT_EQ(m_ramp.GetParam(c.ulId, &ulValue), 0);
    EXPECT_EQ(ulValue, c.ulValue) << c.ulId;
  }
  EXPECT_EQ(m_storage, built) << "nothing rebuilt without the flag";
  // Rebuild: the rates were converted under mode 2 when their periods were
  // set, so 400 us per line is 5000 pulses per second on top (the period
  // truncated from 4999.99...).
  EXPECT_EQ(m_ramp.SetParam(3, 60, 1), 0);
  EXPECT_EQ(m_storage[CRampTable::kEntries - 1], 4999);
}

TEST_F(RampTables, ModesOutsideOneToFiveBecomeTwo) {
  for (uint32_t ulMode : {0u, 6u, 0xFFFFFFFFu, 1u, 5u}) {
    m_ramp.SetMode(ulMode);
    uint32_t ulValue = 0;
    m_ramp.GetParam(4, &ulValue);
    EXPECT_EQ(ulValue, ulMode >= 1 && ulMode <= 5 ? ulMode : 2u) << ulMode;
  }
}

TEST_F(RampTables, FillStaysInsideTheTable) {
  struct Case {
    uint32_t ulStart, ulCount;
    int32_t lResult;
  };
  for (const Case& c : {Case{2000, 48, 0}, Case{2000, 49, -1}, Case{2048, 0, -1}, Case{0, 2049, -1},
                        Case{0xFFFFFFFFu, 2, -1}, Case{1, 0xFFFFFFFFu, -1}, Case{0, 2048, 0}}) {
    std::fill(m_storage.begin(), m_storage.end(), 0);
    EXPECT_EQ(m_ramp.Fill(7, c.ulStart, c.ulCount), c.lResult) << c.ulStart << "+" << c.ulCount;
    const uint32_t ulWritten = c.lResult == 0 ? c.ulCount : 0;
    EXPECT_EQ(static_cast<uint32_t>(std::count(m_storage.begin(), m_storage.end(), 7)), ulWritten);
  }
}

TEST_F(RampTables, TwoRampsOnOneStorageShareWhatTheyPlay) {
  CRampTable first(m_storage.data(), 1576, 174, 50, 2);
  CRampTable second(m_storage.data(), 1576, 174, 50, 2);
  ASSERT_EQ(first.SetupByRate(1000, 1000, 50), 0);
  uint16_t* pusFirst = nullptr;
  first.GetTable(&pusFirst);
  ASSERT_EQ(pusFirst[0], 25000);
  ASSERT_EQ(second.SetupByRate(2000, 2000, 50), 0);
  EXPECT_EQ(pusFirst[0], 12500);
}

}  // namespace
