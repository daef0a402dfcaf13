#include "firmware/devices/print_log.h"

#include <cstring>

constinit CPrintLog g_PrintLog;

namespace {

constexpr PrintLogField Record(uint32_t ulKey, uint8_t ucOffset, uint8_t ucSize) {
  return {ulKey, ucOffset, ucSize, false, false};
}
constexpr PrintLogField Sub(uint32_t ulKey, uint8_t ucOffset, uint8_t ucSize) {
  return {ulKey, ucOffset, ucSize, false, true};
}
constexpr PrintLogField PerPass(uint32_t ulKey, uint8_t ucOffset, uint8_t ucSize) {
  return {ulKey, ucOffset, ucSize, true, true};
}

constexpr uint32_t kKeyIndexMask = 0xFFu;

}  // namespace

constexpr PrintLogField g_aPrintLogFields[] = {
    // The record's own fields.
    Record(0x100, 0, 2),
    Record(0x200, 2, 2),
    Record(0x300, 4, 4),
    Record(0x400, 8, 1),
    Record(0x500, 9, 1),
    Record(0x600, 10, 1),
    // The current sub-record's; 0x20000 is the print-order row number + 1.
    Sub(0x10000, 0, 1),
    Sub(0x20000, 1, 1),
    Sub(0x30000, 2, 1),
    Sub(0x40000, 3, 1),
    Sub(0x50000, 4, 1),
    PerPass(0x60000, 8, 2),
    PerPass(0x70000, 16, 1),
    PerPass(0x80000, 20, 1),
    PerPass(0x90000, 24, 1),
    PerPass(0xA0000, 28, 1),  // the ribbon phase
    PerPass(0xB0000, 32, 4),  // the pre-heat wait
    PerPass(0xC0000, 48, 1),
    PerPass(0xD0000, 52, 4),  // the thermal-protection waits, in ms
    PerPass(0xE0000, 68, 1),
    Sub(0xF0000, 72, 4),   // the print-line parameter set-up
    Sub(0x100000, 76, 4),  // the print-line parameter set-up
    Sub(0x200000, 80, 4),
    Sub(0x400000, 84, 4),
};
constexpr uint32_t g_ulPrintLogFieldCount = sizeof(g_aPrintLogFields) / sizeof(g_aPrintLogFields[0]);

namespace {

// Every field lies inside its record or sub-record, all passes included.
constexpr bool FieldsFit() {
  for (const PrintLogField& f : g_aPrintLogFields) {
    const uint32_t ulEnd = f.ucOffset + f.ucSize * (f.bIndexed ? PRINT_LOG_PASSES : 1u);
    if (ulEnd > (f.bSubRecord ? PRINT_LOG_SUB_RECORD_BYTES : PRINT_LOG_SUB_RECORD_FIRST)) return false;
  }
  return true;
}
static_assert(FieldsFit());
static_assert(PRINT_LOG_SUB_RECORD_FIRST + PRINT_LOG_SUB_RECORDS * PRINT_LOG_SUB_RECORD_BYTES ==
              PRINT_LOG_RECORD_BYTES);

const PrintLogField* FindField(uint32_t ulKey) {
  const uint32_t ulHigh = ulKey & ~kKeyIndexMask;
  for (const PrintLogField& f : g_aPrintLogFields) {
    if (f.ulKey == ulHigh) return &f;
  }
  return nullptr;
}

}  // namespace

// The record starts zero and not pending (the members' initialisers); the
// area's state is unknown, so it is cleared.
CPrintLog::CPrintLog(GlobalBuild) : m_ulAreaDirty(1) {
  ClearLogArea();
  SelectBlock(0);
}

int32_t CPrintLog::ClearLogArea() {
  if (m_ulAreaDirty == 0) return 0;
  std::memset(PhysToHost(PRINT_LOG_AREA, PRINT_LOG_AREA_BYTES), 0, PRINT_LOG_AREA_BYTES);
  m_ulWritePointer = PRINT_LOG_AREA;
  m_ulAreaDirty = 0;
  return 0;
}

int32_t CPrintLog::SelectBlock(uint32_t ulPosition) {
  const uint32_t ulSub = ulPosition < PRINT_LOG_SUB_RECORDS ? ulPosition : 0;
  m_ulSubRecord = PRINT_LOG_SUB_RECORD_FIRST + ulSub * PRINT_LOG_SUB_RECORD_BYTES;
  return 0;
}

int32_t CPrintLog::SetField(uint32_t ulKey, uint32_t ulValue) {
  m_ulPending = 1;
  const PrintLogField* pField = FindField(ulKey);
  if (pField == nullptr) return -1;
  uint32_t ulOffset = pField->ucOffset;
  if (pField->bIndexed) {
    // An index past the last pass would land in the next field or
    // sub-record.
    const uint32_t ulIndex = ulKey & kKeyIndexMask;
    if (ulIndex >= PRINT_LOG_PASSES) return -1;
    ulOffset += ulIndex * pField->ucSize;
  }
  if (pField->bSubRecord) ulOffset += m_ulSubRecord;
  for (uint32_t i = 0; i < pField->ucSize; ++i) m_Record.aucBytes[ulOffset + i] = static_cast<uint8_t>(ulValue >> (8 * i));
  return 0;
}

int32_t CPrintLog::Append() {
  if (m_ulWritePointer < PRINT_LOG_AREA_END) {
    std::memcpy(PhysToHost(m_ulWritePointer, PRINT_LOG_RECORD_BYTES), m_Record.aucBytes, PRINT_LOG_RECORD_BYTES);
    m_ulWritePointer += PRINT_LOG_RECORD_BYTES;
    m_ulAreaDirty = 1;
  }
  std::memset(m_Record.aucBytes, 0, sizeof m_Record.aucBytes);
  m_ulPending = 0;
  return 0;
}

int32_t CPrintLog::IsPending(uint32_t* pulPending) const {
  *pulPending = m_ulPending;
  return 0;
}

int32_t CPrintLog::GetRecordAddress(uint32_t ulNumber, PhysAddr* pulAddress) const {
  if (ulNumber >= PRINT_LOG_RECORDS) return -1;
  *pulAddress = PRINT_LOG_AREA + ulNumber * PRINT_LOG_RECORD_BYTES;
  return 0;
}
