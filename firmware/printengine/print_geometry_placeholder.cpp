// Placeholder of the print geometry: it keeps the offsets the edges would be
// computed from, and no edge yet; the engine constants, the track-correction
// buffers and table 10 are not kept. The track-correction lengths are kept
// in RAM only, not in the settings.
#include "firmware/devices/settings.h"
#include "firmware/platform/placeholder.h"
#include "firmware/printengine/print_geometry.h"

constinit CPrintGeometry g_PrintGeometry;
constinit CTrackCorrect g_TrackCorrect;

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

int32_t CTrackCorrect::PushLength(uint32_t ulSide, uint32_t ulValue, uint32_t ulMode) {
  Note();
  if (ulSide > 1) return -1;
  uint32_t* pulLengths = m_aaulLengths[ulSide];
  if (ulMode == 1) {
    pulLengths[2] = pulLengths[1];
    pulLengths[1] = pulLengths[0];
    pulLengths[0] = ulValue;
  } else if (ulMode == 2) {
    pulLengths[0] = pulLengths[1] = pulLengths[2] = ulValue;
  } else {
    pulLengths[0] = ulValue;
  }
  return 0;
}

int32_t CTrackCorrect::GetLengths(uint32_t ulSide, uint32_t aulLengths[3]) const {
  if (ulSide > 1) return -1;
  for (uint32_t i = 0; i < 3; ++i) aulLengths[i] = m_aaulLengths[ulSide][i];
  return 0;
}

int32_t CTrackCorrect::ConsumeLength(uint32_t ulSide, uint32_t ulFed) {
  Note();
  if (ulSide > 1) return -1;
  for (uint32_t& ulLength : m_aaulLengths[ulSide]) ulLength = ulLength <= ulFed ? 0 : ulLength - ulFed;
  return 0;
}

int32_t CTrackCorrect::SetActive() {
  m_ulActive = 1;
  return 0;
}

int32_t CTrackCorrect::ClearActive() {
  m_ulActive = 0;
  return 0;
}

int32_t CTrackCorrect::IsActive(uint32_t* pulFlag) const {
  *pulFlag = m_ulActive;
  return 0;
}
