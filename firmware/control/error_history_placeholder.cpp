// Placeholder of the error history: it is not built yet, so the table holds
// no entries and the host's error log is empty.
#include "firmware/control/error_history.h"

ErrorHistTable g_ErrorHistTable;
