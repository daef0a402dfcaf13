#include "sim/soc/timer0.h"

namespace sim {

namespace {

// Counts of a counter started at `held` after `counts` more counts, in a
// continuous mode with the given period: it counts up to the period and
// goes on from 0; a counter started above the period runs up to 2^32 first.
uint32_t ContinuousCount(uint32_t held, uint64_t counts, uint32_t period) {
  const uint64_t modulus = static_cast<uint64_t>(period) + 1;
  if (held > period) {
    const uint64_t toWrap = (uint64_t{1} << 32) - held;
    if (counts < toWrap) return static_cast<uint32_t>(held + counts);
    return static_cast<uint32_t>((counts - toWrap) % modulus);
  }
  return static_cast<uint32_t>((held + counts) % modulus);
}

}  // namespace

uint32_t Timer0::UpperCount() {
  if (!m_bRunning) return m_heldCount;
  // 24 counts per microsecond; the product stays in 64 bits for 24 years.
  const uint64_t counts = (m_clock.Now() - m_since) * (kCountHz / 1'000'000u) / kNsPerUs;
  const uint32_t mode = (m_tcr & kTcrEnaMode34Mask) >> kTcrEnaMode34Shift;
  if (mode != kEnaOneShot) return ContinuousCount(m_heldCount, counts, m_prd34);
  if (m_heldCount >= m_prd34 || counts >= static_cast<uint64_t>(m_prd34 - m_heldCount)) {
    // The single count reached its period: the counter stops there.
    m_heldCount = m_prd34 > m_heldCount ? m_prd34 : m_heldCount;
    m_tcr &= ~kTcrEnaMode34Mask;
    m_bRunning = false;
    return m_heldCount;
  }
  return static_cast<uint32_t>(m_heldCount + counts);
}

void Timer0::Rebase() {
  m_heldCount = UpperCount();
  m_since = m_clock.Now();
  m_bRunning = (m_tgcr & kTgcrTim34Rs) != 0 && (m_tcr & kTcrEnaMode34Mask) != 0;
}

uint32_t Timer0::ReadRegister(uint32_t reg) {
  switch (reg) {
    case kTim12: return m_tim12;
    case kTim34: return UpperCount();
    case kPrd12: return m_prd12;
    case kPrd34: return m_prd34;
    case kTcr: UpperCount(); return m_tcr;
    case kTgcr: return m_tgcr;
    default: return 0;
  }
}

void Timer0::WriteRegister(uint32_t reg, uint32_t value) {
  switch (reg) {
    case kTim12: m_tim12 = value; break;
    case kTim34:
      Rebase();
      m_heldCount = value;
      break;
    case kPrd12: m_prd12 = value; break;
    case kPrd34:
      Rebase();
      m_prd34 = value;
      break;
    case kTcr:
      Rebase();
      m_tcr = value;
      break;
    case kTgcr:
      Rebase();
      m_tgcr = value;
      break;
    default: break;
  }
  Rebase();
}

uint32_t Timer0::Read(uint32_t offset, uint32_t width) {
  const uint32_t shift = (offset & 3u) * 8;
  const uint32_t value = ReadRegister(offset & ~3u) >> shift;
  return width >= 4 ? value : value & ((1u << (width * 8)) - 1);
}

void Timer0::Write(uint32_t offset, uint32_t width, uint32_t value) {
  const uint32_t reg = offset & ~3u;
  if (width >= 4) {
    WriteRegister(reg, value);
    return;
  }
  // A narrow write changes its byte lanes of the register.
  const uint32_t shift = (offset & 3u) * 8;
  const uint32_t mask = ((1u << (width * 8)) - 1) << shift;
  WriteRegister(reg, (ReadRegister(reg) & ~mask) | ((value << shift) & mask));
}

Timer0& InstallTimer0(Board& board) {
  Timer0& timer = board.AddDevice<Timer0>(board.Clock());
  board.GetBus().MapDevice(Timer0::kFirst, Timer0::kLast, RegionKind::SocRegisters, &timer, "timer 0");
  return timer;
}

}  // namespace sim
