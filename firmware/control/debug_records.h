// Debug records that the sequences fill and no part of the system reads
// back: two current values, a table of ten entries, three trace arrays of
// five words; the paper-sensor log; time-stamped trace points.
#pragma once

#include <cstdint>

constexpr uint32_t DEBUG_RECORD_ENTRIES = 10;
constexpr uint32_t DEBUG_RECORD_TRACES = 3;
constexpr uint32_t DEBUG_RECORD_TRACE_WORDS = 5;

struct DebugRecordEntry {
  uint32_t ulSequenceA;
  uint32_t ulSequenceB;
  uint32_t ulValue0;
  uint32_t ulValue1;
};

struct DebugRecord {
  uint32_t aulCurrent[2];
  DebugRecordEntry aEntries[DEBUG_RECORD_ENTRIES];
  uint32_t ulEntryIndex;
  uint32_t ulSequence;
  uint32_t aulTrace[DEBUG_RECORD_TRACES][DEBUG_RECORD_TRACE_WORDS];
};

extern DebugRecord g_DebugRecord;

// Kind 0 stores values[0] and values[1] as the current values; kind 1 an
// entry {sequence, sequence, values[0], values[1]} at the entry index, then
// counts both on (an index past the table goes back to 0 and stores
// nothing); kinds 2, 3, 4 copy `count` words, at most five, into the
// first, second or third trace array. 0, or -1 for a kind above 4 or no
// values.
int32_t StoreDebugRecord(uint32_t ulKind, const uint32_t* pulValues, uint32_t ulCount);
// Zeroes the whole record.
void ClearDebugRecord();

constexpr uint32_t PAPER_LOG_ENTRIES = 300000;
// The entries a start-up clears.
constexpr uint32_t PAPER_LOG_CLEARED = 40000;
extern uint16_t g_ausPaperLog[PAPER_LOG_ENTRIES];
extern uint32_t g_ulPaperLogCount;

// The count to 0 and the first PAPER_LOG_CLEARED entries to 0.
void ClearPaperLog();
// Appends the tag's low 16 bits, the "Top L" and "Top R" readings and the
// "PaperEmpty" state, each only while the log has room. 0.
int32_t LogPaperSensors(uint32_t ulTag);

// Passes the label, then the microsecond counter as 9 decimal digits, to
// the trace point.
void TraceTimeStamp(const char* pszLabel);
