// SettingFileReader: the library's reader of setting files (filter
// kernels, lookup tables), and beside it small text and byte routines.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace hostlib {

class SettingFileReader {
 public:
  SettingFileReader() = default;
  ~SettingFileReader();
  SettingFileReader(const SettingFileReader &) = delete;
  SettingFileReader &operator=(const SettingFileReader &) = delete;

  // Opens an existing file for reading, others may read it too.
  bool OpenForRead(const char *path);
  // Creates or truncates a file for writing.
  bool OpenForWrite(const char *path);
  void Close();
  // Exactly `count` bytes; a short read or write is a failure.
  bool Read(void *buffer, uint32_t count);
  bool Write(const void *buffer, uint32_t count);
  bool Seek(uint32_t offset);
  // The file's size, or INVALID_FILE_SIZE (also for 4 GB or more).
  uint32_t Size() const;
  // The file's size in two 32-bit halves; false when it cannot be read.
  bool Size(uint32_t *low, uint32_t *high) const;

  // A movable global-memory block of `bytes`, the buffer of NextByte.
  bool AllocateBuffer(uint32_t bytes);
  void FreeBuffer();
  // The next byte of the file through the buffer, or -1 at its end.
  int NextByte();
  // The next signed decimal number: characters up to a digit or sign are
  // skipped, then digits and signs are collected (at most kNumberChars;
  // the next one starts the following number) and converted with an
  // optional leading sign, saturated to 32 bits. False at the file's end
  // before a number.
  bool ReadSignedNumber(int32_t *value);

  static constexpr size_t kNumberChars = 254;
  static constexpr uint32_t kDefaultBufferBytes = 512;

 private:
  HANDLE file_ = INVALID_HANDLE_VALUE;
  HGLOBAL buffer_ = nullptr;
  uint32_t bufferBytes_ = 0;
  uint32_t filled_ = 0;
  uint32_t next_ = 0;
  int pushedBack_ = -1;
};

// The directory of the library's file: its path up to the last separator
// ('\\' on Windows, '/' here). False when it does not fit `size`.
bool LibraryDirectory(char *out, size_t size);
// The unsigned number of the first run of digits in `text` (0 for none),
// saturated to 32 bits.
uint32_t FirstNumber(const char *text);
// Copies the next comma-separated token after blanks into `token` (at
// most size - 1 characters, terminated) and returns where the following
// token starts (past the comma), or null at the end of the text.
const char *NextCommaToken(const char *text, char *token, size_t size);
// Hexadecimal digits (an optional 0x first) to a number; reading stops at
// the first other character, or when the number would pass 32 bits.
uint32_t HexToNumber(const char *text);
uint16_t Swap16(uint16_t value);
uint32_t Swap32(uint32_t value);
// Swaps each of `count` 16-bit values in place.
void SwapShorts(uint16_t *values, size_t count);
// strncmp for at most `count` characters; null texts compare as empty.
int BoundedCompare(const char *a, const char *b, size_t count);
void FillBytes(void *dst, uint8_t value, size_t count);

}  // namespace hostlib
