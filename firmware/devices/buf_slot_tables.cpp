// The machine's four image-buffer slot tables and their buffer offsets in
// the download area.
#include "firmware/devices/buf_slot_table.h"
#include "firmware/hal/global.h"

namespace {

constexpr uint32_t COARSE_SLOTS = 3;
constexpr uint32_t FINE_SLOTS = 18;

// Offsets of k equal buffers from a base.
template <uint32_t N>
struct OffsetTable {
  uint32_t aul[N];
};
template <uint32_t N>
constexpr OffsetTable<N> EvenOffsets(uint32_t ulBase, uint32_t ulStep) {
  OffsetTable<N> table{};
  for (uint32_t k = 0; k < N; ++k) table.aul[k] = ulBase + k * ulStep;
  return table;
}

// Colour images: three of 26 MiB, or eighteen of 0x455000 bytes.
constexpr uint32_t COARSE_COLOUR_BYTES = 0x1A00000u;
constexpr uint32_t FINE_COLOUR_BYTES = 0x455000u;
// One-bit images behind them: three of 0x120000, or eighteen of 0x30000.
constexpr uint32_t COARSE_ONE_BIT_BYTES = 0x120000u;
constexpr uint32_t FINE_ONE_BIT_BYTES = 0x30000u;
constexpr OffsetTable<COARSE_SLOTS> g_BufOffsets3A = EvenOffsets<COARSE_SLOTS>(0x0000000u, COARSE_COLOUR_BYTES);
constexpr OffsetTable<COARSE_SLOTS> g_BufOffsets3B = EvenOffsets<COARSE_SLOTS>(0x4E00000u, COARSE_ONE_BIT_BYTES);
constexpr OffsetTable<FINE_SLOTS> g_BufOffsets18A = EvenOffsets<FINE_SLOTS>(0x0000000u, FINE_COLOUR_BYTES);
constexpr OffsetTable<FINE_SLOTS> g_BufOffsets18B = EvenOffsets<FINE_SLOTS>(0x4E00000u, FINE_ONE_BIT_BYTES);

}  // namespace

constinit CBufSlotTable g_BufSlots3A;
constinit CBufSlotTable g_BufSlots3B;
constinit CBufSlotTable g_BufSlots18A;
constinit CBufSlotTable g_BufSlots18B;

constinit CBufSlotTable* g_pCurBufSlots[2] = {&g_BufSlots3A, &g_BufSlots3B};

namespace {
struct TableBytes {
  const CBufSlotTable* pTable;
  uint32_t ulBytes;
};
constexpr TableBytes kTableBytes[] = {
    {&g_BufSlots3A, COARSE_COLOUR_BYTES},
    {&g_BufSlots3B, COARSE_ONE_BIT_BYTES},
    {&g_BufSlots18A, FINE_COLOUR_BYTES},
    {&g_BufSlots18B, FINE_ONE_BIT_BYTES},
};
}  // namespace

uint32_t BufSlotBytes(const CBufSlotTable* pTable) {
  for (const TableBytes& entry : kTableBytes) {
    if (entry.pTable == pTable) return entry.ulBytes;
  }
  return 0;
}

void ConstructBufSlotTables() {
  hal::ConstructGlobal(g_BufSlots3A, COARSE_SLOTS, g_BufOffsets3A.aul, 1u);
  hal::ConstructGlobal(g_BufSlots3B, COARSE_SLOTS, g_BufOffsets3B.aul, 0u);
  hal::ConstructGlobal(g_BufSlots18A, FINE_SLOTS, g_BufOffsets18A.aul, 1u);
  hal::ConstructGlobal(g_BufSlots18B, FINE_SLOTS, g_BufOffsets18B.aul, 0u);
}
