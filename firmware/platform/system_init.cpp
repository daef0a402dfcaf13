#include "firmware/platform/system_init.h"

#include "firmware/devices/unit_switch.h"
#include "firmware/platform/fpga_config.h"
#include "firmware/platform/gpio.h"
#include "firmware/platform/ioctl.h"

constinit CSystemInit g_SystemInit;

namespace {
constexpr uint32_t kBank1Pin14 = 0x40000000u;
}  // namespace

void CSystemInit::EarlyStartupInit() {
  IoctlInitBoard();
  ConfigureFpgaFromFlash();
  SetGpioBank1Pin14();
  SelectUnit(0);
}

int32_t SetGpioBank1Pin14() { return IoctlWrite32(GpioRegister(0, GPIO_SET_DATA), kBank1Pin14); }
