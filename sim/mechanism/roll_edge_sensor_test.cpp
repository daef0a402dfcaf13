// "RollEdge" on the roll, and the roll's front found, aligned and fed to
// "PaperEmpty" the way the paper load goes about it: from any angle the
// front lies at, on a full and a nearly used-up roll, whatever the roll
// coasts after the alignment's step forward.
#include "sim/mechanism/roll_edge_sensor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

namespace sim {
namespace {

constexpr EngineVariant kVariant = EngineVariant::EM3;
// Sub-shaft eighth steps of a quarter "RollEnc" count: one sample each.
constexpr double kSampleEighths = PaperWeb::kSubStepsPerTurn * 8.0 / PaperWeb::kRollEncPerTurn / 4.0;
// The load's limits: trimmed means at most 908, the edge 114 above them
// for 4 samples; "PaperEmpty" within the roll-encoder counts of 2934 lines.
constexpr uint32_t kSurfaceMost = 908;
constexpr uint32_t kEdgeAbove = 114;
const uint64_t kFeedCounts =
    static_cast<uint64_t>(2934.0 * 25.4 / 300.0 / 272.238 * 100.0 / 21.0 * 36.0 * 1.2);

// The roll turned as the load turns it, sampled as the load samples it.
class Loader {
 public:
  explicit Loader(PaperWeb& web) : m_web(web) {}

  // One sample's worth of turning (unwinding or not), then the level.
  uint32_t Step(bool bUnwind) {
    const auto e = static_cast<int64_t>(kSampleEighths);
    m_web.SubTravel(bUnwind ? -e : e);  // EM3: the direction bit cleared unwinds
    return RollEdgeSensor::Level(m_web);
  }
  uint64_t Counts() const { return m_web.RollEncCounts(); }
  // Lowest trimmed mean of groups of 5 while rewinding `counts`.
  uint32_t Calibrate(uint64_t counts) {
    const uint64_t start = Counts();
    uint32_t lowest = 1023;
    while (Counts() - start <= counts) {
      uint32_t s[5], sum = 0;
      for (uint32_t& v : s) sum += v = Step(false);
      lowest = std::min(lowest, (sum - *std::max_element(s, s + 5) - *std::min_element(s, s + 5)) / 3);
    }
    return lowest;
  }
  // Rewinds until `n` samples in a row are above (or at most) `thresh`:
  // false when a turn passes first.
  bool RewindUntil(bool bAbove, uint32_t thresh, uint32_t n = 4) {
    const uint64_t start = Counts();
    for (uint32_t run = 0; Counts() - start <= 171;) {
      run = ((Step(false) > thresh) == bAbove) ? run + 1 : 0;
      if (run == n) return true;
    }
    return false;
  }
  void Turn(bool bUnwind, double counts) {
    for (double done = 0; done < counts; done += 0.25) Step(bUnwind);
  }

 private:
  PaperWeb& m_web;
};

struct LoadCase {
  double diameterMm;
  double edgeDeg;
  double coastCounts;  // after the alignment's step forward
};

TEST(RollEdgeSensor, ThePaperLoadFindsAlignsAndFeedsTheFrontFromAnyAngle) {
  for (double diameter : {150.0, 90.0}) {
    for (double edgeDeg = 0.0; edgeDeg < 360.0; edgeDeg += 22.5) {
      for (double coast : {0.0, 4.0, 8.0}) {
        const LoadCase c{diameter, edgeDeg, coast};
        SCOPED_TRACE(testing::Message() << c.diameterMm << " mm, front at " << c.edgeDeg << " deg, coast "
                                        << c.coastCounts);
        PaperWeb web(c.diameterMm, kVariant, false);
        web.InsertRoll(PaperWeb::LengthOf(c.diameterMm), c.edgeDeg);
        Loader load(web);
        // Two turns back with the load bar down, then up.
        web.SetLoadDrive(1.0, false);
        load.Turn(false, 342);
        web.SetLoadDrive(0.0, false);
        const uint32_t surface = load.Calibrate(42);
        ASSERT_LE(surface, kSurfaceMost);
        const uint32_t thresh1 = surface + kEdgeAbove;
        ASSERT_TRUE(load.RewindUntil(false, thresh1)) << "low before the search";
        ASSERT_TRUE(load.RewindUntil(true, thresh1)) << "the edge within a turn";
        // The calibration at the load bar: 42 counts, the bar comes down
        // over 45 more, sampling up to 129, on to 180 from the start.
        const uint64_t start = load.Counts();
        load.Turn(false, 42);
        for (int i = 0; i <= 180; ++i) {
          web.SetLoadDrive(i / 180.0, false);
          load.Step(false);
        }
        const uint32_t surface2 = load.Calibrate(129 - (load.Counts() - start));
        ASSERT_LE(surface2, kSurfaceMost);
        load.Turn(false, 181.0 - static_cast<double>(load.Counts() - start));
        // The alignment's first step forward: the edge under the sensor.
        load.Turn(true, 30.0 + c.coastCounts);
        uint32_t run = 0;
        for (int i = 0; i < 8; ++i) run = RollEdgeSensor::Level(web) > surface2 + kEdgeAbove ? run + 1 : 0;
        EXPECT_EQ(run, 8u) << "aligned at the first check";
        // The feed: peeled off and carried to "PaperEmpty".
        web.SetLoadDrive(1.0, true);
        const uint64_t feedStart = load.Counts();
        while (!web.PaperAt(PhotoSensor::PaperEmpty) && load.Counts() - feedStart <= kFeedCounts) load.Step(true);
        EXPECT_TRUE(web.PaperAt(PhotoSensor::PaperEmpty));
        EXPECT_LE(load.Counts() - feedStart, kFeedCounts);
        EXPECT_FALSE(web.PaperAt(PhotoSensor::PaperPath)) << "stopped right at it, short of the common path";
      }
    }
  }
}

TEST(RollEdgeSensor, ReadsTheSurfaceAllRoundOnAnEmptyCoreAThreadedRollOrWithTheEdgeUnseen) {
  PaperWeb threaded(150.0, kVariant);
  PaperWeb empty(150.0, kVariant, false);
  empty.InsertRoll(0.0, 0.0);
  PaperWeb unseen(150.0, kVariant, false);
  unseen.InsertRoll(PaperWeb::LengthOf(150.0), 300.0);
  unseen.SetFault(WebFault::EdgeUnseen, true);
  PaperWeb none(150.0, kVariant, false);
  PaperWeb seen(150.0, kVariant, false);
  seen.InsertRoll(PaperWeb::LengthOf(150.0), 300.0);
  uint32_t highs = 0;
  for (int i = 0; i < 400; ++i) {
    for (PaperWeb* pWeb : {&threaded, &empty, &unseen, &none}) {
      EXPECT_EQ(RollEdgeSensor::Level(*pWeb), RollEdgeSensor::kSurfaceLevel);
      pWeb->SubTravel(-static_cast<int64_t>(kSampleEighths));  // unwinding, the load bar up
    }
    highs += RollEdgeSensor::Level(seen) == RollEdgeSensor::kEdgeLevel ? 1 : 0;
    seen.SubTravel(-static_cast<int64_t>(kSampleEighths));
  }
  EXPECT_GT(highs, 4u) << "the same turns show a seen edge";
}

}  // namespace
}  // namespace sim
