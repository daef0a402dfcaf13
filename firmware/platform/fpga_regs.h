// The FPGA's main register block (bank 0 at 0x64000000): sensor inputs,
// motor, fan and PWM outputs, the stepper pulse channels, the encoder
// counters, the microsecond down-counter, the A/D converter, the colour
// sensor LEDs, the head supply (THV), the print-line timer, the EEPROM
// routing bits and the head information.
//
// g_FpgaMain is the one driver of the block. It never touches the bus
// itself: every access is one system-device call (IOCTL_FPGA0_WRITE /
// IOCTL_FPGA0_READ with the low 16 bits of the address as offset), whose own
// result is not passed on. The write-only control registers are kept in
// shadow words: their operations change bits in the shadow and write the
// whole word, never reading the register.
//
// Interrupt safety: the FPGA interrupt's per-pulse work reaches this block
// too (the print-line trigger, a stepper's stop, an error whose recording
// routes the EEPROM), so every read-modify-write, of a shadow or of a
// register, runs with interrupts masked, and restores the mask it found
// rather than unmasking: a caller that masked interrupts itself, or an
// interrupt handler, keeps them masked.
#pragma once

#include <cstdint>

#include "firmware/hal/isr_shared.h"
#include "firmware/platform/global_build.h"

// The registers of the block, as full bus addresses.
enum FpgaMainRegister : uint32_t {
  FPGA_MAIN_BASE = 0x64000000u,
  FPGA_IN0 = 0x64000000u,             // sensor inputs
  FPGA_IN1 = 0x64000002u,
  FPGA_IN2 = 0x64000004u,
  FPGA_CNT_ENABLE = 0x64000008u,      // bit n: 0 counter n counts, 1 holds
  FPGA_CNT_CLEAR = 0x6400000Au,       // bit n pulsed 1-0 clears counter n
  FPGA_CNT_VALUE0 = 0x6400000Cu,      // counters 0-5 at 0x0C-0x16
  FPGA_CNT_VALUE5 = 0x64000016u,
  FPGA_USCNT_LO = 0x64000018u,        // microsecond down-counter
  FPGA_USCNT_HI = 0x6400001Au,
  FPGA_TIMER_CTRL = 0x6400001Cu,      // bit 0 counter runs, 1 head drive, 2 line trigger
  FPGA_HEAD_INFO = 0x64000020u,
  FPGA_EEPROM_SEL = 0x64000022u,      // bit 0 external EEPROM, bit 1 upper half
  FPGA_PULSE_CTRL = 0x64000026u,      // start/stop bits of the three pulse channels
  FPGA_IN3 = 0x6400002Au,
  FPGA_OUT0 = 0x6400002Cu,
  FPGA_VERSION = 0x6400002Eu,
  FPGA_DCMOTOR0 = 0x64000030u,
  FPGA_DCMOTOR1 = 0x64000032u,
  FPGA_DCMOTOR2 = 0x64000034u,
  FPGA_FAN_CTRL = 0x64000036u,
  FPGA_LINE_PERIOD_LO = 0x64000038u,  // print-line period, 50 MHz counts
  FPGA_LINE_PERIOD_HI = 0x6400003Au,
  FPGA_LINE_MODE = 0x6400003Cu,
  FPGA_SUBSTEP_CTRL = 0x6400003Eu,
  FPGA_PCB_REV = 0x64000040u,         // bits 0-3 main PCB revision
  FPGA_ADC_CHANNEL = 0x64000042u,
  FPGA_ADC_DATA = 0x64000044u,        // bits 0-9
  FPGA_COLOR_CTRL = 0x64000046u,      // bits 0-5 colour LEDs 1-6, bit 8 left sensor
  FPGA_ADC_MUX = 0x64000048u,
  FPGA_CNT_VALUE6 = 0x6400004Au,
  FPGA_THV_CTRL = 0x6400004Cu,        // bit 0 supply, bit 1 measure, bits 6-15 step
  FPGA_PULSE_PERIOD0 = 0x6400004Eu,   // 32 bits, low word first, 25 MHz counts
  FPGA_PULSE_PERIOD1 = 0x64000054u,
  FPGA_PULSE_PERIOD2 = 0x6400005Au,
  FPGA_PWM_BASE = 0x64000060u,        // 13 pairs {period, duty}
  FPGA_EXIT_SLICE = 0x6400009Cu,
  FPGA_TAG_BRIDGE = 0x640000A2u,      // to 0x64000210
};

class CFpgaRegs {
 public:
  constexpr CFpgaRegs() = default;
  // The machine definition's construction: reads the shadows from the
  // configured FPGA.
  explicit CFpgaRegs(GlobalBuild) { ReadShadows(); }
  CFpgaRegs(const CFpgaRegs&) = delete;
  CFpgaRegs& operator=(const CFpgaRegs&) = delete;

  // Reads the eight shadowed registers into their shadows.
  void ReadShadows();

  // ---- raw access: -2 for an address outside the block (upper 16 bits not
  // 0x6400; nothing accessed, nothing stored), else 0 ----
  int32_t Write(uint32_t ulAddress, uint16_t usValue);
  int32_t Read(uint32_t ulAddress, uint16_t* pusValue);
  // Without the address check: the offset is the low 16 bits whatever the
  // upper ones.
  int32_t WriteRaw(uint32_t ulAddress, uint16_t usValue);
  int32_t ReadRaw(uint32_t ulAddress, uint16_t* pusValue);
  // Read-modify-write of an unshadowed register with interrupts masked:
  // 0, or -2 from the failing step.
  int32_t SetBits(uint32_t ulAddress, uint16_t usMask);
  int32_t ClearBits(uint32_t ulAddress, uint16_t usMask);
  void SetBitsRaw(uint32_t ulAddress, uint16_t usMask);
  void ClearBitsRaw(uint32_t ulAddress, uint16_t usMask);

  // ---- timer control and the microsecond counter ----
  int32_t StartUsCounter();
  int32_t StopUsCounter();
  int32_t SetHeadDriveEnable(uint16_t usOn);
  // Bit 2 of FPGA_TIMER_CTRL = v & 1; the print line writes 0 then 1.
  int32_t SetLineTrigger(uint16_t usValue);
  // High half first, then the low half, which loads the counter.
  int32_t LoadUsCounter(uint32_t ulValue);
  // The 32-bit count. The halves are read high, low, high again: when the
  // high half changed (the low half borrowed in between), the low half is
  // read again, so the count never jumps by 65536.
  int32_t ReadUsCounter(uint32_t* pulValue);

  // ---- counters (encoder slits), channels 0-6; -2 for another ----
  // ulValue & 1: 0 counts, 1 holds.
  int32_t EnableCounter(uint32_t ulChannel, uint32_t ulValue);
  int32_t IsCounterEnabled(uint32_t ulChannel, uint32_t* pulValue);
  int32_t ReadCounter(uint32_t ulChannel, uint32_t* pulValue);
  int32_t ClearCounter(uint32_t ulChannel);

  // ---- A/D converter and colour sensors ----
  // The caller waits 25 us before ReadAdc.
  int32_t SelectAdcChannel(uint8_t ucChannel);
  int32_t ReadAdc(uint32_t* pulValue);
  // n = 1-6; another n changes no bit, the shadow is written all the same.
  int32_t ColorLedOn(uint32_t ulLed);
  int32_t ColorLedOff(uint32_t ulLed);
  int32_t SelectColorSensorL(uint16_t usOn);

  // ---- print line, pulse channels and PWM ----
  int32_t SetLinePeriodUs(uint16_t usMicroseconds);
  // ch 0-2 (main, sub, exit stepper): the start or stop bit written 1, 0, 1.
  int32_t StartStopPulses(uint32_t ulChannel, uint32_t ulStop);
  int32_t SetPulsePeriod(uint32_t ulChannel, uint32_t ulPeriod);
  // PWM channels 0-3, 5, 6, 8-10, 14-17; -2 for another.
  int32_t SetPwmPeriod(uint32_t ulChannel, uint16_t usPeriod);
  // duty = period x percent / 100 (32-bit product), from the pair's period.
  int32_t SetPwmDuty(uint32_t ulChannel, uint32_t ulPercent);

  // ---- head supply voltage ----
  int32_t ThvOn();
  int32_t ThvOff();
  int32_t ThvMeasureOn();
  int32_t ThvMeasureOff();
  int32_t SetThvValue(uint16_t usStep);
  // Reads FPGA_THV_CTRL into its shadow and returns the step (0-1023).
  int32_t GetThvValue();

  // ---- EEPROM routing ----
  void SelectExternalEeprom(uint32_t ulOn);
  void SelectEepromUpperHalf(uint32_t ulOn);

  // ---- heads ----
  // Once at application start-up: 0.
  int32_t ReadHeadInfo();
  // The current unit's head type (1 Kyocera, else Toshiba) and print width.
  int32_t GetHeadType(uint32_t* pulValue);
  int32_t GetHeadDots(uint32_t* pulValue);

 private:
  // Changes bits of a shadow and writes the whole shadow, with interrupts
  // masked; the Write result.
  int32_t UpdateShadow(hal::IsrShared<uint32_t>& shadow, uint32_t ulAddress, uint32_t ulClear, uint32_t ulSet);
  int32_t ModifyBits(uint32_t ulAddress, uint16_t usClear, uint16_t usSet);
  static bool PwmPair(uint32_t ulChannel, uint32_t* pulPeriodAddress);

  hal::IsrShared<uint32_t> m_ulCntEnable;
  hal::IsrShared<uint32_t> m_ulCntClear;
  hal::IsrShared<uint32_t> m_ulTimerCtrl;
  hal::IsrShared<uint32_t> m_ulHeadInfo;
  hal::IsrShared<uint32_t> m_ulPulseCtrl;
  hal::IsrShared<uint32_t> m_ulAdcData;
  hal::IsrShared<uint32_t> m_ulColorCtrl;
  hal::IsrShared<uint32_t> m_ulThvCtrl;
  uint32_t m_ulHeadTypeA = 0;
  uint32_t m_ulHeadTypeB = 0;
  uint32_t m_ulHeadDotsA = 0;
  uint32_t m_ulHeadDotsB = 0;
};

extern CFpgaRegs g_FpgaMain;
