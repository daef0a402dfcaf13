// Placeholder of the life counters: the values live in RAM only and start
// at 0 at every boot; nothing is kept in the EEPROM yet.
#include "firmware/devices/life_counter.h"
#include "firmware/platform/placeholder.h"

constinit CLifeCounter g_CounterTotal;
constinit CLifeCounter g_CounterMediaPrn;
constinit CLifeCounter g_CounterMediaPrnL;
constinit CLifeCounter g_CounterMediaPrnR;

namespace {
bool s_bLogged;
}  // namespace

int32_t CLifeCounter::GetValue(uint32_t* pulValue) const {
  LogPlaceholderOnce(s_bLogged, "CLifeCounter (life counters)");
  *pulValue = m_ulValue;
  return 0;
}

int32_t CLifeCounter::Write(uint32_t ulValue) {
  LogPlaceholderOnce(s_bLogged, "CLifeCounter (life counters)");
  m_ulValue = ulValue;
  return 0;
}
