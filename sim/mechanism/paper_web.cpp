#include "sim/mechanism/paper_web.h"

#include <algorithm>
#include <cmath>

namespace sim {

namespace {

constexpr const char* kFaultNames[] = {"jammed", "rollenc-jammed", "roll-stalled"};
static_assert(sizeof kFaultNames / sizeof kFaultNames[0] == Index(WebFault::Count));

}  // namespace

const char* ToString(WebFault fault) { return kFaultNames[Index(fault) % Index(WebFault::Count)]; }

bool ParseWebFault(const char* pszName, WebFault* pFault) { return ParseEnumName(kFaultNames, pszName, pFault); }

PaperWeb::PaperWeb(double rollDiameterMm, EngineVariant variant, bool bRoll)
    : m_bRoll(bRoll), m_variant(variant), m_diameterMm(rollDiameterMm), m_onRollMm(LengthOf(rollDiameterMm)) {}

void PaperWeb::Place(const Placement& placement) {
  if (!m_bRoll) return;
  m_bAttached = placement.bAttached;
  m_front = placement.front;
  m_tail = m_bAttached ? kRollExit : std::min(placement.tail, placement.front);
  m_path = placement.path;
  m_slackMm = std::clamp(placement.slackMm, 0.0, kMaxSlackMm);
  m_onRollMm = std::max(0.0, placement.onRollMm);
  m_diameterMm = DiameterOf(m_onRollMm);
}

double PaperWeb::LengthOf(double diameterMm) {
  const double n = (diameterMm - kCoreMm) / 2.0 / kPaperMm;
  if (n <= 0.0) return 0.0;
  return ((n + 1.0) * kPaperMm + kCoreMm) * n * kPi;
}

double PaperWeb::DiameterOf(double lengthMm) {
  if (lengthMm <= 0.0) return kCoreMm;
  // t pi n^2 + (t + core) pi n - length = 0.
  const double a = kPaperMm * kPi, b = (kPaperMm + kCoreMm) * kPi;
  const double n = (-b + std::sqrt(b * b + 4.0 * a * lengthMm)) / (2.0 * a);
  return kCoreMm + 2.0 * n * kPaperMm;
}

void PaperWeb::Spin(double turns) {
  m_angleDeg = std::fmod(m_angleDeg + turns * 360.0, 360.0);
  if (m_angleDeg < 0.0) m_angleDeg += 360.0;
  if (!Fault(WebFault::RollEncJammed)) m_rollEnc += std::fabs(turns) * kRollEncPerTurn;
}

void PaperWeb::TurnRoll(double mm) {
  if (mm > m_onRollMm) mm = m_onRollMm;
  Spin(mm / (kPi * m_diameterMm));
  m_onRollMm -= mm;
  m_diameterMm = DiameterOf(m_onRollMm);
}

double PaperWeb::MainTravel(int64_t eighths) {
  if (!m_bRoll || Fault(WebFault::PaperJammed)) return 0.0;
  double lines = static_cast<double>(eighths) / kEighthsPerLine;
  if (m_path == WebPath::R) lines = -lines;
  if (lines < 0.0) {
    if (m_bAttached) {
      m_slackMm += -lines / kLinesPerMm;
    } else {
      m_tail += lines;
    }
    m_front += lines;
    return lines;
  }
  if (m_bAttached) {
    double mm = lines / kLinesPerMm;
    const double fromSlack = std::min(m_slackMm, mm);
    m_slackMm -= fromSlack;
    double pull = mm - fromSlack;
    if (pull > 0.0 && Fault(WebFault::RollStalled)) {
      // The main drive slips against the held roll.
      lines = fromSlack * kLinesPerMm;
      pull = 0.0;
    }
    if (pull > 0.0) {
      const double fromRoll = std::min(pull, m_onRollMm);
      TurnRoll(fromRoll);
      if (m_onRollMm <= 0.0) {
        // The roll's end lets go; the tail travels with the web.
        m_bAttached = false;
        m_tail = kRollExit + (pull - fromRoll) * kLinesPerMm;
      }
    }
  } else {
    m_tail += lines;
  }
  m_front += lines;
  return lines;
}

void PaperWeb::SubTravel(int64_t eighths) {
  if (!m_bRoll) return;
  const double turns = static_cast<double>(eighths) / 8.0 / kSubStepsPerTurn;
  if (!m_bAttached) {
    Spin(turns);
    return;
  }
  if (Fault(WebFault::RollStalled)) return;
  const bool bUnwind = (eighths > 0) == (m_variant == EngineVariant::EM2);
  const double mm = std::fabs(turns) * kPi * m_diameterMm;
  if (bUnwind) {
    // Into slack up to its most; beyond, the sub drive slips.
    const double taken = std::min(mm, kMaxSlackMm - m_slackMm);
    if (taken <= 0.0) return;
    m_slackMm += taken;
    TurnRoll(taken);
    if (m_onRollMm <= 0.0) {
      m_bAttached = false;
      m_tail = kRollExit - m_slackMm * kLinesPerMm;
    }
  } else {
    // Takes the slack in, then stalls against the held web.
    const double taken = std::min(mm, m_slackMm);
    if (taken <= 0.0) return;
    m_slackMm -= taken;
    m_onRollMm += taken;
    m_diameterMm = DiameterOf(m_onRollMm);
    Spin(-taken / (kPi * m_diameterMm));
  }
}

void PaperWeb::SelectPath(WebPath side) {
  if (m_front < kSplit) m_path = side;
}

bool PaperWeb::Cut(Nanos at) {
  if (!m_bRoll || m_front <= kBlade) return false;
  m_sheets.push_back({m_front - kBlade, at});
  m_front = kBlade;
  return true;
}

void PaperWeb::Detach() {
  if (!m_bRoll || !m_bAttached) return;
  m_bAttached = false;
  m_tail = kRollExit - m_slackMm * kLinesPerMm;
}

bool PaperWeb::PaperAt(PhotoSensor sensor) const {
  if (!m_bRoll) return false;
  double place = 0.0;
  switch (sensor) {
    case PhotoSensor::TopL:
      if (m_path != WebPath::L) return false;
      place = kTop;
      break;
    case PhotoSensor::TopR:
      if (m_path != WebPath::R) return false;
      place = kTop;
      break;
    case PhotoSensor::Position: place = kPosition; break;
    case PhotoSensor::PaperEmpty: place = kPaperEmpty; break;
    default: return false;
  }
  return Covers(place);
}

bool PaperWeb::Covers(double place) const {
  return m_bRoll && m_front >= place && (m_bAttached || m_tail <= place);
}

}  // namespace sim
