// Placeholder of the test-print patterns' row sequences: every pattern
// prints its rows in order, line n showing row n, and its row table maps
// line r to row r.
#include "firmware/platform/placeholder.h"
#include "firmware/service/self_print_gray.h"

namespace {
bool s_bLogged;
constexpr const char* kWhat = "CSelfPrint::Reset, CSelfPrint::NextRow, CSelfPrint::RowOf (test-print row sequences)";
}  // namespace

void CSelfPrint::Reset() {
  LogPlaceholderOnce(s_bLogged, kWhat);
  m_usLineCounter = 0;
}

uint16_t CSelfPrint::NextRow() {
  const uint16_t usRow = m_usLineCounter;
  m_usLineCounter = static_cast<uint16_t>(usRow + 1);
  return usRow;
}

uint16_t CSelfPrint::RowOf(uint16_t usLine) {
  LogPlaceholderOnce(s_bLogged, kWhat);
  return usLine;
}
