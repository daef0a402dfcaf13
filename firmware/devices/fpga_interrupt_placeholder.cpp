// Placeholder of the FPGA interrupt dispatch.
#include "firmware/devices/fpga_interrupt.h"
#include "firmware/platform/placeholder.h"

void FpgaInterrupt() {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "FpgaInterrupt (FPGA interrupt dispatch)");
}
