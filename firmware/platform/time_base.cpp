#include "firmware/platform/time_base.h"

#include "firmware/platform/ioctl.h"

constinit CMsTimer g_MsTimer;

uint32_t GetSystemTimeMs() { return IoctlGetTime(); }

uint32_t CMsTimer::NowMs() const { return IoctlGetTime(); }

uint32_t CMsTimer::Restart() const { return NowMs(); }

uint32_t CMsTimer::WaitMs(uint32_t ulMs) const {
  const uint32_t ulTicks = MsToTicks(ulMs);
  const uint32_t ulStart = NowMs();
  uint32_t ulNow = ulStart;
  while (ulNow - ulStart < ulTicks) ulNow = NowMs();
  return ulNow;
}
