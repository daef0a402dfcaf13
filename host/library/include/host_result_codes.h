/* HostResultCode: the unsigned 16-bit result code that every export of
 * BOM7300upgrade reports through its last pointer argument, and the text
 * that applications (the updater among them) show for it. The library
 * itself never shows a text.
 */
#ifndef BOM7300_HOST_RESULT_CODES_H
#define BOM7300_HOST_RESULT_CODES_H

#include <stdint.h>

enum HostResultCode {
  RESULT_OK = 0, /* success; also a status reply of a ready printer */

  /* Local failures of the library. */
  RESULT_MEMORY_FULL = 1000,
  RESULT_USBCTRL_LOAD_FAILED = 1002,
  RESULT_COLORMATCH_LOAD_FAILED = 1003,
  RESULT_USB_OPEN_FAILED = 1004,
  RESULT_FILE_ACCESS_FAILED = 1005,
  RESULT_BAD_PARAMETER = 1006,
  RESULT_PRINTER_NOT_FOUND = 1008,
  RESULT_DEVICE_BUSY = 1500,
  RESULT_NO_SESSION = 1501,
  RESULT_SESSION_IN_USE = 1502,
  RESULT_PRINTER_NOT_RECOGNIZED = 2000,

  /* Busy states of the printer. */
  RESULT_BUFFER_FULL = 2100,
  RESULT_CPU_INITIALIZING = 2101,
  RESULT_RIBBON_INITIALIZING = 2102,
  RESULT_PAPER_LOADING = 2103,
  RESULT_THERMAL_PROTECT = 2104,
  RESULT_OPERATION_BUSY = 2105,
  RESULT_SELF_DIAGNOSIS = 2106,
  RESULT_DOWNLOADING = 2107,

  /* Printing states: a success. The name carries the printer state. */
  RESULT_PRINT_61 = 2200,
  RESULT_PRINT_62 = 2201,
  RESULT_PRINT_63 = 2202,
  RESULT_PRINT_64 = 2203,
  RESULT_PRINT_65 = 2204,
  RESULT_PRINT_66 = 2205,
  RESULT_PRINT_67 = 2206,
  RESULT_PRINT_68 = 2207,
  RESULT_PRINT_69 = 2208,
  RESULT_PRINT_6A = 2209,
  RESULT_PRINT_6B = 2210,
  RESULT_PRINT_6C = 2211,
  RESULT_ID_STATUS_0200 = 2212,
  RESULT_PRINT_71 = 2213,
  RESULT_PRINT_6E = 2214,
  RESULT_PRINT_E1 = 2250,
  RESULT_PRINT_E2 = 2251,
  RESULT_PRINT_E3 = 2252,
  RESULT_PRINT_E4 = 2253,
  RESULT_PRINT_E5 = 2254,
  RESULT_PRINT_E6 = 2255,
  RESULT_PRINT_E7 = 2256,
  RESULT_PRINT_E8 = 2257,
  RESULT_PRINT_E9 = 2258,
  RESULT_PRINT_EC = 2261,
  RESULT_PRINT_F1 = 2263,
  RESULT_PRINT_EE = 2264,
  RESULT_PRINT_6F = 2270,

  RESULT_NO_PRINT_STATE = 2300,
  RESULT_MEDIA_MISMATCH = 2301,
  RESULT_PAPER_EMPTY = 2305,
  RESULT_INK_EMPTY = 2306,
  RESULT_COVER_OPEN = 2309,
  RESULT_UNEXPECTED_REPLY = 2504,

  /* Transfers and refusals. */
  RESULT_USB_ERROR = 2600,
  RESULT_PRINTER_BAD_PARAMETER = 2601,
  RESULT_REPLY_ERR_40 = 2610,
  RESULT_REPLY_ERR_41 = 2611,
  RESULT_REPLY_ERR_45 = 2615,
  RESULT_BAD_LAYOUT = 2616,

  /* Printer errors: the base plus the error's detail byte. */
  RESULT_JAM_BASE = 3000,    /* error class 5 */
  RESULT_CLASS1_BASE = 4000, /* error class 1 */
  RESULT_CLASS2_BASE = 4100,
  RESULT_CLASS3_BASE = 4200,
  RESULT_CLASS4_BASE = 4300,

  RESULT_DIAGNOSIS_FAILED = 8000
};

#ifdef __cplusplus

/* The text an application shows for a code; codes without a text of their
 * own get the pointer to the service manual. */
constexpr const char *HostResultText(uint16_t code) {
  switch (code) {
    case RESULT_OK:
      return "The printer is a ready state.";
    case RESULT_MEMORY_FULL:
      return "Memory Full";
    case RESULT_USBCTRL_LOAD_FAILED:
      return "Cannot load BOM7300UsbCtrl.dll.";
    case RESULT_COLORMATCH_LOAD_FAILED:
      return "Cannot load BOM7300ColorMatch.dll.";
    case RESULT_USB_OPEN_FAILED:
      return "Cannot open the USB port.";
    case RESULT_FILE_ACCESS_FAILED:
      return "Cannot access the specified profile.";
    case RESULT_BAD_PARAMETER:
      return "The specified parameter is not available.";
    case RESULT_PRINTER_NOT_FOUND:
      return "Printer with selected number is not found.";
    case RESULT_PRINTER_NOT_RECOGNIZED:
      return "The printer cannot be recognized.";
    case RESULT_BUFFER_FULL:
      return "The printer is buffer full state.";
    case RESULT_CPU_INITIALIZING:
      return "Main CPU is initializing.";
    case RESULT_RIBBON_INITIALIZING:
      return "The ribbon is being initialized.";
    case RESULT_PAPER_LOADING:
      return "The form is a loading.";
    case RESULT_THERMAL_PROTECT:
      return "It is thermal protecting.";
    case RESULT_OPERATION_BUSY:
      return "The operation part is being executed.";
    case RESULT_SELF_DIAGNOSIS:
      return "The self-diagnosis is being executed.";
    case RESULT_DOWNLOADING:
      return "Download is being executed.";
    case RESULT_MEDIA_MISMATCH:
      return "The specified paper information is not available to the currently selected printer.";
    case RESULT_PAPER_EMPTY:
      return "Paper Empty Err.";
    case RESULT_INK_EMPTY:
      return "Ink Empty Err.";
    case RESULT_COVER_OPEN:
      return "Cover Open.";
    case RESULT_USB_ERROR:
      return "USB communication error.";
    default:
      return "Refer to WRT3-N586K";
  }
}

#endif /* __cplusplus */

#endif /* BOM7300_HOST_RESULT_CODES_H */
