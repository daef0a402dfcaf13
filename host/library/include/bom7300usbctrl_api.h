/* The outside USB-access library BOM7300UsbCtrl as this library calls it:
 * loaded by name at kt_open, its 13 entry points bound with GetProcAddress.
 * Any module that offers these entry points over the platform's USB
 * printer-class access can take its place (the real one rides the virtual
 * USB cable; the library's tests use a double).
 *
 * Device indexes (0-127) count the printer-class interfaces of the system;
 * device numbers (0-127) are what SDKUsb_Open hands out for an index.
 */
#ifndef BOM7300_USBCTRL_API_H
#define BOM7300_USBCTRL_API_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Characters of a device path, and where the identifiers sit in it: the
 * vendor at 12-15 and the product at 21-24, four lower-case hex digits
 * each. The path from character 4 on names the device's mutex. */
#define SDKUSB_PATH_SIZE MAX_PATH
#define SDKUSB_PATH_VENDOR_AT 12
#define SDKUSB_PATH_PRODUCT_AT 21
#define SDKUSB_PATH_MUTEX_NAME_AT 4

/* Pipe indexes of the printer's interface. */
#define SDKUSB_PIPE_BULK_OUT 0
#define SDKUSB_PIPE_BULK_IN 1

/* Device number of the device at index 0-127, or -1. */
typedef int(WINAPI *PFN_SDKUsb_Open)(int index);
/* As SDKUsb_Open with flags (not called by the library). */
typedef int(WINAPI *PFN_SDKUsb_OpenEx)(int index, DWORD flags);
typedef int(WINAPI *PFN_SDKUsb_Close)(int device);
/* The device's own handle (not called by the library). */
typedef HANDLE(WINAPI *PFN_SDKUsb_GetDeviceHandle)(int device);
/* 1 after filling path (SDKUSB_PATH_SIZE characters, zeroed by the caller)
 * with the device's interface path, else 0. */
typedef int(WINAPI *PFN_SDKUsb_GetDeviceName)(int device, char *path);
/* The IEEE 1284 device ID (not called by the library). */
typedef int(WINAPI *PFN_SDKUsb_GetDeviceIDString)(int device, char *buffer, int size);
/* A handle for ReadFile/WriteFile on the pipe, or INVALID_HANDLE_VALUE. */
typedef HANDLE(WINAPI *PFN_SDKUsb_GetPipeHandle)(int device, int interfaceIndex, int pipeIndex, int flags);
typedef int(WINAPI *PFN_SDKUsb_ClosePipe)(HANDLE pipe);
/* Not called by the library. */
typedef int(WINAPI *PFN_SDKUsb_AbortPipe)(HANDLE pipe);
typedef int(WINAPI *PFN_SDKUsb_ResetPipe)(HANDLE pipe);
/* The device number when the device at this index is open in this
 * process, else -1. */
typedef int(WINAPI *PFN_SDKUsb_CheckDeviceName)(int index);
/* 0 when the device is gone. */
typedef int(WINAPI *PFN_SDKUsb_CheckDevice)(int device);
/* Not called by the library. */
typedef int(WINAPI *PFN_SDKUsb_ResetDevice)(int device);

#ifdef __cplusplus
}
#endif

#endif /* BOM7300_USBCTRL_API_H */
