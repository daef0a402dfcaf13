// USB0 controller bring-up, connect and disconnect, the bulk IN path and the
// endpoint register operations.
#include "firmware/platform/usb_controller.h"

#include "firmware/hal/board.h"
#include "firmware/hal/hw.h"
#include "firmware/hal/kernel.h"
#include "firmware/platform/usb_registers.h"

namespace {

// Between two polls of a hardware handshake: short against the handshakes'
// own times, long enough that a stuck one does not spin for nothing.
constexpr uint32_t kHandshakePollUs = 10;

// FIFO start addresses of endpoints 0-4 in units of 8 bytes; endpoints 3
// and 4 are never set up.
constexpr uint16_t kFifoAddress[5] = {0, 8, 136, 264, 392};
constexpr uint16_t kBulkMaxPacketAtOpen = 512;

// Which FIFOs were set up double-buffered (a flush then takes two writes).
bool s_abTxDoubleBuffered[5];
bool s_abRxDoubleBuffered[5];

// Polls pred() until it holds or ulTimeoutMs of kernel time have passed:
// 0, or -1 on time-out.
template <class Pred>
int32_t WaitUntil(Pred pred, uint32_t ulTimeoutMs) {
  const uint32_t ulStart = UsbNowMs();
  for (;;) {
    if (pred()) return 0;
    if (UsbNowMs() - ulStart > ulTimeoutMs) return pred() ? 0 : -1;
    BoardWaitUs(kHandshakePollUs);
  }
}

void ModifyCfgChip2(uint32_t ulClear, uint32_t ulSet) {
  HwWrite32(SYSCFG_CFGCHIP2, (HwRead32(SYSCFG_CFGCHIP2) & ~ulClear) | ulSet);
}

bool ValidEndpoint(uint32_t ulEp) { return ulEp >= 1 && ulEp <= 4; }

void SetCoreEnable16(PhysAddr ulReg, uint16_t usBit, bool bOn) {
  const uint16_t usValue = HwRead16(ulReg);
  HwWrite16(ulReg, bOn ? static_cast<uint16_t>(usValue | usBit) : static_cast<uint16_t>(usValue & ~usBit));
}

void SetWrapperMask(uint32_t ulBit, bool bOn) { HwWrite32(bOn ? USB_INTMSKSETR : USB_INTMSKCLRR, ulBit); }

}  // namespace

uint32_t UsbNowMs() {
  SYSTIM ulNow = 0;
  get_tim(&ulNow);
  return ulNow;
}

void UsbDelayMs(uint32_t ulMs) {
  const uint32_t ulStart = UsbNowMs();
  while (UsbNowMs() - ulStart <= ulMs) {
  }
}

// ---- bring-up ---------------------------------------------------------------------------------

int32_t UsbPscEnable() {
  if (WaitUntil([] { return (HwRead32(PSC1_PTSTAT) & PSC_GO0) == 0; }, USB_HANDSHAKE_TIMEOUT_MS) != 0) return -1;
  HwWrite32(PSC1_MDCTL_USB0, HwRead32(PSC1_MDCTL_USB0) | PSC_STATE_ENABLE);
  HwWrite32(PSC1_PTCMD, HwRead32(PSC1_PTCMD) | PSC_GO0);
  if (WaitUntil([] { return (HwRead32(PSC1_PTSTAT) & PSC_GO0) == 0; }, USB_HANDSHAKE_TIMEOUT_MS) != 0) return -2;
  if (WaitUntil([] { return (HwRead32(PSC1_MDSTAT_USB0) & PSC_STATE_MASK) == PSC_STATE_ENABLE; },
                USB_HANDSHAKE_TIMEOUT_MS) != 0) {
    return -3;
  }
  return 0;
}

int32_t UsbPhyPowerUp() {
  HwWrite32(SYSCFG_KICK0R, SYSCFG_KICK0_UNLOCK);
  HwWrite32(SYSCFG_KICK1R, SYSCFG_KICK1_UNLOCK);
  int32_t lResult = 0;
  if (UsbPscEnable() != 0) {
    lResult = -1;
  } else {
    HwWrite32(USB_CTRLR, HwRead32(USB_CTRLR) | CTRLR_RESET);
    if (WaitUntil([] { return (HwRead32(USB_CTRLR) & CTRLR_RESET) == 0; }, USB_HANDSHAKE_TIMEOUT_MS) != 0) {
      lResult = -2;
    } else {
      ModifyCfgChip2(0, CFGCHIP2_RESET);
      UsbDelayMs(USB_PHY_RESET_MS);
      ModifyCfgChip2(CFGCHIP2_RESET, 0);
      ModifyCfgChip2(CFGCHIP2_OTGMODE_MASK, 0);
      ModifyCfgChip2(CFGCHIP2_PHYPWRDN, 0);
      ModifyCfgChip2(CFGCHIP2_OTGPWRDN, 0);
      ModifyCfgChip2(0, CFGCHIP2_DATPOL);
      ModifyCfgChip2(0, CFGCHIP2_SESENDEN);
      ModifyCfgChip2(0, CFGCHIP2_VBDTCTEN);
      ModifyCfgChip2(CFGCHIP2_REFFREQ_MASK, CFGCHIP2_REFFREQ_24MHZ);
      ModifyCfgChip2(0, CFGCHIP2_PHYCLKMUX);
      ModifyCfgChip2(0, CFGCHIP2_PHY_PLLON);
      if (WaitUntil([] { return (HwRead32(SYSCFG_CFGCHIP2) & CFGCHIP2_PHYCLKGD) != 0; }, USB_HANDSHAKE_TIMEOUT_MS) !=
          0) {
        lResult = -3;
      } else {
        HwWrite8(USB_POWER, static_cast<uint8_t>(HwRead8(USB_POWER) | POWER_HSENAB | POWER_SUSPENDM | POWER_ENSUSPM));
      }
    }
  }
  HwWrite32(SYSCFG_KICK0R, 0);
  HwWrite32(SYSCFG_KICK1R, 0);
  return lResult;
}

int32_t UsbSetupEndpoint(uint32_t ulEp, uint32_t ulDir) {
  if (!ValidEndpoint(ulEp) || ulDir > USB_DIR_IN) return -1;
  // FIFO sizing is indexed; nothing else runs on the controller yet.
  HwWrite8(USB_INDEX, static_cast<uint8_t>(ulEp));
  const uint8_t ucSize = FIFOSZ_DOUBLE | FIFOSZ_512;
  if (ulDir == USB_DIR_IN) {
    HwWrite8(USB_TXFIFOSZ, ucSize);
    HwWrite16(USB_TXFIFOADDR, kFifoAddress[ulEp]);
    HwWrite16(UsbEpReg(ulEp, EP_TXMAXP), kBulkMaxPacketAtOpen);
    s_abTxDoubleBuffered[ulEp] = (ucSize & FIFOSZ_DOUBLE) != 0;
    if (s_abTxDoubleBuffered[ulEp]) HwWrite16(UsbEpReg(ulEp, EP_TXCSR), TXCSR_FLUSHFIFO);
    HwWrite16(UsbEpReg(ulEp, EP_TXCSR), TXCSR_FLUSHFIFO | TXCSR_CLRDATATOG);
    UsbModifyTxCsr(ulEp, TXCSR_DMAREQMODE | TXCSR_FRCDATATOG | TXCSR_DMAREQENAB, 0);
    UsbModifyTxCsr(ulEp, 0, TXCSR_MODE);
    UsbModifyTxCsr(ulEp, TXCSR_ISO, 0);
  } else {
    HwWrite8(USB_RXFIFOSZ, ucSize);
    HwWrite16(USB_RXFIFOADDR, kFifoAddress[ulEp]);
    HwWrite16(UsbEpReg(ulEp, EP_RXMAXP), kBulkMaxPacketAtOpen);
    s_abRxDoubleBuffered[ulEp] = (ucSize & FIFOSZ_DOUBLE) != 0;
    UsbModifyRxCsr(ulEp, RXCSR_RXPKTRDY | RXCSR_OVERRUN, 0);
    UsbModifyRxCsr(ulEp, 0, RXCSR_FLUSHFIFO);
    if (s_abRxDoubleBuffered[ulEp]) UsbModifyRxCsr(ulEp, 0, RXCSR_FLUSHFIFO);
    UsbModifyRxCsr(ulEp, RXCSR_SENDSTALL | RXCSR_SENTSTALL, 0);
    UsbModifyRxCsr(ulEp, 0, RXCSR_CLRDATATOG);
    UsbModifyRxCsr(ulEp, RXCSR_DMAREQMODE | RXCSR_DISNYET | RXCSR_DMAREQENAB | RXCSR_ISO, 0);
  }
  HwWrite8(USB_INDEX, 0);
  return 0;
}

int32_t UsbSetupEndpoints() {
  if (UsbSetupEndpoint(USB_EP_BULK_IN, USB_DIR_IN) != 0) return -1;
  if (UsbSetupEndpoint(USB_EP_BULK_OUT, USB_DIR_OUT) != 0) return -1;
  return 0;
}

void UsbEnableTxInterrupt(uint32_t ulEp) {
  SetCoreEnable16(USB_INTRTXE, static_cast<uint16_t>(1u << ulEp), true);
  SetWrapperMask(1u << (INT_TX_SHIFT + ulEp), true);
}

void UsbDisableTxInterrupt(uint32_t ulEp) {
  SetCoreEnable16(USB_INTRTXE, static_cast<uint16_t>(1u << ulEp), false);
  SetWrapperMask(1u << (INT_TX_SHIFT + ulEp), false);
}

void UsbEnableRxInterrupt(uint32_t ulEp) {
  SetCoreEnable16(USB_INTRRXE, static_cast<uint16_t>(1u << ulEp), true);
  SetWrapperMask(1u << (INT_RX_SHIFT + ulEp), true);
}

void UsbDisableRxInterrupt(uint32_t ulEp) {
  SetCoreEnable16(USB_INTRRXE, static_cast<uint16_t>(1u << ulEp), false);
  SetWrapperMask(1u << (INT_RX_SHIFT + ulEp), false);
}

void UsbEnableBusInterrupt(uint32_t ulIndex) {
  const uint32_t ulBit = 7u - (ulIndex & 7u);
  HwWrite8(USB_INTRUSBE, static_cast<uint8_t>(HwRead8(USB_INTRUSBE) | (1u << ulBit)));
  SetWrapperMask(1u << (INT_USB_SHIFT + ulBit), true);
}

void UsbDisableBusInterrupt(uint32_t ulIndex) {
  const uint32_t ulBit = 7u - (ulIndex & 7u);
  HwWrite8(USB_INTRUSBE, static_cast<uint8_t>(HwRead8(USB_INTRUSBE) & ~(1u << ulBit)));
  SetWrapperMask(1u << (INT_USB_SHIFT + ulBit), false);
}

int32_t UsbSetupInterrupts() {
  for (uint32_t ulEp = 1; ulEp <= 4; ++ulEp) UsbDisableRxInterrupt(ulEp);
  UsbEnableTxInterrupt(0);  // endpoint 0 has one interrupt for both directions
  for (uint32_t ulEp = 1; ulEp <= 4; ++ulEp) UsbDisableTxInterrupt(ulEp);
  // Of the bus events only the disconnect is served.
  for (uint32_t ulIndex = 0; ulIndex < 8; ++ulIndex) {
    if (7u - ulIndex == 5u) {
      UsbEnableBusInterrupt(ulIndex);
    } else {
      UsbDisableBusInterrupt(ulIndex);
    }
  }
  syslog(LOG_NOTICE, "[INT]USB_INTRRXE %x.", HwRead16(USB_INTRRXE));
  syslog(LOG_NOTICE, "[INT]USB_INTRTXE %x.", HwRead16(USB_INTRTXE));
  syslog(LOG_NOTICE, "[INT]USB_INTRUSBE %x.", HwRead8(USB_INTRUSBE));
  syslog(LOG_NOTICE, "[INT]USB_INTMSKSETR %x.", HwRead32(USB_INTMSKSETR));
  syslog(LOG_NOTICE, "[INT]USB_INTCLRR %x.", HwRead32(USB_INTCLRR));
  return 0;
}

int32_t UsbDisableInterrupts() {
  for (uint32_t ulEp = 1; ulEp <= 4; ++ulEp) UsbDisableRxInterrupt(ulEp);
  for (uint32_t ulEp = 0; ulEp <= 4; ++ulEp) UsbDisableTxInterrupt(ulEp);
  for (uint32_t ulIndex = 0; ulIndex < 8; ++ulIndex) UsbDisableBusInterrupt(ulIndex);
  return 0;
}

// ---- connect and disconnect -----------------------------------------------------------------------

int32_t UsbSoftDisconnect() {
  HwWrite8(USB_POWER, static_cast<uint8_t>(HwRead8(USB_POWER) & ~POWER_SOFTCONN));
  UsbDelayMs(USB_DETACH_MS);
  return 0;
}

int32_t UsbSoftConnect() {
  // The host always sees a detach of 1.5 s before the attach.
  UsbSoftDisconnect();
  HwWrite8(USB_POWER, static_cast<uint8_t>(HwRead8(USB_POWER) | POWER_SOFTCONN));
  return 0;
}

bool UsbVbusPresent() { return (HwRead8(USB_DEVCTL) & DEVCTL_VBUS_MASK) != 0; }

// ---- bulk IN ---------------------------------------------------------------------------------------

int32_t UsbFlushFifo(uint32_t ulEp, uint32_t ulDir) {
  if (!ValidEndpoint(ulEp) || ulDir > USB_DIR_IN) return -1;
  if (ulDir == USB_DIR_IN) {
    UsbModifyTxCsr(ulEp, 0, TXCSR_FLUSHFIFO);
    if (s_abTxDoubleBuffered[ulEp]) UsbModifyTxCsr(ulEp, 0, TXCSR_FLUSHFIFO);
  } else {
    UsbModifyRxCsr(ulEp, 0, RXCSR_FLUSHFIFO);
    if (s_abRxDoubleBuffered[ulEp]) UsbModifyRxCsr(ulEp, 0, RXCSR_FLUSHFIFO);
  }
  return 0;
}

int32_t UsbFlushEndpoints() {
  if (UsbFlushFifo(USB_EP_BULK_IN, USB_DIR_IN) != 0) return -1;
  if (UsbFlushFifo(USB_EP_BULK_OUT, USB_DIR_OUT) != 0) return -1;
  return 0;
}

int32_t UsbBulkInWrite(uint32_t ulEp, const uint8_t* pucBuffer, uint32_t ulLength) {
  if ((ulLength != 0 && pucBuffer == nullptr) || !ValidEndpoint(ulEp)) return -1;
  const uint32_t ulMax = HwRead16(UsbEpReg(ulEp, EP_TXMAXP)) & 0x7FFu;
  if (ulLength == 0) return 0;
  if (ulMax == 0) return -1;
  const PhysAddr ulCsr = UsbEpReg(ulEp, EP_TXCSR);
  uint32_t ulOffset = 0;
  // A reply that fills its last packet is ended by a zero-length packet, so
  // that a host reading more than the reply holds sees where it ends.
  bool bZeroLengthPending = ulLength % ulMax == 0;
  while (ulOffset < ulLength || bZeroLengthPending) {
    uint32_t ulPiece = ulLength - ulOffset;
    if (ulPiece > ulMax) ulPiece = ulMax;
    if (ulPiece == 0) bZeroLengthPending = false;
    for (uint32_t i = 0; i < ulPiece; ++i) HwWrite8(UsbFifo(ulEp), pucBuffer[ulOffset + i]);
    UsbModifyTxCsr(ulEp, TXCSR_UNDERRUN, TXCSR_TXPKTRDY);
    ulOffset += ulPiece;
    const uint32_t ulHandedOver = UsbNowMs();
    for (;;) {
      if (UsbNowMs() - ulHandedOver > USB_BULK_IN_TIMEOUT_MS || !UsbVbusPresent()) {
        UsbFlushFifo(ulEp, USB_DIR_IN);
        return -1;
      }
      if ((HwRead16(ulCsr) & TXCSR_TXPKTRDY) == 0) break;
      dly_tsk(USB_BULK_IN_POLL_MS);
    }
  }
  return 0;
}

// ---- endpoint operations -------------------------------------------------------------------------

void UsbModifyTxCsr(uint32_t ulEp, uint16_t usClear, uint16_t usSet) {
  const PhysAddr ulReg = UsbEpReg(ulEp, EP_TXCSR);
  const uint32_t ulSaved = SaveIrqAndDisable();
  uint16_t usValue = static_cast<uint16_t>(HwRead16(ulReg) & ~TXCSR_ACTIONS);
  usValue = static_cast<uint16_t>((usValue & ~usClear) | usSet);
  HwWrite16(ulReg, usValue);
  RestoreIrq(ulSaved);
}

void UsbModifyRxCsr(uint32_t ulEp, uint16_t usClear, uint16_t usSet) {
  const PhysAddr ulReg = UsbEpReg(ulEp, EP_RXCSR);
  const uint32_t ulSaved = SaveIrqAndDisable();
  uint16_t usValue = static_cast<uint16_t>(HwRead16(ulReg) & ~RXCSR_ACTIONS);
  usValue = static_cast<uint16_t>((usValue & ~usClear) | usSet);
  HwWrite16(ulReg, usValue);
  RestoreIrq(ulSaved);
}

int32_t UsbStallEndpoint(uint32_t ulEp) {
  if (!ValidEndpoint(ulEp)) return -1;
  if (ulEp == USB_EP_BULK_IN) UsbModifyTxCsr(ulEp, 0, TXCSR_SENDSTALL);
  if (ulEp == USB_EP_BULK_OUT) UsbModifyRxCsr(ulEp, 0, RXCSR_SENDSTALL);
  return 0;
}

int32_t UsbClearEndpointStall(uint32_t ulEp) {
  if (!ValidEndpoint(ulEp)) return -1;
  if (ulEp == USB_EP_BULK_IN) UsbModifyTxCsr(ulEp, TXCSR_SENDSTALL | TXCSR_SENTSTALL, TXCSR_CLRDATATOG);
  if (ulEp == USB_EP_BULK_OUT) UsbModifyRxCsr(ulEp, RXCSR_SENDSTALL | RXCSR_SENTSTALL, RXCSR_CLRDATATOG);
  return 0;
}

int32_t UsbGetEndpointHalt(uint32_t ulEp, uint32_t* pulHalt) {
  if (!ValidEndpoint(ulEp) || pulHalt == nullptr) return -1;
  *pulHalt = 0;
  if (ulEp == USB_EP_BULK_IN) *pulHalt = (HwRead16(UsbEpReg(ulEp, EP_TXCSR)) & TXCSR_SENDSTALL) != 0 ? 1 : 0;
  if (ulEp == USB_EP_BULK_OUT) *pulHalt = (HwRead16(UsbEpReg(ulEp, EP_RXCSR)) & RXCSR_SENDSTALL) != 0 ? 1 : 0;
  return 0;
}

int32_t UsbSetAddress(uint32_t ulAddress) {
  if (ulAddress > 127) return -1;
  HwWrite8(USB_FADDR, static_cast<uint8_t>((HwRead8(USB_FADDR) & 0x80u) | ulAddress));
  return 0;
}

int32_t UsbSetBulkPacketSize(uint32_t ulSize) {
  const PhysAddr ulTx = UsbEpReg(USB_EP_BULK_IN, EP_TXMAXP);
  const PhysAddr ulRx = UsbEpReg(USB_EP_BULK_OUT, EP_RXMAXP);
  HwWrite16(ulTx, static_cast<uint16_t>((HwRead16(ulTx) & ~0x7FFu) | (ulSize & 0x7FFu)));
  HwWrite16(ulRx, static_cast<uint16_t>((HwRead16(ulRx) & ~0x7FFu) | (ulSize & 0x7FFu)));
  return 0;
}

bool UsbIsHighSpeed() { return (HwRead8(USB_POWER) & POWER_HSMODE) != 0; }
