// Placeholder of the ribbon models and manager: only the slack take-up
// counts the idle supervision reads exist.
#include "firmware/printengine/ribbon_manager.h"

uint32_t g_ulSlackTakeUpCountL;
uint32_t g_ulSlackTakeUpCountR;
