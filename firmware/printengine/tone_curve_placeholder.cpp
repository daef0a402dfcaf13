// Placeholder of the tone-curve store: no curve is held yet, so the
// start-up loads nothing, every lookup fails and leaves the address as the
// caller set it, a copy copies nothing, and the curve operations only note
// that they were asked for.
#include "firmware/devices/flash_area_writer.h"
#include "firmware/platform/placeholder.h"
#include "firmware/printengine/tone_curve.h"
#include "firmware/printengine/tone_curve_placeholder.h"

constinit CToneCurve g_ToneCurve;
constinit PlaceholderToneCurveCalls g_ToneCurveCalls;

namespace {

bool s_bLogged;
void Note() { LogPlaceholderOnce(s_bLogged, "CToneCurve (tone-curve store)"); }

void Record(ToneCurveOp op, uint32_t ulCurve, uint32_t ulWhere, uint16_t usFirstBytes) {
  Note();
  if (g_ToneCurveCalls.ulCount < TONE_CURVE_CALLS_KEPT) {
    g_ToneCurveCalls.aCalls[g_ToneCurveCalls.ulCount] = ToneCurveCall{op, ulCurve, ulWhere, usFirstBytes};
  }
  ++g_ToneCurveCalls.ulCount;
}

uint16_t HostCurveStart(uint32_t ulOffset) { return HwRead16(DOWNLOAD_BUFFER + ulOffset); }

}  // namespace

int32_t CToneCurve::InitToneCurve() {
  Note();
  return 0;
}

int32_t CToneCurve::GetCurveAddress(uint32_t, uint32_t, PhysAddr*) const {
  Note();
  return -1;
}

int32_t CToneCurve::LoadCurve(uint32_t ulCurve, PhysAddr ulSource) {
  Record(ToneCurveOp::Load, ulCurve, ulSource, 0);
  return -1;
}

int32_t CToneCurve::LoadHostCurve(uint32_t ulCurve, uint32_t ulOffset) {
  Record(ToneCurveOp::LoadHost, ulCurve, ulOffset, HostCurveStart(ulOffset));
  return g_ToneCurveCalls.lHostResult;
}

int32_t CToneCurve::StoreHostCurve(uint32_t ulCurve, uint32_t ulOffset) {
  Record(ToneCurveOp::StoreHost, ulCurve, ulOffset, HostCurveStart(ulOffset));
  return g_ToneCurveCalls.lHostResult;
}

int32_t CToneCurve::RebuildToneCurve(uint32_t ulCurve) {
  Record(ToneCurveOp::Rebuild, ulCurve, 0, 0);
  return 0;
}

int32_t CToneCurve::CopyCurve(uint32_t ulSource, uint32_t ulCurve, uint16_t*) const {
  Record(ToneCurveOp::Copy, ulCurve, ulSource, 0);
  PhysAddr ulAddress = 0;
  return GetCurveAddress(ulSource, ulCurve, &ulAddress);
}
