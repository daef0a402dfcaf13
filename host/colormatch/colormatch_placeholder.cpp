// BOM7300ColorMatch, placeholder of the colour engine.
//
// The library exists now so that BOM7300upgrade can load it at kt_open and
// bind its twelve entry points. The colour engine behind them (profile
// reading, colour worlds, pixel and plane matching, the IPB export) comes
// with the image-pipeline issue; until then every entry point fails cleanly:
// results are failures, handles null, counts 0, output arguments cleared.
// The first call says once, on the error stream, that the engine is not
// built yet; standard output stays the application's.
#include <bom7300colormatch.h>

#include <atomic>
#include <cstdio>

namespace {

std::atomic<bool> g_bToldOnce{false};

// The failure result of the int entry points (0 would be success).
constexpr int kNotBuilt = -1;

void SayNotBuiltOnce() {
  if (!g_bToldOnce.exchange(true)) {
    std::fputs("[BOM7300ColorMatch] placeholder: the colour engine is not built yet\n", stderr);
  }
}

}  // namespace

extern "C" {

int WINAPI SDKCMCreatLUT(CMCOLORWORLD, uint8_t *, DWORD) {
  SayNotBuiltOnce();
  return kNotBuilt;
}

int WINAPI SDKCMMatchPixelMap(CMCOLORWORLD, const CMPixelMap *, CMPixelMap *) {
  SayNotBuiltOnce();
  return kNotBuilt;
}

int WINAPI SDKCMMatchPlaneMap(CMCOLORWORLD, const CMPlaneMap *, CMPlaneMap *) {
  SayNotBuiltOnce();
  return kNotBuilt;
}

int WINAPI SDKCMConvertColorWorldToIPB(CMCOLORWORLD, uint8_t *, DWORD *size) {
  SayNotBuiltOnce();
  if (size != nullptr) *size = 0;
  return kNotBuilt;
}

int WINAPI SDKCMOpenProfile(const char *, CMPROFILE *profile) {
  SayNotBuiltOnce();
  if (profile != nullptr) *profile = nullptr;
  return kNotBuilt;
}

int WINAPI SDKCMCloseProfile(CMPROFILE) {
  SayNotBuiltOnce();
  return kNotBuilt;
}

CMCOLORWORLD WINAPI SDKCMCreateColorWorld(DWORD, CMPROFILE, int32_t, CMPROFILE, const uint8_t *) {
  SayNotBuiltOnce();
  return nullptr;
}

int WINAPI SDKCMDisposeColorWorld(CMCOLORWORLD) {
  SayNotBuiltOnce();
  return kNotBuilt;
}

int WINAPI SDKCMGetNumsOfInPixComp(CMCOLORWORLD) {
  SayNotBuiltOnce();
  return 0;
}

int WINAPI SDKCMGetNumsOfOutPixComp(CMCOLORWORLD) {
  SayNotBuiltOnce();
  return 0;
}

int WINAPI SDKCMGetPartialProfileElement(CMPROFILE, DWORD, DWORD, uint8_t *, DWORD *size) {
  SayNotBuiltOnce();
  if (size != nullptr) *size = 0;
  return kNotBuilt;
}

int WINAPI SDKCMGetProfileHeader(CMPROFILE, uint8_t header[CM_PROFILE_HEADER_SIZE]) {
  SayNotBuiltOnce();
  if (header != nullptr) {
    for (int i = 0; i < CM_PROFILE_HEADER_SIZE; ++i) header[i] = 0;
  }
  return kNotBuilt;
}

}  // extern "C"
