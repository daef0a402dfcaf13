#include "sim/usb/usb_controller.h"

#include <algorithm>
#include <cstdio>

#include "sim/soc/psc.h"
#include "sim/soc/syscfg.h"

namespace sim {

namespace {

constexpr uint32_t kRevision = 0x4EA10800u;

// CSR0 bits.
constexpr uint16_t kCsr0RxPktRdy = 1u << 0;
constexpr uint16_t kCsr0TxPktRdy = 1u << 1;
constexpr uint16_t kCsr0SentStall = 1u << 2;
constexpr uint16_t kCsr0DataEnd = 1u << 3;
constexpr uint16_t kCsr0SetupEnd = 1u << 4;
constexpr uint16_t kCsr0SendStall = 1u << 5;
constexpr uint16_t kCsr0ServRxPktRdy = 1u << 6;
constexpr uint16_t kCsr0ServSetupEnd = 1u << 7;
constexpr uint16_t kCsr0FlushFifo = 1u << 8;

// TXCSR bits.
constexpr uint16_t kTxPktRdy = 1u << 0;
constexpr uint16_t kTxFifoNotEmpty = 1u << 1;
constexpr uint16_t kTxUnderrun = 1u << 2;
constexpr uint16_t kTxFlushFifo = 1u << 3;
constexpr uint16_t kTxSendStall = 1u << 4;
constexpr uint16_t kTxSentStall = 1u << 5;
constexpr uint16_t kTxClrDataTog = 1u << 6;
constexpr uint16_t kTxKept = 0xFC10u;  // SENDSTALL and bits 10-15

// RXCSR bits.
constexpr uint16_t kRxPktRdy = 1u << 0;
constexpr uint16_t kRxFifoFull = 1u << 1;
constexpr uint16_t kRxOverrun = 1u << 2;
constexpr uint16_t kRxFlushFifo = 1u << 4;
constexpr uint16_t kRxSendStall = 1u << 5;
constexpr uint16_t kRxSentStall = 1u << 6;
constexpr uint16_t kRxClrDataTog = 1u << 7;
constexpr uint16_t kRxDmaReqEnab = 1u << 13;
constexpr uint16_t kRxKept = 0xF820u;  // SENDSTALL and bits 11-15

constexpr uint32_t kModeGenericRndis = 3;
constexpr uint32_t kCtrlrReset = 1u << 0;

uint32_t FifoBytes(uint8_t sizeReg) { return 8u << (sizeReg & 0xFu); }
bool DoubleBuffered(uint8_t sizeReg) { return (sizeReg & 0x10u) != 0; }

}  // namespace

UsbController::UsbController(Board& board, SystemConfig* syscfg, Psc1* psc1)
    : m_board(board), m_syscfg(syscfg), m_psc1(psc1), m_dma(board) {
  ResetModule();
  m_dma.SetPushObserver([this] {
    for (uint32_t ep = 1; ep < kEndpoints; ++ep) PumpRx(ep);
  });
  if (m_syscfg != nullptr) m_syscfg->AddUsb0PhyObserver([this] { CheckLink(); });
  if (m_psc1 != nullptr) m_psc1->AddObserver([this](uint32_t module) {
      if (module == Psc1::kModuleUsb0) CheckLink();
    });
  board.GetBus().MapDevice(kBase, kLast, RegionKind::SocRegisters, this, "usb0");
}

// ---- module state -------------------------------------------------------------------

bool UsbController::ModuleOn() const { return m_psc1 == nullptr || m_psc1->ModuleEnabled(Psc1::kModuleUsb0); }

void UsbController::Fault(const char* format, uint32_t a, uint32_t b) {
  char text[160];
  std::snprintf(text, sizeof text, format, a, b);
  m_board.ReportFault(std::string("usb0: ") + text);
}

void UsbController::ResetModule() {
  m_ctrlr = 0;
  m_mode = 0;
  m_genRndisSz = {};
  m_intSrc = 0;
  m_intMsk = 0;
  m_lastMasked = 0;
  m_wrapperWords = {};
  m_faddr = 0;
  m_power = kPowerHsEnable;
  m_intrTx = 0;
  m_intrRx = 0;
  m_intrUsb = 0;
  m_intrTxE = 0x001F;
  m_intrRxE = 0x001E;
  m_intrUsbE = 0x06;
  m_index = 0;
  m_testMode = 0;
  m_coreBytes = {};
  for (Endpoint& ep : m_ep) ep = Endpoint{};
  m_ep0 = Ep0{};
  m_bHighSpeed = false;
  m_dma.Reset();
}

bool UsbController::PullUp() const {
  const bool bPhy = m_syscfg == nullptr || m_syscfg->Usb0PhyClockGood();
  return ModuleOn() && bPhy && m_bVbus && (m_power & kPowerSoftConn) != 0 && m_testMode == 0 &&
         m_board.Clock().Now() >= m_resetUntil;
}

void UsbController::CheckLink() {
  const bool bLinked = PullUp();
  if (bLinked == m_bLinked) return;
  m_bLinked = bLinked;
  if (bLinked) CheckFifoLayout();
  if (m_linkObserver) m_linkObserver();
}

void UsbController::CheckFifoLayout() {
  struct Range {
    uint32_t first;
    uint32_t bytes;
    uint32_t ep;
  };
  std::vector<Range> ranges{{0, 64, 0}};
  for (uint32_t ep = 1; ep < kEndpoints; ++ep) {
    const Endpoint& e = m_ep[ep];
    if (e.txFifoAddr != 0) {
      const uint32_t bytes = FifoBytes(e.txFifoSz) * (DoubleBuffered(e.txFifoSz) ? 2 : 1);
      ranges.push_back({e.txFifoAddr * 8u, bytes, ep});
      if ((e.txMaxP & 0x7FFu) > FifoBytes(e.txFifoSz)) Fault("endpoint %u: TXMAXP %u exceeds its FIFO", ep, e.txMaxP);
    }
    if (e.rxFifoAddr != 0) {
      const uint32_t bytes = FifoBytes(e.rxFifoSz) * (DoubleBuffered(e.rxFifoSz) ? 2 : 1);
      ranges.push_back({e.rxFifoAddr * 8u, bytes, ep});
      if ((e.rxMaxP & 0x7FFu) > FifoBytes(e.rxFifoSz)) Fault("endpoint %u: RXMAXP %u exceeds its FIFO", ep, e.rxMaxP);
    }
  }
  for (size_t i = 0; i < ranges.size(); ++i) {
    if (ranges[i].first + ranges[i].bytes > kFifoRamBytes) {
      Fault("endpoint %u: FIFO ends at byte %u, past the FIFO RAM", ranges[i].ep, ranges[i].first + ranges[i].bytes);
    }
    for (size_t j = i + 1; j < ranges.size(); ++j) {
      const bool bOverlap = ranges[i].first < ranges[j].first + ranges[j].bytes &&
                            ranges[j].first < ranges[i].first + ranges[i].bytes;
      if (bOverlap) Fault("FIFOs of endpoints %u and %u overlap", ranges[i].ep, ranges[j].ep);
    }
  }
}

bool UsbController::Addressed(uint8_t address) const { return m_bLinked && PullUp() && address == m_faddr; }

// ---- interrupts -----------------------------------------------------------------------

uint32_t UsbController::CoreGate() const {
  return (m_intrTxE & 0x1Fu) | ((m_intrRxE & 0x1Fu) << 8) | (static_cast<uint32_t>(m_intrUsbE) << 16);
}

uint32_t UsbController::Masked() const { return m_intSrc & m_intMsk & CoreGate(); }

void UsbController::UpdateIrq() {
  const uint32_t masked = Masked();
  if ((masked & ~m_lastMasked) != 0) m_board.RaiseInterrupt(kInterruptEvent);
  m_lastMasked = masked;
}

void UsbController::TxEvent(uint32_t ep) {
  m_intrTx |= static_cast<uint16_t>(1u << ep);
  m_intSrc |= 1u << ep;
  UpdateIrq();
}

void UsbController::RxEvent(uint32_t ep) {
  m_intrRx |= static_cast<uint16_t>(1u << ep);
  m_intSrc |= 1u << (8 + ep);
  UpdateIrq();
}

void UsbController::BusEvent(uint8_t bits) {
  m_intrUsb |= bits;
  m_intSrc |= static_cast<uint32_t>(bits) << 16;
  UpdateIrq();
}

// ---- register access --------------------------------------------------------------------

uint32_t UsbController::Read(uint32_t offset, uint32_t width) {
  if (!ModuleOn()) {
    Fault("read at 0x%08X while PSC1 module 1 is not enabled", kBase + offset);
    return 0;
  }
  if (offset < 0x400) {
    if (!CheckWidth(offset, width, 4)) return 0;
    return ReadWrapper(offset);
  }
  if (offset < 0x800) return ReadCore(offset, width);
  if (offset >= UsbCppiDma::kFirst && offset <= UsbCppiDma::kLast) {
    if (!CheckWidth(offset, width, 4)) return 0;
    return m_dma.Read(offset);
  }
  return 0;
}

void UsbController::Write(uint32_t offset, uint32_t width, uint32_t value) {
  if (!ModuleOn()) {
    Fault("write at 0x%08X while PSC1 module 1 is not enabled", kBase + offset);
    return;
  }
  if (offset < 0x400) {
    if (CheckWidth(offset, width, 4)) WriteWrapper(offset, value);
  } else if (offset < 0x800) {
    WriteCore(offset, width, value);
  } else if (offset >= UsbCppiDma::kFirst && offset <= UsbCppiDma::kLast) {
    if (CheckWidth(offset, width, 4)) m_dma.Write(offset, value);
  }
}

bool UsbController::CheckWidth(uint32_t offset, uint32_t width, uint32_t natural) {
  if (width == natural) return true;
  Fault("%u-bit access to register 0x%08X", width * 8, kBase + offset);
  return false;
}

uint32_t UsbController::ReadWrapper(uint32_t offset) {
  switch (offset) {
    case kRevId:
      return kRevision;
    case kCtrlr:
      return (m_ctrlr & ~kCtrlrReset) | (m_board.Clock().Now() < m_resetUntil ? kCtrlrReset : 0u);
    case kMode:
      return m_mode;
    case kIntSrc:
      return m_intSrc;
    case kIntMsk:
    case kIntMskSet:
    case kIntMskClr:
      return m_intMsk;
    case kIntMasked:
      return Masked();
    default:
      break;
  }
  if (offset >= kGenRndisSz1 && offset < kGenRndisSz1 + 16) return m_genRndisSz[(offset - kGenRndisSz1) / 4];
  return m_wrapperWords[offset / 4];
}

void UsbController::WriteWrapper(uint32_t offset, uint32_t value) {
  switch (offset) {
    case kRevId:
    case kIntSrc:
    case kIntMasked:
      return;
    case kCtrlr:
      if ((value & kCtrlrReset) != 0) {
        ResetModule();
        m_resetUntil = m_board.Clock().Now() + kResetTime;
        m_board.Clock().ScheduleIn(kResetTime, [this] { CheckLink(); });
        CheckLink();
      }
      m_ctrlr = value & ~kCtrlrReset;
      return;
    case kMode:
      m_mode = value;
      for (uint32_t ep = 1; ep < kEndpoints; ++ep) PumpRx(ep);
      return;
    case kIntSet:
      m_intSrc |= value;
      UpdateIrq();
      return;
    case kIntClr:
      m_intSrc &= ~value;
      m_lastMasked = Masked();
      return;
    case kIntMsk:
      m_intMsk = value;
      UpdateIrq();
      return;
    case kIntMskSet:
      m_intMsk |= value;
      UpdateIrq();
      return;
    case kIntMskClr:
      m_intMsk &= ~value;
      m_lastMasked = Masked();
      return;
    case kEoi:
      if (Masked() != 0) m_board.RaiseInterrupt(kInterruptEvent);
      m_lastMasked = Masked();
      return;
    default:
      break;
  }
  if (offset >= kGenRndisSz1 && offset < kGenRndisSz1 + 16) {
    m_genRndisSz[(offset - kGenRndisSz1) / 4] = value & 0x1FFFFu;
    return;
  }
  m_wrapperWords[offset / 4] = value;
}

uint32_t UsbController::ReadCore(uint32_t offset, uint32_t width) {
  if (offset >= kFifo0 && offset < kFifo0 + 4 * kEndpoints) return ReadFifo((offset - kFifo0) / 4, width);
  if (offset >= kIndexed && offset < kIndexed + 0x10) {
    if (m_index >= kEndpoints) {
      Fault("indexed access with INDEX %u at 0x%08X", m_index, kBase + offset);
      return 0;
    }
    return ReadEndpoint(m_index, offset - kIndexed, width);
  }
  if (offset >= kEndpointRegs && offset < kEndpointRegs + 0x10 * kEndpoints) {
    return ReadEndpoint((offset - kEndpointRegs) / 0x10, (offset - kEndpointRegs) % 0x10, width);
  }
  switch (offset) {
    case kFaddr:
      return CheckWidth(offset, width, 1) ? m_faddr : 0;
    case kPower:
      return CheckWidth(offset, width, 1) ? static_cast<uint32_t>((m_power & ~kPowerHsMode) |
                                                                  (m_bHighSpeed ? kPowerHsMode : 0))
                                          : 0;
    case kIntrTx: {
      if (!CheckWidth(offset, width, 2)) return 0;
      const uint16_t v = m_intrTx;
      m_intrTx = 0;
      return v;
    }
    case kIntrRx: {
      if (!CheckWidth(offset, width, 2)) return 0;
      const uint16_t v = m_intrRx;
      m_intrRx = 0;
      return v;
    }
    case kIntrTxE:
      return CheckWidth(offset, width, 2) ? m_intrTxE : 0;
    case kIntrRxE:
      return CheckWidth(offset, width, 2) ? m_intrRxE : 0;
    case kIntrUsb: {
      if (!CheckWidth(offset, width, 1)) return 0;
      const uint8_t v = m_intrUsb;
      m_intrUsb = 0;
      return v;
    }
    case kIntrUsbE:
      return CheckWidth(offset, width, 1) ? m_intrUsbE : 0;
    case kIndex:
      return CheckWidth(offset, width, 1) ? m_index : 0;
    case kTestMode:
      return CheckWidth(offset, width, 1) ? m_testMode : 0;
    case kDevCtl:
      if (!CheckWidth(offset, width, 1)) return 0;
      return 0x80u | (m_bVbus ? 0x19u : 0u);  // B-device; VBUS above valid and session while present
    case kTxFifoSz:
      return CheckWidth(offset, width, 1) && m_index < kEndpoints ? m_ep[m_index].txFifoSz : 0;
    case kRxFifoSz:
      return CheckWidth(offset, width, 1) && m_index < kEndpoints ? m_ep[m_index].rxFifoSz : 0;
    case kTxFifoAddr:
      return CheckWidth(offset, width, 2) && m_index < kEndpoints ? m_ep[m_index].txFifoAddr : 0;
    case kRxFifoAddr:
      return CheckWidth(offset, width, 2) && m_index < kEndpoints ? m_ep[m_index].rxFifoAddr : 0;
    default:
      break;
  }
  uint32_t value = 0;
  for (uint32_t i = 0; i < width; ++i) value |= static_cast<uint32_t>(m_coreBytes[(offset - 0x400 + i) & 0x3FF]) << (8 * i);
  return value;
}

void UsbController::WriteCore(uint32_t offset, uint32_t width, uint32_t value) {
  if (offset >= kFifo0 && offset < kFifo0 + 4 * kEndpoints) {
    WriteFifo((offset - kFifo0) / 4, width, value);
    return;
  }
  if (offset >= kIndexed && offset < kIndexed + 0x10) {
    if (m_index >= kEndpoints) {
      Fault("indexed access with INDEX %u at 0x%08X", m_index, kBase + offset);
      return;
    }
    WriteEndpoint(m_index, offset - kIndexed, width, value);
    return;
  }
  if (offset >= kEndpointRegs && offset < kEndpointRegs + 0x10 * kEndpoints) {
    WriteEndpoint((offset - kEndpointRegs) / 0x10, (offset - kEndpointRegs) % 0x10, width, value);
    return;
  }
  switch (offset) {
    case kFaddr:
      if (CheckWidth(offset, width, 1)) m_faddr = static_cast<uint8_t>(value & 0x7Fu);
      return;
    case kPower:
      if (CheckWidth(offset, width, 1)) {
        m_power = static_cast<uint8_t>(value & ~kPowerHsMode & ~0x08u);
        CheckLink();
      }
      return;
    case kIntrTx:
    case kIntrRx:
    case kIntrUsb:
    case kDevCtl:
      return;  // read-only
    case kIntrTxE:
      if (CheckWidth(offset, width, 2)) {
        m_intrTxE = static_cast<uint16_t>(value);
        UpdateIrq();
      }
      return;
    case kIntrRxE:
      if (CheckWidth(offset, width, 2)) {
        m_intrRxE = static_cast<uint16_t>(value);
        UpdateIrq();
      }
      return;
    case kIntrUsbE:
      if (CheckWidth(offset, width, 1)) {
        m_intrUsbE = static_cast<uint8_t>(value);
        UpdateIrq();
      }
      return;
    case kIndex:
      if (CheckWidth(offset, width, 1)) m_index = static_cast<uint8_t>(value & 0xFu);
      return;
    case kTestMode:
      if (CheckWidth(offset, width, 1)) {
        m_testMode = static_cast<uint8_t>(value);
        CheckLink();
      }
      return;
    case kTxFifoSz:
      if (CheckWidth(offset, width, 1) && m_index < kEndpoints) m_ep[m_index].txFifoSz = static_cast<uint8_t>(value & 0x1Fu);
      return;
    case kRxFifoSz:
      if (CheckWidth(offset, width, 1) && m_index < kEndpoints) m_ep[m_index].rxFifoSz = static_cast<uint8_t>(value & 0x1Fu);
      return;
    case kTxFifoAddr:
      if (CheckWidth(offset, width, 2) && m_index < kEndpoints) m_ep[m_index].txFifoAddr = static_cast<uint16_t>(value & 0x1FFFu);
      return;
    case kRxFifoAddr:
      if (CheckWidth(offset, width, 2) && m_index < kEndpoints) m_ep[m_index].rxFifoAddr = static_cast<uint16_t>(value & 0x1FFFu);
      return;
    default:
      break;
  }
  for (uint32_t i = 0; i < width; ++i) m_coreBytes[(offset - 0x400 + i) & 0x3FF] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t UsbController::ReadEndpoint(uint32_t ep, uint32_t reg, uint32_t width) {
  Endpoint& e = m_ep[ep];
  switch (reg) {
    case kEpTxMaxP:
      return CheckWidth(kEndpointRegs + 16 * ep + reg, width, 2) ? e.txMaxP : 0;
    case kEpTxCsr:
      if (!CheckWidth(kEndpointRegs + 16 * ep + reg, width, 2)) return 0;
      return ep == 0 ? ReadCsr0() : ReadTxCsr(ep);
    case kEpRxMaxP:
      return CheckWidth(kEndpointRegs + 16 * ep + reg, width, 2) ? e.rxMaxP : 0;
    case kEpRxCsr:
      return CheckWidth(kEndpointRegs + 16 * ep + reg, width, 2) ? ReadRxCsr(ep) : 0;
    case kEpCount:
      if (!CheckWidth(kEndpointRegs + 16 * ep + reg, width, 2)) return 0;
      if (ep == 0) return m_ep0.bRxPktRdy ? static_cast<uint32_t>(m_ep0.rx.size()) : 0u;
      return e.rxFifo.empty() ? 0u : static_cast<uint32_t>(e.rxFifo.front().size());
    default:
      break;
  }
  uint32_t value = 0;
  for (uint32_t i = 0; i < width && reg + i < 16; ++i) value |= static_cast<uint32_t>(e.other[reg + i]) << (8 * i);
  return value;
}

void UsbController::WriteEndpoint(uint32_t ep, uint32_t reg, uint32_t width, uint32_t value) {
  Endpoint& e = m_ep[ep];
  switch (reg) {
    case kEpTxMaxP:
      if (CheckWidth(kEndpointRegs + 16 * ep + reg, width, 2)) e.txMaxP = static_cast<uint16_t>(value);
      return;
    case kEpTxCsr:
      if (!CheckWidth(kEndpointRegs + 16 * ep + reg, width, 2)) return;
      if (ep == 0) {
        WriteCsr0(static_cast<uint16_t>(value));
      } else {
        WriteTxCsr(ep, static_cast<uint16_t>(value));
      }
      return;
    case kEpRxMaxP:
      if (CheckWidth(kEndpointRegs + 16 * ep + reg, width, 2)) e.rxMaxP = static_cast<uint16_t>(value);
      return;
    case kEpRxCsr:
      if (CheckWidth(kEndpointRegs + 16 * ep + reg, width, 2) && ep != 0) WriteRxCsr(ep, static_cast<uint16_t>(value));
      return;
    case kEpCount:
      return;  // read-only
    default:
      break;
  }
  for (uint32_t i = 0; i < width && reg + i < 16; ++i) e.other[reg + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t UsbController::ReadFifo(uint32_t ep, uint32_t width) {
  uint32_t value = 0;
  if (ep == 0) {
    for (uint32_t i = 0; i < width && !m_ep0.rx.empty(); ++i) {
      value |= static_cast<uint32_t>(m_ep0.rx.front()) << (8 * i);
      m_ep0.rx.erase(m_ep0.rx.begin());
    }
    return value;
  }
  Endpoint& e = m_ep[ep];
  if (e.rxReading.empty() && !e.rxFifo.empty()) e.rxReading = e.rxFifo.front();
  for (uint32_t i = 0; i < width && !e.rxReading.empty(); ++i) {
    value |= static_cast<uint32_t>(e.rxReading.front()) << (8 * i);
    e.rxReading.erase(e.rxReading.begin());
  }
  return value;
}

void UsbController::WriteFifo(uint32_t ep, uint32_t width, uint32_t value) {
  std::vector<uint8_t>& loading = ep == 0 ? m_ep0.tx : m_ep[ep].txLoading;
  const uint32_t limit = ep == 0 ? 64 : FifoBytes(m_ep[ep].txFifoSz);
  for (uint32_t i = 0; i < width; ++i) loading.push_back(static_cast<uint8_t>(value >> (8 * i)));
  if (loading.size() > limit) {
    Fault("endpoint %u: %u bytes loaded into its FIFO", ep, static_cast<uint32_t>(loading.size()));
    loading.resize(limit);
  }
}

// ---- endpoint 0 ---------------------------------------------------------------------------

uint16_t UsbController::ReadCsr0() const {
  uint16_t v = 0;
  if (m_ep0.bRxPktRdy) v |= kCsr0RxPktRdy;
  if (m_ep0.bTxPktRdy) v |= kCsr0TxPktRdy;
  if (m_ep0.bSentStall) v |= kCsr0SentStall;
  if (m_ep0.bSetupEnd) v |= kCsr0SetupEnd;
  if (m_ep0.bSendStall) v |= kCsr0SendStall;
  return v;
}

void UsbController::WriteCsr0(uint16_t value) {
  Ep0& e = m_ep0;
  if ((value & kCsr0ServSetupEnd) != 0) e.bSetupEnd = false;
  if ((value & kCsr0SentStall) == 0) e.bSentStall = false;
  e.bSendStall = (value & kCsr0SendStall) != 0;
  if ((value & kCsr0ServRxPktRdy) != 0 && e.bRxPktRdy) {
    e.bRxPktRdy = false;
    e.rx.clear();
    if ((value & kCsr0DataEnd) != 0 || e.bNoData) {
      // No data stage: the status IN is answered once DATAEND is given.
      e.phase = Ep0Phase::StatusIn;
      e.bDataEnd = (value & kCsr0DataEnd) != 0;
    } else {
      e.phase = e.bIn ? Ep0Phase::DataIn : Ep0Phase::DataOut;
      e.bDataEnd = false;
    }
  } else if ((value & kCsr0DataEnd) != 0 && (value & kCsr0TxPktRdy) == 0 &&
             (e.phase == Ep0Phase::DataOut || e.phase == Ep0Phase::StatusIn)) {
    e.phase = Ep0Phase::StatusIn;
    e.bDataEnd = true;
  }
  if ((value & kCsr0TxPktRdy) != 0) {
    e.bTxPktRdy = true;
    if ((value & kCsr0DataEnd) != 0) e.bDataEnd = true;
  }
  if ((value & kCsr0FlushFifo) != 0) {
    e.tx.clear();
    e.bTxPktRdy = false;
  }
}

UsbHandshake UsbController::Setup(uint8_t address, const std::array<uint8_t, 8>& packet) {
  if (!Addressed(address) || m_testMode != 0) return UsbHandshake::NoResponse;
  Ep0& e = m_ep0;
  if (e.phase != Ep0Phase::Idle || e.bRxPktRdy) e.bSetupEnd = true;
  e.bSendStall = false;
  e.bTxPktRdy = false;
  e.bDataEnd = false;
  e.tx.clear();
  e.rx.assign(packet.begin(), packet.end());
  e.bRxPktRdy = true;
  e.bIn = (packet[0] & 0x80u) != 0;
  e.bNoData = packet[6] == 0 && packet[7] == 0;
  e.bToggle = true;
  e.phase = Ep0Phase::Setup;
  TxEvent(0);
  return UsbHandshake::Ack;
}

// ---- endpoints 1-4 ----------------------------------------------------------------------------

uint32_t UsbController::TxSlots(uint32_t ep) const { return DoubleBuffered(m_ep[ep].txFifoSz) ? 2 : 1; }
uint32_t UsbController::RxSlots(uint32_t ep) const { return DoubleBuffered(m_ep[ep].rxFifoSz) ? 2 : 1; }

uint16_t UsbController::ReadTxCsr(uint32_t ep) const {
  const Endpoint& e = m_ep[ep];
  uint16_t v = e.txCsr & kTxKept;
  if (e.txQueue.size() >= TxSlots(ep)) v |= kTxPktRdy;
  if (!e.txQueue.empty()) v |= kTxFifoNotEmpty;
  if (e.txUnderrun) v |= kTxUnderrun;
  if (e.txSentStall) v |= kTxSentStall;
  return v;
}

void UsbController::WriteTxCsr(uint32_t ep, uint16_t value) {
  Endpoint& e = m_ep[ep];
  e.txCsr = value & kTxKept;
  if ((value & kTxUnderrun) == 0) e.txUnderrun = false;
  if ((value & kTxSentStall) == 0) e.txSentStall = false;
  if ((value & kTxClrDataTog) != 0) e.txToggle = false;
  if ((value & kTxFlushFifo) != 0) {
    if (!e.txQueue.empty()) {
      e.txQueue.pop_front();
    } else {
      e.txLoading.clear();
    }
  }
  if ((value & kTxPktRdy) != 0) {
    if (e.txQueue.size() >= TxSlots(ep)) {
      Fault("endpoint %u: TXPKTRDY set while its FIFO is full", ep);
    } else if (e.txLoading.size() > (e.txMaxP & 0x7FFu)) {
      Fault("endpoint %u: a packet of %u bytes handed over", ep, static_cast<uint32_t>(e.txLoading.size()));
      e.txLoading.clear();
    } else {
      e.txQueue.push_back(std::move(e.txLoading));
      e.txLoading.clear();
    }
  }
}

uint16_t UsbController::ReadRxCsr(uint32_t ep) const {
  const Endpoint& e = m_ep[ep];
  uint16_t v = e.rxCsr & kRxKept;
  if (!e.rxFifo.empty()) v |= kRxPktRdy;
  if (e.rxFifo.size() >= RxSlots(ep)) v |= kRxFifoFull;
  if (e.rxOverrun) v |= kRxOverrun;
  if (e.rxSentStall) v |= kRxSentStall;
  return v;
}

void UsbController::WriteRxCsr(uint32_t ep, uint16_t value) {
  Endpoint& e = m_ep[ep];
  e.rxCsr = value & kRxKept;
  if ((value & kRxOverrun) == 0) e.rxOverrun = false;
  if ((value & kRxSentStall) == 0) e.rxSentStall = false;
  if ((value & kRxClrDataTog) != 0) e.rxToggle = false;
  if ((value & kRxFlushFifo) != 0 && !e.rxFifo.empty()) {
    e.rxFifo.pop_front();
    e.rxReading.clear();
  } else if ((value & kRxPktRdy) == 0 && !e.rxFifo.empty() && (e.rxCsr & kRxDmaReqEnab) == 0) {
    // The CPU has unloaded the packet it read through the FIFO register.
    e.rxFifo.pop_front();
    e.rxReading.clear();
  }
  PumpRx(ep);
}

void UsbController::PumpRx(uint32_t ep) {
  Endpoint& e = m_ep[ep];
  while (!e.rxFifo.empty() && (e.rxCsr & kRxDmaReqEnab) != 0) {
    UsbCppiDma::RxMode mode;
    const uint32_t field = (m_mode >> (16 + 4 * (ep - 1))) & 3u;
    mode.bGenericRndis = field == kModeGenericRndis;
    mode.rndisSize = m_genRndisSz[ep - 1];
    mode.maxPacket = e.rxMaxP & 0x7FFu;
    if (m_dma.Receive(ep, e.rxFifo.front(), mode) != UsbCppiDma::RxResult::Taken) return;
    e.rxFifo.pop_front();
  }
}

// ---- the bus --------------------------------------------------------------------------------------

void UsbController::SetVbus(bool bPresent) {
  if (bPresent == m_bVbus) return;
  m_bVbus = bPresent;
  if (!bPresent && ModuleOn()) {
    m_ep0 = Ep0{};
    BusEvent(kUsbIntDisconnect);
  }
  CheckLink();
}

UsbSpeed UsbController::BusReset(bool bHostHighSpeed) {
  if (!PullUp()) return UsbSpeed::Full;
  m_faddr = 0;
  m_ep0 = Ep0{};
  for (Endpoint& e : m_ep) {
    e.txCsr = 0;
    e.rxCsr = 0;
    e.txQueue.clear();
    e.txLoading.clear();
    e.rxFifo.clear();
    e.rxReading.clear();
    e.txToggle = false;
    e.rxToggle = false;
    e.txUnderrun = false;
    e.txSentStall = false;
    e.rxSentStall = false;
    e.rxOverrun = false;
  }
  m_bHighSpeed = bHostHighSpeed && (m_power & kPowerHsEnable) != 0;
  BusEvent(kUsbIntReset);
  return m_bHighSpeed ? UsbSpeed::High : UsbSpeed::Full;
}

bool UsbController::Ep0TakeStall() {
  Ep0& e = m_ep0;
  if (!e.bSendStall) return false;
  e.bSendStall = false;
  e.bSentStall = true;
  e.phase = Ep0Phase::Idle;
  TxEvent(0);
  return true;
}

UsbHandshake UsbController::Out(uint8_t address, uint8_t endpoint, bool toggle, const uint8_t* data,
                                uint32_t length) {
  if (!Addressed(address) || m_testMode != 0 || endpoint >= kEndpoints) return UsbHandshake::NoResponse;
  if (endpoint == 0) {
    if (Ep0TakeStall()) return UsbHandshake::Stall;
    Ep0& e = m_ep0;
    switch (e.phase) {
      case Ep0Phase::StatusOut:
        if (length != 0) return UsbHandshake::Stall;
        e.phase = Ep0Phase::Idle;
        e.bDataEnd = false;
        TxEvent(0);
        return UsbHandshake::Ack;
      case Ep0Phase::DataIn:
        // The host ended the data stage before the function did.
        e.phase = Ep0Phase::Idle;
        e.tx.clear();
        e.bTxPktRdy = false;
        e.bSetupEnd = true;
        TxEvent(0);
        return UsbHandshake::Ack;
      case Ep0Phase::DataOut:
        if (e.bRxPktRdy) return UsbHandshake::Nak;
        e.rx.assign(data, data + length);
        e.bRxPktRdy = true;
        TxEvent(0);
        return UsbHandshake::Ack;
      default:
        return UsbHandshake::Nak;
    }
  }
  Endpoint& e = m_ep[endpoint];
  if ((e.rxCsr & kRxSendStall) != 0) {
    e.rxSentStall = true;
    RxEvent(endpoint);
    return UsbHandshake::Stall;
  }
  if (length > (e.rxMaxP & 0x7FFu)) {
    Fault("endpoint %u: an OUT packet of %u bytes exceeds RXMAXP", endpoint, length);
    return UsbHandshake::NoResponse;
  }
  if (e.rxFifo.size() >= RxSlots(endpoint)) return UsbHandshake::Nak;
  if (toggle != e.rxToggle) {
    ++e.rxDuplicates;  // the host resent a packet it had seen no handshake for
    return UsbHandshake::Ack;
  }
  e.rxToggle = !e.rxToggle;
  e.rxFifo.emplace_back(data, data + length);
  RxEvent(endpoint);
  PumpRx(endpoint);
  return UsbHandshake::Ack;
}

UsbHandshake UsbController::In(uint8_t address, uint8_t endpoint, bool* pToggle, std::vector<uint8_t>* pData) {
  pData->clear();
  if (!Addressed(address) || m_testMode != 0 || endpoint >= kEndpoints) return UsbHandshake::NoResponse;
  if (endpoint == 0) {
    if (Ep0TakeStall()) return UsbHandshake::Stall;
    Ep0& e = m_ep0;
    switch (e.phase) {
      case Ep0Phase::DataIn:
        if (!e.bTxPktRdy) return UsbHandshake::Nak;
        *pData = std::move(e.tx);
        e.tx.clear();
        e.bTxPktRdy = false;
        *pToggle = e.bToggle;  // DATA1 first after the SETUP, then alternating
        e.bToggle = !e.bToggle;
        if (e.bDataEnd) {
          e.phase = Ep0Phase::StatusOut;
        } else {
          TxEvent(0);
        }
        return UsbHandshake::Ack;
      case Ep0Phase::StatusIn:
        if (!e.bDataEnd) return UsbHandshake::Nak;
        e.phase = Ep0Phase::Idle;
        e.bDataEnd = false;
        *pToggle = true;
        TxEvent(0);
        return UsbHandshake::Ack;
      default:
        return UsbHandshake::Nak;
    }
  }
  Endpoint& e = m_ep[endpoint];
  if ((e.txCsr & kTxSendStall) != 0) {
    e.txSentStall = true;
    TxEvent(endpoint);
    return UsbHandshake::Stall;
  }
  if (e.txQueue.empty()) {
    e.txUnderrun = true;
    return UsbHandshake::Nak;
  }
  *pData = std::move(e.txQueue.front());
  e.txQueue.pop_front();
  *pToggle = e.txToggle;
  e.txToggle = !e.txToggle;  // the host acknowledges every data packet it receives
  TxEvent(endpoint);
  return UsbHandshake::Ack;
}

}  // namespace sim
