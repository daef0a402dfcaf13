#include "sim/intc.h"

namespace sim {

void InterruptController::Attach(uint32_t event, uint32_t channel) {
  if (event < kEvents) m_channel[event] = channel;
}

void InterruptController::Raise(uint32_t event) {
  if (event >= kEvents || m_pending[event]) return;
  m_pending[event] = true;
  ++m_pendingCount;
}

void InterruptController::Clear(uint32_t event) {
  if (event >= kEvents || !m_pending[event]) return;
  m_pending[event] = false;
  --m_pendingCount;
}

int InterruptController::NextDeliverable(uint32_t belowChannel) const {
  if (m_pendingCount == 0) return -1;
  int best = -1;
  uint32_t bestChannel = kNoChannel;
  for (uint32_t e = 0; e < kEvents; ++e) {
    if (!m_pending[e]) continue;
    const uint32_t ch = m_channel[e];
    if (ch < belowChannel && ch < bestChannel) {
      best = static_cast<int>(e);
      bestChannel = ch;
    }
  }
  return best;
}

}  // namespace sim
