// "RollEdge" (A/D channel 132): the reflective sensor on the load bar that
// faces the roll. It reads the paper surface low (and an empty core, or no
// roll, the same) and the roll's front edge high: while the front lies on
// the roll up to kEdgeArcDeg short of where the sensor looks, in the
// roll's unwinding sense. Swung down with the load bar it looks further
// round the roll than up; the load bar, once down, peels the front off a
// little further on still (PaperWeb::kPeelDeg).
//
// So a search turning the roll backwards meets the edge within a turn from
// any angle; after the load-bar calibration's turn and a bit and the
// alignment's step forward, the edge stands under the lowered sensor.
// The fault switch WebFault::EdgeUnseen keeps the edge at the surface's
// level.
#pragma once

#include <cstdint>

#include "sim/mechanism/paper_web.h"

namespace sim {

struct RollEdgeSensor {
  static constexpr uint32_t kChannel = 132;
  // Raw 10-bit levels.
  static constexpr uint16_t kSurfaceLevel = 560;
  static constexpr uint16_t kEdgeLevel = 960;
  // Where it looks on the roll with the load bar up and down (PaperWeb's
  // angles).
  static constexpr double kViewUpDeg = 0.0;
  static constexpr double kViewDownDeg = 65.0;
  static constexpr double kEdgeArcDeg = 40.0;

  // Where it looks with the load bar at `loadBar` of its travel down.
  static double ViewDeg(double loadBar);
  // The level it reads on the web's roll now.
  static uint16_t Level(const PaperWeb& web);
};

static_assert(RollEdgeSensor::kViewDownDeg < PaperWeb::kPeelDeg, "the front is peeled off past the lowered view");

}  // namespace sim
