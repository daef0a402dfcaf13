// What the print-support placeholder was asked to build, for tests.
#pragma once

#include <cstdint>

class CRampTable;

struct FeedMatchedRampCall {
  const CRampTable* pReference;
  const CRampTable* pOutput;
  uint32_t ulModeA;
  uint32_t ulModeB;
  uint32_t ulMask;
};

struct PlaceholderFeedMatchedRamps {
  static constexpr uint32_t kKept = 16;
  // Every call counted; the first kKept kept in order.
  uint32_t ulCalls;
  FeedMatchedRampCall aCalls[kKept];
};

extern PlaceholderFeedMatchedRamps g_FeedMatchedRampCalls;
