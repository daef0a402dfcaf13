// The status items filled from the life counters, the remaining ribbon and
// paper and the "Key Enable" setting, at start-up and whenever a sequence
// has changed them.
#include "firmware/control/host_status_table.h"
#include "firmware/devices/life_counters.h"
#include "firmware/devices/settings.h"
#include "firmware/mechanism/ribbon_roll.h"
#include "firmware/printengine/roll_diameter.h"
#include "protocol/codes.h"

namespace {

struct CounterItem {
  uint32_t ulId;
  const CLifeCounter* pCounter;
};

// Items 16-28, then 64-69: the order in which they are filled.
constexpr CounterItem kCounterItems[] = {
    {SI_COUNTER_TOTAL, &g_CounterTotal},
    {SI_COUNTER_MAINTE, &g_CounterMainte},
    {SI_COUNTER_TOTAL_LENGTH_L, &g_CounterTotalLengthL},
    {SI_COUNTER_TOTAL_LENGTH_R, &g_CounterTotalLengthR},
    {SI_COUNTER_MNT_LENGTH_L, &g_CounterMntLengthL},
    {SI_COUNTER_MNT_LENGTH_R, &g_CounterMntLengthR},
    {SI_COUNTER_TOTAL_L, &g_CounterTotalL},
    {SI_COUNTER_TOTAL_R, &g_CounterTotalR},
    {SI_COUNTER_MNT_L, &g_CounterMntL},
    {SI_COUNTER_MNT_R, &g_CounterMntR},
    {SI_COUNTER_MEDIA_PRN, &g_CounterMediaPrn},
    {SI_COUNTER_MEDIA_PRN_L, &g_CounterMediaPrnL},
    {SI_COUNTER_MEDIA_PRN_R, &g_CounterMediaPrnR},
};
constexpr CounterItem kCounterItemsHigh[] = {
    {SI_COUNTER_CUT, &g_CounterCut},
    {SI_COUNTER_CAROUSEL, &g_CounterCarousel},
    {SI_COUNTER_HEAD_LENGTH_L, &g_CounterHeadLengthL},
    {SI_COUNTER_HEAD_LENGTH_R, &g_CounterHeadLengthR},
    {SI_COUNTER_HEAD_PRINTS_L, &g_CounterHeadPrintsL},
    {SI_COUNTER_HEAD_PRINTS_R, &g_CounterHeadPrintsR},
};

template <uint32_t N>
void FillCounterItems(const CounterItem (&items)[N]) {
  for (const CounterItem& item : items) {
    uint32_t ulValue = 0;
    item.pCounter->GetValue(&ulValue);
    SetStatusItem(item.ulId, ulValue, 0);
  }
}

void ClearItems(uint32_t ulFirst, uint32_t ulLast) {
  for (uint32_t ulId = ulFirst; ulId <= ulLast; ++ulId) SetStatusItem(ulId, 0, 0);
}

}  // namespace

int32_t InitStatusItems() {
  ClearItems(SI_ERROR_MAJOR, SI_ERROR_MINOR);
  SetStatusItem(SI_PRINTER_STATE, protocol::PRINTER_STATE_CPU_INIT, 0);
  SetStatusItem(SI_AUX_STATUS, 0, 0);
  FillCounterItems(kCounterItems);
  ClearItems(SI_RIBBON_REMAIN_L, SI_PAPER_REMAIN);
  FillCounterItems(kCounterItemsHigh);
  SetStatusItem(SI_KEY_ENABLE, static_cast<uint32_t>(SettingValue(g_ParamKeyEnable)), 0);
  ClearItems(SI_JOB_STATUS_0, SI_TONE_CURVE_8);
  ClearItems(SI_UNIT_ASSIGN_1, SI_PRINT_MODE);
  return 0;
}

int32_t RefreshCounterItems() {
  FillCounterItems(kCounterItems);
  SetStatusItem(SI_RIBBON_REMAIN_L, GetRibbonRemainPercent(0), 0);
  SetStatusItem(SI_RIBBON_REMAIN_R, GetRibbonRemainPercent(1), 0);
  uint32_t ulPaperPercent = 0;
  g_RollDiameter.GetRemainPercent(&ulPaperPercent);
  SetStatusItem(SI_PAPER_REMAIN, ulPaperPercent, 0);
  FillCounterItems(kCounterItemsHigh);
  return 0;
}
