// Placeholder of the status-item fill from the life counters, the ribbon and
// paper models and the "Key Enable" setting: none of them is built yet, so
// their items keep 0; the items that need no such source are set as the
// start-up sets them.
#include "firmware/control/host_status_table.h"
#include "firmware/platform/placeholder.h"
#include "protocol/codes.h"

namespace {
bool s_bLogged;
void Note() { LogPlaceholderOnce(s_bLogged, "InitStatusItems/RefreshCounterItems (counter and setting items)"); }
}  // namespace

int32_t InitStatusItems() {
  Note();
  SetStatusItem(SI_ERROR_MAJOR, 0, 0);
  SetStatusItem(SI_ERROR_MINOR, 0, 0);
  SetStatusItem(SI_PRINTER_STATE, protocol::PRINTER_STATE_CPU_INIT, 0);
  SetStatusItem(SI_AUX_STATUS, 0, 0);
  return 0;
}

int32_t RefreshCounterItems() {
  Note();
  return 0;
}
