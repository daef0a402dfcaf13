// The ribbon transports of both print units on the board (the model of one
// unit: ribbon_transport.h). For each unit it reads the take-up and supply
// motors from their H-bridge lines in FPGA_DCMOTOR0/1 with their polarity
// and PWM duty (the DC mechanism's decode), the reverse clutch from
// FAN_CTRL, the motor supply, and whether the unit's head lift stands in
// its down sensor's zone; lowered, the tape follows the main paper stepper. It moves
// the tape in virtual time with an event at each encoder count (and where
// the slack runs out or an end is reached), counts the supply encoder on
// counter channel 0 (L) or 1 (R) and the take-up encoder on 2 or 3, and
// toggles IN2 bit 0-3 (active low) with each count.
//
// Observation: Unit() gives a unit's model brought up to now. The
// mechanism trace (DcMechanism::Trace) gets, per unit, the tape position,
// slack, both lengths and both diameters ("RibbonTapeL", "RibbonSlackL",
// "RibbonSupplyL", "RibbonTakeUpL", "RibbonSupplyDiaL",
// "RibbonTakeUpDiaL"; in micrometres, shown in mm) whenever the inputs or
// faults change and whenever a motion starts, stops or stalls; and "on"
// entries when the leader ("RibbonLeaderL") or the core ("RibbonCoreL")
// reaches the head, and one entry per fault switch change
// ("RibbonFaultL", the RibbonFault's number, ToString in the text); and
// the panel (sim::Panel's number) under the colour sensor and under the head
// whenever either changes ("RibbonColorPanelL", "RibbonHeadPanelL").
#pragma once

#include <array>
#include <cstdint>

#include "sim/board.h"
#include "sim/clock.h"
#include "sim/mechanism/ribbon_colors.h"
#include "sim/mechanism/ribbon_tape.h"
#include "sim/mechanism/ribbon_transport.h"

namespace sim {

class DcMechanism;
class FpgaConfigPort;
class FpgaMainBlock;
class GpioController;
class StepperDrivers;

class RibbonMechanism final : public DeviceModel {
 public:
  RibbonMechanism(Board& board, FpgaMainBlock& fpga, FpgaConfigPort& config, GpioController& gpio, DcMechanism& dc,
                  const std::array<RibbonLoad, 2>& loads, uint32_t driveMode);
  ~RibbonMechanism() override;
  RibbonMechanism(const RibbonMechanism&) = delete;
  RibbonMechanism& operator=(const RibbonMechanism&) = delete;

  // Couples each lowered head's tape to the main stepper's shaft (a bare
  // board without the paper web).
  void FollowMainStepper(StepperDrivers& drivers);
  // The paper web moved by `eighths` (16 a line, positive forward) under
  // the unit's head: a lowered head's tape moves with it.
  void WebTravel(PrintUnit unit, int64_t eighths);

  // The unit's model, brought up to now.
  const RibbonTransport& Unit(PrintUnit unit);
  void SetFault(PrintUnit unit, RibbonFault fault, bool bOn);
  // What lies along the unit's tape (ribbon_tape.h); the colour sensor's
  // receiver follows the panel under it whenever that panel changes.
  const RibbonTape& Tape(PrintUnit unit) const { return m_units[static_cast<uint32_t>(unit)].tape; }
  // Places the unit's tape: the head `into` lines into the panel.
  void PlaceTape(PrintUnit unit, Panel panel, double into);
  // Places the unit's tape with its head at a tape coordinate (where it
  // stood when the board was last switched off).
  void PlaceTapeAt(PrintUnit unit, double headLine);
  // The head's tape coordinate now.
  double HeadLine(PrintUnit unit);
  // The panel under the unit's colour sensor and under its head now.
  Panel PanelAtColorSensor(PrintUnit unit);
  Panel PanelAtHead(PrintUnit unit);

  // The A/D levels of the mark sensors ("R.Mark1" to "R.Mark4": channels
  // 32-35 of unit L, 36-39 of unit R) and of the barcode sensors ("Barcode
  // L", "Barcode R": 130, 131), well clear of their slice levels: a mark or
  // a bar reads kMarkLevel, the rest kClearLevel. False for another
  // channel.
  static constexpr uint16_t kMarkLevel = 900;
  static constexpr uint16_t kClearLevel = 100;
  bool Analog(uint32_t channel, uint16_t* pLevel);
  // Fault switch: a mark sensor (0-3) stuck at a level, whatever the tape
  // shows.
  void SetMarkSensorStuck(PrintUnit unit, uint32_t sensor, bool bStuck, bool bMark);
  // The engine's line offset on both tapes (RibbonTape::kLineOffsetEm3 or
  // kLineOffsetEm2).
  void SetLineOffset(uint32_t lineOffset);

  // ---- fault switches of the barcode, the encoders and the panels ----
  // The barcode sensor reads clear for the next `runs` barcode runs (a run:
  // a motion of the motors in which the tape left the supply while the
  // sensor was read), kAlways for good, 0 readable again.
  static constexpr uint32_t kAlways = 0xFFFFFFFFu;
  void SetBarcodeUnreadable(PrintUnit unit, uint32_t runs);
  uint32_t BarcodeUnreadableRuns(PrintUnit unit) const { return m_units[static_cast<uint32_t>(unit) & 1u].unreadableRuns; }
  // An encoder (0 supply, 1 take-up) that gives only one count of every
  // `keepOneIn` (1: every count).
  void SetEncoderLoss(PrintUnit unit, uint32_t encoder, uint32_t keepOneIn);
  // Panels so short that two of them pass within the donor check's barcode
  // window (kShortPanelCounts supply counts each at the supply's diameter
  // now); false: the type's own.
  static constexpr double kShortPanelCounts = 240;
  void SetShortPanels(PrintUnit unit, bool bShort);

  // ---- the operator ----
  // A new roll in the unit, as a person who exchanged it leaves it (the
  // unit's drive mode and the tape's engine offset stay).
  void LoadRoll(PrintUnit unit, const RibbonLoad& load);

 private:
  struct UnitState {
    RibbonTransport model;
    RibbonTape tape;
    Panel colorPanel = Panel::Count;  // last given to the colour receivers
    Panel headPanel = Panel::Count;
    std::array<bool, RibbonTape::kMarkSensors> markStuck{};
    std::array<bool, RibbonTape::kMarkSensors> markStuckLevel{};
    Nanos since = 0;
    SimClock::EventId event = 0;
    uint32_t motion = 0;
    bool bAtLeader = false;
    bool bAtCore = false;
    uint32_t driveMode = 0;
    uint32_t unreadableRuns = 0;
    // A barcode run in progress: the sensor was read while unreadable;
    // the supply's length at the first read.
    bool bBarcodeRun = false;
    double barcodeRunSupply = 0;
    std::array<uint32_t, 2> keepOneIn{1, 1};
    std::array<uint64_t, 2> seen{};  // model counts handed on (or lost) so far
  };
  // A barcode run ends when the motors stop.
  void EndBarcodeRun(uint32_t unit);

  void Refresh();
  RibbonInputs ReadInputs(uint32_t unit) const;
  // Brings the unit's model up to now and hands its counts to the FPGA.
  void Sync(uint32_t unit);
  void Schedule(uint32_t unit);
  void OnEvent(uint32_t unit);
  void OnPaperTravel(int64_t eighths);
  void TraceChanges(uint32_t unit, bool bSnapshot);
  void Snapshot(uint32_t unit);
  void SetEncoderBit(uint32_t channel, uint64_t count);
  // Hands a changed panel under the colour sensor to the receivers.
  void FollowTape(uint32_t unit);

  Board& m_board;
  FpgaMainBlock& m_fpga;
  DcMechanism& m_dc;
  std::array<UnitState, 2> m_units;
  // Encoder counts handed to the FPGA so far: supply, take-up per unit.
  std::array<std::array<uint64_t, 2>, 2> m_given{};
  uint32_t m_lineOffset = RibbonTape::kLineOffsetEm3;
};

}  // namespace sim
