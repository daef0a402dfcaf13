/* Console input, as in the C runtime of Windows. */
#ifndef BOM_WIN32_CONIO_H
#define BOM_WIN32_CONIO_H

#include "windows.h"

#ifdef __cplusplus
extern "C" {
#endif

/* One byte from standard input, without echo when it is a terminal; EOF
 * (-1) at the end of the input instead of blocking for ever. */
W32_API int __cdecl _getch(void) W32_NOTHROW;

#ifdef __cplusplus
}
#endif

#endif /* BOM_WIN32_CONIO_H */
