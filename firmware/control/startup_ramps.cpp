// The start-up's stepper ramp tables, in the order they are built, and the
// line-speed ramps that follow four of them.
#include "firmware/control/startup_steps.h"
#include "firmware/devices/ramps.h"
#include "firmware/devices/settings.h"
#include "firmware/hal/kernel.h"
#include "firmware/printengine/print_support.h"

namespace {

// Start and top pulse rates and ramp time; the paper-feed ramps' top rates
// follow the feed roller's diameter ("FeedRollDiam" 0 or any other value).
struct StartupRamp {
  CRampTable* pRamp;
  uint32_t ulStartRate;
  uint32_t ulTopRateDiam0;
  uint32_t ulTopRate;
  uint32_t ulRampMs;
};

constexpr StartupRamp kStartupRamps[] = {
    {&g_Ramp10, 500, 8600, 8600, 200},  {&g_Ramp11, 500, 8600, 8600, 200},  {&g_Ramp12, 500, 8600, 8600, 200},
    {&g_Ramp13, 500, 8000, 8000, 200},  {&g_Ramp14, 500, 8000, 8000, 200},
    {&g_Ramp15, 500, 4395, 3000, 200},  {&g_Ramp17, 500, 5860, 4000, 200},  {&g_Ramp19, 500, 8791, 6000, 200},
    {&g_Ramp21, 500, 4395, 3000, 200},  {&g_Ramp23, 500, 2930, 2000, 200},  {&g_Ramp27, 500, 3809, 2600, 200},
    {&g_Ramp16, 500, 3000, 3000, 200},  {&g_Ramp18, 500, 4000, 4000, 200},  {&g_Ramp20, 500, 6000, 6000, 200},
    {&g_Ramp22, 500, 3000, 3000, 200},  {&g_Ramp24, 500, 2000, 2000, 200},  {&g_Ramp28, 500, 2600, 2600, 200},
    {&g_Ramp25, 700, 1000, 1000, 200},  {&g_Ramp26, 500, 2000, 2000, 200},
    {&g_Ramp29, 700, 2000, 2000, 200},  {&g_Ramp30, 700, 2000, 2000, 200},  {&g_Ramp31, 700, 2000, 2000, 200},
    {&g_Ramp32, 700, 2000, 2000, 200},
    {&g_Ramp33, 500, 1111, 1111, 200},  {&g_Ramp34, 500, 1111, 1111, 200},  {&g_Ramp35, 500, 1111, 1111, 200},
    {&g_Ramp36, 500, 1111, 1111, 200},
};

// The line-speed ramps: source, then the ramp built from it.
struct LineSpeedRamp {
  const CRampTable* pSource;
  CRampTable* pTarget;
};
constexpr LineSpeedRamp kLineSpeedRamps[] = {
    {&g_Ramp21, &g_Ramp38},
    {&g_Ramp27, &g_Ramp39},
    {&g_Ramp17, &g_Ramp40},
    {&g_Ramp19, &g_Ramp41},
};

}  // namespace

void BuildStartupRamps() {
  syslog(LOG_EMERG, "Caliculate Rampup Curve ...");
  const bool bDiam0 = SettingValue(g_ParamFeedRollDiam) == 0;
  for (const StartupRamp& r : kStartupRamps) {
    r.pRamp->SetupByRate(r.ulStartRate, bDiam0 ? r.ulTopRateDiam0 : r.ulTopRate, r.ulRampMs);
  }
  for (const LineSpeedRamp& r : kLineSpeedRamps) BuildLineSpeedRamp(*r.pSource, *r.pTarget);
}
