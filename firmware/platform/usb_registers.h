// Register map of the USB0 device controller as the driver uses it: the
// OTG wrapper, the MUSB-type core, the CPPI 4.1 DMA with its scheduler and
// queue manager, the PHY control in the system configuration module and the
// module enable in power and sleep controller 1; and the driver's memory in
// the on-chip shared RAM.
#pragma once

#include <cstdint>

#include "firmware/hal/hw.h"

// ---- System configuration: kick lock and USB0 PHY ------------------------------
constexpr PhysAddr SYSCFG_KICK0R = 0x01C14038u;
constexpr PhysAddr SYSCFG_KICK1R = 0x01C1403Cu;
constexpr uint32_t SYSCFG_KICK0_UNLOCK = 0x83E70B13u;
constexpr uint32_t SYSCFG_KICK1_UNLOCK = 0x95A4F1E0u;
constexpr PhysAddr SYSCFG_CFGCHIP2 = 0x01C14184u;
constexpr uint32_t CFGCHIP2_REFFREQ_MASK = 0xFu;
constexpr uint32_t CFGCHIP2_REFFREQ_24MHZ = 2u;
constexpr uint32_t CFGCHIP2_VBDTCTEN = 1u << 4;
constexpr uint32_t CFGCHIP2_SESENDEN = 1u << 5;
constexpr uint32_t CFGCHIP2_PHY_PLLON = 1u << 6;
constexpr uint32_t CFGCHIP2_DATPOL = 1u << 8;
constexpr uint32_t CFGCHIP2_OTGPWRDN = 1u << 9;
constexpr uint32_t CFGCHIP2_PHYPWRDN = 1u << 10;
constexpr uint32_t CFGCHIP2_PHYCLKMUX = 1u << 11;
constexpr uint32_t CFGCHIP2_OTGMODE_MASK = 3u << 13;
constexpr uint32_t CFGCHIP2_RESET = 1u << 15;
constexpr uint32_t CFGCHIP2_PHYCLKGD = 1u << 17;

// ---- Power and sleep controller 1: the USB0 module ------------------------------
constexpr PhysAddr PSC1_PTCMD = 0x01E27120u;
constexpr PhysAddr PSC1_PTSTAT = 0x01E27128u;
constexpr PhysAddr PSC1_MDSTAT_USB0 = 0x01E27804u;
constexpr PhysAddr PSC1_MDCTL_USB0 = 0x01E27A04u;
constexpr uint32_t PSC_GO0 = 1u << 0;
constexpr uint32_t PSC_STATE_MASK = 0x1Fu;
constexpr uint32_t PSC_STATE_ENABLE = 3u;

// ---- OTG wrapper (32-bit registers) ------------------------------------------------
constexpr PhysAddr USB0_BASE = 0x01E00000u;
constexpr PhysAddr USB_CTRLR = USB0_BASE + 0x04u;
constexpr PhysAddr USB_MODE = USB0_BASE + 0x10u;
constexpr PhysAddr USB_INTSRCR = USB0_BASE + 0x20u;
constexpr PhysAddr USB_INTCLRR = USB0_BASE + 0x28u;
constexpr PhysAddr USB_INTMSKR = USB0_BASE + 0x2Cu;
constexpr PhysAddr USB_INTMSKSETR = USB0_BASE + 0x30u;
constexpr PhysAddr USB_INTMSKCLRR = USB0_BASE + 0x34u;
constexpr PhysAddr USB_INTMASKEDR = USB0_BASE + 0x38u;
constexpr PhysAddr USB_EOIR = USB0_BASE + 0x3Cu;
constexpr PhysAddr USB_GENRNDISSZ2 = USB0_BASE + 0x54u;
constexpr uint32_t CTRLR_RESET = 1u << 0;
constexpr uint32_t CTRLR_RNDIS = 1u << 4;
// MODE: the receive mode field of endpoint 2, and the modes.
constexpr uint32_t MODE_RX2_SHIFT = 20;
constexpr uint32_t MODE_TRANSPARENT = 0u;
constexpr uint32_t MODE_GENERIC_RNDIS = 3u;
constexpr uint32_t GENRNDISSZ_MASK = 0x1FFFFu;
// Interrupt bits of the wrapper: transmit endpoints, receive endpoints, bus.
constexpr uint32_t INT_TX_SHIFT = 0;
constexpr uint32_t INT_RX_SHIFT = 8;
constexpr uint32_t INT_USB_SHIFT = 16;
constexpr uint32_t INT_EP0 = 1u << 0;
constexpr uint32_t INT_USB_EVENTS = 0x1FFu << INT_USB_SHIFT;  // bits 16-24

// ---- MUSB core -----------------------------------------------------------------------
constexpr PhysAddr USB_CORE = USB0_BASE + 0x400u;
constexpr PhysAddr USB_FADDR = USB_CORE + 0x00u;     // 8-bit
constexpr PhysAddr USB_POWER = USB_CORE + 0x01u;     // 8-bit
constexpr PhysAddr USB_INTRTXE = USB_CORE + 0x06u;   // 16-bit
constexpr PhysAddr USB_INTRRXE = USB_CORE + 0x08u;   // 16-bit
constexpr PhysAddr USB_INTRUSBE = USB_CORE + 0x0Bu;  // 8-bit (0x0A is INTRUSB, the latched events)
constexpr PhysAddr USB_INDEX = USB_CORE + 0x0Eu;     // 8-bit
constexpr PhysAddr USB_TESTMODE = USB_CORE + 0x0Fu;  // 8-bit
constexpr PhysAddr USB_DEVCTL = USB_CORE + 0x60u;    // 8-bit
constexpr PhysAddr USB_TXFIFOSZ = USB_CORE + 0x62u;  // 8-bit, indexed
constexpr PhysAddr USB_RXFIFOSZ = USB_CORE + 0x63u;  // 8-bit, indexed
constexpr PhysAddr USB_TXFIFOADDR = USB_CORE + 0x64u;  // 16-bit, indexed
constexpr PhysAddr USB_RXFIFOADDR = USB_CORE + 0x66u;  // 16-bit, indexed

// Endpoint registers. The driver reaches them at their direct addresses
// (core + 0x100 + 16 n) rather than through INDEX, so that the endpoint-0
// interrupt and the USB task never change each other's selection; INDEX is
// used only for FIFO sizing at open, before the interrupt is enabled.
constexpr PhysAddr UsbEpReg(uint32_t ulEp, uint32_t ulReg) { return USB_CORE + 0x100u + 0x10u * ulEp + ulReg; }
constexpr uint32_t EP_TXMAXP = 0x0u;  // 16-bit
constexpr uint32_t EP_TXCSR = 0x2u;   // 16-bit; CSR0 for endpoint 0
constexpr uint32_t EP_RXMAXP = 0x4u;  // 16-bit
constexpr uint32_t EP_RXCSR = 0x6u;   // 16-bit
constexpr uint32_t EP_COUNT = 0x8u;   // 16-bit; COUNT0 for endpoint 0
constexpr PhysAddr USB_CSR0 = UsbEpReg(0, EP_TXCSR);
constexpr PhysAddr USB_COUNT0 = UsbEpReg(0, EP_COUNT);
constexpr PhysAddr UsbFifo(uint32_t ulEp) { return USB_CORE + 0x20u + 4u * ulEp; }

// POWER
constexpr uint8_t POWER_ENSUSPM = 1u << 0;
constexpr uint8_t POWER_SUSPENDM = 1u << 1;
constexpr uint8_t POWER_HSMODE = 1u << 4;
constexpr uint8_t POWER_HSENAB = 1u << 5;
constexpr uint8_t POWER_SOFTCONN = 1u << 6;
// INTRUSB / INTRUSBE
constexpr uint8_t INTRUSB_DISCON = 1u << 5;
// DEVCTL
constexpr uint8_t DEVCTL_VBUS_MASK = 3u << 3;
// TESTMODE
constexpr uint8_t TESTMODE_SE0_NAK = 1u << 0;
constexpr uint8_t TESTMODE_J = 1u << 1;
constexpr uint8_t TESTMODE_K = 1u << 2;
constexpr uint8_t TESTMODE_PACKET = 1u << 3;
// FIFO sizing
constexpr uint8_t FIFOSZ_DOUBLE = 1u << 4;
constexpr uint8_t FIFOSZ_512 = 6u;

// CSR0 (peripheral)
constexpr uint16_t CSR0_RXPKTRDY = 1u << 0;
constexpr uint16_t CSR0_TXPKTRDY = 1u << 1;
constexpr uint16_t CSR0_SENTSTALL = 1u << 2;
constexpr uint16_t CSR0_DATAEND = 1u << 3;
constexpr uint16_t CSR0_SETUPEND = 1u << 4;
constexpr uint16_t CSR0_SENDSTALL = 1u << 5;
constexpr uint16_t CSR0_SERV_RXPKTRDY = 1u << 6;
constexpr uint16_t CSR0_SERV_SETUPEND = 1u << 7;
constexpr uint16_t CSR0_FLUSHFIFO = 1u << 8;

// PERI_TXCSR
constexpr uint16_t TXCSR_TXPKTRDY = 1u << 0;
constexpr uint16_t TXCSR_FIFONOTEMPTY = 1u << 1;
constexpr uint16_t TXCSR_UNDERRUN = 1u << 2;
constexpr uint16_t TXCSR_FLUSHFIFO = 1u << 3;
constexpr uint16_t TXCSR_SENDSTALL = 1u << 4;
constexpr uint16_t TXCSR_SENTSTALL = 1u << 5;
constexpr uint16_t TXCSR_CLRDATATOG = 1u << 6;
constexpr uint16_t TXCSR_DMAREQMODE = 1u << 10;
constexpr uint16_t TXCSR_FRCDATATOG = 1u << 11;
constexpr uint16_t TXCSR_DMAREQENAB = 1u << 12;
constexpr uint16_t TXCSR_MODE = 1u << 13;
constexpr uint16_t TXCSR_ISO = 1u << 14;
// Bits that act when written as 1 and must not be written back by a
// read-modify-write: handing over a packet, flushing, clearing the toggle.
constexpr uint16_t TXCSR_ACTIONS = TXCSR_TXPKTRDY | TXCSR_FIFONOTEMPTY | TXCSR_FLUSHFIFO | TXCSR_CLRDATATOG;

// PERI_RXCSR
constexpr uint16_t RXCSR_RXPKTRDY = 1u << 0;
constexpr uint16_t RXCSR_OVERRUN = 1u << 2;
constexpr uint16_t RXCSR_FLUSHFIFO = 1u << 4;
constexpr uint16_t RXCSR_SENDSTALL = 1u << 5;
constexpr uint16_t RXCSR_SENTSTALL = 1u << 6;
constexpr uint16_t RXCSR_CLRDATATOG = 1u << 7;
constexpr uint16_t RXCSR_DMAREQMODE = 1u << 11;
constexpr uint16_t RXCSR_DISNYET = 1u << 12;
constexpr uint16_t RXCSR_DMAREQENAB = 1u << 13;
constexpr uint16_t RXCSR_ISO = 1u << 14;
constexpr uint16_t RXCSR_AUTOCLEAR = 1u << 15;
constexpr uint16_t RXCSR_ACTIONS = RXCSR_FLUSHFIFO | RXCSR_CLRDATATOG;

// ---- CPPI 4.1 DMA, scheduler and queue manager (32-bit registers) ----------------
constexpr PhysAddr USB_RXGCR1 = USB0_BASE + 0x1828u;
constexpr PhysAddr USB_RXHPCRA1 = USB0_BASE + 0x182Cu;
constexpr PhysAddr USB_RXHPCRB1 = USB0_BASE + 0x1830u;
constexpr PhysAddr USB_DMA_SCHED_CTRL = USB0_BASE + 0x2000u;
constexpr PhysAddr USB_DMA_SCHED_WORD0 = USB0_BASE + 0x2800u;
constexpr PhysAddr USB_FDBSC0 = USB0_BASE + 0x4020u;
constexpr PhysAddr USB_LRAM0BASE = USB0_BASE + 0x4080u;
constexpr PhysAddr USB_LRAM0SIZE = USB0_BASE + 0x4084u;
constexpr PhysAddr USB_PEND0 = USB0_BASE + 0x4090u;
constexpr PhysAddr USB_QMEMRBASE1 = USB0_BASE + 0x5010u;
constexpr PhysAddr USB_QMEMRCTRL1 = USB0_BASE + 0x5014u;
constexpr PhysAddr UsbQueueCtrlD(uint32_t ulQueue) { return USB0_BASE + 0x600Cu + 0x10u * ulQueue; }

constexpr uint32_t RXGCR_ENABLE = 1u << 31;
constexpr uint32_t RXGCR_TEARDOWN = 1u << 30;
// Receive channel 1 (endpoint 2): enabled, starvation retried, host
// descriptors, completions on queue 28.
constexpr uint32_t RXGCR1_VALUE = 0x8100401Cu;
constexpr uint32_t DMA_SCHED_ENABLE = 1u << 31;
// Scheduler entries 0-3: receive channels 3, 2, 1, 0.
constexpr uint32_t DMA_SCHED_WORD0_VALUE = 0x80818283u;
constexpr uint32_t DMA_SCHED_LAST_ENTRY = 3u;

constexpr uint32_t USB_RX_FREE_QUEUE = 0;
constexpr uint32_t USB_RX_COMPLETION_QUEUE = 28;
constexpr uint32_t QUEUE_EMPTY_LIMIT = 32;  // a pop below this returned no descriptor
constexpr uint32_t QUEUE_ADDRESS_MASK = ~0x1Fu;
constexpr uint32_t DESCRIPTOR_SIZE_CODE_32 = 2u;  // (32 - 24) / 4

// ---- The driver's memory in the on-chip shared RAM --------------------------------------
// The one receive descriptor: eight words at the start of the shared RAM,
// which is also descriptor memory region 1 (size code 5).
constexpr PhysAddr USB_RX_DESCRIPTOR = 0x80000000u;
constexpr uint32_t USB_RX_DESCRIPTOR_WORDS = 8;
constexpr uint32_t QMEMRCTRL1_REGION_SIZE_CODE = 5u;
// The linking RAM of the queue manager: 1024 entries of 4 bytes, just below
// the command buffer.
constexpr PhysAddr USB_LINKING_RAM = 0x8001EC00u;
constexpr uint32_t USB_LINKING_RAM_ENTRIES = 0x400u;
// The command buffer: every command packet lands here.
constexpr PhysAddr USB_COMMAND_BUFFER = 0x8001FC00u;
constexpr uint32_t USB_COMMAND_BUFFER_BYTES = 512;
