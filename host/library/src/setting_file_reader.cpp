// SettingFileReader and the small text and byte routines beside it.
#include "setting_file_reader.h"

#include <climits>
#include <cstring>

#include "library_frame.h"

namespace hostlib {

SettingFileReader::~SettingFileReader() {
  Close();
  FreeBuffer();
}

bool SettingFileReader::OpenForRead(const char *path) {
  Close();
  if (path == nullptr) return false;
  file_ = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  return file_ != INVALID_HANDLE_VALUE;
}

bool SettingFileReader::OpenForWrite(const char *path) {
  Close();
  if (path == nullptr) return false;
  file_ = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  return file_ != INVALID_HANDLE_VALUE;
}

void SettingFileReader::Close() {
  if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
  file_ = INVALID_HANDLE_VALUE;
  filled_ = 0;
  next_ = 0;
  pushedBack_ = -1;
}

bool SettingFileReader::Read(void *buffer, uint32_t count) {
  DWORD done = 0;
  return file_ != INVALID_HANDLE_VALUE && buffer != nullptr && ReadFile(file_, buffer, count, &done, nullptr) &&
         done == count;
}

bool SettingFileReader::Write(const void *buffer, uint32_t count) {
  DWORD done = 0;
  return file_ != INVALID_HANDLE_VALUE && buffer != nullptr && WriteFile(file_, buffer, count, &done, nullptr) &&
         done == count;
}

bool SettingFileReader::Seek(uint32_t offset) {
  if (file_ == INVALID_HANDLE_VALUE || offset > static_cast<uint32_t>(LONG_MAX)) return false;
  filled_ = 0;
  next_ = 0;
  pushedBack_ = -1;
  return SetFilePointer(file_, static_cast<LONG>(offset), nullptr, FILE_BEGIN) == offset;
}

uint32_t SettingFileReader::Size() const {
  uint32_t low = 0;
  uint32_t high = 0;
  return Size(&low, &high) && high == 0 ? low : INVALID_FILE_SIZE;
}

bool SettingFileReader::Size(uint32_t *low, uint32_t *high) const {
  if (file_ == INVALID_HANDLE_VALUE) return false;
  DWORD upper = 0;
  SetLastError(NO_ERROR);
  const DWORD lower = GetFileSize(file_, &upper);
  if (lower == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
  *low = lower;
  *high = upper;
  return true;
}

bool SettingFileReader::AllocateBuffer(uint32_t bytes) {
  FreeBuffer();
  if (bytes == 0) return false;
  buffer_ = GlobalAlloc(GMEM_MOVEABLE, bytes);
  bufferBytes_ = buffer_ != nullptr ? bytes : 0;
  return buffer_ != nullptr;
}

void SettingFileReader::FreeBuffer() {
  if (buffer_ != nullptr) GlobalFree(buffer_);
  buffer_ = nullptr;
  bufferBytes_ = 0;
  filled_ = 0;
  next_ = 0;
}

int SettingFileReader::NextByte() {
  if (pushedBack_ >= 0) {
    const int byte = pushedBack_;
    pushedBack_ = -1;
    return byte;
  }
  if (file_ == INVALID_HANDLE_VALUE) return -1;
  if (buffer_ == nullptr && !AllocateBuffer(kDefaultBufferBytes)) return -1;
  auto *bytes = static_cast<uint8_t *>(GlobalLock(buffer_));
  if (bytes == nullptr) return -1;
  int result = -1;
  if (next_ == filled_) {
    DWORD done = 0;
    filled_ = ReadFile(file_, bytes, bufferBytes_, &done, nullptr) ? done : 0;
    next_ = 0;
  }
  if (next_ < filled_) result = bytes[next_++];
  GlobalUnlock(buffer_);
  return result;
}

namespace {

bool IsDigit(int c) { return c >= '0' && c <= '9'; }
bool IsSign(int c) { return c == '+' || c == '-'; }

}  // namespace

bool SettingFileReader::ReadSignedNumber(int32_t *value) {
  int c = NextByte();
  while (c >= 0 && !IsDigit(c) && !IsSign(c)) c = NextByte();
  if (c < 0) return false;
  char text[kNumberChars + 1];
  size_t length = 0;
  while (c >= 0 && (IsDigit(c) || IsSign(c)) && length < kNumberChars) {
    text[length++] = static_cast<char>(c);
    c = NextByte();
  }
  pushedBack_ = c;  // the character after the number, or the end
  text[length] = '\0';
  size_t at = 0;
  const bool negative = text[0] == '-';
  if (IsSign(text[0])) at = 1;
  int64_t magnitude = 0;
  for (; at < length && IsDigit(text[at]); ++at) {
    magnitude = magnitude * 10 + (text[at] - '0');
    if (magnitude > static_cast<int64_t>(INT32_MAX) + 1) magnitude = static_cast<int64_t>(INT32_MAX) + 1;
  }
  const int64_t signedValue = negative ? -magnitude : magnitude;
  *value = static_cast<int32_t>(signedValue > INT32_MAX ? INT32_MAX : signedValue);
  return true;
}

// ---- Small routines ------------------------------------------------------------------

bool LibraryDirectory(char *out, size_t size) {
  if (out == nullptr || size == 0) return false;
  char path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(g_hModule, path, sizeof path);
  if (length == 0 || length >= sizeof path) return false;
#if defined(_WIN32)
  const char separator = '\\';
#else
  const char separator = '/';
#endif
  const char *last = std::strrchr(path, separator);
  const size_t keep = last == nullptr ? 0 : static_cast<size_t>(last - path);
  if (keep >= size) return false;
  std::memcpy(out, path, keep);
  out[keep] = '\0';
  return true;
}

uint32_t FirstNumber(const char *text) {
  if (text == nullptr) return 0;
  while (*text != '\0' && !IsDigit(*text)) ++text;
  uint64_t value = 0;
  for (; IsDigit(*text); ++text) {
    value = value * 10 + static_cast<uint64_t>(*text - '0');
    if (value > UINT32_MAX) return UINT32_MAX;
  }
  return static_cast<uint32_t>(value);
}

const char *NextCommaToken(const char *text, char *token, size_t size) {
  if (token != nullptr && size != 0) token[0] = '\0';
  if (text == nullptr || *text == '\0') return nullptr;
  while (*text == ' ' || *text == '\t') ++text;
  size_t length = 0;
  for (; *text != '\0' && *text != ','; ++text) {
    if (token != nullptr && length + 1 < size) token[length++] = *text;
  }
  if (token != nullptr && size != 0) token[length] = '\0';
  return *text == ',' ? text + 1 : text;
}

uint32_t HexToNumber(const char *text) {
  if (text == nullptr) return 0;
  if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text += 2;
  uint32_t value = 0;
  for (; *text != '\0'; ++text) {
    int digit = -1;
    if (IsDigit(*text)) digit = *text - '0';
    if (*text >= 'a' && *text <= 'f') digit = *text - 'a' + 10;
    if (*text >= 'A' && *text <= 'F') digit = *text - 'A' + 10;
    if (digit < 0 || value > (UINT32_MAX >> 4)) break;
    value = value << 4 | static_cast<uint32_t>(digit);
  }
  return value;
}

uint16_t Swap16(uint16_t value) { return static_cast<uint16_t>(value << 8 | value >> 8); }

uint32_t Swap32(uint32_t value) {
  return value << 24 | (value & 0xFF00u) << 8 | (value >> 8 & 0xFF00u) | value >> 24;
}

void SwapShorts(uint16_t *values, size_t count) {
  for (size_t i = 0; values != nullptr && i < count; ++i) values[i] = Swap16(values[i]);
}

int BoundedCompare(const char *a, const char *b, size_t count) {
  return std::strncmp(a != nullptr ? a : "", b != nullptr ? b : "", count);
}

void FillBytes(void *dst, uint8_t value, size_t count) {
  if (dst != nullptr) std::memset(dst, value, count);
}

}  // namespace hostlib
