// The cutter's crossings as the mechanism reports the carriage: one per
// run, with the duties it ran at, complete only from end zone to end zone.
#include "sim/mechanism/cutter_crossings.h"

#include <gtest/gtest.h>

#include <vector>

namespace sim {
namespace {

using Change = CutterCrossings::Change;

// Travel 1000, end zones of 50.
struct Sample {
  Nanos at;
  int32_t position;
  bool bMoving;
  uint32_t percent;
  Change change;
};

TEST(CutterCrossings, OneRunIsOneCrossingWithEachDutyItRanAt) {
  CutterCrossings crossings(1000, 50);
  const std::vector<Sample> samples = {
      {5, 0, false, 100, Change::None},  // the duty written before the drive
      {10, 0, true, 100, Change::Started},  {20, 300, true, 100, Change::None},  {30, 500, true, 42, Change::Duty},
      {40, 960, false, 42, Change::Ended},  {50, 960, false, 0, Change::None},    // braked where it arrived
      {60, 960, true, 50, Change::Started}, {70, 600, false, 50, Change::Ended},  // stopped short
  };
  for (const Sample& s : samples) EXPECT_EQ(crossings.Update(s.at, s.position, s.bMoving, s.percent), s.change) << s.at;
  const auto& all = crossings.All();
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0].start, 10u);
  EXPECT_EQ(all[0].end, 40u);
  EXPECT_EQ(all[0].from, 0);
  EXPECT_EQ(all[0].to, 960);
  EXPECT_EQ(all[0].duties, (std::vector<uint32_t>{100, 42}));
  EXPECT_TRUE(crossings.Complete(all[0]));
  EXPECT_EQ(all[1].duties, (std::vector<uint32_t>{50}));
  EXPECT_FALSE(crossings.Complete(all[1])) << "short of LEFT";
}

TEST(CutterCrossings, OnlyARunFromOneEndZoneToTheOtherIsComplete) {
  struct Case {
    int32_t from;
    int32_t to;
    bool bComplete;
  };
  for (const Case& c : {Case{0, 1000, true}, Case{1000, 0, true}, Case{30, 950, true}, Case{960, 50, true},
                        Case{51, 1000, false}, Case{0, 949, false}, Case{0, 40, false}, Case{1000, 980, false}}) {
    CutterCrossings crossings(1000, 50);
    crossings.Update(1, c.from, true, 100);
    crossings.Update(2, c.to, false, 100);
    EXPECT_EQ(crossings.Complete(crossings.All().back()), c.bComplete) << c.from << " to " << c.to;
  }
}

}  // namespace
}  // namespace sim
