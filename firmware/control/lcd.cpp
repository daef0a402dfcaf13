// The LCD driver. Every byte goes to the module in one transfer of about
// 2 ms of busy waiting (the module is never read, so its busy flag is not
// polled); a line rewrite is 18 transfers.
#include "firmware/control/lcd.h"

#include "firmware/devices/panel_ports.h"
#include "firmware/platform/time_base.h"

constinit CLcd g_Lcd;

namespace {
// Characters 0-7 of the line lie at display addresses 0x00-0x07, 8-15 at
// 0x40-0x47: the module is organised as two halves of 8 characters.
constexpr uint8_t kFirstHalf = 0x00;
constexpr uint8_t kSecondHalf = 0x40;
constexpr uint32_t kHalfColumns = 8;
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

int32_t CLcd::Strobe() {
  int32_t lResult = 0;
  g_MsTimer.WaitMs(1);
  if (g_PortLcdE.Clear() != 0) lResult = -1;
  g_MsTimer.WaitMs(1);
  if (g_PortLcdE.Set() != 0) lResult = -1;
  return lResult;
}

int32_t CLcd::Transfer(bool bInstruction, uint8_t ucByte) {
  int32_t lResult = 0;
  if ((bInstruction ? g_PortLcdRs.Set() : g_PortLcdRs.Clear()) != 0) lResult = -1;
  if (g_PortLcdData.Write(static_cast<uint8_t>(~ucByte)) != 0) lResult = -1;
  if (Strobe() != 0) lResult = -1;
  return lResult;
}

int32_t CLcd::SendCommand(uint8_t ucInstruction) {
  const int32_t lResult = Transfer(true, ucInstruction);
  if (ucInstruction == kReturnHome) g_MsTimer.WaitMs(2);
  return lResult;
}

int32_t CLcd::WriteData(uint8_t ucCharacter) { return Transfer(false, ucCharacter); }

int32_t CLcd::Init() {
  int32_t lResult = 0;
  for (uint32_t i = 0; i < 3; ++i) {
    // The port value itself: the bus rests at 0 before the first transfer.
    g_PortLcdData.Write(0);
    g_PortLcdE.Set();
    lResult = g_PortLcdRs.Set();
    g_PortLcdE.Set();
    SendCommand(kFunction8Bit2Lines);
    SendCommand(kDisplayOn);
    SendCommand(kEntryIncrement);
    SendCommand(kClearDisplay);
    SendCommand(kEntryIncrement);
    g_MsTimer.WaitMs(50);
  }
  return lResult;
}

int32_t CLcd::WriteText(const char* pszText, uint32_t ulColumn, uint32_t ulLength) {
  // Characters beyond the 32 columns of the buffer are dropped.
  for (uint32_t i = 0; i < ulLength && ulColumn < kBufferColumns && i < kBufferColumns - ulColumn; ++i) {
    PutChar(ulColumn + i, static_cast<uint8_t>(pszText[i]));
  }
  return Refresh();
}

int32_t CLcd::WriteLine(const char* pszText) { return WriteText(pszText, 0, kVisibleColumns); }

int32_t CLcd::ReadText(char* pcDest, uint32_t ulColumn, uint32_t ulLength) const {
  if (ulColumn >= kVisibleColumns || ulLength > kVisibleColumns - ulColumn) return -1;
  for (uint32_t i = 0; i < ulLength; ++i) pcDest[i] = static_cast<char>(GetChar(ulColumn + i));
  return 0;
}

int32_t CLcd::Refresh() {
  int32_t lResult = 0;
  SendCommand(static_cast<uint8_t>(kSetDdramAddress | kFirstHalf));
  for (uint32_t c = 0; c < kHalfColumns; ++c) {
    if (WriteData(GetChar(c)) != 0) lResult = -1;
  }
  SendCommand(static_cast<uint8_t>(kSetDdramAddress | kSecondHalf));
  for (uint32_t c = kHalfColumns; c < kVisibleColumns; ++c) {
    if (WriteData(GetChar(c)) != 0) lResult = -1;
  }
  return lResult;
}

int32_t CLcd::PowerOn() {
  const int32_t lResult = g_PortLcdPower.Set();
  if (lResult == 0) m_ulBacklight = 1;
  return lResult;
}

int32_t CLcd::PowerOff() {
  const int32_t lResult = g_PortLcdPower.Clear();
  if (lResult == 0) m_ulBacklight = 0;
  return lResult;
}
