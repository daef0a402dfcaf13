// Placeholder of the CIS calibration image: the start-up sets the LED
// settings and the offset, but no calibration data are read yet, so the start-up finds none usable and loads no gains; nothing is
// written to flash by a calibration update yet: its calls are noted and
// answered as a test sets them.
#include "firmware/devices/settings.h"
#include "firmware/platform/ioctl.h"
#include "firmware/platform/placeholder.h"
#include "firmware/printengine/cis.h"
#include "firmware/printengine/cis_placeholder.h"

constinit PlaceholderCisCalls g_CisCalls;

namespace {
bool s_bLogged;
void Note() { LogPlaceholderOnce(s_bLogged, "CCis calibration image"); }
}  // namespace

int32_t CCis::InitCis() {
  Note();
  m_pucImage = m_aucImage;
  m_apLed[0] = &g_ParamCisLedV;
  m_apLed[1] = &g_ParamCisLedVCB;
  m_apLed[2] = &g_ParamCisLedVDA;
  m_apLed[3] = &g_ParamCisLedVDB;
  IoctlWrite16(CIS_REG_OFFSET, static_cast<uint16_t>(SettingValue(g_ParamCisOffsetV)));
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
