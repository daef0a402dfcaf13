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
//
// The main drive holds the web once its front has passed kMainReach; a
// front short of it moves only with the roll: the load feed (the load
// clutch on and the load pinch down) carries it forward as the roll
// unwinds, and rewinding pulls it back (onto the roll again behind the
// roll's exit). A roll whose paper is not threaded has its front lying on
// it at an angle that turns with the roll; unwinding with the load bar
// down peels that front off at kPeelDeg into the load path, which leads
// past "PaperEmpty" and "PaperPath" on the common path to the split,
// whatever the carousel's orientation. A loose web (cut at the roll, or
// its roll used up) sent out past the blade stays at the exit, over
// "Position" while its tail is behind it, until it is taken out.
//
// Angles are in degrees round the roll in its unwinding sense, from the
// "RollEdge" sensor's view with the load bar up (roll_edge_sensor.h).
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
// Edge unseen: "RollEdge" reads the paper surface at the front's edge too.
enum class WebFault : uint32_t { PaperJammed, RollEncJammed, RollStalled, EdgeUnseen, Count };
// Their names on printer-sim's command line: "jammed", "rollenc-jammed",
// "roll-stalled", "edge-unseen".
const char* ToString(WebFault fault);
bool ParseWebFault(const char* pszName, WebFault* pFault);

// The roll at power-on: threaded to "Position" on path L, a new roll with
// its front lying on it (nothing in the path), or none. Their names on
// printer-sim's command line: "threaded", "new", "none".
enum class RollStart : uint8_t { Threaded, New, None, Count };
const char* ToString(RollStart start);
bool ParseRollStart(const char* pszName, RollStart* pStart);

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
  static constexpr double kMainReach = kPaperEmpty + 300.0;
  // On the common path, 945 lines short of "Top".
  static constexpr double kPaperPath = 64591.0;
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
  // Where the load bar, once down, peels the roll's front off into the
  // load path (the roll's exit); the load bar counts as down from this
  // fraction of its travel.
  static constexpr double kPeelDeg = 73.0;
  static constexpr double kLoadBarDownFrom = 0.9;
  // Where a new roll's front lies.
  static constexpr double kNewRollEdgeDeg = 200.0;

  // A roll of the diameter threaded to the front on path L, no slack; no
  // paper at all without a roll.
  PaperWeb(double rollDiameterMm, EngineVariant variant, bool bRoll = true);

  // What the roll turns against: the load bar's travel from up (0) to down
  // (1), and the load feed engaged (load clutch on, load pinch down).
  void SetLoadDrive(double loadBar, bool bLoadFeed) {
    m_loadBar = loadBar;
    m_bLoadFeed = bLoadFeed;
  }
  double LoadBar() const { return m_loadBar; }

  // The main shaft turned by `eighths` (positive with the direction bit
  // set); returns the web's travel in lines, positive forward.
  double MainTravel(int64_t eighths);
  // The sub shaft turned by `eighths` (positive with the direction bit set).
  void SubTravel(int64_t eighths);
  // The path selector's side now.
  void SelectPath(WebPath side);
  // A cutter crossing: cuts the web when its front is past the blade.
  bool Cut(Nanos at);
  // The roll lets go of the web now (cut at the roll): the paper left on
  // the roll has its new front at the roll's exit.
  void Detach();
  // The operator takes the roll out, with any paper in the path.
  void TakeRollOut();
  // The operator puts a roll of `lengthMm` paper in (in place of any roll
  // there), its front lying on it at `edgeDeg`; nothing is threaded.
  void InsertRoll(double lengthMm, double edgeDeg);
  // The operator takes the sheet off the exit: a loose web whose front is
  // past the blade leaves the path.
  void TakeSheetOut();
  void SetFault(WebFault fault, bool bOn) { m_faults[Index(fault)] = bOn; }
  bool Fault(WebFault fault) const { return m_faults[Index(fault)]; }

  bool PaperAt(PhotoSensor sensor) const;
  // Whether the web covers a place of the line frame.
  bool Covers(double place) const;
  // Whole "RollEnc" counts so far.
  uint64_t RollEncCounts() const { return static_cast<uint64_t>(m_rollEnc); }

  // A roll in the printer (possibly used up).
  bool HasPaper() const { return m_bRoll; }
  // Paper in the path (its front at or past the roll's exit).
  bool HasWeb() const { return m_bWeb; }
  // Where the roll's own front lies (degrees), while it lies on the roll:
  // false with no roll, an empty one, or one threaded to the web.
  bool EdgeAngle(double* pDeg) const;
  // A loose web sent out past the blade, waiting to be taken out.
  bool HasExitSheet() const { return m_bWeb && !m_bAttached && m_front > kBlade; }
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
    // Paper in the path; where the roll's own front lies (while the roll
    // is not threaded).
    bool bWeb = true;
    double edgeDeg = 0.0;
  };
  Placement GetPlacement() const;
  // Puts the roll (none without `bRoll`) and the web where
  // a placement says (values out of range are brought within it).
  void Place(bool bRoll, const Placement& placement);
  // The same with the roll that is in.
  void Place(const Placement& placement) { Place(m_bRoll, placement); }

  // The layer formula: paper length on a roll of a diameter, and back.
  static double LengthOf(double diameterMm);
  static double DiameterOf(double lengthMm);

 private:
  // The roll turns by `mm` of paper (positive: unwinding).
  void TurnRoll(double mm);
  // The roll spins by `turns` without paper moving.
  void Spin(double turns);
  // `mm` of paper back onto the roll.
  void Rewind(double mm);
  // No paper in the path.
  void ClearPath();
  // The web runs loose from the roll with its tail at `tail`.
  void Loosen(double tail);
  // The sub drive's turns (unwinding positive) on a roll threaded to the
  // web, on a roll with its front lying on it, and on a roll without.
  void TurnThreaded(double turns);
  void TurnUnthreaded(double turns);
  // The front wound back onto the roll, or peeled off it into the path.
  void WindFrontOn(double turnsLeft);
  void PeelFrontOff();
  bool Held() const { return m_front >= kMainReach; }

  bool m_bRoll;
  bool m_bWeb;
  EngineVariant m_variant;
  double m_front = kPosition;
  double m_tail = kRollExit;
  bool m_bAttached = true;
  WebPath m_path = WebPath::L;
  WebPath m_selected = WebPath::L;  // the path selector's side
  double m_slackMm = 0.0;
  double m_diameterMm;
  double m_onRollMm;
  double m_angleDeg = 0.0;
  double m_rollEnc = 0.0;
  // The front's angle on the roll, less the roll's own angle.
  double m_edgeOnRollDeg = 0.0;
  double m_loadBar = 0.0;
  bool m_bLoadFeed = false;
  std::array<bool, Index(WebFault::Count)> m_faults{};
  std::vector<CutSheet> m_sheets;
};

}  // namespace sim
