#include "sim/mechanism/paper_web_mechanism.h"

#include <cmath>

#include "sim/board_devices.h"
#include "sim/fpga/cis_window.h"
#include "sim/fpga/fpga_main_block.h"
#include "sim/mechanism/dc_mechanism.h"
#include "sim/mechanism/input_faults.h"
#include "sim/mechanism/mechanism_inputs.h"
#include "sim/mechanism/ribbon_mechanism.h"
#include "sim/mechanism/roll_edge_sensor.h"
#include "sim/mechanism/stepper_drivers.h"

namespace sim {

namespace {

constexpr const char* kFaultNames[] = {"PaperJammed", "RollEncJammed", "RollStalled", "RollEdgeUnseen"};
static_assert(sizeof kFaultNames / sizeof kFaultNames[0] == Index(WebFault::Count));

int32_t Thousandths(double value) { return static_cast<int32_t>(std::llround(value * 1000.0)); }

}  // namespace

PaperWebMechanism::PaperWebMechanism(Board& board, FpgaMainBlock& fpga, DcMechanism& dc, MechanismInputs& inputs,
                                     RibbonMechanism* pRibbons, StepperDrivers& drivers, double rollDiameterMm,
                                     bool bRoll)
    : m_board(board), m_fpga(fpga), m_dc(dc), m_pRibbons(pRibbons), m_web(rollDiameterMm, dc.Variant(), bRoll) {
  m_crossings = dc.Crossings().size();
  drivers.AddShaftObserver(Stepper::Main, [this](int64_t eighths) { OnMain(eighths); });
  drivers.AddShaftObserver(Stepper::Sub, [this](int64_t eighths) { OnSub(eighths); });
  dc.AddAxisObserver([this](Axis axis, int32_t position) { OnAxis(static_cast<uint32_t>(axis), position); });
  inputs.SetPhotoSource([this](PhotoSensor sensor) { return m_web.PaperAt(sensor); });
  inputs.AddAnalogSource([this](uint32_t channel, uint16_t* pLevel) {
    if (channel != RollEdgeSensor::kChannel) return false;
    RefreshLoadDrive();
    *pLevel = RollEdgeSensor::Level(m_web);
    return true;
  });
  if (CisWindow* pCis = board.FindDevice<CisWindow>()) {
    pCis->SetSceneSource([this] { return CisWindow::View{m_web.Covers(PaperWeb::kCisLine), m_web.Front()}; });
    pCis->SetTraceSink([this](std::string_view name, int32_t value) { m_dc.Note(MechanismEventKind::PaperWeb, name, value); });
  }
}

PaperWebMechanism::~PaperWebMechanism() {
  if (m_settle != 0) m_board.Clock().Cancel(m_settle);
}

void PaperWebMechanism::OnMain(int64_t eighths) {
  const double lines = m_web.MainTravel(eighths);
  GiveCounts();
  if (lines != 0.0) {
    if (m_pRibbons != nullptr) {
      const PrintUnit unit = m_web.Path() == WebPath::L ? PrintUnit::L : PrintUnit::R;
      m_pRibbons->WebTravel(unit, static_cast<int64_t>(std::llround(lines * PaperWeb::kEighthsPerLine)));
    }
    Moved();
  }
}

void PaperWebMechanism::RefreshLoadDrive() {
  const auto travel = [this](Axis axis) {
    return static_cast<double>(m_dc.Position(axis)) / static_cast<double>(m_dc.Geometry(axis).length);
  };
  const bool bFeed = (m_dc.LoadsOn() & kLoadClutchMask) != 0 && travel(Axis::LoadPinch) >= PaperWeb::kLoadBarDownFrom;
  m_web.SetLoadDrive(travel(Axis::LoadBar), bFeed);
}

void PaperWebMechanism::OnSub(int64_t eighths) {
  RefreshLoadDrive();
  m_web.SubTravel(eighths);
  GiveCounts();
  Moved();
}

void PaperWebMechanism::OnAxis(uint32_t axis, int32_t position) {
  if (axis == static_cast<uint32_t>(Axis::PathSel)) {
    // Position 4 (path L) at 0, position 3 (path R) at the far end.
    if (position <= 0) m_web.SelectPath(WebPath::L);
    if (position >= m_dc.Geometry(Axis::PathSel).length) m_web.SelectPath(WebPath::R);
    return;
  }
  if (axis != static_cast<uint32_t>(Axis::Cutter)) return;
  const size_t crossings = m_dc.Crossings().size();
  if (crossings == m_crossings) return;
  m_crossings = crossings;
  if (m_web.Cut(m_board.Clock().Now())) {
    m_dc.Note(MechanismEventKind::PaperWeb, "PaperSheet", Thousandths(m_web.Sheets().back().lines));
    Snapshot();
  }
}

void PaperWebMechanism::GiveCounts() {
  const uint64_t counts = m_web.RollEncCounts();
  if (counts == m_given) return;
  m_fpga.CountPulses(kRollEncChannel, static_cast<uint32_t>(counts - m_given));
  m_given = counts;
}

void PaperWebMechanism::Moved() {
  m_bMovedSinceSnapshot = true;
  if (m_settle == 0) ScheduleSettle();
}

// Snapshots once the web has stood for a whole settle time.
void PaperWebMechanism::ScheduleSettle() {
  m_settle = m_board.Clock().ScheduleIn(kSettle, [this] {
    m_settle = 0;
    if (m_bMovedSinceSnapshot) {
      m_bMovedSinceSnapshot = false;
      ScheduleSettle();
    } else {
      Snapshot();
    }
  });
}

void PaperWebMechanism::Place(bool bRoll, const PaperWeb::Placement& placement) {
  m_web.Place(bRoll, placement);
  Snapshot();
}

void PaperWebMechanism::Snapshot() {
  m_dc.Note(MechanismEventKind::PaperWeb, "PaperFront", Thousandths(m_web.Front()));
  m_dc.Note(MechanismEventKind::PaperWeb, "PaperTail", m_web.Attached() ? 0 : Thousandths(m_web.Tail()));
  m_dc.Note(MechanismEventKind::PaperWeb, "PaperPath", m_web.Path() == WebPath::L ? 0 : 1);
  m_dc.Note(MechanismEventKind::PaperWeb, "PaperSlack", Thousandths(m_web.SlackMm()));
  m_dc.Note(MechanismEventKind::PaperWeb, "PaperRollDia", Thousandths(m_web.DiameterMm()));
  m_dc.Note(MechanismEventKind::PaperWeb, "PaperRollAngle", Thousandths(m_web.AngleDeg()));
  m_dc.Note(MechanismEventKind::PaperWeb, "PaperWeb", m_web.HasWeb() ? 1 : 0);
  double edgeDeg = 0.0;
  m_dc.Note(MechanismEventKind::PaperWeb, "PaperRollFront", m_web.EdgeAngle(&edgeDeg) ? Thousandths(edgeDeg) : -1);
}

void PaperWebMechanism::SetFault(WebFault fault, bool bOn) {
  if (m_web.Fault(fault) == bOn) return;
  m_web.SetFault(fault, bOn);
  m_dc.Note(MechanismEventKind::RibbonSwitch, kFaultNames[Index(fault)], bOn ? 1 : 0);
}

void PaperWebMechanism::Detach() {
  if (!m_web.HasWeb() || !m_web.Attached()) return;
  m_web.Detach();
  Changed("RollDetached");
}

void PaperWebMechanism::TakeRollOut() {
  m_web.TakeRollOut();
  Changed("RollTakenOut");
}

void PaperWebMechanism::InsertRoll(double lengthMm, double edgeDeg) {
  m_web.InsertRoll(lengthMm, edgeDeg);
  Changed("RollInserted");
}

void PaperWebMechanism::TakeSheetOut() {
  m_web.TakeSheetOut();
  Changed("SheetTakenOut");
}

void PaperWebMechanism::Changed(std::string_view name) {
  m_dc.Note(MechanismEventKind::RibbonSwitch, name, 1);
  Snapshot();
}

void InstallPaperWeb(Board& board, const BoardInputs& inputs) {
  FpgaMainBlock* pFpga = board.FindDevice<FpgaMainBlock>();
  DcMechanism* pDc = board.FindDevice<DcMechanism>();
  MechanismInputs* pInputs = board.FindDevice<MechanismInputs>();
  StepperDrivers* pDrivers = board.FindDevice<StepperDrivers>();
  if (pFpga == nullptr || pDc == nullptr || pInputs == nullptr || pDrivers == nullptr) return;
  const bool bRoll = inputs.bRollLoaded && inputs.rollStart != RollStart::None;
  const double lengthMm = inputs.rollLines != 0 ? inputs.rollLines / PaperWeb::kLinesPerMm
                                                : PaperWeb::LengthOf(inputs.paperRollDiameterMm);
  PaperWebMechanism& web =
      board.AddDevice<PaperWebMechanism>(board, *pFpga, *pDc, *pInputs, board.FindDevice<RibbonMechanism>(), *pDrivers,
                                         PaperWeb::DiameterOf(lengthMm), bRoll);
  if (bRoll && inputs.rollStart == RollStart::New) web.InsertRoll(lengthMm);
  if (InputFaults* pFaults = board.FindDevice<InputFaults>()) pFaults->AttachPaperWeb(&web);
}

}  // namespace sim
