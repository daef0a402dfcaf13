/* The Win32 types and functions that the host library, the updater and the
 * outside-library stand-ins use, provided on POSIX by libbomwin32.
 *
 * Host code includes this header exactly as it would on Windows. Only the
 * subset this system calls is here; every function keeps its Windows
 * contract (return values, GetLastError codes), and where the contract
 * leaves room the choice is written next to the declaration. The named
 * extensions that have no Windows counterpart (test clock, handle kinds,
 * device-change broadcast, console clear) are in win32_ext.h.
 */
#ifndef BOM_WIN32_WINDOWS_H
#define BOM_WIN32_WINDOWS_H

#if defined(_WIN32)
#error "this windows.h stands in for the platform's own on POSIX only"
#endif

#include <stddef.h>
#include <stdint.h>

/* Calling conventions: __stdcall on Windows, nothing here. */
#ifndef WINAPI
#define WINAPI
#endif
#ifndef CALLBACK
#define CALLBACK
#endif
#ifndef APIENTRY
#define APIENTRY
#endif
#ifndef __stdcall
#define __stdcall
#endif
#ifndef __cdecl
#define __cdecl
#endif

/* Only the exports are visible outside the library. */
#define W32_API __attribute__((visibility("default")))
#ifdef __cplusplus
#define W32_NOTHROW noexcept
#else
#define W32_NOTHROW
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Types, with the widths they have on Windows ---------------------- */

typedef int BOOL;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef int INT;
typedef unsigned int UINT;
typedef char CHAR;
typedef intptr_t INT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t UINT_PTR;
typedef uintptr_t ULONG_PTR;
typedef uintptr_t DWORD_PTR;
typedef size_t SIZE_T;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;

typedef void *LPVOID;
typedef const void *LPCVOID;
typedef char *LPSTR;
typedef const char *LPCSTR;
typedef BYTE *LPBYTE;
typedef DWORD *LPDWORD;
typedef LONG *PLONG;

typedef void *HANDLE;
typedef HANDLE *PHANDLE;
typedef HANDLE HGLOBAL;
typedef struct HWND__ *HWND;
typedef struct HINSTANCE__ *HINSTANCE;
typedef HINSTANCE HMODULE;
typedef struct HMENU__ *HMENU;
/* Windows declares the result type INT_PTR; a procedure address is only
 * ever cast to its real type, and void (*)(void) is the type GCC lets that
 * cast go without a warning. */
typedef void(WINAPI *FARPROC)(void);

#ifdef __cplusplus
#define W32_STATIC_ASSERT(c, m) static_assert(c, m)
#else
#define W32_STATIC_ASSERT(c, m) _Static_assert(c, m)
#endif
W32_STATIC_ASSERT(sizeof(DWORD) == 4 && sizeof(LONG) == 4 && sizeof(ULONG) == 4, "32-bit DWORD, LONG, ULONG");
W32_STATIC_ASSERT(sizeof(UINT) == 4 && sizeof(BOOL) == 4, "32-bit UINT and BOOL");
W32_STATIC_ASSERT(sizeof(WORD) == 2 && sizeof(BYTE) == 1, "16-bit WORD, 8-bit BYTE");
W32_STATIC_ASSERT(sizeof(WPARAM) == sizeof(void *) && sizeof(LPARAM) == sizeof(void *) &&
                      sizeof(LRESULT) == sizeof(void *) && sizeof(DWORD_PTR) == sizeof(void *),
                  "pointer-sized WPARAM, LPARAM, LRESULT, DWORD_PTR");

#ifndef FALSE
#define FALSE 0
#endif
#ifndef TRUE
#define TRUE 1
#endif

#define MAX_PATH 260
#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)

typedef struct _SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

/* Overlapped I/O is not offered; the type exists for the signatures. */
typedef struct _OVERLAPPED OVERLAPPED, *LPOVERLAPPED;

typedef struct _SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
} SYSTEMTIME, *LPSYSTEMTIME;

typedef struct tagPOINT {
  LONG x;
  LONG y;
} POINT;

typedef struct tagMSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
} MSG, *LPMSG;

/* A critical section here is plain data: all-zero bytes are a free section,
 * so one that was never initialised or was already deleted still works. */
typedef struct _RTL_CRITICAL_SECTION {
  uint64_t OwnerKey;    /* internal key of the owning thread, 0 = free */
  LONG RecursionCount;  /* entries by the owner not yet left */
  LONG WaiterCount;     /* threads waiting to enter */
  DWORD OwningThread;   /* thread id of the owner, for debugging */
  DWORD Reserved;
} CRITICAL_SECTION, *LPCRITICAL_SECTION;

/* ---- Constants ---------------------------------------------------------- */

#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0x00000000u
#define WAIT_ABANDONED 0x00000080u
#define WAIT_ABANDONED_0 0x00000080u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu
#define MAXIMUM_WAIT_OBJECTS 64
#define STILL_ACTIVE 259u
#define CREATE_SUSPENDED 0x00000004u

#define ERROR_SUCCESS 0u
#define NO_ERROR 0u
#define ERROR_INVALID_FUNCTION 1u
#define ERROR_FILE_NOT_FOUND 2u
#define ERROR_PATH_NOT_FOUND 3u
#define ERROR_TOO_MANY_OPEN_FILES 4u
#define ERROR_ACCESS_DENIED 5u
#define ERROR_INVALID_HANDLE 6u
#define ERROR_NOT_ENOUGH_MEMORY 8u
#define ERROR_OUTOFMEMORY 14u
#define ERROR_WRITE_FAULT 29u
#define ERROR_READ_FAULT 30u
#define ERROR_GEN_FAILURE 31u
#define ERROR_SHARING_VIOLATION 32u
#define ERROR_HANDLE_EOF 38u
#define ERROR_NOT_SUPPORTED 50u
#define ERROR_FILE_EXISTS 80u
#define ERROR_INVALID_PARAMETER 87u
#define ERROR_BROKEN_PIPE 109u
#define ERROR_DISK_FULL 112u
#define ERROR_INSUFFICIENT_BUFFER 122u
#define ERROR_INVALID_NAME 123u
#define ERROR_MOD_NOT_FOUND 126u
#define ERROR_PROC_NOT_FOUND 127u
#define ERROR_NEGATIVE_SEEK 131u
#define ERROR_DISCARDED 157u
#define ERROR_NOT_LOCKED 158u
#define ERROR_BUSY 170u
#define ERROR_ALREADY_EXISTS 183u
#define ERROR_BAD_EXE_FORMAT 193u
#define ERROR_FILENAME_EXCED_RANGE 206u
#define ERROR_NO_DATA 232u
#define ERROR_MORE_DATA 234u
#define ERROR_NOT_OWNER 288u
#define ERROR_OPERATION_ABORTED 995u
#define ERROR_INVALID_WINDOW_HANDLE 1400u
#define ERROR_CANNOT_FIND_WND_CLASS 1407u
#define ERROR_TIMEOUT 1460u

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define FILE_SHARE_DELETE 0x00000004u
#define CREATE_NEW 1u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define TRUNCATE_EXISTING 5u
#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_BEGIN 0u
#define FILE_CURRENT 1u
#define FILE_END 2u
#define INVALID_FILE_SIZE 0xFFFFFFFFu
#define INVALID_SET_FILE_POINTER 0xFFFFFFFFu

#define GMEM_FIXED 0x0000u
#define GMEM_MOVEABLE 0x0002u
#define GMEM_ZEROINIT 0x0040u
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)

#define GET_MODULE_HANDLE_EX_FLAG_PIN 0x00000001u
#define GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT 0x00000002u
#define GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS 0x00000004u

#define WM_NULL 0x0000u
#define WM_DEVICECHANGE 0x0219u
#define PM_NOREMOVE 0x0000u
#define PM_REMOVE 0x0001u
#define PM_NOYIELD 0x0002u
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOW 5
#define WS_VISIBLE 0x10000000u
#define CW_USEDEFAULT ((int)0x80000000)

/* ---- Errors ------------------------------------------------------------- */

W32_API DWORD WINAPI GetLastError(void) W32_NOTHROW;
W32_API void WINAPI SetLastError(DWORD dwErrCode) W32_NOTHROW;

/* ---- Handles ------------------------------------------------------------ */

/* FALSE with ERROR_INVALID_HANDLE for NULL, INVALID_HANDLE_VALUE and a
 * handle that was already closed. Closing a handle cancels the I/O that
 * other threads have pending on it (their ReadFile/WriteFile fail with
 * ERROR_OPERATION_ABORTED); the object goes away when the last use ends. */
W32_API BOOL WINAPI CloseHandle(HANDLE hObject) W32_NOTHROW;

/* ---- Critical sections (recursive, within the process) ----------------- */

W32_API void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection) W32_NOTHROW;
W32_API void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) W32_NOTHROW;
W32_API void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection) W32_NOTHROW;
W32_API void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection) W32_NOTHROW;

/* ---- Mutexes ------------------------------------------------------------ */

/* A named mutex is shared by every process of the user that names it; an
 * unnamed one is private to the process. Owned by a thread and recursive.
 * GetLastError is ERROR_ALREADY_EXISTS when the name existed (and then
 * bInitialOwner is ignored), ERROR_SUCCESS when it was created. */
W32_API HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner,
                                   LPCSTR lpName) W32_NOTHROW;
/* FALSE with ERROR_NOT_OWNER when the calling thread does not own it. */
W32_API BOOL WINAPI ReleaseMutex(HANDLE hMutex) W32_NOTHROW;

/* ---- Waits -------------------------------------------------------------- */

/* Thread handles (signalled when the thread has ended), mutexes
 * (WAIT_ABANDONED when the owner thread or its process ended while holding
 * it; the caller then owns it) and handles of registered kinds that offer a
 * wait. Time-outs run on the process clock (see win32_ext.h). */
W32_API DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) W32_NOTHROW;
/* Thread handles only (WAIT_FAILED with ERROR_INVALID_PARAMETER otherwise). */
W32_API DWORD WINAPI WaitForMultipleObjects(DWORD nCount, const HANDLE *lpHandles, BOOL bWaitAll,
                                            DWORD dwMilliseconds) W32_NOTHROW;
W32_API void WINAPI Sleep(DWORD dwMilliseconds) W32_NOTHROW;
/* Milliseconds on the process clock, wrapping at 2^32. */
W32_API DWORD WINAPI GetTickCount(void) W32_NOTHROW;
W32_API void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime) W32_NOTHROW;

/* ---- Threads (start them with _beginthread/_beginthreadex, process.h) --- */

W32_API BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) W32_NOTHROW;
/* Cancels the thread's pending I/O on registered handles, makes every later
 * blocking call of that thread fail at once, and returns when the thread
 * has ended. Its exit code becomes dwExitCode. A thread that does not end
 * within five seconds after that ends the process with a diagnostic, so a
 * worker can never outlive the objects it uses. */
W32_API BOOL WINAPI TerminateThread(HANDLE hThread, DWORD dwExitCode) W32_NOTHROW;
W32_API DWORD WINAPI GetCurrentThreadId(void) W32_NOTHROW;
W32_API DWORD WINAPI GetCurrentProcessId(void) W32_NOTHROW;

/* ---- Files -------------------------------------------------------------- */

/* Paths may use '\' as separator. Share modes are accepted but not
 * enforced. A directory cannot be opened (ERROR_ACCESS_DENIED). */
W32_API HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                                  LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                                  DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) W32_NOTHROW;
/* Synchronous only: lpOverlapped must be NULL and lpNumberOf... non-NULL. */
W32_API BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                             LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) W32_NOTHROW;
W32_API BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                              LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) W32_NOTHROW;
W32_API DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) W32_NOTHROW;
W32_API DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                                    DWORD dwMoveMethod) W32_NOTHROW;
W32_API DWORD WINAPI GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer) W32_NOTHROW;

/* ---- Global memory ------------------------------------------------------ */

W32_API HGLOBAL WINAPI GlobalAlloc(UINT uFlags, SIZE_T dwBytes) W32_NOTHROW;
W32_API LPVOID WINAPI GlobalLock(HGLOBAL hMem) W32_NOTHROW;
W32_API BOOL WINAPI GlobalUnlock(HGLOBAL hMem) W32_NOTHROW;
/* NULL on success; the handle itself (ERROR_INVALID_HANDLE) for one that is
 * not a live block, so a double free is reported instead of corrupting. */
W32_API HGLOBAL WINAPI GlobalFree(HGLOBAL hMem) W32_NOTHROW;

/* ---- Profile (ini) files ------------------------------------------------ */

/* Windows semantics: case-insensitive sections and keys, blanks around keys
 * and values trimmed, one pair of surrounding quotes removed, lines starting
 * with ';' ignored, truncation with the return counts nSize-1 (a value) and
 * nSize-2 (a list of sections or keys, lpAppName or lpKeyName NULL). A file
 * name without a directory is taken in the current directory. */
W32_API DWORD WINAPI GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                                              LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName) W32_NOTHROW;
/* Leading decimal digits with an optional sign (0 when there are none),
 * saturated to the 32-bit range; nDefault when the key or its value is
 * missing. */
W32_API UINT WINAPI GetPrivateProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, INT nDefault,
                                          LPCSTR lpFileName) W32_NOTHROW;

/* ---- Dynamic loading ---------------------------------------------------- */

/* "X.dll" (or "X") loads libX.so, searched in the directory of the module
 * that calls, then the executable's directory, then the loader's path. A
 * name that includes a directory is loaded from that directory only. */
W32_API HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName) W32_NOTHROW;
W32_API FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) W32_NOTHROW;
/* FALSE with ERROR_INVALID_HANDLE for a module not loaded by LoadLibraryA. */
W32_API BOOL WINAPI FreeLibrary(HMODULE hLibModule) W32_NOTHROW;
W32_API HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) W32_NOTHROW;
/* FROM_ADDRESS and UNCHANGED_REFCOUNT are supported. */
W32_API BOOL WINAPI GetModuleHandleExA(DWORD dwFlags, LPCSTR lpModuleName, HMODULE *phModule) W32_NOTHROW;
/* The module's path uses '/' separators. */
W32_API DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) W32_NOTHROW;

/* ---- Hidden windows and their messages ---------------------------------- */

/* Only the "STATIC" class; nothing is displayed. A window belongs to the
 * thread that created it, which receives its messages, and it is destroyed
 * when that thread ends. */
W32_API HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int X,
                                    int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                                    HINSTANCE hInstance, LPVOID lpParam) W32_NOTHROW;
#define CreateWindowA(lpClassName, lpWindowName, dwStyle, x, y, nWidth, nHeight, hWndParent, hMenu, hInstance, \
                      lpParam)                                                                                  \
  CreateWindowExA(0, lpClassName, lpWindowName, dwStyle, x, y, nWidth, nHeight, hWndParent, hMenu, hInstance,  \
                  lpParam)
W32_API BOOL WINAPI DestroyWindow(HWND hWnd) W32_NOTHROW;
W32_API BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) W32_NOTHROW;
W32_API BOOL WINAPI UpdateWindow(HWND hWnd) W32_NOTHROW;
/* Takes the calling thread's messages (for hWnd, or any of its windows when
 * hWnd is NULL) in the order they were posted. Never blocks. */
W32_API BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax,
                                 UINT wRemoveMsg) W32_NOTHROW;

#ifdef __cplusplus
}
#endif

#endif /* BOM_WIN32_WINDOWS_H */
