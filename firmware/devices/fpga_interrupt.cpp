// The GPIO bank-0 pin handler: acknowledges every pending pin with
// interrupts masked, then, with interrupts enabled again, runs each pin's
// per-pulse work in pin order.
#include "firmware/devices/fpga_interrupt.h"

#include "firmware/devices/paper_position.h"
#include "firmware/devices/stepper.h"
#include "firmware/hal/hw.h"
#include "firmware/mechanism/donor_mng.h"
#include "firmware/platform/fpga_regs.h"
#include "firmware/printengine/plane_sequencer.h"
#include "firmware/printengine/print_line.h"

hal::IsrShared<uint32_t> g_ulFpgaIrqCount[FPGA_IRQ_PINS];

namespace {

// The interrupt status of GPIO banks 0 and 1: bit n is bank-0 pin n.
constexpr PhysAddr kGpioIntStatus01 = 0x01E26034u;

void Count(uint32_t ulPin) { g_ulFpgaIrqCount[ulPin - 1] = g_ulFpgaIrqCount[ulPin - 1] + 1; }

void OnLinePin() {
  if (g_ulLineIrqEnable == 0) g_PrintLine.StepLineSegment();
  for (uint32_t i = 0; i < 3; ++i) {
    if (g_usLineIrqFlags[i] != 0) g_usLineIrqCounts[i] = static_cast<uint16_t>(g_usLineIrqCounts[i] + 1);
  }
}

void OnPaperStepPin() {
  g_PaperPosition.OnStepInterrupt();
  g_PlaneSequencer.OnLine();
  const uint32_t ulEnable = g_ulLineIrqEnable;
  if (ulEnable == 0) return;
  g_ulLineIrqEnable = ulEnable + 1;
  // Every second paper step starts a print line.
  if (((ulEnable + 1) & 1u) != 0) {
    g_FpgaMain.SetLineTrigger(0);
    g_FpgaMain.SetLineTrigger(1);
  }
}

}  // namespace

void FpgaInterrupt() {
  DisableIrq();
  const uint32_t ulStatus = HwRead32(kGpioIntStatus01);
  HwWrite32(kGpioIntStatus01, ulStatus);
  EnableIrq();

  for (uint32_t ulPin = 1; ulPin <= FPGA_IRQ_PINS; ++ulPin) {
    if ((ulStatus & (1u << ulPin)) == 0) continue;
    switch (ulPin) {
      case 2: OnLinePin(); break;
      case 3:
        g_StpmtrMain.OnStep();
        g_pDonorMng->CountStepPulse();
        break;
      case 4: OnPaperStepPin(); break;
      case 5: g_StpmtrSub.OnStep(); break;
      default: break;
    }
    Count(ulPin);
  }
}
