// Loading and unloading of BOM7300UsbCtrl and BOM7300ColorMatch.
#include "outside_libraries.h"

#include <array>
#include <cstring>
#include <string>

#include "library_frame.h"

namespace hostlib {

CRITICAL_SECTION g_csColorMatch;

namespace {

constexpr const char *kUsbCtrlFile = "BOM7300UsbCtrl.dll";
constexpr const char *kColorMatchFile = "BOM7300ColorMatch.dll";

// Guarded by g_csLibrary (every load runs inside kt_open).
std::string &UsbCtrlFile() {
  static auto *file = new std::string(kUsbCtrlFile);
  return *file;
}
std::string &ColorMatchFile() {
  static auto *file = new std::string(kColorMatchFile);
  return *file;
}

// One entry point of a module: its name and where the record keeps it.
struct EntryPoint {
  const char *name;
  void *slot;
};

template <typename Function>
EntryPoint Entry(const char *name, Function &slot) {
  static_assert(sizeof(Function) == sizeof(FARPROC), "entry points are plain function pointers");
  return EntryPoint{name, &slot};
}

// Binds the entry points in order and stops at the first missing one.
template <size_t N>
bool BindAll(HMODULE module, const std::array<EntryPoint, N> &entries) {
  for (const EntryPoint &entry : entries) {
    FARPROC address = GetProcAddress(module, entry.name);
    if (address == nullptr) return false;
    std::memcpy(entry.slot, &address, sizeof address);
  }
  return true;
}

// Succeeds at once when loaded; else clears the record, loads `file` and
// binds the entry points `entriesOf(record)` names, or clears the record
// again and frees the module.
template <typename Record, typename EntriesOf>
bool LoadModule(Record &record, const std::string &file, EntriesOf entriesOf) {
  if (record.loaded == 1) return true;
  record = Record{};
  HMODULE module = LoadLibraryA(file.c_str());
  if (module == nullptr) return false;
  if (!BindAll(module, entriesOf(record))) {
    record = Record{};
    FreeLibrary(module);
    return false;
  }
  record.module = module;
  record.loaded = 1;
  return true;
}

// Only when loaded: clears the record and frees the module.
template <typename Record>
void ReleaseModule(Record &record) {
  if (record.loaded != 1) return;
  HMODULE module = record.module;
  record = Record{};
  FreeLibrary(module);
}

}  // namespace

void SetOutsideLibraryFiles(const char *usbCtrlFile, const char *colorMatchFile) {
  LibraryLock lock;
  UsbCtrlFile() = usbCtrlFile != nullptr ? usbCtrlFile : kUsbCtrlFile;
  ColorMatchFile() = colorMatchFile != nullptr ? colorMatchFile : kColorMatchFile;
}

bool LoadUsbCtrlLibrary(UsbCtrlLibrary &record) {
  return LoadModule(record, UsbCtrlFile(), [](UsbCtrlLibrary &bound) {
    return std::to_array<EntryPoint>({
        Entry("SDKUsb_Open", bound.Open),
        Entry("SDKUsb_OpenEx", bound.OpenEx),
        Entry("SDKUsb_Close", bound.Close),
        Entry("SDKUsb_GetDeviceHandle", bound.GetDeviceHandle),
        Entry("SDKUsb_GetDeviceName", bound.GetDeviceName),
        Entry("SDKUsb_GetDeviceIDString", bound.GetDeviceIDString),
        Entry("SDKUsb_GetPipeHandle", bound.GetPipeHandle),
        Entry("SDKUsb_ClosePipe", bound.ClosePipe),
        Entry("SDKUsb_AbortPipe", bound.AbortPipe),
        Entry("SDKUsb_ResetPipe", bound.ResetPipe),
        Entry("SDKUsb_CheckDeviceName", bound.CheckDeviceName),
        Entry("SDKUsb_CheckDevice", bound.CheckDevice),
        Entry("SDKUsb_ResetDevice", bound.ResetDevice),
    });
  });
}

void FreeUsbCtrlLibrary(UsbCtrlLibrary &record) { ReleaseModule(record); }

bool LoadColorMatchLibrary(ColorMatchLibrary &record) {
  return LoadModule(record, ColorMatchFile(), [](ColorMatchLibrary &bound) {
    return std::to_array<EntryPoint>({
        Entry("SDKCMCreatLUT", bound.CreatLUT),
        Entry("SDKCMMatchPixelMap", bound.MatchPixelMap),
        Entry("SDKCMMatchPlaneMap", bound.MatchPlaneMap),
        Entry("SDKCMConvertColorWorldToIPB", bound.ConvertColorWorldToIPB),
        Entry("SDKCMOpenProfile", bound.OpenProfile),
        Entry("SDKCMCloseProfile", bound.CloseProfile),
        Entry("SDKCMCreateColorWorld", bound.CreateColorWorld),
        Entry("SDKCMDisposeColorWorld", bound.DisposeColorWorld),
        Entry("SDKCMGetNumsOfInPixComp", bound.GetNumsOfInPixComp),
        Entry("SDKCMGetNumsOfOutPixComp", bound.GetNumsOfOutPixComp),
        Entry("SDKCMGetPartialProfileElement", bound.GetPartialProfileElement),
        Entry("SDKCMGetProfileHeader", bound.GetProfileHeader),
    });
  });
}

void FreeColorMatchLibrary(ColorMatchLibrary &record) {
  if (record.loaded != 1) return;
  ColorMatchWrapper::DisposeColorWorld(record);
  ReleaseModule(record);
}

void ColorMatchWrapper::DisposeColorWorld(ColorMatchLibrary &record) {
  if (record.loaded != 1) return;
  EnterCriticalSection(&g_csColorMatch);
  // Each session owns its colour world, so each disposes of its own,
  // whichever slot it sits in.
  if (record.world != nullptr) {
    record.DisposeColorWorld(record.world);
    record.world = nullptr;
  }
  for (HGLOBAL &block : record.worldMemory) {
    if (block != nullptr) {
      GlobalFree(block);
      block = nullptr;
    }
  }
  LeaveCriticalSection(&g_csColorMatch);
}

}  // namespace hostlib
