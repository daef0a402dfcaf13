// The error history: a blank flash, entries saved and loaded back, the
// sector switch after the last slot, a history disabled at start-up, a
// sector built by the image tools, and the maintenance screen.
#include "firmware/control/control_test_rig.h"
#include "firmware/control/error_history.h"
#include "firmware/control/error_table.h"
#include "firmware/devices/eeprom_cells.h"
#include "firmware/devices/life_counters.h"
#include "firmware/platform/ioctl.h"
#include "sim/memory/board_eeproms.h"
#include "sim/memory/nor_flash.h"
#include "tools/images/error_history.h"

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

uint32_t IndexOfCode(uint32_t ulCode) {
  for (uint32_t i = 0; i < ERROR_TABLE_ROWS; ++i) {
    if (g_ErrorTable[i].ulCode == ulCode) return g_ErrorTable[i].ulIndex;
  }
  return ERROR_TABLE_ROWS;
}

void ExpectEmptyTable() {
  EXPECT_EQ(g_ErrorHistTable.ucCount, ERROR_HIST_RECORDS);
  EXPECT_EQ(g_ErrorHistTable.ucHead, 0u);
  for (const ErrorHistRecord& r : g_ErrorHistTable.aRecords) {
    EXPECT_EQ(r.ucCodeMajor | r.ucCodeMinor, 0);
    EXPECT_EQ(r.ulTotalCount, 0u);
  }
}

// No valid history named and no EEPROM to say so: the history is off for
// this run, and the errors raised say so.
TEST_F(ControlTest, AnInvalidSlotCellThatCannotBeRewrittenDisablesTheHistory) {
  InApp([] {
    ASSERT_EQ(g_ErrorHist.Add(0x0201), 0);
    const uint8_t ucInvalid = errhist::kLastSlot + 1;
    g_Cell122.Write(&ucInvalid);
    MainEeprom().SetAbsent(true);
    EXPECT_EQ(g_ErrorHist.Load(), 0);
    MainEeprom().SetAbsent(false);
    EXPECT_EQ(g_usErrorHistEnable, 0u);
    ExpectEmptyTable();
    EXPECT_EQ(g_ErrorHist.Add(0x0202), -1);
    EXPECT_EQ(g_ErrorMng.SetError(IndexOfCode(0x0108)), -2) << "a history row raised";
    ExpectEmptyTable();
    EXPECT_EQ(FlashByte(errhist::kSectorBase[0]), 0x01) << "nothing erased";
  }, Ms(5000));
  EXPECT_TRUE(m_machine->Logged("[ErrorHist] No External EEPROM ..."));
  EXPECT_TRUE(m_machine->Logged("[ErrorHist] ErrHist Disable "));
}

// A sector as the image tools write it for a printer's flash.
TEST_F(ControlTest, ASectorBuiltByTheImageToolsReadsBack) {
  InApp([] {
    const std::vector<uint8_t> sector =
        images::BuildErrorHistorySector({{0x0408, 0x00012345}, {0x0101, 7}}, 5, 9);
    sim::Board::Current().FindDevice<sim::NorFlash>()->LoadImage(
        errhist::kSectorBase[1] - sim::NorFlash::kBase, sector.data(), static_cast<uint32_t>(sector.size()));
    const uint8_t aucCells[2] = {5, 1};
    g_Cell122.Write(&aucCells[0]);
    g_Cell123.Write(&aucCells[1]);
    EXPECT_EQ(g_ErrorHist.Load(), 0);
    EXPECT_EQ(g_ErrorHistTable.ucCount, 2u);
    EXPECT_EQ(g_ErrorHistTable.ucHead, 9u);
    const ErrorHistRecord& newest = g_ErrorHistTable.aRecords[0];
    EXPECT_EQ(newest.ucCodeMajor, 0x04);
    EXPECT_EQ(newest.ucCodeMinor, 0x08);
    EXPECT_EQ(newest.ulTotalCount, 0x00012345u);
    EXPECT_EQ(g_ErrorHistTable.aRecords[1].ucCodeMinor, 0x01);
    EXPECT_EQ(g_ErrorHistTable.aRecords[1].ulTotalCount, 7u);
    for (uint32_t i = 2; i < ERROR_HIST_RECORDS; ++i) EXPECT_EQ(g_ErrorHistTable.aRecords[i].ucCodeMajor, 0) << i;
    // The next entry goes to the following slot of the same sector.
    g_ErrorHist.Add(0x0201);
    EXPECT_EQ(CellValue(g_Cell122), 6u);
    EXPECT_EQ(FlashByte(errhist::SlotAddress(1, 6) + errhist::kSlotsOffset), 0x02);
  }, Ms(5000));
}

class ErrorHistoryScreen : public ControlTest {
 protected:
  // The key, then the screen it leads to. The key is reported on its
  // release: a screen that stays the same is looked at after it.
  void Press(PanelKey key, const char* pszExpected) {
    Keys().Tap(key, Ms(200), Ms(60));
    m_machine->RunFor(Ms(260));
    m_machine->RunUntil([&] { return Lcd().Visible() == pszExpected; }, Ms(2000));
    EXPECT_EQ(Lcd().Visible(), pszExpected) << "after key " << static_cast<uint32_t>(key);
  }
};

TEST_F(ErrorHistoryScreen, KeysBrowseTheEntriesByCodeAndCountAndResetTheHistory) {
  InApp([] {
    g_ErrorHist.PushRecord(0x02, 0x01, 70000);
    g_ErrorHist.PushRecord(0x01, 0x1E, 5);
  });
  bool bLeft = false;
  hostiftest::g_app.jobs.push_back([&bLeft] {
    g_ErrorHist.BrowseScreen();
    bLeft = true;
  });
  m_machine->RunUntil([&] { return Lcd().Visible() == "0:Serial No. Err"; }, Ms(2000));
  EXPECT_EQ(Lcd().Visible(), "0:Serial No. Err") << "14 characters, no suffix when it is blank";
  const struct {
    PanelKey key;
    const char* pszScreen;
  } kSteps[] = {
      {PanelKey::Inc, "1:Mecha Error 01"},  {PanelKey::Menu, "1:Count:   70000"},
      {PanelKey::Inc, "1:Count:   70000"},  // the count view does not move
      {PanelKey::Menu, "1:Mecha Error 01"}, {PanelKey::Dec, "0:Serial No. Err"},
      {PanelKey::Dec, "9:No History    "},  {PanelKey::Inc, "0:Serial No. Err"},
      {PanelKey::Enter, "Reset ?         "}, {PanelKey::Feed, "0:Serial No. Err"},  // kept
      {PanelKey::Enter, "Reset ?         "}, {PanelKey::Enter, "0:No History    "},
      {PanelKey::Inc, "1:No History    "},
  };
  for (const auto& step : kSteps) Press(step.key, step.pszScreen);
  EXPECT_FALSE(bLeft);
  Keys().Tap(PanelKey::Clear, Ms(200), Ms(60));
  m_machine->RunUntil([&] { return bLeft; }, Ms(2000));
  EXPECT_TRUE(bLeft);
}

}  // namespace
}  // namespace controltest
