// The application's I/O shut-down once the main loop has ended.
#include "firmware/devices/main_loop_stop.h"
#include "firmware/platform/ioctl.h"

namespace {
constexpr uint32_t kFirstFallTriggerPin = 1;
constexpr uint32_t kLastFallTriggerPin = 8;
}  // namespace

int32_t ShutdownApplicationIo() {
  // Closing USB detaches the printer from the host first (1.5 s); its
  // result does not stop the shut-down.
  IoctlCloseUsb();
  // Pins 1-8, one call each; the system-device call takes pins 0-7 only,
  // so the last call reports -1 and pin 8's interrupt stays as it was.
  int32_t lResult = 0;
  for (uint32_t ulPin = kFirstFallTriggerPin; ulPin <= kLastFallTriggerPin; ++ulPin) {
    lResult = IoctlClrGpioFallTrig(ulPin);
  }
  return lResult;
}
