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

class CErrorHist {
 public:
  constexpr CErrorHist() = default;
  // Records the code as the newest entry: 0, or -1 while the history is
  // disabled.
  int32_t Add(uint16_t usCode);
};

extern CErrorHist g_ErrorHist;
