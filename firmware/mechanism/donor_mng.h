// The ribbon (donor) manager: the one object through which every sequence
// moves the ribbon of the current unit. It sets both ribbon motors for a
// ribbon phase, follows the supply encoder to a target count, notices a
// stalled ribbon, tightens the ribbon, turns print lines into encoder
// counts, and runs the panel search of its sensor variant.
//
// Four managers exist, one per unit and sensor kind; g_pDonorMng names the
// current unit's. Every manager reaches its motors, clutch, encoders and
// sensors only through the current-unit pointers of the unit switch, so it
// always acts on the current unit, whichever object is called; only the
// construction, the measured counts and the line conversion go by the
// object's own unit.
//
// Everything runs in the application task except CountStepPulse (the FPGA
// interrupt, at every main-stepper step pulse) and ApplyTakeUpDuty (the
// print line's handlers); the words they touch are shared words.
#pragma once

#include <cstdint>

#include "firmware/hal/isr_shared.h"
#include "firmware/mechanism/ribbon_phases.h"
#include "firmware/platform/global_build.h"

class CDonorMng {
 public:
  static constexpr uint32_t kStallTimeoutMs = 4000;
  static constexpr uint32_t kBarcodeRunWords = 33;
  static constexpr uint32_t kBarcodeRunEnd = 0xFFFF;
  // A drive mode: 0 stop, 1 forward, 2 reverse; any other value leaves the
  // motor as it is.
  static constexpr uint32_t kModeStop = 0;
  static constexpr uint32_t kModeForward = 1;
  static constexpr uint32_t kModeReverse = 2;
  static constexpr uint32_t kModeUntouched = 0xFFFFFFFFu;
  // Search states.
  static constexpr uint32_t kSearchIdle = 0;
  static constexpr uint32_t kSearchStarted = 1;
  static constexpr uint32_t kSearchSampling = 2;
  static constexpr uint32_t kSearchStopping = 3;

  constexpr CDonorMng() = default;
  // Brakes both ribbon motors of the object's own unit, stall time-out
  // 4000 ms, an empty barcode run list; everything else 0.
  explicit CDonorMng(GlobalBuild);

  // ---- the variants' operations (every base slot does nothing, 0) ----
  virtual int32_t SearchWait();
  virtual int32_t SearchSample();
  virtual int32_t SearchStop();
  virtual int32_t StartPanelSearch(uint32_t ulPhase);
  virtual int32_t StartPhase(uint32_t ulPhase, uint32_t ulIgnored);
  virtual int32_t Step(uint32_t* pulDone);
  virtual int32_t MeasurePanelColor(uint32_t ulRequireMotion, uint32_t* pulFound);
  virtual int32_t GetEdgeCount(uint32_t* pulCount);
  virtual int32_t SetEdgeCount(uint32_t ulCount);
  virtual int32_t ResetDetection();
  virtual int32_t FindMarkPattern();
  virtual int32_t CheckPanelMarks();
  // One step of a pending background ribbon operation: 1 while it runs,
  // anything else once it has ended. No manager has one: 0.
  virtual int32_t BackgroundStep();
  virtual int32_t IdentifyRibbonType();

  // ---- drive and stop ----
  // Supply motor braked unless keep clutch is set; take-up braked. 0.
  int32_t BrakeMotors();
  // Records both modes and runs each motor by its mode; the supply in
  // reverse engages the reverse clutch first. 0.
  int32_t DriveMotors(uint32_t ulTakeUpMode, uint32_t ulTakeUpDuty, uint32_t ulSupplyMode, uint32_t ulSupplyDuty);
  // Both recorded duties 0 and BrakeMotors; the clutch off when asked and
  // keep clutch is clear; both encoders cleared unless kept. 0.
  int32_t StopRibbon(uint32_t ulKeepEncoders, uint32_t ulReleaseClutch);
  int32_t SetKeepClutch(uint32_t ulFlag);
  // The phase's motors, duties and clutch in the direction (1 forward, any
  // other reverse): 0, or -1 for a phase outside 0..29 (nothing done).
  int32_t SetRibbonPhase(uint32_t ulPhase, uint32_t ulDirection);

  // ---- targets and motion (counts modulo 2^16, encoder_count.h) ----
  // Target := current count + counts; the read's result.
  int32_t SetTarget(uint32_t ulCounts);
  int32_t SetTakeUpTarget(uint32_t ulCounts);
  // Done once the count has reached the target. With motion required the
  // supply encoder must keep moving: a stall gives -1. 0 or the channel's
  // error.
  int32_t IsAtTarget(uint32_t ulRequireMotion, uint32_t* pulDone);
  int32_t IsAtTakeUpTarget(uint32_t ulRequireMotion, uint32_t* pulDone);
  // Supply counts still to go (negative once past the target).
  int32_t GetRemainingCount(int32_t* plCounts);
  // Stalled: the supply count unchanged for more than the stall time-out
  // since the last motion (or the phase start); raises the current unit's
  // "Ribbon Empty". The read's result.
  int32_t CheckStall(uint32_t* pulStalled);
  // Colour LEDs off (colour-sensor managers), StopRibbon(0, 1), "Ribbon
  // Empty" of the current unit, search idle. 0.
  int32_t StopOnFault();
  // Stops one count further and ends the search: state 3. 0.
  int32_t EndPanelSearch();
  int32_t SetAdvanceMark(uint32_t ulValue);
  int32_t GetState(uint32_t* pulState) const;

  // ---- tightening ----
  // From the last supply count, until the supply has turned ulCounts; the
  // take-up duty may rise by 5 per interval up to 20 above its duty now.
  int32_t StartTighten(uint32_t ulIntervalMs, uint32_t ulCounts);
  // One step: done once the supply has turned the counts; -1 (and
  // StopOnFault) when the duty would pass its limit.
  int32_t StepTighten(uint32_t* pulDone);

  // ---- lengths and counting ----
  // Print lines to supply counts, by the counts measured over the object's
  // unit's last sheet, else by the roll model; rounded up to whole counts.
  int32_t LengthToCounts(uint32_t ulLines, uint32_t* pulCounts);
  // The supply counts a sheet of ulLines used, for the object's unit.
  int32_t SetLastPrintCounts(uint32_t ulCounts, uint32_t ulLines);
  // Interrupt context: one main-stepper step pulse, counted while counting
  // is enabled. 0.
  int32_t CountStepPulse();
  // Counting on (non-zero) or off, the count from 0 again.
  int32_t SetStepCounting(uint32_t ulOn);
  int32_t GetStepPulseCount(uint32_t* pulCount) const;
  // 1 for the 8x10 models, 2 for the 8x12 models; 0 and -1 while
  // g_pRibbonRoll names none of the twelve.
  int32_t GetRibbonSize(uint32_t* pulSize) const;
  int32_t GetRibbonKind(uint32_t* pulKind) const;
  // A word for debugging, also copied into word 0 of g_ulLogData.
  int32_t SetDebugValue(uint32_t ulValue);
  int32_t GetDebugValue(uint32_t* pulValue) const;

  // ---- the phase table's columns ----
  // 0, or -1 for a phase without an entry (nothing written).
  static int32_t GetNextPanel(uint32_t ulPhase, uint32_t* pulPanel);
  static int32_t GetSearchDirection(uint32_t ulPhase, uint32_t* pulDirection);

  // ---- the colour search's helpers (donor_mng_color.cpp) ----
  // The search's wait in main-stepper steps before sampling starts, by the
  // print size and the job now printing: 0, -1 for a phase without a wait
  // rule, or the failed job look-up's result (the wait then unchanged).
  int32_t CalcSearchDelay(uint32_t ulPhase);
  // Where the plane's panel starts, for the position log and correction.
  int32_t SetPanelStartData(uint32_t ulPhase);
  // The found edge's deviation from where the plane expects it, in 0.1 mm,
  // into the print phase's print-log field (once per search). 0.
  int32_t LogPanelPosition();
  int32_t SetCorrectionEnable(uint32_t ulFlag);
  uint32_t GetCorrectionEnable() const { return m_ulCorrectionEnabled; }
  int32_t CalcCorrection(uint32_t ulPlane);
  // Disabled: 0; else limited to -100..100 with its two low bits cleared.
  int32_t GetCorrection(int32_t* plCorrection) const;

  // ---- the ribbon barcode (donor_barcode.cpp) ----
  // Decodes the samples ('0' bar, '1' gap, at most 1024) into the run list
  // and selects the current unit's roll model whose template matches: 0,
  // or -1 with the unit's "Incorrect Rib" (the model then unchanged).
  int32_t DecodeBarcode(const uint8_t* pucSamples, uint32_t ulCount);
  // The run list on the LCD, one run per key. 0.
  int32_t ShowBarcodeScreen();
  const uint32_t* GetBarcodeRuns() const { return m_aulBarcodeRuns; }
  // The mark states a mark-pattern capture read (sensors 1-4).
  const uint32_t* GetMarkStates() const { return m_aulMarkStates; }

  // ---- duties (ribbon_duty.cpp) ----
  static int32_t GetDutyIndex(uint32_t ulPhase, uint32_t* pulIndex);
  // Side 1 take-up, 0 supply: the setting, or the automatic duty where it
  // is 0. -1 (nothing written) for another side or an unknown index.
  int32_t GetPhaseDuty(uint32_t ulSide, uint32_t ulIndex, uint32_t* pulDuty);
  // The TABLE duty by spool diameter of a plane's take-up; 0 for the
  // supply, and 0 when the TABLE lacks the base or the table.
  uint32_t GetTableDuty(uint32_t ulSupply, uint32_t ulPlane, uint32_t ulDiameter);
  // The take-up's start duty of a print phase (1, 2, 3, 5) by CalcDuty; -1
  // (nothing written) for any other phase.
  int32_t GetPrintTakeUpDuty(uint32_t ulPhase, uint32_t* pulDuty);
  // The motor model: the take-up duty for a print speed and a tension by
  // the take-up spool's diameter, 0..100, logged. 0.
  static int32_t CalcDuty(uint32_t ulPrintSpeed, uint32_t ulTension, uint32_t* pulDuty);
  // The print take-up duty to the take-up motor, recorded as its duty. 0.
  // Writes only the stored duty: the print line's handlers call it.
  int32_t ApplyTakeUpDuty();

  // ---- what the drive holds, for the maintenance screens and tests ----
  uint32_t GetSearchState() const { return m_ulSearchState; }
  uint32_t GetSearchWaitSteps() const { return m_ulSearchWaitSteps; }
  uint32_t GetStopDistance() const { return m_ulStopDistance; }
  uint32_t GetMatchCount() const { return m_ulMatchCount; }
  uint32_t GetMismatchCount() const { return m_ulMismatchCount; }

  uint32_t GetRibbonPhase() const { return m_ulRibbonPhase; }
  uint32_t GetTakeUpDuty() const { return m_ulTakeUpDuty; }
  uint32_t GetSupplyDuty() const { return m_ulSupplyDuty; }
  uint32_t GetTakeUpMode() const { return m_ulTakeUpMode; }
  uint32_t GetSupplyMode() const { return m_ulSupplyMode; }
  uint32_t GetPrintTakeUpDuty() const { return m_ulPrintTakeUpDuty; }
  uint32_t GetSupplyTarget() const { return m_ulSupplyTarget; }

 protected:
  // Managers are never destroyed, and never through this class.
  ~CDonorMng() = default;

  bool IsColorSensorManager() const;
  bool IsUnitL() const;
  // The current unit's roll model at its row's index becomes g_pRibbonRoll,
  // taking over the old model's panel position (the ribbon has not moved).
  static void SelectRibbonRoll(uint32_t ulIndex);
  // The current unit's supply count: the read's result.
  int32_t ReadSupplyCount(uint32_t* pulCount) const;

  // The manager record.
  uint32_t m_ulSearchWaitSteps = 0;
  uint32_t m_ulRibbonPhase = 0;
  uint32_t m_ulStopDistance = 0;
  uint32_t m_ulSupplyTarget = 0;
  uint32_t m_ulTakeUpTarget = 0;
  uint32_t m_ulStallTimeout = 0;
  uint32_t m_ulLastSupplyCount = 0;
  uint32_t m_ulLastMotionTime = 0;
  uint32_t m_ulEdgeCount = 0;
  uint32_t m_ulSearchState = 0;
  uint32_t m_ulStepAdvanced = 0;
  uint32_t m_aulBarcodeRuns[kBarcodeRunWords] = {};
  hal::IsrShared<uint32_t> m_ulTakeUpDuty;
  uint32_t m_ulSupplyDuty = 0;
  uint32_t m_ulTakeUpMode = 0;
  uint32_t m_ulSupplyMode = 0;
  uint32_t m_ulMatchCount = 0;
  uint32_t m_ulMismatchCount = 0;
  hal::IsrShared<uint32_t> m_ulPrintTakeUpDuty;
  uint32_t m_ulFirstMatchCount = 0;
  hal::IsrShared<uint32_t> m_ulStepPulseCount;
  hal::IsrShared<uint32_t> m_ulCountingEnabled;
  uint32_t m_ulCorrectionEnabled = 0;
  int32_t m_lCorrection = 0;
  int32_t m_lPanelStartLines = 0;
  uint32_t m_ulExpectedEdgeLines = 0;
  uint32_t m_ulEdgeStepPulses = 0;
  uint32_t m_ulTightenStartCount = 0;
  uint32_t m_ulTightenCounts = 0;
  uint32_t m_ulTightenInterval = 0;
  uint32_t m_ulTightenDutyLimit = 0;
  uint32_t m_ulMeasuredCountsL = 0;
  uint32_t m_ulMeasuredCountsR = 0;
  uint32_t m_ulMeasuredLinesL = 0;
  uint32_t m_ulMeasuredLinesR = 0;
  uint32_t m_ulPanelEndRequest = 0;
  uint32_t m_ulDebugValue = 0;
  uint32_t m_aulMarkStates[4] = {};
  uint32_t m_ulUnchangedCount = 0;
  uint32_t m_ulKeepClutch = 0;

 private:
  int32_t CheckTargetOn(bool bTakeUp, uint32_t ulRequireMotion, uint32_t* pulDone);
};

// The four managers (donor_mng_mark.h, donor_mng_color.h) in construction
// order, after the twelve roll models.
void ConstructDonorManagers();

// The current unit's manager, chosen by the unit switch (never null).
extern CDonorMng* g_pDonorMng;

// Ribbon slack take-up attempts per unit, counted by the take-up sequence.
extern uint32_t g_ulSlackTakeUpCountL;
extern uint32_t g_ulSlackTakeUpCountR;
