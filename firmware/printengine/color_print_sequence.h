// The sheet print sequences: one step machine that prints a picture of the
// current job on the current print unit. The colour sequence prints the
// yellow, magenta and cyan passes and the overcoat pass (L); the mark-sensor
// ribbon's variant and the single-pass sequence (one SP pass) are the same
// machine, told apart by the data of PrintSheetVariant and by branches at
// a few steps.
//
// A run: the prologue takes the job and its slot of the current print-order
// row (slot state 3, "sheet started"); the steps wait for the image, bring
// the paper to its print start (reading the paper edge twice with the CIS
// on the way and placing the head's paper edge), condition the head, print
// each pass as three polled stretches of the plane (lead-in, image,
// run-out) with the ribbon wound and the paper fed back between passes,
// and keep the sheet's bookkeeping. Every error ends in step 9900 (steppers,
// eject motor, fans and pre-heat stopped) and step 9990; the slot then stays
// pending for the print-job sequence. Application task only; the caller
// selects the unit and calls MechaAllOff.
#pragma once

#include <cstdint>

#include "firmware/mechanism/step_machine.h"

struct ImageSlot;
struct PrintJobRecord;
struct PrintSizeRecord;
class CThvCnt;

// What tells the three sheet sequences apart.
struct PrintSheetVariant {
  uint32_t ulPlaneKind;            // 0 colour passes Y, M, C, L; 1 one SP pass
  bool bMergedJob;                 // the current job (multi-up: the merged one), else the queue's head
  bool bSizeFromSlot;              // outside multi-up the slot's print size, else the job's
  bool bSheetLog;                  // the overcoat kind and the ribbon state into the print log
  bool bOvercoatOnly;              // the slot's overcoat-only flag is honoured
  bool bExpectedImageWait;         // the image wait passes over an image not expected (1000-1020)
  bool bCancelReceiving;           // a time-out also cancels the receiving job in multi-up mode
  bool bDspImageSteps;             // the DSP image steps (62, the kick at 500, the end at the exit)
  bool bDonorSteps;                // the donor manager stepped in the stretch loops (117, 245, 306)
  bool bMarkRibbonWind;            // the mark ribbon wound to its panel (66), "Wait[ms]" after head down (96)
  bool bStepperTestAfterHeadUp;    // the steppers' stop tested after head up (403), not after the wind (450)
  uint32_t ulHeadUpSettleMs;       // a wait after head up before that test (4025), 0 none
  uint32_t ulClutchKeepDiameter;   // engine mode 2 keeps the reverse clutch above this side-0 diameter; 0 never
  uint32_t ulStartState;           // the printer state of step 0
};

extern const PrintSheetVariant g_ColorSheetVariant;
extern const PrintSheetVariant g_ColorSheetMarkSenVariant;
extern const PrintSheetVariant g_SinglePassSheetVariant;

// The SP pass's values at step 23.
constexpr uint32_t SP_PASS_INDEX = 4;
constexpr uint32_t SP_PRINT_PHASE = 1;
constexpr uint32_t SP_HELD_WIND_PHASE = 1;
constexpr uint32_t SP_SPEED_PROFILE = 5;

// The pass now printing.
struct PrintPassValues {
  uint32_t ulPlaneCode;
  uint32_t ulPassIndex;
  uint32_t ulPrintPhase;
  uint32_t ulHeldWindPhase;   // the wind after the pass, replaced by GetNextPassCodes
  uint32_t ulWindPhase;       // the held wind phase as it stood before that call
  uint32_t ulSpeedProfile;
  uint32_t ulPrintingState;
  uint32_t ulDoneState;
  CThvCnt* pThv;
};

// One run of the machine. Its working values are public so that a test can
// set up a step and look at what it did.
class CPrintSheetRun {
 public:
  // Steps of the machine that a caller may name.
  static constexpr uint32_t kStepStart = 0;
  static constexpr uint32_t kStepEdgeCalc = 3910;
  static constexpr uint32_t kStepPassStart = 50;
  static constexpr uint32_t kStepWindAfterPass = 404;
  // Line positions: the reference line of the sheet length, the distance
  // from the positioning target to the CIS, the targets by unit.
  static constexpr int32_t kSheetReferenceLine = 65755;
  static constexpr int32_t kTargetToCisLines = 3894;
  static constexpr uint32_t kTargetLineUnitL = 64625;
  static constexpr uint32_t kTargetLineUnitR = 64628;
  // The image waits' limit, the longest feed in one measured move.
  static constexpr uint32_t kImageWaitMs = 59999;
  static constexpr int32_t kMeasuredFeedLines = 1400;
  // The head's paper edge when the CIS finds none.
  static constexpr uint32_t kDefaultHeadEdge = 80;

  CPrintSheetRun(const PrintSheetVariant& variant, uint32_t ulImageUnit, uint32_t ulMask);

  // Prologue, steps from 0 until 9990, exit: 0 or the failing result.
  int32_t Run();
  // The prologue: 0, or -1 without a job or a slot (nothing touched).
  int32_t Prologue();
  // Runs one step on the state: its next step.
  uint32_t Step(SeqStepState& s);
  // The exit after the last step.
  void Exit();
  bool Done() const { return m_bDone; }

  // ---- working values ----
  const PrintSheetVariant& m_variant;
  uint32_t m_ulImageUnit;
  uint32_t m_ulMask;
  uint32_t m_ulMoveMask;
  PrintJobRecord* m_pJob = nullptr;
  ImageSlot* m_pSlot = nullptr;
  PrintSizeRecord* m_pSize = nullptr;
  uint32_t m_ulCisOn = 0;
  uint32_t m_ulUnit = 0;
  uint32_t m_ulFeedRollDiam = 0;
  uint32_t m_ulRibbonDiameter = 0;
  int32_t m_lSheetLines = 0;
  int32_t m_lFeedLines = 0;
  int32_t m_lCorrectionLines = 0;
  uint32_t m_ulStartLine = 0;
  uint32_t m_ulTarget = 0;
  uint32_t m_ulMainProfile = 0, m_ulSubProfile = 0, m_ulLoadSubProfile = 0, m_ulFeedDrive = 0;
  uint32_t m_ulPositionLine = 0;   // before the move to the CIS
  uint32_t m_ulMeasuredLine = 0;   // after a measured part of the feed, else 0
  uint32_t m_ulEdge1 = 0, m_ulEdge2 = 0;
  uint32_t m_ulEdgeLine1 = 0, m_ulEdgeLine2 = 0;
  uint32_t m_ulHeadEdge = 0;
  int32_t m_lSideCheck = 0;
  uint32_t m_ulEdgeRetried = 0;
  uint32_t m_ulWaitStart = 0;
  PrintPassValues m_pass{};
  uint32_t m_ulSubStepMode = 0;
  uint32_t m_ulRampStarted = 0;
  uint32_t m_ulReleasePending = 0;
  uint32_t m_ulSensorCheckDone = 0;
  uint32_t m_ulRibbonMeasured = 0;
  uint32_t m_ulCountdownStart = 0;
  uint32_t m_ulSensorWindow = 0;
  uint32_t m_ulStepsMoved = 0;
  int32_t m_lPrintMove = 0;
  uint32_t m_ulImageStartCount = 0;
  uint32_t m_ulRearStartCount = 0;
  uint32_t m_ulSupplyTravel = 0, m_ulTakeUpTravel = 0;
  uint32_t m_ulPlaneState = 0;
  int32_t m_lWindStep = 0;         // the donor manager's last answer during the wind

 private:
  uint32_t ImageWaitStep(SeqStepState& s, bool& bKnown);
  uint32_t PositioningStep(SeqStepState& s, bool& bKnown);
  uint32_t ConditioningStep(SeqStepState& s, bool& bKnown);
  uint32_t PassStep(SeqStepState& s, bool& bKnown);
  uint32_t StretchStep(SeqStepState& s, bool& bKnown);
  uint32_t PassEndStep(SeqStepState& s, bool& bKnown);
  uint32_t SheetEndStep(SeqStepState& s, bool& bKnown);

  bool OvercoatOnly() const;
  bool Matte() const;
  bool ImageReceived() const;
  bool ImageComplete() const;
  bool CancelAsked() const;
  void CancelForTimeOut();
  bool WaitTimedOut() const;
  uint32_t CurrentLine() const;
  int32_t MoveToTarget(uint32_t ulSubProfile);
  int32_t MoveToPrintStart(uint32_t ulSubProfile);
  int32_t MeasuredMove(int32_t lLines);
  int32_t ReadEdge(uint32_t* pulEdge, uint32_t* pulLine, uint32_t ulLogKey);
  uint32_t CalcHeadEdge();
  void SetInitialPass();
  int32_t BuildSubStepperRamps();
  int32_t StartSubStepperRamp();
  void ReleaseReverseClutch();
  int32_t StepDonor();
  bool SteppersStopped(int32_t& lResult);
  void RecordSubSteps(uint32_t ulEntry);
  int32_t EndSheetCounts();

  bool m_bDone = false;
};
