// The USB0 module's CPPI 4.1 DMA subset that the firmware's driver uses:
// the queue manager, the receive channels of endpoints 1-4 with host packet
// descriptors, and the DMA scheduler. Offsets are relative to the USB0 base
// (0x01E00000); every register is a 32-bit word.
//
// Queue manager (0x4000-0x7FFF):
// - 64 queues of descriptor pointers. CTRLD of queue q (0x600C + 16q): a
//   write pushes the value (descriptor address | size code in bits 0-4) at
//   the tail; a read pops the head, or returns 0 when the queue is empty.
//   QSTATA (0x6800 + 16q) reads the number of entries. PEND0/PEND1 (0x4090,
//   0x4094): bit q set while queue q (q - 32) is not empty.
// - Descriptor memory regions 0-15: QMEMRBASE (0x5000 + 16r) and QMEMRCTRL
//   (0x5004 + 16r: bits 0-2 region size, 32 << code descriptors; bits 8-11
//   descriptor size, 32 << code bytes; bits 16-29 start index). A pushed
//   descriptor must lie in a region, on a descriptor boundary.
// - Linking RAM: LRAM0BASE (0x4080) and LRAM0SIZE (0x4084, bits 0-13
//   entries) must name plain RAM before the first push. The model keeps the
//   queue links itself and never writes that RAM.
// - FDBSC0-3 (0x4020-0x402C) read back (starvation counters, 0 here).
// A push of a descriptor that is already queued, or that a channel is
// filling, is a board fault: the engine would fill it twice.
//
// DMA controller (0x1000-0x1FFF) and scheduler (0x2000-0x2FFF):
// - RXGCR of channel c (0x1808 + 32c): bit 31 enable, bits 0-11 default
//   (completion) queue. RXHPCRA (0x180C + 32c) bits 0-11: the free
//   descriptor queue of the first buffer. Channel c serves endpoint c + 1.
//   Writing RXGCR with bit 30 (teardown) set ends what the channel is
//   filling: that descriptor completes with the bytes it holds, and bits 30
//   and 31 clear (the channel stops until enabled again).
// - DMA_SCHED_CTRL (0x2000) bit 31 enables the scheduler, bits 0-7 are the
//   last table entry; WORD n (0x2800 + 4n) holds entries 4n..4n+3, one per
//   byte: bit 7 receive, bits 0-4 channel. A receive channel moves data only
//   while it is enabled and the enabled scheduler names it.
//
// Receiving (host packet descriptors, words 0-7 as the driver writes them:
// 3 buffer length, 4 buffer address): when a packet waits in the
// endpoint's FIFO, the channel takes a descriptor from its free queue if it
// holds none (none there: starvation, the packet stays in the FIFO and the
// channel tries again at the next push), and writes the packet at the
// buffer address plus what it already holds. It never writes past the
// buffer length: the part of a packet that does not fit is dropped and
// counted (`DroppedBytes`). The descriptor completes
// - in transparent mode, with every packet;
// - in generic RNDIS mode, with a short packet (shorter than the endpoint's
//   maximum, a zero-length packet included), or when it holds the RNDIS
//   size or its buffer is full;
// - and always when a packet did not fit.
// A completed descriptor gets its byte count in word 3 (bits 0-21) and in
// word 0 (bits 0-21, with descriptor type 16 in bits 27-31) and is pushed on
// the channel's completion queue.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <vector>

#include "sim/board.h"

namespace sim {

class UsbCppiDma {
 public:
  static constexpr uint32_t kFirst = 0x1000;
  static constexpr uint32_t kLast = 0x7FFF;
  static constexpr uint32_t kQueues = 64;
  static constexpr uint32_t kRegions = 16;
  static constexpr uint32_t kChannels = 4;

  // Register offsets.
  static constexpr uint32_t kDmaRevId = 0x1000;
  static constexpr uint32_t RxGcr(uint32_t ch) { return 0x1808 + 0x20 * ch; }
  static constexpr uint32_t RxHpcrA(uint32_t ch) { return 0x180C + 0x20 * ch; }
  static constexpr uint32_t RxHpcrB(uint32_t ch) { return 0x1810 + 0x20 * ch; }
  static constexpr uint32_t kSchedCtrl = 0x2000;
  static constexpr uint32_t SchedWord(uint32_t n) { return 0x2800 + 4 * n; }
  static constexpr uint32_t kQmgrRevId = 0x4000;
  static constexpr uint32_t kLram0Base = 0x4080;
  static constexpr uint32_t kLram0Size = 0x4084;
  static constexpr uint32_t kPend0 = 0x4090;
  static constexpr uint32_t kPend1 = 0x4094;
  static constexpr uint32_t QmemRBase(uint32_t r) { return 0x5000 + 0x10 * r; }
  static constexpr uint32_t QmemRCtrl(uint32_t r) { return 0x5004 + 0x10 * r; }
  static constexpr uint32_t Ctrld(uint32_t q) { return 0x600C + 0x10 * q; }
  static constexpr uint32_t QstatA(uint32_t q) { return 0x6800 + 0x10 * q; }

  static constexpr uint32_t kRxGcrEnable = 1u << 31;
  static constexpr uint32_t kRxGcrTeardown = 1u << 30;

  struct RxMode {
    bool bGenericRndis = false;
    uint32_t rndisSize = 0;
    uint32_t maxPacket = 512;
  };
  enum class RxResult : uint8_t { Taken, Starved, NotServiced };

  explicit UsbCppiDma(Board& board);

  uint32_t Read(uint32_t offset);
  void Write(uint32_t offset, uint32_t value);
  // The module reset: every queue empty, every register at its reset value.
  void Reset();

  // The controller offers the packet at the head of endpoint `ep`'s FIFO.
  RxResult Receive(uint32_t ep, const std::vector<uint8_t>& packet, const RxMode& mode);
  // Called after every push by the CPU (a starved channel may go on).
  void SetPushObserver(std::function<void()> fn) { m_pushObserver = std::move(fn); }

  // Observation.
  size_t QueueLength(uint32_t q) const { return q < kQueues ? m_queues[q].size() : 0; }
  uint64_t DroppedBytes() const { return m_droppedBytes; }
  // The descriptor channel `ch` is filling, or 0.
  uint32_t HeldDescriptor(uint32_t ch) const { return ch < kChannels ? m_rx[ch].descriptor : 0; }

 private:
  struct RxChannel {
    uint32_t descriptor = 0;  // 0: holds none
    uint32_t sizeCode = 0;    // as it was pushed
    uint32_t buffer = 0;
    uint32_t length = 0;
    uint32_t written = 0;
  };

  bool Scheduled(uint32_t ch) const;
  bool InRegion(uint32_t descriptor) const;
  bool InUse(uint32_t descriptor) const;
  void Push(uint32_t q, uint32_t value, bool bByCpu);
  uint32_t Pop(uint32_t q);
  void Complete(uint32_t ch);
  uint32_t* DescriptorWords(uint32_t descriptor);
  uint32_t Stored(uint32_t offset) const;

  Board& m_board;
  std::array<std::deque<uint32_t>, kQueues> m_queues;
  std::array<RxChannel, kChannels> m_rx{};
  std::map<uint32_t, uint32_t> m_words;  // registers that read back what was written
  uint64_t m_droppedBytes = 0;
  std::function<void()> m_pushObserver;
};

}  // namespace sim
