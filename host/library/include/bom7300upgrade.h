/* BOM7300upgrade: the printer-access library of the ORVIK M7300.
 *
 * The exported interface. A thread calls kt_open before anything else and
 * kt_close at the end; each call reports an unsigned 16-bit HostResultCode
 * (host_result_codes.h) through its last pointer argument when that pointer
 * is not null. The library copies into the caller's buffers with the sizes
 * given here and never keeps a pointer to them.
 *
 * The exports by family: set-up and tear-down, discovery and selection,
 * the status and printer information, parameters, actions, raw access,
 * and the firmware and laminate uploads; their ordinals are kept in
 * BOM7300upgrade.def.
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

/* ---- Printer information ------------------------------------------------ */

/* Information types of kt_getPrinterInfo and kt_setPrinterInfo. */
#define PINFTAG_MEDIA 0            /* get 13 bytes; set: width, height (at least 10 bytes) */
#define PINFTAG_MODEL 2            /* get 54 bytes: vendor, product, model text; no USB traffic */
#define PINFTAG_ENGID 3            /* get the 153-byte firmware information */
#define PINFTAG_STATUS 4           /* get status bytes 0-61 */
#define PINFTAG_COUNTER 5          /* get 16 counter bytes */
#define PINFTAG_ERROR 7            /* get error class and detail (0, 0 unless in error) */
#define PINFTAG_UNITSTATUS 16      /* get 28 bytes of unit status */
#define PINFTAG_PRINTOPT_A 20      /* set: u16 print option A */
#define PINFTAG_SERIAL 26          /* get the selected serial (no USB traffic); set it (8 bytes) */
#define PINFTAG_PRINTOPT_B 30      /* set: u8 print option B */
#define PINFTAG_ERRLOG 50          /* get 61 bytes of error log */
#define PINFTAG_STATUS_EXT 60      /* get status bytes 81-90 */
#define PINFTAG_LAMISTRING 80      /* set: u16 x, u16 y, u8, u8, u8 length, text; at most 12 */
#define PINFTAG_PARAM_11 200       /* parameters: get 4 bytes, set the width below */
#define PINFTAG_PARAM_41 201       /* u16 */
#define PINFTAG_PARAM_42 202       /* u16 */
#define PINFTAG_PARAM_43 203       /* u16 */
#define PINFTAG_PARAM_81 204       /* i8 */
#define PINFTAG_PARAM_82 205       /* i8 */
#define PINFTAG_PARAM_83 206       /* i8 */
#define PINFTAG_PARAM_91 207       /* u16 */
#define PINFTAG_PARAM_92 208       /* u16 */
#define PINFTAG_PARAM_93 209       /* u16 */
#define PINFTAG_PARAM_F1 210       /* u32 */
#define PINFTAG_PARAM_F2 211       /* u32 */
#define PINFTAG_PARAM_F3 212       /* u32 */
#define PINFTAG_PARAM_F4 213       /* u32 */
#define PINFTAG_PARAM_84 214       /* u32 */
#define PINFTAG_PARAM_12 215       /* u16 */
#define PINFTAG_PARAM_13 216       /* u16 */
#define PINFTAG_PARAM_14 217       /* u16 */
#define PINFTAG_OPERATION_BUTTON 301 /* set: u16 0 or 1 */
#define PINFTAG_SERIALNO 999       /* get the serial number the printer reports */

/* FirmwareEngineInfo (PINFTAG_ENGID): byte 0 the record count (4), then the
 * 38-byte FirmwareInfoRecord of component n (1 boot area, 2 MAIN, 3 DSP,
 * 4 TABLE) at 1 + 38 x (n - 1). A record: program name 8 characters at 0,
 * program type 16 at 8, creation date 10 at 24, version major at 34 and
 * minor at 35, checksum (u16, little-endian) at 36. Texts are not
 * terminated. */
#define KT_FIRMWARE_INFO_RECORDS 4
#define KT_FIRMWARE_RECORD_SIZE 38
#define KT_FIRMWARE_INFO_SIZE (1 + KT_FIRMWARE_INFO_RECORDS * KT_FIRMWARE_RECORD_SIZE)
#define KT_FIRMWARE_NAME_AT 0
#define KT_FIRMWARE_NAME_LENGTH 8
#define KT_FIRMWARE_TYPE_AT 8
#define KT_FIRMWARE_TYPE_LENGTH 16
#define KT_FIRMWARE_DATE_AT 24
#define KT_FIRMWARE_DATE_LENGTH 10
#define KT_FIRMWARE_VERSION_MAJOR_AT 34
#define KT_FIRMWARE_VERSION_MINOR_AT 35

/* Reads information of the selected printer. On entry *size is the size of
 * the buffer; with a null buffer *size receives the information's size.
 * Copies at most *size bytes, and lowers *size to the information's size
 * when it was larger. 1, or 0 (then *size is 0 unless the call found no
 * session or could not lock the printer). No result code: kt_status tells
 * why. */
KT_API int KT_CALL kt_getPrinterInfo(uint16_t type, void *data, uint32_t *size) KT_NOTHROW;

/* Sets information of the selected printer or of the session. 1, or 0
 * with the code. */
KT_API int KT_CALL kt_setPrinterInfo(uint16_t type, const void *data, uint32_t *size, uint16_t *err) KT_NOTHROW;

/* ---- Updates ---------------------------------------------------------------- */

/* kt_updateFirmware types. */
#define FIRMWARE_TYPE_MAIN 1
#define FIRMWARE_TYPE_DSP 2
#define FIRMWARE_TYPE_TABLE 3

/* Sends a MAIN, DSP or TABLE file of a firmware package to the selected
 * printer, which then writes its flash and restarts (the call does not wait
 * for that). 1 once the whole file was sent, or 0 with the code. An empty
 * file is refused before anything is sent. */
KT_API int KT_CALL kt_updateFirmware(uint8_t type, const char *path, uint16_t *err) KT_NOTHROW;

/* Sends any file under the caller's update kind (lamination patterns, tone
 * curves). 1 once the whole file was sent, or 0 with the code. */
KT_API int KT_CALL kt_update_laminate(uint8_t kind, const char *path, uint16_t *err) KT_NOTHROW;

/* ---- Parameters ------------------------------------------------------------ */

/* Sets parameter `id` (a setting, or a life counter, which the printer
 * resets whatever the value). A refused id or value is RESULT_BAD_PARAMETER. */
KT_API int KT_CALL kt_setParameter(uint8_t id, uint32_t value, uint16_t *err) KT_NOTHROW;

/* Reads parameter `id` into the 4 bytes (little-endian). */
KT_API int KT_CALL kt_getParameter(uint8_t id, uint8_t value[4], uint16_t *err) KT_NOTHROW;

/* Reads byte 0 of the head EEPROM of unit `unit` (1 left, 2 right; another
 * unit reads 0) into the byte. */
KT_API int KT_CALL kt_getEEPROM(uint8_t unit, uint8_t value[1], uint16_t *err) KT_NOTHROW;

/* ---- Actions ------------------------------------------------------------------ */

/* Blinks the printer's LED / resets the printer. Neither is sent to a
 * printer that does not answer its status (RESULT_USB_ERROR). */
KT_API int KT_CALL kt_blinkLED(uint16_t *err) KT_NOTHROW;
KT_API int KT_CALL kt_resetPrinter(uint16_t *err) KT_NOTHROW;

/* Clears the printer's error history. */
KT_API int KT_CALL kt_resetErrHistory(uint16_t *err) KT_NOTHROW;

/* Starts a self-diagnosis step: sub-command, device id, action (sub-command
 * 1, the whole diagnosis, sends the other two as 0). */
KT_API int KT_CALL kt_setDiagnostic(uint8_t subCommand, uint8_t deviceId, uint8_t action, uint16_t *err) KT_NOTHROW;

/* Copies the first *length diagnosis result bytes into data; a *length
 * above 47 is lowered to 47. A failed read gives *length zero bytes. */
#define KT_DIAGNOSIS_COPY_MAX 47
KT_API int KT_CALL kt_getDiagnostic(uint8_t *data, uint32_t *length, uint16_t *err) KT_NOTHROW;

/* ---- Raw access (no device lock: the caller serialises) ------------------------ */

/* A self-diagnosis command with the three bytes as they are; the 4-byte
 * reply into data. */
KT_API int KT_CALL kt_command_diagnostic(uint8_t subCommand, uint8_t deviceId, uint8_t action, uint8_t data[4],
                                         uint16_t *err) KT_NOTHROW;

/* The universal command with the caller's payload of 1-250 bytes ({count
 * n, n bytes}); the reply's data (at most 250 bytes) into `reply` and its
 * byte count into *replyLength. */
#define KT_UNIVERSAL_REPLY_SIZE 250
KT_API int KT_CALL kt_universal_command(const uint8_t *data, int32_t length, uint8_t reply[KT_UNIVERSAL_REPLY_SIZE],
                                        uint8_t *replyLength, uint16_t *err) KT_NOTHROW;

/* The caller's packet of 1-512 bytes as it is; the raw reply (at most 512
 * bytes, header included) into `reply`, its size into *replyLength. */
#define KT_RAW_REPLY_SIZE 512
KT_API int KT_CALL kt_SendCommand(const uint8_t *packet, int32_t length, uint8_t reply[KT_RAW_REPLY_SIZE],
                                  uint32_t *replyLength, uint16_t *err) KT_NOTHROW;

/* *length bytes as raw bulk data, in writes of at most 4096 bytes; a
 * length of 0 is RESULT_BAD_PARAMETER. */
KT_API int KT_CALL kt_SendRawData(const uint8_t *data, uint32_t *length, uint16_t *err) KT_NOTHROW;

/* The model probe, which the printer drops: RESULT_USB_ERROR after the
 * read's time-out. */
KT_API int KT_CALL kt_undefine_command(uint16_t *err) KT_NOTHROW;

#ifdef __cplusplus
}
#endif

#endif /* BOM7300UPGRADE_H */
