// Placeholder of the print-size records' dummy lines: there are no records
// to load yet.
#include "firmware/platform/placeholder.h"
#include "firmware/printengine/dummy_lines.h"

int32_t LoadDummyLines() {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "LoadDummyLines (print-size dummy lines)");
  return 0;
}
