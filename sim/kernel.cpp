#include "sim/kernel.h"

#include <algorithm>

#include "sim/board.h"
#include "sim/cpu.h"
#include "sim/syslog_format.h"

namespace sim {

Kernel::Kernel(Board& board) : m_board(board) {}

void Kernel::Start(const KernelConfiguration& config) {
  m_config = &config;
  m_tasks.clear();
  m_bPreemptKnown = false;
  for (uint32_t i = 0; i < config.ulTaskCount; ++i) {
    const TaskConfig& cfg = config.pTasks[i];
    m_tasks.push_back(Task{&cfg, cfg.itskpri, TaskState::Dormant, WaitKind::None, 0, 0, 0, 0, false});
  }
  for (uint32_t i = 0; i < config.ulSemaphoreCount; ++i) {
    const SemaphoreConfig& cfg = config.pSemaphores[i];
    m_sems.push_back(Semaphore{&cfg, cfg.isemcnt, {}});
  }
  for (uint32_t i = 0; i < config.ulInterruptCount; ++i) {
    const InterruptConfig& cfg = config.pInterrupts[i];
    m_board.Intc().Attach(InterruptEvent(cfg.inhno), InterruptChannel(cfg.inhno));
  }
  for (size_t i = 0; i < m_tasks.size(); ++i) {
    if ((m_tasks[i].cfg->tskatr & TA_ACT) != 0) MakeReady(static_cast<int>(i));
  }
}

int Kernel::IndexOf(ID tskid) const {
  if (tskid == TSK_SELF) return m_current;
  for (size_t i = 0; i < m_tasks.size(); ++i) {
    if (m_tasks[i].cfg->tskid == tskid) return static_cast<int>(i);
  }
  return -1;
}

const char* Kernel::CurrentTaskName() const {
  return m_current >= 0 ? m_tasks[static_cast<size_t>(m_current)].cfg->name : "(idle)";
}

bool Kernel::IsDelayed(ID tskid) const {
  const int index = IndexOf(tskid);
  return index >= 0 && m_tasks[static_cast<size_t>(index)].state == TaskState::Waiting &&
         m_tasks[static_cast<size_t>(index)].wait == WaitKind::Delay;
}

void Kernel::MakeReady(int index, bool bAtHead) {
  Task& t = m_tasks[static_cast<size_t>(index)];
  if (t.state == TaskState::Dormant) t.bFresh = true;
  t.state = TaskState::Ready;
  t.wait = WaitKind::None;
  m_bPreemptKnown = false;
  if (!bAtHead) t.readyOrder = ++m_readySeq;
}

void Kernel::Block(int index, WaitKind wait) {
  Task& t = m_tasks[static_cast<size_t>(index)];
  t.state = TaskState::Waiting;
  t.wait = wait;
  m_bPreemptKnown = false;
}

Fiber* Kernel::SelectNext() {
  int best = -1;
  for (size_t i = 0; i < m_tasks.size(); ++i) {
    const Task& t = m_tasks[i];
    if (t.state != TaskState::Ready) continue;
    if (best < 0) {
      best = static_cast<int>(i);
      continue;
    }
    const Task& b = m_tasks[static_cast<size_t>(best)];
    if (t.pri < b.pri || (t.pri == b.pri && t.readyOrder < b.readyOrder)) best = static_cast<int>(i);
  }
  m_current = best;
  m_bPreemptKnown = false;
  if (best < 0) {
    m_lastDispatched = TSK_NONE;
    return nullptr;
  }
  Task& t = m_tasks[static_cast<size_t>(best)];
  if (m_bTraceDispatch && t.cfg->tskid != m_lastDispatched) {
    m_dispatches.push_back(Dispatch{m_board.Clock().Now(), t.cfg->tskid});
  }
  m_lastDispatched = t.cfg->tskid;
  Fiber& fiber = m_board.GetCpu().TaskFiber(best, [this, best] {
    const TaskConfig* cfg = m_tasks[static_cast<size_t>(best)].cfg;
    cfg->task(cfg->exinf);
    ExtTsk();  // returning from a task entry ends the task
  });
  if (t.bFresh) {
    fiber.Restart();
    t.bFresh = false;
  }
  return &fiber;
}

bool Kernel::AnyReady() const {
  return std::any_of(m_tasks.begin(), m_tasks.end(), [](const Task& t) { return t.state == TaskState::Ready; });
}

bool Kernel::PreemptionDue() const {
  if (m_current < 0) return AnyReady();
  const Task& cur = m_tasks[static_cast<size_t>(m_current)];
  if (cur.state != TaskState::Ready) return true;
  for (size_t i = 0; i < m_tasks.size(); ++i) {
    if (static_cast<int>(i) != m_current && m_tasks[i].state == TaskState::Ready && m_tasks[i].pri < cur.pri) return true;
  }
  return false;
}

InterruptHandler Kernel::HandlerOf(uint32_t event) const {
  if (m_config == nullptr) return nullptr;
  for (uint32_t i = 0; i < m_config->ulInterruptCount; ++i) {
    if (InterruptEvent(m_config->pInterrupts[i].inhno) == event) return m_config->pInterrupts[i].inthdr;
  }
  return nullptr;
}

ExceptionHandler Kernel::ExceptionHandlerOf(EXCNO excno) const {
  if (m_config == nullptr) return nullptr;
  for (uint32_t i = 0; i < m_config->ulExceptionCount; ++i) {
    if (m_config->pExceptions[i].excno == excno) return m_config->pExceptions[i].exchdr;
  }
  return nullptr;
}

void Kernel::Tick() {
  ++m_ticks;
  for (size_t i = 0; i < m_tasks.size(); ++i) {
    Task& t = m_tasks[i];
    if (t.state == TaskState::Waiting && t.wait == WaitKind::Delay && static_cast<int32_t>(m_ticks - t.wakeTick) >= 0) {
      MakeReady(static_cast<int>(i));
    }
  }
}

ER Kernel::ActTsk(ID tskid) {
  if (m_board.GetCpu().InHandler()) return E_CTX;
  const int index = IndexOf(tskid);
  if (index < 0) return E_ID;
  Task& t = m_tasks[static_cast<size_t>(index)];
  if (t.state == TaskState::Dormant) {
    t.pri = t.cfg->itskpri;
    MakeReady(index);
    return E_OK;
  }
  if (t.actQueued >= 1) return E_QOVR;
  ++t.actQueued;
  return E_OK;
}

void Kernel::ExtTsk() {
  Cpu& cpu = m_board.GetCpu();
  if (m_current < 0 || cpu.InHandler()) {
    m_board.ReportFault("ext_tsk outside task context");
    cpu.Halt(RunState::Fault);
  }
  Task& t = m_tasks[static_cast<size_t>(m_current)];
  t.state = TaskState::Dormant;
  m_bPreemptKnown = false;
  if (t.actQueued > 0) {
    --t.actQueued;
    t.pri = t.cfg->itskpri;
    MakeReady(m_current);
  }
  cpu.ExitContext();
}

ER Kernel::ChgPri(ID tskid, PRI tskpri) {
  const int index = IndexOf(tskid);
  if (index < 0) return E_ID;
  Task& t = m_tasks[static_cast<size_t>(index)];
  if (t.state == TaskState::Dormant) return E_OBJ;
  t.pri = tskpri == TPRI_INI ? t.cfg->itskpri : tskpri;
  m_bPreemptKnown = false;
  // A task whose priority changes goes to the tail of its new priority.
  if (t.state == TaskState::Ready) t.readyOrder = ++m_readySeq;
  return E_OK;
}

ER Kernel::DlyTsk(RELTIM dlytim) {
  Cpu& cpu = m_board.GetCpu();
  if (m_current < 0 || cpu.InHandler()) return E_CTX;
  if (cpu.IrqMasked()) return E_CTX;
  Task& t = m_tasks[static_cast<size_t>(m_current)];
  // At least dlytim ms: the tick now running has partly passed already.
  t.wakeTick = m_ticks + dlytim + 1;
  Block(m_current, WaitKind::Delay);
  cpu.YieldToScheduler();
  return E_OK;
}

ER Kernel::WaiSem(ID semid, bool bPoll) {
  if (semid < 1 || static_cast<size_t>(semid) > m_sems.size()) return E_ID;
  Cpu& cpu = m_board.GetCpu();
  Semaphore& s = m_sems[static_cast<size_t>(semid - 1)];
  if (!bPoll && (m_current < 0 || cpu.InHandler() || cpu.IrqMasked())) return E_CTX;
  if (s.count > 0) {
    --s.count;
    return E_OK;
  }
  if (bPoll) return E_TMOUT;
  Task& t = m_tasks[static_cast<size_t>(m_current)];
  t.semid = semid;
  if ((s.cfg->sematr & TA_TPRI) != 0) {
    auto pos = std::find_if(s.waiters.begin(), s.waiters.end(),
                            [&](int w) { return m_tasks[static_cast<size_t>(w)].pri > t.pri; });
    s.waiters.insert(pos, m_current);
  } else {
    s.waiters.push_back(m_current);
  }
  Block(m_current, WaitKind::Semaphore);
  cpu.YieldToScheduler();
  return E_OK;
}

ER Kernel::SigSem(ID semid) {
  if (semid < 1 || static_cast<size_t>(semid) > m_sems.size()) return E_ID;
  Semaphore& s = m_sems[static_cast<size_t>(semid - 1)];
  if (!s.waiters.empty()) {
    const int w = s.waiters.front();
    s.waiters.erase(s.waiters.begin());
    MakeReady(w);
    return E_OK;
  }
  if (s.count >= s.cfg->maxsem) return E_QOVR;
  ++s.count;
  return E_OK;
}

ER Kernel::GetTim(SYSTIM* p_systim) {
  if (p_systim == nullptr) return E_PAR;
  *p_systim = m_ticks;
  return E_OK;
}

ER Kernel::GetTid(ID* p_tskid, bool bInterruptSide) {
  if (p_tskid == nullptr) return E_PAR;
  if (bInterruptSide != m_board.GetCpu().InHandler()) return E_CTX;
  *p_tskid = CurrentTaskId();
  return E_OK;
}

ER Kernel::IrasTex(ID tskid, TEXPTN rasptn) {
  if (!m_board.GetCpu().InHandler()) return E_CTX;
  if (rasptn == 0) return E_PAR;
  const int index = tskid == TSK_SELF ? -1 : IndexOf(tskid);
  if (index < 0) return E_ID;
  // No task of this system defines a task exception routine.
  return E_OBJ;
}

BOOL Kernel::SnsCtx() const { return m_board.GetCpu().InHandler() ? TRUE : FALSE; }

BOOL Kernel::SnsLoc() const { return m_board.GetCpu().IrqMasked() ? TRUE : FALSE; }

BOOL Kernel::SnsDpn() const { return (SnsCtx() || SnsLoc() || SnsDsp()) ? TRUE : FALSE; }

ER Kernel::VmskLog(uint32_t logmask, uint32_t lowmask) {
  m_logMask = logmask;
  m_lowMask = lowmask;
  return E_OK;
}

ER Kernel::Syslog(uint32_t prio, const char* format, const VP_INT* args, uint32_t count) {
  if (prio > LOG_DEBUG) return E_PAR;
  const bool bRecord = (m_logMask & LOG_MASK(prio)) != 0;
  const bool bPrint = (m_lowMask & LOG_MASK(prio)) != 0;
  if (!bRecord && !bPrint) return E_OK;
  LogRecord rec{prio, FormatLog(format, args, count, &m_board.GetBus()), m_board.Clock().Now()};
  if (bPrint) m_board.ConsoleLine(rec.text);
  if (bRecord) {
    if (m_buffer.size() == kLogBufferRecords) m_buffer.pop_front();
    m_buffer.push_back(rec);
  }
  m_history.push_back(std::move(rec));
  m_board.OnLogRecord();
  return E_OK;
}

void Kernel::PrintBuffer() {
  for (const LogRecord& rec : m_buffer) m_board.ConsoleLine(rec.text);
  m_buffer.clear();
}

void Kernel::Exit() {
  PrintBuffer();
  m_board.GetCpu().Halt(RunState::Ended);
}

void Kernel::DataAbort(PhysAddr addr, bool bWrite) {
  Cpu& cpu = m_board.GetCpu();
  m_board.RecordDataAbort(addr, bWrite);
  auto* ctx = reinterpret_cast<ExceptionContext*>(m_board.GetBus().RamPointer(kExceptionContextAddr, sizeof(ExceptionContext)));
  *ctx = ExceptionContext{EXC_DATA_ABORT, addr, bWrite ? 1u : 0u, cpu.IrqMasked() ? 1u : 0u,
                          (!cpu.InHandler() && m_current >= 0) ? 1u : 0u, 0u, CurrentTaskId()};
  const ExceptionHandler handler = ExceptionHandlerOf(EXC_DATA_ABORT);
  if (handler == nullptr) {
    Syslog(LOG_EMERG, "Unregistered Exception occurs. DATA ABORT", nullptr, 0);
    m_board.ReportFault("data abort with no exception handler");
    cpu.Halt(RunState::Fault);
  }
  // Abort mode is entered with interrupts masked.
  cpu.InHandlerContext([&] {
    cpu.SetIrqMasked(true);
    handler(ctx);
  });
}

}  // namespace sim
