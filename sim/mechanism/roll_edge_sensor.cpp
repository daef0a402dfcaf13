#include "sim/mechanism/roll_edge_sensor.h"

#include <algorithm>
#include <cmath>

namespace sim {

double RollEdgeSensor::ViewDeg(double loadBar) {
  return kViewUpDeg + (kViewDownDeg - kViewUpDeg) * std::clamp(loadBar, 0.0, 1.0);
}

uint16_t RollEdgeSensor::Level(const PaperWeb& web) {
  double edgeDeg = 0.0;
  if (web.Fault(WebFault::EdgeUnseen) || !web.EdgeAngle(&edgeDeg)) return kSurfaceLevel;
  // How far the edge lies past the view, in (-180, 180].
  double past = std::fmod(edgeDeg - ViewDeg(web.LoadBar()), 360.0);
  if (past <= -180.0) past += 360.0;
  if (past > 180.0) past -= 360.0;
  return past <= 0.0 && past >= -kEdgeArcDeg ? kEdgeLevel : kSurfaceLevel;
}

}  // namespace sim
