// The error history as the host's error-log request reads it: the last ten
// recorded errors, newest first, kept in RAM in g_ErrorHistTable.
#pragma once

#include <cstdint>

constexpr uint32_t ERROR_HIST_RECORDS = 10;

struct ErrorHistRecord {
  uint8_t ucCodeMajor;
  uint8_t ucCodeMinor;
  uint8_t aucSpare[2];
  uint32_t ulTotalCount;  // the "Total" life counter when the error was raised
};

struct ErrorHistTable {
  uint8_t ucCount;
  uint8_t ucHead;
  uint8_t aucSpare[2];
  ErrorHistRecord aRecords[ERROR_HIST_RECORDS];  // record 0 newest; empty ones zero
};

extern ErrorHistTable g_ErrorHistTable;
