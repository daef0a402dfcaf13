// Encoder slits: a slotted disc on a shaft feeds one of the FPGA's seven
// 16-bit pulse counters (channels 0-6). A slit starts, holds and clears its
// counter, reads it and tells whether it moved since the last reading.
// Counts wrap at 16 bits: callers compare successive readings or clear
// before a measurement.
#pragma once

#include <cstdint>

class CChopMotor;

class CSlit {
 public:
  constexpr CSlit() = default;
  // Then Clear and Start: every counter counts from 0 from start-up on.
  CSlit(const char* pszName, uint32_t ulChannel, CChopMotor* pMotor);

  // Results: the FPGA's, 0 or -2 for a channel outside 0-6.
  int32_t Start();
  int32_t Stop();
  // On success the last count is read again (normally 0).
  int32_t Clear();
  // On success out = last count = the 16-bit count; both unchanged on a
  // failure.
  int32_t ReadCount(uint32_t* pulCount);
  // On a successful read, changed = 1 when the count differs from the last
  // one, else 0; unchanged on a failure.
  int32_t HasChanged(uint32_t* pulChanged);
  int32_t GetLastCount(uint32_t* pulCount) const;
  // The maintenance check screen: the count live; Enter holds or runs the
  // counter; on a ribbon encoder Menu runs both ribbon motors of its unit
  // with the reverse clutch, Feed stops them, Clear stops them and leaves.
  int32_t CheckRoutine();

  const char* Name() const { return m_pszName; }
  CChopMotor* Motor() const { return m_pMotor; }
  uint32_t Channel() const { return m_ulChannel; }
  uint32_t Counting() const { return m_ulCounting; }

 private:
  // Polls the keys at 1 ms, showing the count at column 11 whenever it
  // differs from the one shown, until a key arrives; returns its code.
  uint32_t WaitKeyShowingCount(uint32_t* pulShown);

  CChopMotor* m_pMotor = nullptr;
  const char* m_pszName = nullptr;
  uint32_t m_ulChannel = 0;
  uint32_t m_ulCounting = 0;
  uint32_t m_ulLastCount = 0;
};
