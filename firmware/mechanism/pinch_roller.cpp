#include "firmware/mechanism/pinch_roller.h"

#include "firmware/control/error_manager.h"

const PinchMotion* FindPinchMotion(const PinchMotions& motions, PinchMotionKind eKind, uint32_t ulTarget,
                                   uint32_t ulPosition) {
  const uint32_t ulFrom = ulPosition < 16 ? 1u << ulPosition : 0u;
  for (uint32_t i = 0; i < motions.ulRows; ++i) {
    const PinchMotion& row = motions.pRows[i];
    if (row.eKind == eKind && row.usTarget == ulTarget && (row.usFrom & ulFrom) != 0) return &row;
  }
  return nullptr;
}

const PinchMotion* FollowPinchMotion(const PinchMotions& motions, PinchMotionKind eKind, uint32_t ulTarget,
                                     PositionerRecord& rec) {
  const PinchMotion* pRow = FindPinchMotion(motions, eKind, ulTarget, rec.usPosition);
  const PinchMotion* pSequence = pRow;
  for (uint32_t i = 0; i < motions.ulRows && pSequence == nullptr; ++i) {
    if (motions.pRows[i].eKind == eKind) pSequence = &motions.pRows[i];
  }
  rec.usTarget = static_cast<uint16_t>(ulTarget);
  if (pSequence != nullptr) rec.Follow(pSequence->pWatched, *pSequence->pLevels);
  return pRow;
}

int32_t VerifyPinch(const PinchVerifyRows& rows, uint32_t ulPosition, uint32_t ulErrorIndex, bool* pbMismatch) {
  *pbMismatch = false;
  bool bHasRow = false;
  for (uint32_t i = 0; i < rows.ulRows; ++i) {
    const PinchVerifyRow& row = rows.pRows[i];
    if (row.usPosition != ulPosition) continue;
    bHasRow = true;
    uint32_t ulOn = 0;
    const int32_t lResult = ReadStableOn(row.pSensor, &ulOn);
    if (lResult != 0) return lResult;
    if (ulOn != row.ucLevel) {
      g_ErrorMng.SetError(ulErrorIndex);
      *pbMismatch = true;
      return -1;
    }
  }
  return bHasRow ? 0 : -1;
}

int32_t RaisePinchError(uint32_t ulError) { return ulError != 0 ? g_ErrorMng.SetError(ulError) : 0; }

uint32_t PinchDownTarget(uint32_t ulRequest, uint32_t ulUnit) {
  if (ulRequest != kPinchRequestDown) return ulRequest;
  return ulUnit == 0 ? PINCH_DOWN_L : PINCH_DOWN_R;
}

uint32_t PinchHalfTarget(uint32_t ulRequest, uint32_t ulUnit) {
  if (ulRequest != kPinchRequestHalf) return ulRequest;
  return ulUnit == 0 ? PINCH_HALF_L : PINCH_HALF_R;
}

namespace {
constexpr PositionTexts Text(uint16_t usPosition, const char* pszText) { return {usPosition, {{4, pszText}, {0, nullptr}}}; }
constexpr const char* kUndef = ":UNDEF      ";
constexpr const char* kUp = ":L-UP/R-UP  ";
constexpr const char* kDownL = ":L-DOWN/R-UP";
constexpr const char* kDownR = ":L-UP/R-DOWN";
}  // namespace

const PositionTexts kPinchTextsBetween[6] = {
    Text(PINCH_UNDEFINED, kUndef), Text(PINCH_UP, kUp),           Text(PINCH_HALF_L, ":HALF       "),
    Text(PINCH_DOWN_L, kDownL),    Text(PINCH_HALF_R, ":HALF       "), Text(PINCH_DOWN_R, kDownR),
};
const PositionTexts kPinchTextsHalf[6] = {
    Text(PINCH_UNDEFINED, kUndef), Text(PINCH_UP, kUp),                 Text(PINCH_HALF_L, ":L-HALF/R-UP"),
    Text(PINCH_DOWN_L, kDownL),    Text(PINCH_HALF_R, ":L-UP/R-HALF"), Text(PINCH_DOWN_R, kDownR),
};
