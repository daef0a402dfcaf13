// What the tone-curve placeholder was asked to do, in order, for tests: the
// operation, the curve and the download-buffer offset, source address or
// copy source, with the first two bytes of a host curve (which of the
// parked curves it was given).
#pragma once

#include <cstdint>

enum class ToneCurveOp : uint8_t { Load, LoadHost, StoreHost, Rebuild, Copy };

struct ToneCurveCall {
  ToneCurveOp op;
  uint32_t ulCurve;
  uint32_t ulWhere;
  uint16_t usFirstBytes;
};

constexpr uint32_t TONE_CURVE_CALLS_KEPT = 16;
struct PlaceholderToneCurveCalls {
  uint32_t ulCount;  // every call, also those past the kept ones
  ToneCurveCall aCalls[TONE_CURVE_CALLS_KEPT];
  // What the host-curve operations return (0 until a test sets it).
  int32_t lHostResult;
};

extern PlaceholderToneCurveCalls g_ToneCurveCalls;
