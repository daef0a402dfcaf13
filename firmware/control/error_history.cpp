#include "firmware/control/error_history.h"

#include "firmware/devices/eeprom_cells.h"
#include "firmware/devices/life_counters.h"
#include "firmware/hal/kernel.h"
#include "firmware/platform/flash.h"
#include "firmware/platform/ioctl.h"
#include "firmware/platform/ioctl_word.h"

ErrorHistTable g_ErrorHistTable;
uint16_t g_usErrorHistEnable;
constinit CErrorHist g_ErrorHist;

namespace {

using namespace errhist;

// The current slot (0-131; above: no valid history) and sector (bit 0).
const CEepromCell& kSlotCell = g_Cell122;
const CEepromCell& kSectorCell = g_Cell123;

const char* const kSectorUsedError[2] = {"[ErrorHist] Write FlashRom Error (Sector129 USED)",
                                         "[ErrorHist] Write FlashRom Error (Sector130 USED)"};
const char* const kEraseError[2] = {"[ErrorHist] Erase FlashRom Error (Sector129)",
                                    "[ErrorHist] Erase FlashRom Error (Sector130)"};

uint8_t ReadByte(PhysAddr ulAddress) {
  uint8_t ucValue = kErased;
  IoctlRead8(ulAddress, &ucValue);
  return ucValue;
}

uint16_t ReadHalf(PhysAddr ulAddress) {
  return static_cast<uint16_t>(ReadByte(ulAddress) | (ReadByte(ulAddress + 1) << 8));
}

int32_t ProgramBytes(PhysAddr ulAddress, const uint8_t* pucBytes, uint32_t ulLength) {
  return FlashProgram(ulAddress, IoctlPointerWord(pucBytes), ulLength, 1);
}

// An entry as the slot holds it. Erased or half-written codes (an 0xFF
// byte, which no error code has) read as an empty record.
ErrorHistRecord ReadEntry(PhysAddr ulEntry) {
  const uint8_t ucMajor = ReadByte(ulEntry);
  const uint8_t ucMinor = ReadByte(ulEntry + 1);
  if (ucMajor == kErased || ucMinor == kErased) return ErrorHistRecord{};
  const uint32_t ulCounter = static_cast<uint32_t>(ReadHalf(ulEntry + 2)) << 16 | ReadHalf(ulEntry + 4);
  return ErrorHistRecord{ucMajor, ucMinor, {0, 0}, ulCounter};
}

void EmptyRecords() {
  for (ErrorHistRecord& record : g_ErrorHistTable.aRecords) record = ErrorHistRecord{};
}

int32_t WriteCell(const CEepromCell& cell, uint16_t usValue) {
  const uint8_t ucValue = static_cast<uint8_t>(usValue);
  return cell.Write(&ucValue);
}

}  // namespace

CErrorHist::CErrorHist(GlobalBuild) { Load(); }

void CErrorHist::ReadHeaders() {
  for (uint32_t i = 0; i < 2; ++i) m_ausHeader[i] = ReadByte(kSectorBase[i]);
}

int32_t CErrorHist::Load() {
  m_usBusy = 0;
  m_usClearRequest = 0;
  g_usErrorHistEnable = 1;
  ReadHeaders();
  uint8_t ucSlot = 0xFF;
  kSlotCell.Read(&ucSlot);
  m_usSlot = ucSlot;
  if (m_usSlot > kLastSlot) {
    // No valid history: it starts again at slot 0 of erased sectors.
    m_usSlot = 0;
    if (WriteCell(kSlotCell, 0) != 0) {
      syslog(LOG_EMERG, "[ErrorHist] No External EEPROM ...");
      g_usErrorHistEnable = 0;
      syslog(LOG_EMERG, "[ErrorHist] ErrHist Disable ");
    } else if (EraseSectors(kBothSectors) != 0) {
      return -1;
    }
  }
  m_usSector = 0;
  if (g_usErrorHistEnable != 0) {
    uint8_t ucSector = 0;
    kSectorCell.Read(&ucSector);
    m_usSector = ucSector & 1u;
    if (EraseInactiveSector() != 0) return -1;
  }
  m_ulSlotSize = kSlotBytes;
  m_ulSlotAddress = SlotAddress(m_usSector, m_usSlot);
  LoadSlot();
  return 0;
}

void CErrorHist::LoadSlot() {
  EmptyRecords();
  if (g_usErrorHistEnable == 0) {
    g_ErrorHistTable.ucCount = ERROR_HIST_RECORDS;
    g_ErrorHistTable.ucHead = 0;
    m_usHead = 0;
    return;
  }
  const uint8_t ucCount = ReadByte(m_ulSlotAddress);
  const uint8_t ucHead = ReadByte(m_ulSlotAddress + 1);
  g_ErrorHistTable.ucCount = ucCount == kErased ? ERROR_HIST_RECORDS : ucCount;
  m_usHead = ucHead == kErased ? 0 : ucHead;
  g_ErrorHistTable.ucHead = static_cast<uint8_t>(m_usHead);
  for (uint32_t i = 0; i < ERROR_HIST_RECORDS; ++i) {
    const uint32_t p = (m_usHead + i) % ERROR_HIST_RECORDS;
    g_ErrorHistTable.aRecords[p] = ReadEntry(m_ulSlotAddress + kSlotsOffset + p * kEntryBytes);
  }
}

int32_t CErrorHist::EraseInactiveSector() {
  const uint32_t ulInactive = 1u - m_usSector;
  if (m_ausHeader[ulInactive] == kErased) return 0;
  return EraseSectors(1u << ulInactive);
}

int32_t CErrorHist::EraseSectors(uint32_t ulMask) {
  int32_t lResult = 0;
  for (uint32_t i = 0; i < 2; ++i) {
    if ((ulMask & (1u << i)) == 0) continue;
    lResult = FlashEraseSector(kSectorBase[i]);
    if (lResult != 0) {
      syslog(LOG_EMERG, kEraseError[i]);
      return lResult;
    }
    m_ausHeader[i] = ReadByte(kSectorBase[i]);
  }
  return lResult;
}

void CErrorHist::PushRecord(uint8_t ucMajor, uint8_t ucMinor, uint32_t ulCounter) {
  ErrorHistRecord* pRecords = g_ErrorHistTable.aRecords;
  for (uint32_t i = ERROR_HIST_RECORDS - 1; i > 0; --i) pRecords[i] = pRecords[i - 1];
  pRecords[0] = ErrorHistRecord{ucMajor, ucMinor, {0, 0}, ulCounter};
}

int32_t CErrorHist::Add(uint16_t usCode) {
  if (g_usErrorHistEnable == 0) return -1;
  m_usBusy = 1;
  uint32_t ulCounter = 0;
  g_CounterTotal.GetValue(&ulCounter);
  // The head steps 9, 8, ..., 0, 9, ...
  if (m_usHead == 0 || m_usHead > ERROR_HIST_RECORDS) m_usHead = ERROR_HIST_RECORDS;
  --m_usHead;
  g_ErrorHistTable.ucHead = static_cast<uint8_t>(m_usHead);
  PushRecord(static_cast<uint8_t>(usCode >> 8), static_cast<uint8_t>(usCode & 0xFFu), ulCounter);
  Save();
  if (m_usClearRequest != 0) {
    m_usClearRequest = 0;
    Clear();
  }
  m_usBusy = 0;
  return 0;
}

// The slot is programmed before the cells name it, and the sector just
// left is erased last: a failure or a power cut at any step leaves the
// slot the cells name readable, and costs at most the newest entry.
int32_t CErrorHist::Save() {
  const uint16_t usOldSlot = m_usSlot;
  const uint16_t usOldSector = m_usSector;
  const bool bSwitch = m_usSlot + 1u > kLastSlot;
  const uint16_t usSlot = bSwitch ? 0 : static_cast<uint16_t>(m_usSlot + 1u);
  const uint16_t usSector = bSwitch ? static_cast<uint16_t>(1u - m_usSector) : m_usSector;
  const PhysAddr ulSlot = SlotAddress(usSector, usSlot);
  // A slot that is not blank is never programmed over: its sector is
  // erased first (after a switch, the sector that is not current).
  if (ReadByte(ulSlot) != kErased || (bSwitch && m_ausHeader[usSector] != kErased)) {
    if (EraseSectors(1u << usSector) != 0) return -1;
  }
  if (ProgramSlot(ulSlot) != 0) return -1;
  if (m_ausHeader[usSector] == kErased) {
    const uint8_t aucUsed[2] = {static_cast<uint8_t>(kSectorInUse), static_cast<uint8_t>(kSectorInUse >> 8)};
    if (ProgramBytes(kSectorBase[usSector], aucUsed, 2) != 0) {
      syslog(LOG_EMERG, kSectorUsedError[usSector]);
      return -1;
    }
    m_ausHeader[usSector] = aucUsed[0];
  }
  m_usSlot = usSlot;
  m_usSector = usSector;
  m_ulSlotAddress = ulSlot;
  if (WriteSlotCells(bSwitch) != 0) {
    if (bSwitch) {
      // The cells still name the old sector's slot, which stays.
      m_usSlot = usOldSlot;
      m_usSector = usOldSector;
      m_ulSlotAddress = SlotAddress(usOldSector, usOldSlot);
    }
    return -1;
  }
  if (bSwitch && EraseInactiveSector() != 0) return -1;
  return 0;
}

int32_t CErrorHist::WriteSlotCells(bool bSwitched) {
  if (!bSwitched) return WriteCell(kSlotCell, m_usSlot);
  if (WriteCell(kSlotCell, 0) != 0) return -1;
  return WriteCell(kSectorCell, m_usSector);
}

int32_t CErrorHist::ProgramSlot(PhysAddr ulSlot) {
  const uint8_t aucHeader[2] = {g_ErrorHistTable.ucCount, static_cast<uint8_t>(m_usHead)};
  if (ProgramBytes(ulSlot, aucHeader, 2) != 0) {
    syslog(LOG_EMERG, "[ErrorHist] Write FlashRom Error (Num, NowIndex)");
    return -1;
  }
  for (uint32_t k = 0; k < ERROR_HIST_RECORDS; ++k) {
    const ErrorHistRecord& r = g_ErrorHistTable.aRecords[k];
    const uint8_t aucEntry[kEntryBytes] = {r.ucCodeMajor,
                                           r.ucCodeMinor,
                                           static_cast<uint8_t>(r.ulTotalCount >> 16),
                                           static_cast<uint8_t>(r.ulTotalCount >> 24),
                                           static_cast<uint8_t>(r.ulTotalCount),
                                           static_cast<uint8_t>(r.ulTotalCount >> 8)};
    if (ProgramBytes(ulSlot + kSlotsOffset + k * kEntryBytes, aucEntry, kEntryBytes) != 0) {
      syslog(LOG_EMERG, "[ErrorHist] Write FlashRom Error (ErrorCode, Counter)");
      return -1;
    }
  }
  return 0;
}

int32_t CErrorHist::Clear() {
  if (EraseSectors(kBothSectors) != 0) return -1;
  m_usClearRequest = 0;
  EmptyRecords();
  m_usHead = 0;
  g_ErrorHistTable.ucHead = 0;
  return 0;
}

int32_t CErrorHist::GetHead(uint32_t* pulHead) const {
  *pulHead = m_usHead;
  return 0;
}

int32_t CErrorHist::IsBusy(uint32_t* pulBusy) const {
  *pulBusy = m_usBusy;
  return 0;
}

int32_t CErrorHist::RequestClear() {
  m_usClearRequest = 1;
  return 0;
}

int32_t CErrorHist::IsClearRequested(uint32_t* pulRequested) const {
  *pulRequested = m_usClearRequest;
  return 0;
}
