#include "sim/soc/psc.h"

#include <algorithm>
#include <cstdio>

namespace sim {

namespace {
constexpr uint32_t kStateMask = 0x3Fu;
constexpr uint32_t kNextMask = 0x1Fu;
constexpr uint32_t kMdstatMrst = 1u << 11;
constexpr uint32_t kMdstatMckout = 1u << 12;
constexpr uint32_t kRegisterBytes = 0x1000;
}  // namespace

PowerSleepController::PowerSleepController(Board& board, PhysAddr base, std::string name, uint32_t moduleCount,
                                           std::initializer_list<uint32_t> enabledAtReset)
    : m_board(board),
      m_base(base),
      m_name(std::move(name)),
      m_state(moduleCount, kStateSwRstDisable),
      m_mdctl(moduleCount, kStateSwRstDisable),
      m_words(kRegisterBytes / 4, 0) {
  for (uint32_t module : enabledAtReset) {
    if (module < moduleCount) {
      m_state[module] = kStateEnable;
      m_mdctl[module] = kStateEnable;
    }
  }
  board.GetBus().MapDevice(base, base + kRegisterBytes - 1, RegionKind::SocRegisters, this, m_name);
}

uint32_t PowerSleepController::ModuleState(uint32_t module) const {
  return module < m_state.size() ? m_state[module] : kStateSwRstDisable;
}

uint32_t PowerSleepController::StoredWord(uint32_t offset) const { return m_words[(offset & (kRegisterBytes - 1)) / 4]; }

uint32_t PowerSleepController::Read(uint32_t offset, uint32_t width) {
  const uint32_t word = offset & ~3u;
  uint32_t value = 0;
  if (word == kRevId) {
    value = kRevision;
  } else if (word == kPtstat) {
    value = m_bBusy ? 1u : 0u;
  } else if (word == kPdstat0) {
    value = 1;
  } else if (word >= kMdstat0 && word < kMdstat0 + 4 * m_state.size()) {
    const uint32_t state = m_state[(word - kMdstat0) / 4];
    value = state;
    if (state == kStateEnable || state == kStateDisable) value |= kMdstatMrst;
    if (state == kStateEnable) value |= kMdstatMckout;
  } else if (word >= kMdctl0 && word < kMdctl0 + 4 * m_mdctl.size()) {
    value = m_mdctl[(word - kMdctl0) / 4];
  } else if (word == kPtcmd) {
    value = 0;  // write-only
  } else {
    value = StoredWord(word);
  }
  const uint32_t shift = (offset & 3u) * 8;
  value >>= shift;
  if (width < 4) value &= (1u << (width * 8)) - 1;
  return value;
}

void PowerSleepController::Write(uint32_t offset, uint32_t width, uint32_t value) {
  if (width != 4 || (offset & 3u) != 0) {
    char text[96];
    std::snprintf(text, sizeof text, "%s: %u-byte write at offset 0x%03X (registers take words)", m_name.c_str(),
                  width, offset);
    m_board.ReportFault(text);
    return;
  }
  if (offset == kPtcmd) {
    if ((value & 1u) != 0) StartTransition();
    return;
  }
  if (offset >= kMdctl0 && offset < kMdctl0 + 4 * m_mdctl.size()) {
    m_mdctl[(offset - kMdctl0) / 4] = value;
    return;
  }
  if (offset == kPtstat || offset == kRevId || (offset >= kMdstat0 && offset < kMdstat0 + 4 * m_state.size())) {
    return;  // read-only
  }
  m_words[offset / 4] = value;
}

void PowerSleepController::StartTransition() {
  if (m_bBusy) return;
  bool bChange = false;
  bool bHang = false;
  for (uint32_t i = 0; i < m_state.size(); ++i) {
    if ((m_mdctl[i] & kNextMask) != m_state[i]) {
      bChange = true;
      if (std::find(m_hung.begin(), m_hung.end(), i) != m_hung.end()) bHang = true;
    }
  }
  if (!bChange) return;
  m_bBusy = true;
  if (bHang) return;  // the module never acknowledges: busy for good
  m_board.Clock().ScheduleIn(kTransitionTime, [this] { EndTransition(); });
}

void PowerSleepController::EndTransition() {
  m_bBusy = false;
  for (uint32_t i = 0; i < m_state.size(); ++i) {
    const uint32_t next = m_mdctl[i] & kNextMask & kStateMask;
    if (next == m_state[i]) continue;
    m_state[i] = next;
    for (auto& fn : m_observers) fn(i);
  }
}

}  // namespace sim
