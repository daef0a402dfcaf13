// The layouts of a merged sheet: which active jobs' images share the sheet,
// in their order on it (the later jobs of the active list first). Layout
// codes 1-7 are the merged record's merge selector.
#pragma once

#include <cstdint>

constexpr uint32_t MERGED_LAYOUTS = 7;
constexpr uint32_t MERGED_IMAGES_MAX = 3;

struct MergedLayout {
  uint32_t ulImages;
  uint32_t aulJob[MERGED_IMAGES_MAX];  // n-th active job, 1 first
};

constexpr MergedLayout g_aMergedLayouts[MERGED_LAYOUTS] = {
    {1, {1, 0, 0}}, {2, {1, 1, 0}}, {2, {2, 1, 0}}, {3, {1, 1, 1}},
    {3, {2, 1, 1}}, {3, {2, 2, 1}}, {3, {3, 2, 1}},
};

// The layout of a code, null for a code outside 1-7.
constexpr const MergedLayout* MergedLayoutOf(uint32_t ulCode) {
  return ulCode >= 1 && ulCode <= MERGED_LAYOUTS ? &g_aMergedLayouts[ulCode - 1] : nullptr;
}
