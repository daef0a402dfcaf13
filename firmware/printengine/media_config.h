// The media configuration of the two print units: each unit's ribbon size
// family and kind as the ribbon checks found them, and the load mode the
// paper loading leaves. From them come the effective media size (the
// smaller family of the two, a unit without ribbon not counting), the
// print sizes that can be printed, and the media record the host reads.
#pragma once

#include <cstdint>

#include "firmware/platform/global_build.h"
#include "firmware/printengine/print_size.h"

// Ribbon size codes.
constexpr uint16_t RIBBON_SIZE_NONE = 0;
constexpr uint16_t RIBBON_SIZE_8X10 = 1;
constexpr uint16_t RIBBON_SIZE_8X12 = 2;
// Load mode 2: paper loaded; sizes are selected only then.
constexpr uint16_t LOAD_MODE_LOADED = 2;
constexpr uint32_t MEDIA_SIZE_LIST = 8;

// The printable sizes of a ribbon family, longest first, as table rows.
struct MediaSizeRows {
  uint32_t ulCount;
  uint32_t aulRows[5];
};
inline constexpr MediaSizeRows kMediaSizes8x10{4, {PRINT_SIZE_ROW_8X10, 2, 1, 0}};
inline constexpr MediaSizeRows kMediaSizes8x12{5, {PRINT_SIZE_ROW_8X12, PRINT_SIZE_ROW_8X10, 2, 1, 0}};
// The sizes of effective media size 1 or 2; null for any other.
constexpr const MediaSizeRows* MediaSizesOf(uint32_t ulMediaSize) {
  return ulMediaSize == RIBBON_SIZE_8X10 ? &kMediaSizes8x10 : ulMediaSize == RIBBON_SIZE_8X12 ? &kMediaSizes8x12 : nullptr;
}
static_assert(kMediaSizes8x12.ulCount < MEDIA_SIZE_LIST, "a size list ends with an empty entry");

class CMediaConfig {
 public:
  constexpr CMediaConfig() = default;
  // No ribbon, load mode 0, nothing selected.
  explicit CMediaConfig(GlobalBuild) {}

  // Unit 1 is unit R, any other unit L.
  int32_t SetRibbonSize(uint32_t ulUnit, uint16_t usSize);
  int32_t SetRibbonKind(uint32_t ulUnit, uint16_t usKind);
  int32_t GetRibbonSize(uint32_t ulUnit, uint32_t* pulValue) const;
  int32_t GetRibbonKind(uint32_t ulUnit, uint32_t* pulValue) const;
  // Clears the unit's size, then stores it in load mode 0, or in load mode
  // 2 when it is 1 or 2 (-3 for another size); -2 in any other load mode.
  int32_t SetRibbonSizeChecked(uint32_t ulUnit, uint16_t usSize);
  // Colour ribbons in both units ("Ribbon Status" 0 with the colour-sensor
  // ribbon control) must be of one size and kind: else "Ribbon Mismatch"
  // is raised and -1 returned.
  int32_t CheckRibbonMismatch() const;
  int32_t SetLoadMode(uint16_t usMode);
  // Clears the load mode; with an effective size above 2: -2; with size 1
  // or 2 and a mode other than 2: -3; otherwise stores the mode.
  int32_t SetLoadModeChecked(uint16_t usMode);
  int32_t GetMediaSize(uint32_t* pulSize) const;
  // In load mode 2 with an effective size of 1 or 2: the full size of that
  // family becomes g_pPrintSizeTable and its sizes the printable ones,
  // longest first. Otherwise nothing is printable.
  int32_t SelectPrintSizeTable();
  // The full-size record of the effective size while it is selected: 0, or
  // -1.
  int32_t GetPrintSizeRecord(PrintSizeRecord** ppRecord) const;
  // The printable size of exactly the print command's image width and
  // height, whose print size and margins it sets to the image and 0: 0, or
  // -1 when no printable size matches.
  int32_t FindPrintSize(PrintSizeRecord** ppRecord) const;
  // Fills the media record of the host command interface and queues its
  // notification.
  int32_t SendMediaInfo() const;

 private:
  uint32_t UnitIndex(uint32_t ulUnit) const { return ulUnit == 1 ? 1u : 0u; }
  // The kind code of a unit's selected colour ribbon model: 4 for the
  // four-panel ribbons, else 3.
  uint8_t KindCode(uint32_t ulUnitIndex) const;

  uint16_t m_ausRibbonSize[2] = {};
  uint16_t m_ausRibbonKind[2] = {};
  uint16_t m_usLoadMode = 0;
  PrintSizeRecord* m_apFullSizes[MEDIA_SIZE_LIST] = {};
  PrintSizeRecord* m_apSizeList[MEDIA_SIZE_LIST] = {};
};

extern CMediaConfig g_MediaConfig;
