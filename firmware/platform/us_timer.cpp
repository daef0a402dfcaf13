#include "firmware/platform/us_timer.h"

#include "firmware/hal/hw.h"
#include "firmware/platform/fpga_regs.h"

constinit CUsTimer g_UsTimer;

void CUsTimer::Start() const {
  g_FpgaMain.LoadUsCounter(0xFFFFFFFFu);
  g_FpgaMain.StartUsCounter();
}

void CUsTimer::Stop() const { g_FpgaMain.StopUsCounter(); }

void CUsTimer::Restart() const {
  Stop();
  Start();
}

uint32_t CUsTimer::NowUs() const {
  uint32_t ulCount = 0;
  g_FpgaMain.ReadUsCounter(&ulCount);
  return ~ulCount;
}

uint32_t CUsTimer::WaitUs(uint32_t ulUs) const {
  const uint32_t ulTicks = ulUs & 0xFFFFu;
  const uint32_t ulStart = NowUs();
  uint32_t ulNow = ulStart;
  for (uint32_t ulElapsed = 0; ulElapsed < ulTicks; ulElapsed = Elapsed(ulStart, ulNow)) {
    CpuRelaxUs(ulTicks - ulElapsed);
    ulNow = NowUs();
  }
  return ulNow;
}
