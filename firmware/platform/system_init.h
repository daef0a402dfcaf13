// The early board start-up: the first object the machine definition builds.
// Its construction sets the board up by PCB revision, configures the FPGA
// from flash and selects print unit A, before any other object exists;
// every later object that touches the FPGA needs it configured.
#pragma once

#include <cstdint>

#include "firmware/platform/global_build.h"

class CSystemInit {
 public:
  constexpr CSystemInit() = default;
  explicit CSystemInit(GlobalBuild) { EarlyStartupInit(); }

  // IoctlInitBoard, ConfigureFpgaFromFlash, SetGpioBank1Pin14, then
  // SelectUnit (0); the results of the first three are not examined: a
  // failed configuration shows in the log only.
  void EarlyStartupInit();
};

extern CSystemInit g_SystemInit;

// Asks for bank 1 pin 14 to be raised by a 32-bit write of 0x40000000 to the
// banks 0/1 set-data register through IoctlWrite32. The register lies in no
// address window, so the request is refused (-1) and the pin keeps its
// level from the board set-up, as it always has on this board.
int32_t SetGpioBank1Pin14();
