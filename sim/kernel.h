// The real-time kernel of the virtual board: the µITRON 4.0 subset the
// firmware uses, created from the firmware's static configuration. Tasks run
// on the CPU's fibers; the 1 ms system tick is interrupt 21 and the kernel's
// time counts serviced ticks.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "firmware/hal/kernel.h"
#include "sim/bus.h"
#include "sim/clock.h"

namespace sim {

class Board;
class Fiber;

// A record of the system log as the kernel formatted it.
struct LogRecord {
  uint32_t prio;
  std::string text;
  Nanos at;
};

// What the kernel hands to a CPU exception handler as p_excinf. It lies in
// low RAM at a fixed address, as the exception stack does on the target.
struct ExceptionContext {
  uint32_t excno;
  uint32_t faultAddress;
  uint32_t bWrite;
  uint32_t bCpuLocked;
  uint32_t bTaskContext;
  uint32_t bDispatchDisabled;
  int32_t taskId;
};
constexpr PhysAddr kExceptionContextAddr = 0x00FFF000u;

class Kernel {
 public:
  static constexpr uint32_t kLogBufferRecords = 32;

  explicit Kernel(Board& board);

  // Creates the configured objects and makes the TA_ACT tasks ready.
  void Start(const KernelConfiguration& config);

  // ---- used by the CPU ----
  Fiber* SelectNext();
  bool AnyReady() const;
  // Whether the running task must give way: it no longer runs, or a task
  // of higher priority is ready. Worked out again only after a task's
  // state or priority or the running task changed.
  bool ShouldPreempt() const {
    if (!m_bPreemptKnown) {
      m_bPreempt = PreemptionDue();
      m_bPreemptKnown = true;
    }
    return m_bPreempt;
  }
  InterruptHandler HandlerOf(uint32_t event) const;
  ExceptionHandler ExceptionHandlerOf(EXCNO excno) const;
  void Tick();

  // ---- service calls (names as the kernel's) ----
  ER ActTsk(ID tskid);
  [[noreturn]] void ExtTsk();
  ER ChgPri(ID tskid, PRI tskpri);
  ER DlyTsk(RELTIM dlytim);
  ER WaiSem(ID semid, bool bPoll);
  ER SigSem(ID semid);
  ER GetTim(SYSTIM* p_systim);
  ER GetTid(ID* p_tskid, bool bInterruptSide);
  ER IrasTex(ID tskid, TEXPTN rasptn);
  BOOL SnsCtx() const;
  BOOL SnsLoc() const;
  BOOL SnsDsp() const { return FALSE; }
  BOOL SnsDpn() const;
  ER VmskLog(uint32_t logmask, uint32_t lowmask);
  ER Syslog(uint32_t prio, const char* format, const VP_INT* args, uint32_t count);
  [[noreturn]] void Exit();

  // A data abort at `addr`: runs the configured handler, or the kernel's
  // default entry, which logs and stops.
  void DataAbort(PhysAddr addr, bool bWrite);

  // ---- observation ----
  const std::vector<LogRecord>& History() const { return m_history; }
  const std::deque<LogRecord>& Buffer() const { return m_buffer; }
  uint32_t Ticks() const { return m_ticks; }
  ID CurrentTaskId() const { return m_current >= 0 ? m_tasks[static_cast<size_t>(m_current)].cfg->tskid : TSK_NONE; }
  const char* CurrentTaskName() const;
  bool IsDelayed(ID tskid) const;

  // A trace of which task the CPU switched to, and when; kept only when
  // asked for (tests), as it grows without end.
  struct Dispatch {
    Nanos at;
    ID task;
  };
  void TraceDispatches(bool bOn) { m_bTraceDispatch = bOn; }
  const std::vector<Dispatch>& Dispatches() const { return m_dispatches; }

 private:
  enum class TaskState : uint8_t { Dormant, Ready, Waiting };
  enum class WaitKind : uint8_t { None, Delay, Semaphore };
  struct Task {
    const TaskConfig* cfg;
    PRI pri;
    TaskState state;
    WaitKind wait;
    uint32_t wakeTick;
    ID semid;
    uint32_t actQueued;
    uint64_t readyOrder;
    bool bFresh;
  };
  struct Semaphore {
    const SemaphoreConfig* cfg;
    uint32_t count;
    std::vector<int> waiters;  // task indexes, in release order
  };

  int IndexOf(ID tskid) const;
  void MakeReady(int index, bool bAtHead = false);
  void Block(int index, WaitKind wait);
  bool PreemptionDue() const;
  void Schedule();  // dispatches at once when the caller may be preempted
  void PrintBuffer();

  Board& m_board;
  std::vector<Task> m_tasks;
  std::vector<Semaphore> m_sems;
  const KernelConfiguration* m_config = nullptr;
  int m_current = -1;
  uint64_t m_readySeq = 0;
  mutable bool m_bPreemptKnown = false;
  mutable bool m_bPreempt = false;
  uint32_t m_ticks = 0;
  uint32_t m_logMask = LOG_UPTO(LOG_NOTICE);
  uint32_t m_lowMask = LOG_UPTO(LOG_EMERG);
  std::deque<LogRecord> m_buffer;
  std::vector<LogRecord> m_history;
  bool m_bTraceDispatch = false;
  ID m_lastDispatched = TSK_NONE;
  std::vector<Dispatch> m_dispatches;
};

}  // namespace sim
