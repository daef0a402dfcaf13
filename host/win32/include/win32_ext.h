/* Named extensions of libbomwin32 that Windows does not have: the
 * replaceable process clock, handle kinds of our own, the device-change
 * broadcast and the console clear.
 */
#ifndef BOM_WIN32_EXT_H
#define BOM_WIN32_EXT_H

#include "windows.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- The process clock ---------------------------------------------------
 *
 * GetTickCount, Sleep, every wait time-out and the time stamps of messages
 * read one clock per process. By default it is the real monotonic clock.
 * A test installs a virtual clock instead: time then stands still while any
 * thread of ours runs, and moves only when every such thread is blocked in
 * one of our waits, straight to the earliest time-out among them. Sleep(500)
 * or a 500 ms time-out thus costs no real time and ends at exactly +500 ms.
 *
 * Threads started with _beginthread/_beginthreadex and the thread that
 * installed the clock are counted; any other thread counts only while it
 * waits. Registered handle kinds block through W32X_WaitFd so that a
 * reader waiting for data is seen as waiting.
 *
 * The virtual clock ends the process with a diagnostic, instead of hanging,
 * when every thread waits with no time-out and nothing can wake any of
 * them; when every thread waits on something outside the process (a
 * descriptor, another process's mutex) and nothing happened for the stall
 * limit of real time; and when virtual time would pass its limit (a loop
 * that keeps sleeping while the thing it waits for never comes).
 */
typedef struct W32X_VIRTUAL_CLOCK {
  uint64_t startMs;      /* clock value at installation; GetTickCount shows its low 32 bits */
  uint64_t limitMs;      /* virtual time allowed after installation; 0 = one hour */
  DWORD stallLimitMs;    /* real time allowed with every thread stuck on the outside; 0 = 10 s */
} W32X_VIRTUAL_CLOCK;

/* Installs a virtual clock (NULL: start at 0 with the default limits). The
 * calling thread is counted until W32X_UseRealClock or its end. FALSE with
 * ERROR_BUSY while another thread waits. */
W32_API BOOL W32X_UseVirtualClock(const W32X_VIRTUAL_CLOCK *settings) W32_NOTHROW;
/* Back to the real clock. FALSE with ERROR_BUSY while another thread waits. */
W32_API BOOL W32X_UseRealClock(void) W32_NOTHROW;
/* The process clock in milliseconds, 64 bits wide. */
W32_API uint64_t W32X_ClockNow(void) W32_NOTHROW;

/* ---- Handle kinds ---------------------------------------------------------
 *
 * Any module can put objects of its own behind HANDLEs, so that ReadFile,
 * WriteFile, WaitForSingleObject and CloseHandle reach them. The kind is a
 * static table of operations; its address identifies the kind. Read and
 * Write report their failures through SetLastError. An operation that has
 * to block should do it through W32X_WaitFd, which makes the block visible
 * to the virtual clock and lets TerminateThread and CloseHandle cancel it;
 * a kind that blocks some other way gives a CancelIo that makes the
 * blocked operation return.
 */
typedef struct W32X_HANDLE_KIND {
  const char *name;  /* shown in diagnostics */
  BOOL (*Read)(void *object, void *buffer, DWORD bytes, DWORD *done);
  BOOL (*Write)(void *object, const void *buffer, DWORD bytes, DWORD *done);
  /* Optional: wake the operations pending on the object. */
  void (*CancelIo)(void *object);
  /* Optional: WaitForSingleObject on the handle. */
  DWORD (*Wait)(void *object, DWORD milliseconds);
  /* Called once, after CloseHandle, when no operation uses the object. */
  void (*Close)(void *object);
} W32X_HANDLE_KIND;

/* A new handle for the object, or NULL (the object then stays the
 * caller's, Close is not called). */
W32_API HANDLE W32X_CreateHandle(const W32X_HANDLE_KIND *kind, void *object) W32_NOTHROW;
/* The object behind an open handle of that kind, else NULL. */
W32_API void *W32X_GetHandleObject(HANDLE handle, const W32X_HANDLE_KIND *kind) W32_NOTHROW;
/* Blocks until the descriptor reports one of the poll(2) events (or an
 * error or hang-up): WAIT_OBJECT_0; WAIT_TIMEOUT after the time-out on the
 * process clock; WAIT_FAILED with ERROR_OPERATION_ABORTED when the calling
 * thread's pending I/O was cancelled (TerminateThread, or CloseHandle of the
 * handle whose operation is running). */
W32_API DWORD W32X_WaitFd(int fd, short events, DWORD milliseconds) W32_NOTHROW;

/* ---- Device-change broadcast ----------------------------------------------
 *
 * Posts WM_DEVICECHANGE with the event (DBT_DEVNODES_CHANGED,
 * DBT_DEVICEARRIVAL, ...) as wParam and 0 as lParam to every window of the
 * process, as Windows does when the device tree changes. Returns the number
 * of windows reached.
 */
W32_API DWORD W32X_BroadcastDeviceChange(WPARAM event) W32_NOTHROW;

/* ---- Console --------------------------------------------------------------
 *
 * Clears the console and homes the cursor, the updater's "cls". Does
 * nothing when standard output is not a terminal, so captured output
 * carries no control sequences.
 */
W32_API void W32X_ClearConsole(void) W32_NOTHROW;

#ifdef __cplusplus
}
#endif

#endif /* BOM_WIN32_EXT_H */
