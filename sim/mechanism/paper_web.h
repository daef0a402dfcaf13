// The paper web from the roll through the paper path, without clock or
// registers (the board's wiring of it: paper_web_mechanism.h).
//
// Frame: one line coordinate at 300 lines per inch, the firmware's frame
// once it re-bases at "Top" (65536). The web has a front and a path (L or
// R): the path follows the path selector while the front is behind the
// split and is kept once the front has passed it. The tail lies on the
// roll while the web is attached, and runs free once the roll's paper is
// used up. A photo sensor reads paper wherever the web covers it.
//
// Drive: the main stepper's shaft (16 eighth steps a line) moves the front,
// forward with its direction bit set on path L and cleared on path R. The
// roll (diameter and paper left by the layer formula round an 86.7 mm core,
// 0.212 mm paper) turns under the sub stepper, 6262.31 full steps a turn:
// unwinding into slack up to 300 mm, beyond which its drive slips; rewinding
// takes the slack in and then stalls against the web the main drive holds.
// The main drive uses the slack first, then pulls the roll round. "RollEnc"
// counts 36 x 100 / 21 a roll turn, upwards in either direction.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "sim/clock.h"
#include "sim/mechanism/enum_index.h"
#include "sim/mechanism/mechanism_inputs.h"
#include "sim/mechanism/positioner_geometry.h"

namespace sim {

enum class WebPath : uint8_t { L, R };
// Paper jammed: the front stands and the main drive slips. RollEnc jammed:
// the roll's encoder counts nothing. Roll stalled: the sub drive slips, and
// the main drive too once the slack is used up.
enum class WebFault : uint32_t { PaperJammed, RollEncJammed, RollStalled, Count };
// Their names on printer-sim's command line: "jammed", "rollenc-jammed",
// "roll-stalled".
const char* ToString(WebFault fault);
bool ParseWebFault(const char* pszName, WebFault* pFault);

struct CutSheet {
  double lines;
  Nanos at;
};

class PaperWeb {
 public:
  static constexpr double kLinesPerMm = 300.0 / 25.4;
  static constexpr double kEighthsPerLine = 16.0;
  // Places in the line frame.
  static constexpr double kPaperEmpty = 63363.0;
  static constexpr double kCisLine = 65250.0;
  static constexpr double kSplit = 65400.0;
  static constexpr double kTop = 65536.0;
  static constexpr double kHeadNip = 66400.0;
  static constexpr double kPosition = 67133.0;
  static constexpr double kBlade = 69663.0;
  // Where the web leaves the roll: its tail starts here once detached.
  static constexpr double kRollExit = kPaperEmpty - 600.0;
  // The roll.
  static constexpr double kCoreMm = 86.7;
  static constexpr double kPaperMm = 0.212;
  static constexpr double kPi = 3.14159;
  static constexpr double kDefaultDiameterMm = 150.0;
  static constexpr double kSubStepsPerTurn = 6262.31;
  static constexpr double kRollEncPerTurn = 36.0 * 100.0 / 21.0;
  static constexpr double kMaxSlackMm = 300.0;

  // A roll of the diameter threaded to the front on path L, no slack; no
  // paper at all without a roll.
  PaperWeb(double rollDiameterMm, EngineVariant variant, bool bRoll = true);

  // The main shaft turned by `eighths` (positive with the direction bit
  // set); returns the web's travel in lines, positive forward.
  double MainTravel(int64_t eighths);
  // The sub shaft turned by `eighths` (positive with the direction bit set).
  void SubTravel(int64_t eighths);
  // The path selector's side now.
  void SelectPath(WebPath side);
  // A cutter crossing: cuts the web when its front is past the blade.
  bool Cut(Nanos at);
  // The roll lets go of the web now.
  void Detach();
  void SetFault(WebFault fault, bool bOn) { m_faults[Index(fault)] = bOn; }
  bool Fault(WebFault fault) const { return m_faults[Index(fault)]; }

  bool PaperAt(PhotoSensor sensor) const;
  // Whether the web covers a place of the line frame.
  bool Covers(double place) const;
  // Whole "RollEnc" counts so far.
  uint64_t RollEncCounts() const { return static_cast<uint64_t>(m_rollEnc); }

  bool HasPaper() const { return m_bRoll; }
  double Front() const { return m_front; }
  bool Attached() const { return m_bAttached; }
  // The tail's place once detached (kRollExit before).
  double Tail() const { return m_tail; }
  WebPath Path() const { return m_path; }
  double SlackMm() const { return m_slackMm; }
  double DiameterMm() const { return m_diameterMm; }
  double PaperOnRollMm() const { return m_onRollMm; }
  double AngleDeg() const { return m_angleDeg; }
  const std::vector<CutSheet>& Sheets() const { return m_sheets; }

  // Where the web stands, as the board keeps it across a power cycle.
  struct Placement {
    double front;
    double tail;
    bool bAttached;
    WebPath path;
    double slackMm;
    double onRollMm;
  };
  Placement GetPlacement() const { return {m_front, m_tail, m_bAttached, m_path, m_slackMm, m_onRollMm}; }
  // Puts the web of a loaded roll where a placement says (values out of
  // range are brought within it).
  void Place(const Placement& placement);

  // The layer formula: paper length on a roll of a diameter, and back.
  static double LengthOf(double diameterMm);
  static double DiameterOf(double lengthMm);

 private:
  // The roll turns by `mm` of paper (positive: unwinding).
  void TurnRoll(double mm);
  // The roll spins by `turns` without paper moving.
  void Spin(double turns);

  bool m_bRoll;
  EngineVariant m_variant;
  double m_front = kPosition;
  double m_tail = kRollExit;
  bool m_bAttached = true;
  WebPath m_path = WebPath::L;
  double m_slackMm = 0.0;
  double m_diameterMm;
  double m_onRollMm;
  double m_angleDeg = 0.0;
  double m_rollEnc = 0.0;
  std::array<bool, Index(WebFault::Count)> m_faults{};
  std::vector<CutSheet> m_sheets;
};

}  // namespace sim
