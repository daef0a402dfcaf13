// The firmware-part pages: the main program's and the boot area's
// information blocks, the DSP program's block in flash, the TABLE image's
// header and the FPGA's version register, written into the page texts.
#include "firmware/service/firmware_info_screens.h"

#include <cstring>

#include "firmware/control/menu.h"
#include "firmware/devices/main_image_writer.h"
#include "firmware/platform/fpga_regs.h"
#include "firmware/platform/ioctl.h"
#include "firmware/platform/number_text.h"
#include "firmware/printengine/dsp_link.h"
#include "firmware/printengine/table_store.h"

char g_szFwMainName[17], g_szFwMainVersion[17], g_szFwMainDate[17];
char g_szFwBootName[17], g_szFwBootVersion[17], g_szFwBootDate[17];
char g_szFwDspName[17], g_szFwDspVersion[17], g_szFwDspDate[17];
char g_szFwTableName[17], g_szFwTableVersion[17], g_szFwTableDate[17];
char g_szFwFpgaVersion[17];

namespace {

// Each text starts from its frame, so no part of an earlier, longer
// version stays behind.
struct PartText {
  char* pszText;
  const char* pszFrame;
};
const PartText kPartTexts[] = {
    {g_szFwMainName, "MAPN:           "},  {g_szFwMainVersion, "MAV:         .  "},
    {g_szFwMainDate, "MAD:            "},  {g_szFwBootName, "MBPN:           "},
    {g_szFwBootVersion, "MBV:         .  "}, {g_szFwBootDate, "MBD:            "},
    {g_szFwDspName, "DAPN:           "},   {g_szFwDspVersion, "DAV:         .  "},
    {g_szFwDspDate, "DAD:            "},   {g_szFwTableName, "PTPN:           "},
    {g_szFwTableVersion, "PTV:         .  "}, {g_szFwTableDate, "PTD:            "},
    {g_szFwFpgaVersion, "FPGA   Ver.  .  "},
};

// Positions of the page texts.
constexpr uint32_t kNameColumn = 8;  // 8 characters
constexpr uint32_t kDateColumn = 6;  // 10 characters
constexpr uint32_t kNameBytes = 8;
constexpr uint32_t kDateBytes = 10;
// FirmwareInfoBlock and TABLE image offsets.
constexpr uint32_t kInfoProgramName = 2;
constexpr uint32_t kInfoCreateDate = 32;
constexpr uint32_t kTableProgramName = 2;
constexpr uint32_t kTableCreateDate = 32;
constexpr uint32_t kTableVersionFields[3] = {26, 28, 30};

// A version of two or three parts: two at 11-12 and 14-15 (a blank at 10),
// or three at 8-9, 11-12 and 14-15 (a point at 10).
void WriteVersion(char* pszText, const char* pcMajor, const char* pcMinor, const char* pcRevision) {
  if (pcRevision == nullptr) {
    pszText[10] = ' ';
    std::memcpy(pszText + 11, pcMajor, 2);
    std::memcpy(pszText + 14, pcMinor, 2);
  } else {
    std::memcpy(pszText + 8, pcMajor, 2);
    pszText[10] = '.';
    std::memcpy(pszText + 11, pcMinor, 2);
    std::memcpy(pszText + 14, pcRevision, 2);
  }
}

void ReadFlashBytes(PhysAddr ulAddress, uint8_t* pucOut, uint32_t ulBytes) {
  for (uint32_t i = 0; i < ulBytes; ++i) {
    pucOut[i] = 0;
    IoctlRead8(ulAddress + i, &pucOut[i]);
  }
}

void FillInfoBlock(uint32_t ulArea, char* pszName, char* pszVersion, char* pszDate) {
  uint8_t aucInfo[FIRMWARE_INFO_BYTES] = {};
  ReadFirmwareInfo(ulArea, aucInfo);
  const char* pcInfo = reinterpret_cast<const char*>(aucInfo);
  std::memcpy(pszName + kNameColumn, pcInfo + kInfoProgramName, kNameBytes);
  std::memcpy(pszDate + kDateColumn, pcInfo + kInfoCreateDate, kDateBytes);
  WriteVersion(pszVersion, pcInfo + FIRMWARE_INFO_VERSION_MAJOR, pcInfo + FIRMWARE_INFO_VERSION_MINOR, nullptr);
}

void FillDsp() {
  uint8_t aucInfo[DSP_INFO_BYTES] = {};
  ReadFlashBytes(DSP_INFO_FLASH, aucInfo, DSP_INFO_BYTES);
  const char* pcInfo = reinterpret_cast<const char*>(aucInfo);
  std::memcpy(g_szFwDspName + kNameColumn, pcInfo + DSP_INFO_PROGRAM_NAME, kNameBytes);
  std::memcpy(g_szFwDspDate + kDateColumn, pcInfo + DSP_INFO_CREATE_DATE, kDateBytes);
  const uint8_t uc0 = aucInfo[DSP_INFO_VERSION_REVISION];
  const uint8_t uc1 = aucInfo[DSP_INFO_VERSION_REVISION + 1];
  const bool bTwoParts = (uc0 == '0' && uc1 == '0') || (uc0 == 0 && uc1 == 0) || (uc0 == 0xFF && uc1 == 0xFF);
  WriteVersion(g_szFwDspVersion, pcInfo + DSP_INFO_VERSION_MAJOR, pcInfo + DSP_INFO_VERSION_MINOR,
               bTwoParts ? nullptr : pcInfo + DSP_INFO_VERSION_REVISION);
}

void FillTable() {
  uint8_t aucName[kNameBytes] = {};
  uint8_t aucDate[kDateBytes] = {};
  ReadFlashBytes(GetTableFlashAddress(kTableProgramName), aucName, kNameBytes);
  ReadFlashBytes(GetTableFlashAddress(kTableCreateDate), aucDate, kDateBytes);
  std::memcpy(g_szFwTableName + kNameColumn, aucName, kNameBytes);
  std::memcpy(g_szFwTableDate + kDateColumn, aucDate, kDateBytes);
  char aacField[3][3] = {};
  for (uint32_t i = 0; i < 3; ++i) FormatHexDigits(aacField[i], ReadTableHeaderField(kTableVersionFields[i]), 2);
  const bool bTwoParts = ReadTableHeaderField(kTableVersionFields[2]) == 0;
  WriteVersion(g_szFwTableVersion, aacField[0], aacField[1], bTwoParts ? nullptr : aacField[2]);
}

void FillFpga() {
  uint16_t usVersion = 0;
  g_FpgaMain.ReadRaw(FPGA_VERSION, &usVersion);
  char acDigits[5] = {};
  FormatHexDigits(acDigits, usVersion, 4);
  std::memcpy(g_szFwFpgaVersion + 11, acDigits, 2);
  std::memcpy(g_szFwFpgaVersion + 14, acDigits + 2, 2);
}

void DoNothing() {}

// The part menu and its four pages of texts (Enter on a text does nothing).
const char* const kMainLabels[] = {nullptr,        g_szFwMainName, g_szFwMainVersion, g_szFwMainDate,
                                   g_szFwBootName, g_szFwBootVersion, g_szFwBootDate, nullptr};
const char* const kDspLabels[] = {nullptr, g_szFwDspName, g_szFwDspVersion, g_szFwDspDate, nullptr};
const char* const kTableLabels[] = {nullptr, g_szFwTableName, g_szFwTableVersion, g_szFwTableDate, nullptr};
const char* const kFpgaLabels[] = {nullptr, g_szFwFpgaVersion, nullptr};
const MenuHandler kTextHandlers[] = {SelectFirstMenuItem, DoNothing, DoNothing, DoNothing, DoNothing, DoNothing,
                                     DoNothing};
const MenuDesc kPartMenus[] = {
    {kMainLabels, kTextHandlers}, {kDspLabels, kTextHandlers}, {kTableLabels, kTextHandlers},
    {kFpgaLabels, kTextHandlers}};

void RunPartItem() {
  const uint32_t ulItem = GetMenuSelection();
  if (ulItem >= 1 && ulItem <= sizeof(kPartMenus) / sizeof(kPartMenus[0])) RunMenu(&kPartMenus[ulItem - 1], 0);
}

const char* const kFirmwareLabels[] = {nullptr,           "MAIN Firmware   ", "DSP Firmware    ",
                                       "TABLE           ", "FPGA            ", nullptr};
const MenuHandler kFirmwareHandlers[] = {SelectFirstMenuItem, RunPartItem, RunPartItem, RunPartItem, RunPartItem};
const MenuDesc kFirmwareMenu = {kFirmwareLabels, kFirmwareHandlers};

}  // namespace

void ShowFirmwareParts() {
  for (const PartText& text : kPartTexts) std::memcpy(text.pszText, text.pszFrame, sizeof g_szFwMainName);
  FillInfoBlock(1, g_szFwMainName, g_szFwMainVersion, g_szFwMainDate);
  FillInfoBlock(0, g_szFwBootName, g_szFwBootVersion, g_szFwBootDate);
  FillDsp();
  FillTable();
  FillFpga();
}

void RunFirmwareInfoMenu() {
  ShowFirmwareParts();
  RunMenu(&kFirmwareMenu, 0);
}
