// The image-buffer slot tables over the download area. A table hands out
// runs of consecutive buffers, keeps who holds them (a buffer type and two
// host tags) and their state: free, in use, released (printed). Mirrored
// tables copy their slot states into the host's buffer-status block.
#pragma once

#include <cstdint>

// A slot's status: buffer type in the high byte, state in the low byte.
using BufSlotStatus = uint16_t;
constexpr BufSlotStatus BUF_SLOT_FREE = 0;
constexpr BufSlotStatus BUF_SLOT_IN_USE = 1;
constexpr BufSlotStatus BUF_SLOT_RELEASED = 2;
constexpr BufSlotStatus BUF_TYPE_PRINT = 0x100;
constexpr BufSlotStatus BUF_TYPE_UPDATE = 0x300;

constexpr uint32_t BUF_SLOT_CAPACITY = 32;
constexpr uint32_t BUF_SLOT_NO_OFFSET = 0xFFFFFFFFu;

class CBufSlotTable {
 public:
  constexpr CBufSlotTable() = default;
  // Copies ulCount offsets (at most the capacity), then Init.
  CBufSlotTable(uint32_t ulCount, const uint32_t* pulOffsets, uint32_t ulMirror);

  // Every slot free, run length 1, tags 0; then the mirror.
  void Init();
  // First fit of a run of n free slots from slot 0 (a run never wraps past
  // the last slot): 0 with the start index and its offset, or -1 with
  // index -1 and offset 0xFFFFFFFF (also for n = 0). The mirror follows.
  int32_t Allocate(uint16_t usType, uint32_t ulCount, uint16_t usTag1, uint16_t usTag2, int32_t* plIndex,
                   uint32_t* pulOffset);
  // Marks the run at a free index in use as Allocate does: -2 for n = 0,
  // -1 when the run is not free or does not fit.
  int32_t AllocateAt(uint16_t usType, uint32_t ulCount, uint32_t ulIndex, uint32_t* pulOffset);
  // The run at index becomes released: -1 for an index out of the table,
  // -2 unless every slot of the run is in use. The mirror is not updated.
  int32_t Release(uint32_t ulIndex);
  int32_t ReleaseByAddress(uint32_t ulOffset);
  // The run at index becomes free, tags 0: -1 for an index out of the table.
  int32_t Free(uint32_t ulIndex);
  int32_t FreeByAddress(uint32_t ulOffset);
  // The first slot with this offset: 0, or -1.
  int32_t FindByAddress(uint32_t* pulIndex, uint32_t ulOffset) const;
  int32_t GetAddress(uint32_t ulIndex, uint32_t* pulOffset) const;
  // Mode 0: *pulOut = 1 when no slot is free; any other mode: 1 when every
  // slot is released. Else 0.
  int32_t TestAll(uint32_t* pulOut, uint32_t ulMode) const;
  // Slots whose whole status word is 0.
  int32_t CountFree(uint32_t* pulOut) const;
  // Copies the count status words.
  int32_t GetStates(BufSlotStatus* pusOut) const;

  uint32_t Count() const { return m_ulCount; }

 private:
  bool RunFits(uint32_t ulStart, uint32_t ulCount) const;
  void MarkRun(uint16_t usType, uint32_t ulStart, uint32_t ulCount, uint16_t usTag1, uint16_t usTag2);
  void UpdateMirror() const;

  uint32_t m_ulCount = 0;
  BufSlotStatus m_ausStatus[BUF_SLOT_CAPACITY] = {};
  uint32_t m_aulOffset[BUF_SLOT_CAPACITY] = {};
  uint16_t m_ausRunLength[BUF_SLOT_CAPACITY] = {};
  uint16_t m_ausTag1[BUF_SLOT_CAPACITY] = {};
  uint16_t m_ausTag2[BUF_SLOT_CAPACITY] = {};
  uint16_t m_usSearchAnchor = 0;
  uint32_t m_ulMirror = 0;
};

// The four tables: coarse (3 buffers) and fine (18 buffers) views of the
// colour-image area (A, mirrored to the host) and of the one-bit image area
// (B).
extern CBufSlotTable g_BufSlots3A;
extern CBufSlotTable g_BufSlots3B;
extern CBufSlotTable g_BufSlots18A;
extern CBufSlotTable g_BufSlots18B;

// The pools of the current print mode: the colour-image pool, then the
// one-bit image pool. Print mode 0 holds after reset, so the coarse tables
// are named from the start.
constexpr uint32_t BUF_POOL_COLOUR = 0;
constexpr uint32_t BUF_POOL_ONE_BIT = 1;
extern CBufSlotTable* g_pCurBufSlots[2];

// The bytes of one buffer of the table (all its buffers are equal), 0 for
// a table not among the four.
uint32_t BufSlotBytes(const CBufSlotTable* pTable);

// Builds the four tables in their construction order.
void ConstructBufSlotTables();
