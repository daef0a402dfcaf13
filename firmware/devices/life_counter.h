// The life counters: persistent print and event counts of the printer.
#pragma once

#include <cstdint>

class CLifeCounter {
 public:
  constexpr CLifeCounter() = default;
  int32_t GetValue(uint32_t* pulValue) const;
  int32_t Write(uint32_t ulValue);
  int32_t Reset() { return Write(0); }

 private:
  uint32_t m_ulValue = 0;
};

// The "Total" print counter.
extern CLifeCounter g_CounterTotal;
// The three "MediaPrn" counters: prints on the loaded media, both units
// and each unit.
extern CLifeCounter g_CounterMediaPrn;
extern CLifeCounter g_CounterMediaPrnL;
extern CLifeCounter g_CounterMediaPrnR;
