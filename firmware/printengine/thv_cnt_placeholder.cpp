// Placeholder of the head supply's voltage walks: the step is set to the
// target at once.
#include "firmware/devices/parameter.h"
#include "firmware/devices/settings.h"
#include "firmware/platform/fpga_regs.h"
#include "firmware/platform/placeholder.h"
#include "firmware/printengine/thv_cnt.h"

constinit CThvCnt g_ThvPheatL{&g_ParamThvPheatL, nullptr};
constinit CThvCnt g_ThvPheatR{&g_ParamThvPheatR, nullptr};

int32_t CThvCnt::StartStepToTarget() {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "CThvCnt (head voltage walks)");
  if (m_pThv == nullptr) return -1;
  g_FpgaMain.SetThvValue(static_cast<uint16_t>(SettingValue(*m_pThv)));
  m_ulWalking = 1;
  return 0;
}

int32_t CThvCnt::StepToTarget() {
  if (m_ulWalking == 0) return -1;
  m_ulWalking = 0;
  return 0;
}
