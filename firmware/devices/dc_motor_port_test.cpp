// DC motors driven through two output ports (the class the machine builds
// none of): every operation's line levels for both polarities, and both
// ports written whatever line A's result. The recording port derives from
// a firmware class, which carries no RTTI, so this file is built without.
#include <gtest/gtest.h>

#include "firmware/devices/dc_motor.h"
#include "firmware/devices/dc_motor_test_cases.h"
#include "firmware/devices/io_port.h"

namespace {

using dcmotortest::kLineCases;
using dcmotortest::LineCase;

// An output port that records its line level; writes give `lResult`.
class LinePort final : public COutputPort {
 public:
  int32_t Set() override { return Note(1); }
  int32_t Clear() override { return Note(0); }
  int32_t Write(uint32_t) override { return 0; }
  int lLevel = -1;
  int32_t lResult = 0;
  uint32_t ulWrites = 0;

 private:
  int32_t Note(int l) {
    lLevel = l;
    ++ulWrites;
    return lResult;
  }
};

TEST(PortDcMotor, EveryOperationDrivesBothPortsAtItsLevels) {
  for (const LineCase& c : kLineCases) {
    LinePort portA, portB;
    CPortDcMotor motor(&portA, &portB, c.polarity);
    // Built stopped, at the stop level.
    uint32_t ulState = 9;
    motor.GetState(&ulState);
    EXPECT_EQ(ulState, 0u);
    EXPECT_EQ(portA.lLevel, c.polarity == 0 ? 1 : 0);
    EXPECT_EQ(portB.lLevel, c.polarity == 0 ? 1 : 0);
    EXPECT_EQ((motor.*c.op)(), 0) << c.name;
    motor.GetState(&ulState);
    EXPECT_EQ(ulState, c.state) << c.name << " polarity " << c.polarity;
    EXPECT_EQ(portA.lLevel, c.lineA) << c.name << " polarity " << c.polarity;
    EXPECT_EQ(portB.lLevel, c.lineB) << c.name << " polarity " << c.polarity;
  }
}

TEST(PortDcMotor, BothPortsAreWrittenAndTheResultIsLineBs) {
  LinePort portA, portB;
  CPortDcMotor motor(&portA, &portB, 0);
  portA.lResult = -1;
  EXPECT_EQ(motor.Forward(), 0);
  EXPECT_EQ(portB.ulWrites, 2u) << "line B follows a failed line A";
  portB.lResult = -3;
  EXPECT_EQ(motor.Reverse(), -3);
  EXPECT_EQ(motor.Reserved(), 0);
}

}  // namespace
