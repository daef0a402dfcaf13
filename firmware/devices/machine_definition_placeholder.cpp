// Placeholder of the machine definition: the one ordered construction list.
// Each global object that is built joins the list below, in machine order,
// until the full machine definition takes its place.
#include "firmware/devices/machine_definition.h"
#include "firmware/platform/placeholder.h"

void ConstructGlobals() {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "ConstructGlobals (machine definition)");
}
