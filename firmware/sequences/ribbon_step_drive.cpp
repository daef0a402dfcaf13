#include "firmware/sequences/ribbon_step_drive.h"

#include "firmware/control/error_manager.h"
#include "firmware/devices/encoder_count.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/platform/us_timer.h"

RibbonStepDrive g_TakeUpDrive;
RibbonStepDrive g_SupplyDrive;

namespace {

constexpr uint32_t kWindowMs = 1000;
constexpr uint32_t kAttempts = 3;
constexpr uint32_t kDutyStep = 10;
constexpr uint32_t kDutyMax = 100;

CChopMotor* MotorOf(bool bSupply) { return bSupply ? g_pCurChopMotorRibSrc : g_pCurChopMotorRibDst; }
CSlit* EncoderOf(bool bSupply) { return bSupply ? g_pCurSlitRibEncSrc : g_pCurSlitRibEncDst; }

uint32_t CountOf(bool bSupply) {
  uint32_t ulCount = 0;
  EncoderOf(bSupply)->ReadCount(&ulCount);
  return ulCount;
}

void Run(bool bSupply) {
  if (bSupply) {
    MotorOf(bSupply)->Forward();
  } else {
    MotorOf(bSupply)->Reverse();
  }
}

int32_t Start(RibbonStepDrive& d, bool bSupply, uint32_t ulDuty, uint32_t ulCounts) {
  d.ulStep = RIBBON_DRIVE_IDLE;
  if (ulCounts == 0) return 0;
  EncoderOf(bSupply)->Start();
  d.ulStartCount = CountOf(bSupply);
  d.ulStartTime = g_UsTimer.NowUs();
  d.ulWindow = g_UsTimer.MsToTicks(kWindowMs);
  d.ulTarget = ulCounts;
  d.ulDuty = ulDuty;
  if (bSupply) {
    d.ulClutchAtStart = 0;
    g_pCurClutchRibRvs->GetState(&d.ulClutchAtStart);
    g_pCurClutchRibRvs->On();
  }
  MotorOf(bSupply)->SetDuty(ulDuty);
  Run(bSupply);
  d.ulAttemptsLeft = kAttempts;
  d.ulStep = RIBBON_DRIVE_COUNTING;
  return 0;
}

int32_t Step(RibbonStepDrive& d, bool bSupply, uint32_t* pulDone) {
  *pulDone = 0;
  switch (d.ulStep) {
    case RIBBON_DRIVE_IDLE:
      *pulDone = 1;
      return 0;
    case RIBBON_DRIVE_COUNTING: {
      const int32_t lMoved = EncoderDistance(d.ulStartCount, CountOf(bSupply));
      d.ulStep = lMoved < static_cast<int32_t>(d.ulTarget) ? RIBBON_DRIVE_WINDOW : RIBBON_DRIVE_STOPPING;
      return 0;
    }
    case RIBBON_DRIVE_WINDOW:
      d.ulStep = g_UsTimer.Elapsed(d.ulStartTime, g_UsTimer.NowUs()) > d.ulWindow ? RIBBON_DRIVE_MISSED
                                                                                   : RIBBON_DRIVE_COUNTING;
      return 0;
    case RIBBON_DRIVE_MISSED:
      MotorOf(bSupply)->Brake();
      --d.ulAttemptsLeft;
      d.ulStep = d.ulAttemptsLeft != 0 ? RIBBON_DRIVE_RETRY : RIBBON_DRIVE_FAILED;
      return 0;
    case RIBBON_DRIVE_RETRY:
      d.ulDuty = StepUpDuty(d.ulDuty);
      MotorOf(bSupply)->SetDuty(d.ulDuty);
      d.ulStartTime = g_UsTimer.NowUs();
      d.ulStartCount = CountOf(bSupply);
      Run(bSupply);
      d.ulStep = RIBBON_DRIVE_COUNTING;
      return 0;
    case RIBBON_DRIVE_FAILED:
      g_ErrorMng.SetError(g_ulCurErrRibbonEmpty);
      d.ulStep = RIBBON_DRIVE_IDLE;
      return -1;
    case RIBBON_DRIVE_STOPPING:
      MotorOf(bSupply)->Brake();
      d.ulStep = !bSupply || d.ulClutchAtStart != 0 ? RIBBON_DRIVE_DONE : RIBBON_DRIVE_CLUTCH_OFF;
      return 0;
    case RIBBON_DRIVE_CLUTCH_OFF:
      if (!bSupply) break;
      g_pCurClutchRibRvs->Off();
      d.ulStep = RIBBON_DRIVE_DONE;
      return 0;
    case RIBBON_DRIVE_DONE:
      d.ulStep = RIBBON_DRIVE_IDLE;
      *pulDone = 1;
      return 0;
    default:
      break;
  }
  d.ulStep = RIBBON_DRIVE_IDLE;
  return -1;
}

}  // namespace

uint32_t StepUpDuty(uint32_t ulDuty) { return ulDuty + kDutyStep > kDutyMax ? kDutyMax : ulDuty + kDutyStep; }

int32_t StartTakeUpDrive(uint32_t ulDuty, uint32_t ulCounts) { return Start(g_TakeUpDrive, false, ulDuty, ulCounts); }
int32_t StartSupplyDrive(uint32_t ulDuty, uint32_t ulCounts) { return Start(g_SupplyDrive, true, ulDuty, ulCounts); }
int32_t StepTakeUpDrive(uint32_t* pulDone, uint32_t) { return Step(g_TakeUpDrive, false, pulDone); }
int32_t StepSupplyDrive(uint32_t* pulDone, uint32_t) { return Step(g_SupplyDrive, true, pulDone); }
