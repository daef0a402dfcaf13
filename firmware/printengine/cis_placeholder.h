// What the CIS calibration placeholder was asked to do, for tests, and
// what it answers.
#pragma once

#include <cstdint>

struct PlaceholderCisCalls {
  uint32_t ulWriteCalls{};
  uint32_t ulLastWriteSize{};
  uint32_t ulRestoreCalls{};
  // Answers of WriteCalibImage and RestoreEepromBackup (0 until a test sets
  // them).
  int32_t lWriteResult{};
  int32_t lRestoreResult{};
};

extern PlaceholderCisCalls g_CisCalls;
