// Stand-ins of the ribbon calibration until it is built: enough of each
// operation for the donor checks to run on a ribbon (readings taken and
// compared, the ribbon advanced, the thresholds set); nothing is recorded
// for the auto-diagnosis.
#include "firmware/devices/encoder_count.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/mechanism/donor_mng.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/platform/placeholder.h"
#include "firmware/sequences/ribbon_calibration.h"
#include "firmware/sequences/ribbon_sequence_helpers.h"
#include "firmware/sequences/ribbon_winding.h"

namespace {

bool s_bLogged = false;

void Note() { LogPlaceholderOnce(s_bLogged, "Ribbon calibration"); }

constexpr uint32_t kAdvanceCounts = 10;
constexpr uint32_t kAgreeing = 4;
constexpr uint32_t kChangesToFail = 4;

}  // namespace

int32_t AdvanceRibbonCounts(uint32_t ulCounts, uint32_t ulMask) {
  Note();
  int32_t lResult = g_pDonorMng->SetTarget(ulCounts);
  if (lResult == 0) lResult = g_pDonorMng->SetRibbonPhase(25, ribbonseq::kForward);
  if (lResult == 0) lResult = TightenRibbon(1000, 2, ulMask);
  uint32_t ulDone = 0;
  while (lResult == 0 && ulDone == 0) {
    lResult = g_pDonorMng->IsAtTarget(1, &ulDone);
    if (lResult == 0) lResult = CheckAbort(ulMask);
  }
  g_pDonorMng->StopRibbon(1, 1);
  return lResult;
}

int32_t MeasurePanelRgb(uint32_t* pulClass, uint16_t* pusReading, uint32_t ulMask) {
  Note();
  g_pCurColorSensorSet->Reset();
  uint32_t ulDone = 0;
  int32_t lResult = 0;
  while (lResult == 0 && ulDone == 0) {
    lResult = g_pCurColorSensorSet->ClassifyPanel(pulClass, pusReading, &ulDone);
    if (lResult == 0 && ulDone == 0) lResult = CheckAbort(ulMask);
  }
  g_pCurColorSensorSet->Reset();
  return lResult;
}

int32_t IsColorChanged(const uint16_t* pusReference, const uint16_t* pusReading, int32_t lThreshold,
                       uint32_t* pulChanged) {
  *pulChanged = 0;
  for (uint32_t i = 0; i < 3; ++i) {
    int32_t lDiff = static_cast<int32_t>(pusReading[i]) - static_cast<int32_t>(pusReference[i]);
    if (lDiff < 0) lDiff = -lDiff;
    if (lDiff > lThreshold) *pulChanged = 1;
  }
  return 0;
}

int32_t Calib2th(uint32_t* pulClass, uint16_t* pusReading, int32_t lThreshold, uint32_t ulMask) {
  Note();
  uint16_t ausReference[3] = {0x7FFF, 0x7FFF, 0x7FFF};
  uint32_t aulSum[3] = {};
  uint32_t ulAgreeing = 0;
  uint32_t ulChanges = 0;
  while (ulAgreeing < kAgreeing) {
    int32_t lResult = AdvanceRibbonCounts(kAdvanceCounts, ulMask);
    uint16_t ausNew[3] = {};
    if (lResult == 0) lResult = MeasurePanelRgb(pulClass, ausNew, ulMask);
    if (lResult != 0) return lResult;
    uint32_t ulChanged = 0;
    IsColorChanged(ausReference, ausNew, lThreshold, &ulChanged);
    for (uint32_t i = 0; i < 3; ++i) ausReference[i] = ausNew[i];
    if (ulChanged != 0) {
      ulAgreeing = 0;
      for (uint32_t& ulSum : aulSum) ulSum = 0;
      if (++ulChanges == kChangesToFail) return ribbonseq::RaiseRibbonEmpty();
      continue;
    }
    for (uint32_t i = 0; i < 3; ++i) aulSum[i] += ausNew[i];
    ++ulAgreeing;
  }
  for (uint32_t i = 0; i < 3; ++i) pusReading[i] = static_cast<uint16_t>(aulSum[i] / kAgreeing);
  return 0;
}

int32_t SetColorThresholds(const uint16_t* pusY, const uint16_t* pusM, const uint16_t* pusC, const uint16_t* pusL) {
  Note();
  g_pCurColorSensorRed->SetThreshold(((pusY[COLOR_RED] + pusL[COLOR_RED]) / 2u + pusC[COLOR_RED]) / 2u);
  g_pCurColorSensorGreen->SetThreshold((pusY[COLOR_GREEN] + pusM[COLOR_GREEN]) / 2u);
  g_pCurColorSensorBlue->SetThreshold((pusY[COLOR_BLUE] + pusL[COLOR_BLUE]) / 2u);
  return 0;
}

int32_t RecordColorCalibration(const uint16_t*, const uint16_t*, const uint16_t*, const uint16_t*) {
  Note();
  return 0;
}

int32_t RecordBarcodeLevels(uint32_t, uint32_t) {
  Note();
  return 0;
}
