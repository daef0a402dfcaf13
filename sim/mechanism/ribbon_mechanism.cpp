#include "sim/mechanism/ribbon_mechanism.h"

#include <algorithm>
#include <cmath>

#include "sim/fpga/fpga_config_port.h"
#include "sim/fpga/fpga_main_block.h"
#include "sim/mechanism/dc_mechanism.h"
#include "sim/mechanism/positioner_geometry.h"
#include "sim/mechanism/stepper_drivers.h"
#include "sim/soc/gpio.h"

namespace sim {

namespace {

constexpr uint32_t kMeasures = 6;
constexpr uint32_t kFaults = Index(RibbonFault::Count);

// What each unit's ribbon hangs on, and its names in the trace.
struct UnitWiring {
  DcMotor takeUp;
  DcMotor supply;
  uint16_t clutchMask;  // FAN_CTRL: the ribbon reverse clutch
  Axis head;
  uint32_t supplyChannel;
  uint32_t takeUpChannel;
  const char* measures[kMeasures];
  const char* pszLeader;
  const char* pszCore;
  const char* faults[kFaults];
  const char* pszColorPanel;
  const char* pszHeadPanel;
};

// clang-format off
constexpr UnitWiring kUnits[2] = {
    {DcMotor::RibDstL, DcMotor::RibSrcL, 0x0001, Axis::HeadL, 0, 2,
     {"RibbonTapeL", "RibbonSlackL", "RibbonSupplyL", "RibbonTakeUpL", "RibbonSupplyDiaL", "RibbonTakeUpDiaL"},
     "RibbonLeaderL", "RibbonCoreL",
     {"RibbonCutL", "RibbonEndL", "NoRibbonL", "RibEncSrcJammedL", "TakeUpStalledL"},
     "RibbonColorPanelL", "RibbonHeadPanelL"},
    {DcMotor::RibDstR, DcMotor::RibSrcR, 0x0002, Axis::HeadR, 1, 3,
     {"RibbonTapeR", "RibbonSlackR", "RibbonSupplyR", "RibbonTakeUpR", "RibbonSupplyDiaR", "RibbonTakeUpDiaR"},
     "RibbonLeaderR", "RibbonCoreR",
     {"RibbonCutR", "RibbonEndR", "NoRibbonR", "RibEncSrcJammedR", "TakeUpStalledR"},
     "RibbonColorPanelR", "RibbonHeadPanelR"},
};
// clang-format on

// The encoder slots read on IN2, bit = counter channel, active low.
constexpr uint32_t kEncoderWord = 2;

constexpr double kNsPerSecond = 1e9;

int32_t Micrometres(double mm) {
  const double um = std::round(mm * 1000.0);
  return static_cast<int32_t>(std::clamp(um, -2147483648.0, 2147483647.0));
}

}  // namespace

RibbonMechanism::RibbonMechanism(Board& board, FpgaMainBlock& fpga, FpgaConfigPort& config, GpioController& gpio,
                                 DcMechanism& dc, const std::array<RibbonLoad, 2>& loads, uint32_t driveMode)
    : m_board(board),
      m_fpga(fpga),
      m_dc(dc),
      m_units{UnitState{RibbonTransport(loads[0], loads[0].driveMode != 0 ? loads[0].driveMode : driveMode),
                        RibbonTape(loads[0].type)},
              UnitState{RibbonTransport(loads[1], loads[1].driveMode != 0 ? loads[1].driveMode : driveMode),
                        RibbonTape(loads[1].type)}} {
  for (uint32_t u = 0; u < 2; ++u) {
    m_units[u].driveMode = loads[u].driveMode != 0 ? loads[u].driveMode : driveMode;
    // The receivers start on the panel the tape shows; a test may set
    // another, which stays until the tape shows a new one.
    m_units[u].colorPanel = PanelAtColorSensor(static_cast<PrintUnit>(u));
    m_units[u].headPanel = PanelAtHead(static_cast<PrintUnit>(u));
    m_units[u].since = board.Clock().Now();
    SetEncoderBit(kUnits[u].supplyChannel, 0);
    SetEncoderBit(kUnits[u].takeUpChannel, 0);
  }
  // The DC mechanism observes the same outputs, and was built first: its
  // decode of the motors is up to date when these observers run.
  DcMechanism::ObserveActuatorOutputs(fpga, [this](uint32_t, uint16_t) { Refresh(); });
  config.AddModeObserver([this](bool) { Refresh(); });
  gpio.AddPinObserver(DcMechanism::kMotorEnablePin, [this](bool) { Refresh(); });
  dc.AddAxisObserver([this](Axis axis, int32_t) {
    if (axis == Axis::HeadL || axis == Axis::HeadR) Refresh();
  });
  for (uint32_t u = 0; u < 2; ++u) m_units[u].model.SetInputs(ReadInputs(u));
}

RibbonMechanism::~RibbonMechanism() {
  for (UnitState& s : m_units) {
    if (s.event != 0) m_board.Clock().Cancel(s.event);
  }
}

void RibbonMechanism::FollowMainStepper(StepperDrivers& drivers) {
  drivers.AddShaftObserver(Stepper::Main, [this](int64_t eighths) { OnPaperTravel(eighths); });
}

const RibbonTransport& RibbonMechanism::Unit(PrintUnit unit) {
  const auto u = static_cast<uint32_t>(unit) & 1u;
  Sync(u);
  return m_units[u].model;
}

void RibbonMechanism::SetFault(PrintUnit unit, RibbonFault fault, bool bOn) {
  const auto u = static_cast<uint32_t>(unit) & 1u;
  Sync(u);
  RibbonTransport& model = m_units[u].model;
  const bool bBefore = model.Fault(fault);
  model.SetFault(fault, bOn);
  if (model.Fault(fault) == bBefore) return;
  m_dc.Note(MechanismEventKind::RibbonSwitch, kUnits[u].faults[Index(fault)], bOn ? 1 : 0);
  TraceChanges(u, true);
  Schedule(u);
}

RibbonInputs RibbonMechanism::ReadInputs(uint32_t unit) const {
  const UnitWiring& w = kUnits[unit];
  const bool bConfigured = m_fpga.Configured();
  const bool bPowered = bConfigured && m_dc.SupplyOn();
  // An FPGA without its configuration drives no line.
  auto command = [&](DcMotor motor) {
    const DcMotorWiring& m = kDcMotorWiring[Index(motor)];
    const uint16_t lines = bConfigured ? m_fpga.Register(m.reg) : 0;
    return MotorCommandOf((lines & m.maskA) != 0, (lines & m.maskB) != 0, m.bInverted, m_dc.SpeedPercent(motor),
                          bPowered);
  };
  RibbonInputs in;
  in.takeUp = command(w.takeUp);
  in.supply = command(w.supply);
  in.bClutch = bConfigured && (m_dc.LoadsOn() & w.clutchMask) != 0;
  // Lowered: standing in the down sensor's zone, where the firmware stops
  // a head it lowers.
  in.bHeadDown = m_dc.Position(w.head) >= m_dc.Geometry(w.head).length - positioner::kLiftEndZone && !m_dc.Moving(w.head);
  return in;
}

void RibbonMechanism::Refresh() {
  for (uint32_t u = 0; u < 2; ++u) {
    const RibbonInputs in = ReadInputs(u);
    if (in == m_units[u].model.Inputs()) continue;
    Sync(u);
    m_units[u].model.SetInputs(in);
    const auto running = [](const MotorCommand& m) {
      return m.command == SpoolCommand::Forward || m.command == SpoolCommand::Reverse;
    };
    if (!running(in.takeUp) && !running(in.supply)) EndBarcodeRun(u);
    TraceChanges(u, true);
    Schedule(u);
  }
}

void RibbonMechanism::Sync(uint32_t unit) {
  UnitState& s = m_units[unit];
  const Nanos now = m_board.Clock().Now();
  if (now > s.since) s.model.Advance(static_cast<double>(now - s.since) / kNsPerSecond);
  s.since = now;
  const UnitWiring& w = kUnits[unit];
  const uint64_t counts[2] = {s.model.SupplyCount(), s.model.TakeUpCount()};
  const uint32_t channels[2] = {w.supplyChannel, w.takeUpChannel};
  for (uint32_t e = 0; e < 2; ++e) {
    // A lossy encoder gives one count of every keepOneIn the spool makes.
    uint64_t& seen = s.seen[e];
    if (counts[e] == seen) continue;
    const uint64_t keep = s.keepOneIn[e];
    const uint64_t more = (counts[e] / keep) - (seen / keep);
    seen = counts[e];
    if (more == 0) continue;
    uint64_t& given = m_given[unit][e];
    given += more;
    m_fpga.CountPulses(channels[e], static_cast<uint32_t>(more));
    SetEncoderBit(channels[e], given);
  }
  FollowTape(unit);
}

Panel RibbonMechanism::PanelAtColorSensor(PrintUnit unit) {
  const UnitState& s = m_units[static_cast<uint32_t>(unit)];
  return s.tape.PanelAtColorSensor(s.model.TapePosition(), s.model.SupplyLength(),
                                   !s.model.Fault(RibbonFault::NoRibbon));
}

Panel RibbonMechanism::PanelAtHead(PrintUnit unit) {
  const UnitState& s = m_units[static_cast<uint32_t>(unit)];
  return s.tape.PanelAtHead(s.model.TapePosition(), s.model.SupplyLength(), !s.model.Fault(RibbonFault::NoRibbon));
}

void RibbonMechanism::PlaceTape(PrintUnit unit, Panel panel, double into) {
  const uint32_t u = static_cast<uint32_t>(unit);
  Sync(u);
  m_units[u].tape.Place(m_units[u].model.TapePosition(), panel, into);
  FollowTape(u);
}

void RibbonMechanism::PlaceTapeAt(PrintUnit unit, double headLine) {
  const uint32_t u = static_cast<uint32_t>(unit) & 1u;
  Sync(u);
  m_units[u].tape.PlaceHeadAt(m_units[u].model.TapePosition(), headLine);
  FollowTape(u);
}

double RibbonMechanism::HeadLine(PrintUnit unit) {
  const uint32_t u = static_cast<uint32_t>(unit) & 1u;
  Sync(u);
  return m_units[u].tape.HeadLine(m_units[u].model.TapePosition());
}

bool RibbonMechanism::Analog(uint32_t channel, uint16_t* pLevel) {
  constexpr uint32_t kFirstMark = 32;
  constexpr uint32_t kFirstBarcode = 130;
  bool bHigh = false;
  if (channel >= kFirstMark && channel < kFirstMark + 2 * RibbonTape::kMarkSensors) {
    const uint32_t unit = (channel - kFirstMark) / RibbonTape::kMarkSensors;
    const uint32_t sensor = (channel - kFirstMark) % RibbonTape::kMarkSensors;
    Sync(unit);
    const UnitState& s = m_units[unit];
    if (s.markStuck[sensor]) {
      bHigh = s.markStuckLevel[sensor];
    } else if (!s.model.Fault(RibbonFault::NoRibbon)) {
      bHigh = s.tape.MarksAt(s.tape.HeadLine(s.model.TapePosition()))[sensor];
    }
  } else if (channel == kFirstBarcode || channel == kFirstBarcode + 1) {
    const uint32_t unit = channel - kFirstBarcode;
    Sync(unit);
    UnitState& s = m_units[unit];
    if (s.unreadableRuns != 0 && !s.bBarcodeRun) {
      s.bBarcodeRun = true;
      s.barcodeRunSupply = s.model.SupplyLength();
    }
    bHigh = !s.model.Fault(RibbonFault::NoRibbon) && s.unreadableRuns == 0 &&
            s.tape.BarcodeBarAt(s.model.SupplyUnwoundCounts());
  } else {
    return false;
  }
  *pLevel = bHigh ? kMarkLevel : kClearLevel;
  return true;
}

void RibbonMechanism::EndBarcodeRun(uint32_t unit) {
  UnitState& s = m_units[unit];
  if (!s.bBarcodeRun) return;
  s.bBarcodeRun = false;
  const bool bForward = s.model.SupplyLength() < s.barcodeRunSupply;
  if (bForward && s.unreadableRuns != kAlways && s.unreadableRuns != 0) --s.unreadableRuns;
}

void RibbonMechanism::SetBarcodeUnreadable(PrintUnit unit, uint32_t runs) {
  UnitState& s = m_units[static_cast<uint32_t>(unit) & 1u];
  s.unreadableRuns = runs;
  s.bBarcodeRun = false;
}

void RibbonMechanism::SetEncoderLoss(PrintUnit unit, uint32_t encoder, uint32_t keepOneIn) {
  const uint32_t u = static_cast<uint32_t>(unit) & 1u;
  Sync(u);
  m_units[u].keepOneIn[encoder & 1u] = std::max<uint32_t>(1, keepOneIn);
}

void RibbonMechanism::SetShortPanels(PrintUnit unit, bool bShort) {
  const uint32_t u = static_cast<uint32_t>(unit) & 1u;
  Sync(u);
  UnitState& s = m_units[u];
  const double mmPerCount = kRibbonPi * s.model.SupplyDiameter() / RibbonTransport::kSupplyCountsPerTurn;
  const double line = s.tape.HeadLine(s.model.TapePosition());
  s.tape.SetShortPanels(bShort ? static_cast<uint32_t>(std::ceil(kShortPanelCounts * mmPerCount / RibbonTape::kMmPerLine)) : 0);
  // The head stays where it stood on the tape.
  s.tape.PlaceHeadAt(s.model.TapePosition(), line);
  FollowTape(u);
}

void RibbonMechanism::LoadRoll(PrintUnit unit, const RibbonLoad& load) {
  const uint32_t u = static_cast<uint32_t>(unit) & 1u;
  Sync(u);
  UnitState& s = m_units[u];
  std::array<bool, Index(RibbonFault::Count)> faults{};
  for (uint32_t f = 0; f < faults.size(); ++f) faults[f] = s.model.Fault(static_cast<RibbonFault>(f));
  const RibbonInputs inputs = s.model.Inputs();
  s.model = RibbonTransport(load, load.driveMode != 0 ? load.driveMode : s.driveMode);
  s.model.SetInputs(inputs);
  // The switches of the encoders stay with the unit; the roll's own state
  // (cut, end) goes with the old roll.
  for (RibbonFault f : {RibbonFault::NoRibbon, RibbonFault::SupplyEncoderJammed, RibbonFault::TakeUpStalled}) {
    s.model.SetFault(f, faults[Index(f)]);
  }
  s.tape = RibbonTape(load.type, m_lineOffset);
  s.seen = {};
  s.bBarcodeRun = false;
  TraceChanges(u, true);
  FollowTape(u);
  Schedule(u);
}

void RibbonMechanism::SetLineOffset(uint32_t lineOffset) {
  m_lineOffset = lineOffset;
  for (uint32_t u = 0; u < 2; ++u) {
    m_units[u].tape.SetLineOffset(lineOffset);
    m_units[u].colorPanel = PanelAtColorSensor(static_cast<PrintUnit>(u));
    m_units[u].headPanel = PanelAtHead(static_cast<PrintUnit>(u));
  }
}

void RibbonMechanism::SetMarkSensorStuck(PrintUnit unit, uint32_t sensor, bool bStuck, bool bMark) {
  UnitState& s = m_units[static_cast<uint32_t>(unit)];
  if (sensor >= RibbonTape::kMarkSensors) return;
  s.markStuck[sensor] = bStuck;
  s.markStuckLevel[sensor] = bMark;
}

void RibbonMechanism::FollowTape(uint32_t unit) {
  UnitState& s = m_units[unit];
  const PrintUnit printUnit = static_cast<PrintUnit>(unit);
  const Panel color = PanelAtColorSensor(printUnit);
  if (color != s.colorPanel) {
    s.colorPanel = color;
    m_dc.SetRibbonPanel(printUnit, color);
    m_dc.Note(MechanismEventKind::RibbonSwitch, kUnits[unit].pszColorPanel, static_cast<int32_t>(color));
  }
  const Panel head = PanelAtHead(printUnit);
  if (head != s.headPanel) {
    s.headPanel = head;
    m_dc.Note(MechanismEventKind::RibbonSwitch, kUnits[unit].pszHeadPanel, static_cast<int32_t>(head));
  }
}

void RibbonMechanism::Schedule(uint32_t unit) {
  UnitState& s = m_units[unit];
  SimClock& clock = m_board.Clock();
  if (s.event != 0) clock.Cancel(s.event);
  s.event = 0;
  const double seconds = s.model.NextChangeIn();
  if (!std::isfinite(seconds)) return;
  const auto delay = static_cast<Nanos>(std::max(1.0, std::ceil(seconds * kNsPerSecond)));
  s.event = clock.ScheduleIn(delay, [this, unit] { OnEvent(unit); });
}

void RibbonMechanism::OnEvent(uint32_t unit) {
  m_units[unit].event = 0;
  Sync(unit);
  TraceChanges(unit, false);
  Schedule(unit);
}

void RibbonMechanism::OnPaperTravel(int64_t eighths) {
  WebTravel(PrintUnit::L, eighths);
  WebTravel(PrintUnit::R, eighths);
}

void RibbonMechanism::WebTravel(PrintUnit unit, int64_t eighths) {
  const auto u = static_cast<uint32_t>(unit) & 1u;
  RibbonTransport& model = m_units[u].model;
  if (!model.Inputs().bHeadDown) return;
  Sync(u);
  model.PaperTravel(eighths);
  Sync(u);
  Schedule(u);
}

// While a lowered head couples the tape to the paper, every step makes a
// little slack that the take-up winds at once: only changes of the inputs
// take a snapshot then.
void RibbonMechanism::TraceChanges(uint32_t unit, bool bSnapshot) {
  UnitState& s = m_units[unit];
  const UnitWiring& w = kUnits[unit];
  const uint32_t motion = s.model.Motion();
  if (motion != s.motion && !s.model.Inputs().bHeadDown) bSnapshot = true;
  s.motion = motion;
  if (s.model.AtLeader() != s.bAtLeader) {
    s.bAtLeader = s.model.AtLeader();
    m_dc.Note(MechanismEventKind::RibbonSwitch, w.pszLeader, s.bAtLeader ? 1 : 0);
  }
  if (s.model.AtCore() != s.bAtCore) {
    s.bAtCore = s.model.AtCore();
    m_dc.Note(MechanismEventKind::RibbonSwitch, w.pszCore, s.bAtCore ? 1 : 0);
  }
  if (bSnapshot) Snapshot(unit);
}

void RibbonMechanism::Snapshot(uint32_t unit) {
  const RibbonTransport& m = m_units[unit].model;
  const double values[kMeasures] = {m.TapePosition(),   m.Slack(),          m.SupplyLength(),
                                    m.TakeUpLength(),   m.SupplyDiameter(), m.TakeUpDiameter()};
  for (uint32_t i = 0; i < kMeasures; ++i) {
    m_dc.Note(MechanismEventKind::RibbonLength, kUnits[unit].measures[i], Micrometres(values[i]));
  }
}

void RibbonMechanism::SetEncoderBit(uint32_t channel, uint64_t count) {
  // The slot is in front of the reader at odd counts; it reads low there.
  const bool bLevel = (count & 1u) == 0;
  const auto mask = static_cast<uint16_t>(1u << channel);
  const uint16_t word = m_fpga.InputWord(kEncoderWord);
  m_fpga.SetInputWord(kEncoderWord, static_cast<uint16_t>(bLevel ? (word | mask) : (word & ~mask)));
}

}  // namespace sim
