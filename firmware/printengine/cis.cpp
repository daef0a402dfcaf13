// The CIS registers, line capture and the gradient filter.
#include "firmware/printengine/cis.h"

#include "firmware/devices/parameter.h"
#include "firmware/platform/ioctl.h"
#include "firmware/platform/time_base.h"
#include "firmware/printengine/print_geometry.h"

constinit CCis g_Cis;

namespace {

constexpr uint32_t kLedSettleMs = 100;
constexpr uint32_t kStatusShift = 8;
constexpr uint16_t kStatusBits = 0x3;
// The buffer of the last complete line by the status bits; 0: none.
constexpr PhysAddr kBufferByStatus[4] = {0x64043000u, 0x64041000u, 0x64042000u, 0};

// The filter: 13-pixel windows, their middle nine averaged.
constexpr uint32_t kFilterFirst = 26, kFilterLast = 313;
constexpr uint32_t kHalfWindow = 6, kWindow = 2 * kHalfWindow + 1, kTrim = 2;
constexpr double kFlat = 1.0;

uint16_t ReadReg(PhysAddr ulAddr) {
  uint16_t usValue = 0;
  IoctlRead16(ulAddr, &usValue);
  return usValue;
}

}  // namespace

CCis::CCis(GlobalBuild) : m_ulSettingIndex(0) {}

void CCis::SetEnable() { IoctlWrite16(CIS_REG_CONTROL, static_cast<uint16_t>(ReadReg(CIS_REG_CONTROL) | CIS_CONTROL_ENABLE)); }

void CCis::ClearEnable() {
  IoctlWrite16(CIS_REG_CONTROL, static_cast<uint16_t>(ReadReg(CIS_REG_CONTROL) & ~CIS_CONTROL_ENABLE));
}

uint32_t CCis::SelectedLedLevel() const {
  const CParameter* pLed = m_apLed[m_ulSettingIndex];
  int32_t lLevel = 0;
  if (pLed != nullptr) pLed->GetValue(&lLevel);
  return static_cast<uint32_t>(lLevel);
}

void CCis::LedOn() {
  SetEnable();
  if (m_ulSettingIndex < CIS_SETTINGS) IoctlWrite16(CIS_REG_LED, static_cast<uint16_t>(SelectedLedLevel()));
  g_MsTimer.WaitMs(kLedSettleMs);
}

void CCis::LedOff() {
  SetEnable();
  IoctlWrite16(CIS_REG_LED, 0);
}

void CCis::LedLevelDown(uint32_t ulStep) {
  const uint16_t usLevel = ReadReg(CIS_REG_LED);
  if (usLevel >= ulStep) IoctlWrite16(CIS_REG_LED, static_cast<uint16_t>(usLevel - ulStep));
}

void CCis::LedLevelUp(uint32_t ulStep) {
  IoctlWrite16(CIS_REG_LED, static_cast<uint16_t>(ReadReg(CIS_REG_LED) + ulStep));
}

int32_t CCis::ReadLineBuffer(uint8_t* pucLine) {
  const PhysAddr ulBuffer = kBufferByStatus[(ReadReg(CIS_REG_CONTROL) >> kStatusShift) & kStatusBits];
  if (ulBuffer == 0) return -1;
  for (uint32_t w = 0; w < CIS_WORDS; ++w) {
    const uint16_t usWord = ReadReg(ulBuffer + 2 * w);
    pucLine[2 * w] = static_cast<uint8_t>(usWord);
    pucLine[2 * w + 1] = static_cast<uint8_t>(usWord >> 8);
  }
  return 0;
}

uint8_t CCis::TrimMean8(uint8_t* pucSamples) {
  for (uint32_t ulPass = 0; ulPass < CIS_CAPTURE_SAMPLES; ++ulPass) {
    for (uint32_t i = 0; i + 1 < CIS_CAPTURE_SAMPLES; ++i) {
      if (pucSamples[i] > pucSamples[i + 1]) {
        const uint8_t ucSwap = pucSamples[i];
        pucSamples[i] = pucSamples[i + 1];
        pucSamples[i + 1] = ucSwap;
      }
    }
  }
  const uint16_t usSum = static_cast<uint16_t>(pucSamples[2] + pucSamples[3] + pucSamples[4] + pucSamples[5]);
  return static_cast<uint8_t>(usSum >> 2);
}

void CCis::CaptureCisLine(uint8_t* pucLine, uint32_t ulCount) {
  if (ulCount > CIS_RAW_LINES) ulCount = CIS_RAW_LINES;
  for (uint32_t k = 0; k < ulCount; ++k) ReadLineBuffer(m_aaucRaw[k]);
  for (uint32_t p = 0; p < CIS_PIXELS; ++p) {
    for (uint32_t k = 0; k < ulCount; ++k) m_aaucSamples[p][k] = m_aaucRaw[k][p];
    pucLine[p] = TrimMean8(m_aaucSamples[p]);
  }
}

void CCis::FilterLine(const uint8_t* pucLine, double* pdOut) {
  double adMean[kFilterLast + 1] = {};
  for (uint32_t i = kFilterFirst; i <= kFilterLast; ++i) {
    int32_t alWindow[kWindow];
    for (uint32_t k = 0; k < kWindow; ++k) alWindow[k] = pucLine[i - kHalfWindow + k];
    SortIntAscending(alWindow, kWindow);
    int32_t lSum = 0;
    for (uint32_t k = kTrim; k < kWindow - kTrim; ++k) lSum += alWindow[k];
    adMean[i] = lSum / static_cast<double>(kWindow - 2 * kTrim);
  }
  for (uint32_t p = 0; p < CIS_PIXELS; ++p) pdOut[p] = 0.0;
  for (uint32_t i = kFilterFirst; i < kFilterLast; ++i) {
    const double d = adMean[i] - adMean[i + 1];
    pdOut[i] = d >= kFlat || d <= -kFlat ? d : 0.0;
  }
}

void CCis::SetSettingIndex(uint32_t ulIndex) {
  if (ulIndex < CIS_SETTINGS) m_ulSettingIndex = ulIndex;
}
