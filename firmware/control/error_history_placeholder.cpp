// Placeholder of the error history: entries are kept in RAM only (the
// newest first, with a zero counter), so the host's error log shows what
// was raised since power-on; nothing is kept in flash yet.
#include "firmware/control/error_history.h"
#include "firmware/platform/placeholder.h"

ErrorHistTable g_ErrorHistTable;
constinit CErrorHist g_ErrorHist;

int32_t CErrorHist::Add(uint16_t usCode) {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "CErrorHist (error history in flash)");
  ErrorHistRecord* pRecords = g_ErrorHistTable.aRecords;
  for (uint32_t i = ERROR_HIST_RECORDS - 1; i > 0; --i) pRecords[i] = pRecords[i - 1];
  pRecords[0] = ErrorHistRecord{static_cast<uint8_t>(usCode >> 8), static_cast<uint8_t>(usCode & 0xFFu), {0, 0}, 0};
  if (g_ErrorHistTable.ucCount < ERROR_HIST_RECORDS) ++g_ErrorHistTable.ucCount;
  return 0;
}
