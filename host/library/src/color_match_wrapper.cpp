// Colour worlds and pixel matching through BOM7300ColorMatch, under
// g_csColorMatch.
#include <cstring>

#include "host_result_codes.h"
#include "outside_libraries.h"

namespace hostlib {
namespace {

constexpr uint32_t kSpaceRgb = 0x52474220;   // 'RGB '
constexpr uint32_t kSpaceCmyk = 0x434D594B;  // 'CMYK'
constexpr uint16_t kLastIntent = 3;

// Holds g_csColorMatch for a scope.
class ColorMatchLock {
 public:
  ColorMatchLock() { EnterCriticalSection(&g_csColorMatch); }
  ~ColorMatchLock() { LeaveCriticalSection(&g_csColorMatch); }
  ColorMatchLock(const ColorMatchLock &) = delete;
  ColorMatchLock &operator=(const ColorMatchLock &) = delete;
};

// The colour space a type requires, 0 for a type that is not checked.
uint32_t SpaceOfType(uint16_t type) {
  switch (type) {
    case 3:
      return kSpaceRgb;
    case 4:
      return kSpaceCmyk;
    default:
      return 0;
  }
}

// Opens a profile and checks its colour space against the type.
uint16_t OpenChecked(const ColorMatchLibrary &record, const char *path, uint16_t type, CMPROFILE *profile) {
  *profile = nullptr;
  if (record.OpenProfile(path, profile) != 0 || *profile == nullptr) {
    *profile = nullptr;
    return RESULT_FILE_ACCESS_FAILED;
  }
  uint8_t header[CM_PROFILE_HEADER_SIZE] = {};
  if (record.GetProfileHeader(*profile, header) != 0) return RESULT_BAD_PARAMETER;
  const uint8_t *space = header + CM_PROFILE_COLOR_SPACE_AT;
  const uint32_t found = static_cast<uint32_t>(space[0]) << 24 | static_cast<uint32_t>(space[1]) << 16 |
                         static_cast<uint32_t>(space[2]) << 8 | space[3];
  const uint32_t required = SpaceOfType(type);
  return required != 0 && found != required ? RESULT_BAD_PARAMETER : RESULT_OK;
}

}  // namespace

int ColorMatchWrapper::CreateColorWorld(ColorMatchLibrary &record, uint16_t sourceType, uint16_t destType,
                                        int32_t reserved, const uint8_t lut[kLutRecordSize], uint16_t intent,
                                        uint16_t *err) {
  if (record.loaded != 1) {
    *err = RESULT_COLORMATCH_LOAD_FAILED;
    return 0;
  }
  ColorMatchLock lock;
  DisposeColorWorld(record);
  record.rgbToRgb = 0;
  *err = RESULT_BAD_PARAMETER;
  if (record.sourceProfile[0] == '\0' || record.destinationProfile[0] == '\0') return 0;
  CMPROFILE source = nullptr;
  CMPROFILE destination = nullptr;
  uint16_t code = OpenChecked(record, record.sourceProfile, sourceType, &source);
  if (code == RESULT_OK) code = OpenChecked(record, record.destinationProfile, destType, &destination);
  if (code == RESULT_OK) {
    record.intent = intent;
    const DWORD passed = intent <= kLastIntent ? intent : 0;
    record.rgbToRgb = sourceType == 3 && destType == 3 ? 1 : 0;
    record.world = record.CreateColorWorld(passed, source, reserved, destination, lut);
    code = record.world != nullptr ? RESULT_OK : RESULT_MEMORY_FULL;
  }
  if (source != nullptr) record.CloseProfile(source);
  if (destination != nullptr) record.CloseProfile(destination);
  *err = code;
  return record.world != nullptr ? 1 : 0;
}

int ColorMatchWrapper::MatchPixels(ColorMatchLibrary &record, uint8_t *pixels, uint16_t width, uint32_t rows,
                                   uint16_t components, uint8_t *out) {
  if (record.loaded != 1 || record.world == nullptr) return 0;
  ColorMatchLock lock;
  const int in = record.GetNumsOfInPixComp(record.world);
  const int outComponents = record.GetNumsOfOutPixComp(record.world);
  if (in != components || outComponents != components) return 0;
  const auto rowBytes = static_cast<int32_t>(width) * components;
  CMPixelMap source{width, static_cast<int32_t>(rows), in, rowBytes, pixels};
  CMPixelMap destination{width, static_cast<int32_t>(rows), outComponents, rowBytes, out};
  return record.MatchPixelMap(record.world, &source, &destination) == 0 ? 1 : 0;
}

}  // namespace hostlib
