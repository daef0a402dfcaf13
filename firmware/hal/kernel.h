// The real-time kernel's services as the firmware sees them: the µITRON 4.0
// subset this firmware uses, its fixed-width types, the system log and the
// static kernel configuration that the firmware supplies.
//
// Declared as C++ functions (never extern "C"), so that the kernel's
// `syslog` cannot collide with the C library's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

// ---- Fixed-width kernel types (32-bit on the target and here) -------------
using ER = int32_t;       // error code
using ID = int32_t;       // object id
using PRI = int32_t;      // priority
using ATR = uint32_t;     // object attribute
using STAT = uint32_t;    // object state
using SYSTIM = uint32_t;  // system time, ms
using RELTIM = uint32_t;  // relative time, ms
using TMO = int32_t;      // time-out, ms
using BOOL = int32_t;
using INHNO = uint32_t;   // interrupt handler number
using EXCNO = uint32_t;   // CPU exception number
using VP = void*;
using VP_INT = intptr_t;  // extended information, log arguments
using TEXPTN = uint32_t;  // task exception pattern

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

// ---- Error codes -----------------------------------------------------------
constexpr ER E_OK = 0;
constexpr ER E_SYS = -5;
constexpr ER E_NOSPT = -9;
constexpr ER E_RSFN = -10;
constexpr ER E_RSATR = -11;
constexpr ER E_PAR = -17;
constexpr ER E_ID = -18;
constexpr ER E_CTX = -25;
constexpr ER E_MACV = -26;
constexpr ER E_OACV = -27;
constexpr ER E_ILUSE = -28;
constexpr ER E_NOMEM = -33;
constexpr ER E_NOID = -34;
constexpr ER E_OBJ = -41;
constexpr ER E_NOEXS = -42;
constexpr ER E_QOVR = -43;
constexpr ER E_RLWAI = -49;
constexpr ER E_TMOUT = -50;
constexpr ER E_DLT = -51;
constexpr ER E_CLS = -52;
constexpr ER E_WBLK = -57;
constexpr ER E_BOVR = -58;

// ---- Attributes and special ids -------------------------------------------
constexpr ATR TA_NULL = 0x00;
constexpr ATR TA_HLNG = 0x00;   // high-level-language entry
constexpr ATR TA_ACT = 0x02;    // task active at start
constexpr ATR TA_TFIFO = 0x00;  // waiters queued in arrival order
constexpr ATR TA_TPRI = 0x01;   // waiters queued by task priority
constexpr ID TSK_SELF = 0;
constexpr ID TSK_NONE = 0;
constexpr PRI TPRI_INI = 0;
constexpr TMO TMO_POL = 0;
constexpr TMO TMO_FEVR = -1;

// ---- System log priorities -------------------------------------------------
constexpr uint32_t LOG_EMERG = 0;
constexpr uint32_t LOG_ALERT = 1;
constexpr uint32_t LOG_CRIT = 2;
constexpr uint32_t LOG_ERROR = 3;
constexpr uint32_t LOG_WARNING = 4;
constexpr uint32_t LOG_NOTICE = 5;
constexpr uint32_t LOG_INFO = 6;
constexpr uint32_t LOG_DEBUG = 7;
constexpr uint32_t LOG_MASK(uint32_t prio) { return 1u << prio; }
constexpr uint32_t LOG_UPTO(uint32_t prio) { return (1u << (prio + 1)) - 1; }

// ---- Service calls -----------------------------------------------------------
ER act_tsk(ID tskid);
void ext_tsk();
ER chg_pri(ID tskid, PRI tskpri);
ER dly_tsk(RELTIM dlytim);
ER wai_sem(ID semid);
ER pol_sem(ID semid);
ER sig_sem(ID semid);
ER isig_sem(ID semid);
ER get_tim(SYSTIM* p_systim);
ER get_tid(ID* p_tskid);
ER iget_tid(ID* p_tskid);
ER iras_tex(ID tskid, TEXPTN rasptn);
BOOL sns_ctx();
BOOL sns_loc();
BOOL sns_dsp();
BOOL sns_dpn();
BOOL vxsns_ctx(VP p_excinf);
BOOL vxsns_loc(VP p_excinf);
BOOL vxsns_dsp(VP p_excinf);
BOOL vxsns_dpn(VP p_excinf);
ER vmsk_log(uint32_t logmask, uint32_t lowmask);
[[noreturn]] void kernel_exit();

// The kernel's name of an error code ("E_OBJ"), for log lines.
const char* itron_strerror(ER ercd);

// ---- System log ----------------------------------------------------------------
// A log record keeps its format and up to six arguments, each stored as an
// intptr_t, as the kernel's log records do; the format is expanded when the
// record is printed. Arguments are integers, enums or pointers.
constexpr uint32_t kSyslogMaxArgs = 6;

ER syslog_write(uint32_t prio, const char* format, const VP_INT* args, uint32_t count);

namespace hal_detail {
template <class T>
inline VP_INT ToLogArg(T value) {
  static_assert(!std::is_floating_point_v<T>, "the system log has no floating-point arguments");
  if constexpr (std::is_pointer_v<T> || std::is_null_pointer_v<T>) {
    return reinterpret_cast<VP_INT>(value);
  } else if constexpr (std::is_enum_v<T>) {
    return static_cast<VP_INT>(value);
  } else if constexpr (std::is_signed_v<T>) {
    return static_cast<VP_INT>(value);
  } else {
    return static_cast<VP_INT>(static_cast<uintptr_t>(value));
  }
}
}  // namespace hal_detail

template <class... Args>
inline ER syslog(uint32_t prio, const char* format, Args... args) {
  static_assert(sizeof...(Args) <= kSyslogMaxArgs, "a log record holds at most six arguments");
  if constexpr (sizeof...(Args) == 0) {
    return syslog_write(prio, format, nullptr, 0);
  } else {
    const VP_INT aArgs[] = {hal_detail::ToLogArg(args)...};
    return syslog_write(prio, format, aArgs, sizeof...(Args));
  }
}

// ---- Static kernel configuration ---------------------------------------------
// The firmware describes its kernel objects as constant tables; the kernel
// creates them before the first dispatch. Nothing is created at run time.
using TaskEntry = void (*)(VP_INT exinf);
using InterruptHandler = void (*)();
using ExceptionHandler = void (*)(VP p_excinf);

struct TaskConfig {
  ID tskid;
  const char* name;
  ATR tskatr;
  VP_INT exinf;
  TaskEntry task;
  PRI itskpri;
  uint32_t stksz;
};

struct SemaphoreConfig {
  ID semid;
  ATR sematr;
  uint32_t isemcnt;
  uint32_t maxsem;
};

// The handler number carries the interrupt controller's host channel in its
// upper half-word and the system event in its lower half-word.
struct InterruptConfig {
  INHNO inhno;
  InterruptHandler inthdr;
};

struct ExceptionConfig {
  EXCNO excno;
  ExceptionHandler exchdr;
};

struct KernelConfiguration {
  const TaskConfig* pTasks;
  uint32_t ulTaskCount;
  const SemaphoreConfig* pSemaphores;
  uint32_t ulSemaphoreCount;
  const InterruptConfig* pInterrupts;
  uint32_t ulInterruptCount;
  const ExceptionConfig* pExceptions;
  uint32_t ulExceptionCount;
};

constexpr uint32_t InterruptChannel(INHNO inhno) { return inhno >> 16; }
constexpr uint32_t InterruptEvent(INHNO inhno) { return inhno & 0xFFFFu; }

// CPU exception numbers of the ARM core.
constexpr EXCNO EXC_UNDEF = 1;
constexpr EXCNO EXC_SWI = 2;
constexpr EXCNO EXC_PREFETCH = 3;
constexpr EXCNO EXC_DATA_ABORT = 4;

// Handlers that belong to the kernel itself: the 1 ms system tick and the
// console serial driver. The firmware's configuration attaches them.
void timer_handler();
void sio_handler();

// The firmware's kernel configuration (its configuration unit defines it).
extern const KernelConfiguration g_KernelConfiguration;
