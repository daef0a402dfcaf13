// The EM2 pinch rollers on the board with their switches held by the test:
// a request that cannot start from where the roller stands moves nothing,
// and a latched roller accepts every request without moving.
#include <gtest/gtest.h>

#include <functional>

#include "firmware/control/error_manager.h"
#include "firmware/devices/dc_motor.h"
#include "firmware/devices/machine_actuators.h"
#include "firmware/mechanism/feed_pinch.h"
#include "firmware/mechanism/main_pinch.h"
#include "firmware/mechanism/positioner_test_rig.h"

namespace paneltest {
namespace {

struct RollerCase {
  const char* pszName;
  std::function<int32_t(uint32_t, uint32_t)> move;
  std::function<int32_t(int32_t*)> step;
  std::function<void(uint16_t)> setPosition;
  CDcMotor* pMotor;
  uint32_t ulWideBit;    // the switch a lowering watches turn off (IN0)
  uint32_t ulNarrowBit;  // the switch a lift watches turn on (IN0)
  uint32_t ulLowerTimeout;
};

uint32_t StateOf(CDcMotor* pMotor) {
  uint32_t ulState = 0;
  pMotor->GetState(&ulState);
  return ulState;
}

TEST_F(PositionerTest, Em2PinchRollersRefuseALoweringOffUpAndMoveNothingWhileLatched) {
  const RollerCase cases[] = {
      {"main", [](uint32_t r, uint32_t u) { return g_ProllMainEM2.Move(r, u); },
       [](int32_t* p) { return g_ProllMainEM2.Step(p); }, [](uint16_t p) { g_ProllMainEM2.SetPosition(p); },
       &g_DcMotorMainPinch, 11, 12, 0x224},
      {"feed", [](uint32_t r, uint32_t u) { return g_ProllFeedEM2.Move(r, u); },
       [](int32_t* p) { return g_ProllFeedEM2.Step(p); }, [](uint16_t p) { g_ProllFeedEM2.SetPosition(p); },
       &g_DcMotorFeedPinch, 7, 9, 0x20C},
  };
  for (const RollerCase& c : cases) {
    SCOPED_TRACE(c.pszName);
    HeldBit& wide = Hold(0, c.ulWideBit);
    Hold(0, c.ulNarrowBit);
    wide.level = Bit::On;
    InApp([&c] {
      c.setPosition(PINCH_HALF_L);
      EXPECT_EQ(c.move(PINCH_DOWN_L, 0), -2);
      EXPECT_EQ(c.move(kPinchRequestDown, 1), -2);
      EXPECT_EQ(StateOf(c.pMotor), static_cast<uint32_t>(DC_MOTOR_STOPPED));
      EXPECT_EQ(c.move(kPinchRequestHalf, 0), -1) << "no half positions";

      // From up the lowering starts; the wide switch never turns off.
      c.setPosition(PINCH_UP);
      ASSERT_EQ(c.move(kPinchRequestDown, 0), 0);
      EXPECT_EQ(StateOf(c.pMotor), static_cast<uint32_t>(DC_MOTOR_FORWARD));
      const uint32_t ulStart = g_MsTimer.NowMs();
      int32_t lResult = 0, lDone = 0;
      while (lResult == 0 && lDone == 0) lResult = c.step(&lDone);
      EXPECT_EQ(lResult, -1);
      EXPECT_GT(g_MsTimer.NowMs() - ulStart, 2000u);
      EXPECT_TRUE(ErrorSet(c.ulLowerTimeout));
      EXPECT_EQ(StateOf(c.pMotor), static_cast<uint32_t>(DC_MOTOR_STOPPED));

      // Latched: every request succeeds at once and nothing turns.
      for (const uint32_t ulRequest : {1u, 3u, 5u, 10u, 11u}) {
        EXPECT_EQ(c.move(ulRequest, 0), 0) << ulRequest;
        EXPECT_EQ(StateOf(c.pMotor), static_cast<uint32_t>(DC_MOTOR_STOPPED)) << ulRequest;
      }
    });
  }
}

}  // namespace
}  // namespace paneltest
