// The error table and the error manager: the table's order and codes, the
// lookups, raising with history entries, the jam family, and the status
// line with its host items.
#include <cstring>
#include <string>

#include "firmware/control/control_test_rig.h"
#include "firmware/control/error_history.h"
#include "firmware/control/host_status_table.h"
#include "firmware/control/lcd.h"
#include "firmware/control/power_save.h"
#include "firmware/devices/settings.h"
#include "firmware/printengine/media_config.h"
#include "protocol/codes.h"

namespace controltest {
namespace {

std::string LcdLine() {
  char ac[17] = {};
  g_Lcd.ReadText(ac, 0, 16);
  return ac;
}

const ErrorInfo& Row(uint32_t ulIndex) {
  static ErrorInfo s_Row;
  EXPECT_EQ(CErrorMng::FindByIndex(ulIndex, &s_Row), 0) << std::hex << ulIndex;
  return s_Row;
}

TEST(ErrorTable, HoldsItsRowsInOrderThenTheEndRow) {
  uint32_t ulRows = 0;
  while (g_ErrorTable[ulRows].ulIndex != ERROR_TABLE_END) ++ulRows;
  EXPECT_EQ(ulRows, ERROR_TABLE_ROWS);
  const ErrorInfo& end = g_ErrorTable[ERROR_TABLE_ROWS];
  EXPECT_EQ(end.ulCode, ERROR_TABLE_END);
  EXPECT_EQ(end.ulKind, ERROR_TABLE_END);
  EXPECT_EQ(end.ulHistory, ERROR_TABLE_END);
  // Family boundaries at their places in the order.
  struct At {
    uint32_t row;
    uint32_t index;
  };
  for (const At& a : {At{0, 0x0101}, At{2, 0x0108}, At{28, 0x0124}, At{29, 0x0201}, At{58, 0x0301},
                      At{115, 0x0401}, At{123, 0x1501}, At{126, 0x1567}, At{226, 0x15ED}, At{227, 0x0601},
                      At{234, 0x1600}, At{245, 0x1602}, At{246, 0x1708}, At{247, 0x01F1}}) {
    EXPECT_EQ(g_ErrorTable[a.row].ulIndex, a.index) << "row " << a.row;
  }
  for (uint32_t i = 0; i < ERROR_TABLE_ROWS; ++i) {
    EXPECT_EQ(std::strlen(g_ErrorTable[i].pszText), 16u) << i;
    EXPECT_EQ(std::strlen(g_ErrorTable[i].pszSuffix), 2u) << i;
  }
}

struct RowCase {
  uint32_t index;
  uint32_t code;
  uint32_t kind;
  const char* text;
  const char* suffix;
  uint32_t history;
};

TEST(ErrorTable, CodesFollowTheirFamilyWithTheExceptions) {
  for (const RowCase& c : {
           RowCase{0x0101, 0x0101, ERRKIND_ERROR, "Control Error   ", "01", 0},
           RowCase{0x0110, 0x0110, ERRKIND_ERROR, "Control Error   ", "16", 1},
           RowCase{0x011E, 0x011E, ERRKIND_ERROR, "Serial No. Error", "  ", 1},
           RowCase{0x0124, 0x0124, ERRKIND_ERROR, "TPH R SettingErr", "  ", 1},
           RowCase{0x01F1, 0x0800, ERRKIND_ATTENTION, "PPA Comm. Err   ", "00", 1},
           RowCase{0x0227, 0x0227, ERRKIND_ERROR, "Mecha Error     ", "39", 1},
           RowCase{0x033E, 0x033E, ERRKIND_ERROR, "Sensor Error    ", "62", 1},
           RowCase{0x0408, 0x0408, ERRKIND_ERROR, "TempSensErr     ", "08", 1},
           RowCase{0x1504, 0x0504, ERRKIND_ERROR, "Lower Jam       ", "04", 1},
           RowCase{0x15C1, 0x0547, ERRKIND_ERROR, "Paper Jam       ", "71", 1},
           RowCase{0x15D2, 0x05B5, ERRKIND_ERROR, "Upper R Jam     ", "81", 1},
           RowCase{0x15D5, 0x0554, ERRKIND_ERROR, "Lower Jam       ", "84", 1},
           RowCase{0x15ED, 0x055D, ERRKIND_ERROR, "Paper Jam       ", "93", 1},
           RowCase{0x0605, 0x0605, ERRKIND_ATTENTION, "Paper Cover Open", "  ", 0},
           RowCase{0x1609, 0x060D, ERRKIND_ATTENTION, "Paper Rolledback", "  ", 0},
           RowCase{0x1602, 0x0610, ERRKIND_ATTENTION, "Take Out Paper  ", "  ", 0},
           RowCase{0x1708, 0x0700, ERRKIND_ATTENTION, "PPA Error       ", "  ", 0},
       }) {
    const ErrorInfo& r = Row(c.index);
    EXPECT_EQ(r.ulCode, c.code) << std::hex << c.index;
    EXPECT_EQ(r.ulKind, c.kind) << std::hex << c.index;
    EXPECT_STREQ(r.pszText, c.text) << std::hex << c.index;
    EXPECT_STREQ(r.pszSuffix, c.suffix) << std::hex << c.index;
    EXPECT_EQ(r.ulHistory, c.history) << std::hex << c.index;
  }
  // Indexes that have no row.
  for (uint32_t ulIndex : {0x0100u, 0x0103u, 0x0304u, 0x0600u, 0x0608u, 0x15FFu, 0x160Cu, 0x1709u}) {
    ErrorInfo r{1, 1, 1, nullptr, nullptr, 1};
    EXPECT_EQ(CErrorMng::FindByIndex(ulIndex, &r), -1) << std::hex << ulIndex;
    EXPECT_EQ(r.ulIndex, 0u);
    EXPECT_EQ(r.pszText, nullptr);
  }
}

TEST(ErrorTable, UnitRJamsAreUnitLPlus100WithTheSameSuffix) {
  uint32_t ulPairs = 0;
  for (uint32_t i = 0; i < ERROR_TABLE_ROWS; ++i) {
    const ErrorInfo& r = g_ErrorTable[i];
    if (std::strcmp(r.pszText, "Upper R Jam     ") != 0 || r.ulIndex < 0x1564 || r.ulIndex > 0x15A8) continue;
    const ErrorInfo& l = Row(r.ulIndex - 0x64);
    EXPECT_EQ(r.ulCode, l.ulCode + 0x64) << std::hex << r.ulIndex;
    EXPECT_STREQ(r.pszSuffix, l.pszSuffix) << std::hex << r.ulIndex;
    ++ulPairs;
  }
  EXPECT_EQ(ulPairs, 25u);
}

TEST(ErrorTable, CodeLookupsFindTheFirstRowOfASharedCode) {
  for (const auto& [code, index] : {std::pair<uint32_t, uint32_t>{0x060D, 0x1606}, {0x060E, 0x1608},
                                    {0x0800, 0x01F1}, {0x05B5, 0x15D2}}) {
    ErrorInfo r{};
    EXPECT_EQ(CErrorMng::FindByCode(code, &r), 0);
    EXPECT_EQ(r.ulIndex, index) << std::hex << code;
  }
  ErrorInfo r{};
  EXPECT_EQ(CErrorMng::FindByCode(0x0611, &r), -1);
}

// The history's records that hold a code.
uint32_t RecordedEntries() {
  uint32_t ulEntries = 0;
  for (const ErrorHistRecord& r : g_ErrorHistTable.aRecords) ulEntries += (r.ucCodeMajor | r.ucCodeMinor) != 0 ? 1 : 0;
  return ulEntries;
}

TEST_F(ControlTest, RaisingRecordsFlaggedRowsOnceAndRefusesIndexesWithoutARow) {
  InApp([] {
    struct Raise {
      uint32_t index;
      int32_t result;
      bool set;
      uint32_t entries;  // history entries after it
    };
    for (const Raise& c : {Raise{0x0101, 0, true, 0}, Raise{0x0601, 0, true, 0}, Raise{0x1600, 0, true, 0},
                           Raise{0x01F1, 0, true, 1}, Raise{0x01F1, 0, true, 1}, Raise{0x1503, 0, true, 2},
                           Raise{0x0608, -1, false, 2}, Raise{0x15FF, -1, false, 2}, Raise{0xFFFF, 0, false, 2},
                           Raise{0x1FFFF, 0, false, 2}}) {
      EXPECT_EQ(g_ErrorMng.SetError(c.index), c.result) << std::hex << c.index;
      EXPECT_EQ(IsErrorSet(c.index), c.set) << std::hex << c.index;
      EXPECT_EQ(RecordedEntries(), c.entries) << std::hex << c.index;
    }
    EXPECT_EQ(g_ErrorHistTable.aRecords[0].ucCodeMajor, 0x05);  // 0x1503, newest
    EXPECT_EQ(g_ErrorHistTable.aRecords[1].ucCodeMajor, 0x08);  // 0x01F1's code
    int32_t lLowest = 0;
    EXPECT_EQ(g_ErrorMng.LowestActiveError(&lLowest), 0);
    EXPECT_EQ(lLowest, 0x0101);
    // Cleared and raised again: a new entry.
    g_ErrorMng.ClearError(0x01F1);
    g_ErrorMng.SetError(0x01F1);
    EXPECT_EQ(RecordedEntries(), 3u);
    for (uint32_t ulIndex : {0x0101u, 0x0601u, 0x1600u, 0x01F1u, 0x1503u}) g_ErrorMng.ClearError(ulIndex);
    EXPECT_EQ(g_ErrorMng.LowestActiveError(&lLowest), -1);
    EXPECT_EQ(lLowest, -1);
  });
}

TEST_F(ControlTest, OnlyTheFirstJamIsRaisedAndClearingJamsLeavesTheRest) {
  InApp([] {
    EXPECT_EQ(g_ErrorMng.SetErrorUnlessJam(0x0601), -2);
    EXPECT_EQ(g_ErrorMng.SetErrorUnlessJam(0x15FF), -1) << "the family's last number has no row";
    EXPECT_EQ(g_ErrorMng.IsAnyJamSet(), 0);
    EXPECT_EQ(g_ErrorMng.SetErrorUnlessJam(0x1569), 0);
    EXPECT_EQ(g_ErrorMng.SetErrorUnlessJam(0x1501), -1);
    EXPECT_FALSE(IsErrorSet(0x1501));
    EXPECT_EQ(g_ErrorMng.IsAnyJamSet(), 1);
    g_ErrorMng.SetError(0x15ED);
    g_ErrorMng.SetError(0x1600);
    g_ErrorMng.SetError(0x0607);
    EXPECT_EQ(g_ErrorMng.ClearAllJams(), 0);
    EXPECT_EQ(g_ErrorMng.IsAnyJamSet(), 0);
    EXPECT_TRUE(IsErrorSet(0x1600));
    EXPECT_TRUE(IsErrorSet(0x0607));
  });
}

TEST_F(ControlTest, TheLowestRaisedIndexAndTheJamFlagFollowRaisesAndClearsWithinAndAcrossWords) {
  InApp([] {
    struct Step {
      bool raise;
      uint32_t index;
      int32_t lowest;
      int32_t jam;
    };
    // 0x0601 and 0x0607 share a word; 0x15ED lies in the jams' last word.
    for (const Step& s : {Step{true, 0x0607, 0x0607, 0}, Step{true, 0x0601, 0x0601, 0},
                          Step{false, 0x0601, 0x0607, 0}, Step{true, 0x15ED, 0x0607, 1},
                          Step{false, 0x0607, 0x15ED, 1}, Step{true, 0x01F1, 0x01F1, 1},
                          Step{false, 0x01F1, 0x15ED, 1}, Step{false, 0x15ED, -1, 0}}) {
      if (s.raise) {
        g_ErrorMng.SetError(s.index);
      } else {
        g_ErrorMng.ClearError(s.index);
      }
      int32_t lLowest = 0;
      EXPECT_EQ(g_ErrorMng.LowestActiveError(&lLowest), s.lowest < 0 ? -1 : 0) << std::hex << s.index;
      EXPECT_EQ(lLowest, s.lowest) << std::hex << s.index;
      EXPECT_EQ(g_ErrorMng.IsAnyJamSet(), s.jam) << std::hex << s.index;
    }
  });
}

// The ready line by "Ribbon Status" and media size.
struct ReadyLineCase {
  int32_t ribbonStatus;
  uint32_t sizeL;
  uint32_t sizeR;
  const char* line;
};

TEST_F(ControlTest, TheReadyLineShowsTheMediaAndPowerSaveInReadyC) {
  InApp([] {
    for (const ReadyLineCase& c :
         {ReadyLineCase{0, 1, 0, "8x10 YMC-YMC    "}, ReadyLineCase{0, 2, 2, "8x12 YMC-YMC    "},
          ReadyLineCase{1, 2, 1, "8x10 YMC-SP     "}, ReadyLineCase{2, 2, 2, "8x12 YMC-***    "},
          ReadyLineCase{3, 0, 1, "8x10 ***-YMC    "}, ReadyLineCase{3, 0, 2, "8x12 ***-YMC    "},
          ReadyLineCase{1, 0, 0, "Ready           "}, ReadyLineCase{0, 0, 3, "Ready           "}}) {
      g_ParamRibbonStatus.SetValueNoSave(c.ribbonStatus);
      g_MediaConfig.SetRibbonSize(0, c.sizeL);
      g_MediaConfig.SetRibbonSize(1, c.sizeR);
      for (CEventMng* pState : {static_cast<CEventMng*>(&g_EventMngReadyA), static_cast<CEventMng*>(&g_EventMngReadyC)}) {
        g_pCurEventMng = pState;
        g_Lcd.WriteText("----------------", 0, 16);
        EXPECT_EQ(g_ErrorMng.DrawStatusLine(), 0);
        EXPECT_EQ(LcdLine(), c.line) << c.ribbonStatus << " " << c.sizeL << c.sizeR;
        EXPECT_EQ(TakeNotifications(), 1u);
      }
    }
    // Ready C in power save.
    g_PowerSave.Apply(POWER_SAVE_ON);
    g_pCurEventMng = &g_EventMngReadyC;
    g_ErrorMng.DrawStatusLine();
    EXPECT_EQ(LcdLine(), "Power Save      ");
    g_PowerSave.Apply(POWER_SAVE_NORMAL);
  }, Ms(20000));
}

TEST_F(ControlTest, ErrorRowsShowTextAndSuffixAndReadyBKeepsItsLine) {
  InApp([] {
    MakeCurrent(&g_EventMngJam);
    TakeNotifications();
    g_ErrorMng.SetError(0x1569);
    EXPECT_EQ(g_ErrorMng.DrawStatusLine(), 0);
    EXPECT_EQ(LcdLine(), "Upper R Jam   05");
    EXPECT_EQ(GetStatusItem(SI_PRINTER_STATE), protocol::PRINTER_STATE_ERROR);
    EXPECT_EQ(GetStatusItem(SI_ERROR_MAJOR), 0x05u);
    EXPECT_EQ(GetStatusItem(SI_ERROR_MINOR), 0x69u);
    EXPECT_EQ(TakeNotifications(), 1u);
    // Ready B: the line and the state stay, the error items become 0.
    g_pCurEventMng = &g_EventMngReadyB;
    EXPECT_EQ(g_ErrorMng.DrawStatusLine(), 0);
    EXPECT_EQ(LcdLine(), "Upper R Jam   05");
    EXPECT_EQ(GetStatusItem(SI_PRINTER_STATE), protocol::PRINTER_STATE_ERROR);
    EXPECT_EQ(GetStatusItem(SI_ERROR_MAJOR), 0u);
    EXPECT_EQ(GetStatusItem(SI_ERROR_MINOR), 0u);
    EXPECT_EQ(TakeNotifications(), 1u);
    // An error state without a raised row changes nothing.
    g_ErrorMng.ClearError(0x1569);
    g_pCurEventMng = &g_EventMngJam;
    SetStatusItem(SI_ERROR_MAJOR, 9, 0);
    EXPECT_EQ(g_ErrorMng.DrawStatusLine(), -1);
    EXPECT_EQ(GetStatusItem(SI_ERROR_MAJOR), 9u);
    EXPECT_EQ(TakeNotifications(), 0u);
  }, Ms(5000));
}

struct SorterCase {
  uint32_t subCode;
  const char* line;
};

TEST_F(ControlTest, TheSorterRowShowsItsSubCode) {
  InApp([] {
    g_pCurEventMng = &g_EventMngCError;
    g_ErrorMng.SetError(erridx::kPpaError);
    for (const SorterCase& c : {SorterCase{1, "SORTER FULL     "}, SorterCase{2, "SRTR PAPER JAM  "},
                                SorterCase{3, "CAB DOOR OPEN   "}, SorterCase{0x20, "SORTER ERROR  20"},
                                SorterCase{0x22, "SORTER ERROR  22"}, SorterCase{0x24, "SORTER ERROR  24"},
                                SorterCase{0, "PPA Error      0"}, SorterCase{0x25, "PPA Error     37"},
                                SorterCase{4, "PPA Error      4"}}) {
      g_ErrorMng.SetSubCode(c.subCode);
      EXPECT_EQ(g_ErrorMng.DrawStatusLine(), 0);
      EXPECT_EQ(LcdLine(), c.line) << c.subCode;
      EXPECT_EQ(g_ErrorMng.CodeMajor(), 0x07u);
      EXPECT_EQ(g_ErrorMng.CodeMinor(), c.subCode);
      EXPECT_EQ(GetStatusItem(SI_ERROR_MINOR), c.subCode);
      TakeNotifications();
    }
  }, Ms(20000));
}

}  // namespace
}  // namespace controltest
