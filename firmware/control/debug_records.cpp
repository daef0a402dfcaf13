#include "firmware/control/debug_records.h"

#include <cstring>

#include "firmware/devices/sensors.h"
#include "firmware/platform/number_text.h"
#include "firmware/platform/trace_point.h"
#include "firmware/platform/us_timer.h"

DebugRecord g_DebugRecord;
uint16_t g_ausPaperLog[PAPER_LOG_ENTRIES];
uint32_t g_ulPaperLogCount;

namespace {

constexpr uint32_t kKindCurrent = 0;
constexpr uint32_t kKindEntry = 1;
constexpr uint32_t kKindFirstTrace = 2;
constexpr uint32_t kKindLast = 4;
constexpr uint32_t kTimeStampDigits = 9;

void AppendPaperLog(uint32_t ulValue) {
  if (g_ulPaperLogCount >= PAPER_LOG_ENTRIES) return;
  g_ausPaperLog[g_ulPaperLogCount] = static_cast<uint16_t>(ulValue & 0xFFFFu);
  ++g_ulPaperLogCount;
}

}  // namespace

int32_t StoreDebugRecord(uint32_t ulKind, const uint32_t* pulValues, uint32_t ulCount) {
  if (ulKind > kKindLast || pulValues == nullptr) return -1;
  DebugRecord& r = g_DebugRecord;
  if (ulKind == kKindCurrent) {
    r.aulCurrent[0] = pulValues[0];
    r.aulCurrent[1] = pulValues[1];
  } else if (ulKind == kKindEntry) {
    if (r.ulEntryIndex >= DEBUG_RECORD_ENTRIES) {
      r.ulEntryIndex = 0;
      return 0;
    }
    r.aEntries[r.ulEntryIndex] = {r.ulSequence, r.ulSequence, pulValues[0], pulValues[1]};
    ++r.ulSequence;
    ++r.ulEntryIndex;
  } else {
    // The callers pass five words; a longer count would run past the array.
    const uint32_t ulWords = ulCount < DEBUG_RECORD_TRACE_WORDS ? ulCount : DEBUG_RECORD_TRACE_WORDS;
    uint32_t* pulTrace = r.aulTrace[ulKind - kKindFirstTrace];
    for (uint32_t i = 0; i < ulWords; ++i) pulTrace[i] = pulValues[i];
  }
  return 0;
}

void ClearDebugRecord() { g_DebugRecord = DebugRecord{}; }

void ClearPaperLog() {
  g_ulPaperLogCount = 0;
  std::memset(g_ausPaperLog, 0, PAPER_LOG_CLEARED * sizeof(g_ausPaperLog[0]));
}

int32_t LogPaperSensors(uint32_t ulTag) {
  AppendPaperLog(ulTag);
  uint32_t ulReading = 0;
  g_AdTopL.Read(&ulReading);
  AppendPaperLog(ulReading);
  ulReading = 0;
  g_AdTopR.Read(&ulReading);
  AppendPaperLog(ulReading);
  uint32_t ulState = 0;
  g_AdPaperEmpty.GetState(&ulState);
  AppendPaperLog(ulState);
  return 0;
}

void TraceTimeStamp(const char* pszLabel) {
  DebugTrace(pszLabel);
  char szTime[kTimeStampDigits + 1];
  FormatDec(szTime, g_UsTimer.NowUs(), kTimeStampDigits);
  DebugTrace(szTime);
}
