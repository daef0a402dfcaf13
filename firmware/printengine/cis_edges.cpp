// The CIS edge searches, the head point from two paper-edge readings and
// the side-offset check.
#include "firmware/control/idle_supervisor.h"
#include "firmware/devices/parameter.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/hal/kernel.h"
#include "firmware/printengine/cis.h"

namespace {

constexpr uint32_t kFirstPixel = 20, kLastPaperPixel = 149, kLastImagePixel = 319;
constexpr uint32_t kImageScanGap = 60;
constexpr uint32_t kFirstHeadPoint = 20, kLastHeadPoint = 320;
// Lines from the second reading to the head of unit A/L and of B/R.
constexpr double kHeadLinesA = 1130.0, kHeadLinesB = 1128.0;
constexpr int32_t kNominalEdge = 80, kSideOffsetLimit = 32;
constexpr uint32_t kUserMode = 0;

void NoPaperEdge() { syslog(LOG_EMERG, "Not Paper Edge..."); }

uint32_t SliceLevel(const CParameter& param) { return static_cast<uint32_t>(SettingValue(param)); }

}  // namespace

void CCis::CaptureLit() {
  LedOn();
  CaptureCisLine(m_aucLine, CIS_CAPTURE_SAMPLES);
  LedOff();
}

int32_t CCis::DetectPaperEdge(uint32_t* pulEdge) {
  CaptureLit();
  FilterLine(m_aucLine, m_adFiltered);
  double dMin = 0.0;
  uint32_t ulEdge = 0;
  for (uint32_t p = kFirstPixel; p <= kLastPaperPixel; ++p) {
    if (m_adFiltered[p] < dMin) {
      dMin = m_adFiltered[p];
      ulEdge = p;
    }
  }
  *pulEdge = ulEdge;
  if (ulEdge != 0) return 0;
  NoPaperEdge();
  return -1;
}

int32_t CCis::DetectPaperImageEdge(uint32_t* pulPaperEdge, uint32_t* pulImageEdge) {
  CaptureLit();
  FilterLine(m_aucLine, m_adFiltered);
  double dMin = 0.0, dMax = 0.0;
  uint32_t ulPaper = 0, ulImage = 0;
  for (uint32_t p = kFirstPixel; p <= kLastImagePixel; ++p) {
    if (m_adFiltered[p] < dMin) {
      dMin = m_adFiltered[p];
      ulPaper = p;
    }
    if (m_adFiltered[p] > dMax) {
      dMax = m_adFiltered[p];
      ulImage = p;
    }
  }
  *pulPaperEdge = ulPaper;
  *pulImageEdge = ulImage;
  int32_t lResult = 0;
  if (ulPaper == 0) {
    NoPaperEdge();
    lResult = -1;
  }
  if (ulImage == 0) {
    syslog(LOG_EMERG, "Not Image Edge...");
    lResult -= 2;
  }
  return lResult;
}

int32_t CCis::DetectPaperEdgeBySlice(uint32_t* pulEdge) {
  LedOn();
  CaptureCisLine(m_aucLine, CIS_CAPTURE_SAMPLES);
  const uint32_t ulLevel = SliceLevel(g_ParamPaperEdgeSLv);
  int32_t lResult = -1;
  *pulEdge = 0;
  for (uint32_t p = kFirstPixel; p <= kLastPaperPixel; ++p) {
    if (m_aucLine[p] >= ulLevel) {
      *pulEdge = p;
      lResult = 0;
      break;
    }
  }
  if (lResult != 0) NoPaperEdge();
  LedOff();
  return lResult;
}

int32_t CCis::FindEdgesBySlice(uint32_t* pulPaperEdge, uint32_t* pulImageEdge) {
  *pulPaperEdge = 0;
  *pulImageEdge = 0;
  LedOn();
  CaptureCisLine(m_aucLine, CIS_CAPTURE_SAMPLES);
  const uint32_t ulPaperLevel = SliceLevel(g_ParamPaperEdgeSLv);
  const uint32_t ulImageLevel = SliceLevel(g_ParamImageEdgeSLv);
  int32_t lResult = -1;
  for (uint32_t p = kFirstPixel; p <= kLastImagePixel; ++p) {
    if (m_aucLine[p] >= ulPaperLevel) {
      *pulPaperEdge = p;
      lResult = 0;
      break;
    }
  }
  if (lResult == 0) {
    for (uint32_t p = *pulPaperEdge + kImageScanGap; p <= kLastImagePixel; ++p) {
      if (m_aucLine[p] <= ulImageLevel) {
        *pulImageEdge = p;
        break;
      }
    }
  } else {
    NoPaperEdge();
  }
  LedOff();
  return lResult;
}

int32_t CCis::CalcHeadPointPaperEdge(uint32_t ulSide, uint32_t ulEdge1, uint32_t ulEdge2, int32_t lDistance) {
  const bool bEdgesIn = ulEdge1 >= kFirstHeadPoint && ulEdge1 <= kLastHeadPoint && ulEdge2 >= kFirstHeadPoint &&
                        ulEdge2 <= kLastHeadPoint;
  if (!bEdgesIn || ulSide > 1) {
    syslog(LOG_EMERG, "CalcHeadPointPaperEdge Parameter Error");
    return -1;
  }
  // The distance is signed: a second reading closer to the first than the
  // sheet's own travel gives a negative one.
  const double dDiff = static_cast<double>(ulEdge1) - static_cast<double>(ulEdge2);
  m_adSkew[ulSide] = lDistance != 0 ? dDiff / static_cast<double>(lDistance) : 0.0;
  const uint32_t ulUnit = GetCurrentUnit();
  double dPosition = m_adSkew[ulSide] * (ulUnit == 0 ? kHeadLinesA : kHeadLinesB) + static_cast<double>(ulEdge2);
  if (dPosition < kFirstHeadPoint) dPosition = kFirstHeadPoint;
  if (dPosition > kLastHeadPoint) dPosition = kLastHeadPoint;
  m_aulHeadPoint[ulSide] = static_cast<uint32_t>(dPosition + 0.5);
  m_aulUnit[ulSide] = ulUnit;
  return 0;
}

int32_t CCis::GetHeadPointPaperEdge(uint32_t ulSide, uint32_t* pulHeadPoint) const {
  if (ulSide >= 2) {
    syslog(LOG_EMERG, "GetHeadPointPaperEdge Parameter Error");
    return -1;
  }
  *pulHeadPoint = m_aulHeadPoint[ulSide];
  return 0;
}

int32_t CCis::CheckCisSideOffset(uint32_t ulUnit, uint32_t ulHeadPoint) {
  const int32_t lHead = static_cast<int32_t>(ulHeadPoint);
  int32_t lValue = ulUnit == 0 ? lHead + SettingValue(g_ParamCisOffsetL) - kNominalEdge
                               : SettingValue(g_ParamCisOffsetR) - lHead + kNominalEdge;
  const char cSide = ulUnit == 0 ? 'L' : 'R';
  int32_t lResult = 0;
  if (g_usServiceMode != kUserMode || (lValue >= -kSideOffsetLimit && lValue <= kSideOffsetLimit)) {
    syslog(LOG_EMERG, "[CIS SideOffset %c] %d -> OK ", cSide, lValue);
  } else {
    syslog(LOG_EMERG, "[CIS SideOffset %c] %d -> NG ", cSide, lValue);
    lValue = 0;
    lResult = -1;
  }
  (ulUnit == 0 ? g_ParamSideOffsetL : g_ParamSideOffsetR).SetValue(lValue);
  return lResult;
}

void CCis::SetCisOffsetL(int32_t lA, int32_t lB) { g_ParamCisOffsetL.SetValue(lA - lB); }

void CCis::SetCisOffsetR(int32_t lA, int32_t lB) { g_ParamCisOffsetR.SetValue(lA - lB); }
