// The tracking points on the track-correction lengths: the pair after a
// feed on either unit and engine, with and without the active flag, the
// single point, the raise that only lengthens, and the reset.
#include <gtest/gtest.h>

#include <array>
#include <functional>

#include "firmware/control/engine_variant.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/mechanism/roll_encoder_checks.h"
#include "firmware/printengine/print_geometry.h"
#include "tests/support/machine_test.h"

namespace {

using Lengths = std::array<uint32_t, 3>;

Lengths Side(uint32_t ulSide) {
  Lengths a{};
  g_TrackCorrect.GetLengths(ulSide, a.data());
  return a;
}

// The calls log through the board and write the lengths' settings: each
// body runs in the application.
class TrackingPoints : public testsupport::AppBodyTest {
 protected:
  void Run(std::function<void()> body) {
    RunInApp([&] {
      Clear();
      g_ulCurrentUnit = 0;
      g_ulEngPosRefA = 65336;
      body();
      Clear();
    }, testsupport::kStartUp + testsupport::Ms(60000));
  }
  static void Clear() {
    g_TrackCorrect.PushLength(0, 0, 2);
    g_TrackCorrect.PushLength(1, 0, 2);
    g_TrackCorrect.ClearActive();
  }
  static void Fill(uint32_t ulSide, const Lengths& a) {
    for (uint32_t i = 3; i-- > 0;) g_TrackCorrect.PushLength(ulSide, a[i], 1);
  }
  static uint32_t Active() {
    uint32_t ulFlag = 9;
    g_TrackCorrect.IsActive(&ulFlag);
    return ulFlag;
  }
};

TEST_F(TrackingPoints, ThePairConsumesTheFeedAndPushesTheNewPointOnTheOtherSide) {
  Run([] {
    struct Case {
      const char* name;
      uint32_t unit;
      uint32_t posRefA;
      bool bActive;
      Lengths a;  // side A after
      Lengths b;  // side B after
    };
    // Before: side A {3000, 2000, 1000}, side B {6000, 500, 100}; fed 800.
    const Case kCases[] = {
        {"unit L, EM3, first", 0, 65336, false, {2200, 1200, 200}, {5484, 0, 0}},
        {"unit L, EM2, first", 0, 65364, false, {2200, 1200, 200}, {5456, 0, 0}},
        {"unit L, EM3, active: behind the others", 0, 65336, true, {2200, 1200, 200}, {5484, 5200, 0}},
        {"unit R, EM3, first", 1, 65336, false, {5484, 1200, 200}, {5200, 0, 0}},
        {"unit R, EM2, active", 1, 65364, true, {5456, 2200, 1200}, {5200, 0, 0}},
    };
    for (const Case& c : kCases) {
      SCOPED_TRACE(c.name);
      Clear();
      Fill(0, {3000, 2000, 1000});
      Fill(1, {6000, 500, 100});
      if (c.bActive) g_TrackCorrect.SetActive();
      g_ulCurrentUnit = c.unit;
      g_ulEngPosRefA = c.posRefA;
      EXPECT_EQ(SetTrackingPointPair(800), 0);
      EXPECT_EQ(Side(0), c.a);
      EXPECT_EQ(Side(1), c.b);
      EXPECT_EQ(Active(), 0u);
    }
  });
}

TEST_F(TrackingPoints, TheRaiseOnlyLengthensUnlessActive) {
  Run([] {
    struct Case {
      const char* name;
      bool bActive;
      uint32_t lines;
      Lengths b;
    };
    const Case kCases[] = {
        {"shorter: nothing", false, 900, {1000, 400, 300}},
        {"equal: nothing", false, 1000, {1000, 400, 300}},
        {"longer: first", false, 1001, {1001, 400, 300}},
        {"active: shifted in", true, 900, {900, 1000, 400}},
    };
    for (const Case& c : kCases) {
      SCOPED_TRACE(c.name);
      Clear();
      Fill(1, {1000, 400, 300});
      if (c.bActive) g_TrackCorrect.SetActive();
      EXPECT_EQ(RaiseTrackingPoint(c.lines), 0);
      EXPECT_EQ(Side(1), c.b);
      EXPECT_EQ(Side(0), (Lengths{0, 0, 0}));
      EXPECT_EQ(Active(), 0u);
    }
  });
}

TEST_F(TrackingPoints, TheSinglePointAndTheReset) {
  Run([] {
    Fill(0, {10, 20, 30});
    Fill(1, {40, 50, 60});
    g_TrackCorrect.SetActive();
    g_ulCurrentUnit = 1;
    EXPECT_EQ(SetTrackingPoint(777), 0);
    EXPECT_EQ(Side(0), (Lengths{777, 20, 30}));
    EXPECT_EQ(Active(), 0u);
    g_TrackCorrect.SetActive();
    EXPECT_EQ(ResetTrackingPoints(), 0);
    EXPECT_EQ(Side(0), (Lengths{0, 0, 0}));
    EXPECT_EQ(Side(1), (Lengths{0, 0, 0}));
    EXPECT_EQ(Active(), 0u);
  });
}

}  // namespace
