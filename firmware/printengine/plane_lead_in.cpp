// The lead-in of each plane as data.
#include "firmware/printengine/plane_lead_in.h"

#include "firmware/devices/settings.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/sequences/ribbon_winding.h"

namespace {

enum LeadInBase : uint8_t { LEAD_RIBBON, LEAD_FRONT_DUMMY };
enum LeadInOffset : uint8_t { OFFSET_NONE, OFFSET_UNIT_TOP, OFFSET_UNIT_TOP_FILL_IN, OFFSET_TOP_SP };

struct PlaneLeadIn {
  LeadInBase eBase;
  bool bFrontExtra;
  LeadInOffset eOffset;
};

constexpr PlaneLeadIn kLeadIns[PRINT_PLANES] = {
    {LEAD_RIBBON, true, OFFSET_UNIT_TOP},               // Y
    {LEAD_FRONT_DUMMY, true, OFFSET_NONE},              // M
    {LEAD_FRONT_DUMMY, true, OFFSET_NONE},              // C
    {LEAD_FRONT_DUMMY, false, OFFSET_UNIT_TOP_FILL_IN}, // overcoat
    {LEAD_RIBBON, true, OFFSET_TOP_SP},                 // SP
};

int32_t Offset(LeadInOffset eOffset, bool bFillIn) {
  switch (eOffset) {
    case OFFSET_UNIT_TOP: return SettingValue(*g_pCurParamTopOffset);
    case OFFSET_UNIT_TOP_FILL_IN: return bFillIn ? SettingValue(*g_pCurParamTopOffset) : 0;
    case OFFSET_TOP_SP: return SettingValue(g_ParamTopOffsetSP);
    case OFFSET_NONE: break;
  }
  return 0;
}

}  // namespace

uint32_t PlaneLeadInLines(uint32_t ulPlaneCode, const PrintSizeRecord& size, bool bFillIn) {
  const uint32_t ulPlane = ulPlaneCode < PRINT_PLANES ? ulPlaneCode : PLANE_Y;
  const PlaneLeadIn& lead = kLeadIns[ulPlane];
  uint32_t ulLines = lead.eBase == LEAD_RIBBON ? g_ulRibDummyLines : size.aulFrontDummyLines[ulPlane];
  if (lead.bFrontExtra) ulLines += size.ulFrontExtraLines;
  ulLines += static_cast<uint32_t>(Offset(lead.eOffset, bFillIn));
  return ulLines & 0xFFFFu;
}
