#include "sim/usb/usb_cppi.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace sim {

namespace {
constexpr uint32_t kDmaRevision = 0x00180000u;
constexpr uint32_t kQmgrRevision = 0x00520000u;
constexpr uint32_t kQueueMask = 0xFFFu;
constexpr uint32_t kAddressMask = ~0x1Fu;
constexpr uint32_t kCountMask = 0x3FFFFFu;
constexpr uint32_t kHostPacketType = 16u << 27;
constexpr uint32_t kDescriptorBytes = 32;
}  // namespace

UsbCppiDma::UsbCppiDma(Board& board) : m_board(board) {}

void UsbCppiDma::Reset() {
  for (auto& q : m_queues) q.clear();
  m_rx = {};
  m_words.clear();
}

uint32_t UsbCppiDma::Stored(uint32_t offset) const {
  auto it = m_words.find(offset);
  return it == m_words.end() ? 0 : it->second;
}

uint32_t UsbCppiDma::Read(uint32_t offset) {
  if (offset == kDmaRevId) return kDmaRevision;
  if (offset == kQmgrRevId) return kQmgrRevision;
  if (offset == kPend0 || offset == kPend1) {
    const uint32_t first = offset == kPend0 ? 0 : 32;
    uint32_t bits = 0;
    for (uint32_t q = 0; q < 32; ++q) {
      if (!m_queues[first + q].empty()) bits |= 1u << q;
    }
    return bits;
  }
  if (offset >= Ctrld(0) && offset <= Ctrld(kQueues - 1) && (offset - Ctrld(0)) % 0x10 == 0) {
    return Pop((offset - Ctrld(0)) / 0x10);
  }
  if (offset >= QstatA(0) && offset <= QstatA(kQueues - 1) && (offset - QstatA(0)) % 0x10 == 0) {
    return static_cast<uint32_t>(m_queues[(offset - QstatA(0)) / 0x10].size());
  }
  return Stored(offset);
}

void UsbCppiDma::Write(uint32_t offset, uint32_t value) {
  if (offset >= Ctrld(0) && offset <= Ctrld(kQueues - 1) && (offset - Ctrld(0)) % 0x10 == 0) {
    Push((offset - Ctrld(0)) / 0x10, value, true);
    return;
  }
  for (uint32_t ch = 0; ch < kChannels; ++ch) {
    if (offset == RxGcr(ch) && (value & kRxGcrTeardown) != 0) {
      if (m_rx[ch].descriptor != 0) Complete(ch);
      m_words[offset] = value & ~(kRxGcrTeardown | kRxGcrEnable);
      return;
    }
  }
  if (offset == kPend0 || offset == kPend1 || offset == kDmaRevId || offset == kQmgrRevId) return;
  m_words[offset] = value;
  if (m_pushObserver && offset >= RxGcr(0) && offset <= kSchedCtrl + 0xFFF) m_pushObserver();
}

bool UsbCppiDma::Scheduled(uint32_t ch) const {
  const uint32_t ctrl = Stored(kSchedCtrl);
  if ((ctrl & (1u << 31)) == 0) return false;
  const uint32_t last = ctrl & 0xFFu;
  for (uint32_t entry = 0; entry <= last; ++entry) {
    const uint32_t word = Stored(SchedWord(entry / 4));
    const uint32_t byte = (word >> (8 * (entry % 4))) & 0xFFu;
    if ((byte & 0x80u) != 0 && (byte & 0x1Fu) == ch) return true;
  }
  return false;
}

bool UsbCppiDma::InRegion(uint32_t descriptor) const {
  for (uint32_t r = 0; r < kRegions; ++r) {
    const uint32_t base = Stored(QmemRBase(r));
    if (base == 0) continue;
    const uint32_t ctrl = Stored(QmemRCtrl(r));
    const uint64_t count = 32ull << (ctrl & 7u);
    const uint64_t size = 32ull << ((ctrl >> 8) & 0xFu);
    if (descriptor < base) continue;
    const uint64_t offset = static_cast<uint64_t>(descriptor) - base;
    if (offset < count * size && offset % size == 0) return true;
  }
  return false;
}

bool UsbCppiDma::InUse(uint32_t descriptor) const {
  for (const auto& q : m_queues) {
    for (uint32_t v : q) {
      if ((v & kAddressMask) == descriptor) return true;
    }
  }
  return std::any_of(m_rx.begin(), m_rx.end(), [&](const RxChannel& c) { return c.descriptor == descriptor; });
}

void UsbCppiDma::Push(uint32_t q, uint32_t value, bool bByCpu) {
  const uint32_t descriptor = value & kAddressMask;
  if (bByCpu) {
    char text[128];
    const uint32_t lramBase = Stored(kLram0Base);
    const uint32_t lramEntries = Stored(kLram0Size) & 0x3FFFu;
    if (lramEntries == 0 || m_board.GetBus().RamPointer(lramBase, lramEntries * 4) == nullptr) {
      std::snprintf(text, sizeof text, "usb0 dma: push on queue %u before the linking RAM is set up", q);
      m_board.ReportFault(text);
      return;
    }
    if (descriptor == 0 || !InRegion(descriptor)) {
      std::snprintf(text, sizeof text, "usb0 dma: descriptor 0x%08X pushed on queue %u lies in no memory region",
                    descriptor, q);
      m_board.ReportFault(text);
      return;
    }
    if (InUse(descriptor)) {
      std::snprintf(text, sizeof text,
                    "usb0 dma: descriptor 0x%08X pushed on queue %u while it is already queued or being filled",
                    descriptor, q);
      m_board.ReportFault(text);
      return;
    }
  }
  m_queues[q].push_back(value);
  if (bByCpu && m_pushObserver) m_pushObserver();
}

uint32_t UsbCppiDma::Pop(uint32_t q) {
  if (m_queues[q].empty()) return 0;
  const uint32_t value = m_queues[q].front();
  m_queues[q].pop_front();
  return value;
}

uint32_t* UsbCppiDma::DescriptorWords(uint32_t descriptor) {
  return reinterpret_cast<uint32_t*>(m_board.GetBus().RamPointer(descriptor, kDescriptorBytes));
}

UsbCppiDma::RxResult UsbCppiDma::Receive(uint32_t ep, const std::vector<uint8_t>& packet, const RxMode& mode) {
  if (ep < 1 || ep > kChannels) return RxResult::NotServiced;
  const uint32_t ch = ep - 1;
  if ((Stored(RxGcr(ch)) & kRxGcrEnable) == 0 || !Scheduled(ch)) return RxResult::NotServiced;
  RxChannel& c = m_rx[ch];
  if (c.descriptor == 0) {
    const uint32_t freeQueue = Stored(RxHpcrA(ch)) & kQueueMask;
    if (freeQueue >= kQueues || m_queues[freeQueue].empty()) return RxResult::Starved;
    const uint32_t popped = Pop(freeQueue);
    const uint32_t descriptor = popped & kAddressMask;
    const uint32_t* words = DescriptorWords(descriptor);
    if (words == nullptr) {
      char text[96];
      std::snprintf(text, sizeof text, "usb0 dma: descriptor 0x%08X is not in plain RAM", descriptor);
      m_board.ReportFault(text);
      return RxResult::Starved;
    }
    c.descriptor = descriptor;
    c.sizeCode = popped & ~kAddressMask;
    c.length = words[3] & kCountMask;
    c.buffer = words[4];
    c.written = 0;
  }
  const auto size = static_cast<uint32_t>(packet.size());
  const uint32_t room = c.length - c.written;
  const uint32_t n = std::min(size, room);
  if (n > 0) {
    uint8_t* dst = m_board.GetBus().RamPointer(c.buffer + c.written, n);
    if (dst == nullptr) {
      char text[96];
      std::snprintf(text, sizeof text, "usb0 dma: buffer 0x%08X (+%u) is not plain RAM", c.buffer, c.written);
      m_board.ReportFault(text);
    } else {
      std::memcpy(dst, packet.data(), n);
    }
  }
  c.written += n;
  m_droppedBytes += size - n;
  const uint32_t gather = mode.rndisSize == 0 ? c.length : std::min(mode.rndisSize, c.length);
  const bool bComplete =
      !mode.bGenericRndis || size < mode.maxPacket || c.written >= gather || n < size;
  if (bComplete) Complete(ch);
  return RxResult::Taken;
}

void UsbCppiDma::Complete(uint32_t ch) {
  RxChannel& c = m_rx[ch];
  const uint32_t descriptor = c.descriptor;
  const uint32_t sizeCode = c.sizeCode;
  if (uint32_t* words = DescriptorWords(descriptor); words != nullptr) {
    words[0] = kHostPacketType | (c.written & kCountMask);
    words[3] = (words[3] & ~kCountMask) | (c.written & kCountMask);
  }
  c = RxChannel{};
  const uint32_t completionQueue = Stored(RxGcr(ch)) & kQueueMask;
  if (completionQueue < kQueues) Push(completionQueue, descriptor | sizeCode, false);
}

}  // namespace sim
