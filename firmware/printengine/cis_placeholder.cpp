// Placeholder of the CIS: no calibration data are read yet, so the start-up
// finds none usable and loads no gains; nothing is written to flash by a
// calibration update yet: its calls are noted and answered as a test sets
// them. Nothing is tuned and no edge is searched: those calls too are noted
// and answered as a test sets them.
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

namespace {
void NoteCall(char cWhat) {
  Note();
  PlaceholderCisCalls& c = g_CisCalls;
  if (c.ulCalls < PlaceholderCisCalls::kCallsKept) c.acCalls[c.ulCalls] = cWhat;
  ++c.ulCalls;
  if (c.pfnOnCall != nullptr) c.pfnOnCall();
}
}  // namespace

int32_t CCis::TuneCisOffset(uint32_t ulMode) {
  NoteCall('O');
  g_CisCalls.ulLastTuneMode = ulMode;
  return g_CisCalls.lTuneOffsetResult;
}

int32_t CCis::TuneCisLed(uint32_t ulMode) {
  NoteCall('L');
  g_CisCalls.ulLastTuneMode = ulMode;
  return g_CisCalls.lTuneLedResult;
}

int32_t CCis::DetectPaperEdge(uint32_t* pulEdge) {
  NoteCall('P');
  const int32_t lResult = g_CisCalls.lPaperEdgeResult;
  *pulEdge = lResult == -1 ? 0 : g_CisCalls.ulPaperEdge;
  return lResult;
}

int32_t CCis::DetectPaperImageEdge(uint32_t* pulPaperEdge, uint32_t* pulImageEdge) {
  NoteCall('I');
  const int32_t lResult = g_CisCalls.lImageEdgeResult;
  *pulPaperEdge = lResult == -1 || lResult == -3 ? 0 : g_CisCalls.ulPaperEdge;
  *pulImageEdge = lResult == -2 || lResult == -3 ? 0 : g_CisCalls.ulImageEdge;
  return lResult;
}
