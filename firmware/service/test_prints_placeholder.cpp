// Placeholder of the test prints: the status sheet prints nothing yet.
#include "firmware/platform/placeholder.h"
#include "firmware/service/service_calls_placeholder.h"
#include "firmware/service/test_prints.h"

int32_t PrintStatusSheet() {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "PrintStatusSheet (test prints and status sheet)");
  ++g_PlaceholderServiceCalls.ulStatusSheets;
  return 0;
}
