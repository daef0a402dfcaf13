// Placeholder of the print-size records' dummy lines: there are no records
// to load or set up yet.
#include "firmware/platform/placeholder.h"
#include "firmware/printengine/dummy_lines.h"

namespace {
bool s_bLogged;
void Note() { LogPlaceholderOnce(s_bLogged, "LoadDummyLines, InitDummyLines (print-size dummy lines)"); }
}  // namespace

int32_t LoadDummyLines() {
  Note();
  return 0;
}

int32_t InitDummyLines() {
  Note();
  return 0;
}
