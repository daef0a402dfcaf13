// The two outside libraries of the maker, loaded by name at kt_open and
// required there: BOM7300UsbCtrl (USB access) and BOM7300ColorMatch (colour
// matching). Each session keeps its own binding record; the modules
// themselves are shared, as LoadLibraryA counts references.
#pragma once

#include <windows.h>

#include <cstdint>

#include "bom7300colormatch.h"
#include "bom7300usbctrl_api.h"

namespace hostlib {

// The module, its loaded flag and the 13 entry points, in load order.
struct UsbCtrlLibrary {
  HMODULE module = nullptr;
  uint32_t loaded = 0;
  PFN_SDKUsb_Open Open = nullptr;
  PFN_SDKUsb_OpenEx OpenEx = nullptr;
  PFN_SDKUsb_Close Close = nullptr;
  PFN_SDKUsb_GetDeviceHandle GetDeviceHandle = nullptr;
  PFN_SDKUsb_GetDeviceName GetDeviceName = nullptr;
  PFN_SDKUsb_GetDeviceIDString GetDeviceIDString = nullptr;
  PFN_SDKUsb_GetPipeHandle GetPipeHandle = nullptr;
  PFN_SDKUsb_ClosePipe ClosePipe = nullptr;
  PFN_SDKUsb_AbortPipe AbortPipe = nullptr;
  PFN_SDKUsb_ResetPipe ResetPipe = nullptr;
  PFN_SDKUsb_CheckDeviceName CheckDeviceName = nullptr;
  PFN_SDKUsb_CheckDevice CheckDevice = nullptr;
  PFN_SDKUsb_ResetDevice ResetDevice = nullptr;
};

// Succeeds at once when loaded; else loads the module and binds all 13
// entry points, or leaves the record cleared and fails.
bool LoadUsbCtrlLibrary(UsbCtrlLibrary &record);
// Only when loaded: clears the record and frees the module.
void FreeUsbCtrlLibrary(UsbCtrlLibrary &record);

inline constexpr size_t kProfilePathSize = MAX_PATH;

// The module, the 12 entry points (load order), the colour world and the
// profile settings of one session.
struct ColorMatchLibrary {
  uint32_t intent = 0;
  HMODULE module = nullptr;
  uint32_t loaded = 0;
  PFN_SDKCMCreatLUT CreatLUT = nullptr;
  PFN_SDKCMMatchPixelMap MatchPixelMap = nullptr;
  PFN_SDKCMMatchPlaneMap MatchPlaneMap = nullptr;
  PFN_SDKCMConvertColorWorldToIPB ConvertColorWorldToIPB = nullptr;
  PFN_SDKCMOpenProfile OpenProfile = nullptr;
  PFN_SDKCMCloseProfile CloseProfile = nullptr;
  PFN_SDKCMCreateColorWorld CreateColorWorld = nullptr;
  PFN_SDKCMDisposeColorWorld DisposeColorWorld = nullptr;
  PFN_SDKCMGetNumsOfInPixComp GetNumsOfInPixComp = nullptr;
  PFN_SDKCMGetNumsOfOutPixComp GetNumsOfOutPixComp = nullptr;
  PFN_SDKCMGetPartialProfileElement GetPartialProfileElement = nullptr;
  PFN_SDKCMGetProfileHeader GetProfileHeader = nullptr;
  CMCOLORWORLD world = nullptr;
  HGLOBAL worldMemory[2] = {nullptr, nullptr};  // freed with the world
  uint32_t rgbToRgb = 0;
  char sourceProfile[kProfilePathSize] = {};
  char destinationProfile[kProfilePathSize] = {};
};

bool LoadColorMatchLibrary(ColorMatchLibrary &record);
// Only when loaded: disposes the colour world, clears the record and frees
// the module.
void FreeColorMatchLibrary(ColorMatchLibrary &record);

// Every call into the colour-matching library holds g_csColorMatch, which
// all sessions share; nothing else is taken while it is held. The wrapper
// keeps no state of its own: it works on a session's record.
extern CRITICAL_SECTION g_csColorMatch;

// The lut record given with a colour world: five tables of 256 entries.
inline constexpr size_t kLutRecordSize = CM_LUT_RECORD_SIZE;

class ColorMatchWrapper {
 public:
  // Disposes the record's colour world and frees its memory blocks.
  static void DisposeColorWorld(ColorMatchLibrary &record);
  // Replaces the record's colour world by one from the record's two
  // profile paths. Types 3 and 4 require 'RGB ' and 'CMYK' profiles.
  // Returns 1 with a world (*err 0), else 0 with the code.
  static int CreateColorWorld(ColorMatchLibrary &record, uint16_t sourceType, uint16_t destType, int32_t reserved,
                              const uint8_t lut[kLutRecordSize], uint16_t intent, uint16_t *err);
  // Converts `rows` rows of `width` pixels of `components` bytes from
  // `pixels` into `out` (which may be `pixels`). Only a world whose input
  // and output component counts both equal `components` is used: any other
  // would read or write past the rows. 1 on success.
  static int MatchPixels(ColorMatchLibrary &record, uint8_t *pixels, uint16_t width, uint32_t rows,
                         uint16_t components, uint8_t *out);
};

// The file names given to LoadLibraryA; null restores "BOM7300UsbCtrl.dll"
// and "BOM7300ColorMatch.dll". For tests of the loading, which point it at
// incomplete or missing modules.
void SetOutsideLibraryFiles(const char *usbCtrlFile, const char *colorMatchFile);

}  // namespace hostlib
