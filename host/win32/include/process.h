/* Runtime-library thread start, as in the C runtime of Windows. */
#ifndef BOM_WIN32_PROCESS_H
#define BOM_WIN32_PROCESS_H

#include "windows.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Starts a thread; returns its handle, or (uintptr_t)-1 with errno set.
 * The handle closes itself when the thread ends, as on Windows: wait on it
 * only while the thread is known to run, or use _beginthreadex. */
W32_API uintptr_t __cdecl _beginthread(void(__cdecl *start_address)(void *), unsigned stack_size,
                                       void *arglist) W32_NOTHROW;
/* Starts a thread; returns its handle (close it with CloseHandle), or 0
 * with errno set. CREATE_SUSPENDED is not offered (EINVAL). */
W32_API uintptr_t __cdecl _beginthreadex(void *security, unsigned stack_size,
                                         unsigned(__stdcall *start_address)(void *), void *arglist,
                                         unsigned initflag, unsigned *thrdaddr) W32_NOTHROW;
/* Ends the calling thread with the exit code; the thread's C++ objects are
 * unwound on the way. */
W32_API void __cdecl _endthreadex(unsigned retval);

#ifdef __cplusplus
}
#endif

#endif /* BOM_WIN32_PROCESS_H */
