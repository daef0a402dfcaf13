#include "sim/mechanism/paper_web.h"

#include <algorithm>
#include <cmath>

namespace sim {

namespace {

constexpr const char* kFaultNames[] = {"jammed", "rollenc-jammed", "roll-stalled", "edge-unseen"};
static_assert(sizeof kFaultNames / sizeof kFaultNames[0] == Index(WebFault::Count));

constexpr const char* kRollStartNames[] = {"threaded", "new", "none"};
static_assert(sizeof kRollStartNames / sizeof kRollStartNames[0] == Index(RollStart::Count));

// An angle brought into [0, 360).
double Wrap(double deg) {
  const double d = std::fmod(deg, 360.0);
  return d < 0.0 ? d + 360.0 : d;
}

}  // namespace

const char* ToString(WebFault fault) { return kFaultNames[Index(fault) % Index(WebFault::Count)]; }

bool ParseWebFault(const char* pszName, WebFault* pFault) { return ParseEnumName(kFaultNames, pszName, pFault); }

const char* ToString(RollStart start) { return kRollStartNames[Index(start) % Index(RollStart::Count)]; }

bool ParseRollStart(const char* pszName, RollStart* pStart) { return ParseEnumName(kRollStartNames, pszName, pStart); }

PaperWeb::PaperWeb(double rollDiameterMm, EngineVariant variant, bool bRoll)
    : m_bRoll(bRoll), m_bWeb(bRoll), m_variant(variant), m_diameterMm(rollDiameterMm),
      m_onRollMm(LengthOf(rollDiameterMm)) {}

PaperWeb::Placement PaperWeb::GetPlacement() const {
  double edgeDeg = 0.0;
  EdgeAngle(&edgeDeg);
  return {m_front, m_tail, m_bAttached, m_path, m_slackMm, m_onRollMm, m_bWeb, edgeDeg};
}

void PaperWeb::Place(bool bRoll, const Placement& placement) {
  m_angleDeg = 0.0;
  if (!bRoll) {
    TakeRollOut();
    return;
  }
  m_bRoll = true;
  ClearPath();
  m_bWeb = placement.bWeb;
  m_path = m_selected = placement.path;
  m_onRollMm = std::max(0.0, placement.onRollMm);
  m_diameterMm = DiameterOf(m_onRollMm);
  m_edgeOnRollDeg = Wrap(placement.edgeDeg);
  if (!m_bWeb) return;
  m_bAttached = placement.bAttached;
  m_front = std::max(placement.front, kRollExit);
  m_tail = m_bAttached ? kRollExit : std::min(placement.tail, m_front);
  m_slackMm = std::clamp(placement.slackMm, 0.0, kMaxSlackMm);
}

bool PaperWeb::EdgeAngle(double* pDeg) const {
  if (!m_bRoll || m_onRollMm <= 0.0 || (m_bWeb && m_bAttached)) return false;
  *pDeg = Wrap(m_edgeOnRollDeg + m_angleDeg);
  return true;
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
  m_angleDeg = Wrap(m_angleDeg + turns * 360.0);
  if (!Fault(WebFault::RollEncJammed)) m_rollEnc += std::fabs(turns) * kRollEncPerTurn;
}

void PaperWeb::TurnRoll(double mm) {
  if (mm > m_onRollMm) mm = m_onRollMm;
  Spin(mm / (kPi * m_diameterMm));
  m_onRollMm -= mm;
  m_diameterMm = DiameterOf(m_onRollMm);
}

void PaperWeb::Rewind(double mm) {
  m_onRollMm += mm;
  m_diameterMm = DiameterOf(m_onRollMm);
  Spin(-mm / (kPi * m_diameterMm));
}

void PaperWeb::ClearPath() {
  m_bWeb = false;
  m_bAttached = true;
  m_front = m_tail = kRollExit;
  m_slackMm = 0.0;
}

void PaperWeb::Loosen(double tail) {
  m_bAttached = false;
  m_tail = tail;
  // What paper is left on the roll has its own front at the roll's exit.
  m_edgeOnRollDeg = Wrap(kPeelDeg - m_angleDeg);
}

double PaperWeb::MainTravel(int64_t eighths) {
  if (!m_bWeb || !Held() || Fault(WebFault::PaperJammed)) return 0.0;
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
      // The roll's end lets go; the tail travels with the web.
      if (m_onRollMm <= 0.0) Loosen(kRollExit + (pull - fromRoll) * kLinesPerMm);
    }
  } else {
    m_tail += lines;
  }
  m_front += lines;
  return lines;
}

void PaperWeb::SubTravel(int64_t eighths) {
  if (!m_bRoll) return;
  const bool bUnwind = (eighths > 0) == (m_variant == EngineVariant::EM2);
  const double turns = std::fabs(static_cast<double>(eighths)) / 8.0 / kSubStepsPerTurn;
  const double signedTurns = bUnwind ? turns : -turns;
  if (m_bWeb && m_bAttached) {
    TurnThreaded(signedTurns);
  } else {
    TurnUnthreaded(signedTurns);
  }
}

void PaperWeb::TurnUnthreaded(double turns) {
  double edgeDeg = 0.0;
  if (turns > 0.0 && !m_bWeb && m_loadBar >= kLoadBarDownFrom && EdgeAngle(&edgeDeg) &&
      !Fault(WebFault::RollStalled)) {
    const double toPeel = Wrap(kPeelDeg - edgeDeg) / 360.0;
    if (turns >= toPeel) {
      Spin(toPeel);
      PeelFrontOff();
      TurnThreaded(turns - toPeel);
      return;
    }
  }
  Spin(turns);
}

void PaperWeb::PeelFrontOff() {
  ClearPath();
  m_bWeb = true;
  m_path = m_selected;
}

void PaperWeb::WindFrontOn(double turnsLeft) {
  ClearPath();
  m_edgeOnRollDeg = Wrap(kPeelDeg - m_angleDeg);
  Spin(turnsLeft);
}

void PaperWeb::TurnThreaded(double turns) {
  if (turns == 0.0 || Fault(WebFault::RollStalled)) return;
  const double mm = std::fabs(turns) * kPi * m_diameterMm;
  // A front the main drive does not hold moves with the roll.
  const bool bFree = !Held() && !Fault(WebFault::PaperJammed);
  if (turns > 0.0) {
    if (bFree && m_bLoadFeed) {
      const double fed = std::min(mm, m_onRollMm);
      TurnRoll(fed);
      m_front += fed * kLinesPerMm;
      if (m_onRollMm <= 0.0) Loosen(kRollExit);
      return;
    }
    // Into slack up to its most; beyond, the sub drive slips.
    const double taken = std::min(mm, kMaxSlackMm - m_slackMm);
    if (taken <= 0.0) return;
    m_slackMm += taken;
    TurnRoll(taken);
    if (m_onRollMm <= 0.0) Loosen(kRollExit - m_slackMm * kLinesPerMm);
    return;
  }
  // Takes the slack in, then pulls a free front back (onto the roll behind
  // its exit), or stalls against the held web.
  const double taken = std::min(mm, m_slackMm);
  m_slackMm -= taken;
  Rewind(taken);
  const double pull = mm - taken;
  if (pull <= 0.0 || !bFree) return;
  const double toExit = (m_front - kRollExit) / kLinesPerMm;
  if (pull < toExit) {
    Rewind(pull);
    m_front -= pull * kLinesPerMm;
    return;
  }
  Rewind(toExit);
  WindFrontOn(-(pull - toExit) / (kPi * m_diameterMm));
}

void PaperWeb::TakeSheetOut() {
  if (HasExitSheet()) ClearPath();
}

void PaperWeb::SelectPath(WebPath side) {
  m_selected = side;
  if (m_front < kSplit) m_path = side;
}

bool PaperWeb::Cut(Nanos at) {
  if (!m_bWeb || m_front <= kBlade) return false;
  m_sheets.push_back({m_front - kBlade, at});
  m_front = kBlade;
  return true;
}

void PaperWeb::Detach() {
  if (!m_bWeb || !m_bAttached) return;
  Loosen(kRollExit - m_slackMm * kLinesPerMm);
}

void PaperWeb::TakeRollOut() {
  m_bRoll = false;
  ClearPath();
  m_onRollMm = 0.0;
  m_diameterMm = kCoreMm;
}

void PaperWeb::InsertRoll(double lengthMm, double edgeDeg) {
  TakeRollOut();
  m_bRoll = true;
  m_onRollMm = std::max(0.0, lengthMm);
  m_diameterMm = DiameterOf(m_onRollMm);
  m_edgeOnRollDeg = Wrap(edgeDeg - m_angleDeg);
}

bool PaperWeb::PaperAt(PhotoSensor sensor) const {
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
    case PhotoSensor::PaperPath: place = kPaperPath; break;
    default: return false;
  }
  return Covers(place);
}

bool PaperWeb::Covers(double place) const {
  return m_bWeb && m_front >= place && (m_bAttached || m_tail <= place);
}

}  // namespace sim
