// Microwire frames bit-banged on four GPIO lines: every line change is
// followed by 2 us, data are set up before the rising clock edge and
// sampled after the falling one.
#include "firmware/platform/board_eeprom.h"

#include "firmware/hal/board.h"
#include "firmware/hal/hw.h"
#include "firmware/hal/kernel.h"
#include "firmware/platform/sftprn.h"

namespace {

constexpr uint32_t kLineWaitUs = 2;
constexpr uint32_t kReadyTimeoutMs = 500;
constexpr uint32_t kWriteAttempts = 3;
constexpr uint32_t kRetryWaitUs = 1000;
constexpr uint8_t kOpEwen = 0x80;
constexpr uint8_t kOpWrite = 0xA0;
constexpr uint8_t kOpRead = 0xC0;
constexpr uint8_t kEwenAddress = 0xC0;

void SetLine(uint32_t ulMask) {
  HwWrite32(EEPROM_GPIO_SET_DATA, ulMask);
  BoardWaitUs(kLineWaitUs);
}

void ClearLine(uint32_t ulMask) {
  HwWrite32(EEPROM_GPIO_CLR_DATA, ulMask);
  BoardWaitUs(kLineWaitUs);
}

void SendBit(uint32_t ulBit) {
  if (ulBit != 0) {
    EepromDiHigh();
  } else {
    EepromDiLow();
  }
  EepromSkHigh();
  EepromSkLow();
}

uint8_t ByteOfWord(uint16_t usWord, uint16_t usAddress) {
  return static_cast<uint8_t>((usAddress & 1u) != 0 ? usWord >> 8 : usWord & 0xFFu);
}

uint16_t MergeByte(uint16_t usWord, uint16_t usAddress, uint8_t ucValue) {
  return (usAddress & 1u) != 0 ? static_cast<uint16_t>((usWord & 0x00FFu) | (ucValue << 8))
                               : static_cast<uint16_t>((usWord & 0xFF00u) | ucValue);
}

uint8_t WordAddress(uint16_t usAddress) { return static_cast<uint8_t>((usAddress >> 1) & 0xFFu); }

uint8_t ReadByteOnBus(uint16_t usAddress) {
  EepromSendRead(WordAddress(usAddress));
  const uint16_t usWord = EepromReadWord16();
  EepromCsLow();
  BoardWaitUs(2 * kLineWaitUs);
  return ByteOfWord(usWord, usAddress);
}

bool Refused(const char* pszWhat) {
  if (EepromBusOwnedByCaller()) return false;
  ID id = 0;
  if (sns_ctx() || get_tid(&id) != E_OK) id = 0;
  syslog(LOG_ERROR, "[EEPROM] %s refused: the bus belongs to the application task (caller %d)\n", pszWhat, id);
  return true;
}

}  // namespace

bool EepromBusOwnedByCaller() {
  if (sns_ctx()) return false;
  ID id = 0;
  if (get_tid(&id) != E_OK) return false;
  return id == APP_TASK || id == MAIN_TASK;
}

void EepromCsHigh() { SetLine(EEPROM_LINE_CS); }
void EepromCsLow() { ClearLine(EEPROM_LINE_CS); }
void EepromDiHigh() { SetLine(EEPROM_LINE_DI); }
void EepromDiLow() { ClearLine(EEPROM_LINE_DI); }
void EepromSkHigh() { SetLine(EEPROM_LINE_SK); }
void EepromSkLow() { ClearLine(EEPROM_LINE_SK); }

uint32_t EepromReadDo() { return (HwRead32(EEPROM_GPIO_IN_DATA) & EEPROM_LINE_DO) != 0 ? 1u : 0u; }

void EepromSendCommand(uint8_t ucAddress, uint8_t ucOp) {
  EepromCsLow();
  EepromDiLow();
  EepromSkLow();
  EepromCsHigh();
  for (int32_t lBit = 7; lBit >= 5; --lBit) SendBit((ucOp >> lBit) & 1u);
  for (int32_t lBit = 7; lBit >= 0; --lBit) SendBit((ucAddress >> lBit) & 1u);
  EepromDiLow();
}

void EepromWriteEnable() {
  EepromSendCommand(kEwenAddress, kOpEwen);
  EepromCsLow();
}

void EepromSendWrite(uint8_t ucWordAddress) { EepromSendCommand(ucWordAddress, kOpWrite); }
void EepromSendRead(uint8_t ucWordAddress) { EepromSendCommand(ucWordAddress, kOpRead); }

uint16_t EepromReadWord16() {
  uint16_t usWord = 0;
  for (uint32_t i = 0; i < 16; ++i) {
    EepromSkHigh();
    EepromSkLow();
    usWord = static_cast<uint16_t>((usWord << 1) | EepromReadDo());
  }
  return usWord;
}

void EepromWriteWord16(uint16_t usWord) {
  for (int32_t lBit = 15; lBit >= 0; --lBit) SendBit((usWord >> lBit) & 1u);
  EepromDiLow();
}

int32_t EepromWaitReady() {
  SYSTIM ulStart = 0;
  get_tim(&ulStart);
  EepromCsHigh();
  for (;;) {
    const uint32_t ulReady = EepromReadDo();
    SYSTIM ulNow = 0;
    get_tim(&ulNow);
    if (ulNow - ulStart > kReadyTimeoutMs) return -1;
    if (ulReady != 0) return 0;
  }
}

int32_t EepromReadByte(uint16_t usAddress, uint16_t* pusValue) {
  if (Refused("read")) return -1;
  *pusValue = ReadByteOnBus(usAddress);
  return 0;
}

int32_t EepromWriteByteOnce(uint16_t usAddress, uint16_t usValue) {
  const uint8_t ucValue = static_cast<uint8_t>(usValue & 0xFFu);
  EepromSendRead(WordAddress(usAddress));
  uint16_t usWord = EepromReadWord16();
  if (ByteOfWord(usWord, usAddress) == ucValue) {
    EepromCsLow();
    return 0;
  }
  EepromCsLow();
  EepromWriteEnable();
  EepromSendWrite(WordAddress(usAddress));
  usWord = MergeByte(usWord, usAddress, ucValue);
  EepromWriteWord16(usWord);
  EepromCsLow();
  BoardWaitUs(2 * kLineWaitUs);
  if (EepromWaitReady() != 0) {
    EepromCsLow();
    return -1;
  }
  const int32_t lResult = ReadByteOnBus(usAddress) == ucValue ? 0 : -2;
  EepromCsLow();
  return lResult;
}

int32_t EepromWriteByte(uint16_t usAddress, uint16_t usValue) {
  if (Refused("write")) return -1;
  for (uint32_t i = 0; i < kWriteAttempts; ++i) {
    if (EepromWriteByteOnce(usAddress, usValue) == 0) return 0;
    BoardWaitUs(kRetryWaitUs);
  }
  return -1;
}
