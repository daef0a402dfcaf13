#include "firmware/control/engine_variant.h"
#include "firmware/devices/encoder_count.h"
#include "firmware/devices/settings.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/sequences/ribbon_sequence_helpers.h"
#include "firmware/sequences/ribbon_winding.h"

namespace {

using ribbonseq::kFullDuty;
using ribbonseq::CountOf;
using ribbonseq::RaiseRibbonEmpty;
using ribbonseq::TimedOut;

constexpr uint32_t kLockLimitMs = 4000;
constexpr uint32_t kModeWindowMs = 500;
constexpr int32_t kModeOneCounts = 59;

// Both units' modes are compared while both units hold a ribbon in use.
bool TwoUnitsInUse(int32_t lRibbonStatus) { return lRibbonStatus == 0 || lRibbonStatus == 1; }
bool OneUnitInUse(int32_t lRibbonStatus) { return lRibbonStatus == 2 || lRibbonStatus == 3; }

void SupplyOff() {
  g_pCurChopMotorRibSrc->Stop();
  g_pCurClutchRibRvs->Off();
}

}  // namespace

int32_t CheckRibbonLoaded(uint32_t ulTolerateTimeout, uint32_t ulMask) {
  enum : uint32_t { WATCH = 0, PULL = 100, LOCK = 200, FOUND = 300 };
  uint32_t ulStart = 0;
  return RunSteps(WATCH, SEQ_STEP_END, ulMask, [&](SeqStepState& s) -> uint32_t {
    switch (s.ulStep) {
      case WATCH:
        g_pCurLockCheckRibbon->Restart();
        g_pCurSlitRibEncSrc->Start();
        g_pCurSlitRibEncSrc->Clear();
        return PULL;
      case PULL:
        g_pCurClutchRibRvs->On();
        g_pCurChopMotorRibSrc->SetDuty(static_cast<uint32_t>(SettingValue(g_ParamTensionS)));
        g_pCurChopMotorRibSrc->Reverse();
        ulStart = g_UsTimer.NowUs();
        return LOCK;
      case LOCK: {
        uint32_t ulLocked = 0;
        s.lResult = g_pCurLockCheckRibbon->CheckLocked(ulLocked);
        if (s.lResult != 0 || ulLocked != 0) return FOUND;
        if (!TimedOut(ulStart, kLockLimitMs)) return LOCK;
        if (ulTolerateTimeout == 0) s.lResult = RaiseRibbonEmpty();
        return SEQ_STEP_END;
      }
      case FOUND:
        s.lResult = RibbonDummyRun(ulMask);
        return SEQ_STEP_END;
      case SEQ_STEP_END:
        SupplyOff();
        return SEQ_STEP_END;
      default:
        s.lResult = -1;
        return SEQ_STEP_END;
    }
  });
}

int32_t DetectRibbonDriveMode(uint32_t ulUnit, uint32_t ulMask) {
  enum : uint32_t { START = 0, DRIVE = 100, MEASURE = 200, HALT = 300, COMPARE = 400 };
  uint32_t& ulMode = ulUnit == 0 ? g_ulEngModeB : g_ulEngModeC;
  uint32_t ulStart = 0, ulStartCount = 0;
  return RunSteps(ulMode != 0 ? COMPARE : START, SEQ_STEP_END, ulMask, [&](SeqStepState& s) -> uint32_t {
    switch (s.ulStep) {
      case START:
        g_pCurSlitRibEncSrc->Clear();
        g_pCurSlitRibEncSrc->Start();
        ulStart = g_UsTimer.NowUs();
        ulStartCount = CountOf(g_pCurSlitRibEncSrc);
        return DRIVE;
      case DRIVE:
        g_pCurClutchRibRvs->On();
        g_pCurChopMotorRibSrc->SetDuty(kFullDuty);
        g_pCurChopMotorRibSrc->Forward();
        return MEASURE;
      case MEASURE:
        if (EncoderDistance(ulStartCount, CountOf(g_pCurSlitRibEncSrc)) > kModeOneCounts) {
          ulMode = 1;
          return HALT;
        }
        if (!TimedOut(ulStart, kModeWindowMs)) return MEASURE;
        ulMode = 2;
        return HALT;
      case HALT:
        SupplyOff();
        s.lResult = SeqWaitMs(300, ulMask);
        return COMPARE;
      case COMPARE: {
        g_ulEngModeA = ulMode;
        const int32_t lStatus = SettingValue(g_ParamRibbonStatus);
        if (TwoUnitsInUse(lStatus)) {
          if (g_ulEngModeB != 0 && g_ulEngModeC != 0 && g_ulEngModeB != g_ulEngModeC) {
            g_ulEngModeA = 0;
            g_ErrorMng.SetError(kErrRibbonDriveModes);
            s.lResult = -1;
          }
        } else if (!OneUnitInUse(lStatus)) {
          s.lResult = -1;
        }
        return SEQ_STEP_END;
      }
      case SEQ_STEP_END:
        SupplyOff();
        return SEQ_STEP_END;
      default:
        s.lResult = -1;
        return SEQ_STEP_END;
    }
  });
}
