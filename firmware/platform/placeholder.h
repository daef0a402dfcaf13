// A part of the firmware that is not built yet is stood in for by a
// placeholder in its own file, which says so once on the console.
#pragma once

#include "firmware/hal/kernel.h"

inline void LogPlaceholderOnce(bool& bLogged, const char* pszWhat) {
  if (bLogged) return;
  bLogged = true;
  syslog(LOG_EMERG, "[placeholder] %s is not built yet", pszWhat);
}
