#include "firmware/printengine/gradation.h"

#include <cmath>
#include <cstring>

#include "firmware/devices/print_log.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/hal/kernel.h"
#include "firmware/platform/ioctl.h"
#include "firmware/printengine/print_job_record.h"
#include "firmware/printengine/print_line.h"
#include "firmware/printengine/print_sequence_words.h"
#include "firmware/printengine/table_store.h"
#include "firmware/printengine/tone_curve.h"

constinit uint16_t g_ausGradationBase[GRADATION_ENTRIES];
constinit uint16_t g_ausPlaneGradation[GRADATION_ENTRIES];

namespace {

constexpr uint32_t kColourPlanes = 3;
constexpr uint32_t kBlockOvercoat = 3;
constexpr uint32_t kBlockSp = 4;
// Table 18's blocks: Y, M, C, glossy overcoat, matte overcoat, SP.
constexpr uint32_t kBaseGlossy = 768;
constexpr uint32_t kBaseMatte = 1024;
constexpr uint32_t kBaseSp = 1280;
constexpr uint32_t kLowEndTop = 30;
constexpr uint32_t kHighEndPivot = 165;
constexpr uint32_t kHighEndFlat = 236;
constexpr uint32_t kSpFloor = 100;
constexpr uint32_t kSpShift = 50;
// TABLE table ids by table index k.
constexpr uint32_t kTableTempA = 66;
constexpr uint32_t kTableTempB = 72;
constexpr uint32_t kTableTempC = 78;
constexpr uint32_t kTableLevelD = 84;
constexpr uint32_t kTableLevelE = 90;
constexpr uint32_t kTableHumidH = 48;
constexpr uint32_t kTableHumidG = 54;
constexpr uint32_t kTableHumidF = 108;
// Print-log keys of the plane, ORed into the print sequences' plane key.
constexpr uint32_t kLogEnvTemp = 0x70000;
constexpr uint32_t kLogHeadTemp = 0x80000;
constexpr uint32_t kLogHumid = 0x90000;

// Entry ulIndex of a TABLE table, as its 16 bits.
int32_t TableWord(uint32_t ulId, uint32_t ulIndex, uint16_t* pusValue) {
  PhysAddr ulTable = 0;
  const int32_t lResult = GetTableAddress(ulId, &ulTable);
  if (lResult != 0) return lResult;
  return IoctlRead16(ulTable + 2 * ulIndex, pusValue);
}

// The level an entry is corrected at: the tone curve's level of the entry
// for Y, M and C when a curve is given, else the entry's own index.
uint32_t LevelOf(uint32_t ulPlane, uint32_t ulIndex, const uint16_t* pusToneCurve) {
  if (ulPlane >= kColourPlanes || pusToneCurve == nullptr) return ulIndex;
  const uint32_t ulLevel = static_cast<uint32_t>(pusToneCurve[ulPlane * GRADATION_BLOCK + ulIndex] >> 6);
  return ulLevel > 255 ? 255 : ulLevel;
}

int32_t CurValue(CParameter* pParam) { return pParam != nullptr ? SettingValue(*pParam) : 0; }

template <typename Scale>
int32_t ScaleWords(PhysAddr ulSource, uint16_t* pusDestination, uint32_t ulCount, Scale scale) {
  for (uint32_t i = 0; i < ulCount; ++i) {
    uint16_t usValue = 0;
    IoctlRead16(ulSource + 2 * i, &usValue);
    pusDestination[i] = static_cast<uint16_t>(scale(i, static_cast<uint32_t>(usValue)));
  }
  return 0;
}

}  // namespace

int32_t ScaleTableWordsPercent(uint32_t ulPercent, PhysAddr ulSource, uint16_t* pusDestination, uint32_t ulCount) {
  return ScaleWords(ulSource, pusDestination, ulCount, [&](uint32_t, uint32_t v) { return v * ulPercent / 100; });
}

int32_t ScaleTableWordsPerMille(uint32_t ulPerMille, PhysAddr ulSource, uint16_t* pusDestination, uint32_t ulCount) {
  return ScaleWords(ulSource, pusDestination, ulCount, [&](uint32_t, uint32_t v) { return v * ulPerMille / 1000; });
}

int32_t ScaleSpTableWords(uint32_t ulPercent, PhysAddr ulSource, uint16_t* pusDestination, uint32_t ulCount) {
  return ScaleWords(ulSource, pusDestination, ulCount, [&](uint32_t i, uint32_t v) {
    if (i < GRADATION_BLOCK) v = v < kSpFloor ? 1 : v - kSpShift;
    return v * ulPercent / 100;
  });
}

int32_t AdjustGradationLowEnd(int32_t lPercent, const uint16_t* pusSource, uint16_t* pusDestination) {
  const int32_t p10 = 10 * lPercent;
  const int32_t lP = pusSource[1];
  for (uint32_t i = 0; i < GRADATION_BLOCK; ++i) {
    int32_t w = lP;
    if (i >= 1 && i <= kLowEndTop) {
      w = lP * p10 / 1000;
    } else if (i > kLowEndTop) {
      const int32_t r = p10 + static_cast<int32_t>(i - kLowEndTop - 1) * (1000 - p10) / 224;
      w = r * lP / 1000;
    }
    pusDestination[i] = static_cast<uint16_t>(static_cast<int32_t>(pusSource[i]) + w - lP);
  }
  return 0;
}

int32_t AdjustGradationHighEnd(int32_t lPerMille, const uint16_t* pusSource, uint16_t* pusDestination) {
  const int32_t lP = pusSource[kHighEndPivot];
  for (uint32_t i = 0; i <= kHighEndFlat; ++i) {
    int32_t w = lP;
    if (i > kHighEndPivot) {
      const int32_t r = lPerMille + (195 - static_cast<int32_t>(i)) * (1000 - lPerMille) / 30;
      w = r * lP / 1000;
    }
    pusDestination[i] = static_cast<uint16_t>(static_cast<int32_t>(pusSource[i]) + w - lP);
  }
  for (uint32_t i = kHighEndFlat + 1; i < GRADATION_BLOCK; ++i) pusDestination[i] = pusDestination[kHighEndFlat];
  return 0;
}

int32_t CToneCurve::BuildGradationBase(const ImageSlot* pSlot) {
  PhysAddr ulTable = 0;
  const int32_t lResult = GetTableAddress(GRADATION_BASE_TABLE, &ulTable);
  if (lResult != 0) return lResult;
  uint16_t* pusBase = g_ausGradationBase;
  ScaleTableWordsPercent(100, ulTable, pusBase, kColourPlanes * GRADATION_BLOCK);
  const int32_t lLow = CurValue(g_pCurParamDensityLow);
  for (uint32_t b = 0; b < kColourPlanes; ++b) {
    AdjustGradationLowEnd(lLow, pusBase + b * GRADATION_BLOCK, pusBase + b * GRADATION_BLOCK);
  }
  uint16_t* pusOvercoat = pusBase + kBlockOvercoat * GRADATION_BLOCK;
  if (pSlot != nullptr && pSlot->usOvercoatKind == OVERCOAT_MATTE) {
    ScaleTableWordsPerMille(1000, ulTable + 2 * kBaseMatte, pusOvercoat, GRADATION_BLOCK);
    const int32_t lPerMille = 10 * CurValue(g_pCurParamDensityMt2) + CurValue(g_pCurParamDensityMt2Minor);
    AdjustGradationHighEnd(lPerMille, pusOvercoat, pusOvercoat);
  } else {
    ScaleTableWordsPerMille(1000, ulTable + 2 * kBaseGlossy, pusOvercoat, GRADATION_BLOCK);
  }
  return ScaleSpTableWords(100, ulTable + 2 * kBaseSp, pusBase + kBlockSp * GRADATION_BLOCK, GRADATION_BLOCK);
}

int32_t CToneCurve::ComposeToneCurve(const uint16_t* pusToneCurve) {
  uint16_t* pusComposed = WorkArea();
  const uint32_t ulOne = static_cast<uint32_t>(std::pow(2.0, 6.0));
  for (uint32_t c = 0; c < kColourPlanes; ++c) {
    const uint16_t* pusBase = g_ausGradationBase + c * GRADATION_BLOCK;
    for (uint32_t i = 0; i < GRADATION_BLOCK; ++i) {
      const uint32_t x = pusToneCurve[c * GRADATION_BLOCK + i];
      uint32_t h = x >> 6;
      if (h > 255) h = 255;
      const uint32_t f = x & 63u;
      const uint32_t a = pusBase[h];
      const uint32_t b = h == 255 ? a : pusBase[h + 1];
      pusComposed[c * GRADATION_BLOCK + i] = static_cast<uint16_t>(((ulOne - f) * a + f * b) >> 6);
    }
  }
  std::memcpy(pusComposed + kBlockOvercoat * GRADATION_BLOCK, g_ausGradationBase + kBlockOvercoat * GRADATION_BLOCK,
              2 * 2 * GRADATION_BLOCK);
  return 0;
}

int32_t CToneCurve::CorrectPlaneByTemperature(uint32_t ulPlane, uint32_t ulEnvIndex, uint32_t ulHeadTemp,
                                              const uint16_t* pusToneCurve) {
  return CorrectGradationTemp(ulPlane, ulEnvIndex, ulHeadTemp, WorkArea(), g_ausPlaneGradation, pusToneCurve,
                              GRADATION_BLOCK);
}

int32_t CorrectGradationTemp(uint32_t ulPlane, uint32_t ulEnvIndex, uint32_t ulHeadTemp, const uint16_t* pusSourceBase,
                             uint16_t* pusDestinationBase, const uint16_t* pusToneCurve, uint32_t ulCount) {
  const uint32_t k = g_PrintLine.GetTableIndex(ulPlane);
  uint16_t ausCoef[3] = {};
  const uint32_t aulCoefTables[3] = {kTableTempA + k, kTableTempB + k, kTableTempC + k};
  for (uint32_t n = 0; n < 3; ++n) {
    const int32_t lResult = TableWord(aulCoefTables[n], ulEnvIndex, &ausCoef[n]);
    if (lResult != 0) return lResult;
  }
  const double dA = static_cast<int16_t>(ausCoef[0]);
  const double dB = static_cast<int16_t>(ausCoef[1]);
  const double dC = static_cast<int16_t>(ausCoef[2]);
  const double dHead = static_cast<uint16_t>(ulHeadTemp);
  const uint16_t* pusSource = pusSourceBase + ulPlane * GRADATION_BLOCK;
  uint16_t* pusDestination = pusDestinationBase + ulPlane * GRADATION_BLOCK;
  if (ulCount > GRADATION_BLOCK) ulCount = GRADATION_BLOCK;
  for (uint32_t i = 0; i < ulCount; ++i) {
    if (pusSource[i] == 0) {
      pusDestination[i] = 0;
      continue;
    }
    const uint32_t j = LevelOf(ulPlane, i, pusToneCurve);
    uint16_t usD = 0;
    uint16_t usE = 0;
    int32_t lResult = TableWord(kTableLevelD + k, j, &usD);
    if (lResult == 0) lResult = TableWord(kTableLevelE + k, j, &usE);
    if (lResult != 0) return lResult;
    const double dD = static_cast<int16_t>(usD);
    const double dE = static_cast<int16_t>(usE);
    const double t = (dA / 1000.0) * dHead * dHead + (dB / 100.0) * (dD / 1000.0) * dHead + (dE / 1000.0) * dC;
    // The corrected entry, truncated toward zero, as a signed 16-bit level;
    // a correction below 0 stops at 0.
    const int16_t sLevel = static_cast<int16_t>(static_cast<uint16_t>(static_cast<int32_t>(pusSource[i] + t)));
    pusDestination[i] = sLevel < 0 ? 0 : static_cast<uint16_t>(sLevel);
  }
  g_PrintLog.SetField(g_ulPrintLogColor | kLogEnvTemp, ulEnvIndex);
  g_PrintLog.SetField(g_ulPrintLogColor | kLogHeadTemp, ulHeadTemp);
  if (g_ulCurrentUnit != 0) {
    syslog(LOG_EMERG, "[TABLE] UnitB - Color = %d, env_temp = %d, head_temp = %d", ulPlane, ulEnvIndex, ulHeadTemp);
  } else {
    syslog(LOG_EMERG, "[TABLE] UnitA - Color = %d, env_temp = %d, head_temp = %d", ulPlane, ulEnvIndex, ulHeadTemp);
  }
  return 0;
}

int32_t CorrectGradationHumid(uint32_t ulPlane, uint32_t ulEnvIndex, uint32_t ulHumidIndex, const uint16_t* pusSourceBase,
                              uint16_t* pusDestinationBase, const uint16_t* pusToneCurve, uint32_t ulCount) {
  const uint32_t k = g_PrintLine.GetTableIndex(ulPlane);
  PhysAddr ulHumidTable = 0;
  int32_t lResult = GetTableAddress(kTableHumidH + k, &ulHumidTable);
  uint8_t ucH = 0;
  if (lResult == 0) lResult = IoctlRead8(ulHumidTable + ulHumidIndex, &ucH);
  uint16_t usF = 0;
  if (lResult == 0) lResult = TableWord(kTableHumidF + k, ulEnvIndex, &usF);
  if (lResult != 0) return lResult;
  const int32_t lSwitch = SettingValue(g_ParamHumidCorrect);
  syslog(LOG_EMERG, "[TABLE] Color = %d, correct_sw = %d", ulPlane, lSwitch);
  const int64_t llHF = static_cast<int64_t>(static_cast<int8_t>(ucH)) * usF;
  const uint16_t* pusSource = pusSourceBase + ulPlane * GRADATION_BLOCK;
  uint16_t* pusDestination = pusDestinationBase + ulPlane * GRADATION_BLOCK;
  // One block at most: the table's length may span the next planes'.
  if (ulCount > GRADATION_BLOCK) ulCount = GRADATION_BLOCK;
  for (uint32_t i = 0; i < ulCount; ++i) {
    if (pusSource[i] == 0) continue;
    uint16_t usG = 0;
    lResult = TableWord(kTableHumidG + k, LevelOf(ulPlane, i, pusToneCurve), &usG);
    if (lResult != 0) return lResult;
    int64_t llT = llHF * usG / 1000 / 1000;
    if (lSwitch == 0) llT = 0;
    int64_t llLevel = pusSource[i] + llT;
    if (llLevel < 0) llLevel = 0;
    if (llLevel > 0xFFFF) llLevel = 0xFFFF;
    pusDestination[i] = static_cast<uint16_t>(llLevel);
  }
  g_PrintLog.SetField(g_ulPrintLogColor | kLogHumid, ulHumidIndex);
  return 0;
}

uint32_t GradationHumidCount(uint32_t ulPlane) {
  uint32_t ulLength = 0;
  GetTableLength(GRADATION_BASE_TABLE + g_PrintLine.GetTableIndex(ulPlane), &ulLength);
  return ulLength / 2;
}
