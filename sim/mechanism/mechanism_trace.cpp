#include "sim/mechanism/mechanism_trace.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>

namespace sim {

const char* ToString(DriveState s) {
  switch (s) {
    case DriveState::Stop: return "stop";
    case DriveState::Forward: return "forward";
    case DriveState::Reverse: return "reverse";
    case DriveState::Brake: return "brake";
  }
  return "?";
}

std::string MechanismEvent::Text() const {
  char what[48];
  switch (kind) {
    case MechanismEventKind::Motor:
      std::snprintf(what, sizeof what, "%s %" PRId32 "%%", ToString(drive), value);
      break;
    case MechanismEventKind::Axis:
      std::snprintf(what, sizeof what, "at %" PRId32, value);
      break;
    case MechanismEventKind::CrossingStart:
      std::snprintf(what, sizeof what, "start %s at %" PRId32, ToString(drive), value);
      break;
    case MechanismEventKind::CrossingDuty:
      std::snprintf(what, sizeof what, "duty %" PRId32 "%%", value);
      break;
    case MechanismEventKind::CrossingEnd:
      std::snprintf(what, sizeof what, "end at %" PRId32, value);
      break;
    case MechanismEventKind::RibbonLength:
      std::snprintf(what, sizeof what, "%s%" PRId32 ".%03" PRId32 " mm", value < 0 ? "-" : "", std::abs(value / 1000),
                    std::abs(value % 1000));
      break;
    case MechanismEventKind::PaperWeb:
      std::snprintf(what, sizeof what, "%s%" PRId32 ".%03" PRId32, value < 0 ? "-" : "", std::abs(value / 1000),
                    std::abs(value % 1000));
      break;
    case MechanismEventKind::UnwiredBits:
      std::snprintf(what, sizeof what, "unwired bits 0x%04" PRIX32, static_cast<uint32_t>(value));
      break;
    default:
      std::snprintf(what, sizeof what, "%s", value != 0 ? "on" : "off");
      break;
  }
  char line[128];
  std::snprintf(line, sizeof line, "%" PRIu64 ".%03" PRIu64 " ms %.*s %s", at / kNsPerMs, at % kNsPerMs / kNsPerUs,
                static_cast<int>(name.size()), name.data(), what);
  return line;
}

std::vector<MechanismEvent> MechanismTrace::Of(std::string_view name) const {
  std::vector<MechanismEvent> out;
  for (const MechanismEvent& e : m_events) {
    if (e.name == name) out.push_back(e);
  }
  return out;
}

bool MechanismTrace::AnythingMovedSince(Nanos from) const {
  for (const MechanismEvent& e : m_events) {
    if (e.at < from) continue;
    if (e.kind == MechanismEventKind::Axis) return true;
    if (e.kind == MechanismEventKind::Motor && Turns(e.drive) && e.value != 0) return true;
  }
  return false;
}

std::string MechanismTrace::Text() const {
  std::string out;
  for (const MechanismEvent& e : m_events) out += e.Text() + "\n";
  return out;
}

}  // namespace sim
