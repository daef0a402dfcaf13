#include "firmware/devices/parameter.h"

#include <climits>

#include "firmware/control/keys.h"
#include "firmware/control/lcd.h"
#include "firmware/devices/eeprom_cell.h"
#include "firmware/control/menu.h"
#include "firmware/platform/time_base.h"

namespace {
constexpr uint32_t kMaxCellBytes = 4;

// Sign-extends a stored word by the width class.
int32_t Extend(ParamWidth usWidth, uint32_t ulWord) {
  if (usWidth == PARAM_WIDTH_S8 && (ulWord & 0x80u)) ulWord |= 0xFFFFFF00u;
  if (usWidth == PARAM_WIDTH_S16 && (ulWord & 0x8000u)) ulWord |= 0xFFFF0000u;
  return static_cast<int32_t>(ulWord);
}
}  // namespace

ParamWidth CParameter::ClassifyWidth(int32_t lMin, int32_t lMax) {
  if (lMax < 128 && lMin >= -128) return PARAM_WIDTH_S8;
  if (lMax < 256 && lMin >= 0) return PARAM_WIDTH_U8;
  if (lMax < 32768 && lMin >= -32768) return PARAM_WIDTH_S16;
  if (lMax < 65536 && lMin >= 0) return PARAM_WIDTH_U16;
  return PARAM_WIDTH_32;
}

CParameter::CParameter(const char* pszLabel, int32_t lMin, int32_t lMax, const CEepromCell* pMainCell,
                       const CHeadEepromCell* pHeadCellA, const CHeadEepromCell* pHeadCellB, int32_t lDefault)
    : m_pszLabel(pszLabel),
      m_lValue(0),
      m_lMin(lMin),
      m_lMax(lMax),
      m_pMainCell(pMainCell),
      m_pHeadCellA(pHeadCellA),
      m_pHeadCellB(pHeadCellB),
      m_usWidth(ClassifyWidth(lMin, lMax)),
      m_lDefault(lDefault) {
  if (m_pMainCell != nullptr) {
    LoadMain();
  } else {
    m_lValue = lDefault;
  }
}

uint32_t CParameter::Masked(int32_t lValue) const {
  const auto ulValue = static_cast<uint32_t>(lValue);
  switch (m_usWidth) {
    case PARAM_WIDTH_S8:
    case PARAM_WIDTH_U8: return ulValue & 0xFFu;
    case PARAM_WIDTH_S16:
    case PARAM_WIDTH_U16: return ulValue & 0xFFFFu;
    default: return ulValue;
  }
}

template <class Cell>
int32_t CParameter::ReadCell(const Cell* pCell, int32_t* plValue) const {
  uint32_t ulSize = 0;
  pCell->GetSize(&ulSize);
  uint8_t aucBytes[8] = {};
  if (ulSize > sizeof aucBytes) return -1;
  const int32_t lResult = pCell->Read(aucBytes);
  uint32_t ulWord = 0;
  for (uint32_t i = 0; i < ulSize && i < kMaxCellBytes; ++i) ulWord |= static_cast<uint32_t>(aucBytes[i]) << (8 * i);
  *plValue = Extend(m_usWidth, ulWord);
  return lResult;
}

template <class Cell>
int32_t CParameter::WriteCell(const Cell* pCell, int32_t lValue) const {
  uint32_t ulSize = 0;
  pCell->GetSize(&ulSize);
  uint8_t aucBytes[8] = {};
  if (ulSize > sizeof aucBytes) return -1;
  const uint32_t ulWord = Masked(lValue);
  for (uint32_t i = 0; i < ulSize && i < kMaxCellBytes; ++i) aucBytes[i] = static_cast<uint8_t>(ulWord >> (8 * i));
  return pCell->Write(aucBytes);
}

// Whether the cell's bytes hold the masked value so that it reads back
// unchanged. A range wider than the cell (0..256 on a one-byte cell) would
// otherwise store another value than the setting reports.
template <class Cell>
bool CParameter::CellHolds(const Cell* pCell, int32_t lValue) const {
  if (pCell == nullptr) return true;
  uint32_t ulSize = 0;
  pCell->GetSize(&ulSize);
  if (ulSize == 0) return false;
  const uint32_t ulKept = ulSize >= kMaxCellBytes ? 0xFFFFFFFFu : (1u << (8 * ulSize)) - 1u;
  return Extend(m_usWidth, Masked(lValue) & ulKept) == lValue;
}

bool CParameter::Storable(int32_t lValue) const {
  return CellHolds(m_pMainCell, lValue) && CellHolds(m_pHeadCellA, lValue) && CellHolds(m_pHeadCellB, lValue);
}

int32_t CParameter::LoadMain() { return ReadCell(m_pMainCell, &m_lValue); }

int32_t CParameter::SaveMain() { return m_pMainCell != nullptr ? WriteCell(m_pMainCell, m_lValue) : 0; }

int32_t CParameter::SaveHeads() {
  if (m_pHeadCellA == nullptr) return 0;
  const int32_t lResult = WriteCell(m_pHeadCellA, m_lValue);
  if (lResult != 0 || m_pHeadCellB == nullptr) return lResult;
  return WriteCell(m_pHeadCellB, m_lValue);
}

int32_t CParameter::GetValue(int32_t* plValue) const {
  *plValue = m_lValue;
  return 0;
}
int32_t CParameter::GetMin(int32_t* plValue) const {
  *plValue = m_lMin;
  return 0;
}
int32_t CParameter::GetMax(int32_t* plValue) const {
  *plValue = m_lMax;
  return 0;
}
int32_t CParameter::GetDefault(int32_t* plValue) const {
  *plValue = m_lDefault;
  return 0;
}

int32_t CParameter::SetValueNoSave(int32_t lValue) {
  if (lValue < m_lMin || lValue > m_lMax || !Storable(lValue)) return -1;
  m_lValue = lValue;
  return 0;
}

int32_t CParameter::SetValue(int32_t lValue) {
  if (SetValueNoSave(lValue) != 0) return -1;
  const int32_t lResult = SaveMain();
  if (lResult != 0) return lResult;
  return SaveHeads();
}

int32_t CParameter::ResetToDefault() { return SetValue(m_lDefault); }

int32_t RestoreDefault(CParameter* pParam) {
  int32_t lDefault = 0;
  pParam->GetDefault(&lDefault);
  return pParam->SetValueNoSave(lDefault);
}

int32_t CParameter::ReadHeadCell(uint32_t ulUnit, int32_t* plValue) const {
  const CHeadEepromCell* pCell = ulUnit == 0 ? m_pHeadCellA : m_pHeadCellB;
  if (pCell == nullptr) return 0;
  return ReadCell(pCell, plValue);
}

int32_t CParameter::VerifyHeadCell(uint32_t ulUnit) const {
  const CHeadEepromCell* pCell = ulUnit == 0 ? m_pHeadCellA : m_pHeadCellB;
  if (pCell == nullptr) return -2;
  int32_t lStored = 0;
  ReadCell(pCell, &lStored);
  return lStored == m_lValue ? 0 : -1;
}

int32_t CParameter::CopyHeadCellToMain() {
  if (m_pMainCell == nullptr || m_pHeadCellA == nullptr) return -1;
  ReadCell(m_pHeadCellA, &m_lValue);
  return SaveMain();
}

int32_t CParameter::CountDigits(int32_t lValue, int32_t* plCount) {
  // Counted on the magnitude as an unsigned number, so INT_MIN is counted
  // too, and capped at the 9 digits (10 characters with the sign) the
  // number text holds.
  constexpr int32_t kMaxDigits = 9;
  const bool bNegative = lValue < 0;
  int32_t lDigits = 0;
  uint32_t ulMagnitude = bNegative ? 0u - static_cast<uint32_t>(lValue) : static_cast<uint32_t>(lValue);
  do {
    ++lDigits;
    ulMagnitude /= 10;
  } while (ulMagnitude != 0);
  if (lDigits > kMaxDigits) lDigits = kMaxDigits;
  *plCount = lDigits + (bNegative ? 1 : 0);
  return 0;
}

int32_t EditParameter(CParameter* pParam) {
  static const char kBlanks[] = "                ";
  constexpr uint32_t kNumberTextLength = 10;  // FormatDecimal's right-aligned text
  int32_t lMin = 0;
  int32_t lMax = 0;
  pParam->GetMin(&lMin);
  pParam->GetMax(&lMax);
  int32_t lMinDigits = 0;
  int32_t lMaxDigits = 0;
  CParameter::CountDigits(lMin, &lMinDigits);
  CParameter::CountDigits(lMax, &lMaxDigits);
  const auto ulFieldWidth = static_cast<uint32_t>(lMaxDigits > lMinDigits ? lMaxDigits : lMinDigits);

  g_Lcd.WriteText(pParam->GetLabel(), 0, CLcd::kVisibleColumns);
  int32_t lEdited = 0;
  pParam->GetValue(&lEdited);
  for (;;) {
    FormatDecimal(lEdited, 0);
    int32_t lDigits = 0;
    CParameter::CountDigits(lEdited, &lDigits);
    // With the blank before the number, but never past the text's ten
    // characters: its terminating 0 is not a character for the LCD.
    auto ulShown = static_cast<uint32_t>(lDigits) + 1;
    if (ulShown > kNumberTextLength) ulShown = kNumberTextLength;
    const uint32_t ulBlankWidth = ulFieldWidth < CLcd::kVisibleColumns ? ulFieldWidth : CLcd::kVisibleColumns;
    g_Lcd.WriteText(kBlanks, CLcd::kVisibleColumns - ulBlankWidth, ulBlankWidth);
    g_Lcd.WriteText(g_pcNumberText + (kNumberTextLength - ulShown), CLcd::kVisibleColumns - ulShown, ulShown);

    uint32_t ulKey = KEY_NONE;
    while (g_KeyMng.WaitKey(1, &ulKey) != 1) {
    }
    switch (ulKey) {
      case KEY_INC: lEdited = lEdited == lMax ? lMin : lEdited + 1; break;
      case KEY_DEC: lEdited = lEdited == lMin ? lMax : lEdited - 1; break;
      case KEY_MENU:
        lEdited = lEdited == lMax ? lMin : (int64_t{lEdited} + 10 <= lMax ? lEdited + 10 : lMax);
        break;
      case KEY_FEED:
        lEdited = lEdited == lMin ? lMax : (int64_t{lEdited} - 10 >= lMin ? lEdited - 10 : lMin);
        break;
      case KEY_ENTER:
        pParam->SetValue(lEdited);
        g_Lcd.WriteText(kBlanks, 0, CLcd::kVisibleColumns);
        g_MsTimer.WaitMs(200);
        g_Lcd.WriteText(pParam->GetLabel(), 0, CLcd::kVisibleColumns);
        break;
      case KEY_CLEAR: return 0;
      default: break;
    }
  }
}
