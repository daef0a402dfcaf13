// The CIS calibration image: the start-up's check and load of the gains,
// the calibration dialog, the writer of a received image and the restore
// of the EEPROM backup it carries.
//
// Image (little-endian): block n (n = 0-3) at 1230 n, the 1228 gain bytes
// of setting n and their OnesComplementSum16 at 1230 n + 1228; at 4920 the
// 8-character serial number of the printer it was made for. Bytes 20-149
// of block 0 hold the packed EEPROM backup.
#include "firmware/control/engine_variant.h"
#include "firmware/control/error_manager.h"
#include "firmware/control/keys.h"
#include "firmware/control/lcd.h"
#include "firmware/devices/checksum.h"
#include "firmware/devices/eeprom_cells.h"
#include "firmware/devices/flash_area_writer.h"
#include "firmware/devices/settings.h"
#include "firmware/hal/kernel.h"
#include "firmware/platform/flash.h"
#include "firmware/platform/fpga_regs.h"
#include "firmware/platform/ioctl.h"
#include "firmware/platform/time_base.h"
#include "firmware/printengine/cis.h"

char g_szCisCalibSerial[CIS_CALIB_SERIAL_BYTES + 1];

namespace {

constexpr uint32_t kBlockBytes = CIS_PIXELS + 2;
constexpr uint32_t kShowMs = 500, kKeyPollMs = 1, kLcdColumns = 16;
constexpr double kUnity = 128.0, kMaxGain = 2.0, kFloorGain = 1.0 / 128.0;
constexpr uint8_t kPackedFirst = 0x50, kPackedLast = 0xCF;

uint16_t StoredChecksum(const uint8_t* pucBlock) {
  return static_cast<uint16_t>(pucBlock[CIS_PIXELS] | (pucBlock[CIS_PIXELS + 1] << 8));
}

void Show(const char* pszText) { g_Lcd.WriteText(pszText, 0, kLcdColumns); }

void LogDashes() { syslog(LOG_EMERG, "--------------------------------"); }

// Compares flash with bytes in RAM: 0 equal, -1 not.
int32_t VerifyAgainst(PhysAddr ulFlash, const uint8_t* pucBytes, uint32_t ulLength) {
  for (uint32_t i = 0; i < ulLength; ++i) {
    uint8_t ucValue = 0;
    if (IoctlRead8(ulFlash + i, &ucValue) != 0 || ucValue != pucBytes[i]) return -1;
  }
  return 0;
}

void ReadFlashBytes(PhysAddr ulFlash, uint8_t* pucOut, uint32_t ulLength) {
  for (uint32_t i = 0; i < ulLength; ++i) IoctlRead8(ulFlash + i, &pucOut[i]);
}

// A received calibration file comes without or with its serial number.
bool CalibFileSize(uint32_t ulSize) {
  return ulSize == CIS_CALIB_IMAGE_BYTES || ulSize == CIS_CALIB_IMAGE_BYTES + CIS_CALIB_SERIAL_BYTES;
}

}  // namespace

uint8_t CCis::GainFor(uint8_t ucReading) {
  double dGain = ucReading != 0 ? kUnity / ucReading : kFloorGain;
  if (ucReading == 0 || dGain >= kMaxGain) dGain = kFloorGain;
  return static_cast<uint8_t>(static_cast<uint32_t>(dGain * kUnity));
}

void CCis::SetBlockChecksum() {
  uint8_t* pucBlock = m_aucImage + kBlockBytes * m_ulSettingIndex;
  uint16_t usSum = 0;
  OnesComplementSum16(pucBlock, CIS_PIXELS, &usSum);
  pucBlock[CIS_PIXELS] = static_cast<uint8_t>(usSum);
  pucBlock[CIS_PIXELS + 1] = static_cast<uint8_t>(usSum >> 8);
}

int32_t CCis::InitCis() {
  m_pucImage = m_aucImage;
  m_apLed[0] = &g_ParamCisLedV;
  m_apLed[1] = &g_ParamCisLedVCB;
  m_apLed[2] = &g_ParamCisLedVDA;
  m_apLed[3] = &g_ParamCisLedVDB;
  const int32_t lOffset = SettingValue(g_ParamCisOffsetV);
  syslog(LOG_EMERG, "[CIS] Init CIS LED = %d", SettingValue(g_ParamCisLedV));
  syslog(LOG_EMERG, "[CIS] Init CIS Offset V = %d", lOffset);
  IoctlWrite16(CIS_REG_OFFSET, static_cast<uint16_t>(lOffset));

  ReadFlashBytes(CIS_CALIB_FLASH, m_pucImage, CIS_CALIB_IMAGE_BYTES);
  uint8_t aucFlashSerial[CIS_CALIB_SERIAL_BYTES] = {};
  ReadFlashBytes(CIS_CALIB_SERIAL_FLASH, aucFlashSerial, CIS_CALIB_SERIAL_BYTES);
  uint8_t aucCellSerial[CIS_CALIB_SERIAL_BYTES] = {};
  g_CellCisCalibSerial.Read(aucCellSerial);

  bool bMismatch = false;
  for (uint32_t i = 0; i < CIS_CALIB_SERIAL_BYTES; ++i) bMismatch = bMismatch || aucFlashSerial[i] != aucCellSerial[i];
  const uint8_t* pucSerial = aucFlashSerial;
  if (bMismatch) {
    uint8_t ucBackupMark = 0;
    g_FpgaMain.SelectExternalEeprom(1);
    g_Cell120.Read(&ucBackupMark);
    g_FpgaMain.SelectExternalEeprom(0);
    if (ucBackupMark != 0 && SettingValue(g_ParamCisWrProgress) == 1) {
      if (PackEepromBackup() == 0) {
        bMismatch = false;
        pucSerial = aucCellSerial;
        syslog(LOG_EMERG, "[CIS] CIS CalibData Undo ");
      } else {
        syslog(LOG_EMERG, "[CIS] Error: CIS CalibData Undo Err");
      }
    }
  }
  if (!bMismatch) {
    for (uint32_t i = 0; i < CIS_CALIB_SERIAL_BYTES; ++i) g_szCisCalibSerial[i] = static_cast<char>(pucSerial[i]);
    g_szCisCalibSerial[CIS_CALIB_SERIAL_BYTES] = '\0';
  }
  // Only block 0 is checked, whatever the setting.
  if (!bMismatch && VerifyChecksum16(m_pucImage, CIS_PIXELS, StoredChecksum(m_pucImage)) == 0) return 0;
  syslog(LOG_EMERG, "[CIS] Error: CIS CalibData SumCheck Err");
  g_ErrorMng.SetError(g_ulEngCisErrIndex);
  return -1;
}

int32_t CCis::SetCalibData() {
  syslog(LOG_EMERG, "CisCalibData Set");
  // A short-lived copy of the block; the firmware has no heap.
  uint8_t aucGains[CIS_PIXELS];
  const uint8_t* pucBlock = m_aucImage + kBlockBytes * m_ulSettingIndex;
  for (uint32_t p = 0; p < CIS_PIXELS; ++p) aucGains[p] = pucBlock[p];
  for (uint32_t w = 0; w < CIS_WORDS; ++w) {
    IoctlWrite16(CIS_GAIN_TABLE + 2 * w, static_cast<uint16_t>(aucGains[2 * w] | (aucGains[2 * w + 1] << 8)));
  }
  g_MsTimer.WaitMs(kShowMs);
  return 0;
}

int32_t CCis::CisCalibrationDialog() {
  Show("START:PUSH ENTER");
  ClearGainTable();
  uint32_t ulCaptures = 0;
  while (ulCaptures < CIS_CALIB_CAPTURES) {
    uint32_t ulCode = KEY_NONE;
    if (g_KeyMng.WaitKey(kKeyPollMs, &ulCode) != 1) continue;
    if (ulCode == KEY_CLEAR) return 0;
    if (ulCode != KEY_ENTER) continue;
    LedOn();
    Show("CALIBRATION...  ");
    g_MsTimer.WaitMs(kShowMs);
    CaptureCisLine(m_aaucCalib[ulCaptures], CIS_CAPTURE_SAMPLES);
    ++ulCaptures;
    if (ulCaptures < CIS_CALIB_CAPTURES) {
      Show("NEXT :PUSH ENTER");
    } else {
      Show("CALCULATION...  ");
      g_MsTimer.WaitMs(kShowMs);
      for (uint32_t p = 0; p < CIS_PIXELS; ++p) {
        m_aucLine[p] = static_cast<uint8_t>((m_aaucCalib[0][p] + m_aaucCalib[1][p] + m_aaucCalib[2][p]) / 3);
      }
    }
    LedOff();
  }
  Show("FLASH WRITING...");
  uint8_t* pucBlock = m_aucImage + kBlockBytes * m_ulSettingIndex;
  for (uint32_t p = 0; p < CIS_PIXELS; ++p) pucBlock[p] = GainFor(m_aucLine[p]);
  LogDashes();
  for (uint32_t p = 0; p < CIS_PIXELS; ++p) syslog(LOG_EMERG, "%d", pucBlock[p]);
  LogDashes();
  SetBlockChecksum();
  // The erase clears the serial number too; it is not written back.
  FlashEraseSector(CIS_CALIB_FLASH);
  const int32_t lResult = FlashProgram(CIS_CALIB_FLASH, IoctlPointerWord(m_aucImage), CIS_CALIB_IMAGE_BYTES, 1);
  LedOff();
  syslog(LOG_EMERG, "Caribration End");
  Show("END             ");
  g_MsTimer.WaitMs(kShowMs);
  return lResult;
}

int32_t CCis::WriteCalibImage(uint32_t ulSize) {
  // Only the image's own sector is erased: a longer file would run into
  // the error history's sectors after it.
  if (!CalibFileSize(ulSize)) return -2;
  // The sum covers the four blocks with their checksums, which fold to
  // 0xFFFF; the serial number after them carries no checksum, and summed
  // with them it would fail every image made for a real serial number.
  if (CheckImageSum16(DOWNLOAD_BUFFER, CIS_CALIB_IMAGE_BYTES) != 0) return -2;
  if (FlashEraseSector(CIS_CALIB_FLASH) != 0) return -1;
  if (FlashProgram(CIS_CALIB_FLASH, DOWNLOAD_BUFFER, ulSize, 0) != 0) return -1;
  if (VerifyFlashWrite(CIS_CALIB_FLASH, DOWNLOAD_BUFFER, ulSize) != 0) return -1;
  return 0;
}

int32_t CCis::RestoreEepromBackup() {
  ReadFlashBytes(CIS_CALIB_FLASH, m_aucImage, CIS_CALIB_IMAGE_BYTES);
  // An erased or corrupt sector holds no backup: no cell is written.
  bool bPacked = VerifyChecksum16(m_aucImage, CIS_PIXELS, StoredChecksum(m_aucImage)) == 0;
  for (uint32_t i = CIS_BACKUP_FIRST_BYTE; i <= CIS_BACKUP_LAST_BYTE; ++i) {
    bPacked = bPacked && m_aucImage[i] >= kPackedFirst && m_aucImage[i] <= kPackedLast;
  }
  if (!bPacked) return -1;
  CisUnpackBackup(m_aucImage, m_ausBackup);
  return WriteBackupCells();
}

int32_t CisData_Update8bitData() {
  const uint8_t* pucImage = g_Cis.m_aucImage;
  if (FlashEraseSector(CIS_CALIB_FLASH) != 0) {
    syslog(LOG_EMERG, "[CisData_Update8bitData] Erase Error ");
    return -1;
  }
  if (FlashProgram(CIS_CALIB_FLASH, IoctlPointerWord(pucImage), CIS_CALIB_IMAGE_BYTES, 1) != 0) {
    syslog(LOG_EMERG, "[CisData_Update8bitData] Calibration Data Write Error ");
    return -1;
  }
  if (VerifyAgainst(CIS_CALIB_FLASH, pucImage, CIS_CALIB_IMAGE_BYTES) != 0) {
    syslog(LOG_EMERG, "[CisData_Update8bitData] Calibration Data Verify Error ");
    return -1;
  }
  uint8_t aucSerial[CIS_CALIB_SERIAL_BYTES] = {};
  g_CellCisCalibSerial.Read(aucSerial);
  if (FlashProgram(CIS_CALIB_SERIAL_FLASH, IoctlPointerWord(aucSerial), CIS_CALIB_SERIAL_BYTES, 1) != 0) {
    syslog(LOG_EMERG, "[CisData_Update8bitData] S/N Write Error ");
    return -1;
  }
  if (VerifyAgainst(CIS_CALIB_SERIAL_FLASH, aucSerial, CIS_CALIB_SERIAL_BYTES) != 0) {
    syslog(LOG_EMERG, "[CisData_Update8bitData] Calibration Data Verify Error ");
    return -1;
  }
  return 0;
}
