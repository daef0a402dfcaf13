// The pre-heat's tables by the ambient index, built from runs of equal or
// falling values.
#include "firmware/control/head_preheat.h"

namespace {

using Table = std::array<uint8_t, PREHEAT_TABLE_SIZE>;

// From index `first` on (up to the next run's first): `value`, lowered by
// `fall` at each further index.
struct Run {
  uint8_t first;
  uint8_t value;
  uint8_t fall;
};

template <uint32_t N>
constexpr Table BuildTable(const Run (&runs)[N]) {
  Table table{};
  for (uint32_t r = 0; r < N; ++r) {
    const uint32_t end = r + 1 < N ? runs[r + 1].first : PREHEAT_TABLE_SIZE;
    for (uint32_t i = runs[r].first; i < end; ++i) {
      table[i] = static_cast<uint8_t>(runs[r].value - runs[r].fall * (i - runs[r].first));
    }
  }
  return table;
}

constexpr Run kLevelRuns[] = {
    {0, 110, 0}, {143, 109, 1}, {148, 103, 1}, {159, 91, 1}, {170, 79, 1}, {175, 74, 0},
};
constexpr Run kDutyRuns[] = {
    {0, 20, 0},   {144, 21, 0}, {148, 22, 0}, {152, 23, 0}, {156, 24, 0},
    {159, 25, 0}, {163, 26, 0}, {167, 27, 0}, {170, 28, 0}, {174, 29, 0},
};
constexpr Run kRunTimeRuns[] = {{0, 0, 0}};

}  // namespace

constexpr Table g_aucPreheatLevel = BuildTable(kLevelRuns);
constexpr Table g_aucPreheatDuty = BuildTable(kDutyRuns);
constexpr Table g_aucPreheatRunTime = BuildTable(kRunTimeRuns);

static_assert(g_aucPreheatLevel[142] == 110 && g_aucPreheatLevel[147] == 105 && g_aucPreheatLevel[158] == 93 &&
              g_aucPreheatLevel[169] == 81 && g_aucPreheatLevel[174] == 75 && g_aucPreheatLevel[255] == 74);
static_assert(g_aucPreheatDuty[143] == 20 && g_aucPreheatDuty[158] == 24 && g_aucPreheatDuty[173] == 28 &&
              g_aucPreheatDuty[174] == 29 && g_aucPreheatDuty[255] == 29);
