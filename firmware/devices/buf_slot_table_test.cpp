// The image-buffer slot tables: first-fit runs that never wrap, release and
// free of runs, the full and all-printed tests, and the mirror the host
// reads; then the machine's four tables and the pools of print mode 0.
#include "firmware/devices/buf_slot_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "firmware/hostif/usb_cmd_blocks.h"

namespace {

constexpr uint32_t kCoarse[3] = {0x0000000u, 0x1A00000u, 0x3400000u};

enum class Op { Allocate, Release, Free, ReleaseAt, FreeAt, AllocateAt };

// One operation on a table and what it must give: the result, for an
// allocation the index (the offset is the slot's own, or 0xFFFFFFFF for
// -1), and the free slots after it.
struct Step {
  Op op;
  uint32_t ulArg;  // n for an allocation, else index or offset
  int32_t lResult;
  int32_t lIndex;
  uint32_t ulFreeAfter;
};

struct SequenceCase {
  const char* name;
  std::vector<Step> steps;
};

void Apply(CBufSlotTable& table, const Step& s, const uint32_t* pulOffsets) {
  int32_t lIndex = 7;
  uint32_t ulOffset = 7;
  int32_t lResult = 0;
  switch (s.op) {
    case Op::Allocate:
      lResult = table.Allocate(BUF_TYPE_PRINT, s.ulArg, 0x11, 0x22, &lIndex, &ulOffset);
      EXPECT_EQ(lIndex, s.lIndex);
      EXPECT_EQ(ulOffset, s.lIndex < 0 ? BUF_SLOT_NO_OFFSET : pulOffsets[s.lIndex]);
      break;
    case Op::AllocateAt:
      lResult = table.AllocateAt(BUF_TYPE_UPDATE, s.ulArg, static_cast<uint32_t>(s.lIndex), &ulOffset);
      if (lResult == 0) {
        EXPECT_EQ(ulOffset, pulOffsets[s.lIndex]);
      }
      break;
    case Op::Release:
      lResult = table.Release(s.ulArg);
      break;
    case Op::Free:
      lResult = table.Free(s.ulArg);
      break;
    case Op::ReleaseAt:
      lResult = table.ReleaseByAddress(s.ulArg);
      break;
    case Op::FreeAt:
      lResult = table.FreeByAddress(s.ulArg);
      break;
  }
  EXPECT_EQ(lResult, s.lResult);
  uint32_t ulFree = 99;
  EXPECT_EQ(table.CountFree(&ulFree), 0);
  EXPECT_EQ(ulFree, s.ulFreeAfter);
}

TEST(BufSlotTable, RunsOnACoarseTable) {
  const SequenceCase cases[] = {
      {"a run never wraps past the last slot",
       {{Op::Allocate, 2, 0, 0, 1}, {Op::Allocate, 2, -1, -1, 1}, {Op::Allocate, 1, 0, 2, 0}}},
      {"every search starts at slot 0",
       {{Op::Allocate, 2, 0, 0, 1}, {Op::Allocate, 1, 0, 2, 0}, {Op::Free, 0, 0, 0, 2}, {Op::Allocate, 1, 0, 0, 1}}},
      {"n = 0 marks nothing", {{Op::Allocate, 0, -1, -1, 3}, {Op::AllocateAt, 0, -2, 0, 3}}},
      {"a run longer than the table", {{Op::Allocate, 4, -1, -1, 3}}},
      {"a full table", {{Op::Allocate, 3, 0, 0, 0}, {Op::Allocate, 1, -1, -1, 0}}},
      {"release of a released run changes nothing",
       {{Op::Allocate, 2, 0, 0, 1}, {Op::Release, 0, 0, 0, 1}, {Op::Release, 0, -2, 0, 1}, {Op::Free, 0, 0, 0, 3}}},
      {"release of a free slot", {{Op::Release, 1, -2, 0, 3}}},
      {"indexes beyond the count",
       {{Op::Release, 3, -1, 0, 3}, {Op::Free, 3, -1, 0, 3}, {Op::AllocateAt, 1, -1, 3, 3}}},
      {"by address",
       {{Op::Allocate, 1, 0, 0, 2},
        {Op::Allocate, 1, 0, 1, 1},
        {Op::ReleaseAt, 0x1A00000u, 0, 0, 1},
        {Op::ReleaseAt, 0x1A00001u, -1, 0, 1},
        {Op::FreeAt, 0x1A00000u, 0, 0, 2},
        {Op::FreeAt, 0x1A00001u, -1, 0, 2}}},
      {"a cancelled run is freed while in use", {{Op::Allocate, 3, 0, 0, 0}, {Op::Free, 0, 0, 0, 3}}},
      {"allocate at an index", {{Op::Allocate, 1, 0, 0, 2}, {Op::AllocateAt, 2, -1, 0, 2}, {Op::AllocateAt, 2, 0, 1, 0}}},
      // An earlier run of 2 at slot 1 leaves no length behind when slot 1
      // becomes the inside of a later run: freeing it frees only itself,
      // never slot 2 of another job.
      {"a later run owns its inside slots",
       {{Op::Allocate, 1, 0, 0, 2},
        {Op::Allocate, 2, 0, 1, 0},
        {Op::Free, 1, 0, 0, 2},
        {Op::Free, 0, 0, 0, 3},
        {Op::Allocate, 2, 0, 0, 1},
        {Op::Allocate, 1, 0, 2, 0},
        {Op::Free, 1, 0, 0, 1},
        {Op::Release, 2, 0, 0, 1}}},
  };
  for (const SequenceCase& c : cases) {
    SCOPED_TRACE(c.name);
    CBufSlotTable table(3, kCoarse, 0);
    for (size_t i = 0; i < c.steps.size(); ++i) {
      SCOPED_TRACE(i);
      Apply(table, c.steps[i], kCoarse);
    }
  }
}

// A released slot keeps its buffer type; a freed one is all zero.
TEST(BufSlotTable, StatusWordsKeepTheTypeUntilFreed) {
  CBufSlotTable table(3, kCoarse, 0);
  int32_t lIndex = 0;
  uint32_t ulOffset = 0;
  ASSERT_EQ(table.Allocate(BUF_TYPE_UPDATE, 1, 1, 2, &lIndex, &ulOffset), 0);
  ASSERT_EQ(table.Allocate(BUF_TYPE_PRINT, 1, 1, 2, &lIndex, &ulOffset), 0);
  ASSERT_EQ(table.Release(1), 0);
  BufSlotStatus ausStates[3] = {};
  table.GetStates(ausStates);
  EXPECT_EQ(ausStates[0], 0x301);
  EXPECT_EQ(ausStates[1], 0x102);
  EXPECT_EQ(ausStates[2], 0x000);
}

TEST(BufSlotTable, TestAllInBothModes) {
  enum Fill { FRESH, ONE_FREE_REST_RELEASED, ALL_IN_USE, ALL_RELEASED, MIXED };
  struct Case {
    const char* name;
    Fill fill;
    uint32_t ulFull;         // mode 0
    uint32_t ulAllReleased;  // mode 1
  };
  const Case cases[] = {
      {"fresh", FRESH, 0, 0},
      {"one free, the rest released", ONE_FREE_REST_RELEASED, 0, 0},
      {"all in use", ALL_IN_USE, 1, 0},
      {"all released", ALL_RELEASED, 1, 1},
      {"in use and released", MIXED, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CBufSlotTable table(3, kCoarse, 0);
    int32_t lIndex = 0;
    uint32_t ulOffset = 0;
    const uint32_t ulRuns = c.fill == FRESH ? 0 : c.fill == ONE_FREE_REST_RELEASED ? 2 : 3;
    for (uint32_t i = 0; i < ulRuns; ++i) ASSERT_EQ(table.Allocate(BUF_TYPE_PRINT, 1, 0, 0, &lIndex, &ulOffset), 0);
    const uint32_t ulReleased = c.fill == ALL_IN_USE ? 0 : c.fill == MIXED ? 1 : ulRuns;
    for (uint32_t i = 0; i < ulReleased; ++i) ASSERT_EQ(table.Release(i), 0);
    for (uint32_t ulMode : {0u, 1u, 7u}) {
      uint32_t ulOut = 99;
      EXPECT_EQ(table.TestAll(&ulOut, ulMode), 0);
      EXPECT_EQ(ulOut, ulMode == 0 ? c.ulFull : c.ulAllReleased) << "mode " << ulMode;
    }
  }
}

// ---- the mirror -----------------------------------------------------------------------------

class BufSlotMirror : public ::testing::Test {
 protected:
  void SetUp() override {
    usb_comm_get_buffer_status_block(&m_pBlock);
    std::memset(m_pBlock->aucEntries, 0xAA, sizeof(m_pBlock->aucEntries));
  }
  const uint8_t* Entry(uint32_t i) const { return m_pBlock->aucEntries[i]; }
  void ExpectEntry(uint32_t i, uint8_t ucInUse, uint8_t ucTag1, uint8_t ucTag2) const {
    SCOPED_TRACE(i);
    EXPECT_EQ(Entry(i)[0], ucInUse);
    EXPECT_EQ(Entry(i)[1], ucTag1);
    EXPECT_EQ(Entry(i)[2], ucTag2);
    EXPECT_EQ(Entry(i)[3], 0xAA) << "the fourth byte is not the table's";
  }
  BufferStatusBlock* m_pBlock = nullptr;
};

TEST_F(BufSlotMirror, ACoarseTableReportsTheRestFree) {
  CBufSlotTable table(3, kCoarse, 1);
  for (uint32_t i = 0; i < BUFFER_STATUS_ENTRIES; ++i) ExpectEntry(i, 0, 0, 0);
  int32_t lIndex = 0;
  uint32_t ulOffset = 0;
  ASSERT_EQ(table.Allocate(BUF_TYPE_PRINT, 2, 0x1234, 0x5678, &lIndex, &ulOffset), 0);
  ExpectEntry(0, 1, 0x34, 0x78);
  ExpectEntry(1, 1, 0x34, 0x78);
  for (uint32_t i = 2; i < BUFFER_STATUS_ENTRIES; ++i) ExpectEntry(i, 0, 0, 0);
  // A release is seen with the next change; a released slot reads in use.
  ASSERT_EQ(table.Release(0), 0);
  ASSERT_EQ(table.Allocate(BUF_TYPE_PRINT, 1, 9, 8, &lIndex, &ulOffset), 0);
  ExpectEntry(0, 1, 0x34, 0x78);
  ExpectEntry(2, 1, 9, 8);
  ASSERT_EQ(table.FreeByAddress(0x1A00001u), -1);
  ASSERT_EQ(table.Free(0), 0);
  ExpectEntry(0, 0, 0, 0);
  ExpectEntry(1, 0, 0, 0);
  ExpectEntry(2, 1, 9, 8);
}

TEST_F(BufSlotMirror, AnUnmirroredTableLeavesTheBlockAlone) {
  CBufSlotTable table(3, kCoarse, 0);
  int32_t lIndex = 0;
  uint32_t ulOffset = 0;
  ASSERT_EQ(table.Allocate(BUF_TYPE_PRINT, 1, 1, 1, &lIndex, &ulOffset), 0);
  ASSERT_EQ(table.Free(0), 0);
  for (uint32_t i = 0; i < BUFFER_STATUS_ENTRIES; ++i) EXPECT_EQ(Entry(i)[0], 0xAA);
}

// ---- the machine's tables ------------------------------------------------------------------

TEST(BufSlotTables, PrintModeZeroPoolsAreNamedBeforeAnyBuild) {
  EXPECT_EQ(g_pCurBufSlots[BUF_POOL_COLOUR], &g_BufSlots3A);
  EXPECT_EQ(g_pCurBufSlots[BUF_POOL_ONE_BIT], &g_BufSlots3B);
}

TEST(BufSlotTables, OffsetsOfTheFourTables) {
  ConstructBufSlotTables();
  struct Case {
    const char* name;
    const CBufSlotTable& table;
    uint32_t ulCount;
    uint32_t ulIndex;
    uint32_t ulOffset;
  };
  const Case cases[] = {
      {"3A first", g_BufSlots3A, 3, 0, 0x0000000u},
      {"3A last", g_BufSlots3A, 3, 2, 0x3400000u},
      {"3B second", g_BufSlots3B, 3, 1, 0x4F20000u},
      {"3B last", g_BufSlots3B, 3, 2, 0x5040000u},
      {"18A second", g_BufSlots18A, 18, 1, 0x455000u},
      {"18A last", g_BufSlots18A, 18, 17, 0x49A5000u},
      {"18B first", g_BufSlots18B, 18, 0, 0x4E00000u},
      {"18B last", g_BufSlots18B, 18, 17, 0x5130000u},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.table.Count(), c.ulCount);
    uint32_t ulOffset = 0;
    EXPECT_EQ(c.table.GetAddress(c.ulIndex, &ulOffset), 0);
    EXPECT_EQ(ulOffset, c.ulOffset);
    EXPECT_EQ(c.table.GetAddress(c.ulCount, &ulOffset), -1);
  }
}

}  // namespace
