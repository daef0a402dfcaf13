// Placeholder of the CIS calibration image: nothing is written to flash
// yet; the calls are noted and answered as a test sets them.
#include "firmware/platform/placeholder.h"
#include "firmware/printengine/cis.h"
#include "firmware/printengine/cis_placeholder.h"

constinit CCis g_Cis;
constinit PlaceholderCisCalls g_CisCalls;

namespace {
bool s_bLogged;
void Note() { LogPlaceholderOnce(s_bLogged, "CCis (CIS calibration image)"); }
}  // namespace

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
