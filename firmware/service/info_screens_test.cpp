// The information screens built from stored bytes: the head-information
// menu from a head unit's EEPROM, and the firmware-part texts from the
// flash images and the FPGA's version register.
#include <cstdio>
#include <cstring>
#include <string>

#include "firmware/devices/eeprom.h"
#include "firmware/devices/eeprom_cells.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/main_image_writer.h"
#include "firmware/platform/fpga_regs.h"
#include "firmware/printengine/dsp_link.h"
#include "firmware/printengine/table_store.h"
#include "firmware/service/firmware_info_screens.h"
#include "firmware/service/head_info_screens.h"
#include "firmware/service/service_screen_rig.h"
#include "sim/memory/nor_flash.h"

namespace servicescreens {
namespace {

void LoadFlash(PhysAddr ulAddress, const void* pData, uint32_t ulBytes) {
  sim::Board::Current().FindDevice<sim::NorFlash>()->LoadImage(ulAddress - sim::NorFlash::kBase, pData, ulBytes);
}

class InfoScreens : public ServiceScreenTest {};

TEST_F(InfoScreens, TheHeadInformationScreensShowTheHeadUnitsOwnBytesAndCopies) {
  InApp([] {
    CHeadEeprom& head = g_HeadEepromR;
    const char kModel[] = "KPT-108MZ";
    const char kSerial[] = "A1234567B";
    for (uint8_t i = 0; i < 9; ++i) {
      head.WriteByte(i, static_cast<uint8_t>(kModel[i]));
      head.WriteByte(static_cast<uint8_t>(10 + i), static_cast<uint8_t>(kSerial[i]));
    }
    head.WriteByte(20, 0xEB);  // 6123, low byte first
    head.WriteByte(21, 0x17);
    // The head copies differ from the settings' values afterwards: the
    // screens show the copies.
    g_ParamDensityYmcR.SetValue(123);
    g_ParamDensityYmcR.SetValueNoSave(50);
    g_ParamDensityLmR.SetValue(201);
    g_ParamDensityLmMinorR.SetValue(7);
    g_ParamDensityLmR.SetValueNoSave(3);
    g_ParamDensitySpR.SetValue(9);
    g_ParamHeadRev2.SetValue('1');
    g_ParamHeadRev1.SetValue('A');
    g_ParamHeadRevInt2.SetValue('0');
    g_ParamHeadRevInt1.SetValue('3');
    const uint8_t ucYear = '2', ucMonth = '4';
    g_HeadCellR80.Write(&ucYear);
    g_HeadCellR81.Write(&ucMonth);
  }, Ms(5000));
  struct Case {
    uint32_t ulItem;
    const char* shown;
  };
  const Case cases[] = {
      {1, "Model  KPT-108MZ"},  {2, "Serial A1234567B"},  {3, "Resistance  6123"},
      {4, "DensityYMC   123"},  {6, "DensityLm  201.7"},  {9, "DensitySP      9"},
      {10, "Revision      1A"}, {11, "Rev.(Int)     03"}, {12, "Mfg.Date      24"},
  };
  Launch([] { RunHeadInfoMenu(g_HeadEepromR); });
  ASSERT_TRUE(RunUntilShown("Model Number    "));
  uint32_t ulAt = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shown);
    for (; ulAt < c.ulItem; ++ulAt) Tap(PanelKey::Menu);
    TapExpect(PanelKey::Enter, c.shown);
    Tap(PanelKey::Enter);  // any key returns to the item
  }
  Tap(PanelKey::Clear);
  ASSERT_TRUE(RunToDone(Ms(1000)));
}

// Versions of two and three parts in the DSP block and the TABLE header.
TEST_F(InfoScreens, TheFirmwarePartTextsComeFromTheImagesAndTheFpga) {
  struct Case {
    const char* what;
    const char* dspRevision;  // two bytes
    uint8_t ucTableRevision;
    const char* dspVersion;
    const char* tableVersion;
  };
  const Case cases[] = {
      {"two parts", "00", 0, "DAV:       12.34", "PTV:       0A.1B"},
      {"three parts", "05", 3, "DAV:    12.34.05", "PTV:    0A.1B.03"},
      // After a three-part version nothing of it stays behind.
      {"revision bytes erased", "\xFF\xFF", 0, "DAV:       12.34", "PTV:       0A.1B"},
      {"revision bytes zero", "\0\0", 0, "DAV:       12.34", "PTV:       0A.1B"},
  };
  // The main block: name at 2, version texts at 26 and 28, date at 32.
  uint8_t aucMain[FIRMWARE_INFO_BYTES] = {};
  std::memcpy(aucMain + 2, "MAINPROG", 8);
  std::memcpy(aucMain + 26, "0107", 4);
  std::memcpy(aucMain + 32, "2026/12/01", 10);
  uint8_t aucBoot[FIRMWARE_INFO_BYTES] = {};
  std::memcpy(aucBoot + 2, "BOOTPROG", 8);
  std::memcpy(aucBoot + 26, "0203", 4);
  std::memcpy(aucBoot + 32, "2025/01/31", 10);
  LoadFlash(FLASH_MAIN_AREA, aucMain, sizeof aucMain);
  LoadFlash(FLASH_BOOT_AREA, aucBoot, sizeof aucBoot);
  uint8_t aucDsp[48] = {};
  std::memcpy(aucDsp, "DSPPROG1", 8);
  std::memcpy(aucDsp + 32, "1234", 4);
  std::memcpy(aucDsp + 38, "2026/11/30", 10);
  const uint8_t aucTableName[] = {'T', 'A', 'B', 'L', 'E', '0', '0', '9'};
  const char kTableDate[] = "2024/02/29";
  LoadFlash(TABLE_FLASH + 2, aucTableName, 8);
  LoadFlash(TABLE_FLASH + 32, kTableDate, 10);
  const uint8_t ucMajor = 0x0A, ucMinor = 0x1B;
  LoadFlash(TABLE_FLASH + 26, &ucMajor, 1);
  LoadFlash(TABLE_FLASH + 28, &ucMinor, 1);
  static uint16_t s_usFpga;
  InApp([] { g_FpgaMain.ReadRaw(FPGA_VERSION, &s_usFpga); });
  char acFpga[17] = {};
  std::snprintf(acFpga, sizeof acFpga, "FPGA   Ver.%02X.%02X", s_usFpga >> 8, s_usFpga & 0xFFu);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::memcpy(aucDsp + 36, c.dspRevision, 2);
    LoadFlash(DSP_INFO_FLASH, aucDsp, sizeof aucDsp);
    LoadFlash(TABLE_FLASH + 30, &c.ucTableRevision, 1);
    InApp([] { ShowFirmwareParts(); });
    EXPECT_STREQ(g_szFwMainName, "MAPN:   MAINPROG");
    EXPECT_STREQ(g_szFwMainVersion, "MAV:       01.07");
    EXPECT_STREQ(g_szFwMainDate, "MAD:  2026/12/01");
    EXPECT_STREQ(g_szFwBootName, "MBPN:   BOOTPROG");
    EXPECT_STREQ(g_szFwBootVersion, "MBV:       02.03");
    EXPECT_STREQ(g_szFwBootDate, "MBD:  2025/01/31");
    EXPECT_STREQ(g_szFwDspName, "DAPN:   DSPPROG1");
    EXPECT_STREQ(g_szFwDspVersion, c.dspVersion);
    EXPECT_STREQ(g_szFwDspDate, "DAD:  2026/11/30");
    EXPECT_STREQ(g_szFwTableName, "PTPN:   TABLE009");
    EXPECT_STREQ(g_szFwTableVersion, c.tableVersion);
    EXPECT_STREQ(g_szFwTableDate, "PTD:  2024/02/29");
    EXPECT_STREQ(g_szFwFpgaVersion, acFpga);
  }
}

}  // namespace
}  // namespace servicescreens
