#include "firmware/platform/sftprn.h"

#include "firmware/control/app_startup.h"
#include "firmware/devices/machine_definition.h"
#include "firmware/hal/board.h"
#include "firmware/hostif/host_command_interface.h"
#include "firmware/platform/address_windows.h"
#include "firmware/platform/static_constructors.h"

uint32_t g_ulAppFinished;

namespace {
// Records of priorities 0 to 6 go to the log buffer; priority 0 is also
// printed at once on the console; priority 7 is dropped.
constexpr uint32_t kLogMask = LOG_UPTO(LOG_INFO);
constexpr uint32_t kLogLowMask = LOG_UPTO(LOG_EMERG);
constexpr TEXPTN kAbortExceptionPattern = 0x8000;
}  // namespace

void MainTask(VP_INT exinf) {
  vmsk_log(kLogMask, kLogLowMask);
  syslog(LOG_ALERT, "Sample program starts (exinf = %d).", exinf);
  BoardStartUsCounter();
  InitDeviceWindows();
  RunStaticConstructors();
  act_tsk(APP_TASK);
  // From here on MainTask runs only when no other task is ready: that is
  // the moment the application and the USB task have ended.
  chg_pri(TSK_SELF, MAIN_TASK_IDLE_PRIORITY);
  syslog(LOG_EMERG, "all task is terminated");
  kernel_exit();
}

void AppTask(VP_INT /*exinf*/) {
  syslog(LOG_EMERG, "APP Task is active.\n");
  g_ulAppFinished = 0;
  act_tsk(USB_TASK);  // the USB task has the higher priority and runs its first pass at once
  if (BoardApplicationEntry pfnEntry = BoardApplicationOverride(); pfnEntry != nullptr) {
    pfnEntry();
  } else {
    AppTaskMain();
  }
  syslog(LOG_EMERG, "APP fin\n");
  g_ulAppFinished = 1;
  ext_tsk();
}

void UsbTask(VP_INT /*exinf*/) {
  syslog(LOG_EMERG, "USB Task is active.\n");
  while (g_ulAppFinished == 0) {
    UsbPoll();
    dly_tsk(USB_TASK_PERIOD_MS);
  }
  syslog(LOG_EMERG, "USB fin\n");
  ext_tsk();
}

void CpuExceptionHandler(VP p_excinf) {
  syslog(LOG_EMERG, "CPU exception handler (p_excinf = %08p).", p_excinf);
  if (sns_ctx() != TRUE) syslog(LOG_WARNING, "sns_ctx() is not TRUE in CPU exception handler.");
  if (sns_dpn() != TRUE) syslog(LOG_WARNING, "sns_dpn() is not TRUE in CPU exception handler.");
  syslog(LOG_DEBUG, "sns_loc = %d sns_dsp = %d", sns_loc(), sns_dsp());
  syslog(LOG_DEBUG, "vxsns_loc = %d vxsns_ctx = %d vxsns_dsp = %d vxsns_dpn = %d", vxsns_loc(p_excinf),
         vxsns_ctx(p_excinf), vxsns_dsp(p_excinf), vxsns_dpn(p_excinf));
  if (!vxsns_loc(p_excinf) && !vxsns_ctx(p_excinf)) {
    // A task was interrupted with the CPU unlocked: raise its task
    // exception. No task defines an exception routine, so the raise is
    // refused and logged, and the task goes on.
    ID tskid = TSK_NONE;
    ReportServiceError("sftprn", 37, "iget_tid(&tskid)", iget_tid(&tskid));
    ReportServiceError("sftprn", 38, "iras_tex(tskid, 0x8000)", iras_tex(tskid, kAbortExceptionPattern));
    return;
  }
  syslog(LOG_NOTICE, "Sample program ends with exception.");
  kernel_exit();
}

void Uart2Handler() {}

ER ReportServiceError(const char* pszFile, int32_t lLine, const char* pszExpr, ER ercd) {
  if (ercd < 0) {
    syslog(LOG_ERROR, "%s reported by `%s' in line %d of `%s'.", itron_strerror(ercd), pszExpr, lLine, pszFile);
  }
  return ercd;
}
