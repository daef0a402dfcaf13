// The interrupt controller: system events become pending on their host
// channel; a lower channel number is the higher priority. Channels are
// learnt from the kernel configuration (2 tick, 3 console, 4 USB,
// 5 GPIO bank 0, 10 UART2).
#pragma once

#include <array>
#include <cstdint>

namespace sim {

class InterruptController {
 public:
  static constexpr uint32_t kEvents = 128;
  static constexpr uint32_t kNoChannel = 0xFFFFFFFFu;

  void Attach(uint32_t event, uint32_t channel);
  bool IsAttached(uint32_t event) const { return event < kEvents && m_channel[event] != kNoChannel; }
  uint32_t ChannelOf(uint32_t event) const { return event < kEvents ? m_channel[event] : kNoChannel; }

  void Raise(uint32_t event);
  void Clear(uint32_t event);
  bool IsPending(uint32_t event) const { return event < kEvents && (m_pending[event / 32] >> (event % 32) & 1u) != 0; }
  bool AnyPending() const { return m_pendingCount != 0; }

  // The pending event of the highest-priority channel whose number is below
  // `belowChannel`, or -1. Simultaneous events are taken in channel order.
  int NextDeliverable(uint32_t belowChannel) const;

 private:
  std::array<uint32_t, kEvents> m_channel = [] {
    std::array<uint32_t, kEvents> a{};
    a.fill(kNoChannel);
    return a;
  }();
  // One bit per event: delivery looks only at the events that are pending.
  std::array<uint32_t, kEvents / 32> m_pending{};
  uint32_t m_pendingCount = 0;
};

}  // namespace sim
