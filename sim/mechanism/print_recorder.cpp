#include "sim/mechanism/print_recorder.h"

#include <algorithm>

#include "sim/mechanism/head_supply.h"
#include "sim/mechanism/stepper_drivers.h"

namespace sim {

PrintRecorder::PrintRecorder(HeadDriveBlock& heads) {
  heads.SetLineSink([this](const HeadDriveBlock::StrobedLine& line) { OnLine(line); });
  heads.SetSourcesForgottenSink([this] { EndPlane(); });
}

void PrintRecorder::EndPlane() {
  if (m_pCurrent == nullptr) return;
  const Plane& plane = *m_pCurrent;
  m_pCurrent = nullptr;
  for (const PlaneObserver& observer : m_planeObservers) observer(plane);
}

const PrintRecorder::Plane* PrintRecorder::Find(uint32_t unit, uint16_t planeCode) const {
  if (unit >= kUnits || planeCode >= kPlaneCodes) return nullptr;
  const Plane& plane = m_planes[unit][planeCode];
  return plane.session != 0 ? &plane : nullptr;
}

const std::vector<PrintRecorder::Line>& PrintRecorder::Lines(uint32_t unit, uint16_t planeCode) const {
  static const std::vector<Line> kNone;
  const Plane* plane = Find(unit, planeCode);
  return plane != nullptr ? plane->lines : kNone;
}

std::vector<const PrintRecorder::Plane*> PrintRecorder::Planes() const {
  std::vector<std::pair<uint64_t, const Plane*>> found;
  for (uint32_t unit = 0; unit < kUnits; ++unit) {
    for (uint16_t code = 0; code < kPlaneCodes; ++code) {
      if (const Plane* plane = Find(unit, code)) found.emplace_back(m_orderOf[unit][code], plane);
    }
  }
  std::sort(found.begin(), found.end());
  std::vector<const Plane*> planes;
  for (const auto& entry : found) planes.push_back(entry.second);
  return planes;
}

void PrintRecorder::Clear() {
  m_planes = {};
  m_orderOf = {};
  m_pCurrent = nullptr;
  m_outside = 0;
}

PrintRecorder::Plane& PrintRecorder::PlaneOf(const HeadDriveBlock::StrobedLine& line) {
  if (m_pCurrent != nullptr && m_pCurrent->session == line.source.session) return *m_pCurrent;
  EndPlane();
  // A new session: its unit is the powered head's.
  const bool bPoweredL = line.heads[0].bPowered;
  const bool bPoweredR = line.heads[1].bPowered;
  if (bPoweredL != bPoweredR) m_lastUnit = bPoweredR ? 1u : 0u;
  Plane& plane = m_planes[m_lastUnit][line.source.planeCode];
  plane = Plane{m_lastUnit, line.source.planeCode, line.source.session, {}};
  m_orderOf[m_lastUnit][line.source.planeCode] = ++m_order;
  m_pCurrent = &plane;
  return plane;
}

void PrintRecorder::OnLine(const HeadDriveBlock::StrobedLine& line) {
  if (line.source.session == 0 || line.source.planeCode >= kPlaneCodes) {
    ++m_outside;
    return;
  }
  Plane& plane = PlaneOf(line);
  Line& entry = plane.lines.emplace_back();
  entry.at = line.at;
  entry.bank = line.bank;
  entry.bStale = line.bStale;
  entry.bOverrun = line.bOverrun;
  entry.strobe = line.strobe;
  entry.shaftEighths = m_pShafts != nullptr ? m_pShafts->ShaftEighths(Stepper::Main) : 0;
  const HeadDriveBlock::LineHead& head = line.heads[plane.unit];
  entry.bHeadPower = head.bPowered;
  entry.bHeadEnable = head.bEnabled;
  entry.bDriveEnable = line.bDriveEnabled;
  entry.bThvSupply = line.bThvSupply;
  entry.thvStep = m_pSupply != nullptr ? m_pSupply->OutputStep() : 0;
  entry.words.assign(line.words, line.words + HeadDriveBlock::kLineWords);
}

void InstallPrintRecorder(Board& board) {
  HeadDriveBlock* pHeads = board.FindDevice<HeadDriveBlock>();
  if (pHeads == nullptr) return;
  PrintRecorder& recorder = board.AddDevice<PrintRecorder>(*pHeads);
  recorder.AttachShaft(board.FindDevice<StepperDrivers>());
  recorder.AttachSupply(board.FindDevice<HeadSupply>());
}

}  // namespace sim
