// The print log on the virtual board: the keyed fields and where they land
// in the appended records, the refused keys and indexes, the full log, the
// clearing rule and the record numbers the host may ask for.
#include "firmware/devices/print_log.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "firmware/platform/board_test_rig.h"

namespace {

class PrintLog : public boardrig::BoardTest {
 protected:
  // Plants a byte in SDRAM before the machine runs or after it stopped.
  void Plant(PhysAddr addr, uint8_t value) { *Sdram(addr, 1) = value; }
  uint8_t* Sdram(PhysAddr addr, uint32_t bytes) { return TheBoard().GetBus().RamPointer(addr, bytes); }
  std::vector<uint8_t> RecordBytes(uint32_t n) {
    const uint8_t* p = Sdram(PRINT_LOG_AREA + n * PRINT_LOG_RECORD_BYTES, PRINT_LOG_RECORD_BYTES);
    return {p, p + PRINT_LOG_RECORD_BYTES};
  }
  // Runs `body` on the board; the machine definition has built g_PrintLog.
  void RunBody(std::function<void()> body, std::function<void()> beforeRun = nullptr) {
    BootWith(std::move(body));
    if (beforeRun) beforeRun();
    Run();
  }
};

// One field written into a record of its own: what lands where.
struct FieldCase {
  const char* name;
  uint32_t position;  // SelectBlock's argument
  uint32_t key;
  uint32_t value;
  uint32_t offset;  // in the record
  std::vector<uint8_t> bytes;
};

const FieldCase kFieldCases[] = {
    {"a per-pass halfword truncated", 0, 0x60002, 0x12345, 128 + 12, {0x45, 0x23}},
    {"a position above 3 selects sub-record 0", 7, 0x10000, 0xAB, 128, {0xAB}},
    {"the last pass of the last sub-record", 3, 0xD0003, 0x11223344, 416 + 52 + 12, {0x44, 0x33, 0x22, 0x11}},
    {"the sub-record's last field", 1, 0x400000, 0xDEADBEEF, 224 + 84, {0xEF, 0xBE, 0xAD, 0xDE}},
    {"the low byte of a key without passes is no index", 2, 0x20005, 0x0107, 320 + 1, {0x07}},
    {"a record word", 2, 0x300, 0x01020304, 4, {0x04, 0x03, 0x02, 0x01}},
    {"a record halfword truncated", 0, 0x100, 0x1FFFF, 0, {0xFF, 0xFF}},
    {"the record's last field", 3, 0x6FF, 0x1234, 10, {0x34}},
    {"a per-pass byte", 1, 0xA0001, 0x2F, 224 + 28 + 1, {0x2F}},
};
constexpr uint32_t kFieldCaseCount = sizeof(kFieldCases) / sizeof(kFieldCases[0]);

struct FieldResults {
  int32_t alSet[kFieldCaseCount];
  uint32_t aulPendingAfterSet[kFieldCaseCount];
  uint32_t aulPendingAfterAppend[kFieldCaseCount];
  uint32_t ulPendingAtStart;
};
FieldResults g_fields;

TEST_F(PrintLog, EachKeyStoresItsLittleEndianFieldInTheSelectedSubRecordAndNothingElse) {
  RunBody([] {
    g_PrintLog.IsPending(&g_fields.ulPendingAtStart);
    for (uint32_t i = 0; i < kFieldCaseCount; ++i) {
      const FieldCase& c = kFieldCases[i];
      g_PrintLog.SelectBlock(c.position);
      g_fields.alSet[i] = g_PrintLog.SetField(c.key, c.value);
      g_PrintLog.IsPending(&g_fields.aulPendingAfterSet[i]);
      g_PrintLog.Append();
      g_PrintLog.IsPending(&g_fields.aulPendingAfterAppend[i]);
    }
  });
  EXPECT_EQ(g_fields.ulPendingAtStart, 0u);
  for (uint32_t i = 0; i < kFieldCaseCount; ++i) {
    const FieldCase& c = kFieldCases[i];
    SCOPED_TRACE(c.name);
    EXPECT_EQ(g_fields.alSet[i], 0);
    EXPECT_EQ(g_fields.aulPendingAfterSet[i], 1u);
    EXPECT_EQ(g_fields.aulPendingAfterAppend[i], 0u);
    std::vector<uint8_t> expected(PRINT_LOG_RECORD_BYTES, 0);
    std::copy(c.bytes.begin(), c.bytes.end(), expected.begin() + c.offset);
    EXPECT_EQ(RecordBytes(i), expected) << "record " << i;
  }
  EXPECT_EQ(RecordBytes(kFieldCaseCount), std::vector<uint8_t>(PRINT_LOG_RECORD_BYTES, 0));
}

// An unknown key and a pass index beyond the overcoat are refused: no byte of
// the record changes (a fifth pass of 0xD0000 would write the field after
// it, a fifth of 0xE0000 the next sub-record), yet the record is pending.
TEST_F(PrintLog, UnknownKeysAndPassesAbove3ChangeNoFieldButMarkTheRecordPending) {
  static const uint32_t kRefused[] = {0x0, 0x700, 0x800000, 0x300000, 0x60004, 0xD0004, 0xE00FF};
  constexpr uint32_t kCount = sizeof(kRefused) / sizeof(kRefused[0]);
  static int32_t s_alResults[kCount];
  static uint32_t s_aulPending[kCount];
  RunBody([] {
    g_PrintLog.SelectBlock(2);
    for (uint32_t i = 0; i < kCount; ++i) {
      g_PrintLog.Append();
      s_alResults[i] = g_PrintLog.SetField(kRefused[i], 0xFFFFFFFFu);
      g_PrintLog.IsPending(&s_aulPending[i]);
    }
    g_PrintLog.Append();
  });
  for (uint32_t i = 0; i < kCount; ++i) {
    SCOPED_TRACE(kRefused[i]);
    EXPECT_EQ(s_alResults[i], -1);
    EXPECT_EQ(s_aulPending[i], 1u);
    EXPECT_EQ(RecordBytes(i + 1), std::vector<uint8_t>(PRINT_LOG_RECORD_BYTES, 0));
  }
}

TEST_F(PrintLog, TheMachineDefinitionBuildsItOverAClearedArea) {
  static uint32_t s_ulPending = 7;
  RunBody([] {
    g_PrintLog.IsPending(&s_ulPending);
    // The first append goes to record 0.
    g_PrintLog.SetField(0x400, 0x5A);
    g_PrintLog.Append();
  }, [this] {
    // Whatever SDRAM held before the start-up.
    Plant(PRINT_LOG_AREA + 8, 0x11);
    Plant(PRINT_LOG_AREA + 600, 0x22);
    Plant(PRINT_LOG_AREA_END - 1, 0x33);
  });
  EXPECT_EQ(s_ulPending, 0u);
  std::vector<uint8_t> expected(PRINT_LOG_RECORD_BYTES, 0);
  expected[8] = 0x5A;
  EXPECT_EQ(RecordBytes(0), expected);
  EXPECT_EQ(RecordBytes(1), std::vector<uint8_t>(PRINT_LOG_RECORD_BYTES, 0));
  EXPECT_EQ(*Sdram(PRINT_LOG_AREA_END - 1, 1), 0);
}

// Clearing again without an append in between leaves the area alone; after
// an append it empties the log and restarts it at record 0.
TEST_F(PrintLog, ClearingWritesOnlyWhenSomethingWasAppended) {
  static uint8_t s_aucSeen[3];
  static uint32_t s_ulFirstAfterClear;
  RunBody([] {
    uint8_t* pucArea = static_cast<uint8_t*>(PhysToHost(PRINT_LOG_AREA, PRINT_LOG_AREA_BYTES));
    pucArea[1000] = 0x77;
    g_PrintLog.ClearLogArea();
    s_aucSeen[0] = pucArea[1000];
    g_PrintLog.SetField(0x500, 1);
    g_PrintLog.Append();
    g_PrintLog.ClearLogArea();
    s_aucSeen[1] = pucArea[1000];
    s_aucSeen[2] = pucArea[9];
    // The next record goes to the start again.
    g_PrintLog.SetField(0x500, 2);
    g_PrintLog.Append();
    s_ulFirstAfterClear = pucArea[9];
    pucArea[1000] = 0x78;
    g_PrintLog.ClearLogArea();
    g_PrintLog.ClearLogArea();
  });
  EXPECT_EQ(s_aucSeen[0], 0x77) << "nothing appended since the construction's clearing";
  EXPECT_EQ(s_aucSeen[1], 0);
  EXPECT_EQ(s_aucSeen[2], 0);
  EXPECT_EQ(s_ulFirstAfterClear, 2u);
  EXPECT_EQ(*Sdram(PRINT_LOG_AREA + 1000, 1), 0) << "one clearing after the append";
}

// 2048 records fill the log; the 2049th is dropped, but the record is
// emptied all the same: an append after the next clearing stores zeros.
TEST_F(PrintLog, AFullLogDropsTheRecordAndStillEmptiesIt) {
  static uint32_t s_ulPending = 7;
  static uint8_t s_aucRecords[3][PRINT_LOG_RECORD_BYTES];
  static const uint32_t kKept[3] = {0, 1, PRINT_LOG_RECORDS - 1};
  RunBody([] {
    for (uint32_t n = 0; n < PRINT_LOG_RECORDS; ++n) {
      g_PrintLog.SetField(0x300, n + 1);
      g_PrintLog.Append();
    }
    g_PrintLog.SetField(0x300, 0xABCDEF01u);
    g_PrintLog.SetField(0xB0001, 0xFFFFFFFFu);
    g_PrintLog.Append();
    g_PrintLog.IsPending(&s_ulPending);
    for (uint32_t i = 0; i < 3; ++i) {
      std::memcpy(s_aucRecords[i], PhysToHost(PRINT_LOG_AREA + kKept[i] * PRINT_LOG_RECORD_BYTES, PRINT_LOG_RECORD_BYTES),
                  PRINT_LOG_RECORD_BYTES);
    }
    g_PrintLog.ClearLogArea();
    g_PrintLog.Append();
  }, [this] { Plant(PRINT_LOG_AREA_END, 0x99); });
  EXPECT_EQ(s_ulPending, 0u);
  for (uint32_t i = 0; i < 3; ++i) {
    std::vector<uint8_t> expected(PRINT_LOG_RECORD_BYTES, 0);
    for (uint32_t b = 0; b < 4; ++b) expected[4 + b] = static_cast<uint8_t>((kKept[i] + 1) >> (8 * b));
    EXPECT_EQ(std::vector<uint8_t>(s_aucRecords[i], s_aucRecords[i] + PRINT_LOG_RECORD_BYTES), expected) << kKept[i];
  }
  EXPECT_EQ(*Sdram(PRINT_LOG_AREA_END, 1), 0x99) << "nothing written past the area";
  EXPECT_EQ(RecordBytes(0), std::vector<uint8_t>(PRINT_LOG_RECORD_BYTES, 0)) << "the dropped record was emptied";
}

// The host's request carries a 16-bit record number: only 0-2047 name
// records of the log.
TEST_F(PrintLog, RecordAddressesOnlyForRecordsOfTheLog) {
  struct Case {
    uint32_t n;
    int32_t result;
    PhysAddr address;
  };
  static const Case kCases[] = {{0, 0, 0xC7D00000u},    {1, 0, 0xC7D00200u},       {2047, 0, 0xC7DFFE00u},
                                {2048, -1, 0xFEEDF00Du}, {0xFFFF, -1, 0xFEEDF00Du}, {0xFFFFFFFFu, -1, 0xFEEDF00Du}};
  for (const Case& c : kCases) {
    PhysAddr ulAddress = 0xFEEDF00Du;
    EXPECT_EQ(g_PrintLog.GetRecordAddress(c.n, &ulAddress), c.result) << c.n;
    EXPECT_EQ(ulAddress, c.address) << c.n;
  }
}

}  // namespace
