// The take-up model: R = 1.1388 I - 3.6433 - (0.0121 + 0.00002 I) Z relates
// the take-up rate R (from the time per take-up count) to the duty I and a
// load Z. The run gives Z; the new duty is the one for which the relation
// yields the run's rate scaled by how far the supply fell short of its
// nominal speed, at the same load. Double precision throughout.
#include "firmware/sequences/ribbon_retry_duty.h"

#include <cstdint>

#include "firmware/hal/kernel.h"

namespace {

constexpr double kNominalSupplyMsPerCount = 1.71;
constexpr double kGain = 1.1388;
constexpr double kOffset = 3.6433;
constexpr double kLoadBase = 0.0121;
constexpr double kLoadPerDuty = 2e-05;

// Truncated toward zero; a value beyond the 32-bit range (a run far off
// the model) is held at its end rather than converted undefined.
int32_t Truncated(double dValue) {
  if (!(dValue > -2147483648.0)) return dValue != dValue ? 0 : INT32_MIN;
  if (dValue >= 2147483647.0) return INT32_MAX;
  return static_cast<int32_t>(dValue);
}
// A value as the log shows it: x 10000, truncated to an integer.
int32_t Scaled(double dValue) { return Truncated(dValue * 10000.0); }

}  // namespace

namespace Iniribon {

int32_t RetryDuty(uint32_t arg_ulTime, uint32_t arg_ulSrcSlit, uint32_t arg_ulDstSlit, int32_t arg_lInitialDuty,
                  int32_t* plDuty) {
  syslog(LOG_EMERG, "[Iniribon::RetryDuty] arg_ulTime = %d", arg_ulTime);
  syslog(LOG_EMERG, "[Iniribon::RetryDuty] arg_ulSrcSlit = %d", arg_ulSrcSlit);
  syslog(LOG_EMERG, "[Iniribon::RetryDuty] arg_ulDstSlit = %d", arg_ulDstSlit);
  syslog(LOG_EMERG, "[Iniribon::RetryDuty] arg_lInitialDuty = %d", arg_lInitialDuty);
  const double dInitial = static_cast<double>(arg_lInitialDuty);
  double dDuty = dInitial;
  // A run without time or counts has no speed to learn from.
  if (arg_ulTime != 0 && arg_ulSrcSlit != 0 && arg_ulDstSlit != 0) {
    const double dTime = static_cast<double>(arg_ulTime);
    const double dSpeedSrc = dTime / static_cast<double>(arg_ulSrcSlit);
    syslog(LOG_EMERG, "[Iniribon::RetryDuty] dSpeedSrc = %d", Scaled(dSpeedSrc));
    const double dSpeedDst = dTime / static_cast<double>(arg_ulDstSlit);
    syslog(LOG_EMERG, "[Iniribon::RetryDuty] dSpeedDst = %d", Scaled(dSpeedDst));
    if (dSpeedSrc < kNominalSupplyMsPerCount) {
      const double dRate = 1.0 / ((dSpeedDst / 1000.0) * 12.0);
      syslog(LOG_EMERG, "[Iniribon::RetryDuty] dData_R = %d", Scaled(dRate));
      const double dLoad = (dRate - (dInitial * kGain - kOffset)) / (dInitial * -kLoadPerDuty - kLoadBase);
      syslog(LOG_EMERG, "[Iniribon::RetryDuty] dData_T = %d", Scaled(dLoad));
      const double dShare = dSpeedSrc / kNominalSupplyMsPerCount;
      syslog(LOG_EMERG, "[Iniribon::RetryDuty] dData_SR = %d", Scaled(dShare));
      dDuty = (dShare * dRate + dLoad * kLoadBase + kOffset) / (dLoad * -kLoadPerDuty + kGain);
    }
  }
  syslog(LOG_EMERG, "[Iniribon::RetryDuty] dDutyTarget = %d", Scaled(dDuty));
  *plDuty = Truncated(dDuty);
  return 0;
}

}  // namespace Iniribon
