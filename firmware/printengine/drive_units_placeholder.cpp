// Placeholder of the ribbon managers and the feed pinch rollers: the four
// managers count step pulses while counting is enabled, and their pending
// background operation ends at its first step; the feed rollers of both
// engine variants, whose operation ends at its first step, and the main
// rollers, which do nothing.
#include "firmware/platform/placeholder.h"
#include "firmware/printengine/drive_units.h"

namespace {
bool s_bManagersLogged;
}  // namespace

constinit CDonorMng_MarkSen g_DonorMngMarkSenL;
constinit CDonorMng_MarkSen g_DonorMngMarkSenR;
constinit CDonorMng_ColorSen g_DonorMngColorSenL;
constinit CDonorMng_ColorSen g_DonorMngColorSenR;
constinit CProllFeed_EM2 g_ProllFeedEM2;
constinit CProllFeed_EM3 g_ProllFeedEM3;
constinit CProllMain_EM2 g_ProllMainEM2;
constinit CProllMain_EM3 g_ProllMainEM3;
// EM3, the variant of "Engine Version"'s default, until the engine variant
// is selected.
CProllFeed* g_pProllFeed = &g_ProllFeedEM3;

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

int32_t CProllFeed::Step(uint32_t* pulDone) {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "CProllFeed (feed pinch rollers)");
  *pulDone = 1;
  return 0;
}
