// The media of the virtual printer as one option: colour ribbons of one
// size, kind 1, in both units, or no ribbon at all. The ribbon models are
// the source of what is loaded: until the firmware identifies its ribbons,
// the placeholder of the ribbon identification asks them through the
// loaded-ribbon query this file installs, so the media the host reads and
// the ribbons the mechanism winds agree.
#pragma once

#include <array>
#include <cstdint>

#include "sim/mechanism/ribbon_transport.h"

namespace sim {

enum class Media : uint8_t { Size8x10, Size8x12, None };

// "8x10", "8x12" or "none".
bool ParseMedia(const char* pszText, Media* pMedia);

// The ribbon loads' types follow the media (Color8x10K1 or Color8x12K1 in
// both units; their lengths stay); none leaves the loads as they are (the
// machine then sets the ribbon fault NoRibbon in both units).
void ApplyMedia(Media media, std::array<RibbonLoad, 2>* pLoads);

// One unit's ribbon as one option: a new roll of a type (the type names of
// ribbon_spool.h), a spent roll of the unit's type (down to its leader), or
// none. It overrides the media for that unit.
struct UnitRibbon {
  enum class Kind : uint8_t { Roll, Spent, None };
  Kind kind = Kind::Roll;
  RibbonType type = RibbonType::Color8x10K1;
};
bool ParseUnitRibbon(const char* pszText, UnitRibbon* pRibbon);
// The load a unit holds with that ribbon, from the load it held; None
// leaves the load (the caller sets the unit's NoRibbon fault).
RibbonLoad LoadOfUnitRibbon(const UnitRibbon& ribbon, const RibbonLoad& load);

// Points the firmware's loaded-ribbon query at the ribbon models of the
// current board: each unit's ribbon type, none while its NoRibbon fault is
// set. Removing it leaves the firmware's own default.
void InstallLoadedRibbonStandIn();
void RemoveLoadedRibbonStandIn();

}  // namespace sim
