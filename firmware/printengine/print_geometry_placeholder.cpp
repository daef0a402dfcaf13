// Placeholder of the print geometry: it keeps the offsets the edges would be
// computed from, and no edge yet; the engine constants, the track-correction
// buffers and table 10 are not kept.
#include "firmware/devices/settings.h"
#include "firmware/platform/placeholder.h"
#include "firmware/printengine/print_geometry.h"

constinit CPrintGeometry g_PrintGeometry;

namespace {
bool s_bLogged;
void Note() { LogPlaceholderOnce(s_bLogged, "CPrintGeometry (print edges)"); }
}  // namespace

int32_t CPrintGeometry::ApplyCisOffsets() {
  Note();
  m_alCisOffset[0] = SettingValue(g_ParamCisOffsetL);
  m_alCisOffset[1] = SettingValue(g_ParamCisOffsetR);
  return 0;
}

int32_t CPrintGeometry::ApplyMgOffsets() {
  Note();
  m_alMgOffset[0] = SettingValue(g_ParamMgOffsetL);
  m_alMgOffset[1] = SettingValue(g_ParamMgOffsetR);
  return 0;
}

int32_t CPrintGeometry::SetForEngine(int32_t) {
  Note();
  return 0;
}

int32_t LoadTrackCorrectLineBuffers() {
  Note();
  return 0;
}

int32_t FillDspTable10(uint8_t) {
  Note();
  return 0;
}
