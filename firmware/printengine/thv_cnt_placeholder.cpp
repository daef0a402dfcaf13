// Placeholder of the head voltages: the supply's voltage walks set the step
// to the target at once, and each unit's list of head-voltage settings
// exists but holds nothing to tune yet; the start-up's supply set-up and
// the power values from the TABLE data do nothing; a humidity correction
// is only recorded.
#include "firmware/devices/parameter.h"
#include "firmware/devices/settings.h"
#include "firmware/platform/fpga_regs.h"
#include "firmware/platform/placeholder.h"
#include "firmware/printengine/head_voltage.h"
#include "firmware/printengine/thv_cnt.h"
#include "firmware/printengine/thv_cnt_placeholder.h"

constinit CThvCnt g_ThvPheatL{&g_ParamThvPheatL, nullptr};
constinit CThvCnt g_ThvPheatR{&g_ParamThvPheatR, nullptr};
constinit CThvCnt g_ThvYL{&g_ParamThvYL, nullptr};
constinit uint32_t g_ulThvPowerOffRuns;

class CThvList {};

CThvList g_ThvTableL;
CThvList g_ThvTableR;

namespace {
bool s_bLogged;
void Note() { LogPlaceholderOnce(s_bLogged, "CThvCnt (head voltage walks)"); }
}  // namespace

int32_t CThvCnt::Init() {
  Note();
  return 0;
}

int32_t LoadThvPowerFromTable() {
  Note();
  return 0;
}

int32_t CThvCnt::StartStepToTarget() {
  Note();
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

int32_t CThvCnt::RestoreAndPowerOff() {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "CThvCnt (head voltage supply)");
  ++g_ulThvPowerOffRuns;
  return 0;
}

constinit PlaceholderThvHumid g_PlaceholderThvHumid;

int32_t CThvCnt::SetHumidCorrection(int32_t lCorrection) {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "CThvCnt (humidity correction)");
  g_PlaceholderThvHumid.pThv = this;
  g_PlaceholderThvHumid.lCorrection = lCorrection;
  ++g_PlaceholderThvHumid.ulCalls;
  return 0;
}
