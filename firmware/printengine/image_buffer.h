// The image memory behind the download buffer: 16-bit access by offset for
// the lamination images (their downloaded pixels and the header placed
// behind them), and a byte cursor for the test-pattern drawers.
//
// An offset a is reached at 0xC0800000 + (a AND 0x07FFFFFF) through the
// system-device call, so an offset wraps inside the 128 MB window instead of
// leaving it; the callers keep their ranges inside the download buffer.
#pragma once

#include <cstdint>

#include "firmware/hal/hw.h"
#include "firmware/platform/global_build.h"

constexpr PhysAddr IMAGE_BUFFER_BASE = 0xC0800000u;
constexpr uint32_t IMAGE_BUFFER_OFFSET_MASK = 0x07FFFFFFu;
constexpr uint32_t IMAGE_BUFFER_WINDOW_BYTES = 0x08000000u;

class CImageBuffer {
 public:
  constexpr CImageBuffer() : m_ulCursor(0) {}
  explicit CImageBuffer(GlobalBuild) : CImageBuffer() {}

  // The processor address of an offset.
  static constexpr PhysAddr AddressOf(uint32_t ulOffset) { return IMAGE_BUFFER_BASE + (ulOffset & IMAGE_BUFFER_OFFSET_MASK); }

  // The 16-bit word at the offset: the system-device call's result (0, or
  // -1 with *pusValue unchanged when the address lies in no window).
  int32_t ReadHalf(uint32_t ulOffset, uint16_t* pusValue) const;
  int32_t WriteHalf(uint32_t ulOffset, uint16_t usValue) const;

  // Writes the low byte of the value count times at the cursor, advancing
  // it by one each time: 0, or the first failing write's result (the
  // cursor left on the byte that failed).
  int32_t Fill(uint16_t usValue, uint32_t ulCount);
  // The cursor to 0; the cursor n bytes on, modulo the 128 MB window.
  int32_t Rewind();
  int32_t Skip(uint32_t ulBytes);

  uint32_t Cursor() const { return m_ulCursor; }

 private:
  uint32_t m_ulCursor;
};

extern CImageBuffer g_ImageBuffer;
