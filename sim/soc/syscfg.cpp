#include "sim/soc/syscfg.h"

#include <cstdio>

namespace sim {

SystemConfig::SystemConfig(Board& board) : m_board(board) {
  m_words[kCfgChip2 / 4] = kCfgChip2Reset;
  board.GetBus().MapDevice(kBase, kLast, RegionKind::SocRegisters, this, "syscfg0");
}

uint32_t SystemConfig::Read(uint32_t offset, uint32_t width) {
  const uint32_t word = offset & ~3u;
  uint32_t value = 0;
  switch (word) {
    case kRevId:
      value = kRevision;
      break;
    case kKick0:
      value = m_kick0;
      break;
    case kKick1:
      value = m_kick1;
      break;
    case kCfgChip2: {
      value = m_cfgChip2 & ~(kVbusSense | kPhyClockGood);
      const bool bVbus = m_vbus ? m_vbus() : false;
      if (bVbus && (m_cfgChip2 & kVbusDetectEnable) != 0) value |= kVbusSense;
      if (m_bPhyClockGood) value |= kPhyClockGood;
      break;
    }
    default:
      value = m_words[word / 4];
      break;
  }
  value >>= (offset & 3u) * 8;
  if (width < 4) value &= (1u << (width * 8)) - 1;
  return value;
}

void SystemConfig::Write(uint32_t offset, uint32_t width, uint32_t value) {
  const uint32_t word = offset & ~3u;
  // Narrow writes merge into their word, as the bus bridge does.
  uint32_t merged = value;
  if (width < 4) {
    const uint32_t shift = (offset & 3u) * 8;
    const uint32_t mask = ((1u << (width * 8)) - 1) << shift;
    const uint32_t current = Read(word, 4);
    merged = (current & ~mask) | ((value << shift) & mask);
  }
  if (word == kKick0) {
    m_kick0 = merged;
    return;
  }
  if (word == kKick1) {
    m_kick1 = merged;
    return;
  }
  if (!Unlocked()) {
    char text[96];
    std::snprintf(text, sizeof text, "syscfg0: write of 0x%08X at offset 0x%03X while the registers are locked", merged,
                  word);
    m_board.ReportFault(text);
    return;
  }
  if (word == kRevId) return;
  m_words[word / 4] = merged;
  if (word == kCfgChip2) {
    m_cfgChip2 = merged & ~(kVbusSense | kPhyClockGood);
    UpdatePhy();
  }
}

void SystemConfig::FailUsb0PhyClock(bool bFail) {
  m_bPhyClockFails = bFail;
  UpdatePhy();
}

bool SystemConfig::PhyRunning() const {
  const uint32_t refFreq = m_cfgChip2 & kRefFreqMask;
  return !m_bPhyClockFails && (m_cfgChip2 & (kPhyReset | kPhyPowerDown | kOtgPowerDown)) == 0 &&
         (m_cfgChip2 & kPllOn) != 0 && refFreq >= 1 && refFreq <= 9;
}

void SystemConfig::UpdatePhy() {
  if (!PhyRunning()) {
    if (m_lockEvent != 0) {
      m_board.Clock().Cancel(m_lockEvent);
      m_lockEvent = 0;
    }
    SetPhyClockGood(false);
    return;
  }
  if (m_bPhyClockGood || m_lockEvent != 0) return;
  m_lockEvent = m_board.Clock().ScheduleIn(kPhyLockTime, [this] {
    m_lockEvent = 0;
    SetPhyClockGood(true);
  });
}

void SystemConfig::SetPhyClockGood(bool bGood) {
  if (m_bPhyClockGood == bGood) return;
  m_bPhyClockGood = bGood;
  for (auto& fn : m_phyObservers) fn();
}

}  // namespace sim
