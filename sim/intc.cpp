#include "sim/intc.h"

namespace sim {

void InterruptController::Attach(uint32_t event, uint32_t channel) {
  if (event < kEvents) m_channel[event] = channel;
}

void InterruptController::Raise(uint32_t event) {
  if (event >= kEvents || IsPending(event)) return;
  m_pending[event / 32] |= 1u << (event % 32);
  ++m_pendingCount;
}

void InterruptController::Clear(uint32_t event) {
  if (event >= kEvents || !IsPending(event)) return;
  m_pending[event / 32] &= ~(1u << (event % 32));
  --m_pendingCount;
}

int InterruptController::NextDeliverable(uint32_t belowChannel) const {
  if (m_pendingCount == 0) return -1;
  int best = -1;
  uint32_t bestChannel = kNoChannel;
  for (uint32_t w = 0; w < m_pending.size(); ++w) {
    for (uint32_t bits = m_pending[w]; bits != 0; bits &= bits - 1) {
      const uint32_t e = w * 32 + static_cast<uint32_t>(__builtin_ctz(bits));
      const uint32_t ch = m_channel[e];
      if (ch < belowChannel && ch < bestChannel) {
        best = static_cast<int>(e);
        bestChannel = ch;
      }
    }
  }
  return best;
}

}  // namespace sim
