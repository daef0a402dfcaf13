#include "sim/soc/emif.h"

#include <cstdio>

namespace sim {

ExternalMemoryInterface::ExternalMemoryInterface(Board& board) : m_board(board) {
  for (uint32_t cs = 2; cs <= 5; ++cs) m_words[(kCe2Cfg + 4 * (cs - 2)) / 4] = kCeCfgReset;
  board.GetBus().MapDevice(kBase, kLast, RegionKind::SocRegisters, this, "emifa");
}

uint32_t ExternalMemoryInterface::ChipSelectConfig(uint32_t cs) const {
  if (cs < 2 || cs > 5) return 0;
  return m_words[(kCe2Cfg + 4 * (cs - 2)) / 4];
}

AsyncTiming ExternalMemoryInterface::Decode(uint32_t c) {
  const uint32_t size = c & 3u;
  return AsyncTiming{(c >> 31) != 0,        ((c >> 30) & 1u) != 0, (c >> 26) & 0xFu, (c >> 20) & 0x3Fu,
                     (c >> 17) & 0x7u,      (c >> 13) & 0xFu,      (c >> 7) & 0x3Fu,  (c >> 4) & 0x7u,
                     (c >> 2) & 0x3u,       size == 0 ? 8u : size == 1 ? 16u : 0u};
}

AsyncTiming ExternalMemoryInterface::Timing(uint32_t cs) const { return Decode(ChipSelectConfig(cs)); }

uint32_t ExternalMemoryInterface::Read(uint32_t offset, uint32_t width) {
  uint32_t value = 0;
  if (offset < 4 * m_words.size()) value = offset < 4 ? kModuleId : m_words[offset / 4];
  value >>= (offset & 3u) * 8;
  if (width < 4) value &= (1u << (width * 8)) - 1;
  return value;
}

void ExternalMemoryInterface::Write(uint32_t offset, uint32_t width, uint32_t value) {
  if (width != 4) {
    char text[80];
    std::snprintf(text, sizeof text, "emifa: %u-byte write at offset 0x%04X (registers take words)", width, offset);
    m_board.ReportFault(text);
    return;
  }
  if (offset == kMidr || offset >= 4 * m_words.size()) return;
  m_words[offset / 4] = value;
}

}  // namespace sim
