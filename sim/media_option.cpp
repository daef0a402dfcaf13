#include "sim/media_option.h"

#include <cstring>
#include <iterator>

#include "firmware/mechanism/ribbon_roll.h"
#include "firmware/sequences/ribbon_identification_placeholder.h"
#include "sim/board.h"
#include "sim/mechanism/ribbon_mechanism.h"

namespace sim {
namespace {

// The firmware's ribbon types, by the model's.
constexpr uint32_t kFirmwareRibbonType[] = {
    RIBBON_TYPE_MARK_8X10,     RIBBON_TYPE_MARK_8X12,     RIBBON_TYPE_COLOR_8X10_K1,
    RIBBON_TYPE_COLOR_8X12_K1, RIBBON_TYPE_COLOR_8X10_K2, RIBBON_TYPE_COLOR_8X12_K2,
};
static_assert(std::size(kFirmwareRibbonType) == static_cast<size_t>(RibbonType::Count));

uint32_t LoadedRibbonOfBoard(uint32_t ulUnit) {
  RibbonMechanism* pRibbons = Board::Current().FindDevice<RibbonMechanism>();
  if (pRibbons == nullptr) return RIBBON_TYPE_COUNT;
  const RibbonTransport& unit = pRibbons->Unit(ulUnit == 1 ? PrintUnit::R : PrintUnit::L);
  if (unit.Fault(RibbonFault::NoRibbon)) return RIBBON_TYPE_COUNT;
  return kFirmwareRibbonType[static_cast<size_t>(unit.Type())];
}

}  // namespace

bool ParseMedia(const char* pszText, Media* pMedia) {
  constexpr struct {
    const char* pszName;
    Media media;
  } kNames[] = {{"8x10", Media::Size8x10}, {"8x12", Media::Size8x12}, {"none", Media::None}};
  for (const auto& name : kNames) {
    if (std::strcmp(pszText, name.pszName) != 0) continue;
    *pMedia = name.media;
    return true;
  }
  return false;
}

void ApplyMedia(Media media, std::array<RibbonLoad, 2>* pLoads) {
  if (media == Media::None) return;
  for (RibbonLoad& load : *pLoads) load.type = media == Media::Size8x12 ? RibbonType::Color8x12K1 : RibbonType::Color8x10K1;
}

bool ParseUnitRibbon(const char* pszText, UnitRibbon* pRibbon) {
  if (std::strcmp(pszText, "none") == 0 || std::strcmp(pszText, "spent") == 0) {
    pRibbon->kind = pszText[0] == 'n' ? UnitRibbon::Kind::None : UnitRibbon::Kind::Spent;
    return true;
  }
  RibbonType type{};
  if (!ParseRibbonType(pszText, &type)) return false;
  *pRibbon = UnitRibbon{UnitRibbon::Kind::Roll, type};
  return true;
}

RibbonLoad LoadOfUnitRibbon(const UnitRibbon& ribbon, const RibbonLoad& load) {
  RibbonLoad next = load;
  switch (ribbon.kind) {
    case UnitRibbon::Kind::Roll:
      next = RibbonLoad{ribbon.type};
      next.driveMode = load.driveMode;
      break;
    case UnitRibbon::Kind::Spent:
      next.supplyMm = RibbonTransport::kLeaderMm;
      next.takeUpMm = FullRollLength(load.type) - RibbonTransport::kLeaderMm;
      break;
    case UnitRibbon::Kind::None:
      break;
  }
  return next;
}

void InstallLoadedRibbonStandIn() { g_pfnLoadedRibbonStandIn = LoadedRibbonOfBoard; }
void RemoveLoadedRibbonStandIn() { g_pfnLoadedRibbonStandIn = nullptr; }

}  // namespace sim
