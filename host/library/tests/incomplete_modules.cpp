// Outside libraries that lack their last entry point: the loading must
// refuse them. Built twice: as BOM7300UsbCtrlIncomplete (USB_ACCESS) and as
// BOM7300ColorMatchIncomplete.
#include <windows.h>

#define STUB extern "C" __attribute__((visibility("default"))) int WINAPI

#if defined(USB_ACCESS)
STUB SDKUsb_Open(int) { return -1; }
STUB SDKUsb_OpenEx(int, DWORD) { return -1; }
STUB SDKUsb_Close(int) { return 0; }
STUB SDKUsb_GetDeviceHandle(int) { return 0; }
STUB SDKUsb_GetDeviceName(int, char *) { return 0; }
STUB SDKUsb_GetDeviceIDString(int, char *, int) { return 0; }
STUB SDKUsb_GetPipeHandle(int, int, int, int) { return -1; }
STUB SDKUsb_ClosePipe(HANDLE) { return 0; }
STUB SDKUsb_AbortPipe(HANDLE) { return 0; }
STUB SDKUsb_ResetPipe(HANDLE) { return 0; }
STUB SDKUsb_CheckDeviceName(int) { return -1; }
STUB SDKUsb_CheckDevice(int) { return 0; }
// SDKUsb_ResetDevice is missing.
#else
STUB SDKCMCreatLUT() { return -1; }
STUB SDKCMMatchPixelMap() { return -1; }
STUB SDKCMMatchPlaneMap() { return -1; }
STUB SDKCMConvertColorWorldToIPB() { return -1; }
STUB SDKCMOpenProfile() { return -1; }
STUB SDKCMCloseProfile() { return -1; }
STUB SDKCMCreateColorWorld() { return 0; }
STUB SDKCMDisposeColorWorld() { return -1; }
STUB SDKCMGetNumsOfInPixComp() { return 0; }
STUB SDKCMGetNumsOfOutPixComp() { return 0; }
STUB SDKCMGetPartialProfileElement() { return -1; }
// SDKCMGetProfileHeader is missing.
#endif
