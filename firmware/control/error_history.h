// The error history: the last ten recorded errors, newest first, with the
// "Total" print counter at the time. They live in RAM in g_ErrorHistTable
// (read by the host's error-log request) and, after every new entry, in a
// new slot of one of two flash sectors used in turn; two main-EEPROM cells
// say which slot and which sector are current.
#pragma once

#include <cstdint>

#include "firmware/hal/hw.h"
#include "firmware/platform/global_build.h"

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
// 1 while the history is usable, 0 after the start-up found no EEPROM.
extern uint16_t g_usErrorHistEnable;

// The flash format: two 8 KB sectors, each a header halfword (byte 0 0x01
// in use, 0xFF erased) and 132 slots of 62 bytes. A slot holds the count
// and head bytes, then ten entries of code major, code minor, counter bits
// 16-31 and bits 0-15 (little-endian halfwords), entry 0 the newest.
namespace errhist {
constexpr PhysAddr kSectorBase[2] = {0x607F4000u, 0x607F6000u};
constexpr uint32_t kSlots = 132;
constexpr uint32_t kLastSlot = kSlots - 1;
constexpr uint32_t kSlotBytes = 62;
constexpr uint32_t kSlotsOffset = 2;
constexpr uint32_t kEntryBytes = 6;
constexpr uint8_t kErased = 0xFF;
constexpr uint16_t kSectorInUse = 0x0001;
constexpr uint32_t kBothSectors = 3;
inline PhysAddr SlotAddress(uint32_t ulSector, uint32_t ulSlot) {
  return kSectorBase[ulSector & 1u] + kSlotsOffset + ulSlot * kSlotBytes;
}
}  // namespace errhist

class CErrorHist {
 public:
  constexpr CErrorHist() = default;
  // Loads the history.
  explicit CErrorHist(GlobalBuild);

  // 0, or -1 when an erase it needed failed.
  int32_t Load();
  // Records the code as the newest entry and saves the history: 0, or -1
  // while the history is disabled.
  int32_t Add(uint16_t usCode);
  // Writes the RAM history as the next slot: 0, or -1 on an EEPROM or flash
  // failure (the slot the cells name stays readable).
  int32_t Save();
  // Bit 0 the first sector, bit 1 the second: 0 or -1.
  int32_t EraseSectors(uint32_t ulMask);
  // Both sectors erased and the records emptied: 0 or -1.
  int32_t Clear();
  void PushRecord(uint8_t ucMajor, uint8_t ucMinor, uint32_t ulCounter);

  int32_t GetHead(uint32_t* pulHead) const;
  int32_t IsBusy(uint32_t* pulBusy) const;
  int32_t RequestClear();
  int32_t IsClearRequested(uint32_t* pulRequested) const;

  // The maintenance screen: the ten entries by code or counter, and the
  // reset prompt.
  int32_t BrowseScreen();

 private:
  void ReadHeaders();
  int32_t EraseInactiveSector();
  int32_t WriteSlotCells(bool bSwitched);
  int32_t ProgramSlot(PhysAddr ulSlot);
  void LoadSlot();

  uint16_t m_usHead = 0;
  uint16_t m_usSlot = 0;
  uint16_t m_usSector = 0;
  uint16_t m_usBusy = 0;
  uint16_t m_usClearRequest = 0;
  uint32_t m_ulSlotAddress = 0;
  uint32_t m_ulSlotSize = 0;
  uint16_t m_ausHeader[2] = {};
};

extern CErrorHist g_ErrorHist;
