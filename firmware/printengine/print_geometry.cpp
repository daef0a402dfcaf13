#include "firmware/printengine/print_geometry.h"

#include <cstring>

#include "firmware/devices/settings.h"
#include "firmware/platform/ioctl.h"
#include "firmware/printengine/table_store.h"

constinit CPrintGeometry g_PrintGeometry;
constinit CTrackCorrect g_TrackCorrect;
constinit uint8_t g_DspTable10[DSP_TABLE10_BYTES];

namespace {

constexpr int32_t kHeadDots = 2560;
constexpr int32_t kDefaultLeftEdge = -8;
constexpr int32_t kDefaultRightEdge = 2542;
constexpr int32_t kTrackPointCisOff = 80;
constexpr double kDotsPerMm = 11.82;

// The width constants of an engine variant.
struct EngineWidths {
  int32_t lWidthX100;
  int32_t lWidthA;
  int32_t lWidthB;
};
constexpr EngineWidths kWidthsEngine1 = {5000, 210, 40};
constexpr EngineWidths kWidthsDiam1 = {4794, 201, 93};
constexpr EngineWidths kWidthsEngine3 = {4525, 207, 58};
constexpr EngineWidths kWidthsOther = {5025, 207, 58};

const EngineWidths& WidthsFor(int32_t lVersion) {
  if (lVersion == 1) return SettingValue(g_ParamFeedRollDiam) == 1 ? kWidthsDiam1 : kWidthsEngine1;
  if (lVersion == 2) return kWidthsDiam1;
  if (lVersion == 3) return kWidthsEngine3;
  return kWidthsOther;
}

CParameter* const kTrackLenSettings[2][CTrackCorrect::kLengths] = {
    {&g_ParamTrackLenA, &g_ParamTrackLen2A, &g_ParamTrackLen3A},
    {&g_ParamTrackLenB, &g_ParamTrackLen2B, &g_ParamTrackLen3B},
};

// TABLE values of line buffer k: rows are the sum of three values, bytes
// per row one more.
constexpr uint32_t kRowsValueA = 168;
constexpr uint32_t kBytesPerRowValue = 172;
constexpr uint32_t kRowsValueB = 184;
constexpr uint32_t kRowsValueC = 188;
constexpr uint32_t kFirstLineTable = 126;

uint32_t TableValue(uint32_t ulIndex) {
  uint32_t ulValue = 0;
  GetTableValue(ulIndex, &ulValue);
  return ulValue;
}

}  // namespace

int32_t CPrintGeometry::SetForEngine(int32_t lEngineVersion) {
  const EngineWidths& w = WidthsFor(lEngineVersion);
  m_lWidthX100 = w.lWidthX100;
  m_lWidthA = w.lWidthA;
  m_lWidthB = w.lWidthB;
  g_ParamWidthx100.SetValue(m_lWidthX100);
  g_ParamWidth.SetValue(m_lWidthA);
  g_ParamWidth2.SetValue(m_lWidthB);
  Calc();
  ApplyCisOffsets();
  return ApplyMgOffsets();
}

int32_t CPrintGeometry::Calc() {
  const double dWidthMm = static_cast<double>(m_lWidthX100) / 100.0;
  m_lMgEdgeL = static_cast<int32_t>((50.0 - dWidthMm) * kDotsPerMm) + 40;
  m_lLeftEdge = kDefaultLeftEdge;
  m_lMgEdgeR = static_cast<int32_t>((49.5 - dWidthMm) * kDotsPerMm) + 59;
  m_lRightEdge = kDefaultRightEdge;
  if (SettingValue(g_ParamCisSW) != 0) {
    m_lTrackPointA = SettingValue(g_ParamTrackPointA);
    m_lTrackPointB = SettingValue(g_ParamTrackPointB);
  } else {
    m_lTrackPointA = kTrackPointCisOff;
    m_lTrackPointB = kTrackPointCisOff;
  }
  return 0;
}

int32_t CPrintGeometry::ApplyCisOffsets() {
  m_lLeftEdge = -SettingValue(g_ParamCisOffsetL);
  m_lRightEdge = kHeadDots - SettingValue(g_ParamCisOffsetR);
  return 0;
}

int32_t CPrintGeometry::ApplyMgOffsets() {
  m_lMgEdgeL = m_lWidthB + SettingValue(g_ParamMgOffsetL);
  m_lMgEdgeR = m_lWidthB - SettingValue(g_ParamMgOffsetR);
  return 0;
}

int32_t CPrintGeometry::SetTrackPoint(uint32_t ulWhich, int32_t lValue) {
  if (ulWhich == 0) {
    m_lTrackPointA = lValue;
    g_ParamTrackPointA.SetValue(lValue);
  } else {
    m_lTrackPointB = lValue;
    g_ParamTrackPointB.SetValue(lValue);
  }
  return 0;
}

int32_t CPrintGeometry::GetTrackOffset(uint32_t ulUnit, int32_t* plOffset) const {
  if (ulUnit == 0) {
    *plOffset = m_lTrackPointA - m_lLeftEdge + m_lMgEdgeL - m_lTrackPointB;
  } else {
    *plOffset = m_lRightEdge - m_lTrackPointB - m_lMgEdgeR + m_lTrackPointA -
                static_cast<int32_t>(static_cast<double>(m_lWidthA) * kDotsPerMm);
  }
  return 0;
}

CTrackCorrect::CTrackCorrect(GlobalBuild) {
  for (uint32_t s = 0; s < 2; ++s) {
    for (uint32_t i = 0; i < kLengths; ++i) {
      m_aulLengths[s][i] = static_cast<uint32_t>(SettingValue(*kTrackLenSettings[s][i]));
    }
  }
  m_ulActive = 0;
}

void CTrackCorrect::Store(uint32_t ulSide, uint32_t ulIndex) {
  kTrackLenSettings[ulSide][ulIndex]->SetValue(static_cast<int32_t>(m_aulLengths[ulSide][ulIndex]));
}

int32_t CTrackCorrect::PushLength(uint32_t ulSide, uint32_t ulValue, uint32_t ulMode) {
  if (ulSide > 1) return -1;
  uint32_t* pul = m_aulLengths[ulSide];
  if (ulMode == 1) {
    pul[2] = pul[1];
    pul[1] = pul[0];
    pul[0] = ulValue;
  } else if (ulMode == 2) {
    pul[0] = pul[1] = pul[2] = ulValue;
  } else {
    pul[0] = ulValue;
    Store(ulSide, 0);
    return 0;
  }
  for (uint32_t i = 0; i < kLengths; ++i) Store(ulSide, i);
  return 0;
}

int32_t CTrackCorrect::GetLengths(uint32_t ulSide, uint32_t* pulLengths) const {
  if (ulSide > 1) return -1;
  for (uint32_t i = 0; i < kLengths; ++i) pulLengths[i] = m_aulLengths[ulSide][i];
  return 0;
}

int32_t CTrackCorrect::ConsumeLength(uint32_t ulSide, uint32_t ulFed) {
  if (ulSide > 1) return -1;
  for (uint32_t i = 0; i < kLengths; ++i) {
    uint32_t& ul = m_aulLengths[ulSide][i];
    ul = ul <= ulFed ? 0 : ul - ulFed;
    Store(ulSide, i);
  }
  return 0;
}

int32_t CTrackCorrect::SwapSides() {
  for (uint32_t i = 0; i < kLengths; ++i) {
    const uint32_t ul = m_aulLengths[0][i];
    m_aulLengths[0][i] = m_aulLengths[1][i];
    m_aulLengths[1][i] = ul;
  }
  for (uint32_t s = 0; s < 2; ++s) {
    for (uint32_t i = 0; i < kLengths; ++i) Store(s, i);
  }
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

int32_t LoadTrackCorrectLineBuffers() {
  for (uint32_t k = 0; k < TRACK_LINE_BUFFERS; ++k) {
    uint32_t ulRows = TableValue(kRowsValueA + k) + TableValue(kRowsValueB + k) + TableValue(kRowsValueC + k);
    uint32_t ulBytesPerRow = TableValue(kBytesPerRowValue + k);
    if (ulRows > TRACK_LINE_MAX_ROWS) ulRows = TRACK_LINE_MAX_ROWS;
    if (ulBytesPerRow > TRACK_LINE_ENTRIES) ulBytesPerRow = TRACK_LINE_ENTRIES;
    PhysAddr ulTable = 0;
    const int32_t lResult = GetTableAddress(kFirstLineTable + k, &ulTable);
    if (lResult != 0) return lResult;
    const PhysAddr ulBuffer = TRACK_LINE_BUFFER_BASE + k * TRACK_LINE_BUFFER_STRIDE;
    for (uint32_t r = 0; r < ulRows; ++r) {
      const PhysAddr ulRow = ulBuffer + r * 2 * TRACK_LINE_ENTRIES;
      for (uint32_t i = 0; i < TRACK_LINE_ENTRIES; ++i) IoctlWrite16(ulRow + 2 * i, 0);
      for (uint32_t i = 0; i < ulBytesPerRow; ++i) {
        uint8_t ucByte = 0;
        IoctlRead8(ulTable + r * ulBytesPerRow + i, &ucByte);
        IoctlWrite16(ulRow + 2 * i, ucByte);
        // The mirror of entry 0 would lie one past the row: left out.
        if (i != 0) IoctlWrite16(ulRow + 2 * (TRACK_LINE_ENTRIES - i), ucByte);
      }
    }
  }
  return 0;
}

int32_t FillDspTable10(uint8_t ucValue) {
  std::memset(g_DspTable10, ucValue, sizeof g_DspTable10);
  return 0;
}

int32_t SortIntAscending(int32_t* plValues, uint32_t ulCount) {
  for (uint32_t i = 0; i < ulCount; ++i) {
    for (uint32_t j = ulCount - 1; j > i; --j) {
      if (plValues[j - 1] > plValues[j]) {
        const int32_t l = plValues[j - 1];
        plValues[j - 1] = plValues[j];
        plValues[j] = l;
      }
    }
  }
  return 0;
}
