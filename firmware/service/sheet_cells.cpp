#include "firmware/service/sheet_cells.h"

#include "firmware/control/app_startup.h"
#include "firmware/control/error_history.h"
#include "firmware/devices/color_sensor.h"
#include "firmware/devices/eeprom.h"
#include "firmware/devices/life_counter.h"
#include "firmware/devices/main_image_writer.h"
#include "firmware/devices/parameter.h"
#include "firmware/devices/serial_number.h"
#include "firmware/devices/settings.h"
#include "firmware/platform/fpga_regs.h"
#include "firmware/platform/ioctl.h"
#include "firmware/platform/number_text.h"
#include "firmware/printengine/cis.h"
#include "firmware/printengine/dsp_link.h"
#include "firmware/printengine/table_store.h"
#include "firmware/printengine/thv_control.h"
#include "firmware/service/text_render.h"

namespace {

constexpr uint32_t kTextRoom = 24;
constexpr uint32_t kHeadSerialFirst = 10;
constexpr uint32_t kHeadSerialBytes = 9;
constexpr uint8_t kHeadResistanceLow = 20;
constexpr uint8_t kHeadResistanceHigh = 21;

struct CellValue {
  int32_t lValue;
  const char* pszLabel;    // a constant text to draw, else acText
  char acText[kTextRoom];  // the text to draw; empty draws nothing
};

// The values of the block being drawn (application task only).
CellValue s_aValues[SHEET_BLOCK_MAX_CELLS];

// Copies exactly n characters (cut at the room) and terminates them.
void CopyFixed(char* pszOut, const char* pcSource, uint32_t ulCount) {
  const uint32_t n = ulCount < kTextRoom - 1 ? ulCount : kTextRoom - 1;
  for (uint32_t i = 0; i < n; ++i) pszOut[i] = pcSource[i];
  pszOut[n] = '\0';
}

void CopyText(char* pszOut, const char* pszSource) {
  uint32_t i = 0;
  for (; pszSource != nullptr && pszSource[i] != '\0' && i < kTextRoom - 1; ++i) pszOut[i] = pszSource[i];
  pszOut[i] = '\0';
}

void ReadFlashText(char* pszOut, PhysAddr ulAddress, uint32_t ulCount) {
  char ac[kTextRoom] = {};
  const uint32_t n = ulCount < kTextRoom - 1 ? ulCount : kTextRoom - 1;
  for (uint32_t i = 0; i < n; ++i) {
    uint8_t uc = 0;
    IoctlRead8(ulAddress + i, &uc);
    ac[i] = static_cast<char>(uc);
  }
  CopyFixed(pszOut, ac, n);
}

void ReadInfoText(char* pszOut, uint32_t ulArea, uint32_t ulOffset, uint32_t ulCount) {
  uint8_t aucInfo[FIRMWARE_INFO_BYTES] = {};
  ReadFirmwareInfo(ulArea, aucInfo);
  const uint32_t n = ulOffset + ulCount <= FIRMWARE_INFO_BYTES ? ulCount : 0;
  CopyFixed(pszOut, reinterpret_cast<const char*>(aucInfo + (n != 0 ? ulOffset : 0)), n);
}

CHeadEeprom& HeadOf(uint32_t ulUnit) { return ulUnit == 0 ? g_HeadEepromL : g_HeadEepromR; }

uint8_t HeadByte(uint32_t ulUnit, uint8_t ucAddress) {
  uint8_t uc = 0;
  HeadOf(ulUnit).ReadByte(ucAddress, &uc);
  return uc;
}

const ErrorHistRecord& ErrorRecord(uint32_t ulIndex) {
  return g_ErrorHistTable.aRecords[ulIndex < ERROR_HIST_RECORDS ? ulIndex : 0];
}

// The value of a cell; texts go straight into the text.
CellValue ReadCell(const SheetCell& cell, const SheetTarget& target) {
  CellValue v{};
  switch (cell.eSource) {
    case CELL_LABEL:
      v.pszLabel = cell.pszText;
      break;
    case CELL_CONSTANT:
      v.lValue = static_cast<int32_t>(cell.ulArg);
      break;
    case CELL_SETTING:
      static_cast<const CParameter*>(cell.pObject)->GetValue(&v.lValue);
      break;
    case CELL_COUNTER: {
      uint32_t ul = 0;
      static_cast<const CLifeCounter*>(cell.pObject)->GetValue(&ul);
      v.lValue = static_cast<int32_t>(ul);
      break;
    }
    case CELL_THRESHOLD: {
      uint32_t ul = 0;
      static_cast<const CColorSensor*>(cell.pObject)->GetThreshold(&ul);
      v.lValue = static_cast<int32_t>(ul);
      break;
    }
    case CELL_THV_MV:
      v.lValue = static_cast<int32_t>(static_cast<CThvCnt*>(cell.pObject)->ReadThvMilliVolt());
      break;
    case CELL_MAIN_INFO_TEXT:
    case CELL_BOOT_INFO_TEXT:
      ReadInfoText(v.acText, cell.eSource == CELL_MAIN_INFO_TEXT ? 1 : 0, cell.ulArg, cell.ucWidth);
      break;
    case CELL_DSP_TEXT:
      ReadFlashText(v.acText, DSP_INFO_FLASH + cell.ulArg, cell.ucWidth);
      break;
    case CELL_DSP_REVISION: {
      char acRevision[kTextRoom] = {};
      ReadFlashText(acRevision, DSP_INFO_FLASH + DSP_INFO_VERSION_REVISION, 2);
      if (!(acRevision[0] == '0' && acRevision[1] == '0')) {
        v.acText[0] = '.';
        CopyFixed(v.acText + 1, acRevision, 2);
      }
      break;
    }
    case CELL_TABLE_TEXT:
      ReadFlashText(v.acText, GetTableFlashAddress(cell.ulArg), cell.ucWidth);
      break;
    case CELL_TABLE_HEADER:
      v.lValue = static_cast<int32_t>(ReadTableHeaderField(cell.ulArg));
      break;
    case CELL_FPGA_VERSION: {
      uint16_t us = 0;
      g_FpgaMain.ReadRaw(FPGA_VERSION, &us);
      v.lValue = static_cast<int32_t>(static_cast<uint32_t>(us) >> cell.ulArg);
      break;
    }
    case CELL_HEAD_SERIAL: {
      char ac[kHeadSerialBytes] = {};
      for (uint32_t i = 0; i < kHeadSerialBytes; ++i) {
        ac[i] = static_cast<char>(HeadByte(cell.ulArg, static_cast<uint8_t>(kHeadSerialFirst + i)));
      }
      CopyFixed(v.acText, ac, kHeadSerialBytes);
      break;
    }
    case CELL_HEAD_RESISTANCE:
      v.lValue = static_cast<int32_t>(HeadByte(cell.ulArg, kHeadResistanceLow) |
                                      static_cast<uint32_t>(HeadByte(cell.ulArg, kHeadResistanceHigh)) << 8);
      break;
    case CELL_SERIAL_NO: {
      char ac[SERIAL_NO_LENGTH] = {};
      GetSerialNumber(ac);
      CopyFixed(v.acText, ac, SERIAL_NO_LENGTH);
      break;
    }
    case CELL_CIS_SERIAL:
      CopyFixed(v.acText, g_szCisCalibSerial, CIS_CALIB_SERIAL_BYTES);
      break;
    case CELL_ENGINE_TEXT: {
      const int32_t l = SettingValue(g_ParamEngineVersion);
      CopyText(v.acText, l >= 0 && static_cast<uint32_t>(l) < ENGINE_TEXTS ? g_apszEngineTexts[l] : nullptr);
      break;
    }
    case CELL_ERROR_MAJOR:
      v.lValue = ErrorRecord(cell.ulArg).ucCodeMajor;
      break;
    case CELL_ERROR_MINOR:
      v.lValue = ErrorRecord(cell.ulArg).ucCodeMinor;
      break;
    case CELL_ERROR_COUNT:
      v.lValue = static_cast<int32_t>(ErrorRecord(cell.ulArg).ulTotalCount);
      break;
    case CELL_RIBBON_LABEL:
      if ((g_ucRibbonControlType != 0) == (cell.ulArg != 0)) v.pszLabel = cell.pszText;
      break;
    case CELL_SIDE_HEADING: {
      const char* const apszSides[] = {nullptr, "** LEFT TPH **", "** RIGHT TPH **"};
      CopyText(v.acText, target.ulSide < 3 ? apszSides[target.ulSide] : nullptr);
      break;
    }
  }
  return v;
}

void FormatCell(const SheetCell& cell, CellValue* pValue) {
  const uint32_t ulValue = static_cast<uint32_t>(pValue->lValue);
  switch (cell.eFormat) {
    case FMT_TEXT:
      break;
    case FMT_DEC:
      FormatDec(pValue->acText, ulValue, cell.ucWidth);
      break;
    case FMT_HEX:
      FormatHexDigits(pValue->acText, ulValue, cell.ucWidth);
      break;
    case FMT_SIGNED:
      FormatSignedDec(pValue->acText, pValue->lValue, 3);
      break;
    case FMT_BYTE:
      FormatDec(pValue->acText, ulValue & 0xFFu, 3);
      break;
    case FMT_PAD5: {
      char acDigits[12] = {};
      const uint32_t ulDigits = FormatUnsigned(acDigits, ulValue);
      const uint32_t ulPad = ulDigits < 5 ? 5 - ulDigits : 0;
      for (uint32_t i = 0; i < ulPad; ++i) pValue->acText[i] = ' ';
      CopyText(pValue->acText + ulPad, acDigits);
      break;
    }
  }
}

}  // namespace

void DrawSheetBlock(const SheetTarget& target, const SheetBlock& block) {
  const uint32_t ulCount = block.ulCount < SHEET_BLOCK_MAX_CELLS ? block.ulCount : SHEET_BLOCK_MAX_CELLS;
  for (uint32_t i = 0; i < ulCount; ++i) s_aValues[i] = ReadCell(block.pCells[i], target);
  for (uint32_t i = 0; i < ulCount; ++i) {
    const SheetCell& cell = block.pCells[i];
    CellValue& value = s_aValues[i];
    FormatCell(cell, &value);
    const char* pszText = value.pszLabel != nullptr ? value.pszLabel : value.acText;
    if (pszText[0] != '\0') DrawTextCells(target.ulBase, cell.ucColumn, cell.ucRow, pszText, target.usBackground);
  }
}

void DrawSheetBlocks(const SheetTarget& target, const SheetBlock* pBlocks, uint32_t ulCount) {
  for (uint32_t i = 0; i < ulCount; ++i) DrawSheetBlock(target, pBlocks[i]);
}
