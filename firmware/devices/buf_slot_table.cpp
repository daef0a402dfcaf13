#include "firmware/devices/buf_slot_table.h"

#include "firmware/hostif/usb_cmd_blocks.h"

namespace {

constexpr BufSlotStatus STATE_MASK = 0x00FF;

BufSlotStatus State(BufSlotStatus usStatus) { return static_cast<BufSlotStatus>(usStatus & STATE_MASK); }

}  // namespace

CBufSlotTable::CBufSlotTable(uint32_t ulCount, const uint32_t* pulOffsets, uint32_t ulMirror)
    : m_ulCount(ulCount <= BUF_SLOT_CAPACITY ? ulCount : BUF_SLOT_CAPACITY), m_ulMirror(ulMirror) {
  for (uint32_t i = 0; i < m_ulCount; ++i) m_aulOffset[i] = pulOffsets[i];
  Init();
}

void CBufSlotTable::Init() {
  for (uint32_t i = 0; i < BUF_SLOT_CAPACITY; ++i) {
    m_ausStatus[i] = BUF_SLOT_FREE;
    m_ausRunLength[i] = 1;
    m_ausTag1[i] = 0;
    m_ausTag2[i] = 0;
  }
  m_usSearchAnchor = static_cast<uint16_t>(m_ulCount - 1);
  UpdateMirror();
}

bool CBufSlotTable::RunFits(uint32_t ulStart, uint32_t ulCount) const {
  if (ulCount == 0 || ulStart >= m_ulCount || ulCount > m_ulCount - ulStart) return false;
  for (uint32_t i = ulStart; i < ulStart + ulCount; ++i) {
    if (State(m_ausStatus[i]) != BUF_SLOT_FREE) return false;
  }
  return true;
}

// Only the start slot carries the run's length; the others are runs of
// their own length 1, so a stale length from an earlier run never names
// slots that this run does not hold.
void CBufSlotTable::MarkRun(uint16_t usType, uint32_t ulStart, uint32_t ulCount, uint16_t usTag1, uint16_t usTag2) {
  for (uint32_t i = ulStart; i < ulStart + ulCount; ++i) {
    m_ausStatus[i] = static_cast<BufSlotStatus>(usType | BUF_SLOT_IN_USE);
    m_ausTag1[i] = usTag1;
    m_ausTag2[i] = usTag2;
    m_ausRunLength[i] = 1;
  }
  m_ausRunLength[ulStart] = static_cast<uint16_t>(ulCount);
}

int32_t CBufSlotTable::Allocate(uint16_t usType, uint32_t ulCount, uint16_t usTag1, uint16_t usTag2, int32_t* plIndex,
                                uint32_t* pulOffset) {
  int32_t lResult = -1;
  *plIndex = -1;
  *pulOffset = BUF_SLOT_NO_OFFSET;
  for (uint32_t k = 0; k < m_ulCount; ++k) {
    uint32_t ulStart = static_cast<uint32_t>(m_usSearchAnchor) + 1 + k;
    if (ulStart >= m_ulCount) ulStart -= m_ulCount;
    if (!RunFits(ulStart, ulCount)) continue;
    MarkRun(usType, ulStart, ulCount, usTag1, usTag2);
    *plIndex = static_cast<int32_t>(ulStart);
    *pulOffset = m_aulOffset[ulStart];
    lResult = 0;
    break;
  }
  UpdateMirror();
  return lResult;
}

int32_t CBufSlotTable::AllocateAt(uint16_t usType, uint32_t ulCount, uint32_t ulIndex, uint32_t* pulOffset) {
  if (ulCount == 0) return -2;
  if (!RunFits(ulIndex, ulCount)) return -1;
  MarkRun(usType, ulIndex, ulCount, 0, 0);
  *pulOffset = m_aulOffset[ulIndex];
  UpdateMirror();
  return 0;
}

int32_t CBufSlotTable::Release(uint32_t ulIndex) {
  if (ulIndex >= m_ulCount) return -1;
  const uint32_t ulRun = m_ausRunLength[ulIndex];
  if (ulRun > m_ulCount - ulIndex) return -2;
  for (uint32_t i = ulIndex; i < ulIndex + ulRun; ++i) {
    if (State(m_ausStatus[i]) != BUF_SLOT_IN_USE) return -2;
  }
  for (uint32_t i = ulIndex; i < ulIndex + ulRun; ++i) {
    m_ausStatus[i] = static_cast<BufSlotStatus>((m_ausStatus[i] & ~STATE_MASK) | BUF_SLOT_RELEASED);
  }
  return 0;
}

int32_t CBufSlotTable::ReleaseByAddress(uint32_t ulOffset) {
  uint32_t ulIndex = 0;
  if (FindByAddress(&ulIndex, ulOffset) != 0) return -1;
  return Release(ulIndex);
}

int32_t CBufSlotTable::Free(uint32_t ulIndex) {
  if (ulIndex >= m_ulCount) return -1;
  const uint32_t ulRun = m_ausRunLength[ulIndex];
  for (uint32_t i = ulIndex; i < ulIndex + ulRun && i < m_ulCount; ++i) {
    m_ausStatus[i] = BUF_SLOT_FREE;
    m_ausTag1[i] = 0;
    m_ausTag2[i] = 0;
    m_ausRunLength[i] = 1;
  }
  UpdateMirror();
  return 0;
}

int32_t CBufSlotTable::FreeByAddress(uint32_t ulOffset) {
  uint32_t ulIndex = 0;
  int32_t lResult = -1;
  if (FindByAddress(&ulIndex, ulOffset) == 0) lResult = Free(ulIndex);
  UpdateMirror();
  return lResult;
}

int32_t CBufSlotTable::FindByAddress(uint32_t* pulIndex, uint32_t ulOffset) const {
  for (uint32_t i = 0; i < m_ulCount; ++i) {
    if (m_aulOffset[i] == ulOffset) {
      *pulIndex = i;
      return 0;
    }
  }
  return -1;
}

int32_t CBufSlotTable::GetAddress(uint32_t ulIndex, uint32_t* pulOffset) const {
  if (ulIndex >= m_ulCount) return -1;
  *pulOffset = m_aulOffset[ulIndex];
  return 0;
}

int32_t CBufSlotTable::TestAll(uint32_t* pulOut, uint32_t ulMode) const {
  bool bAll = true;
  for (uint32_t i = 0; i < m_ulCount && bAll; ++i) {
    const BufSlotStatus usState = State(m_ausStatus[i]);
    bAll = ulMode == 0 ? usState != BUF_SLOT_FREE : usState == BUF_SLOT_RELEASED;
  }
  *pulOut = bAll ? 1 : 0;
  return 0;
}

int32_t CBufSlotTable::CountFree(uint32_t* pulOut) const {
  uint32_t ulFree = 0;
  for (uint32_t i = 0; i < m_ulCount; ++i) {
    if (m_ausStatus[i] == BUF_SLOT_FREE) ++ulFree;
  }
  *pulOut = ulFree;
  return 0;
}

int32_t CBufSlotTable::GetStates(BufSlotStatus* pusOut) const {
  for (uint32_t i = 0; i < m_ulCount; ++i) pusOut[i] = m_ausStatus[i];
  return 0;
}

// Every entry the host sees is written, whatever the count: slots beyond a
// short table read free with zero tags. The entries' last byte is not ours.
void CBufSlotTable::UpdateMirror() const {
  if (m_ulMirror == 0) return;
  BufferStatusBlock* pBlock = nullptr;
  usb_comm_get_buffer_status_block(&pBlock);
  for (uint32_t i = 0; i < BUFFER_STATUS_ENTRIES; ++i) {
    uint8_t* pucEntry = pBlock->aucEntries[i];
    pucEntry[0] = m_ausStatus[i] != BUF_SLOT_FREE ? 1 : 0;
    pucEntry[1] = static_cast<uint8_t>(m_ausTag1[i] & 0xFFu);
    pucEntry[2] = static_cast<uint8_t>(m_ausTag2[i] & 0xFFu);
  }
}
