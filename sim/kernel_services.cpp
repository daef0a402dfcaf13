// The kernel's service calls as the firmware calls them. Each is a switch
// point of the CPU: the board catches up, the service runs, its cost passes,
// and a task of higher priority made ready by it runs at once.
#include "firmware/hal/kernel.h"
#include "sim/board.h"
#include "sim/costs.h"

namespace {

constexpr uintptr_t kKeySystemTime = 1;

template <class F>
auto Service(sim::Access kind, uintptr_t key, sim::Nanos cost, F&& fn) {
  sim::Board& board = sim::Board::Current();
  board.GetCpu().Begin(kind, key);
  auto result = fn(board.GetKernel());
  board.GetCpu().End(cost);
  return result;
}

template <class F>
auto Call(F&& fn) {
  return Service(sim::Access::Kernel, 0, sim::cost::kKernelCall, static_cast<F&&>(fn));
}

const sim::ExceptionContext& Context(VP p_excinf) { return *static_cast<const sim::ExceptionContext*>(p_excinf); }

}  // namespace

ER act_tsk(ID tskid) {
  return Call([&](sim::Kernel& k) { return k.ActTsk(tskid); });
}

void ext_tsk() {
  sim::Board& board = sim::Board::Current();
  board.GetCpu().Begin(sim::Access::Kernel, 0);
  board.GetKernel().ExtTsk();
}

ER chg_pri(ID tskid, PRI tskpri) {
  return Call([&](sim::Kernel& k) { return k.ChgPri(tskid, tskpri); });
}

ER dly_tsk(RELTIM dlytim) {
  return Call([&](sim::Kernel& k) { return k.DlyTsk(dlytim); });
}

ER wai_sem(ID semid) {
  return Call([&](sim::Kernel& k) { return k.WaiSem(semid, false); });
}

ER pol_sem(ID semid) {
  return Call([&](sim::Kernel& k) { return k.WaiSem(semid, true); });
}

ER sig_sem(ID semid) {
  return Call([&](sim::Kernel& k) { return k.SigSem(semid); });
}

ER isig_sem(ID semid) {
  return Call([&](sim::Kernel& k) { return k.SigSem(semid); });
}

ER get_tim(SYSTIM* p_systim) {
  return Service(sim::Access::Clock, kKeySystemTime, sim::cost::kClockRead,
                 [&](sim::Kernel& k) { return k.GetTim(p_systim); });
}

ER get_tid(ID* p_tskid) {
  return Call([&](sim::Kernel& k) { return k.GetTid(p_tskid, false); });
}

ER iget_tid(ID* p_tskid) {
  return Call([&](sim::Kernel& k) { return k.GetTid(p_tskid, true); });
}

ER iras_tex(ID tskid, TEXPTN rasptn) {
  return Call([&](sim::Kernel& k) { return k.IrasTex(tskid, rasptn); });
}

BOOL sns_ctx() {
  return Call([](sim::Kernel& k) { return k.SnsCtx(); });
}
BOOL sns_loc() {
  return Call([](sim::Kernel& k) { return k.SnsLoc(); });
}
BOOL sns_dsp() {
  return Call([](sim::Kernel& k) { return k.SnsDsp(); });
}
BOOL sns_dpn() {
  return Call([](sim::Kernel& k) { return k.SnsDpn(); });
}

BOOL vxsns_ctx(VP p_excinf) { return Context(p_excinf).bTaskContext ? FALSE : TRUE; }
BOOL vxsns_loc(VP p_excinf) { return Context(p_excinf).bCpuLocked ? TRUE : FALSE; }
BOOL vxsns_dsp(VP p_excinf) { return Context(p_excinf).bDispatchDisabled ? TRUE : FALSE; }
BOOL vxsns_dpn(VP p_excinf) {
  const sim::ExceptionContext& c = Context(p_excinf);
  return (!c.bTaskContext || c.bCpuLocked || c.bDispatchDisabled) ? TRUE : FALSE;
}

ER vmsk_log(uint32_t logmask, uint32_t lowmask) {
  return Call([&](sim::Kernel& k) { return k.VmskLog(logmask, lowmask); });
}

ER syslog_write(uint32_t prio, const char* format, const VP_INT* args, uint32_t count) {
  return Call([&](sim::Kernel& k) { return k.Syslog(prio, format, args, count); });
}

void kernel_exit() {
  sim::Board& board = sim::Board::Current();
  board.GetCpu().Begin(sim::Access::Kernel, 0);
  board.GetKernel().Exit();
}

void timer_handler() { sim::Board::Current().GetKernel().Tick(); }

// The console is written by the kernel directly; its receive interrupt has
// nothing to do on this board.
void sio_handler() {}

const char* itron_strerror(ER ercd) {
  switch (ercd) {
    case E_OK: return "E_OK";
    case E_SYS: return "E_SYS";
    case E_NOSPT: return "E_NOSPT";
    case E_RSFN: return "E_RSFN";
    case E_RSATR: return "E_RSATR";
    case E_PAR: return "E_PAR";
    case E_ID: return "E_ID";
    case E_CTX: return "E_CTX";
    case E_MACV: return "E_MACV";
    case E_OACV: return "E_OACV";
    case E_ILUSE: return "E_ILUSE";
    case E_NOMEM: return "E_NOMEM";
    case E_NOID: return "E_NOID";
    case E_OBJ: return "E_OBJ";
    case E_NOEXS: return "E_NOEXS";
    case E_QOVR: return "E_QOVR";
    case E_RLWAI: return "E_RLWAI";
    case E_TMOUT: return "E_TMOUT";
    case E_DLT: return "E_DLT";
    case E_CLS: return "E_CLS";
    case E_WBLK: return "E_WBLK";
    case E_BOVR: return "E_BOVR";
    default: return "unknown error";
  }
}
