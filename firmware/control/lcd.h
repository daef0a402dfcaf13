// The LCD: a 16-character HD44780-type module on GPIO lines, driven from a
// 32-column text buffer of which columns 0-15 are shown.
#pragma once

#include <cstdint>

class CLcd {
 public:
  static constexpr uint32_t kVisibleColumns = 16;
  static constexpr uint32_t kBufferColumns = 32;

  constexpr CLcd() : m_ausText{}, m_ulBacklight(0) {}

  int32_t Init();
  // Copies length characters to the columns from `column` on (clamped to the
  // buffer), then refreshes the display.
  int32_t WriteText(const char* pszText, uint32_t ulColumn, uint32_t ulLength);
  // Copies 16 characters to columns 0-15, then refreshes the display.
  int32_t WriteLine(const char* pszText);
  // -1 (nothing copied) unless column < 16 and column + length <= 16.
  int32_t ReadText(char* pcDest, uint32_t ulColumn, uint32_t ulLength) const;
  int32_t Refresh();
  int32_t PowerOn();
  int32_t PowerOff();
  int32_t SendCommand(uint8_t ucInstruction);
  int32_t WriteData(uint8_t ucCharacter);
  // 1 after PowerOn, 0 after PowerOff.
  uint32_t Backlight() const { return m_ulBacklight; }

  // The instruction bytes of the controller.
  static constexpr uint8_t kClearDisplay = 0x01;
  static constexpr uint8_t kReturnHome = 0x02;
  static constexpr uint8_t kEntryIncrement = 0x06;
  static constexpr uint8_t kDisplayOn = 0x0C;
  static constexpr uint8_t kDisplayOnBlink = 0x0D;
  static constexpr uint8_t kDisplayOnCursor = 0x0E;
  static constexpr uint8_t kCursorLeft = 0x10;
  static constexpr uint8_t kCursorRight = 0x14;
  static constexpr uint8_t kFunction8Bit2Lines = 0x38;
  static constexpr uint8_t kSetDdramAddress = 0x80;

 private:
  // Column c lies in word c / 2: the high byte for an even column, the low
  // byte for an odd one.
  void PutChar(uint32_t ulColumn, uint8_t ucChar);
  uint8_t GetChar(uint32_t ulColumn) const;
  // One transfer: register select, inverted byte, then the enable strobe.
  int32_t Transfer(bool bInstruction, uint8_t ucByte);
  // E low for 1 ms after a 1 ms settle, then high again.
  int32_t Strobe();

  uint16_t m_ausText[kBufferColumns / 2];
  uint32_t m_ulBacklight;
};

extern CLcd g_Lcd;
