#include "sim/cpu.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "sim/board.h"
#include "sim/costs.h"
#include "sim/kernel.h"

namespace sim {

namespace {
constexpr size_t kFiberStackBytes = 1024 * 1024;

constexpr uint32_t Bit(Access kind) { return 1u << static_cast<uint32_t>(kind); }
constexpr uint32_t kSpinKinds = Bit(Access::Clock) | Bit(Access::Relax) | Bit(Access::SharedRead) | Bit(Access::PolledRead);
bool IsSpinKind(Access kind) { return (Bit(kind) & kSpinKinds) != 0; }
}  // namespace

Cpu::Cpu(Board& board)
    : m_board(board),
      m_clock(board.Clock()),
      m_intc(board.Intc()),
      m_kernel(board.GetKernel()),
      m_idle(kFiberStackBytes, [this] { IdleLoop(); }) {}

Cpu::~Cpu() {
  for (Fiber* f : m_taskFibers) delete f;
}

Fiber& Cpu::TaskFiber(int taskIndex, std::function<void()> body) {
  if (taskIndex >= static_cast<int>(m_taskFibers.size())) m_taskFibers.resize(static_cast<size_t>(taskIndex) + 1, nullptr);
  Fiber*& f = m_taskFibers[static_cast<size_t>(taskIndex)];
  if (f == nullptr) f = new Fiber(kFiberStackBytes, std::move(body));
  return *f;
}

void Cpu::RunInjections(Access kind, uintptr_t key) {
  for (size_t i = 0; i < m_injections.size();) {
    Injection& inj = m_injections[i];
    const bool due = inj.bAtAddress ? (key == inj.addr && (kind == Access::Hw || kind == Access::Block ||
                                                           kind == Access::SharedRead || kind == Access::SharedWrite))
                                    : (--inj.countdown == 0);
    if (due) {
      m_board.RaiseInterrupt(inj.event);
      m_injections.erase(m_injections.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      ++i;
    }
  }
}

void Cpu::End(Nanos cost) {
  m_switchPoints.store(m_switchPoints.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
  SimClock& clock = m_clock;
  if (!IsSpinKind(m_curKind)) {
    ForgetPolls();
    clock.Advance(cost);
  } else if (!NotePollAndCheckSpin(m_curKind, m_curKey) || !SkipAheadInSpin()) {
    clock.Advance(cost);
  }
  clock.RunDue();
  if (m_irqMasked) return;
  if (m_intc.AnyPending()) DeliverInterrupts();
  if (!m_bTaskRunning || m_handlerDepth != 0 || m_irqMasked) return;
  if (m_pauseRequested || clock.Now() >= m_until || m_halted || m_board.StopRequested() || m_kernel.ShouldPreempt()) {
    YieldToScheduler();
  }
}

bool Cpu::SkipAheadInSpin() {
  // The CPU is in a loop that only polls: nothing it reads can change
  // before the next scheduled event. Skip ahead, but by no more than the
  // loop has already spun (at least kMinSpinStep), so a loop that waits
  // for a deadline overshoots it by at most the time it waited.
  SimClock& clock = m_board.Clock();
  const Nanos now = clock.Now();
  if (!m_bSpinning) {
    m_bSpinning = true;
    m_spinStart = now;
  }
  const Nanos spun = now - m_spinStart;
  Nanos target = now + (spun > kMinSpinStep ? spun : kMinSpinStep);
  const auto next = clock.NextEventTime();
  if (next && *next < target) target = *next;
  if (m_until > now && target > m_until) target = m_until;
  if (next && target > now) {
    if (m_accountDepth != 0 && m_accountDepth <= kAccountedNesting) {
      m_figures[m_accountEvents[m_accountDepth - 1]].waitNs += target - now;
    }
    clock.AdvanceTo(target);
    return true;
  }
  return false;
}

bool Cpu::NotePollAndCheckSpin(Access kind, uintptr_t key) {
  for (size_t i = 0; i < m_pollCount; ++i) {
    if (m_polls[i].kind == kind && m_polls[i].key == key) {
      // The loop came round: start the next round from this read.
      m_polls[0] = PollRead{kind, key};
      m_pollCount = 1;
      return true;
    }
  }
  if (m_pollCount == kPollWindow) {
    std::copy(m_polls.begin() + 1, m_polls.end(), m_polls.begin());
    --m_pollCount;
  }
  m_polls[m_pollCount++] = PollRead{kind, key};
  return false;
}

void Cpu::BusyWaitUntil(Nanos target, uintptr_t counterKey) {
  SimClock& clock = m_board.Clock();
  while (clock.Now() < target) {
    Begin(Access::Clock, counterKey);
    const auto next = clock.NextEventTime();
    clock.AdvanceTo(next && *next < target ? *next : target);
    m_curKind = Access::None;  // the wait itself decides how far time goes
    End(0);
    if (m_halted) return;
  }
}

void Cpu::NoteMaskChange(bool bMasked) {
  const Nanos now = m_clock.Now();
  if (bMasked) {
    m_bMaskTimed = true;
    m_maskedSince = now;
    m_maskedEvent = CurrentAccountEvent();
    return;
  }
  // The mask held from reset until the first dispatch is no stretch.
  if (!m_bMaskTimed) return;
  m_bMaskTimed = false;
  const Nanos length = now - m_maskedSince;
  if (m_maskedEvent >= 0) {
    InterruptFigures& f = m_figures[static_cast<uint32_t>(m_maskedEvent)];
    f.maskedNs += length;
    if (length > f.maxMaskedNs) f.maxMaskedNs = length;
  }
  if (length > m_longestMasked.length) m_longestMasked = MaskedStretch{length, m_maskedSince, m_maskedEvent};
}

void Cpu::EnterHandlerAccount(uint32_t event) {
  const Nanos now = m_clock.Now();
  // The preempted handler's own time stops here.
  if (m_accountDepth != 0 && m_accountDepth <= kAccountedNesting) {
    m_accountOwn[m_accountDepth - 1] += now - m_accountSince;
  }
  if (m_accountDepth < kAccountedNesting) {
    m_accountEvents[m_accountDepth] = event < kAccountedEvents ? event : kAccountedEvents - 1;
    m_accountOwn[m_accountDepth] = 0;
  }
  ++m_accountDepth;
  m_accountSince = now;
}

void Cpu::LeaveHandlerAccount() {
  const Nanos now = m_clock.Now();
  --m_accountDepth;
  if (m_accountDepth < kAccountedNesting) {
    const Nanos own = m_accountOwn[m_accountDepth] + (now - m_accountSince);
    InterruptFigures& f = m_figures[m_accountEvents[m_accountDepth]];
    ++f.entries;
    f.handlerNs += own;
    if (own > f.maxHandlerNs) f.maxHandlerNs = own;
  }
  m_accountSince = now;
}

void Cpu::ResetAccounting() {
  m_figures = {};
  m_longestMasked = MaskedStretch{};
  // An open stretch counts from now.
  if (m_bMaskTimed) m_maskedSince = m_clock.Now();
}

void Cpu::DeliverInterrupts() {
  Kernel& kernel = m_board.GetKernel();
  InterruptController& intc = m_board.Intc();
  while (!m_irqMasked && intc.AnyPending()) {
    const int event = intc.NextDeliverable(m_activeChannel);
    if (event < 0) return;
    const auto ev = static_cast<uint32_t>(event);
    intc.Clear(ev);
    InterruptHandler handler = kernel.HandlerOf(ev);
    const uint32_t savedChannel = m_activeChannel;
    m_activeChannel = intc.ChannelOf(ev);
    EnterHandlerAccount(ev);
    m_board.Clock().Advance(cost::kInterruptEntry);
    if (handler != nullptr) {
      InHandlerContext(handler);
    } else {
      m_board.ReportFault("interrupt event " + std::to_string(ev) + " has no handler");
    }
    LeaveHandlerAccount();
    m_activeChannel = savedChannel;
  }
}

void Cpu::InjectAtSwitchPoint(uint32_t event, uint32_t k) {
  m_injections.push_back(Injection{event, k == 0 ? 1 : k, false, 0});
}

void Cpu::InjectAtAccess(uint32_t event, PhysAddr addr) { m_injections.push_back(Injection{event, 0, true, addr}); }

bool Cpu::WantsPause() const {
  return m_pauseRequested || m_board.Clock().Now() >= m_until || m_board.StopRequested();
}

RunState Cpu::Run(Nanos until) {
  m_until = until;
  for (;;) {
    if (m_halted) return *m_halted;
    if (WantsPause()) {
      m_pauseRequested = false;
      return RunState::Paused;
    }
    Fiber* next = m_board.GetKernel().SelectNext();
    m_running = next != nullptr ? next : &m_idle;
    m_bTaskRunning = next != nullptr;
    ForgetPolls();
    SetIrqMasked(false);  // every context is entered with interrupts enabled
    Fiber::Switch(m_scheduler, *m_running);
    m_running = nullptr;
    m_bTaskRunning = false;
  }
}

void Cpu::YieldToScheduler() {
  if (m_running == nullptr) return;
  Fiber::Switch(*m_running, m_scheduler);
}

void Cpu::ExitContext() {
  Fiber* self = m_running;
  if (self == nullptr) {
    std::fputs("virtual board: a context ended outside the CPU\n", stderr);
    std::abort();
  }
  Fiber::Switch(*self, m_scheduler, true);
  std::abort();  // an ended context is never resumed
}

void Cpu::Halt(RunState state) {
  if (!m_halted) m_halted = state;
  ExitContext();
}

void Cpu::IdleLoop() {
  SimClock& clock = m_board.Clock();
  Kernel& kernel = m_board.GetKernel();
  for (;;) {
    ForgetPolls();
    const auto next = clock.NextEventTime();
    if (!next) {
      m_board.ReportFault("the CPU is idle and nothing is scheduled");
      Halt(RunState::Fault);
    }
    clock.AdvanceTo(*next < m_until ? *next : (m_until > clock.Now() ? m_until : *next));
    clock.RunDue();
    SetIrqMasked(false);  // the kernel idles with interrupts enabled
    DeliverInterrupts();
    if (kernel.AnyReady() || WantsPause() || m_halted) YieldToScheduler();
  }
}

}  // namespace sim
