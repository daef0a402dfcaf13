#include "firmware/platform/fpga_regs.h"

#include "firmware/devices/unit_switch.h"
#include "firmware/hal/hw.h"
#include "firmware/platform/ioctl.h"

constinit CFpgaRegs g_FpgaMain;

namespace {

constexpr uint32_t kBlockTag = 0x6400u;
constexpr uint32_t kCounterChannels = 7;
constexpr uint32_t kPulseChannels = 3;
constexpr uint32_t kHeadDots = 2560;

constexpr uint32_t kTimerRun = 0x0001u;
constexpr uint32_t kTimerHeadDrive = 0x0002u;
constexpr uint32_t kTimerLineTrigger = 0x0004u;
constexpr uint32_t kColorSensorL = 0x0100u;
constexpr uint32_t kThvSupply = 0x0001u;
constexpr uint32_t kThvMeasure = 0x0002u;
constexpr uint32_t kThvStepShift = 6;
constexpr uint32_t kThvStepMask = 0x3FFu;
constexpr uint16_t kEepromExternal = 0x0001u;
constexpr uint16_t kEepromUpperHalf = 0x0002u;

constexpr uint32_t kPulsePeriod[kPulseChannels] = {FPGA_PULSE_PERIOD0, FPGA_PULSE_PERIOD1, FPGA_PULSE_PERIOD2};

// The PWM channels that have a register pair, in pair order.
constexpr uint8_t kPwmChannels[] = {0, 1, 2, 3, 5, 6, 8, 9, 10, 14, 15, 16, 17};

bool InBlock(uint32_t ulAddress) { return (ulAddress >> 16) == kBlockTag; }

uint32_t Offset(uint32_t ulAddress) { return ulAddress & 0xFFFFu; }

}  // namespace

void CFpgaRegs::ReadShadows() {
  hal::IsrShared<uint32_t>* const apShadows[] = {&m_ulCntEnable, &m_ulCntClear, &m_ulTimerCtrl, &m_ulHeadInfo,
                                                 &m_ulPulseCtrl, &m_ulAdcData,  &m_ulColorCtrl, &m_ulThvCtrl};
  constexpr uint32_t kAddresses[] = {FPGA_CNT_ENABLE, FPGA_CNT_CLEAR, FPGA_TIMER_CTRL, FPGA_HEAD_INFO,
                                     FPGA_PULSE_CTRL, FPGA_ADC_DATA,  FPGA_COLOR_CTRL, FPGA_THV_CTRL};
  for (uint32_t i = 0; i < sizeof kAddresses / sizeof kAddresses[0]; ++i) {
    uint16_t usValue = 0;
    Read(kAddresses[i], &usValue);
    apShadows[i]->Store(usValue);
  }
}

// ---- Raw access --------------------------------------------------------------------------

int32_t CFpgaRegs::Write(uint32_t ulAddress, uint16_t usValue) {
  if (!InBlock(ulAddress)) return -2;
  return WriteRaw(ulAddress, usValue);
}

int32_t CFpgaRegs::Read(uint32_t ulAddress, uint16_t* pusValue) {
  if (!InBlock(ulAddress)) return -2;
  return ReadRaw(ulAddress, pusValue);
}

int32_t CFpgaRegs::WriteRaw(uint32_t ulAddress, uint16_t usValue) {
  IoctlFpga0Write(Offset(ulAddress), usValue);
  return 0;
}

int32_t CFpgaRegs::ReadRaw(uint32_t ulAddress, uint16_t* pusValue) {
  IoctlFpga0Read(Offset(ulAddress), pusValue);
  return 0;
}

int32_t CFpgaRegs::ModifyBits(uint32_t ulAddress, uint16_t usClear, uint16_t usSet) {
  const uint32_t ulSaved = SaveIrqAndDisable();
  uint16_t usValue = 0;
  int32_t lResult = Read(ulAddress, &usValue);
  if (lResult == 0) lResult = Write(ulAddress, static_cast<uint16_t>((usValue & ~usClear) | usSet));
  RestoreIrq(ulSaved);
  return lResult;
}

int32_t CFpgaRegs::SetBits(uint32_t ulAddress, uint16_t usMask) { return ModifyBits(ulAddress, 0, usMask); }

int32_t CFpgaRegs::ClearBits(uint32_t ulAddress, uint16_t usMask) { return ModifyBits(ulAddress, usMask, 0); }

void CFpgaRegs::SetBitsRaw(uint32_t ulAddress, uint16_t usMask) {
  const uint32_t ulSaved = SaveIrqAndDisable();
  uint16_t usValue = 0;
  ReadRaw(ulAddress, &usValue);
  WriteRaw(ulAddress, static_cast<uint16_t>(usValue | usMask));
  RestoreIrq(ulSaved);
}

void CFpgaRegs::ClearBitsRaw(uint32_t ulAddress, uint16_t usMask) {
  const uint32_t ulSaved = SaveIrqAndDisable();
  uint16_t usValue = 0;
  ReadRaw(ulAddress, &usValue);
  WriteRaw(ulAddress, static_cast<uint16_t>(usValue & ~usMask));
  RestoreIrq(ulSaved);
}

int32_t CFpgaRegs::UpdateShadow(hal::IsrShared<uint32_t>& shadow, uint32_t ulAddress, uint32_t ulClear,
                                uint32_t ulSet) {
  const uint32_t ulSaved = SaveIrqAndDisable();
  const uint32_t ulValue = (shadow.Load() & ~ulClear) | ulSet;
  shadow.Store(ulValue);
  const int32_t lResult = Write(ulAddress, static_cast<uint16_t>(ulValue));
  RestoreIrq(ulSaved);
  return lResult;
}

// ---- Timer control and the microsecond counter ---------------------------------------------

int32_t CFpgaRegs::StartUsCounter() { return UpdateShadow(m_ulTimerCtrl, FPGA_TIMER_CTRL, 0, kTimerRun); }

int32_t CFpgaRegs::StopUsCounter() { return UpdateShadow(m_ulTimerCtrl, FPGA_TIMER_CTRL, kTimerRun, 0); }

int32_t CFpgaRegs::SetHeadDriveEnable(uint16_t usOn) {
  return UpdateShadow(m_ulTimerCtrl, FPGA_TIMER_CTRL, kTimerHeadDrive, (usOn & 1u) != 0 ? kTimerHeadDrive : 0);
}

int32_t CFpgaRegs::SetLineTrigger(uint16_t usValue) {
  return UpdateShadow(m_ulTimerCtrl, FPGA_TIMER_CTRL, kTimerLineTrigger, (usValue & 1u) != 0 ? kTimerLineTrigger : 0);
}

int32_t CFpgaRegs::LoadUsCounter(uint32_t ulValue) {
  const int32_t lResult = Write(FPGA_USCNT_HI, static_cast<uint16_t>(ulValue >> 16));
  if (lResult != 0) return lResult;
  return Write(FPGA_USCNT_LO, static_cast<uint16_t>(ulValue & 0xFFFFu));
}

int32_t CFpgaRegs::ReadUsCounter(uint32_t* pulValue) {
  uint16_t usHigh = 0;
  uint16_t usLow = 0;
  uint16_t usHighAgain = 0;
  ReadRaw(FPGA_USCNT_HI, &usHigh);
  ReadRaw(FPGA_USCNT_LO, &usLow);
  ReadRaw(FPGA_USCNT_HI, &usHighAgain);
  if (usHighAgain != usHigh) {
    // The low half borrowed between the reads: it is read again under the
    // new high half, which cannot change again for 65 ms.
    usHigh = usHighAgain;
    ReadRaw(FPGA_USCNT_LO, &usLow);
  }
  *pulValue = static_cast<uint32_t>(usHigh) << 16 | usLow;
  return 0;
}

// ---- Counters ------------------------------------------------------------------------------

int32_t CFpgaRegs::EnableCounter(uint32_t ulChannel, uint32_t ulValue) {
  if (ulChannel >= kCounterChannels) return -2;
  const uint32_t ulBit = 1u << ulChannel;
  return UpdateShadow(m_ulCntEnable, FPGA_CNT_ENABLE, ulBit, (ulValue & 1u) != 0 ? ulBit : 0);
}

int32_t CFpgaRegs::IsCounterEnabled(uint32_t ulChannel, uint32_t* pulValue) {
  uint16_t usValue = 0;
  const uint32_t ulSaved = SaveIrqAndDisable();
  Read(FPGA_CNT_ENABLE, &usValue);
  m_ulCntEnable.Store(usValue);
  RestoreIrq(ulSaved);
  if (ulChannel >= kCounterChannels) return -2;
  *pulValue = (usValue >> ulChannel) & 1u;
  return 0;
}

int32_t CFpgaRegs::ReadCounter(uint32_t ulChannel, uint32_t* pulValue) {
  if (ulChannel >= kCounterChannels) return -2;
  const uint32_t ulAddress = ulChannel == 6 ? FPGA_CNT_VALUE6 : FPGA_CNT_VALUE0 + 2 * ulChannel;
  uint16_t usValue = 0;
  const int32_t lResult = Read(ulAddress, &usValue);
  if (lResult == 0) *pulValue = usValue;
  return lResult;
}

int32_t CFpgaRegs::ClearCounter(uint32_t ulChannel) {
  if (ulChannel >= kCounterChannels) return -2;
  const uint32_t ulBit = 1u << ulChannel;
  // The 1-0 pulse goes out whole: no other change of the shadow between.
  const uint32_t ulSaved = SaveIrqAndDisable();
  int32_t lResult = UpdateShadow(m_ulCntClear, FPGA_CNT_CLEAR, 0, ulBit);
  if (lResult == 0) lResult = UpdateShadow(m_ulCntClear, FPGA_CNT_CLEAR, ulBit, 0);
  RestoreIrq(ulSaved);
  return lResult;
}

// ---- A/D converter and colour sensors -----------------------------------------------------------

int32_t CFpgaRegs::SelectAdcChannel(uint8_t ucChannel) {
  const int32_t lResult = Write(FPGA_ADC_MUX, static_cast<uint16_t>(ucChannel >> 4));
  if (lResult != 0) return lResult;
  Write(FPGA_ADC_CHANNEL, static_cast<uint16_t>(ucChannel & 0x0Fu));
  return 0;
}

int32_t CFpgaRegs::ReadAdc(uint32_t* pulValue) {
  uint16_t usValue = 0;
  const int32_t lResult = Read(FPGA_ADC_DATA, &usValue);
  if (lResult == 0) *pulValue = usValue & 0x3FFu;
  return lResult;
}

int32_t CFpgaRegs::ColorLedOn(uint32_t ulLed) {
  const uint32_t ulBit = ulLed >= 1 && ulLed <= 6 ? 1u << (ulLed - 1) : 0;
  return UpdateShadow(m_ulColorCtrl, FPGA_COLOR_CTRL, 0, ulBit);
}

int32_t CFpgaRegs::ColorLedOff(uint32_t ulLed) {
  const uint32_t ulBit = ulLed >= 1 && ulLed <= 6 ? 1u << (ulLed - 1) : 0;
  return UpdateShadow(m_ulColorCtrl, FPGA_COLOR_CTRL, ulBit, 0);
}

int32_t CFpgaRegs::SelectColorSensorL(uint16_t usOn) {
  return UpdateShadow(m_ulColorCtrl, FPGA_COLOR_CTRL, kColorSensorL, (usOn & 1u) != 0 ? kColorSensorL : 0);
}

// ---- Print line, pulse channels and PWM --------------------------------------------------------------

int32_t CFpgaRegs::SetLinePeriodUs(uint16_t usMicroseconds) {
  // 50 MHz counts: 20 ns each.
  const uint32_t ulCount = static_cast<uint32_t>(usMicroseconds) * 1000u / 20u;
  WriteRaw(FPGA_LINE_PERIOD_LO, static_cast<uint16_t>(ulCount & 0xFFFFu));
  WriteRaw(FPGA_LINE_PERIOD_HI, static_cast<uint16_t>(ulCount >> 16));
  return 0;
}

int32_t CFpgaRegs::StartStopPulses(uint32_t ulChannel, uint32_t ulStop) {
  if (ulChannel >= kPulseChannels) return -2;
  const uint32_t ulBit = 1u << (2 * ulChannel + (ulStop != 0 ? 1 : 0));
  // The FPGA acts on the bit's rising edge: 1, 0, 1 makes one whatever the
  // bit held before.
  const uint32_t ulSaved = SaveIrqAndDisable();
  int32_t lResult = UpdateShadow(m_ulPulseCtrl, FPGA_PULSE_CTRL, 0, ulBit);
  if (lResult == 0) lResult = UpdateShadow(m_ulPulseCtrl, FPGA_PULSE_CTRL, ulBit, 0);
  if (lResult == 0) lResult = UpdateShadow(m_ulPulseCtrl, FPGA_PULSE_CTRL, 0, ulBit);
  RestoreIrq(ulSaved);
  return lResult;
}

int32_t CFpgaRegs::SetPulsePeriod(uint32_t ulChannel, uint32_t ulPeriod) {
  if (ulChannel >= kPulseChannels) return 0;
  WriteRaw(kPulsePeriod[ulChannel], static_cast<uint16_t>(ulPeriod & 0xFFFFu));
  WriteRaw(kPulsePeriod[ulChannel] + 2, static_cast<uint16_t>(ulPeriod >> 16));
  return 0;
}

bool CFpgaRegs::PwmPair(uint32_t ulChannel, uint32_t* pulPeriodAddress) {
  for (uint32_t k = 0; k < sizeof kPwmChannels; ++k) {
    if (kPwmChannels[k] == ulChannel) {
      *pulPeriodAddress = FPGA_PWM_BASE + 4 * k;
      return true;
    }
  }
  return false;
}

int32_t CFpgaRegs::SetPwmPeriod(uint32_t ulChannel, uint16_t usPeriod) {
  uint32_t ulPeriodAddress = 0;
  if (!PwmPair(ulChannel, &ulPeriodAddress)) return -2;
  return Write(ulPeriodAddress, usPeriod);
}

int32_t CFpgaRegs::SetPwmDuty(uint32_t ulChannel, uint32_t ulPercent) {
  uint32_t ulPeriodAddress = 0;
  if (!PwmPair(ulChannel, &ulPeriodAddress)) return -2;
  uint16_t usPeriod = 0;
  Read(ulPeriodAddress, &usPeriod);
  const uint32_t ulDuty = static_cast<uint32_t>(usPeriod) * ulPercent / 100u;
  return Write(ulPeriodAddress + 2, static_cast<uint16_t>(ulDuty & 0xFFFFu));
}

// ---- Head supply voltage -----------------------------------------------------------------------------

int32_t CFpgaRegs::ThvOn() { return UpdateShadow(m_ulThvCtrl, FPGA_THV_CTRL, 0, kThvSupply); }

int32_t CFpgaRegs::ThvOff() { return UpdateShadow(m_ulThvCtrl, FPGA_THV_CTRL, kThvSupply, 0); }

int32_t CFpgaRegs::ThvMeasureOn() { return UpdateShadow(m_ulThvCtrl, FPGA_THV_CTRL, 0, kThvMeasure); }

int32_t CFpgaRegs::ThvMeasureOff() { return UpdateShadow(m_ulThvCtrl, FPGA_THV_CTRL, kThvMeasure, 0); }

int32_t CFpgaRegs::SetThvValue(uint16_t usStep) {
  return UpdateShadow(m_ulThvCtrl, FPGA_THV_CTRL, kThvStepMask << kThvStepShift,
                      (static_cast<uint32_t>(usStep) & kThvStepMask) << kThvStepShift);
}

int32_t CFpgaRegs::GetThvValue() {
  uint16_t usValue = 0;
  const uint32_t ulSaved = SaveIrqAndDisable();
  Read(FPGA_THV_CTRL, &usValue);
  m_ulThvCtrl.Store(usValue);
  RestoreIrq(ulSaved);
  return static_cast<int32_t>(static_cast<uint32_t>(usValue) >> kThvStepShift);
}

// ---- EEPROM routing ------------------------------------------------------------------------------------

void CFpgaRegs::SelectExternalEeprom(uint32_t ulOn) {
  if (ulOn != 0) {
    SetBits(FPGA_EEPROM_SEL, kEepromExternal);
  } else {
    ClearBits(FPGA_EEPROM_SEL, kEepromExternal);
  }
}

void CFpgaRegs::SelectEepromUpperHalf(uint32_t ulOn) {
  if (ulOn != 0) {
    SetBits(FPGA_EEPROM_SEL, kEepromUpperHalf);
  } else {
    ClearBits(FPGA_EEPROM_SEL, kEepromUpperHalf);
  }
}

// ---- Heads -----------------------------------------------------------------------------------------------

int32_t CFpgaRegs::ReadHeadInfo() {
  uint16_t usInfo = 0;
  // A head whose information bit is set is a Kyocera head (type 1), any
  // other a Toshiba head; both print 2560 dots wide.
  if (Read(FPGA_HEAD_INFO, &usInfo) == 0) {
    m_ulHeadTypeA = (usInfo >> 1) & 1u;
    m_ulHeadTypeB = (usInfo >> 2) & 1u;
  } else {
    m_ulHeadTypeA = 0;
    m_ulHeadTypeB = 0;
  }
  m_ulHeadDotsA = kHeadDots;
  m_ulHeadDotsB = kHeadDots;
  return 0;
}

int32_t CFpgaRegs::GetHeadType(uint32_t* pulValue) {
  *pulValue = GetCurrentUnit() == 1 ? m_ulHeadTypeB : m_ulHeadTypeA;
  return 0;
}

int32_t CFpgaRegs::GetHeadDots(uint32_t* pulValue) {
  *pulValue = GetCurrentUnit() == 1 ? m_ulHeadDotsB : m_ulHeadDotsA;
  return 0;
}
