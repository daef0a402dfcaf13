// Placeholder of the fans and clutches: each output keeps its state in RAM
// only; no register bit is driven and no fan rests yet.
#include "firmware/devices/fan.h"
#include "firmware/platform/placeholder.h"

constinit CFanCnt g_FanHeadL;
constinit CFanCnt g_FanHeadR;
constinit CFanCnt g_FanSideL;
constinit CFanCnt g_FanSideR;

namespace {
bool s_bLogged;
void Note() { LogPlaceholderOnce(s_bLogged, "fans and clutches"); }
}  // namespace

int32_t CFanCrutch::On() {
  Note();
  m_ulState = FAN_ON;
  return 0;
}

int32_t CFanCrutch::Off() {
  Note();
  m_ulState = FAN_OFF;
  return 0;
}

int32_t CFanCrutch::GetState(uint32_t* pulState) const {
  *pulState = m_ulState;
  return 0;
}

int32_t CFanCnt::Check() {
  Note();
  return 0;
}

int32_t CFanCnt::Rest() {
  Note();
  m_ulState = FAN_RESTING;
  return 0;
}
