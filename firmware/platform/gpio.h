// The system-device GPIO services: single pins 0-127 (32 per bank pair) and
// the falling-edge interrupt enables of GPIO bank-0 pins; and the GPIO
// controller's registers, which the board set-up, the FPGA configuration and
// the ports use.
#pragma once

#include <cstdint>

#include "firmware/hal/hw.h"

constexpr uint32_t GPIO_PIN_COUNT = 128;

// The controller: the bank-interrupt enable (bit n = bank n), and per bank
// pair k (banks 2k and 2k + 1, bank 8 alone in pair 4) a group of registers.
// A direction bit of 1 makes the pin an input.
constexpr PhysAddr GPIO_BINTEN = 0x01E26008u;
constexpr PhysAddr GPIO_PAIR_BASE = 0x01E26010u;
constexpr uint32_t GPIO_PAIR_STRIDE = 0x28u;
enum GpioPairRegister : uint32_t {
  GPIO_DIR = 0x00,
  GPIO_OUT_DATA = 0x04,
  GPIO_SET_DATA = 0x08,
  GPIO_CLR_DATA = 0x0C,
  GPIO_IN_DATA = 0x10,
  GPIO_SET_RIS_TRIG = 0x14,
  GPIO_CLR_RIS_TRIG = 0x18,
  GPIO_SET_FAL_TRIG = 0x1C,
  GPIO_CLR_FAL_TRIG = 0x20,
  GPIO_INTSTAT = 0x24,
};
constexpr PhysAddr GpioRegister(uint32_t ulPair, GpioPairRegister eRegister) {
  return GPIO_PAIR_BASE + GPIO_PAIR_STRIDE * ulPair + eRegister;
}

// Drive a pin high or low: 0, or -1 for a pin of 128 or more.
int32_t GpioSetPin(uint32_t ulPin);
int32_t GpioClearPin(uint32_t ulPin);
// Read a pin's level (1 or 0) into *pulLevel: 0, or -1 for a pin of 128 or
// more.
int32_t GpioReadPin(uint32_t ulPin, uint32_t* pulLevel);

// Enable or disable the falling-edge interrupt of bank-0 pin n for n = 1-8;
// any other n does nothing.
void GpioSetFallTrigger(uint32_t ulPin);
void GpioClearFallTrigger(uint32_t ulPin);

// The GPIO bank-0 interrupt (the FPGA's interrupt lines): enabled at the end
// of the board set-up; the disable has no user.
void GpioEnableBank0Irq();
void GpioDisableBank0Irq();
