// The one simulated CPU. Exactly one firmware context runs at a time: a
// task's fiber, or the idle context when no task is ready. Every kernel call,
// bus access, shared-word access, clock read, spin turn and interrupt-mask
// change is a switch point, where the board, in this order:
//   1. brings the device models up to now (due clock events run),
//   2. performs the access,
//   3. adds the access's cost to virtual time (or, for a spin that read the
//      same clock or word at the previous switch point, jumps to the next
//      scheduled event),
//   4. delivers due interrupts if they are unmasked,
//   5. switches task if a higher-priority task is ready, interrupts are
//      unmasked, the CPU is not in interrupt context and dispatch is enabled.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "sim/bus.h"
#include "sim/clock.h"
#include "sim/fiber.h"

namespace sim {

class Board;
class InterruptController;
class Kernel;

enum class Access : uint8_t {
  None,
  Kernel,
  Hw,
  SharedRead,
  SharedWrite,
  Clock,
  Relax,
  IrqMask,
  Block,
  PolledRead,  // a device read that changes only at the device's events
};

// Why the CPU gave control back to whoever runs it.
enum class RunState : uint8_t {
  Paused,  // a stop condition or time limit was reached; Run can go on
  Ended,   // the kernel shut down (kernel_exit)
  Reset,   // the watchdog restarted the board
  Fault,   // the board found a fault it cannot go on from
};

class Cpu {
 public:
  explicit Cpu(Board& board);
  ~Cpu();

  // ---- switch points ----
  void Begin(Access kind, uintptr_t key) {
    m_curKind = kind;
    m_curKey = key;
    if (!m_injections.empty()) RunInjections(kind, key);
    m_clock.RunDue();
  }
  void End(Nanos cost);
  // Re-classifies the access of the switch point in progress.
  void SetAccessKind(Access kind) { m_curKind = kind; }

  // A busy wait on a free-running counter until `target`: time passes to
  // each scheduled event on the way, interrupts are taken as they fall due.
  void BusyWaitUntil(Nanos target, uintptr_t counterKey);

  // ---- interrupt mask and context ----
  bool IrqMasked() const { return m_irqMasked; }
  void SetIrqMasked(bool bMasked) {
    if (bMasked != m_irqMasked) NoteMaskChange(bMasked);
    m_irqMasked = bMasked;
  }
  bool InHandler() const { return m_handlerDepth > 0; }
  // Runs an interrupt or exception handler in non-task context; returning
  // restores the interrupted context's mask.
  template <class F>
  void InHandlerContext(F&& handler) {
    const bool bSavedMask = m_irqMasked;
    ++m_handlerDepth;
    ForgetPolls();
    handler();
    --m_handlerDepth;
    SetIrqMasked(bSavedMask);
    // What the handler did lies between the interrupted context's accesses.
    ForgetPolls();
  }

  // ---- accounting of virtual time, per interrupt event ----
  // Time in a handler leaves out the handlers that preempted it; a masked
  // stretch counts for the handler it began in (none: task level); the
  // wait is the time a handler's polling loops skipped ahead to the next
  // event (as a wait for the DSP's echo does).
  struct InterruptFigures {
    uint64_t entries = 0;
    Nanos handlerNs = 0;
    Nanos maxHandlerNs = 0;  // the longest single entry
    Nanos maskedNs = 0;
    Nanos maxMaskedNs = 0;  // the longest masked stretch
    Nanos waitNs = 0;
  };
  struct MaskedStretch {
    Nanos length = 0;
    Nanos start = 0;
    int32_t event = -1;  // the handler it began in; -1 task level
  };
  static constexpr uint32_t kAccountedEvents = 128;
  const InterruptFigures& Figures(uint32_t event) const {
    static const InterruptFigures kNone{};
    return event < kAccountedEvents ? m_figures[event] : kNone;
  }
  // The longest stretch with interrupts masked since power-on (or the last
  // reset of the figures), in any context.
  const MaskedStretch& LongestMasked() const { return m_longestMasked; }
  void ResetAccounting();

  // ---- test hooks: make an event's interrupt due on purpose ----
  void InjectAtSwitchPoint(uint32_t event, uint32_t k);
  void InjectAtAccess(uint32_t event, PhysAddr addr);

  // ---- execution ----
  // Runs the CPU until `until` (virtual time) or until a stop is asked.
  RunState Run(Nanos until);
  // Asks the CPU to give control back at its next opportunity.
  void RequestPause() { m_pauseRequested = true; }
  // Gives the CPU from the running task back to the scheduler; the task
  // resumes when it is chosen again.
  void YieldToScheduler();
  // Ends the running context for good (ext_tsk): it is restarted from the
  // top if it runs again.
  [[noreturn]] void ExitContext();
  // Stops the CPU for good from any context.
  [[noreturn]] void Halt(RunState state);

  // The fiber of a task, created on first use.
  Fiber& TaskFiber(int taskIndex, std::function<void()> body);
  bool IsIdleContext() const { return m_running == &m_idle; }
  bool Halted() const { return m_halted.has_value(); }

  // Read by the stall detector from its own thread.
  uint64_t SwitchPoints() const { return m_switchPoints.load(std::memory_order_relaxed); }

 private:
  void RunInjections(Access kind, uintptr_t key);
  void NoteMaskChange(bool bMasked);
  void EnterHandlerAccount(uint32_t event);
  void LeaveHandlerAccount();
  void DeliverInterrupts();
  void IdleLoop();
  bool WantsPause() const;

  Board& m_board;
  // The board's parts that every switch point looks at.
  SimClock& m_clock;
  InterruptController& m_intc;
  Kernel& m_kernel;
  bool m_irqMasked = true;  // as after reset, until the kernel dispatches
  uint32_t m_handlerDepth = 0;
  uint32_t m_activeChannel = 0xFFFFFFFFu;

  // The polling reads (clock, polled device register, shared word, spin
  // turn) since the last access of any other kind: when one repeats, the CPU
  // is in a loop that only polls, and nothing it reads can change before
  // the next scheduled event.
  struct PollRead {
    Access kind;
    uintptr_t key;
  };
  static constexpr size_t kPollWindow = 6;
  std::array<PollRead, kPollWindow> m_polls{};
  size_t m_pollCount = 0;
  // Notes a polling read; true when it repeats one of the window's.
  bool NotePollAndCheckSpin(Access kind, uintptr_t key);
  // Time jumps ahead in a spin; false when it could not (nothing scheduled).
  bool SkipAheadInSpin();
  void ForgetPolls() {
    m_pollCount = 0;
    m_bSpinning = false;
  }
  // A spin skips ahead by the time it has spun so far, at least this.
  static constexpr Nanos kMinSpinStep = 1000;
  bool m_bSpinning = false;
  Nanos m_spinStart = 0;
  Access m_curKind = Access::None;
  uintptr_t m_curKey = 0;

  struct Injection {
    uint32_t event;
    uint32_t countdown;  // switch points left; 0 with bAtAddress
    bool bAtAddress;
    PhysAddr addr;
  };
  std::vector<Injection> m_injections;

  Fiber m_scheduler;
  Fiber m_idle;
  std::vector<Fiber*> m_taskFibers;
  Fiber* m_running = nullptr;
  bool m_bTaskRunning = false;  // m_running is a task's fiber
  std::optional<RunState> m_halted;
  bool m_pauseRequested = false;
  Nanos m_until = 0;
  bool m_inRun = false;
  std::atomic<uint64_t> m_switchPoints{0};

  // Accounting: the handlers in progress (innermost last), each one's own
  // time so far, and the open masked stretch.
  static constexpr uint32_t kAccountedNesting = 8;
  std::array<InterruptFigures, kAccountedEvents> m_figures{};
  std::array<uint32_t, kAccountedNesting> m_accountEvents{};
  std::array<Nanos, kAccountedNesting> m_accountOwn{};
  uint32_t m_accountDepth = 0;
  Nanos m_accountSince = 0;
  bool m_bMaskTimed = false;
  Nanos m_maskedSince = 0;
  int32_t m_maskedEvent = -1;
  MaskedStretch m_longestMasked;
  int32_t CurrentAccountEvent() const {
    return m_accountDepth == 0 || m_accountDepth > kAccountedNesting
               ? -1
               : static_cast<int32_t>(m_accountEvents[m_accountDepth - 1]);
  }
};

}  // namespace sim
