// Placeholder of the test-print patterns' row sequences: every pattern
// prints its rows in order, line n showing row n.
#include "firmware/platform/placeholder.h"
#include "firmware/service/self_print_gray.h"

namespace {
bool s_bLogged;
}  // namespace

void CSelfPrint::Reset() {
  LogPlaceholderOnce(s_bLogged, "CSelfPrint::Reset, CSelfPrint::NextRow (test-print row sequences)");
  m_usLineCounter = 0;
}

uint16_t CSelfPrint::NextRow() {
  const uint16_t usRow = m_usLineCounter;
  m_usLineCounter = static_cast<uint16_t>(usRow + 1);
  return usRow;
}
