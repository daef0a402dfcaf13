#include "sim/soc/psc.h"

#include <algorithm>
#include <cstdio>

namespace sim {

namespace {
constexpr uint32_t kStateMask = 0x3Fu;
constexpr uint32_t kNextMask = 0x1Fu;
constexpr uint32_t kLocalReset = 1u << 8;  // MDCTL and MDSTAT alike
constexpr uint32_t kMdstatMrst = 1u << 11;
constexpr uint32_t kMdstatMckout = 1u << 12;
constexpr uint32_t kRegisterBytes = 0x1000;
}  // namespace

PowerSleepController::PowerSleepController(Board& board, PhysAddr base, std::string name, uint32_t moduleCount,
                                           std::initializer_list<uint32_t> enabledAtReset,
                                           std::initializer_list<uint32_t> domain1Modules)
    : m_board(board),
      m_base(base),
      m_name(std::move(name)),
      m_state(moduleCount, kStateSwRstDisable),
      m_mdctl(moduleCount, kStateSwRstDisable),
      m_words(kRegisterBytes / 4, 0),
      m_domain(moduleCount, 0) {
  for (uint32_t module : domain1Modules) {
    if (module < moduleCount) m_domain[module] = 1;
  }
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

bool PowerSleepController::LocalResetReleased(uint32_t module) const {
  return module < m_mdctl.size() && (m_mdctl[module] & kLocalReset) != 0;
}

uint32_t PowerSleepController::StoredWord(uint32_t offset) const { return m_words[(offset & (kRegisterBytes - 1)) / 4]; }

uint32_t PowerSleepController::Read(uint32_t offset, uint32_t width) {
  const uint32_t word = offset & ~3u;
  uint32_t value = 0;
  if (word == kRevId) {
    value = kRevision;
  } else if (word == kPtstat) {
    value = (m_bBusy[0] ? 1u : 0u) | (m_bBusy[1] ? 2u : 0u);
  } else if (word == kPdstat0) {
    value = 1;
  } else if (word >= kMdstat0 && word < kMdstat0 + 4 * m_state.size()) {
    const uint32_t module = (word - kMdstat0) / 4;
    const uint32_t state = m_state[module];
    value = state;
    if (state == kStateEnable || state == kStateDisable) {
      value |= kMdstatMrst;
      if (LocalResetReleased(module)) value |= kLocalReset;
    }
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

bool PowerSleepController::ReadIsPolled(uint32_t offset) const {
  const uint32_t word = offset & ~3u;
  return word == kPtstat || (word >= kMdstat0 && word < kMdstat0 + 4 * m_state.size());
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
    for (uint32_t domain = 0; domain < 2; ++domain) {
      if ((value & (1u << domain)) != 0) StartTransition(domain);
    }
    return;
  }
  if (offset >= kMdctl0 && offset < kMdctl0 + 4 * m_mdctl.size()) {
    const uint32_t module = (offset - kMdctl0) / 4;
    const bool bResetChanged = ((m_mdctl[module] ^ value) & kLocalReset) != 0;
    m_mdctl[module] = value;
    if (bResetChanged) Notify(module);
    return;
  }
  if (offset == kPtstat || offset == kRevId || (offset >= kMdstat0 && offset < kMdstat0 + 4 * m_state.size())) {
    return;  // read-only
  }
  m_words[offset / 4] = value;
}

void PowerSleepController::StartTransition(uint32_t domain) {
  if (m_bBusy[domain]) return;
  bool bChange = false;
  bool bHang = false;
  for (uint32_t i = 0; i < m_state.size(); ++i) {
    if (m_domain[i] == domain && (m_mdctl[i] & kNextMask) != m_state[i]) {
      bChange = true;
      if (std::find(m_hung.begin(), m_hung.end(), i) != m_hung.end()) bHang = true;
    }
  }
  if (!bChange) return;
  m_bBusy[domain] = true;
  if (bHang) return;  // the module never acknowledges: busy for good
  m_board.Clock().ScheduleIn(kTransitionTime, [this, domain] { EndTransition(domain); });
}

void PowerSleepController::EndTransition(uint32_t domain) {
  m_bBusy[domain] = false;
  for (uint32_t i = 0; i < m_state.size(); ++i) {
    const uint32_t next = m_mdctl[i] & kNextMask & kStateMask;
    if (m_domain[i] != domain || next == m_state[i]) continue;
    if (std::find(m_stuck.begin(), m_stuck.end(), i) != m_stuck.end()) continue;
    m_state[i] = next;
    Notify(i);
  }
}

void PowerSleepController::Notify(uint32_t module) {
  for (auto& fn : m_observers) fn(module);
}

}  // namespace sim
