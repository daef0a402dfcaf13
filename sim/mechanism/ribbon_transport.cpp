#include "sim/mechanism/ribbon_transport.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "sim/mechanism/h_bridge.h"

namespace sim {

namespace {

constexpr const char* kFaultNames[] = {"cut", "end", "no-ribbon", "supply-jammed", "take-up-stalled"};
static_assert(sizeof kFaultNames / sizeof kFaultNames[0] == Index(RibbonFault::Count));

constexpr double kInfinity = std::numeric_limits<double>::infinity();
// Lengths below a nanometre are none: what floating point leaves of a
// length run out.
constexpr double kNone = 1e-6;
// Room for a rate: unlimited, or none.
constexpr double kUnlimited = 1e30;
// A count the angle has reached but for the rounding of its step.
constexpr double kCountTolerance = 1e-9;

double Room(double length) { return length > kNone ? kUnlimited : 0.0; }
double Settled(double length) { return length > kNone ? length : 0.0; }

}  // namespace

const char* ToString(RibbonFault fault) { return kFaultNames[Index(fault) % Index(RibbonFault::Count)]; }

bool ParseRibbonFault(const char* pszName, RibbonFault* pFault) { return ParseEnumName(kFaultNames, pszName, pFault); }

namespace {

// A length in mm: a non-negative number, the whole text.
bool ParseLength(const std::string& text, double* pMm) {
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(text.c_str(), &end);
  if (text.empty() || end == nullptr || *end != '\0' || errno != 0 || !std::isfinite(v) || v < 0) return false;
  *pMm = v;
  return true;
}

}  // namespace

bool ParseRibbonLoad(const char* pszText, RibbonLoad* pLoad) {
  std::vector<std::string> fields(1);
  for (const char* p = pszText; *p != '\0'; ++p) {
    if (*p == ':') {
      fields.emplace_back();
    } else {
      fields.back() += *p;
    }
  }
  RibbonLoad load;
  if (fields.size() > 4 || !ParseRibbonType(fields[0].c_str(), &load.type)) return false;
  if (fields.size() > 1 && !ParseLength(fields[1], &load.supplyMm)) return false;
  if (fields.size() > 2 && !ParseLength(fields[2], &load.takeUpMm)) return false;
  if (fields.size() > 3) {
    if (fields[3] != "1" && fields[3] != "2") return false;
    load.driveMode = fields[3] == "1" ? 1 : 2;
  }
  *pLoad = load;
  return true;
}

MotorCommand MotorCommandOf(bool bLineA, bool bLineB, bool bInverted, uint32_t percent, bool bPowered) {
  if (bLineA && bLineB) return {SpoolCommand::Hold, 0};
  if (!bLineA && !bLineB) return {SpoolCommand::Coast, 0};
  if (!bPowered || percent < kMinimumRunPercent) return {SpoolCommand::Coast, 0};
  const bool bForward = DecodeHBridge(bLineA, bLineB, bInverted) == DriveState::Forward;
  return {bForward ? SpoolCommand::Forward : SpoolCommand::Reverse,
          static_cast<double>(std::min(percent, 100u)) / 100.0 * kFullSpeedTurnsPerSecond};
}

RibbonTransport::RibbonTransport(const RibbonLoad& load, uint32_t driveMode)
    : m_type(load.type),
      m_thickness(RibbonThickness(load.type)),
      m_driveMode(driveMode == 1 ? 1 : kDefaultRibbonDriveMode),
      m_supply(load.supplyMm < 0 ? FullRollLength(load.type) : load.supplyMm),
      m_supplyLoaded(m_supply),
      m_takeUp(std::max(0.0, load.takeUpMm)),
      m_slack(std::max(0.0, load.slackMm)) {}

void RibbonTransport::SetFault(RibbonFault fault, bool bOn) {
  bool& bFlag = m_faults[Index(fault)];
  switch (fault) {
    case RibbonFault::Cut:
      // A broken tape stays broken.
      if (!bOn || bFlag) return;
      m_tail = m_slack + kCutTailMm;
      m_slack = 0;
      break;
    case RibbonFault::End:
      if (bOn && !bFlag) m_supply = std::min(m_supply, kLeaderMm);
      break;
    default:
      break;
  }
  bFlag = bOn;
}

double RibbonTransport::Slack() const { return Fault(RibbonFault::Cut) ? std::max(0.0, m_tail - kCutTailMm) : m_slack; }

bool RibbonTransport::TapeAtHead() const {
  if (Fault(RibbonFault::NoRibbon)) return false;
  return !Fault(RibbonFault::Cut) || m_tail > kHeadToTakeUpMm;
}

// ---- the spools' drives ----

RibbonTransport::Drive RibbonTransport::TakeUpDrive() const {
  const MotorCommand& m = m_inputs.takeUp;
  if (Fault(RibbonFault::TakeUpStalled)) return {Act::Fixed, 0};
  switch (m.command) {
    case SpoolCommand::Forward: return {Act::Wind, m.turnsPerSecond};
    case SpoolCommand::Reverse: return {Act::PayOut, m.turnsPerSecond};
    default: return {Act::Fixed, 0};  // held, or coasting: it does not unwind
  }
}

RibbonTransport::Drive RibbonTransport::SupplyDrive() const {
  const MotorCommand& m = m_inputs.supply;
  if (Fault(RibbonFault::Cut)) return {Act::Fixed, 0};
  switch (m.command) {
    case SpoolCommand::Hold: return {Act::Fixed, 0};
    case SpoolCommand::Forward: return m_driveMode == 1 ? Drive{Act::PayOut, m.turnsPerSecond} : Drive{Act::Free, 0};
    case SpoolCommand::Reverse: return m_inputs.bClutch ? Drive{Act::Wind, m.turnsPerSecond} : Drive{Act::Free, 0};
    case SpoolCommand::Coast: break;
  }
  return {Act::Free, 0};
}

double RibbonTransport::Want(const Drive& drive, double length, double thickness, double seconds) {
  const double turns = TurnsOfLength(length, thickness);
  const double step = drive.turnsPerSecond * seconds;
  switch (drive.act) {
    case Act::Wind: return LengthOfTurns(turns + step, thickness) - length;
    case Act::PayOut: return std::max(0.0, length - LengthOfTurns(std::max(0.0, turns - step), thickness));
    default: return 0;
  }
}

RibbonTransport::Flow RibbonTransport::Solve(const Drive& takeUp, double wantTakeUp, const Drive& supply,
                                             double wantSupply, double slack, double supplyRoom,
                                             double takeUpRoom) const {
  double wound = 0;
  if (takeUp.act == Act::Wind) wound = std::min(wantTakeUp, slack);
  if (takeUp.act == Act::PayOut) wound = -std::min(wantTakeUp, takeUpRoom);
  // Pressed to the paper, the tape moves only with it.
  if (m_inputs.bHeadDown) return {wound, 0};
  double paidOut = 0;
  if (takeUp.act == Act::Wind) {
    switch (supply.act) {
      case Act::PayOut:
        paidOut = std::min(wantSupply, supplyRoom);
        wound = std::min(wantTakeUp, slack + paidOut);
        break;
      case Act::Free:
        wound = std::min(wantTakeUp, slack + supplyRoom);
        paidOut = std::max(0.0, wound - slack);
        break;
      case Act::Wind: {
        // The take-up wins: the supply's clutch slips once the slack is gone.
        wound = std::min(wantTakeUp, slack + supplyRoom);
        const double rest = slack - wound;
        paidOut = rest >= 0 ? -std::min(wantSupply, rest) : -rest;
        break;
      }
      case Act::Fixed:
        break;
    }
    return {wound, paidOut};
  }
  // The take-up stands or pays out: the slack grows by what it pays out.
  if (supply.act == Act::PayOut) paidOut = std::min(wantSupply, supplyRoom);
  if (supply.act == Act::Wind) paidOut = -std::min(wantSupply, slack - wound);
  return {wound, paidOut};
}

// ---- motion ----

void RibbonTransport::Turn(Side side, double turns) {
  Spool& spool = m_spools[side];
  spool.angle += turns;
  Count(side);
}

void RibbonTransport::Count(Side side) {
  Spool& spool = m_spools[side];
  const double perTurn = side == kSupply ? kSupplyCountsPerTurn : kTakeUpCountsPerTurn;
  const auto reached = static_cast<uint64_t>(std::floor(spool.angle * perTurn + kCountTolerance));
  const uint64_t counts = reached - spool.reached;
  spool.reached = reached;
  if (side == kSupply && Fault(RibbonFault::SupplyEncoderJammed)) return;
  spool.count += counts;
}

void RibbonTransport::Move(const Flow& flow) {
  const double takeUpTurns = TurnsOfLength(m_takeUp, m_thickness);
  const double supplyTurns = TurnsOfLength(m_supply, m_thickness);
  m_takeUp = Settled(m_takeUp + flow.wound);
  m_supply = Settled(m_supply - flow.paidOut);
  m_slack = Settled(m_slack + flow.paidOut - flow.wound);
  m_position += flow.paidOut;
  Turn(kTakeUp, std::fabs(TurnsOfLength(m_takeUp, m_thickness) - takeUpTurns));
  Turn(kSupply, std::fabs(TurnsOfLength(m_supply, m_thickness) - supplyTurns));
}

void RibbonTransport::Advance(double seconds) {
  if (seconds <= 0) return;
  const Drive takeUp = TakeUpDrive();
  const Drive supply = SupplyDrive();
  if (Fault(RibbonFault::NoRibbon)) {
    // Bare spools: each turns as its motor drives it.
    for (const auto& [side, drive] : {std::pair{kTakeUp, takeUp}, std::pair{kSupply, supply}}) {
      if (drive.act == Act::Wind || drive.act == Act::PayOut) Turn(side, drive.turnsPerSecond * seconds);
    }
    return;
  }
  const double wantTakeUp = Want(takeUp, m_takeUp, m_thickness, seconds);
  if (Fault(RibbonFault::Cut)) {
    if (takeUp.act == Act::Wind) {
      // The loose end winds on; then the spool spins free.
      const double wound = std::min(wantTakeUp, m_tail);
      if (m_tail > kHeadToTakeUpMm) m_position += std::min(wound, m_tail - kHeadToTakeUpMm);
      m_tail = Settled(m_tail - wound);
      m_takeUp += wound;
      Turn(kTakeUp, takeUp.turnsPerSecond * seconds);
    } else if (takeUp.act == Act::PayOut) {
      const double paid = std::min(wantTakeUp, m_takeUp);
      const double turns = TurnsOfLength(m_takeUp, m_thickness);
      m_takeUp = Settled(m_takeUp - paid);
      m_tail += paid;
      Turn(kTakeUp, turns - TurnsOfLength(m_takeUp, m_thickness));
    }
    return;
  }
  Move(Solve(takeUp, wantTakeUp, supply, Want(supply, m_supply, m_thickness, seconds), m_slack, m_supply, m_takeUp));
}

void RibbonTransport::PaperTravel(int64_t eighths) {
  if (!m_inputs.bHeadDown || eighths == 0 || Fault(RibbonFault::NoRibbon) || Fault(RibbonFault::Cut)) return;
  const double mm = static_cast<double>(eighths) / kEighthStepsPerLine * kMmPerLine;
  if (mm > 0) {
    Move({0, std::min(mm, m_supply)});
    return;
  }
  // Backwards the tape goes back to the supply: the slack first, then
  // what the take-up spool gives.
  const double fromSlack = std::min(-mm, m_slack);
  const double fromTakeUp = Fault(RibbonFault::TakeUpStalled) ? 0 : std::min(-mm - fromSlack, m_takeUp);
  Move({-fromTakeUp, -(fromSlack + fromTakeUp)});
}

RibbonTransport::Rates RibbonTransport::RatesNow() const {
  const Drive takeUp = TakeUpDrive();
  const Drive supply = SupplyDrive();
  const double takeUpTurns = TurnsOfLength(m_takeUp, m_thickness);
  const double supplyTurns = TurnsOfLength(m_supply, m_thickness);
  const double takeUpPitch = LengthPerTurn(takeUpTurns, m_thickness);
  const double supplyPitch = LengthPerTurn(supplyTurns, m_thickness);
  auto spins = [](const Drive& d) { return d.act == Act::Wind || d.act == Act::PayOut ? d.turnsPerSecond : 0.0; };
  Rates r{{0, 0}, {0, 0}};
  if (Fault(RibbonFault::NoRibbon)) {
    r.spin[kTakeUp] = spins(takeUp);
    r.spin[kSupply] = spins(supply);
    return r;
  }
  if (Fault(RibbonFault::Cut)) {
    if (takeUp.act == Act::Wind) {
      r.spin[kTakeUp] = takeUp.turnsPerSecond;
      r.tape.wound = m_tail > kNone ? takeUp.turnsPerSecond * takeUpPitch : 0;
    } else if (takeUp.act == Act::PayOut && m_takeUp > kNone) {
      r.spin[kTakeUp] = takeUp.turnsPerSecond;
      r.tape.wound = -takeUp.turnsPerSecond * takeUpPitch;
    }
    return r;
  }
  r.tape = Solve(takeUp, spins(takeUp) * takeUpPitch, supply, spins(supply) * supplyPitch, Room(m_slack),
                 Room(m_supply), Room(m_takeUp));
  r.spin[kTakeUp] = std::fabs(r.tape.wound) / takeUpPitch;
  r.spin[kSupply] = std::fabs(r.tape.paidOut) / supplyPitch;
  return r;
}

double RibbonTransport::NextChangeIn() const {
  const Rates r = RatesNow();
  double next = kInfinity;
  auto soonest = [&next](double seconds) { next = std::min(next, seconds); };
  bool bMoving = false;
  for (Side side : {kSupply, kTakeUp}) {
    const double spin = r.spin[side];
    if (spin <= 0) continue;
    bMoving = true;
    if (side == kSupply && Fault(RibbonFault::SupplyEncoderJammed)) continue;
    const double perTurn = side == kSupply ? kSupplyCountsPerTurn : kTakeUpCountsPerTurn;
    const double nextCount = static_cast<double>(m_spools[side].reached + 1) / perTurn;
    soonest(std::max(0.0, nextCount - m_spools[side].angle) / spin);
  }
  const double slackRate = r.tape.paidOut - r.tape.wound;
  if (!Fault(RibbonFault::Cut) && m_slack > 0 && slackRate < 0) soonest(m_slack / -slackRate);
  if (r.tape.paidOut > 0) {
    if (m_supply > kLeaderMm) soonest((m_supply - kLeaderMm) / r.tape.paidOut);
    if (m_supply > 0) soonest(m_supply / r.tape.paidOut);
  }
  if (r.tape.wound < 0 && m_takeUp > 0) soonest(m_takeUp / -r.tape.wound);
  if (Fault(RibbonFault::Cut) && r.tape.wound > 0 && m_tail > 0) soonest(m_tail / r.tape.wound);
  if (bMoving) soonest(kMaxStep);
  return next;
}

uint32_t RibbonTransport::Motion() const {
  const Rates r = RatesNow();
  uint32_t bits = 0;
  if (r.tape.wound > 0) bits |= 1u;
  if (r.tape.wound < 0) bits |= 2u;
  if (r.tape.paidOut > 0) bits |= 4u;
  if (r.tape.paidOut < 0) bits |= 8u;
  if (r.spin[kSupply] > 0) bits |= 16u;
  if (r.spin[kTakeUp] > 0) bits |= 32u;
  return bits;
}

}  // namespace sim
