// Placeholder of the cover, paper, thermistor, fan and slack supervision:
// the idle stages find nothing to do yet.
#include "firmware/control/idle_supervisor.h"
#include "firmware/platform/placeholder.h"

namespace {
bool s_bLogged;
int32_t Note() {
  LogPlaceholderOnce(s_bLogged, "cover, paper, thermistor, fan and slack supervision");
  return 0;
}
}  // namespace

int32_t CIdleSupervisor::CheckFrontCover() { return Note(); }
int32_t CIdleSupervisor::CheckSideCovers() { return Note(); }
int32_t CIdleSupervisor::CheckUpperCovers() { return Note(); }
int32_t CIdleSupervisor::CheckPaperCover() { return Note(); }
int32_t CIdleSupervisor::CheckPaperGuide() { return Note(); }
int32_t CIdleSupervisor::CheckPaperPresence() { return Note(); }
int32_t CIdleSupervisor::ControlFansL() { return Note(); }
int32_t CIdleSupervisor::ControlFansR() { return Note(); }
int32_t CIdleSupervisor::CheckThermistorRange() { return Note(); }
int32_t CheckSlackTakeUpCounts() { return Note(); }
