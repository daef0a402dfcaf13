/* BOM7300upgrade: the printer-access library of the ORVIK M7300.
 *
 * The exported interface. A thread calls kt_open before anything else and
 * kt_close at the end; each call reports an unsigned 16-bit HostResultCode
 * (host_result_codes.h) through its last pointer argument when that pointer
 * is not null. The library copies into the caller's buffers with the sizes
 * given here and never keeps a pointer to them.
 *
 * Built so far: set-up and tear-down, discovery and selection, and the
 * status. The information, action, update and raw-access families keep
 * their ordinals in BOM7300upgrade.def and are declared here when they are
 * built.
 */
#ifndef BOM7300UPGRADE_H
#define BOM7300UPGRADE_H

#include <stdint.h>

/* The standard Windows calling convention on Windows, nothing here. */
#if defined(_WIN32)
#define KT_CALL __stdcall
#define KT_API
#else
#define KT_CALL
#define KT_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
#define KT_NOTHROW noexcept
extern "C" {
#else
#define KT_NOTHROW
#endif

/* Bytes of the list buffers. */
#define KT_PRINTER_LIST_SIZE 128
#define KT_SERIAL_LIST_SIZE 1024
#define KT_SERIAL_LENGTH 8
/* kt_selectPrinter: "the selected printer" and "no printer". */
#define KT_NO_PRINTER 255

/* Opens (the first time: creates) the sessions and registers the calling
 * thread in a free session slot. The first call of the process loads
 * BOM7300UsbCtrl and BOM7300ColorMatch, enumerates the printers and selects
 * the first. 1, or 0 with the code in *err. */
KT_API int KT_CALL kt_open(uint16_t *err) KT_NOTHROW;

/* Unregisters the calling thread. When no thread remains registered, every
 * session is destroyed, every printer closed and the device-change watcher
 * stopped. */
KT_API void KT_CALL kt_close(void) KT_NOTHROW;

/* Fills the 128 bytes with 0xFF, then writes the device number of every
 * printer found, one per byte. Returns the number of printers. */
KT_API int16_t KT_CALL kt_listupPrinter(uint8_t numbers[KT_PRINTER_LIST_SIZE]) KT_NOTHROW;

/* Fills the 1024 bytes with 0xFF, then writes the 8-character serial number
 * of every printer found, printer i at byte 8 x i, not terminated. Returns
 * the number of printers (0 when there is none, or 128 or more). */
KT_API int16_t KT_CALL kt_listupPrinterSN(char serials[KT_SERIAL_LIST_SIZE]) KT_NOTHROW;

/* Selects printer `number` for the calling thread's session; 255 asks which
 * one is selected. Returns the selected number, or 255 with the code. */
KT_API uint8_t KT_CALL kt_selectPrinter(uint8_t number, uint16_t *err) KT_NOTHROW;

/* Selects the printer with this serial number (null: keeps the current one
 * and refreshes its serial). Returns the session's 8-character selected
 * serial (not terminated; valid until the last kt_close), or null when the
 * calling thread has no session. */
KT_API char *KT_CALL kt_selectPrinterSN(const char serial[KT_SERIAL_LENGTH], uint16_t *err) KT_NOTHROW;

/* Asks the selected printer for its status: 1 when it is ready or printing
 * (the code then tells the printing state), 0 with the code otherwise. */
KT_API int KT_CALL kt_status(uint16_t *err) KT_NOTHROW;

/* 1 when the selected printer carries this model's USB identity; no USB
 * traffic. */
KT_API int KT_CALL kt_GetModelName(uint16_t *err) KT_NOTHROW;

#ifdef __cplusplus
}
#endif

#endif /* BOM7300UPGRADE_H */
