// The virtual CIS: the line buffers taking turns with the status naming the
// last complete one, the pixel law of LED level and offset, the gain table
// bypassed at 0, the paper edge where the scene puts it, nothing under the
// sensor, the fault switches, and the accesses the logic would not answer.
#include "sim/fpga/cis_window.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "sim/board.h"
#include "sim/fpga/fpga_config_port.h"
#include "sim/soc/gpio.h"
#include "sim/soc/psc.h"

namespace sim {
namespace {

using Cis = CisWindow;

class CisModel : public ::testing::Test {
 protected:
  void SetUp() override {
    cis.SetSceneSource([this] { return Cis::View{bPaper, travel}; });
  }
  uint16_t Read(uint32_t offset) { return static_cast<uint16_t>(Access(offset, 2)->Read(offset, 2)); }
  void Write(uint32_t offset, uint16_t value) { Access(offset, 2)->Write(offset, 2, value); }
  BusDevice* Access(uint32_t offset, uint32_t width) {
    const Bus::Region* r = board.GetBus().Find(Cis::kBase + offset, width);
    EXPECT_EQ(r->first, Cis::kBase);
    return r->device;
  }
  void RunFor(Nanos dt) {
    const Nanos end = board.Clock().Now() + dt;
    while (board.Clock().Now() < end) {
      const Nanos step = std::min<Nanos>(end - board.Clock().Now(), 10 * kNsPerUs);
      board.Clock().Advance(step);
      board.Clock().RunDue();
    }
  }
  // Pixel p of the last complete line, read through the window.
  uint8_t PixelRead(uint32_t p) {
    const uint32_t status = (Read(Cis::kControl) >> Cis::kStatusShift) & 3u;
    const uint32_t buffer = status == 0 ? 0x3000 : status == 1 ? 0x1000 : 0x2000;
    const uint16_t word = Read(buffer + 2 * (p / 2));
    return static_cast<uint8_t>(p % 2 == 0 ? word & 0xFF : word >> 8);
  }
  // One line with the LED, offset and gain 0.
  void Line(uint16_t led, uint16_t offset) {
    Write(Cis::kLed, led);
    Write(Cis::kOffset, offset);
    Write(Cis::kControl, Cis::kEnable);
    RunFor(Cis::kLinePeriod);
  }

  Board board{BoardConfig{}};
  Psc1& psc1 = board.AddDevice<Psc1>(board);
  GpioController& gpio = board.AddDevice<GpioController>(board);
  FpgaConfigPort& port = board.AddDevice<FpgaConfigPort>(board, gpio);
  Cis& cis = board.AddDevice<Cis>(board, port);
  bool bPaper = true;
  double travel = 0.0;
};

TEST_F(CisModel, TheBuffersTakeTurnsAndTheStatusNamesTheLastOneNeverThree) {
  EXPECT_EQ((Read(Cis::kControl) >> 8) & 3u, 0u) << "nothing complete yet";
  RunFor(2 * Cis::kLinePeriod);
  EXPECT_EQ(cis.LinesCompleted(), 0u) << "a disabled sensor completes no line";
  Write(Cis::kControl, Cis::kEnable);
  EXPECT_EQ(Read(Cis::kControl) & Cis::kEnable, Cis::kEnable);
  const uint32_t kExpected[] = {1, 2, 0, 1, 2, 0, 1};
  for (uint32_t expected : kExpected) {
    RunFor(Cis::kLinePeriod);
    EXPECT_EQ((Read(Cis::kControl) >> 8) & 3u, expected);
  }
  EXPECT_EQ(cis.LinesCompleted(), 7u);
  Write(Cis::kControl, 0);
  RunFor(4 * Cis::kLinePeriod);
  EXPECT_EQ(cis.LinesCompleted(), 7u);
  cis.SetFault(Cis::Fault::StatusStuck, true);
  EXPECT_EQ((Read(Cis::kControl) >> 8) & 3u, 3u);
  EXPECT_TRUE(board.Faults().empty());
}

TEST_F(CisModel, TheOffsetAndLedLawGivesTheTunedDefaults) {
  // Paper from pixel 80: pixels 140..149 read dark + LED x 2.
  struct Case {
    uint16_t led;
    uint16_t offset;
    uint8_t paper;
    uint8_t background;
  };
  const Case kCases[] = {
      {0, 59, 52, 52},    // the offset tuning goes on at 59 ...
      {0, 60, 51, 51},    // ... and stops at 60, below 52
      {38, 60, 127, 59},  // the LED tuning goes on at 38 ...
      {39, 60, 129, 59},  // ... and reads 128 or more at 39
      {40, 60, 131, 59},
      {0, 200, 0, 0},     // no dark level past 111
      {200, 0, 255, 151}, // clamped
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << "LED " << c.led << " offset " << c.offset);
    Line(c.led, c.offset);
    for (uint32_t p = 140; p < 150; ++p) EXPECT_EQ(PixelRead(p), c.paper) << p;
    EXPECT_EQ(PixelRead(10), c.background);
  }
}

TEST_F(CisModel, AGainOfZeroPassesThePixelOthersScaleIt) {
  Write(Cis::kGainTable + 2 * 70, 0x4000);  // pixel 140: 0, pixel 141: 64
  Write(Cis::kGainTable + 2 * 71, 0x0080);  // pixel 142: 128
  EXPECT_EQ(Read(Cis::kGainTable + 2 * 70), 0x4000u);
  Line(40, 60);
  EXPECT_EQ(PixelRead(140), 131);
  EXPECT_EQ(PixelRead(141), 65);
  EXPECT_EQ(PixelRead(142), 131);
}

TEST_F(CisModel, ThePaperEdgeLiesWhereTheSceneMovesIt) {
  struct Case {
    const char* what;
    double lateral;
    double skew;
    double travel;
    uint32_t edge;
  };
  const Case kCases[] = {
      {"default", 0.0, 0.0, 0.0, 80},
      {"lateral +12", 12.0, 0.0, 0.0, 92},
      {"lateral -20", -20.0, 0.0, 0.0, 60},
      {"skew 5 per 1000, 2000 lines on", 0.0, 5.0, 2000.0, 90},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    travel = 0.0;
    cis.SetLateralOffset(c.lateral);
    cis.SetSkew(c.skew);
    travel = c.travel;
    Line(40, 60);
    EXPECT_EQ(PixelRead(c.edge - 1), 59);
    EXPECT_EQ(PixelRead(c.edge), 131);
    EXPECT_DOUBLE_EQ(cis.PaperEdgeNow(), c.edge);
  }
}

TEST_F(CisModel, PrintFromItsImageEdgeWhileTheTravelIsInItsRegion) {
  cis.AddPrintRegion({100.0, 200.0, 150});
  travel = 150.0;
  Line(40, 60);
  EXPECT_EQ(PixelRead(149), 131);
  EXPECT_EQ(PixelRead(150), 68);  // 51 + 80 x 0.2125
  travel = 200.0;
  Line(40, 60);
  EXPECT_EQ(PixelRead(150), 131);
}

TEST_F(CisModel, WithNothingUnderTheSensorTheWholeLineIsBackground) {
  bPaper = false;
  Line(40, 60);
  for (uint32_t p : {0u, 80u, 140u, 600u, 1227u}) EXPECT_EQ(PixelRead(p), 59) << p;
  EXPECT_EQ(cis.PaperEdgeNow(), -1.0);
}

TEST_F(CisModel, FaultSwitchesDarkenTheLine) {
  cis.SetFault(Cis::Fault::LedDead, true);
  Line(40, 60);
  EXPECT_EQ(PixelRead(140), 51);
  cis.SetFault(Cis::Fault::LedDead, false);
  cis.SetFault(Cis::Fault::SensorDark, true);
  Line(40, 60);
  EXPECT_EQ(PixelRead(140), 0);
}

TEST_F(CisModel, TheSensitivityPatternLiesOutsidePixels20To319AndTheGainTakesItOut) {
  // The calibration target: reflectance 1.0 everywhere, paper or not.
  bPaper = false;
  cis.SetCalibrationTarget(true);
  Line(40, 60);
  struct Case {
    uint32_t pixel;
    uint8_t value;
  };
  const Case kCases[] = {
      {7, 123},    // 51 + 80 x 0.90
      {8, 139},    // 51 + 80 x 1.10
      {9, 127},    // 51 + 80 x 0.95
      {10, 131},   // the other phases 1.0
      {20, 131},   // phase 7, but inside 20..319
      {319, 131},  // phase 7
      {332, 123},  // phase 7 again outside
      {1228 - 1, 131},
  };
  for (const Case& c : kCases) EXPECT_EQ(PixelRead(c.pixel), c.value) << c.pixel;
  // Gain 16384 / 139 = 117: 139 x 117 / 128 = 127.
  Write(Cis::kGainTable + 2 * 4, 117);  // pixel 8, the low byte
  RunFor(Cis::kLinePeriod);
  EXPECT_EQ(PixelRead(8), 127);
  cis.SetCalibrationTarget(false);
  Line(40, 60);
  EXPECT_EQ(PixelRead(10), 59);
}

TEST_F(CisModel, OutliersReplaceTheChosenReadsOfEveryWord) {
  Line(40, 60);
  cis.SetOutlier(1, 255);
  cis.SetOutlier(9, 0);  // sample 1 again, modulo 8: the later value holds
  cis.SetOutlier(6, 7);
  std::vector<uint32_t> seen;
  for (uint32_t k = 0; k < 16; ++k) seen.push_back(PixelRead(140));
  const std::vector<uint32_t> expected = {131, 0, 131, 131, 131, 131, 7, 131, 131, 0, 131, 131, 131, 131, 7, 131};
  EXPECT_EQ(seen, expected);
  cis.ClearOutliers();
  EXPECT_EQ(PixelRead(140), 131);
}

TEST_F(CisModel, AccessesTheLogicWouldNotAnswerAreBoardFaults) {
  Access(0x6, 2)->Read(0x6, 2);
  Access(Cis::kBuffer0 + 2 * Cis::kWords, 2)->Read(Cis::kBuffer0 + 2 * Cis::kWords, 2);
  Access(Cis::kLed, 4)->Read(Cis::kLed, 4);
  EXPECT_EQ(board.Faults().size(), 3u);
}

}  // namespace
}  // namespace sim
