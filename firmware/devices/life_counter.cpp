#include "firmware/devices/life_counter.h"

#include "firmware/control/keys.h"
#include "firmware/control/lcd.h"
#include "firmware/control/menu.h"
#include "firmware/devices/eeprom_cell.h"

namespace {

constexpr uint32_t kValueEndColumn = 16;
constexpr const char* kResetPrompt = "RESET ?             ";

// The cells hold the value low byte first, as many bytes as the cell has.
void PutValue(uint32_t ulValue, uint8_t* pucBytes) {
  for (uint32_t i = 0; i < 4; ++i) pucBytes[i] = static_cast<uint8_t>(ulValue >> (8 * i));
}
uint32_t GetValueBytes(const uint8_t* pucBytes, uint32_t ulSize) {
  uint32_t ulValue = 0;
  for (uint32_t i = 0; i < ulSize && i < 4; ++i) ulValue |= static_cast<uint32_t>(pucBytes[i]) << (8 * i);
  return ulValue;
}

uint32_t WaitForKey() {
  uint32_t ulCode = 0;
  while (g_KeyMng.WaitKey(1, &ulCode) != 1) {
  }
  return ulCode;
}

}  // namespace

CLifeCounter::CLifeCounter(const char* pszLabel, const CEepromCell* pMainCell, const CHeadEepromCell* pHeadCell)
    : m_pszLabel(pszLabel), m_pMainCell(pMainCell), m_pHeadCell(pHeadCell) {
  if (m_pMainCell == nullptr) return;
  m_pMainCell->GetSize(&m_ulCellSize);
  Reload();
}

int32_t CLifeCounter::GetValue(uint32_t* pulValue) const {
  *pulValue = m_ulValue;
  return 0;
}

// The frequent count goes straight to the cell's bytes, without the
// EEPROM's commit step.
int32_t CLifeCounter::Add(uint32_t ulCount) {
  m_ulValue += ulCount;
  return WriteCells(false);
}

int32_t CLifeCounter::Write(uint32_t ulValue) {
  m_ulValue = ulValue;
  return WriteCells(true);
}

int32_t CLifeCounter::WriteCells(bool bCommit) {
  alignas(4) uint8_t aucBytes[4];
  PutValue(m_ulValue, aucBytes);
  if (m_pMainCell != nullptr) {
    const int32_t lResult = bCommit ? m_pMainCell->Write(aucBytes) : m_pMainCell->WriteBytes(aucBytes);
    if (lResult != 0) return lResult;
  }
  return m_pHeadCell != nullptr ? m_pHeadCell->Write(aucBytes) : 0;
}

int32_t CLifeCounter::CompareHeadCell() const {
  if (m_pHeadCell == nullptr) return -2;
  alignas(4) uint8_t aucBytes[4] = {};
  uint32_t ulSize = 0;
  m_pHeadCell->GetSize(&ulSize);
  if (m_pHeadCell->Read(aucBytes) != 0) return -1;
  return GetValueBytes(aucBytes, ulSize) == m_ulValue ? 0 : -1;
}

int32_t CLifeCounter::RestoreFromHeadCell() {
  if (m_pMainCell == nullptr || m_pHeadCell == nullptr) return -1;
  alignas(4) uint8_t aucBytes[4] = {};
  uint32_t ulSize = 0;
  m_pHeadCell->GetSize(&ulSize);
  const int32_t lResult = m_pHeadCell->Read(aucBytes);
  if (lResult != 0) return lResult;
  return Write(GetValueBytes(aucBytes, ulSize));
}

int32_t CLifeCounter::Reload() {
  if (m_pMainCell == nullptr) return 0;
  alignas(4) uint8_t aucBytes[4] = {};
  const int32_t lResult = m_pMainCell->Read(aucBytes);
  if (lResult == 0) m_ulValue = GetValueBytes(aucBytes, m_ulCellSize);
  return lResult;
}

int32_t CLifeCounter::Show(uint32_t ulMode) const {
  g_Lcd.WriteText(m_pszLabel, 0, CLcd::kVisibleColumns);
  uint32_t ulWidth = 0;
  if (ulMode == LIFE_COUNTER_MODE_DECIMAL) {
    ulWidth = m_ulCellSize == 1 ? 4 : m_ulCellSize == 2 ? 6 : 9;
    // Unsigned: a count above 2^31 shows its digits, not a minus sign.
    FormatUnsigned(m_ulValue, 0);
  } else {
    ulWidth = 2 * m_ulCellSize;
    FormatHex(m_ulValue);
  }
  if (ulWidth > 10) ulWidth = 10;
  g_Lcd.WriteText(g_pcNumberText + 10 - ulWidth, kValueEndColumn - ulWidth, ulWidth);
  return 0;
}

int32_t CLifeCounter::MenuScreen(uint32_t ulMode) {
  for (;;) {
    Show(ulMode);
    const uint32_t ulKey = WaitForKey();
    if (ulKey == KEY_CLEAR) return 1;
    if (ulKey != KEY_ENTER) continue;
    g_Lcd.WriteText(kResetPrompt, 0, CLcd::kVisibleColumns);
    if (WaitForKey() == KEY_ENTER) Reset();
  }
}
