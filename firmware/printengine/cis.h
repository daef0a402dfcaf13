// The contact image sensor (CIS): a line of 1228 pixels across the paper
// path, captured by the FPGA into three line buffers and corrected per pixel
// by its gain table. Line capture with a trimmed mean, the gradient filter,
// the paper and image edge searches, the head point extrapolated from two
// paper-edge readings, the LED and offset tunings on blank paper, the
// maintenance dumps; the calibration image (flash 0x607F0000, its own 8 KB
// sector: four gain blocks, the serial number it was made for, and a packed
// backup of 114 main-EEPROM cells in block 0), the calibration dialog and
// the start-up that loads the gains.
#pragma once

#include <cstdint>

#include "firmware/hal/hw.h"
#include "firmware/platform/global_build.h"

class CParameter;

constexpr PhysAddr CIS_CALIB_FLASH = 0x607F0000u;
// The image without and with the 8-byte serial number at its end.
constexpr uint32_t CIS_CALIB_IMAGE_BYTES = 4920;
constexpr uint32_t CIS_CALIB_SERIAL_BYTES = 8;
constexpr PhysAddr CIS_CALIB_SERIAL_FLASH = 0x607F1338u;

// Registers.
constexpr PhysAddr CIS_REG_LED = 0x64040000u;
constexpr PhysAddr CIS_REG_OFFSET = 0x64040002u;
constexpr PhysAddr CIS_REG_CONTROL = 0x64040004u;
constexpr PhysAddr CIS_GAIN_TABLE = 0x64044000u;
constexpr uint16_t CIS_CONTROL_ENABLE = 0x0002;

constexpr uint32_t CIS_PIXELS = 1228;
constexpr uint32_t CIS_WORDS = CIS_PIXELS / 2;
constexpr uint32_t CIS_RAW_LINES = 100;
constexpr uint32_t CIS_CAPTURE_SAMPLES = 8;
constexpr uint32_t CIS_CALIB_CAPTURES = 3;
constexpr uint32_t CIS_SETTINGS = 4;
constexpr uint32_t CIS_BACKUP_ITEMS = 114;

class CCis {
 public:
  constexpr CCis() = default;
  // Setting index 0.
  explicit CCis(GlobalBuild);

  // ---- registers ----
  void SetEnable();
  void ClearEnable();
  // Enable, the LED level of the selected setting, 100 ms.
  void LedOn();
  void LedOff();
  void LedLevelDown(uint32_t ulStep);
  void LedLevelUp(uint32_t ulStep);

  // ---- capture ----
  // The last complete line: 0, or -1 when the status names no buffer.
  int32_t ReadLineBuffer(uint8_t* pucLine);
  // ulCount line reads, then per pixel the mean of the middle four of the
  // first eight samples.
  void CaptureCisLine(uint8_t* pucLine, uint32_t ulCount);
  // Sorts the first 8 entries ascending and gives the mean of entries 2-5.
  static uint8_t TrimMean8(uint8_t* pucSamples);
  // The gradient of the line's 13-pixel trimmed means (pixels 26-312;
  // |d| below 1.0 and every other pixel 0.0).
  static void FilterLine(const uint8_t* pucLine, double* pdOut);

  // ---- edge searches ----
  // The paper edge (gradient, pixels 20-149): 0 or -1 (edge 0).
  int32_t DetectPaperEdge(uint32_t* pulEdge);
  // Paper and image edge (gradient, pixels 20-319): 0, -1 (no paper edge),
  // -2 (no image edge) or -3 (neither); an edge not found is 0.
  int32_t DetectPaperImageEdge(uint32_t* pulPaperEdge, uint32_t* pulImageEdge);
  // Threshold searches on the captured line: 0 or -1.
  int32_t DetectPaperEdgeBySlice(uint32_t* pulEdge);
  int32_t FindEdgesBySlice(uint32_t* pulPaperEdge, uint32_t* pulImageEdge);

  // ---- head point ----
  // From the paper edge e1 at the first reading and e2 at the second,
  // lDistance lines of travel later: 0, or -1 (nothing stored).
  int32_t CalcHeadPointPaperEdge(uint32_t ulSide, uint32_t ulEdge1, uint32_t ulEdge2, int32_t lDistance);
  int32_t GetHeadPointPaperEdge(uint32_t ulSide, uint32_t* pulHeadPoint) const;
  int32_t CheckCisSideOffset(uint32_t ulUnit, uint32_t ulHeadPoint);
  void SetCisOffsetL(int32_t lA, int32_t lB);
  void SetCisOffsetR(int32_t lA, int32_t lB);
  double GetSkew(uint32_t ulSide) const { return m_adSkew[ulSide % 2]; }

  // ---- tunings on blank paper: 0 or -1. Mode 0 is the service screen's,
  // 2 the self-diagnosis's, any other the silent one of the paper load.
  int32_t TuneCisOffset(uint32_t ulMode);
  int32_t TuneCisLed(uint32_t ulMode);

  // ---- maintenance ----
  void CheckDump();
  void DumpEdgeArea();
  void SetSettingIndex(uint32_t ulIndex);
  void GetSettingIndex(uint32_t* pulIndex) const { *pulIndex = m_ulSettingIndex; }

  // ---- calibration image ----
  // Start-up: LED level and offset, copy and check of the calibration
  // image. 0 when the calibration data are usable, else -1.
  int32_t InitCis();
  // Loads the gains of the current setting into the FPGA's gain table. 0.
  int32_t SetCalibData();
  // The service dialog: three captures on the calibration target, then the
  // gains of the selected setting into flash. 0 or the flash result.
  int32_t CisCalibrationDialog();
  // Writes the calibration image of ulSize bytes from the start of the
  // download buffer into its flash sector: 0, -1 flash failure, -2 a bad
  // image (flash untouched): a size other than 4920 or 4928, or blocks
  // whose sum with their checksums does not fold to 0xFFFF (the serial
  // number after them is not summed).
  int32_t WriteCalibImage(uint32_t ulSize);
  // Unpacks the flash image's backup into its EEPROM cells: 0, or -1.
  int32_t RestoreEepromBackup();
  void SetBlockChecksum();
  int32_t ReadBackupCells();
  int32_t WriteBackupCells();

  // The gain byte of an averaged reading on the calibration target:
  // 16384 / a truncated for a from 65 to 255, 1 for a from 0 to 64.
  static uint8_t GainFor(uint8_t ucReading);

  // The captured line of the last search.
  const uint8_t* CapturedLine() const { return m_aucLine; }

 private:
  friend int32_t PackEepromBackup();
  friend int32_t CisData_Update8bitData();

  uint32_t SelectedLedLevel() const;
  int32_t TuneFailed(const char* pszLog, uint32_t ulValue, uint32_t ulMode);
  void ClearGainTable();
  // Captures with the LED on and off around it.
  void CaptureLit();
  void LogLine(const uint8_t* pucValues, uint32_t ulFirst, uint32_t ulLast);

  uint8_t m_aaucRaw[CIS_RAW_LINES][CIS_PIXELS]{};
  uint8_t m_aaucSamples[CIS_PIXELS][CIS_RAW_LINES]{};
  uint8_t m_aaucCalib[CIS_CALIB_CAPTURES][CIS_PIXELS]{};
  uint8_t m_aucLine[CIS_PIXELS]{};
  double m_adFiltered[CIS_PIXELS]{};
  double m_adSkew[2]{};
  uint32_t m_aulHeadPoint[2]{};
  uint32_t m_aulUnit[2]{};
  uint8_t m_aucImage[CIS_CALIB_IMAGE_BYTES]{};
  uint8_t* m_pucImage = nullptr;
  uint16_t m_ausBackup[CIS_BACKUP_ITEMS]{};
  uint32_t m_ulSettingIndex = 0;
  CParameter* m_apLed[CIS_SETTINGS]{};
};

extern CCis g_Cis;

// The calibration serial's RAM copy (8 characters and a terminator).
extern char g_szCisCalibSerial[CIS_CALIB_SERIAL_BYTES + 1];

// Reads the 114 backup cells into the items (a failing read is ignored:
// its item and the ones after it keep their values), packs them into block
// 0, refreshes the current block's checksum and writes the image with the
// EEPROM's serial number: CisData_Update8bitData's result.
int32_t PackEepromBackup();
// Erases the image's sector, programs and verifies the 4920-byte RAM image,
// then the main EEPROM's calibration serial at offset 4920: 0 or -1.
int32_t CisData_Update8bitData();

// The packed backup in bytes 20-149 of a calibration image: the low 8 bits
// of 114 items as one bit stream, item 0 first, least significant bit
// first; 7 bits to a byte plus 0x50. Item 113 travels with 6 bits only.
constexpr uint32_t CIS_BACKUP_FIRST_BYTE = 20, CIS_BACKUP_LAST_BYTE = 149;
void CisPackBackup(const uint16_t* pusItems, uint8_t* pucImage);
void CisUnpackBackup(const uint8_t* pucImage, uint16_t* pusItems);
