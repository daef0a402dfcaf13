// What the CIS placeholder was asked to do, for tests, and what it answers.
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
  // The tunings and edge searches, in the order called (one letter each:
  // O offset, L LED, P paper edge, I paper and image edge; the first
  // kCallsKept kept), the last tuning mode, and their answers: the tunings
  // 0, the edge searches -1 with no edge, until a test sets them.
  static constexpr uint32_t kCallsKept = 15;
  uint32_t ulCalls{};
  char acCalls[kCallsKept + 1]{};
  uint32_t ulLastTuneMode{};
  int32_t lTuneOffsetResult{};
  int32_t lTuneLedResult{};
  int32_t lPaperEdgeResult = -1;
  int32_t lImageEdgeResult = -1;
  uint32_t ulPaperEdge{};
  uint32_t ulImageEdge{};
  // Run at every tuning and edge search, when set.
  void (*pfnOnCall)() = nullptr;
};

extern PlaceholderCisCalls g_CisCalls;
