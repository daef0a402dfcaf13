// Until the TABLE store is built, its placeholder checks the image's
// format word only; a test may have the check answer another result.
#pragma once

#include <cstdint>

struct PlaceholderTableStore {
  // Non-zero: InitTableData answers lInitResult whatever the image holds.
  uint32_t ulForceInit;
  int32_t lInitResult;
};

extern PlaceholderTableStore g_PlaceholderTableStore;
