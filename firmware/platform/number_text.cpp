#include "firmware/platform/number_text.h"

namespace {
constexpr char kHexDigits[] = "0123456789ABCDEF";
}  // namespace

char* FormatHexDigits(char* pszBuffer, uint32_t ulValue, uint32_t ulDigits) {
  pszBuffer[ulDigits] = '\0';
  for (uint32_t i = ulDigits; i-- > 0;) {
    pszBuffer[i] = kHexDigits[ulValue & 0xFu];
    ulValue >>= 4;
  }
  return pszBuffer;
}

char* FormatDec(char* pszBuffer, uint32_t ulValue, uint32_t ulDigits) {
  pszBuffer[ulDigits] = '\0';
  for (uint32_t i = ulDigits; i-- > 0;) {
    pszBuffer[i] = static_cast<char>('0' + ulValue % 10u);
    ulValue /= 10u;
  }
  return pszBuffer;
}

char* FormatSignedDec(char* pszBuffer, int32_t lValue, uint32_t ulDigits) {
  pszBuffer[0] = lValue < 0 ? '-' : lValue == 0 ? ' ' : '+';
  // The magnitude in unsigned arithmetic: -INT32_MIN does not fit an int32_t.
  const uint32_t ulMagnitude = lValue < 0 ? 0u - static_cast<uint32_t>(lValue) : static_cast<uint32_t>(lValue);
  FormatDec(pszBuffer + 1, ulMagnitude, ulDigits);
  return pszBuffer;
}

uint32_t FormatUnsigned(char* pszBuffer, uint32_t ulValue) {
  uint32_t ulDigits = 1;
  for (uint32_t ulLimit = 9; ulDigits < 10 && ulValue > ulLimit; ulLimit = ulLimit * 10u + 9u) ++ulDigits;
  FormatDec(pszBuffer, ulValue, ulDigits);
  return ulDigits;
}

char* FormatHexBytes(char* pszBuffer, const uint8_t* pucSource, uint32_t ulBytes) {
  for (uint32_t i = 0; i < ulBytes; ++i) {
    pszBuffer[2 * i] = kHexDigits[pucSource[i] >> 4];
    pszBuffer[2 * i + 1] = kHexDigits[pucSource[i] & 0xFu];
  }
  pszBuffer[2 * ulBytes] = '\0';
  return pszBuffer;
}

uint32_t* FormatHexNibbles(uint32_t* pulDigits, uint32_t ulValue, uint32_t ulDigits) {
  for (uint32_t i = ulDigits; i-- > 0;) {
    pulDigits[i] = ulValue & 0xFu;
    ulValue >>= 4;
  }
  return pulDigits;
}

uint32_t* FormatDecDigits(uint32_t* pulDigits, uint32_t ulValue, uint32_t ulDigits) {
  for (uint32_t i = ulDigits; i-- > 0;) {
    pulDigits[i] = ulValue % 10u;
    ulValue /= 10u;
  }
  for (uint32_t i = 0; i + 1 < ulDigits && pulDigits[i] == 0; ++i) pulDigits[i] = DEC_DIGIT_BLANK;
  return pulDigits;
}

uint32_t ParseHex(const char* pszText, uint32_t ulDigits) {
  uint32_t ulValue = 0;
  for (uint32_t i = 0; i < ulDigits; ++i) {
    const char c = pszText[i];
    uint32_t ulDigit = 0;
    if (c >= '0' && c <= '9') {
      ulDigit = static_cast<uint32_t>(c - '0');
    } else if (c >= 'A' && c <= 'F') {
      ulDigit = static_cast<uint32_t>(c - 'A' + 10);
    } else if (c >= 'a' && c <= 'f') {
      ulDigit = static_cast<uint32_t>(c - 'a' + 10);
    } else {
      return 0;
    }
    ulValue = ulValue * 16u + ulDigit;
  }
  return ulValue;
}
