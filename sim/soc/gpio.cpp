#include "sim/soc/gpio.h"

#include <cstdio>

#include "sim/soc/psc.h"

namespace sim {

namespace {
constexpr uint32_t kPairBytes = GpioController::kPairStride;
constexpr uint32_t kPairsEnd = GpioController::kPairBase + GpioController::kPairCount * kPairBytes;
// Bank 8 is the low half of the last pair; the high half has no pins.
constexpr uint32_t kLastPairPins = 0x0000FFFFu;
}  // namespace

GpioController::GpioController(Board& board) : m_board(board), m_psc1(board.FindDevice<Psc1>()) {
  board.GetBus().MapDevice(kBase, kLast, RegionKind::SocRegisters, this, "gpio");
}

bool GpioController::Answering() {
  if (m_psc1 == nullptr || m_psc1->ModuleEnabled(Psc1::kModuleGpio)) return true;
  m_board.ReportFault("gpio: accessed while its PSC1 module is not enabled");
  return false;
}

uint32_t GpioController::PadLevels(uint32_t pair) const {
  const Pair& p = m_pairs[pair];
  const uint32_t inputs = (p.driven & p.drive) | (~p.driven & p.pull);
  return (~p.dir & p.out) | (p.dir & inputs);
}

bool GpioController::PinLevel(uint32_t pin) const {
  if (pin >= kPinCount) return false;
  return ((m_pairs[pin / 32].pad >> (pin % 32)) & 1u) != 0;
}

bool GpioController::IsOutput(uint32_t pin) const {
  return pin < kPinCount && ((m_pairs[pin / 32].dir >> (pin % 32)) & 1u) == 0;
}

void GpioController::DriveInput(uint32_t pin, bool bLevel) {
  if (pin >= kPinCount) return;
  Pair& p = m_pairs[pin / 32];
  const uint32_t bit = 1u << (pin % 32);
  p.driven |= bit;
  p.drive = bLevel ? p.drive | bit : p.drive & ~bit;
  Settle(pin / 32);
}

void GpioController::ReleaseInput(uint32_t pin) {
  if (pin >= kPinCount) return;
  m_pairs[pin / 32].driven &= ~(1u << (pin % 32));
  Settle(pin / 32);
}

void GpioController::SetPull(uint32_t pin, bool bLevel) {
  if (pin >= kPinCount) return;
  Pair& p = m_pairs[pin / 32];
  const uint32_t bit = 1u << (pin % 32);
  p.pull = bLevel ? p.pull | bit : p.pull & ~bit;
  Settle(pin / 32);
}

void GpioController::AddPinObserver(uint32_t pin, std::function<void(bool)> fn) {
  if (pin < kPinCount) m_observers[pin].push_back(std::move(fn));
}

void GpioController::Settle(uint32_t pair) {
  Pair& p = m_pairs[pair];
  const uint32_t pins = pair == kPairCount - 1 ? kLastPairPins : 0xFFFFFFFFu;
  const uint32_t now = PadLevels(pair);
  const uint32_t changed = (now ^ p.pad) & pins;
  if (changed == 0) return;
  p.pad = now;
  const uint32_t detected = ((changed & now & p.ris) | (changed & ~now & p.fal)) & pins;
  if (detected != 0) {
    p.intStat |= detected;
    // Each half of the pair is a bank with its own interrupt.
    for (uint32_t half = 0; half < 2; ++half) {
      const uint32_t bank = 2 * pair + half;
      if (((detected >> (16 * half)) & 0xFFFFu) != 0 && ((m_binten >> bank) & 1u) != 0) {
        m_board.RaiseInterrupt(kEventBank0 + bank);
      }
    }
  }
  for (uint32_t bits = changed; bits != 0; bits &= bits - 1) {
    const auto bit = static_cast<uint32_t>(__builtin_ctz(bits));
    const uint32_t pin = 32 * pair + bit;
    const bool bLevel = ((now >> bit) & 1u) != 0;
    // An observer may drive pins in turn; it sees the levels as they are.
    for (auto& fn : m_observers[pin]) fn(bLevel);
  }
}

uint32_t GpioController::ReadRegister(uint32_t offset) {
  if (offset == kRevId) return kRevision;
  if (offset == kBinten) return m_binten;
  if (offset < kPairBase || offset >= kPairsEnd) return 0;
  const uint32_t pair = (offset - kPairBase) / kPairBytes;
  const Pair& p = m_pairs[pair];
  switch ((offset - kPairBase) % kPairBytes) {
    case kDir: return p.dir;
    case kOutData:
    case kSetData:
    case kClrData: return p.out;
    case kInData: return p.pad;
    case kSetRisTrig:
    case kClrRisTrig: return p.ris;
    case kSetFalTrig:
    case kClrFalTrig: return p.fal;
    case kIntStat: return p.intStat;
    default: return 0;
  }
}

void GpioController::WriteRegister(uint32_t offset, uint32_t value) {
  if (offset == kBinten) {
    m_binten = value & ((1u << kBankCount) - 1);
    return;
  }
  if (offset < kPairBase || offset >= kPairsEnd) return;
  const uint32_t pair = (offset - kPairBase) / kPairBytes;
  Pair& p = m_pairs[pair];
  switch ((offset - kPairBase) % kPairBytes) {
    case kDir: p.dir = value; break;
    case kOutData: p.out = value; break;
    case kSetData: p.out |= value; break;
    case kClrData: p.out &= ~value; break;
    case kSetRisTrig: p.ris |= value; break;
    case kClrRisTrig: p.ris &= ~value; break;
    case kSetFalTrig: p.fal |= value; break;
    case kClrFalTrig: p.fal &= ~value; break;
    case kIntStat: p.intStat &= ~value; break;
    default: return;  // IN_DATA and the gaps are read-only
  }
  Settle(pair);
}

bool GpioController::ReadIsPolled(uint32_t offset) const {
  if (offset < kPairBase || offset >= kPairsEnd) return false;
  const uint32_t field = ((offset & ~3u) - kPairBase) % kPairBytes;
  return field == kInData || field == kIntStat;
}

uint32_t GpioController::Read(uint32_t offset, uint32_t width) {
  if (!Answering()) return 0;
  uint32_t value = ReadRegister(offset & ~3u);
  value >>= (offset & 3u) * 8;
  if (width < 4) value &= (1u << (width * 8)) - 1;
  return value;
}

void GpioController::Write(uint32_t offset, uint32_t width, uint32_t value) {
  if (!Answering()) return;
  if (width != 4) {
    char text[80];
    std::snprintf(text, sizeof text, "gpio: %u-byte write at offset 0x%03X (registers take words)", width, offset);
    m_board.ReportFault(text);
    return;
  }
  WriteRegister(offset, value);
}

}  // namespace sim
