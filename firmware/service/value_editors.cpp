// The two-part editor of the settings with one decimal, and the density
// menu of the head chosen in "Density         ".
#include "firmware/service/value_editors.h"

#include "firmware/control/keys.h"
#include "firmware/control/menu.h"
#include "firmware/devices/fan.h"
#include "firmware/devices/parameter.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/settings.h"
#include "firmware/platform/time_base.h"
#include "firmware/service/density_settings.h"
#include "firmware/service/screen_text.h"

uint16_t g_usDensityHead;

const DensityItem g_DensityItems[DENSITY_ITEMS] = {
    {{&g_ParamDensityYmcL, &g_ParamDensityYmcR}, {nullptr, nullptr}},
    {{&g_ParamDensityLowL, &g_ParamDensityLowR}, {nullptr, nullptr}},
    {{&g_ParamDensityLmL, &g_ParamDensityLmR}, {&g_ParamDensityLmMinorL, &g_ParamDensityLmMinorR}},
    {{&g_ParamDensityMtL, &g_ParamDensityMtR}, {&g_ParamDensityMtMinorL, &g_ParamDensityMtMinorR}},
    {{&g_ParamDensityMt2L, &g_ParamDensityMt2R}, {&g_ParamDensityMt2MinorL, &g_ParamDensityMt2MinorR}},
    {{&g_ParamDensitySpL, &g_ParamDensitySpR}, {nullptr, nullptr}},
};

namespace {

constexpr uint32_t kValueColumn = 11;

struct PairRange {
  int32_t lMin, lMax, lMinorMin, lMinorMax;
};

// The value steps within min.0 to max.0; from max.0 (or above it, through a
// stored minor) a step up wraps to min.0.
void CoarseUp(const PairRange& r, int32_t& a, int32_t& b) {
  if (a >= r.lMax) {
    a = r.lMin;
    b = r.lMinorMin;
  } else if (a == r.lMax - 1) {
    a = r.lMax;
    b = r.lMinorMin;
  } else {
    ++a;
  }
}
void CoarseDown(const PairRange& r, int32_t& a, int32_t& b) {
  if (a > r.lMin) {
    --a;
  } else if (b > r.lMinorMin) {
    b = r.lMinorMin;
  } else {
    a = r.lMax;
  }
}
void FineUp(const PairRange& r, int32_t& a, int32_t& b) {
  if (a >= r.lMax) {
    a = r.lMin;
    b = r.lMinorMin;
  } else if (b >= r.lMinorMax) {
    b = r.lMinorMin;
    ++a;
  } else {
    ++b;
  }
}
void FineDown(const PairRange& r, int32_t& a, int32_t& b) {
  if (b > r.lMinorMin) {
    --b;
  } else if (a > r.lMin) {
    --a;
    b = r.lMinorMax;
  } else {
    a = r.lMax;
  }
}

// The head fan and side fan of each unit, and its head thermistor.
struct DensityUnit {
  CFanCrutch* pHeadFan;
  CFanCrutch* pSideFan;
  CAnalogSensor* pThermistor;
};
const DensityUnit kDensityUnits[2] = {{&g_FanHeadL, &g_FanSideL, &g_AdHThermL},
                                      {&g_FanHeadR, &g_FanSideR, &g_AdHThermR}};

uint32_t DensityUnitIndex() { return g_usDensityHead == 2 ? 1 : 0; }

void RunDensityItem() {
  const uint32_t ulItem = GetMenuSelection();
  if (ulItem < 1 || ulItem > DENSITY_ITEMS) return;
  const uint32_t ulUnit = DensityUnitIndex();
  const DensityItem& item = g_DensityItems[ulItem - 1];
  if (item.apMinor[ulUnit] != nullptr) {
    EditParamPair(item.apMajor[ulUnit], item.apMinor[ulUnit]);
  } else {
    EditParameter(item.apMajor[ulUnit]);
  }
  // The head cools under the fans while the thermistor is watched.
  const DensityUnit& unit = kDensityUnits[ulUnit];
  unit.pHeadFan->On();
  unit.pSideFan->On();
  unit.pThermistor->ShowVoltage();
  unit.pHeadFan->Off();
  unit.pSideFan->Off();
}

const char* const kDensityLabels[] = {nullptr,
                                      "Density     :YMC",
                                      "Density Low :YMC",
                                      "Density   :Lami ",
                                      "Density   :Matte",
                                      "Density  :Matte2",
                                      "Density      :SP",
                                      nullptr};
const MenuHandler kDensityHandlers[] = {SelectFirstMenuItem, RunDensityItem, RunDensityItem, RunDensityItem,
                                        RunDensityItem,      RunDensityItem, RunDensityItem};
const MenuDesc kDensityMenu = {kDensityLabels, kDensityHandlers};

void ChooseDensityHead() {
  const uint32_t ulItem = GetMenuSelection();
  if (ulItem != 1 && ulItem != 2) return;
  g_usDensityHead = static_cast<uint16_t>(ulItem);
  RunMenu(&kDensityMenu, 0);
}

const char* const kHeadChoiceLabels[] = {nullptr, "TPH1 Left       ", "TPH2 Right      ", nullptr};
const MenuHandler kHeadChoiceHandlers[] = {SelectFirstMenuItem, ChooseDensityHead, ChooseDensityHead};
const MenuDesc kHeadChoiceMenu = {kHeadChoiceLabels, kHeadChoiceHandlers};

}  // namespace

int32_t EditParamPair(CParameter* pMajor, CParameter* pMinor) {
  PairRange range{};
  pMajor->GetMin(&range.lMin);
  pMajor->GetMax(&range.lMax);
  pMinor->GetMin(&range.lMinorMin);
  pMinor->GetMax(&range.lMinorMax);
  int32_t a = 0;
  int32_t b = 0;
  pMajor->GetValue(&a);
  pMinor->GetValue(&b);
  ShowLine(pMajor->GetLabel());
  for (;;) {
    WriteDecimalPairAt(a, b, kValueColumn);
    switch (WaitAnyKey()) {
      case KEY_MENU: CoarseUp(range, a, b); break;
      case KEY_FEED: CoarseDown(range, a, b); break;
      case KEY_INC: FineUp(range, a, b); break;
      case KEY_DEC: FineDown(range, a, b); break;
      case KEY_ENTER:
        pMajor->SetValue(a);
        pMinor->SetValue(b);
        BlankLine();
        g_MsTimer.WaitMs(200);
        ShowLine(pMajor->GetLabel());
        break;
      case KEY_CLEAR: return 0;
      default: break;
    }
  }
}

void RunDensityMenu() { RunMenu(&kHeadChoiceMenu, 0); }
