// Placeholder of the CIS: no calibration data are read yet, so the start-up
// finds none usable and loads no gains.
#include "firmware/platform/placeholder.h"
#include "firmware/printengine/cis.h"

constinit CCis g_Cis;

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
