// Placeholder of the key test and the head-voltage tuning list: the key
// test runs as one where no key is pressed: it takes its full time and
// misses every key. The head-voltage tuning has nothing to tune and answers
// what a test set.
#include "firmware/platform/placeholder.h"
#include "firmware/platform/time_base.h"
#include "firmware/printengine/thv_control.h"
#include "firmware/service/service_calls_placeholder.h"
#include "firmware/service/service_menus.h"

PlaceholderServiceCalls g_PlaceholderServiceCalls;
// No user menu chooses a ribbon size yet: the row's first model.
uint32_t g_ulDonorSelect;

namespace {
// Six key prompts and the result, 3000 ms each.
constexpr uint32_t kKeyTestMs = 7 * 3000;
}  // namespace

int32_t CheckKeyTest() {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "CheckKeyTest (service menus)");
  ++g_PlaceholderServiceCalls.ulKeyTests;
  g_MsTimer.WaitMs(kKeyTestMs);
  return -1;
}

int32_t AutoTuneThvList(CThvCnt* const* ppList, uint32_t) {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "AutoTuneThvList (service menus)");
  ++(ppList == g_ThvTableL ? g_PlaceholderServiceCalls.ulTuningsL : g_PlaceholderServiceCalls.ulTuningsR);
  return g_PlaceholderServiceCalls.lTuneResult;
}
