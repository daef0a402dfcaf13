// The DSP's start: its boot address, power and local reset, and the
// handshake in shared RAM. The handshake words are read through the
// system-device call, as every access to the shared-RAM window is.
#include "firmware/platform/dsp_boot.h"

#include "firmware/hal/hw.h"
#include "firmware/platform/board_setup.h"
#include "firmware/platform/soft_timer.h"

namespace {

void WriteBootAddress(PhysAddr ulEntry) {
  const uint32_t ulKept = HwRead32(SYSCFG0_DSP_BOOT_ADDR) & DSP_BOOT_ADDR_KEPT_BITS;
  HwWrite32(SYSCFG0_DSP_BOOT_ADDR, (ulEntry & ~DSP_BOOT_ADDR_KEPT_BITS) | ulKept);
}

void ReleaseLocalReset() { HwWrite32(PSC0_MDCTL_DSP, HwRead32(PSC0_MDCTL_DSP) | PSC_LOCAL_RESET_RELEASED); }

bool PowerTransitionDone() { return (HwRead32(PSC0_PTSTAT) & PSC_DOMAIN1) == 0; }
bool DspModuleEnabled() { return (HwRead32(PSC0_MDSTAT_DSP) & PSC_STATE_MASK) == PSC_STATE_ENABLE; }

// Polls until bDone or ulMs have passed; the condition is tested at least
// once.
bool WaitUntil(bool (*pfnDone)(), uint32_t ulMs) {
  StartSoftTimer(SOFT_TIMER_WAIT, ulMs);
  for (;;) {
    if (pfnDone()) return true;
    if (IsSoftTimerRunning(SOFT_TIMER_WAIT) == 0) return false;
  }
}

bool DspAnswered() {
  uint16_t usAnswer = 0;
  DspShmRead16(DSP_SHM_HANDSHAKE_ANSWER, &usAnswer);
  return usAnswer == 1 || usAnswer == 2;
}

void ClearHandshake() {
  DspShmWrite16(DSP_SHM_HANDSHAKE_REQUEST, 0);
  DspShmWrite16(DSP_SHM_HANDSHAKE_ANSWER, 0);
}

}  // namespace

int32_t DspPowerUp(PhysAddr ulEntry) {
  UnlockSystemConfig();
  WriteBootAddress(ulEntry);
  const uint32_t ulControl = HwRead32(PSC0_MDCTL_DSP) & ~(PSC_LOCAL_RESET_RELEASED | PSC_NEXT_MASK);
  HwWrite32(PSC0_MDCTL_DSP, ulControl | PSC_STATE_ENABLE);
  HwWrite32(PSC0_PTCMD, PSC_DOMAIN1);
  if (!WaitUntil(PowerTransitionDone, DSP_POWER_WAIT_MS)) {
    LockSystemConfig();
    return -1;
  }
  if (!WaitUntil(DspModuleEnabled, DSP_POWER_WAIT_MS)) {
    LockSystemConfig();
    return -2;
  }
  ReleaseLocalReset();
  LockSystemConfig();
  return 0;
}

int32_t DspSetBootAndRelease(PhysAddr ulEntry) {
  UnlockSystemConfig();
  WriteBootAddress(ulEntry);
  ReleaseLocalReset();
  return 0;
}

int32_t DspHoldInReset() {
  HwWrite32(PSC0_MDCTL_DSP, HwRead32(PSC0_MDCTL_DSP) & ~PSC_LOCAL_RESET_RELEASED);
  return 0;
}

// A DSP that did not power up fails the handshake; that is how it is told.
int32_t StartDsp(PhysAddr ulEntry, uint32_t ulKeepPowered) {
  ClearHandshake();
  if (ulKeepPowered == 0) {
    DspPowerUp(ulEntry);
  } else {
    DspSetBootAndRelease(ulEntry);
  }
  int32_t lResult = -1;
  for (uint32_t i = 0; i < DSP_HANDSHAKE_ATTEMPTS && lResult != 0; ++i) {
    DspShmWrite16(DSP_SHM_HANDSHAKE_REQUEST, DSP_HANDSHAKE_ASK);
    if (WaitUntil(DspAnswered, DSP_HANDSHAKE_WAIT_MS)) lResult = 0;
  }
  ClearHandshake();
  return lResult;
}

int32_t DspLoadHook() { return 0; }

int32_t ShutdownHook() { return 0; }
