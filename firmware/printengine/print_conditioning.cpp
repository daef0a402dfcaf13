// The thermal-protection and pre-heat waits, the head-voltage humidity
// correction and the "Printing" line.
#include "firmware/printengine/print_conditioning.h"

#include "firmware/control/app_startup.h"
#include "firmware/control/engine_variant.h"
#include "firmware/control/error_manager.h"
#include "firmware/control/head_preheat.h"
#include "firmware/control/host_status_table.h"
#include "firmware/control/lcd.h"
#include "firmware/control/leds.h"
#include "firmware/devices/analog_sensor.h"
#include "firmware/devices/buf_slot_table.h"
#include "firmware/devices/fan.h"
#include "firmware/devices/print_log.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/stepper.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/hal/kernel.h"
#include "firmware/mechanism/paper_moves.h"
#include "firmware/mechanism/roll_encoder_checks.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/mechanism/unit_moves.h"
#include "firmware/platform/ioctl.h"
#include "firmware/platform/us_timer.h"
#include "firmware/printengine/head_overheat.h"
#include "firmware/printengine/print_job_queue.h"
#include "firmware/printengine/print_job_record.h"
#include "firmware/printengine/print_line.h"
#include "firmware/printengine/print_sequence_words.h"
#include "firmware/printengine/table_store.h"
#include "firmware/printengine/thv_control.h"
#include "protocol/codes.h"

// Row thresholds (humidity), column thresholds (ambient), then the times;
// all 0 as delivered.
constexpr uint8_t g_aucCoolingTime[COOLING_TABLE_BYTES] = {200, 210, 220, 230, 240, 250,
                                                           116, 111, 106, 101, 96,  91, 86, 81};
constinit uint32_t g_ulPreheatWaited;

namespace {

constexpr uint32_t kLcdColumns = 16;
constexpr uint32_t kAmbientNoWait = 115;
constexpr uint32_t kSecondMs = 1000, kSecondUs = 1000000;
constexpr uint32_t kPreheatLimitUs = 300000u * 1000u;
constexpr uint32_t kPaperRefLines = 65755;
constexpr uint32_t kJobCuts = 10;
// Print-log keys (or-ed with the pass index).
constexpr uint32_t kLogPreheatMs = 0xb0000, kLogPreheatHead = 0xc0000, kLogCoolingMs = 0xd0000,
                   kLogCoolingHead = 0xe0000;
// TABLE tables of the humidity correction, by table index.
constexpr uint32_t kThvHumidTable = 42, kThvHumidCoefTable = 102;
// Back-off moves: feed pinch down, load pinch, the paper profiles.
constexpr uint32_t kFeedPinchBack = 1, kFeedPinchReturn = 10, kLoadPinchDown = 2, kLoadPinchUp = 1;
constexpr uint32_t kMainProfile = 14, kSubProfile = 20, kSubProfileLoad = 30;

uint32_t Reading(CAnalogSensor& sensor) {
  uint32_t ulAverage = 0;
  sensor.Read(&ulAverage);
  return (ulAverage >> 2) & 0xFFu;
}

uint32_t HeadReading() { return Reading(*g_pCurAdHTherm); }

void LogField(uint32_t ulKey, uint32_t ulValue) { g_PrintLog.SetField(ulKey | g_ulPrintLogColor, ulValue); }

void Show(const char* pszText) { g_Lcd.WriteText(pszText, 0, kLcdColumns); }

bool FanOn(CFanCrutch& fan) {
  uint32_t ulState = 0;
  fan.GetState(&ulState);
  return ulState != 0;
}

void BothFans(bool bOn) {
  if (bOn) {
    g_pCurFanHead->On();
    g_pCurFanSide->On();
  } else {
    g_pCurFanHead->Off();
    g_pCurFanSide->Off();
  }
}

bool LedOn() {
  uint32_t ulState = 0;
  g_LedReady.GetState(&ulState);
  return ulState != 0;
}

void SetLed(bool bOn) {
  if (bOn) {
    g_LedReady.On();
  } else {
    g_LedReady.Off();
  }
}

// The back-off move and the paper's return.
int32_t BackOff(int32_t lLength, uint32_t ulMask) {
  int32_t lResult = MoveFeedPinch(kFeedPinchBack, ulMask);
  if (lResult != 0) return lResult;
  if (g_ulRollEndDetected != 0 && lLength >= 1) {
    g_ClutchLoad.On();
    lResult = MoveLoadPinch(kLoadPinchDown, ulMask);
    if (lResult == 0) lResult = MovePaperBy(-lLength, 1, 1, kMainProfile, kSubProfileLoad, ulMask);
    g_ClutchLoad.Off();
    if (lResult == 0) lResult = MoveLoadPinch(kLoadPinchUp, ulMask);
    return lResult;
  }
  return MovePaperBy(-lLength, 1, 1, kMainProfile, kSubProfile, ulMask);
}

int32_t ReturnPaper(int32_t lLength, uint32_t ulMask) {
  g_StpmtrMain.SetCurrentBit(0);
  const int32_t lResult = MoveFeedPinch(kFeedPinchReturn, ulMask);
  return lResult != 0 ? lResult : MovePaperBy(lLength, 1, 1, kMainProfile, kSubProfile, ulMask);
}

// What a wait shows while it runs: both fans, its LCD line and printer
// state.
struct WaitScreen {
  bool bFansOn;
  const char* pszText;
  uint32_t ulState;
};

int32_t ShowWait(const WaitScreen& screen) {
  BothFans(screen.bFansOn);
  Show(screen.pszText);
  return SetStatusItem(SI_PRINTER_STATE, screen.ulState, 1);
}

// The steps both waits share: the wait screen and the back-off move (1500,
// 1510), then the steppers held and the screen again (2000). The next step.
uint32_t BackOffStep(SeqStepState& s, const WaitScreen& screen, int32_t* plBackOff, uint32_t ulMask) {
  switch (s.ulStep) {
    case 1500:
      s.lResult = ShowWait(screen);
      return 1510;
    case 1510:
      s.lResult = BackOffLength(plBackOff);
      if (s.lResult == 0) s.lResult = BackOff(*plBackOff, ulMask);
      return 2000;
    default:
      g_StpmtrMain.SetCurrentBit(1);
      g_StpmtrSub.Stop();
      s.lResult = ShowWait(screen);
      return 2010;
  }
}

// The cooling waits; bTimeStage runs CoolingTimeWait at step 2100.
int32_t CoolingWait(uint32_t ulOnLevel, uint32_t ulOffLevel, uint32_t ulBackOff, uint32_t ulMask, bool bTimeStage) {
  const WaitScreen screen{true, "Cooling             ", protocol::PRINTER_STATE_COOLING};
  bool bFanWasOn = false;
  uint32_t ulStart = 0;
  uint32_t ulLed = 0;
  int32_t lBackOff = 0;
  return RunSteps(1000, SEQ_STEP_ERROR, ulMask, [&](SeqStepState& s) -> uint32_t {
    uint32_t ulCooled = 0;
    switch (s.ulStep) {
      case 1000:
        LogField(kLogCoolingHead, HeadReading());
        return 1100;
      case 1100:
        bFanWasOn = FanOn(*g_pCurFanHead);
        s.lResult = g_pCurHeadOverheat->Arm(ulOnLevel, ulOffLevel);
        return 1200;
      case 1200:
        s.lResult = g_pCurHeadOverheat->Check(&ulCooled);
        return ulCooled != 0 ? SEQ_STEP_END : 1300;
      case 1300:
        ulStart = g_UsTimer.NowUs();
        return ulBackOff == 1 ? 1500u : 2000u;
      case 1500:
      case 1510:
      case 2000:
        return BackOffStep(s, screen, &lBackOff, ulMask);
      case 2010:
        ulLed = LedOn() ? 1u : 0u;
        return bTimeStage ? 2100u : 2200u;
      case 2100:
        s.lResult = CoolingTimeWait(&ulLed, ulMask);
        return 2200;
      case 2200:
      case 2800:
        s.lResult = g_pCurHeadOverheat->Check(&ulCooled);
        return ulCooled != 0 ? 2900u : 2500u;
      case 2500:
        ulLed = ulLed != 0 ? 0u : 1u;
        SetLed(ulLed != 0);
        return 2700;
      case 2700:
        s.lResult = SeqWaitMs(kSecondMs, ulMask);
        return 2800;
      case 2900:
        return ulBackOff == 1 ? 3000u : 4000u;
      case 3000:
        s.lResult = ReturnPaper(lBackOff, ulMask);
        return 4000;
      case 4000:
        ShowPrintingUnit();
        return 4010;
      case 4010: {
        uint32_t ulReleased = 0;
        // The colour pool, whichever unit prints.
        g_pCurBufSlots[BUF_POOL_COLOUR]->TestAll(&ulReleased, 1);
        SetLed(ulReleased == 0);
        return 4200;
      }
      case 4200:
        if (!bFanWasOn) BothFans(false);
        return SEQ_STEP_ERROR;
      case SEQ_STEP_ERROR:
        g_StpmtrMain.SetCurrentBit(0);
        LogField(kLogCoolingMs, (g_UsTimer.NowUs() - ulStart) / 1000);
        return SEQ_STEP_END;
      case SEQ_STEP_END:
        return SEQ_STEP_END;
      default:
        s.lResult = -1;
        return SEQ_STEP_ERROR;
    }
  });
}

}  // namespace

int32_t CoolingWaitSequence(uint32_t ulOnLevel, uint32_t ulOffLevel, uint32_t ulBackOff, uint32_t ulMask) {
  return CoolingWait(ulOnLevel, ulOffLevel, ulBackOff, ulMask, true);
}

int32_t CoolingWaitSequenceL(uint32_t ulOnLevel, uint32_t ulOffLevel, uint32_t ulBackOff, uint32_t ulMask) {
  return CoolingWait(ulOnLevel, ulOffLevel, ulBackOff, ulMask, false);
}

int32_t PreheatWaitSequence(uint32_t ulMask, uint32_t ulBackOff) {
  const WaitScreen screen{false, g_pszInitText, protocol::PRINTER_STATE_PRINT_62};
  bool bFanWasOn = false;
  uint32_t ulStart = 0;
  int32_t lBackOff = 0;
  return RunSteps(1000, SEQ_STEP_ERROR, ulMask, [&](SeqStepState& s) -> uint32_t {
    uint32_t ulHeat = 0;
    switch (s.ulStep) {
      case 1000:
        LogField(kLogPreheatHead, HeadReading());
        bFanWasOn = FanOn(*g_pCurFanHead);
        g_PreheatBoth.Start();
        g_PreheatBoth.GetHeatFlagOfUnit(&ulHeat);
        return ulHeat != 0 ? 1020u : SEQ_STEP_END;
      case 1020:
        ulStart = g_UsTimer.NowUs();
        return ulBackOff == 1 ? 1500u : 2000u;
      case 1500:
      case 1510:
      case 2000:
        return BackOffStep(s, screen, &lBackOff, ulMask);
      case 2010:
        g_PreheatBoth.Step();
        g_PreheatBoth.GetHeatFlagOfUnit(&ulHeat);
        return ulHeat != 0 ? 2020u : 2050u;
      case 2020:
        if (g_UsTimer.NowUs() - ulStart > kPreheatLimitUs) {
          s.lResult = -1;
          g_ErrorMng.SetError(ERRIDX_PREHEAT_TIMEOUT);
        }
        return 2010;
      case 2050:
        g_PreheatBoth.Reset();
        return ulBackOff == 1 ? 3000u : 4000u;
      case 3000:
        s.lResult = ReturnPaper(lBackOff, ulMask);
        return 4000;
      case 4000:
        ShowPrintingUnit();
        if (bFanWasOn) BothFans(true);
        return SEQ_STEP_ERROR;
      case SEQ_STEP_ERROR:
        g_StpmtrMain.SetCurrentBit(0);
        LogField(kLogPreheatMs, (g_UsTimer.NowUs() - ulStart) / 1000);
        return SEQ_STEP_END;
      case SEQ_STEP_END:
        g_PreheatBoth.Reset();
        return SEQ_STEP_END;
      default:
        s.lResult = -1;
        return SEQ_STEP_ERROR;
    }
  });
}

int32_t GetCoolingRequest(uint32_t* pulRequest, uint32_t* pulHumidity) {
  *pulRequest = 0;
  *pulHumidity = 0;
  return 0;
}

int32_t CoolingTimeLookupIn(const uint8_t* pucTable, uint32_t ulAmbient, uint32_t ulHumidity, uint32_t* pulSeconds) {
  const uint8_t ucAmbient = static_cast<uint8_t>(ulAmbient), ucHumidity = static_cast<uint8_t>(ulHumidity);
  uint32_t ulRow = 0, ulColumn = 0;
  for (uint32_t i = 0; i < COOLING_ROWS; ++i) ulRow += pucTable[i] <= ucHumidity ? 1u : 0u;
  for (uint32_t i = 0; i < COOLING_COLUMNS; ++i) ulColumn += pucTable[COOLING_ROWS + i] >= ucAmbient ? 1u : 0u;
  *pulSeconds = pucTable[COOLING_ROWS + COOLING_COLUMNS + ulRow * (COOLING_COLUMNS + 1) + ulColumn];
  return 0;
}

int32_t CoolingTimeLookup(uint32_t ulAmbient, uint32_t ulHumidity, uint32_t* pulSeconds) {
  return CoolingTimeLookupIn(g_aucCoolingTime, ulAmbient, ulHumidity, pulSeconds);
}

int32_t CoolingTimeWait(uint32_t* pulLedState, uint32_t ulMask) {
  auto toggle = [pulLedState] {
    *pulLedState = *pulLedState != 0 ? 0u : 1u;
    SetLed(*pulLedState != 0);
  };
  const uint32_t ulStart = g_UsTimer.NowUs();
  uint32_t ulCount = 0;
  const uint32_t ulAmbient = Reading(g_AdEnvTherm);
  if (ulAmbient > kAmbientNoWait) return 0;
  toggle();
  uint32_t ulRequest = 0, ulHumidity = 0;
  GetCoolingRequest(&ulRequest, &ulHumidity);
  // The rest of the second, rounded up to whole milliseconds.
  const uint32_t ulElapsedUs = g_UsTimer.NowUs() - ulStart;
  if (ulElapsedUs < kSecondUs && SeqWaitMs((kSecondUs - ulElapsedUs + 999) / 1000, ulMask) != 0) return -1;
  ++ulCount;
  uint32_t ulCooled = 0;
  g_pCurHeadOverheat->Check(&ulCooled);
  if (ulCooled != 0 || ulRequest == 0) return 0;
  toggle();
  if (SeqWaitMs(kSecondMs, ulMask) != 0) return -1;
  ++ulCount;
  g_pCurHeadOverheat->Check(&ulCooled);
  if (ulCooled != 0) return 0;
  uint32_t ulSeconds = 0;
  CoolingTimeLookup(ulAmbient, ulHumidity, &ulSeconds);
  do {
    toggle();
    if (SeqWaitMs(kSecondMs, ulMask) != 0) return -1;
    ++ulCount;
  } while (ulCount < ulSeconds);
  return 0;
}

int32_t BackOffLength(int32_t* plLines) {
  PrintJobRecord* pJob = nullptr;
  if (g_PrintJobQueue.GetCurrentJob(&pJob) != 0 || pJob == nullptr || pJob->pPrintSize == nullptr) return -1;
  const PrintSizeRecord& r = *pJob->pPrintSize;
  const int32_t lSheet = static_cast<int32_t>(r.aulFrontDummyLines[0] + r.ulPrintLength + r.aulExtraLines[0] +
                                              r.ulMargin1 + r.ulMargin2);
  uint32_t ulLastCut = 0;
  for (uint32_t i = 0; i < kJobCuts; ++i) {
    uint32_t ulCut = 0;
    if (g_PrintJobQueue.GetCutPosition(pJob, i, &ulCut) == 0 && ulCut > ulLastCut) ulLastCut = ulCut;
  }
  const int32_t lCut = static_cast<int32_t>(ulLastCut + r.ulColourTailLines);
  *plLines = lSheet + static_cast<int32_t>(kPaperRefLines - g_ulEngPosRefA) - lCut;
  return 0;
}

int32_t CorrectTHVHumid(CThvCnt* pThv, uint32_t ulPlaneCode) {
  const uint32_t ulAmbient = Reading(g_AdEnvTherm);
  const uint32_t ulHumidity = Reading(g_AdEnvHumid);
  const uint32_t ulIndex = g_PrintLine.GetTableIndex(ulPlaneCode);
  PhysAddr ulHumidTab = 0, ulCoefTab = 0;
  int32_t lResult = GetTableAddress(kThvHumidTable + ulIndex, &ulHumidTab);
  if (lResult == 0) lResult = GetTableAddress(kThvHumidCoefTable + ulIndex, &ulCoefTab);
  int32_t lH = 0, lC = 0, lCorrection = 0;
  if (lResult == 0) {
    if (SettingValue(g_ParamHumidCorrect) == 1) {
      uint16_t usH = 0, usC = 0;
      IoctlRead16(ulHumidTab + 2 * ulHumidity, &usH);
      IoctlRead16(ulCoefTab + 2 * ulAmbient, &usC);
      lH = static_cast<int16_t>(usH);
      lC = usC;
    }
    lCorrection = lH * lC / 1000;
    pThv->SetHumidCorrection(lCorrection);
  }
  // A missing table logs zeros for its values.
  syslog(LOG_EMERG, "[CorrectTHVHumid] EnvTherm = %4d,    EnvHumid = %6d ", ulAmbient, ulHumidity);
  syslog(LOG_EMERG, "[CorrectTHVHumid] ThvCorrectHumidTab(%3d)     = %6d ", ulHumidity, lH);
  syslog(LOG_EMERG, "[CorrectTHVHumid] ThvCorrectHumidCoefTab(%3d) = %6d ", ulAmbient, lC);
  syslog(LOG_EMERG, "[CorrectTHVHumid] Correct Humid = %6d ", lCorrection);
  return lResult;
}

int32_t ShowPrintingUnit() {
  PrintJobRecord* pJob = nullptr;
  const int32_t lResult = g_PrintJobQueue.GetCurrentJob(&pJob);
  if (lResult != 0 || pJob == nullptr) {
    Show("Printing        ");
    return lResult;
  }
  constexpr const char* kTexts[2][2] = {{"Printing     B/R", "Printing     A/R"},
                                        {"Printing     B/L", "Printing     A/L"}};
  uint32_t ulIndex = 0, ulKind = 0, ulSide = 0, ulUnit = 0;
  g_PrintJobQueue.GetPrintOrderIndex(&ulIndex);
  g_PrintJobQueue.GetPrintOrderEntry(ulIndex, &ulKind, &ulSide, &ulUnit);
  Show(kTexts[ulSide == 1 ? 1 : 0][ulUnit == 1 ? 1 : 0]);
  return lResult;
}
