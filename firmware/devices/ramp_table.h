// Stepper ramp tables: up to 2048 pulse periods (40 ns ticks of the FPGA's
// 25 MHz pulse clock) along a sine-smoothed speed curve from a start rate
// to a top rate. Entry `count` is the top-speed period, and every entry
// after it repeats it, so reading beyond the ramp yields the top speed.
#pragma once

#include <cstdint>

class CRampTable {
 public:
  static constexpr uint32_t kEntries = 2048;
  // The slowest rate whose period fits an entry (25 MHz / 65535).
  static constexpr uint32_t kMinRate = 382;

  constexpr CRampTable() = default;
  // The machine definition's construction: keeps the storage (which two
  // ramps may share) and the excitation mode; the three numbers between
  // are not kept. Periods, rates, count and ramp time stay 0 until a set-up.
  CRampTable(uint16_t* pusTable, uint32_t ulUnused1, uint32_t ulUnused2, uint32_t ulUnused3, uint32_t ulMode);
  CRampTable(const CRampTable&) = delete;
  CRampTable& operator=(const CRampTable&) = delete;

  // Periods in microseconds per print line, converted to rates through
  // "Stp/Lx1000" and the excitation mode; the build result, or -1 with
  // nothing changed for a zero period.
  int32_t SetupByLinePeriod(uint32_t ulStartPeriod, uint32_t ulTopPeriod, uint32_t ulRampMs);
  // Rates in pulses per second; the build result.
  int32_t SetupByRate(uint32_t ulStartRate, uint32_t ulTopRate, uint32_t ulRampMs);
  // id 1 start line period, 2 top line period, 3 ramp time, 4 mode; -1 for
  // another id (or a zero line period). With rebuild 1 the table is rebuilt
  // and the build result returned.
  int32_t SetParam(uint32_t ulId, uint32_t ulValue, uint32_t ulRebuild);
  // 1-5 are kept, any other value sets mode 2.
  int32_t SetMode(uint32_t ulMode);
  int32_t GetParam(uint32_t ulId, uint32_t* pulValue) const;
  int32_t GetCount(uint32_t* pulCount) const;
  int32_t GetTable(uint16_t** ppusTable) const;
  int32_t GetTopRate(uint32_t* pulRate) const;
  // Writes the value into entries [start, start + count); -1 with nothing
  // written when the range leaves the table.
  int32_t Fill(uint16_t usValue, uint32_t ulStart, uint32_t ulCount);
  // Pulses per second of a line period through "Stp/Lx1000" and the mode's
  // factor; -1 (nothing written) for a zero period.
  int32_t LinePeriodToRate(uint32_t ulPeriodUs, uint32_t* pulRate) const;

 private:
  // Builds the table from the stored rates and ramp time: -1 with nothing
  // changed when a rate or the time is 0, the start rate is above the top
  // rate or below kMinRate; a ramp longer than the table ends at its last
  // entry.
  int32_t BuildRampTable();

  uint16_t* m_pusTable = nullptr;
  uint32_t m_ulStartPeriod = 0;
  uint32_t m_ulTopPeriod = 0;
  uint32_t m_ulStartRate = 0;
  uint32_t m_ulTopRate = 0;
  uint32_t m_ulCount = 0;
  uint32_t m_ulRampMs = 0;
  uint32_t m_ulMode = 0;
};
