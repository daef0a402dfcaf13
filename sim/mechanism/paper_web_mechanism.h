// The paper web on the board (the model: paper_web.h). The main stepper's
// shaft moves the web and, on the web's path, the tape under that unit's
// lowered head; the sub stepper's shaft turns the roll, whose "RollEnc"
// counts go to counter channel 5; the path selector's axis sets the path
// while the front is behind the split; each cutter crossing that starts
// while the front is past the blade cuts a sheet; the photo sensors read
// the web, and "RollEdge" (roll_edge_sensor.h) the roll. The load bar's
// axis and the load feed (the load clutch on FAN_CTRL and the load pinch's
// axis down) set what the roll turns against. At power-on a roll of the
// machine's diameter (or paper length) is threaded to "Position" on path L
// with no slack, or lies new with its front on it, or there is none.
//
// Observation: Web(); the mechanism trace gets "PaperFront", "PaperTail",
// "PaperPath" (0 L, 1 R), "PaperSlack", "PaperRollDia", "PaperRollAngle"
// (lines, mm and degrees, in thousandths) whenever the web has moved and
// then stood for 20 ms, with "PaperWeb" (1 paper in the path),
// and "PaperRollFront" (the roll's own front's angle, -1 while it has none on
// it), and at each cut
// ("PaperSheet", its length in lines), detach and fault switch
// ("PaperJammed", "RollEncJammed", "RollStalled", "RollEdgeUnseen",
// "RollDetached") and operator action ("RollTakenOut", "RollInserted",
// "SheetTakenOut"). The CIS window (cis_window.h) sees the
// web at its line (PaperWeb::kCisLine), its travel being the front's; its
// lines go to the same trace.
#pragma once

#include <cstdint>
#include <string_view>

#include "sim/board.h"
#include "sim/clock.h"
#include "sim/mechanism/paper_web.h"

namespace sim {

class DcMechanism;
class FpgaMainBlock;
class MechanismInputs;
class RibbonMechanism;
class StepperDrivers;

class PaperWebMechanism final : public DeviceModel {
 public:
  static constexpr uint32_t kRollEncChannel = 5;
  static constexpr Nanos kSettle = 20'000'000;

  PaperWebMechanism(Board& board, FpgaMainBlock& fpga, DcMechanism& dc, MechanismInputs& inputs,
                    RibbonMechanism* pRibbons, StepperDrivers& drivers, double rollDiameterMm, bool bRoll);
  ~PaperWebMechanism() override;
  PaperWebMechanism(const PaperWebMechanism&) = delete;
  PaperWebMechanism& operator=(const PaperWebMechanism&) = delete;

  const PaperWeb& Web() const { return m_web; }
  // Fault switches: paper jammed, RollEnc jammed, roll stalled, edge unseen.
  void SetFault(WebFault fault, bool bOn);
  // The roll lets go of the web now.
  void Detach();
  // The operator's hands (PaperWeb::TakeRollOut, InsertRoll, TakeSheetOut).
  void TakeRollOut();
  void InsertRoll(double lengthMm, double edgeDeg = PaperWeb::kNewRollEdgeDeg);
  void TakeSheetOut();
  // Puts the roll and web where they stood (PaperWeb::Place).
  void Place(bool bRoll, const PaperWeb::Placement& placement);
  void Place(const PaperWeb::Placement& placement) { Place(m_web.HasPaper(), placement); }

 private:
  void OnMain(int64_t eighths);
  void OnSub(int64_t eighths);
  void OnAxis(uint32_t axis, int32_t position);
  // The load bar and the load feed as the DC mechanism holds them now.
  void RefreshLoadDrive();
  void Changed(std::string_view name);
  void GiveCounts();
  void Moved();
  void ScheduleSettle();
  void Snapshot();

  Board& m_board;
  FpgaMainBlock& m_fpga;
  DcMechanism& m_dc;
  RibbonMechanism* m_pRibbons;
  PaperWeb m_web;
  uint64_t m_given = 0;
  size_t m_crossings = 0;
  bool m_bMovedSinceSnapshot = false;
  SimClock::EventId m_settle = 0;
};

}  // namespace sim
