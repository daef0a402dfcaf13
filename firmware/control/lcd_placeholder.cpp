// Placeholder of the LCD driver: it keeps the text buffer, so readers see
// what was written, but drives no lines yet.
#include "firmware/control/lcd.h"
#include "firmware/platform/placeholder.h"

CLcd g_Lcd;

namespace {
bool s_bLogged;
}  // namespace

void CLcd::PutChar(uint32_t ulColumn, uint8_t ucChar) {
  uint16_t& usWord = m_ausText[ulColumn / 2];
  usWord = (ulColumn % 2 == 0) ? static_cast<uint16_t>((usWord & 0x00FFu) | (ucChar << 8))
                               : static_cast<uint16_t>((usWord & 0xFF00u) | ucChar);
}

uint8_t CLcd::GetChar(uint32_t ulColumn) const {
  const uint16_t usWord = m_ausText[ulColumn / 2];
  return static_cast<uint8_t>(ulColumn % 2 == 0 ? usWord >> 8 : usWord & 0xFFu);
}

int32_t CLcd::Init() { return Refresh(); }

int32_t CLcd::WriteText(const char* pszText, uint32_t ulColumn, uint32_t ulLength) {
  for (uint32_t i = 0; i < ulLength && ulColumn + i < kBufferColumns; ++i) {
    PutChar(ulColumn + i, static_cast<uint8_t>(pszText[i]));
  }
  return Refresh();
}

int32_t CLcd::WriteLine(const char* pszText) { return WriteText(pszText, 0, kVisibleColumns); }

int32_t CLcd::ReadText(char* pcDest, uint32_t ulColumn, uint32_t ulLength) const {
  if (ulColumn >= kVisibleColumns || ulColumn + ulLength > kVisibleColumns) return -1;
  for (uint32_t i = 0; i < ulLength; ++i) pcDest[i] = static_cast<char>(GetChar(ulColumn + i));
  return 0;
}

int32_t CLcd::Refresh() {
  LogPlaceholderOnce(s_bLogged, "CLcd (LCD driver)");
  return 0;
}

int32_t CLcd::PowerOn() {
  m_ulBacklight = 1;
  return 0;
}

int32_t CLcd::PowerOff() {
  m_ulBacklight = 0;
  return 0;
}

int32_t CLcd::SendCommand(uint8_t) { return 0; }
int32_t CLcd::WriteData(uint8_t) { return 0; }
