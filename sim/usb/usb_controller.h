// The SoC's USB0 module in peripheral mode, as the firmware's driver uses
// it: the wrapper (0x01E00000), the MUSB-type core (0x01E00400) with
// endpoints 0-4 and their FIFOs, and the CPPI 4.1 DMA and queue manager
// (0x01E01000, `UsbCppiDma`). It answers the root hub at packet level
// (`UsbFunctionPort`). Every register access needs module 1 of PSC1 enabled
// (else: a board fault, as the part would not answer).
//
// Wrapper (32-bit registers):
// - CTRLR (0x04): bit 0 RESET resets the whole module (core, endpoints,
//   interrupts, DMA and queues) and reads 1 for kResetTime; bit 4 global
//   RNDIS mode is kept (the model has no RNDIS mode).
// - MODE (0x10): per endpoint n, TXnMODE bits 4(n-1)..+1 and RXnMODE bits
//   16+4(n-1)..+1: 0 transparent, 3 generic RNDIS (what the receive DMA
//   honours). GENRNDISSZn (0x50 + 4(n-1)): bits 0-16, the RNDIS size.
// - Interrupts: INTSRCR (0x20) latches every event: bits 0-4 transmit
//   endpoints 0-4 (endpoint 0 for both directions), 8-12 receive endpoints,
//   16-23 the core's bus events (INTRUSB bits 0-7: suspend, resume, reset,
//   SOF, connect, disconnect, session request, VBUS error). INTSETR (0x24)
//   and INTCLRR (0x28) set and clear latched bits; INTMSKR (0x2C) is the
//   mask, set through INTMSKSETR (0x30) and cleared through INTMSKCLRR
//   (0x34); INTMASKEDR (0x38) = INTSRCR & INTMSKR & the core's enables
//   (INTRTXE, INTRRXE, INTRUSBE). The interrupt (system event 58) is raised
//   when a bit turns on in INTMASKEDR, and again at the write of EOIR (0x3C)
//   while INTMASKEDR is not 0.
// Core (8- and 16-bit registers, each at its own width; a wrong width is a
// board fault):
// - FADDR (0x400), POWER (0x401: bit 4 HSMODE reads the negotiated speed,
//   bit 5 HSENAB, bit 6 SOFTCONN), INTRTX/INTRRX/INTRUSB (0x402, 0x404,
//   0x40A: the core's latched events, cleared by the read), INTRTXE,
//   INTRRXE (0x406, 0x408, 16-bit), INTRUSBE (0x40B, 8-bit), INDEX (0x40E),
//   TESTMODE (0x40F), DEVCTL (0x460: bit 7 B-device, bits 3-4 VBUS level,
//   bit 0 session).
// - Endpoint registers, indexed by INDEX at 0x410-0x41F or directly at
//   0x500 + 16n: TXMAXP (+0), CSR0/TXCSR (+2), RXMAXP (+4), RXCSR (+6),
//   COUNT0/RXCOUNT (+8). FIFOn (0x420 + 4n) at any width. FIFO sizing
//   (indexed only): TXFIFOSZ/RXFIFOSZ (0x462/0x463: bits 0-3 size 8 << n,
//   bit 4 double buffering), TXFIFOADDR/RXFIFOADDR (0x464/0x466, units of 8
//   bytes). When the function attaches, the FIFOs in use must fit the 4 KB
//   FIFO RAM without overlapping each other or endpoint 0's 64 bytes.
// - CSR0: bit 0 RXPKTRDY (a SETUP waits), 1 TXPKTRDY, 2 SENTSTALL (write 0
//   clears), 3 DATAEND, 4 SETUPEND, 5 SENDSTALL, 6 SERV_RXPKTRDY, 7
//   SERV_SETUPEND, 8 FLUSHFIFO. A SETUP always lands (clearing SENDSTALL; a
//   transfer still open sets SETUPEND). SERV_RXPKTRDY with DATAEND ends a
//   request without data stage: the status IN is answered with a zero-length
//   packet, and its completion is an endpoint-0 event. An IN data packet is
//   loaded into FIFO0 and handed over with TXPKTRDY (plus DATAEND for the
//   last): its transmission is an event, except the last, whose status OUT
//   is the event. SENDSTALL answers the next data or status token with a
//   STALL, sets SENTSTALL (an event) and clears itself.
// - TXCSR (endpoints 1-4): 0 TXPKTRDY (write 1: hand over what was loaded
//   into the FIFO, nothing for a zero-length packet; reads 1 while the FIFO
//   has no room for another packet: one, or two when double-buffered), 1
//   FIFONOTEMPTY, 2 UNDERRUN (set when an IN found nothing; write 0 clears),
//   3 FLUSHFIFO (drops the oldest packet), 4 SENDSTALL, 5 SENTSTALL (write 0
//   clears), 6 CLRDATATOG (next packet is DATA0), 10-15 kept. Setting
//   TXPKTRDY while the FIFO is full, or handing over more than TXMAXP, is a
//   board fault.
// - RXCSR (endpoints 1-4): 0 RXPKTRDY (a packet is in the FIFO; written 0
//   without FLUSHFIFO, the CPU has unloaded it), 1 FIFOFULL, 2 OVERRUN, 4 FLUSHFIFO (drops the oldest
//   packet), 5 SENDSTALL, 6 SENTSTALL (write 0 clears), 7 CLRDATATOG (next
//   packet expected is DATA0), 13 DMAREQENAB (the receive DMA takes the
//   packets), 11-15 kept. An OUT packet is NAKed while the FIFO is full,
//   ACKed and dropped when its data toggle repeats the last one (the host
//   resent it), else stored and offered to the DMA.
// Bus: the function pulls up (shows itself) while PSC1 module 1 is enabled,
// the PHY clock is good (SYSCFG CFGCHIP2), VBUS is present, SOFTCONN is on,
// TESTMODE is 0 and no module reset runs. Bus reset: FADDR 0, every FIFO
// flushed, CSRs cleared (DMAREQENAB included: the driver enables DMA again at
// SET_CONFIGURATION), data toggles DATA0, high speed when the host and
// HSENAB allow it, the reset event. VBUS lost: the disconnect event.
// Transactions are answered only at FADDR; in test mode not at all.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "sim/board.h"
#include "sim/bus.h"
#include "sim/usb/usb_cppi.h"
#include "sim/usb/usb_packet_port.h"

namespace sim {

class SystemConfig;
class Psc1;

class UsbController final : public DeviceModel, public BusDevice, public UsbFunctionPort {
 public:
  static constexpr PhysAddr kBase = 0x01E00000u;
  static constexpr PhysAddr kLast = 0x01E0FFFFu;
  static constexpr uint32_t kInterruptEvent = 58;
  static constexpr uint32_t kEndpoints = 5;
  static constexpr uint32_t kFifoRamBytes = 4096;
  static constexpr Nanos kResetTime = 1 * kNsPerUs;

  // Wrapper offsets.
  static constexpr uint32_t kRevId = 0x00;
  static constexpr uint32_t kCtrlr = 0x04;
  static constexpr uint32_t kMode = 0x10;
  static constexpr uint32_t kIntSrc = 0x20;
  static constexpr uint32_t kIntSet = 0x24;
  static constexpr uint32_t kIntClr = 0x28;
  static constexpr uint32_t kIntMsk = 0x2C;
  static constexpr uint32_t kIntMskSet = 0x30;
  static constexpr uint32_t kIntMskClr = 0x34;
  static constexpr uint32_t kIntMasked = 0x38;
  static constexpr uint32_t kEoi = 0x3C;
  static constexpr uint32_t kGenRndisSz1 = 0x50;
  // Core offsets.
  static constexpr uint32_t kFaddr = 0x400;
  static constexpr uint32_t kPower = 0x401;
  static constexpr uint32_t kIntrTx = 0x402;
  static constexpr uint32_t kIntrRx = 0x404;
  static constexpr uint32_t kIntrTxE = 0x406;
  static constexpr uint32_t kIntrRxE = 0x408;
  static constexpr uint32_t kIntrUsb = 0x40A;
  static constexpr uint32_t kIntrUsbE = 0x40B;
  static constexpr uint32_t kIndex = 0x40E;
  static constexpr uint32_t kTestMode = 0x40F;
  static constexpr uint32_t kIndexed = 0x410;
  static constexpr uint32_t kFifo0 = 0x420;
  static constexpr uint32_t kDevCtl = 0x460;
  static constexpr uint32_t kTxFifoSz = 0x462;
  static constexpr uint32_t kRxFifoSz = 0x463;
  static constexpr uint32_t kTxFifoAddr = 0x464;
  static constexpr uint32_t kRxFifoAddr = 0x466;
  static constexpr uint32_t kEndpointRegs = 0x500;
  // Endpoint register block (indexed or at kEndpointRegs + 16n).
  static constexpr uint32_t kEpTxMaxP = 0x0;
  static constexpr uint32_t kEpTxCsr = 0x2;
  static constexpr uint32_t kEpRxMaxP = 0x4;
  static constexpr uint32_t kEpRxCsr = 0x6;
  static constexpr uint32_t kEpCount = 0x8;

  // POWER bits.
  static constexpr uint8_t kPowerHsMode = 1u << 4;
  static constexpr uint8_t kPowerHsEnable = 1u << 5;
  static constexpr uint8_t kPowerSoftConn = 1u << 6;
  // INTRUSB bits.
  static constexpr uint8_t kUsbIntReset = 1u << 2;
  static constexpr uint8_t kUsbIntDisconnect = 1u << 5;

  UsbController(Board& board, SystemConfig* syscfg, Psc1* psc1);
  UsbController(const UsbController&) = delete;
  UsbController& operator=(const UsbController&) = delete;

  // BusDevice.
  uint32_t Read(uint32_t offset, uint32_t width) override;
  void Write(uint32_t offset, uint32_t width, uint32_t value) override;

  // UsbFunctionPort.
  bool PullUp() const override;
  void SetVbus(bool bPresent) override;
  UsbSpeed BusReset(bool bHostHighSpeed) override;
  UsbHandshake Setup(uint8_t address, const std::array<uint8_t, 8>& packet) override;
  UsbHandshake Out(uint8_t address, uint8_t endpoint, bool toggle, const uint8_t* data, uint32_t length) override;
  UsbHandshake In(uint8_t address, uint8_t endpoint, bool* pToggle, std::vector<uint8_t>* pData) override;
  void SetLinkObserver(std::function<void()> fn) override { m_linkObserver = std::move(fn); }

  // Observation (tests).
  bool Vbus() const { return m_bVbus; }
  bool HighSpeed() const { return m_bHighSpeed; }
  uint8_t Address() const { return m_faddr; }
  uint8_t TestMode() const { return m_testMode; }
  size_t TxPacketsQueued(uint32_t ep) const { return ep < kEndpoints ? m_ep[ep].txQueue.size() : 0; }
  size_t RxPacketsQueued(uint32_t ep) const { return ep < kEndpoints ? m_ep[ep].rxFifo.size() : 0; }
  bool RxToggle(uint32_t ep) const { return ep < kEndpoints && m_ep[ep].rxToggle; }
  uint64_t RxDuplicates(uint32_t ep) const { return ep < kEndpoints ? m_ep[ep].rxDuplicates : 0; }
  UsbCppiDma& Dma() { return m_dma; }

 private:
  enum class Ep0Phase : uint8_t { Idle, Setup, DataIn, DataOut, StatusIn, StatusOut };

  struct Endpoint {
    uint16_t txMaxP = 0;
    uint16_t rxMaxP = 0;
    uint16_t txCsr = 0;  // the kept control bits
    uint16_t rxCsr = 0;
    uint8_t txFifoSz = 0;
    uint8_t rxFifoSz = 0;
    uint16_t txFifoAddr = 0;
    uint16_t rxFifoAddr = 0;
    std::array<uint8_t, 16> other{};  // type, interval and configuration bytes
    std::deque<std::vector<uint8_t>> txQueue;
    std::vector<uint8_t> txLoading;
    bool txToggle = false;
    bool txUnderrun = false;
    bool txSentStall = false;
    std::deque<std::vector<uint8_t>> rxFifo;
    std::vector<uint8_t> rxReading;  // the head packet as the CPU reads it through the FIFO register
    bool rxToggle = false;
    bool rxSentStall = false;
    bool rxOverrun = false;
    uint64_t rxDuplicates = 0;
  };

  struct Ep0 {
    Ep0Phase phase = Ep0Phase::Idle;
    bool bRxPktRdy = false;
    bool bTxPktRdy = false;
    bool bDataEnd = false;
    bool bSentStall = false;
    bool bSendStall = false;
    bool bSetupEnd = false;
    bool bIn = false;
    bool bNoData = false;
    bool bToggle = true;  // of the next data packet
    std::vector<uint8_t> rx;
    std::vector<uint8_t> tx;
  };

  bool ModuleOn() const;
  void Fault(const char* format, uint32_t a, uint32_t b = 0);
  void ResetModule();
  void CheckLink();
  void CheckFifoLayout();
  bool Addressed(uint8_t address) const;

  uint32_t ReadWrapper(uint32_t offset);
  void WriteWrapper(uint32_t offset, uint32_t value);
  uint32_t ReadCore(uint32_t offset, uint32_t width);
  void WriteCore(uint32_t offset, uint32_t width, uint32_t value);
  uint32_t ReadEndpoint(uint32_t ep, uint32_t reg, uint32_t width);
  void WriteEndpoint(uint32_t ep, uint32_t reg, uint32_t width, uint32_t value);
  uint32_t ReadFifo(uint32_t ep, uint32_t width);
  void WriteFifo(uint32_t ep, uint32_t width, uint32_t value);
  bool CheckWidth(uint32_t offset, uint32_t width, uint32_t natural);

  uint16_t ReadCsr0() const;
  void WriteCsr0(uint16_t value);
  uint16_t ReadTxCsr(uint32_t ep) const;
  void WriteTxCsr(uint32_t ep, uint16_t value);
  uint16_t ReadRxCsr(uint32_t ep) const;
  void WriteRxCsr(uint32_t ep, uint16_t value);
  uint32_t TxSlots(uint32_t ep) const;
  uint32_t RxSlots(uint32_t ep) const;
  void PumpRx(uint32_t ep);

  void TxEvent(uint32_t ep);
  // A SENDSTALL set by the function answers the next endpoint-0 token of
  // either direction: true when it did (the stall is then sent).
  bool Ep0TakeStall();
  void RxEvent(uint32_t ep);
  void BusEvent(uint8_t bits);
  uint32_t CoreGate() const;
  uint32_t Masked() const;
  void UpdateIrq();

  Board& m_board;
  SystemConfig* m_syscfg;
  Psc1* m_psc1;
  UsbCppiDma m_dma;
  std::function<void()> m_linkObserver;
  bool m_bLinked = false;

  // Wrapper.
  uint32_t m_ctrlr = 0;
  Nanos m_resetUntil = 0;
  uint32_t m_mode = 0;
  std::array<uint32_t, 4> m_genRndisSz{};
  uint32_t m_intSrc = 0;
  uint32_t m_intMsk = 0;
  uint32_t m_lastMasked = 0;
  std::array<uint32_t, 0x400 / 4> m_wrapperWords{};  // the others, as written
  // Core.
  uint8_t m_faddr = 0;
  uint8_t m_power = kPowerHsEnable;
  uint16_t m_intrTx = 0;
  uint16_t m_intrRx = 0;
  uint8_t m_intrUsb = 0;
  uint16_t m_intrTxE = 0;
  uint16_t m_intrRxE = 0;
  uint8_t m_intrUsbE = 0;
  uint8_t m_index = 0;
  uint8_t m_testMode = 0;
  std::array<uint8_t, 0x400> m_coreBytes{};  // the others, as written
  std::array<Endpoint, kEndpoints> m_ep{};
  Ep0 m_ep0;
  bool m_bVbus = true;
  bool m_bHighSpeed = false;
};

}  // namespace sim
