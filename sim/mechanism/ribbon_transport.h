// One print unit's ribbon path, as its motors, its reverse clutch, its head
// and the paper move it: a supply spool and a take-up spool (ribbon_spool.h)
// with the tape between them, the slack in it, and an encoder on each
// spool. The model knows no clock and no register: the board's ribbon
// mechanism (ribbon_mechanism.h) reads the H-bridge lines, the clutch and
// the head into RibbonInputs, advances the model in time and hands the
// encoder counts to the FPGA.
//
// Motors (MotorCommandOf): both lines of an H-bridge active is a short brake
// that holds its spool, both inactive lets it coast; one line active runs
// the motor at a spool speed of duty / 100 x 2 turns a second, and below
// 10 % duty, or without the motor supply, nothing turns (it coasts).
//
// Tape motion, with the head up:
// - take-up forward winds the slack first, then pulls the tape off the
//   supply; it stalls against a held supply. A supply motor running in
//   reverse does not hold: its clutch slips and the spool pays out;
// - supply reverse turns the spool only while the reverse clutch is on; it
//   takes in the slack, then pulls the tape back, which the take-up pays
//   out only when it is driven in reverse (a coasting take-up spool does
//   not unwind); otherwise the supply stalls;
// - take-up reverse pays out tape as slack;
// - supply forward turns the spool only in drive mode 1, paying out tape as
//   slack; a take-up winding faster is held to its pace. In drive mode 2
//   (the default, as "Engine Version" 5 presets it) the spool runs free;
// - a supply that coasts, or runs without its clutch or drive mode, pays
//   out whatever the take-up pulls.
// While the head stands at its down end the tape is pressed to the paper:
// it moves with the main paper stepper's travel (PaperTravel; 16 eighth
// steps per print line of 1/300 inch), paying out from the supply whatever
// its motor does, or, backwards, going back to the supply from the slack
// and then off the take-up spool. The motors then only wind the slack
// (take-up forward, stalling when there is none) or pay out slack (take-up
// reverse); the supply turns only with the paper.
//
// Encoders: the supply's (channel 0 or 1) counts kSupplyCountsPerTurn per
// spool turn, the take-up's (2 or 3) kTakeUpCountsPerTurn, both upwards in
// either direction.
//
// Ribbon end: the last kLeaderMm of the supply are a clear leader without
// panels; at supply length 0 the tape is fixed to the core and pays out no
// further (a take-up's tape is fixed to its core in the same way).
//
// Fault switches (RibbonFault):
// - Cut: the tape breaks between the supply and the head; the supply never
//   turns again, and the take-up winds the loose end (kCutTailMm and the
//   slack), then spins free. Clearing the switch does not mend the tape;
// - End: the supply is down to its leader (a one-time change of its
//   length: clearing the switch gives no ribbon back);
// - NoRibbon: no ribbon loaded; both spools spin free as their motors
//   turn them, and no tape moves;
// - SupplyEncoderJammed: the supply encoder counts nothing;
// - TakeUpStalled: the take-up spool does not turn whatever drives it.
#pragma once

#include <array>
#include <cstdint>

#include "sim/mechanism/enum_index.h"
#include "sim/mechanism/ribbon_spool.h"

namespace sim {

enum class SpoolCommand : uint8_t { Coast, Hold, Forward, Reverse };

struct MotorCommand {
  SpoolCommand command = SpoolCommand::Coast;
  // Spool speed while running Forward or Reverse.
  double turnsPerSecond = 0;
  bool operator==(const MotorCommand&) const = default;
};

constexpr uint32_t kMinimumRunPercent = 10;
constexpr double kFullSpeedTurnsPerSecond = 2.0;

// The command of a spool motor from its H-bridge's line levels, its wiring
// polarity (which decodes the running direction, h_bridge.h), the PWM
// duty in percent and whether the motor supply is on.
MotorCommand MotorCommandOf(bool bLineA, bool bLineB, bool bInverted, uint32_t percent, bool bPowered);

// The roll in a unit at power-on. By default a new Color8x12K1 roll: the
// whole roll on the supply, the start of its tape (kNewTakeUpMm) wound on
// the take-up core, which still measures as empty.
struct RibbonLoad {
  static constexpr double kFullRoll = -1.0;
  static constexpr double kNewTakeUpMm = 1000.0;
  RibbonType type = RibbonType::Color8x12K1;
  // Ribbon on the supply spool, mm; kFullRoll: the type's whole roll.
  double supplyMm = kFullRoll;
  // Ribbon on the take-up spool, and slack between the spools, mm.
  double takeUpMm = kNewTakeUpMm;
  double slackMm = 0;
  // This unit's drive mode (1 or 2); 0: the machine's.
  uint32_t driveMode = 0;
};

// Parses "TYPE[:SUPPLY_MM[:TAKEUP_MM[:DRIVE_MODE]]]" (type names:
// ribbon_spool.h; lengths not given as on a new roll; the drive mode 1 or
// 2, not given: the machine's).
bool ParseRibbonLoad(const char* pszText, RibbonLoad* pLoad);

enum class RibbonFault : uint8_t { Cut, End, NoRibbon, SupplyEncoderJammed, TakeUpStalled, Count };
// Option names: cut, end, no-ribbon, supply-jammed, take-up-stalled.
const char* ToString(RibbonFault fault);
bool ParseRibbonFault(const char* pszName, RibbonFault* pFault);

// Drive modes: 1 the supply motor also pays out forward, 2 it does not.
constexpr uint32_t kDefaultRibbonDriveMode = 2;

struct RibbonInputs {
  MotorCommand takeUp;
  MotorCommand supply;
  bool bClutch = false;
  bool bHeadDown = false;
  bool operator==(const RibbonInputs&) const = default;
};

class RibbonTransport {
 public:
  static constexpr double kLeaderMm = 300.0;
  static constexpr double kSupplyCountsPerTurn = 72.0 * 6.903;
  static constexpr double kTakeUpCountsPerTurn = 12.0 * 75.111;
  static constexpr double kEighthStepsPerLine = 16.0;
  static constexpr double kMmPerLine = 25.4 / 300.0;
  static constexpr double kCutTailMm = 200.0;
  // How far from the take-up spool the head presses the tape.
  static constexpr double kHeadToTakeUpMm = 100.0;

  RibbonTransport(const RibbonLoad& load, uint32_t driveMode);

  // ---- what drives it ----
  void SetInputs(const RibbonInputs& inputs) { m_inputs = inputs; }
  const RibbonInputs& Inputs() const { return m_inputs; }
  void SetFault(RibbonFault fault, bool bOn);
  bool Fault(RibbonFault fault) const { return m_faults[Index(fault)]; }
  // Moves the ribbon for `seconds` at the present inputs. Callers step no
  // further than NextChangeIn() at a time, so that a count, the slack
  // running out or an end reached falls on a step's end.
  void Advance(double seconds);
  // The main paper stepper's travel in eighth steps (negative: backwards);
  // moves the tape only while the head is down.
  void PaperTravel(int64_t eighths);
  // Seconds to the next encoder count, the slack running out, the leader
  // or a core reached (at most kMaxStep while anything moves); infinity
  // while nothing moves.
  double NextChangeIn() const;
  static constexpr double kMaxStep = 0.01;

  // ---- observation ----
  RibbonType Type() const { return m_type; }
  double Thickness() const { return m_thickness; }
  double SupplyLength() const { return m_supply; }
  double TakeUpLength() const { return m_takeUp; }
  double SupplyDiameter() const { return DiameterOfTurns(TurnsOfLength(m_supply, m_thickness), m_thickness); }
  double TakeUpDiameter() const { return DiameterOfTurns(TurnsOfLength(m_takeUp, m_thickness), m_thickness); }
  // Loose tape between the spools beyond the taut path, mm (after a cut:
  // of the loose end).
  double Slack() const;
  // The tape under the head: how far it has moved forward since power-on,
  // mm; and whether there is tape under the head at all.
  double TapePosition() const { return m_position; }
  bool TapeAtHead() const;
  // The supply is down to its clear leader (at the head); it has run out,
  // the tape fixed at its core.
  bool AtLeader() const { return m_supply <= kLeaderMm; }
  bool AtCore() const { return m_supply <= 0; }
  // Encoder counts since power-on (the counter channels keep 16 bits).
  uint64_t SupplyCount() const { return m_spools[kSupply].count; }
  uint64_t TakeUpCount() const { return m_spools[kTakeUp].count; }
  // The tape paid out of the supply since the roll was loaded (negative:
  // wound back beyond it), in supply encoder counts at the diameters it
  // left the spool at: the barcode's coordinate.
  double SupplyUnwoundCounts() const {
    return (TurnsOfLength(m_supplyLoaded, m_thickness) - TurnsOfLength(m_supply, m_thickness)) * kSupplyCountsPerTurn;
  }
  // Spool turns since power-on, in either direction.
  double SupplyTurns() const { return m_spools[kSupply].angle; }
  double TakeUpTurns() const { return m_spools[kTakeUp].angle; }
  // Which way the tape and the spools move now: changes when a motion
  // starts, stops or stalls (one bit per moving part and direction).
  uint32_t Motion() const;

 private:
  enum Side : uint32_t { kSupply, kTakeUp };
  enum class Act : uint8_t { Fixed, Free, Wind, PayOut };
  struct Drive {
    Act act;
    double turnsPerSecond;
  };
  struct Spool {
    double angle = 0;     // turns, counted upwards either way
    uint64_t reached = 0;  // whole counts the angle has passed
    uint64_t count = 0;    // counts the encoder gave
  };
  // Tape moved: wound onto the take-up (negative: paid out of it), paid
  // out of the supply (negative: wound back onto it).
  struct Flow {
    double wound;
    double paidOut;
  };
  struct Rates {
    Flow tape;  // mm per second
    std::array<double, 2> spin;  // spool turns per second, either way
  };

  Drive TakeUpDrive() const;
  Drive SupplyDrive() const;
  // The tape that moves when the take-up wants `takeUp` and the supply
  // `supply` (lengths, or lengths per second), given the slack and the
  // ribbon each spool still holds.
  Flow Solve(const Drive& takeUp, double wantTakeUp, const Drive& supply, double wantSupply, double slack,
             double supplyRoom, double takeUpRoom) const;
  Rates RatesNow() const;
  // Moves ribbon between the spools and the slack; turns the spools.
  void Move(const Flow& flow);
  void Turn(Side side, double turns);
  void Count(Side side);
  static double Want(const Drive& drive, double length, double thickness, double seconds);

  RibbonType m_type;
  double m_thickness;
  uint32_t m_driveMode;
  double m_supply;
  double m_supplyLoaded;
  double m_takeUp;
  double m_slack;
  double m_position = 0;
  // After a cut: the loose end between the break and the take-up spool.
  double m_tail = 0;
  RibbonInputs m_inputs;
  std::array<bool, Index(RibbonFault::Count)> m_faults{};
  std::array<Spool, 2> m_spools{};
};

}  // namespace sim
