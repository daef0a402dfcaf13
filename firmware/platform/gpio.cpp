// The GPIO services of the system-device call. They run inside the
// dispatcher and reach the controller directly; single pins go through the
// set- and clear-data registers, so no other pin of the bank can change.
#include "firmware/platform/gpio.h"

namespace {

constexpr uint32_t kFallTriggerFirst = 1;
constexpr uint32_t kFallTriggerLast = 8;
constexpr uint32_t kBank0 = 0x1u;

int32_t WritePinBit(uint32_t ulPin, GpioPairRegister eRegister) {
  if (ulPin >= GPIO_PIN_COUNT) return -1;
  HwWrite32(GpioRegister(ulPin / 32, eRegister), 1u << (ulPin % 32));
  return 0;
}

void WriteFallTrigger(uint32_t ulPin, GpioPairRegister eRegister) {
  if (ulPin < kFallTriggerFirst || ulPin > kFallTriggerLast) return;
  HwWrite32(GpioRegister(0, eRegister), 1u << ulPin);
}

}  // namespace

int32_t GpioSetPin(uint32_t ulPin) { return WritePinBit(ulPin, GPIO_SET_DATA); }

int32_t GpioClearPin(uint32_t ulPin) { return WritePinBit(ulPin, GPIO_CLR_DATA); }

int32_t GpioReadPin(uint32_t ulPin, uint32_t* pulLevel) {
  if (ulPin >= GPIO_PIN_COUNT) return -1;
  *pulLevel = (HwRead32(GpioRegister(ulPin / 32, GPIO_IN_DATA)) >> (ulPin % 32)) & 1u;
  return 0;
}

void GpioSetFallTrigger(uint32_t ulPin) { WriteFallTrigger(ulPin, GPIO_SET_FAL_TRIG); }

void GpioClearFallTrigger(uint32_t ulPin) { WriteFallTrigger(ulPin, GPIO_CLR_FAL_TRIG); }

void GpioEnableBank0Irq() { HwWrite32(GPIO_BINTEN, HwRead32(GPIO_BINTEN) | kBank0); }

void GpioDisableBank0Irq() { HwWrite32(GPIO_BINTEN, HwRead32(GPIO_BINTEN) & ~kBank0); }
