// Fixed-width number text for LCD lines, log lines and stored texts, and a
// hexadecimal text parser. Buffers belong to the caller and hold the digits
// and a terminating 0; digits beyond the width are dropped (a fixed width
// truncates, it never widens).
#pragma once

#include <cstdint>

// Exactly n upper-case hexadecimal digits of the low 4n bits of the value,
// with leading zeros. Returns the buffer.
char* FormatHexDigits(char* pszBuffer, uint32_t ulValue, uint32_t ulDigits);
// Exactly n decimal digits of value mod 10^n, with leading zeros.
char* FormatDec(char* pszBuffer, uint32_t ulValue, uint32_t ulDigits);
// A sign ('-' below 0, blank for 0, '+' above 0), then exactly n decimal
// digits of the magnitude (n + 2 bytes in all).
char* FormatSignedDec(char* pszBuffer, int32_t lValue, uint32_t ulDigits);
// The decimal digits without leading zeros; returns their count, 1-10.
uint32_t FormatUnsigned(char* pszBuffer, uint32_t ulValue);
// 2n upper-case hexadecimal characters of n bytes, high nibble first.
char* FormatHexBytes(char* pszBuffer, const uint8_t* pucSource, uint32_t ulBytes);

// Digit values rather than characters, most significant first, one per
// word: the n hexadecimal digits 0-15 of the value ...
uint32_t* FormatHexNibbles(uint32_t* pulDigits, uint32_t ulValue, uint32_t ulDigits);
// ... and the n decimal digits of value mod 10^n, where every leading 0 but
// the last position becomes DEC_DIGIT_BLANK.
constexpr uint32_t DEC_DIGIT_BLANK = 11;
uint32_t* FormatDecDigits(uint32_t* pulDigits, uint32_t ulValue, uint32_t ulDigits);

// The value of n characters 0-9, A-F, a-f, most significant first; 0 as
// soon as any other character occurs. More than 8 digits keep the last 8.
uint32_t ParseHex(const char* pszText, uint32_t ulDigits);
