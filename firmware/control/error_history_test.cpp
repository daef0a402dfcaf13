// The error history: a blank flash, entries saved and loaded back, the
// sector switch after the last slot.
#include "firmware/control/control_test_rig.h"
#include "firmware/control/error_history.h"
#include "firmware/devices/eeprom_cells.h"
#include "firmware/devices/life_counters.h"
#include "firmware/platform/ioctl.h"
#include "sim/memory/board_eeproms.h"

namespace controltest {
namespace {

uint8_t CellValue(const CEepromCell& cell) {
  uint8_t ucValue = 0xEE;
  cell.Read(&ucValue);
  return ucValue;
}

sim::MicrowireEeprom& MainEeprom() { return sim::Board::Current().FindDevice<sim::BoardEeproms>()->Main(); }

uint8_t FlashByte(PhysAddr ulAddress) {
  uint8_t ucValue = 0;
  IoctlRead8(ulAddress, &ucValue);
  return ucValue;
}

TEST_F(ControlTest, ErrorHistoryKeepsTheNewestTenAndReadsThemBackFromFlash) {
  InApp([] {
    EXPECT_EQ(g_ErrorHistTable.ucCount, 10u) << "a blank flash";
    for (const ErrorHistRecord& r : g_ErrorHistTable.aRecords) EXPECT_EQ(r.ucCodeMajor | r.ucCodeMinor, 0);
    for (uint32_t i = 0; i < 11; ++i) {
      g_CounterTotal.Write(65530 + i);
      EXPECT_EQ(g_ErrorHist.Add(static_cast<uint16_t>(0x0100 + i)), 0);
    }
    uint32_t ulHead = 0;
    g_ErrorHist.GetHead(&ulHead);
    EXPECT_EQ(ulHead, 9u) << "stepped 9..0, then wrapped to 9";
    EXPECT_EQ(g_ErrorHistTable.aRecords[0].ucCodeMinor, 10u);
    EXPECT_EQ(g_ErrorHistTable.aRecords[9].ucCodeMinor, 1u) << "the first left the table";
    EXPECT_EQ(CellValue(g_Cell122), 11u);
    const ErrorHistTable saved = g_ErrorHistTable;
    g_ErrorHistTable = ErrorHistTable{};
    EXPECT_EQ(g_ErrorHist.Load(), 0);
    for (uint32_t i = 0; i < ERROR_HIST_RECORDS; ++i) {
      EXPECT_EQ(g_ErrorHistTable.aRecords[i].ucCodeMinor, saved.aRecords[i].ucCodeMinor) << i;
      EXPECT_EQ(g_ErrorHistTable.aRecords[i].ulTotalCount, saved.aRecords[i].ulTotalCount) << i;
    }
    EXPECT_EQ(g_ErrorHistTable.aRecords[0].ulTotalCount, 65540u) << "above 65535";
  });
}

TEST_F(ControlTest, AfterTheLastSlotTheHistoryMovesToTheOtherSectorAndErasesTheOldOneLast) {
  InApp([] {
    const uint8_t ucLast = errhist::kLastSlot - 1;
    g_Cell122.Write(&ucLast);
    g_ErrorHist.Load();
    g_ErrorHist.Add(0x0201);
    EXPECT_EQ(CellValue(g_Cell122), errhist::kLastSlot);
    EXPECT_EQ(FlashByte(errhist::kSectorBase[0]), 0x01) << "the first sector in use";
    g_ErrorHist.Add(0x0202);
    EXPECT_EQ(CellValue(g_Cell122), 0u);
    EXPECT_EQ(CellValue(g_Cell123), 1u);
    EXPECT_EQ(FlashByte(errhist::kSectorBase[0]), 0xFF) << "the sector left is erased";
    EXPECT_EQ(FlashByte(errhist::kSectorBase[1]), 0x01);
    g_ErrorHistTable = ErrorHistTable{};
    g_ErrorHist.Load();
    EXPECT_EQ(g_ErrorHistTable.aRecords[0].ucCodeMinor, 0x02);
    EXPECT_EQ(g_ErrorHistTable.aRecords[1].ucCodeMinor, 0x01);
  }, Ms(5000));
}

// At a sector switch the cells must move before the sector just left is
// erased: when the cell write fails (an EEPROM that does not answer), the
// slot the cells named must still hold the history.
TEST_F(ControlTest, ACellWriteFailingAtASectorSwitchKeepsTheOldSlot) {
  InApp([] {
    const uint8_t ucSlot = errhist::kLastSlot - 1;
    g_Cell122.Write(&ucSlot);
    g_ErrorHist.Load();
    ASSERT_EQ(g_ErrorHist.Add(0x0201), 0);
    ASSERT_EQ(CellValue(g_Cell122), errhist::kLastSlot);
    MainEeprom().SetAbsent(true);
    EXPECT_EQ(g_ErrorHist.Save(), -1);
    MainEeprom().SetAbsent(false);
    const PhysAddr ulOld = errhist::SlotAddress(0, errhist::kLastSlot);
    EXPECT_EQ(FlashByte(errhist::kSectorBase[0]), 0x01) << "the old sector kept";
    EXPECT_EQ(FlashByte(ulOld + errhist::kSlotsOffset), 0x02);
    EXPECT_EQ(FlashByte(ulOld + errhist::kSlotsOffset + 1), 0x01);
    // Cells naming the old slot again read it back.
    const uint8_t aucCells[2] = {errhist::kLastSlot, 0};
    g_Cell122.Write(&aucCells[0]);
    g_Cell123.Write(&aucCells[1]);
    g_ErrorHistTable = ErrorHistTable{};
    EXPECT_EQ(g_ErrorHist.Load(), 0);
    EXPECT_EQ(g_ErrorHistTable.aRecords[0].ucCodeMajor, 0x02);
    EXPECT_EQ(g_ErrorHistTable.aRecords[0].ucCodeMinor, 0x01);
  }, Ms(5000));
}

TEST_F(ControlTest, AClearRequestedDuringAnAddIsServedAtItsEnd) {
  InApp([] {
    g_ErrorHist.Add(0x0201);
    g_ErrorHist.RequestClear();
    g_ErrorHist.Add(0x0202);
    uint32_t ulRequested = 1;
    g_ErrorHist.IsClearRequested(&ulRequested);
    EXPECT_EQ(ulRequested, 0u);
    for (const ErrorHistRecord& r : g_ErrorHistTable.aRecords) EXPECT_EQ(r.ucCodeMajor | r.ucCodeMinor, 0);
    EXPECT_EQ(FlashByte(errhist::kSectorBase[0]), 0xFF);
  }, Ms(5000));  // two sector erases
}

}  // namespace
}  // namespace controltest
