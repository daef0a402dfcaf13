// Placeholder of the ribbon managers: the four managers count step pulses
// while counting is enabled, and their pending background operation ends at
// its first step.
#include "firmware/platform/placeholder.h"
#include "firmware/printengine/drive_units.h"

namespace {

bool s_bManagersLogged;

}  // namespace

constinit CDonorMng_MarkSen g_DonorMngMarkSenL;
constinit CDonorMng_MarkSen g_DonorMngMarkSenR;
constinit CDonorMng_ColorSen g_DonorMngColorSenL;
constinit CDonorMng_ColorSen g_DonorMngColorSenR;

CDonorMng_MarkSen::CDonorMng_MarkSen(GlobalBuild) {
  LogPlaceholderOnce(s_bManagersLogged, "CDonorMng (ribbon managers)");
}

CDonorMng_ColorSen::CDonorMng_ColorSen(GlobalBuild) {
  LogPlaceholderOnce(s_bManagersLogged, "CDonorMng (ribbon managers)");
}

int32_t CDonorMng::BackgroundStep() { return 0; }

int32_t CDonorMng::CountStepPulse() {
  if (m_ulCountingEnabled != 0) m_ulStepPulseCount = m_ulStepPulseCount + 1;
  return 0;
}

int32_t CDonorMng::SetStepCounting(uint32_t ulOn) {
  m_ulStepPulseCount = 0;
  m_ulCountingEnabled = ulOn;
  return 0;
}

int32_t CDonorMng::GetStepPulseCount(uint32_t* pulCount) const {
  *pulCount = m_ulStepPulseCount;
  return 0;
}
