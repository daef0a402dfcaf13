// The User Mode information pages and their handlers.
#include "firmware/service/user_info_pages.h"

#include <cstring>

#include "firmware/control/app_startup.h"
#include "firmware/control/error_manager.h"
#include "firmware/control/host_status_table.h"
#include "firmware/control/keys.h"
#include "firmware/control/lcd.h"
#include "firmware/devices/life_counters.h"
#include "firmware/devices/main_image_writer.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/hal/kernel.h"
#include "firmware/mechanism/donor_mng_color.h"
#include "firmware/mechanism/donor_mng_mark.h"
#include "firmware/mechanism/ribbon_roll.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/platform/ioctl.h"
#include "firmware/platform/number_text.h"
#include "firmware/platform/time_base.h"
#include "firmware/printengine/dsp_link.h"
#include "firmware/printengine/media_config.h"
#include "firmware/printengine/roll_diameter.h"
#include "firmware/printengine/table_store.h"
#include "firmware/service/menu_records.h"
#include "firmware/service/service_menus.h"
#include "firmware/service/test_prints.h"

// The ribbon size chosen on the "Donor Size" page: 0 8x10, 1 8x12.
uint32_t g_ulDonorSelect;

char g_acInfoPaper[17];
char g_acInfoPrinted[17];
char g_acInfoDonorL[17];
char g_acInfoDonorR[17];
char g_acInfoMainFirm[17];
char g_acInfoDspFirm[17];
char g_acInfoTable[17];

namespace {

constexpr uint32_t kTextBytes = MENU_TEXT_LENGTH + 1;
constexpr uint32_t kTestPrintFailedMs = 3000;
constexpr uint32_t kRibbonStatusStoredMs = 500;
constexpr uint32_t kDonorSizeStoredMs = 200;
// SetMenuAbort's values: the test print closes the pages, the key lock
// every menu.
constexpr uint32_t kAbortPages = 1;
constexpr uint32_t kAbortAll = 3;

// ---- filling the texts ------------------------------------------------------------------

// Each text starts from its stored form, so a shorter version leaves
// nothing of a longer one behind.
struct PageText {
  char* pacText;
  const char* pszStored;
};
const PageText kPageTexts[] = {
    {g_acInfoPaper, "Paper  =        "},      {g_acInfoPrinted, "Printed  =      "},
    {g_acInfoDonorL, "Donor(L)     [%]"},     {g_acInfoDonorR, "Donor(R)     [%]"},
    {g_acInfoMainFirm, "MAIN Firm =  .  "},   {g_acInfoDspFirm, "DSP Firm  =  .  "},
    {g_acInfoTable, "TABLE     =  .  "},
};

// The last n characters of the ten-character FormatDecimal text (blanks
// before the digits) at the text's position.
void PutLastDigits(char* pacText, uint32_t ulPosition, uint32_t ulValue, uint32_t ulDigits) {
  FormatUnsigned(ulValue, 0);
  std::memcpy(pacText + ulPosition, g_pcNumberText + 10 - ulDigits, ulDigits);
}

// Two pairs "aa.bb" at 11-15, or three "=aa.bb.cc" from position 7.
void PutVersion(char* pacText, const char* pcMajor, const char* pcMinor, const char* pcThird) {
  if (pcThird == nullptr) {
    std::memcpy(pacText + 11, pcMajor, 2);
    std::memcpy(pacText + 14, pcMinor, 2);
    return;
  }
  pacText[7] = '=';
  std::memcpy(pacText + 8, pcMajor, 2);
  pacText[10] = '.';
  std::memcpy(pacText + 11, pcMinor, 2);
  pacText[13] = '.';
  std::memcpy(pacText + 14, pcThird, 2);
}

void FillMainFirmware() {
  uint8_t aucInfo[FIRMWARE_INFO_BYTES] = {};
  ReadFirmwareInfo(1, aucInfo);
  PutVersion(g_acInfoMainFirm, reinterpret_cast<const char*>(aucInfo + FIRMWARE_INFO_VERSION_MAJOR),
             reinterpret_cast<const char*>(aucInfo + FIRMWARE_INFO_VERSION_MINOR), nullptr);
}

// "00", both bytes 0 or both 0xFF: the version has no third number.
bool HasThirdNumber(const uint8_t* puc) {
  const bool bNone = (puc[0] == '0' && puc[1] == '0') || (puc[0] == 0 && puc[1] == 0) ||
                     (puc[0] == 0xFFu && puc[1] == 0xFFu);
  return !bNone;
}

void FillDspFirmware() {
  uint8_t aucInfo[DSP_INFO_BYTES] = {};
  for (uint32_t i = 0; i < DSP_INFO_BYTES; ++i) IoctlRead8(DSP_INFO_FLASH + i, &aucInfo[i]);
  const uint8_t* pucThird = aucInfo + DSP_INFO_VERSION_REVISION;
  if (HasThirdNumber(pucThird)) std::memcpy(g_acInfoDspFirm + 4, "   ", 3);
  PutVersion(g_acInfoDspFirm, reinterpret_cast<const char*>(aucInfo + DSP_INFO_VERSION_MAJOR),
             reinterpret_cast<const char*>(aucInfo + DSP_INFO_VERSION_MINOR),
             HasThirdNumber(pucThird) ? reinterpret_cast<const char*>(pucThird) : nullptr);
}

// The TABLE header's version fields: one byte each.
constexpr uint32_t kTableMajor = 26;
constexpr uint32_t kTableMinor = 28;
constexpr uint32_t kTableThird = 30;

void FillTable() {
  char acMajor[3], acMinor[3], acThird[3];
  FormatHexDigits(acMajor, ReadTableHeaderField(kTableMajor), 2);
  FormatHexDigits(acMinor, ReadTableHeaderField(kTableMinor), 2);
  const uint32_t ulThird = ReadTableHeaderField(kTableThird);
  FormatHexDigits(acThird, ulThird, 2);
  PutVersion(g_acInfoTable, acMajor, acMinor, ulThird == 0 || ulThird == 0xFFu ? nullptr : acThird);
}

void FillPaper() {
  uint32_t ulRemain = 0;
  g_RollDiameter.GetRemainPercent(&ulRemain);
  if (g_ucRibbonControlType != 0) {
    PutLastDigits(g_acInfoPaper, 10, ulRemain, 3);
    std::memcpy(g_acInfoPaper + 13, "[%]", 3);
    return;
  }
  // Mark-sensor ribbon control: the prints left of the prints per roll.
  uint32_t ulSize = RIBBON_SIZE_NONE;
  g_MediaConfig.GetMediaSize(&ulSize);
  const CRibbonRoll* pRoll = nullptr;
  if (ulSize == RIBBON_SIZE_8X10) pRoll = &g_RibbonRolls.mark8x10L;
  if (ulSize == RIBBON_SIZE_8X12) pRoll = &g_RibbonRolls.mark8x12L;
  if (pRoll == nullptr) {
    std::memcpy(g_acInfoPaper + 9, "    0/0", 7);
    return;
  }
  PutLastDigits(g_acInfoPaper, 9, ulRemain, 3);
  g_acInfoPaper[12] = '/';
  PutLastDigits(g_acInfoPaper, 13, pRoll->Type().ulPrintsPerRoll, 3);
}

void FillPrinted() {
  uint32_t ulCount = 0;
  g_CounterTotal.GetValue(&ulCount);
  FormatUnsigned(ulCount, 0);
  std::memcpy(g_acInfoPrinted + 10, g_pcNumberText + 4, 6);
}

void FillPageTexts() {
  for (const PageText& t : kPageTexts) std::memcpy(t.pacText, t.pszStored, kTextBytes);
  FillMainFirmware();
  FillDspFirmware();
  FillTable();
  FillPaper();
  PutLastDigits(g_acInfoDonorL, 10, GetRibbonRemainPercent(0), 3);
  PutLastDigits(g_acInfoDonorR, 10, GetRibbonRemainPercent(1), 3);
  FillPrinted();
}

// ---- page handlers ----------------------------------------------------------------------

void TestPrintPage() {
  int32_t lIndex = -1;
  if (g_ErrorMng.LowestActiveError(&lIndex) == 0) {
    g_Lcd.WriteText("TestPrint Failed", 0, CLcd::kVisibleColumns);
    g_MsTimer.WaitMs(kTestPrintFailedMs);
    return;
  }
  PrintDefaultTestPrint();
  SetMenuAbort(kAbortPages);
}

void PreventAccessPage() {
  g_Lcd.WriteText("Prevent OK?     ", 0, CLcd::kVisibleColumns);
  if (WaitAnyKey() != KEY_ENTER) return;
  g_ParamKeyEnable.SetValue(0);
  SetStatusItem(SI_KEY_ENABLE, 0, 0);
  SetMenuAbort(kAbortAll);
}

// The upper units to open and close after the ribbon combination changed
// from [old] to [new] (0 YMC-YMC, 1 YMC-SP, 2 YMC-***, 3 ***-YMC).
constexpr uint8_t kUnitL = 1;
constexpr uint8_t kUnitR = 2;
constexpr uint8_t kRibbonChangeUnits[4][4] = {
    {0, kUnitR, 0, 0},
    {kUnitR, 0, 0, kUnitR},
    {kUnitR, kUnitR, 0, kUnitR},
    {kUnitL, kUnitL | kUnitR, kUnitL, 0},
};

void RaiseUpperUnitErrors(uint32_t ulUnits) {
  if ((ulUnits & kUnitL) != 0) g_ErrorMng.SetError(seqerr::kUpperUnitL);
  if ((ulUnits & kUnitR) != 0) g_ErrorMng.SetError(seqerr::kUpperUnitR);
}

constexpr SwitchEntry kRibbonStatusEntries[] = {
    {"Donor   :YMC-YMC", 0}, {"Donor   :YMC-SP ", 1}, {"Donor   :YMC-***", 2}, {"Donor   :***-YMC", 3}};
constexpr SwitchDesc kRibbonStatusSwitch = MakeSwitch(g_ParamRibbonStatus, kRibbonStatusEntries, 1);

void SelectRibbonStatus() {
  const int32_t i = SelectedEntry(sizeof kRibbonStatusEntries / sizeof kRibbonStatusEntries[0]);
  if (i < 0) return;
  int32_t lOld = 0, lNew = 0;
  g_ParamRibbonStatus.GetValue(&lOld);
  g_ParamRibbonStatus.SetValue(kRibbonStatusEntries[i].lValue);
  g_ParamRibbonStatus.GetValue(&lNew);
  if (lOld != lNew && lOld >= 0 && lOld <= 3 && lNew >= 0 && lNew <= 3) {
    RaiseUpperUnitErrors(kRibbonChangeUnits[lOld][lNew]);
  }
  BlankLineAndWait(kRibbonStatusStoredMs);
}

constexpr MenuText kDonorSizeTexts[] = {"Donor Size :8x10", "Donor Size :8x12"};
constexpr uint32_t kDonorSizes = sizeof kDonorSizeTexts / sizeof kDonorSizeTexts[0];

void PreselectDonorSize() { SetMenuSelection(g_ulDonorSelect < kDonorSizes ? g_ulDonorSelect + 1 : 1); }

// A new size makes unit L's manager and its roll model of that size current
// and asks for both units to be opened and closed; the size already chosen
// changes nothing.
void SelectDonorSize() {
  const int32_t i = SelectedEntry(kDonorSizes);
  if (i < 0) return;
  const uint32_t ulNew = static_cast<uint32_t>(i);
  const bool bChanged = ulNew != g_ulDonorSelect;
  g_ulDonorSelect = ulNew;
  syslog(LOG_EMERG, "[usermenu] g_ulDonorSelect = %d", g_ulDonorSelect);
  if (bChanged) {
    const bool b8x10 = ulNew == 0;
    if (g_ucRibbonControlType != 0) {
      g_pDonorMng = &g_DonorMngColorSenL;
      g_pRibbonRoll = b8x10 ? static_cast<CRibbonRoll*>(&g_RibbonRolls.color8x10K1L) : &g_RibbonRolls.color8x12K1L;
    } else {
      g_pDonorMng = &g_DonorMngMarkSenL;
      g_pRibbonRoll = b8x10 ? static_cast<CRibbonRoll*>(&g_RibbonRolls.mark8x10L) : &g_RibbonRolls.mark8x12L;
    }
    RaiseUpperUnitErrors(kUnitL | kUnitR);
  }
  BlankLineAndWait(kDonorSizeStoredMs);
}

// ---- the pages --------------------------------------------------------------------------

int32_t EditWaitTime() { return EditParameter(&g_ParamWaitTime); }

#define INFO_PAGE(name, text, action)                   \
  constexpr MenuEntry k##name##Entries[] = {{text, action}}; \
  constexpr MenuRecord k##name##Page{k##name##Entries, DispatchItem<k##name##Entries>};

INFO_PAGE(TestPrint, "Test Print Mode ", Run(TestPrintPage))
INFO_PAGE(Paper, WritableText(g_acInfoPaper), DoNothing())
INFO_PAGE(Printed, WritableText(g_acInfoPrinted), DoNothing())
INFO_PAGE(DonorL, WritableText(g_acInfoDonorL), DoNothing())
INFO_PAGE(DonorR, WritableText(g_acInfoDonorR), DoNothing())
INFO_PAGE(MainFirm, WritableText(g_acInfoMainFirm), DoNothing())
INFO_PAGE(DspFirm, WritableText(g_acInfoDspFirm), DoNothing())
INFO_PAGE(Table, WritableText(g_acInfoTable), DoNothing())
INFO_PAGE(PreventAccess, "PreventAccessOCP", Run(PreventAccessPage))
INFO_PAGE(WaitTime, "Wait Time       ", Run(EditWaitTime))
#undef INFO_PAGE

constexpr MenuRecord kDonorModePage{"Donor Mode      ", kRibbonStatusEntries, SelectRibbonStatus,
                                    SwitchTitle<kRibbonStatusSwitch>};
constexpr MenuRecord kDonorSizePage{"Donor Size      ", kDonorSizeTexts, SelectDonorSize, PreselectDonorSize};

#define INFO_PAGES_FIRST \
  &kTestPrintPage, &kPaperPage, &kPrintedPage, &kDonorLPage, &kDonorRPage, &kMainFirmPage, &kDspFirmPage, &kTablePage

constexpr const MenuDesc* kPagesColorSize[] = {INFO_PAGES_FIRST, &kPreventAccessPage, &kDonorModePage,
                                               &kDonorSizePage, &kWaitTimePage, nullptr};
constexpr const MenuDesc* kPagesColor[] = {INFO_PAGES_FIRST, &kPreventAccessPage, &kDonorModePage, &kWaitTimePage,
                                           nullptr};
constexpr const MenuDesc* kPagesMarkSize[] = {INFO_PAGES_FIRST, &kDonorModePage, &kDonorSizePage, nullptr};
constexpr const MenuDesc* kPagesMark[] = {INFO_PAGES_FIRST, &kDonorModePage, nullptr};
#undef INFO_PAGES_FIRST

const MenuDesc* const* ChoosePages() {
  int32_t lEngine = 0;
  g_ParamEngineVersion.GetValue(&lEngine);
  const bool bSize = lEngine == 1;
  if (g_ucRibbonControlType != 0) return bSize ? kPagesColorSize : kPagesColor;
  return bSize ? kPagesMarkSize : kPagesMark;
}

}  // namespace

void ShowInfoScreen() {
  FillPageTexts();
  RunMenuPages(ChoosePages(), 0);
}
