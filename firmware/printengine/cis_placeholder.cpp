// Placeholder of the CIS: no calibration data are read yet, so the start-up
// finds none usable and loads no gains; nothing is written to flash by a
// calibration update yet: its calls are noted and answered as a test sets
// them.
#include "firmware/platform/placeholder.h"
#include "firmware/printengine/cis.h"
#include "firmware/printengine/cis_placeholder.h"

constinit CCis g_Cis;
constinit PlaceholderCisCalls g_CisCalls;

namespace {
bool s_bLogged;
void Note() { LogPlaceholderOnce(s_bLogged, "CCis (contact image sensor)"); }
}  // namespace

int32_t CCis::InitCis() {
  Note();
  return -1;
}

int32_t CCis::SetCalibData() {
  Note();
  return 0;
}

int32_t CCis::WriteCalibImage(uint32_t ulSize) {
  Note();
  ++g_CisCalls.ulWriteCalls;
  g_CisCalls.ulLastWriteSize = ulSize;
  return g_CisCalls.lWriteResult;
}

int32_t CCis::RestoreEepromBackup() {
  Note();
  ++g_CisCalls.ulRestoreCalls;
  return g_CisCalls.lRestoreResult;
}
