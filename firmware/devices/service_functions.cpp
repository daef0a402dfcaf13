// Small services beside the global objects: the serial number's EEPROM
// write, the USB side's tone-curve lookup, the pending drive steps and the
// exit-print threshold.
#include <cstring>

#include "firmware/devices/drive_steps.h"
#include "firmware/devices/eeprom_cells.h"
#include "firmware/devices/main_loop_stop.h"
#include "firmware/devices/serial_number.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/tone_curve_lookup.h"
#include "firmware/mechanism/donor_mng.h"
#include "firmware/mechanism/feed_pinch.h"
#include "firmware/platform/fpga_regs.h"
#include "firmware/printengine/tone_curve.h"

namespace {

constexpr uint32_t kExitPrintThresholdReg = 0x6400009Cu;

}  // namespace

int32_t SetSerialNumber(const char* pcSerial) {
  alignas(2) char acCell[SERIAL_NO_LENGTH];
  std::memcpy(acCell, pcSerial, SERIAL_NO_LENGTH);
  // The RAM copy follows only a number the EEPROM holds; a failed write is
  // reported, not hidden.
  const int32_t lResult = g_CellSerialNo.Write(acCell);
  if (lResult == 0) SetSerialNumberRam(acCell);
  return lResult;
}

int32_t GetToneCurve(uint32_t ulSource, uint32_t ulCurve, PhysAddr* pulAddress) {
  // A stored curve is sent from the RAM mirror of the current bank: the
  // application may be erasing or programming a bank meanwhile.
  if (ulSource == TONE_CURVE_SOURCE_FLASH) return g_ToneCurve.GetMirrorCurveAddress(ulCurve, pulAddress);
  return g_ToneCurve.GetCurveAddress(ulSource, ulCurve, pulAddress);
}

int32_t RunPendingDriveSteps(uint32_t* pulPending) {
  constexpr uint32_t kDonorBits = 4;
  constexpr uint32_t kDriveBits = 6;
  int32_t lResult = 0;
  for (uint32_t ulBit = 0; ulBit < kDriveBits; ++ulBit) {
    const uint32_t ulMask = 1u << ulBit;
    if ((*pulPending & ulMask) == 0) continue;
    bool bEnded = false;
    if (ulBit < kDonorBits) {
      lResult = g_pDonorMng->BackgroundStep();
      bEnded = lResult != 1;
    } else {
      int32_t lDone = 0;
      lResult = g_pProllFeed->Step(&lDone);
      bEnded = lResult != 0 || lDone == 1;
    }
    if (bEnded) *pulPending &= ~ulMask;
  }
  return lResult;
}

int32_t ApplyExitPrintThreshold() {
  const auto ulLevel = static_cast<uint32_t>(SettingValue(g_ParamSliceExitPrint1));
  g_FpgaMain.Write(kExitPrintThresholdReg, static_cast<uint16_t>(ulLevel & 0xFFFFu));
  return 0;
}
