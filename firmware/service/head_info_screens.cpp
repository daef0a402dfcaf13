// The head-information menu (read from the chosen head unit's EEPROM), the
// loads of densities and counters from the head units, and the serial-number
// and date screens of the printer.
#include "firmware/service/head_info_screens.h"

#include <cstring>

#include "firmware/control/keys.h"
#include "firmware/control/lcd.h"
#include "firmware/control/menu.h"
#include "firmware/devices/eeprom.h"
#include "firmware/devices/eeprom_cells.h"
#include "firmware/devices/life_counters.h"
#include "firmware/devices/parameter.h"
#include "firmware/devices/serial_number.h"
#include "firmware/devices/settings.h"
#include "firmware/printengine/cis.h"
#include "firmware/service/density_settings.h"
#include "firmware/service/screen_text.h"

CHeadEeprom* g_pMenuHeadEeprom = &g_HeadEepromL;

namespace {

constexpr uint32_t kResultMs = 3000;

// Blanks the line, then writes the label's characters from column 0.
void ShowLabel(const char* pszLabel) {
  BlankLine();
  g_Lcd.WriteText(pszLabel, 0, static_cast<uint32_t>(std::strlen(pszLabel)));
}

// Two characters at columns 14-15.
void WriteCharsAtEnd(int32_t lFirst, int32_t lSecond) {
  const char acText[3] = {static_cast<char>(lFirst), static_cast<char>(lSecond), 0};
  g_Lcd.WriteText(acText, 14, 2);
}

uint32_t MenuHeadUnit() { return g_pMenuHeadEeprom == &g_HeadEepromL ? 0 : 1; }

uint8_t ReadHeadByte(uint8_t ucAddress) {
  uint8_t ucValue = 0;
  g_pMenuHeadEeprom->ReadByte(ucAddress, &ucValue);
  return ucValue;
}

int32_t HeadCopy(const CParameter& param, uint32_t ulHeadIndex) {
  int32_t lValue = 0;
  param.ReadHeadCell(ulHeadIndex, &lValue);
  return lValue;
}

// What one item of the head-information menu shows.
enum class HeadScreen : uint8_t { Text, Resistance, Density, Revision, MfgDate };
struct HeadInfoItem {
  HeadScreen kind;
  const char* pszLabel;      // Text, Resistance, Revision, MfgDate
  uint8_t ucArg;             // Text: first byte; Density: density item
  const CParameter* pFirst;  // Revision: the settings of columns 14 and 15
  const CParameter* pSecond;
};

const HeadInfoItem kHeadInfoItems[] = {
    {HeadScreen::Text, "Model  ", 0, nullptr, nullptr},
    {HeadScreen::Text, "Serial ", 10, nullptr, nullptr},
    {HeadScreen::Resistance, "Resistance ", 0, nullptr, nullptr},
    {HeadScreen::Density, nullptr, 0, nullptr, nullptr},
    {HeadScreen::Density, nullptr, 1, nullptr, nullptr},
    {HeadScreen::Density, nullptr, 2, nullptr, nullptr},
    {HeadScreen::Density, nullptr, 3, nullptr, nullptr},
    {HeadScreen::Density, nullptr, 4, nullptr, nullptr},
    {HeadScreen::Density, nullptr, 5, nullptr, nullptr},
    {HeadScreen::Revision, "Revision", 0, &g_ParamHeadRev2, &g_ParamHeadRev1},
    {HeadScreen::Revision, "Rev.(Int)", 0, &g_ParamHeadRevInt2, &g_ParamHeadRevInt1},
    {HeadScreen::MfgDate, "Mfg.Date", 0, nullptr, nullptr},
};
constexpr uint32_t kHeadInfoItemCount = sizeof(kHeadInfoItems) / sizeof(kHeadInfoItems[0]);
// The model and serial-number texts of the head EEPROM.
constexpr uint32_t kHeadTextBytes = 9;
constexpr uint8_t kResistanceByte = 20;

const CHeadEepromCell* const kMfgDateCells[2][2] = {{&g_HeadCellL80, &g_HeadCellL81},
                                                    {&g_HeadCellR80, &g_HeadCellR81}};

void ShowHeadDensity(uint32_t ulItem, uint32_t ulUnit) {
  const DensityItem& item = g_DensityItems[ulItem];
  const CParameter& major = *item.apMajor[ulUnit];
  ShowLabel(major.GetLabel());
  if (item.apMinor[ulUnit] == nullptr) {
    WriteNumberAt(HeadCopy(major, 0), 13, 3);
  } else {
    WriteDecimalPairAt(HeadCopy(major, 0), HeadCopy(*item.apMinor[ulUnit], 0), 11);
  }
}

void ShowHeadInfo(const HeadInfoItem& item) {
  const uint32_t ulUnit = MenuHeadUnit();
  switch (item.kind) {
    case HeadScreen::Text: {
      char acText[kHeadTextBytes + 1] = {};
      for (uint32_t i = 0; i < kHeadTextBytes; ++i) acText[i] = static_cast<char>(ReadHeadByte(item.ucArg + i));
      ShowLabel(item.pszLabel);
      g_Lcd.WriteText(acText, 7, kHeadTextBytes);
      break;
    }
    case HeadScreen::Resistance:
      ShowLabel(item.pszLabel);
      WriteNumberAt(ReadHeadByte(kResistanceByte) + 256 * ReadHeadByte(kResistanceByte + 1), 11, 5);
      break;
    case HeadScreen::Density: ShowHeadDensity(item.ucArg, ulUnit); break;
    case HeadScreen::Revision:
      ShowLabel(item.pszLabel);
      WriteCharsAtEnd(HeadCopy(*item.pFirst, ulUnit), HeadCopy(*item.pSecond, ulUnit));
      break;
    case HeadScreen::MfgDate: {
      uint8_t aucDate[2] = {};
      kMfgDateCells[ulUnit][0]->Read(&aucDate[0]);
      kMfgDateCells[ulUnit][1]->Read(&aucDate[1]);
      ShowLabel(item.pszLabel);
      WriteCharsAtEnd(aucDate[0], aucDate[1]);
      break;
    }
  }
  WaitAnyKey();
}

void RunHeadInfoItem() {
  const uint32_t ulItem = GetMenuSelection();
  if (ulItem >= 1 && ulItem <= kHeadInfoItemCount) ShowHeadInfo(kHeadInfoItems[ulItem - 1]);
}

const char* const kHeadInfoLabels[] = {nullptr,
                                       "Model Number    ",
                                       "Serial Number   ",
                                       "Resistance      ",
                                       "Density     :YMC",
                                       "Density Low :YMC",
                                       "Density   :Lami ",
                                       "Density   :Matte",
                                       "Density  :Matte2",
                                       "Density      :SP",
                                       "Revision        ",
                                       "Revision(int)   ",
                                       "Mfg.Date        ",
                                       nullptr};
const MenuHandler kHeadInfoHandlers[] = {SelectFirstMenuItem, RunHeadInfoItem, RunHeadInfoItem, RunHeadInfoItem,
                                         RunHeadInfoItem,     RunHeadInfoItem, RunHeadInfoItem, RunHeadInfoItem,
                                         RunHeadInfoItem,     RunHeadInfoItem, RunHeadInfoItem, RunHeadInfoItem,
                                         RunHeadInfoItem};
const MenuDesc kHeadInfoMenu = {kHeadInfoLabels, kHeadInfoHandlers};

// "Load ?" and Enter runs the load; the outcome stays for 3000 ms.
void LoadScreen(void (*pfnLoad)()) {
  if (AskEnter("Load ?          ")) {
    pfnLoad();
    ShowLineFor("Complete        ", kResultMs);
  } else {
    ShowLineFor("Canceled        ", kResultMs);
  }
}

void LoadDensities() {
  for (const DensityItem& item : g_DensityItems) {
    for (uint32_t ulUnit = 0; ulUnit < 2; ++ulUnit) {
      item.apMajor[ulUnit]->CopyHeadCellToMain();
      if (item.apMinor[ulUnit] != nullptr) item.apMinor[ulUnit]->CopyHeadCellToMain();
    }
  }
}

void LoadHeadCounters() {
  CLifeCounter* const apCounters[] = {&g_CounterHeadLengthL, &g_CounterHeadPrintsL, &g_CounterHeadLengthR,
                                      &g_CounterHeadPrintsR};
  for (CLifeCounter* pCounter : apCounters) pCounter->RestoreFromHeadCell();
}

}  // namespace

void RunHeadInfoMenu(CHeadEeprom& eeprom) {
  g_pMenuHeadEeprom = &eeprom;
  RunMenu(&kHeadInfoMenu, 0);
}

void LoadDensityScreen() { LoadScreen(LoadDensities); }

void LoadCounterScreen() { LoadScreen(LoadHeadCounters); }

void SerialNumberScreen() {
  BlankLine();
  g_Lcd.WriteText(g_szSerialNo, 8, 8);
  WaitAnyKey();
}

void CisCalibSerialScreen() {
  BlankLine();
  g_Lcd.WriteText(g_szCisCalibSerial, 8, CIS_CALIB_SERIAL_BYTES);
  WaitAnyKey();
}

void MfgDateScreen() {
  ShowLabel("Mfg.Date");
  g_Lcd.WriteText(g_szSerialNo + 1, 14, 2);
  WaitAnyKey();
}
