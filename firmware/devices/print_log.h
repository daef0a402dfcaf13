// The print log: while a sheet is printed the print sequences note what
// happened (unit and side, passes, waits, temperatures, voltages, ribbon
// phases) in a 512-byte record by keyed fields; when an order row's print
// ends the record is appended to a log of up to 2048 records in SDRAM,
// which the host reads record by record. The log lives only in RAM and is
// emptied when a ribbon is set up.
//
// Record layout (multi-byte fields little-endian): keys 0x100-0x600 fill
// bytes 0-10, bytes 11-127 stay zero, and four sub-records of 96 bytes
// follow at 128, 224, 320 and 416, one per print position (0 side B of unit
// L, 1 side A of unit L, 2 side B of unit R, 3 side A of unit R). Indexed
// sub-record fields hold one entry per colour pass (0 yellow, 1 magenta,
// 2 cyan, 3 overcoat), the pass being the key's low byte.
//
// Only the application task uses the log: no lock.
#pragma once

#include <cstdint>

#include "firmware/hal/hw.h"
#include "firmware/platform/global_build.h"

constexpr PhysAddr PRINT_LOG_AREA = 0xC7D00000u;
constexpr PhysAddr PRINT_LOG_AREA_END = 0xC7E00000u;
constexpr uint32_t PRINT_LOG_AREA_BYTES = PRINT_LOG_AREA_END - PRINT_LOG_AREA;
constexpr uint32_t PRINT_LOG_RECORD_BYTES = 512;
constexpr uint32_t PRINT_LOG_RECORDS = PRINT_LOG_AREA_BYTES / PRINT_LOG_RECORD_BYTES;
constexpr uint32_t PRINT_LOG_SUB_RECORD_FIRST = 128;
constexpr uint32_t PRINT_LOG_SUB_RECORD_BYTES = 96;
constexpr uint32_t PRINT_LOG_SUB_RECORDS = 4;
// Indexed fields have one entry per colour pass.
constexpr uint32_t PRINT_LOG_PASSES = 4;

// One field of the record, named by the high part of its key (the key with
// its low 8 bits cleared).
struct PrintLogField {
  uint32_t ulKey;
  uint8_t ucOffset;   // in the record, or in the current sub-record
  uint8_t ucSize;     // bytes; the value is truncated to them
  bool bIndexed;      // entry n (the key's low byte) at offset + n x size
  bool bSubRecord;    // lies in the current sub-record
};
extern const PrintLogField g_aPrintLogFields[];
extern const uint32_t g_ulPrintLogFieldCount;

struct PrintLogRecord {
  uint8_t aucBytes[PRINT_LOG_RECORD_BYTES];
};

class CPrintLog {
 public:
  constexpr CPrintLog() = default;
  // The machine definition's construction: an empty record, the log area
  // cleared, sub-record 0 selected.
  explicit CPrintLog(GlobalBuild);
  CPrintLog(const CPrintLog&) = delete;
  CPrintLog& operator=(const CPrintLog&) = delete;

  // Zeroes the whole log area and restarts the log, but only when something
  // was appended since the last clearing (or at construction). Returns 0.
  int32_t ClearLogArea();
  // Position 0-3 selects that sub-record, anything above selects 0.
  // Returns 0.
  int32_t SelectBlock(uint32_t ulPosition);
  // Stores the value, truncated to the field's size, in the field the key
  // names; the record is pending from then on. -1 (no field changed, the
  // record pending all the same) for a key whose high part names no field
  // or an index above 3.
  int32_t SetField(uint32_t ulKey, uint32_t ulValue);
  // Copies the record into the log while there is room (a full log drops
  // it), then empties the record. Returns 0.
  int32_t Append();
  // *pulPending = 1 while the record holds fields not yet appended.
  int32_t IsPending(uint32_t* pulPending) const;
  // *pulAddress = the SDRAM address of record n: 0, or -1 for n above 2047
  // (nothing stored).
  int32_t GetRecordAddress(uint32_t ulNumber, PhysAddr* pulAddress) const;

 private:
  PhysAddr m_ulWritePointer = 0;
  PrintLogRecord m_Record{};
  // The current sub-record's offset in the record.
  uint32_t m_ulSubRecord = 0;
  uint32_t m_ulAreaDirty = 0;
  uint32_t m_ulPending = 0;
};

extern CPrintLog g_PrintLog;
