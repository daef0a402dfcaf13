// The firmware's seam, answered by the virtual board: bus accesses, shared
// words, the interrupt mask and the board-support calls. Each is a switch
// point of the CPU.
#include <cstring>
#include <string>

#include "firmware/hal/board.h"
#include "firmware/hal/hw.h"
#include "firmware/hal/isr_shared.h"
#include "sim/board.h"
#include "sim/costs.h"

namespace sim {
namespace {

// Keys that tell clock reads apart for the spin detector.
constexpr uintptr_t kKeyUsCounter = 2;
constexpr uintptr_t kKeyBusyWait = 3;
constexpr uintptr_t kKeyRelaxWait = 4;

// Timer 0's upper half as the board support drives it: global control
// (bit 1 takes the upper half out of reset), timer control (bits 22-23 its
// enable mode, 2 = continuous), period and counter.
constexpr PhysAddr kTimer0Base = 0x01C20000u;
constexpr PhysAddr kTimer0Tim34 = kTimer0Base + 0x14;
constexpr PhysAddr kTimer0Prd34 = kTimer0Base + 0x1C;
constexpr PhysAddr kTimer0Tcr = kTimer0Base + 0x20;
constexpr PhysAddr kTimer0Tgcr = kTimer0Base + 0x24;
constexpr uint32_t kTgcrTim34Rs = 1u << 1;
constexpr uint32_t kTcrEnaMode34Mask = 3u << 22;
constexpr uint32_t kTcrEnaMode34Continuous = 2u << 22;
constexpr uint64_t kCountsPerUs = 24;
// A busy wait looks at the counter at least this often, well within its
// 179 s wrap.
constexpr Nanos kLongestCounterGap = 60 * kNsPerMs * 1000;

Nanos AccessCost(RegionKind kind) {
  switch (kind) {
    case RegionKind::OnChipRam:
      return cost::kOnChipRamWord;
    case RegionKind::Sdram:
      return cost::kSdramWord;
    case RegionKind::Fpga:
      return cost::kFpgaAccess;
    case RegionKind::Flash:
      return cost::kFlashAccess;
    case RegionKind::SocRegisters:
    case RegionKind::Other:
      break;
  }
  return cost::kSocRegister;
}

[[gnu::cold, gnu::noinline]] void ReportUnaligned(Board& board, PhysAddr addr, uint32_t width) {
  char text[80];
  std::snprintf(text, sizeof text, "unaligned %u-byte access at 0x%08X", width * 8 / 8, addr);
  board.ReportFault(text);
}

// Widths are 1, 2 or 4.
void CheckAlignment(Board& board, PhysAddr addr, uint32_t width) {
  if ((addr & (width - 1)) != 0) [[unlikely]] ReportUnaligned(board, addr, width);
}

// A word of plain RAM, little-endian like the target (and the host).
uint32_t LoadRam(const uint8_t* p, uint32_t width) {
  if (width == 1) return *p;
  if (width == 2) {
    uint16_t half = 0;
    std::memcpy(&half, p, 2);
    return half;
  }
  uint32_t word = 0;
  std::memcpy(&word, p, 4);
  return word;
}

void StoreRam(uint8_t* p, uint32_t width, uint32_t value) {
  if (width == 1) {
    *p = static_cast<uint8_t>(value);
  } else if (width == 2) {
    const auto half = static_cast<uint16_t>(value);
    std::memcpy(p, &half, 2);
  } else {
    std::memcpy(p, &value, 4);
  }
}

// Inline in each HwRead/HwWrite: the width is a constant there.
[[gnu::always_inline]] inline uint32_t Read(PhysAddr addr, uint32_t width) {
  Board& board = Board::Current();
  Cpu& cpu = board.GetCpu();
  cpu.Begin(Access::Hw, addr);
  CheckAlignment(board, addr, width);
  const Bus::Region* r = board.GetBus().Find(addr, width);
  uint32_t value = 0;
  Nanos cost = cost::kSocRegister;
  if (r == nullptr) {
    board.GetKernel().DataAbort(addr, false);
  } else {
    cost = AccessCost(r->kind);
    if (r->host != nullptr) {
      // On-chip RAM changes only by the CPU's own writes (which end a
      // polling loop) and at device events, so reading it again and again
      // is polling, as a wait on a word the DSP answers in.
      if (r->kind == RegionKind::OnChipRam) cpu.SetAccessKind(Access::PolledRead);
      value = LoadRam(r->host + (addr - r->first), width);
    } else {
      const uint32_t offset = addr - r->first;
      if (r->device->MayPoll(offset) && r->device->ReadIsPolled(offset)) cpu.SetAccessKind(Access::PolledRead);
      value = r->device->Read(offset, width);
      board.GetBus().Trace().Note(board.Clock().Now(), addr, width, value, false);
    }
  }
  cpu.End(cost);
  return value;
}

[[gnu::always_inline]] inline void Write(PhysAddr addr, uint32_t width, uint32_t value) {
  Board& board = Board::Current();
  Cpu& cpu = board.GetCpu();
  cpu.Begin(Access::Hw, addr);
  CheckAlignment(board, addr, width);
  const Bus::Region* r = board.GetBus().Find(addr, width);
  Nanos cost = cost::kSocRegister;
  if (r == nullptr) {
    board.GetKernel().DataAbort(addr, true);
  } else {
    cost = AccessCost(r->kind);
    if (r->host != nullptr) {
      StoreRam(r->host + (addr - r->first), width, value);
      board.GetBus().Trace().NoteRamWrite(board.Clock().Now(), addr, width, value);
    } else {
      r->device->Write(addr - r->first, width, value);
      board.GetBus().Trace().Note(board.Clock().Now(), addr, width, value, true);
    }
  }
  cpu.End(cost);
}

// Copies between the bus and host memory: plain RAM in pieces of about a
// microsecond, devices access by access in their bus width.
void Block(PhysAddr addr, uint8_t* host, uint32_t bytes, bool bToBus) {
  Board& board = Board::Current();
  Cpu& cpu = board.GetCpu();
  while (bytes > 0) {
    const Bus::Region* r = board.GetBus().Find(addr, 1);
    if (r == nullptr) {
      cpu.Begin(Access::Block, addr);
      board.GetKernel().DataAbort(addr, bToBus);
      cpu.End(cost::kSocRegister);
      return;
    }
    const uint64_t left = static_cast<uint64_t>(r->last) - addr + 1;
    if (r->host != nullptr) {
      uint32_t piece = static_cast<uint32_t>(cost::kBulkPiece / cost::kBulkCopyPerByte);
      if (piece > bytes) piece = bytes;
      if (piece > left) piece = static_cast<uint32_t>(left);
      cpu.Begin(Access::Block, addr);
      uint8_t* ram = r->host + (addr - r->first);
      if (bToBus) {
        std::memcpy(ram, host, piece);
      } else {
        std::memcpy(host, ram, piece);
      }
      cpu.End(piece * cost::kBulkCopyPerByte);
      addr += piece;
      host += piece;
      bytes -= piece;
    } else {
      const uint32_t width = r->device->BusWidth();
      const uint32_t piece = bytes < width ? bytes : width;
      cpu.Begin(Access::Block, addr);
      if (bToBus) {
        uint32_t value = 0;
        std::memcpy(&value, host, piece);
        r->device->Write(addr - r->first, piece, value);
        board.GetBus().Trace().Note(board.Clock().Now(), addr, piece, value, true);
      } else {
        const uint32_t value = r->device->Read(addr - r->first, piece);
        std::memcpy(host, &value, piece);
        board.GetBus().Trace().Note(board.Clock().Now(), addr, piece, value, false);
      }
      cpu.End(AccessCost(r->kind));
      addr += piece;
      host += piece;
      bytes -= piece;
    }
  }
}

void SetMask(bool bMasked) {
  Cpu& cpu = Board::Current().GetCpu();
  cpu.Begin(Access::IrqMask, 0);
  cpu.SetIrqMasked(bMasked);
  cpu.End(cost::kIrqMask);
}

}  // namespace
}  // namespace sim

using sim::Board;

uint8_t HwRead8(PhysAddr addr) { return static_cast<uint8_t>(sim::Read(addr, 1)); }
uint16_t HwRead16(PhysAddr addr) { return static_cast<uint16_t>(sim::Read(addr, 2)); }
uint32_t HwRead32(PhysAddr addr) { return sim::Read(addr, 4); }
void HwWrite8(PhysAddr addr, uint8_t value) { sim::Write(addr, 1, value); }
void HwWrite16(PhysAddr addr, uint16_t value) { sim::Write(addr, 2, value); }
void HwWrite32(PhysAddr addr, uint32_t value) { sim::Write(addr, 4, value); }

void HwReadBlock(PhysAddr src, void* pDst, uint32_t ulBytes) {
  sim::Block(src, static_cast<uint8_t*>(pDst), ulBytes, false);
}

void HwWriteBlock(PhysAddr dst, const void* pSrc, uint32_t ulBytes) {
  sim::Block(dst, const_cast<uint8_t*>(static_cast<const uint8_t*>(pSrc)), ulBytes, true);
}

void* PhysToHost(PhysAddr addr, uint32_t ulBytes) {
  Board& board = Board::Current();
  uint8_t* p = board.GetBus().RamPointer(addr, ulBytes);
  if (p == nullptr) {
    char text[96];
    std::snprintf(text, sizeof text, "PhysToHost(0x%08X, %u) is not plain RAM", addr, ulBytes);
    board.ReportFault(text);
    board.GetCpu().Halt(sim::RunState::Fault);
  }
  return p;
}

void CpuRelax() {
  sim::Cpu& cpu = Board::Current().GetCpu();
  cpu.Begin(sim::Access::Relax, 0);
  cpu.End(sim::cost::kRelax);
}

void CpuRelaxUs(uint32_t ulUs) {
  // The counter the spin reads cannot reach its mark before ulUs have
  // passed: let the time pass, to each scheduled event on the way.
  Board& board = Board::Current();
  board.GetCpu().BusyWaitUntil(board.Clock().Now() + static_cast<sim::Nanos>(ulUs) * sim::kNsPerUs,
                               sim::kKeyRelaxWait);
}

void DisableIrq() { sim::SetMask(true); }
void EnableIrq() { sim::SetMask(false); }

uint32_t SaveIrqAndDisable() {
  const bool bWas = Board::Current().GetCpu().IrqMasked();
  sim::SetMask(true);
  return bWas ? 1u : 0u;
}

void RestoreIrq(uint32_t ulSaved) { sim::SetMask(ulSaved != 0); }

void hal::SharedAccessBegin(const volatile void* pWord, bool bWrite) {
  Board::Current().GetCpu().Begin(bWrite ? sim::Access::SharedWrite : sim::Access::SharedRead,
                                  reinterpret_cast<uintptr_t>(pWord));
}

void hal::SharedAccessEnd() { Board::Current().GetCpu().End(sim::cost::kSharedWord); }

namespace sim {
namespace {

// The device region answering for timer 0's counter; none on a bare board.
const Bus::Region* Timer0Device(Board& board) {
  const Bus::Region* r = board.GetBus().Find(kTimer0Tim34, 4);
  return r != nullptr && r->device != nullptr ? r : nullptr;
}

// One reading of the 24 MHz counter, carried on into the 64-bit count
// before any other context can run. The firmware's readings are clock reads
// (a spin on them jumps to the next event); the busy wait's own readings are
// plain register reads, so that back-to-back waits keep their length.
uint64_t ReadCounts(Board& board, bool bClockRead) {
  Cpu& cpu = board.GetCpu();
  Board::UsCounter& c = board.GetUsCounter();
  if (bClockRead) {
    cpu.Begin(Access::Clock, kKeyUsCounter);
  } else {
    cpu.Begin(Access::Hw, kTimer0Tim34);
  }
  uint32_t count = c.lastCount;
  if (const Bus::Region* timer = Timer0Device(board)) {
    count = timer->device->Read(kTimer0Tim34 - timer->first, 4);
  } else if (c.bClockOnly) {
    count = static_cast<uint32_t>((board.Clock().Now() - c.startedAt) * kCountsPerUs / kNsPerUs);
  }
  c.counts += count - c.lastCount;
  c.lastCount = count;
  const uint64_t counts = c.counts;
  cpu.End(bClockRead ? cost::kClockRead : cost::kSocRegister);
  return counts;
}

}  // namespace
}  // namespace sim

void BoardStartUsCounter() {
  Board& board = Board::Current();
  Board::UsCounter& c = board.GetUsCounter();
  if (sim::Timer0Device(board) == nullptr) {
    board.GetCpu().Begin(sim::Access::Hw, sim::kTimer0Base);
    c = Board::UsCounter{true, board.Clock().Now(), 0, 0};
    board.GetCpu().End(sim::cost::kSocRegister);
    return;
  }
  // Hold the upper half in reset, make it continuous over the full 32-bit
  // period from 0, then let it run.
  const uint32_t tgcr = HwRead32(sim::kTimer0Tgcr);
  HwWrite32(sim::kTimer0Tgcr, tgcr & ~sim::kTgcrTim34Rs);
  const uint32_t tcr = HwRead32(sim::kTimer0Tcr);
  HwWrite32(sim::kTimer0Tcr, (tcr & ~sim::kTcrEnaMode34Mask) | sim::kTcrEnaMode34Continuous);
  HwWrite32(sim::kTimer0Prd34, 0xFFFFFFFFu);
  HwWrite32(sim::kTimer0Tim34, 0);
  c = Board::UsCounter{};
  HwWrite32(sim::kTimer0Tgcr, tgcr | sim::kTgcrTim34Rs);
}

uint32_t BoardReadUsCounter() {
  return static_cast<uint32_t>(sim::ReadCounts(Board::Current(), true) / sim::kCountsPerUs);
}

void BoardWaitUs(uint32_t ulUs) {
  Board& board = Board::Current();
  sim::Cpu& cpu = board.GetCpu();
  if (sim::Timer0Device(board) == nullptr) {
    cpu.BusyWaitUntil(board.Clock().Now() + static_cast<sim::Nanos>(ulUs) * sim::kNsPerUs, sim::kKeyBusyWait);
    return;
  }
  // Wait until the counter has advanced by 24 x n counts. The counter
  // follows virtual time, so the wait lets time pass to where the count is
  // due (taking interrupts on the way) and then reads it again.
  uint64_t counts = sim::ReadCounts(board, false);
  const uint64_t target = counts + static_cast<uint64_t>(ulUs) * sim::kCountsPerUs;
  while (counts < target) {
    sim::Nanos wait = ((target - counts) * sim::kNsPerUs + sim::kCountsPerUs - 1) / sim::kCountsPerUs;
    if (wait > sim::kLongestCounterGap) wait = sim::kLongestCounterGap;
    cpu.BusyWaitUntil(board.Clock().Now() + wait, sim::kKeyBusyWait);
    if (cpu.Halted()) return;
    const uint64_t before = counts;
    counts = sim::ReadCounts(board, false);
    if (counts == before) {
      board.ReportFault("BoardWaitUs: timer 0 does not count (BoardStartUsCounter has not run)");
      return;
    }
  }
}

void BoardWatchdogRestart() {
  Board& board = Board::Current();
  board.ConsoleLine("[board] watchdog restart");
  board.GetCpu().Halt(sim::RunState::Reset);
}

BoardApplicationEntry BoardApplicationOverride() { return Board::Current().Config().appOverride; }

void BoardIdlePass() {
  void (*pfnPass)() = Board::Current().Config().idlePass;
  if (pfnPass != nullptr) pfnPass();
}
