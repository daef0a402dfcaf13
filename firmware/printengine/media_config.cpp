#include "firmware/printengine/media_config.h"

#include "firmware/control/app_startup.h"
#include "firmware/control/error_manager.h"
#include "firmware/devices/settings.h"
#include "firmware/hostif/usb_cmd_blocks.h"

constinit CMediaConfig g_MediaConfig;

namespace {

constexpr uint32_t ERROR_RIBBON_MISMATCH = 0x1605;

}  // namespace

int32_t CMediaConfig::SetRibbonSize(uint32_t ulUnit, uint16_t usSize) {
  m_ausRibbonSize[UnitIndex(ulUnit)] = usSize;
  return 0;
}

int32_t CMediaConfig::SetRibbonKind(uint32_t ulUnit, uint16_t usKind) {
  m_ausRibbonKind[UnitIndex(ulUnit)] = usKind;
  return 0;
}

int32_t CMediaConfig::GetRibbonSize(uint32_t ulUnit, uint32_t* pulValue) const {
  *pulValue = m_ausRibbonSize[UnitIndex(ulUnit)];
  return 0;
}

int32_t CMediaConfig::GetRibbonKind(uint32_t ulUnit, uint32_t* pulValue) const {
  *pulValue = m_ausRibbonKind[UnitIndex(ulUnit)];
  return 0;
}

int32_t CMediaConfig::SetRibbonSizeChecked(uint32_t ulUnit, uint16_t usSize) {
  uint16_t& usStored = m_ausRibbonSize[UnitIndex(ulUnit)];
  usStored = RIBBON_SIZE_NONE;
  if (m_usLoadMode == 0) {
    usStored = usSize;
    return 0;
  }
  if (m_usLoadMode != LOAD_MODE_LOADED) return -2;
  if (usSize != RIBBON_SIZE_8X10 && usSize != RIBBON_SIZE_8X12) return -3;
  usStored = usSize;
  return 0;
}

int32_t CMediaConfig::CheckRibbonMismatch() const {
  if (g_ucRibbonControlType == 0 || SettingValue(g_ParamRibbonStatus) != 0) return 0;
  if (m_ausRibbonSize[0] == m_ausRibbonSize[1] && m_ausRibbonKind[0] == m_ausRibbonKind[1]) return 0;
  g_ErrorMng.SetError(ERROR_RIBBON_MISMATCH);
  return -1;
}

int32_t CMediaConfig::SetLoadMode(uint16_t usMode) {
  m_usLoadMode = usMode;
  return 0;
}

int32_t CMediaConfig::SetLoadModeChecked(uint16_t usMode) {
  m_usLoadMode = 0;
  uint32_t ulSize = 0;
  GetMediaSize(&ulSize);
  if (ulSize > RIBBON_SIZE_8X12) return -2;
  if (ulSize != RIBBON_SIZE_NONE && usMode != LOAD_MODE_LOADED) return -3;
  m_usLoadMode = usMode;
  return 0;
}

int32_t CMediaConfig::GetMediaSize(uint32_t* pulSize) const {
  const uint32_t ulL = m_ausRibbonSize[0];
  const uint32_t ulR = m_ausRibbonSize[1];
  if (ulL == RIBBON_SIZE_8X10) {
    *pulSize = RIBBON_SIZE_8X10;
  } else if (ulL == RIBBON_SIZE_8X12) {
    *pulSize = ulR == RIBBON_SIZE_8X10 ? RIBBON_SIZE_8X10 : RIBBON_SIZE_8X12;
  } else {
    *pulSize = ulR;
  }
  return 0;
}

int32_t CMediaConfig::SelectPrintSizeTable() {
  for (uint32_t i = 0; i < MEDIA_SIZE_LIST; ++i) {
    m_apFullSizes[i] = nullptr;
    m_apSizeList[i] = nullptr;
  }
  if (m_usLoadMode != LOAD_MODE_LOADED) return 0;
  uint32_t ulSize = 0;
  GetMediaSize(&ulSize);
  const MediaSizeRows* pSizes = MediaSizesOf(ulSize);
  if (pSizes == nullptr) return 0;
  g_pPrevPrintSizeTable = g_pPrintSizeTable;
  g_pPrintSizeTable = &g_PrintSizeTable[pSizes->aulRows[0]];
  m_apFullSizes[0] = g_pPrintSizeTable;
  for (uint32_t i = 0; i < pSizes->ulCount; ++i) m_apSizeList[i] = &g_PrintSizeTable[pSizes->aulRows[i]];
  return 0;
}

int32_t CMediaConfig::GetPrintSizeRecord(PrintSizeRecord** ppRecord) const {
  uint32_t ulSize = 0;
  GetMediaSize(&ulSize);
  const MediaSizeRows* pSizes = MediaSizesOf(ulSize);
  if (pSizes == nullptr) return -1;
  const PrintSizeRecord* pWanted = &g_PrintSizeTable[pSizes->aulRows[0]];
  for (PrintSizeRecord* pFull : m_apFullSizes) {
    if (pFull == pWanted) {
      *ppRecord = pFull;
      return 0;
    }
  }
  return -1;
}

int32_t CMediaConfig::FindPrintSize(PrintSizeRecord** ppRecord) const {
  PrintBlock* pBlock = nullptr;
  usb_comm_get_print_block(&pBlock);
  const uint16_t usWidth = pBlock->usImageWidth;
  const uint16_t usLength = pBlock->usImageHeight;
  pBlock->usMediaMaxWidth = usWidth;
  pBlock->usMediaMaxHeight = usLength;
  pBlock->usXOffset = 0;
  pBlock->usYOffset = 0;
  for (PrintSizeRecord* pSize : m_apSizeList) {
    if (pSize == nullptr) break;
    if (pSize->ulPrintWidth == usWidth && pSize->ulPrintLength == usLength) {
      *ppRecord = pSize;
      return 0;
    }
  }
  return -1;
}
