// The record of the printed lines: which plane and unit each strobed line
// goes to, what it keeps of the line, and the planes it replaces.
#include "sim/mechanism/print_recorder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "sim/fpga/fpga_config_port.h"
#include "sim/fpga/fpga_main_block.h"
#include "sim/fpga/head_drive_block.h"
#include "sim/mechanism/head_supply.h"
#include "sim/mechanism/stepper_drivers.h"
#include "sim/soc/gpio.h"
#include "sim/soc/psc.h"
#include "sim/testing/board_fixture.h"

namespace sim {
namespace {

using HD = HeadDriveBlock;
constexpr Nanos kPeriod = 2 * kNsPerMs;
constexpr uint32_t kPowerL = 1u << 10, kPowerR = 1u << 11;
constexpr uint32_t kMotorEnable = 1u << StepperDrivers::kMotorEnablePin;

class PrintRecord : public ::testing::Test {
 protected:
  PrintRecord() {
    recorder.AttachShaft(&steppers);
    supply.Attach(main);
    recorder.AttachSupply(&supply);
    // The main stepper turns a full step (8 eighths) every millisecond.
    Gpio(0, GpioController::kDir, ~kMotorEnable);
    Gpio(0, GpioController::kSetData, kMotorEnable);
    board.GetBus().Find(StepperDrivers::kMainControl, 1)->device->Write(0, 1, 0x13);
    main.Write(FpgaMainBlock::kPulsePeriod[0], 2, 25000);
    main.Write(FpgaMainBlock::kPulsePeriod[0] + 2, 2, 0);
    main.Write(FpgaMainBlock::kPulseCtrl, 2, 0x01);
    // Lines every 2 ms, with everything that makes them real.
    main.Write(FpgaMainBlock::kLinePeriodLo, 2, 0x86A0);
    main.Write(FpgaMainBlock::kLinePeriodHi, 2, 0x0001);
    main.Write(FpgaMainBlock::kThvCtrl, 2, 1);
    HeadReg(HD::kHeadEnable, 3);
    HeadReg(HD::kControl, HD::kControlEnable);
    HeadReg(HD::kDivision, (88u << 5) | 7u);
    HeadReg(HD::kBufferCtrl, HD::kBufferOwnedByDrive);
    Power(kPowerL);
  }
  void Gpio(uint32_t pair, uint32_t reg, uint32_t value) {
    gpio.Write(GpioController::kPairBase + pair * GpioController::kPairStride + reg, 4, value);
  }
  void HeadReg(uint32_t offset, uint16_t value) {
    board.GetBus().Find(HD::kBank1, 2)->device->Write(offset, 2, value);
  }
  // The head power outputs on (set: off).
  void Power(uint32_t onMask) {
    Gpio(4, GpioController::kDir, ~(kPowerL | kPowerR));
    Gpio(4, GpioController::kSetData, (kPowerL | kPowerR) & ~onMask);
    Gpio(4, GpioController::kClrData, onMask);
  }
  // One plane: `lines` lines of session `session`, the DSP completing a
  // line of words `first + i` before line i unless i is in `stale`.
  void PrintPlane(uint32_t session, uint16_t planeCode, uint16_t lines, uint16_t first,
                  const std::vector<uint16_t>& stale = {}) {
    main.Write(FpgaMainBlock::kTimerCtrl, 2, 0x0002);
    main.Write(FpgaMainBlock::kLineMode, 2, lines);
    main.Write(FpgaMainBlock::kTimerCtrl, 2, 0x0006);
    for (uint16_t i = 0; i < lines; ++i) {
      if (std::find(stale.begin(), stale.end(), i) == stale.end()) {
        const std::vector<uint16_t> words(HD::kLineWords, static_cast<uint16_t>(first + i));
        heads.CompleteLine(heads.SpareBank(), words.data(), HD::LineSource{session, planeCode});
      }
      RunBoardFor(board, kPeriod);
    }
  }

  Board board{BoardConfig{}};
  Psc1& psc1 = board.AddDevice<Psc1>(board);
  GpioController& gpio = board.AddDevice<GpioController>(board);
  FpgaConfigPort& port = board.AddDevice<FpgaConfigPort>(board, gpio);
  FpgaMainBlock& main = board.AddDevice<FpgaMainBlock>(board, gpio, port, 3);
  HeadDriveBlock& heads = board.AddDevice<HeadDriveBlock>(board, gpio, port, main);
  StepperDrivers& steppers = board.AddDevice<StepperDrivers>(board, main, gpio);
  HeadSupply& supply = board.AddDevice<HeadSupply>(board.Clock());
  PrintRecorder& recorder = board.AddDevice<PrintRecorder>(heads);
};

// Every strobed line of a plane, in order: time, bank, stale flag, the
// shaft's position and the words the drive strobed.
TEST_F(PrintRecord, APlaneKeepsEveryStrobedLineInOrder) {
  PrintPlane(1, 2, 5, 100, {2});
  const PrintRecorder::Plane* plane = recorder.Find(0, 2);
  ASSERT_NE(plane, nullptr);
  EXPECT_EQ(plane->unit, 0u);
  EXPECT_EQ(plane->session, 1u);
  const std::vector<PrintRecorder::Line>& lines = plane->lines;
  ASSERT_EQ(lines.size(), 5u);
  const std::vector<uint16_t> firstWords = {100, 101, 101, 103, 104};
  for (size_t i = 0; i < lines.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(lines[i].words.size(), HD::kLineWords);
    EXPECT_EQ(lines[i].words.front(), firstWords[i]);
    EXPECT_EQ(lines[i].bStale, i == 2);
    EXPECT_FALSE(lines[i].bOverrun);
    EXPECT_EQ(lines[i].strobe, 711 * kNsPerUs);
    EXPECT_TRUE(lines[i].Printed());
    if (i > 0) {
      EXPECT_EQ(lines[i].at - lines[i - 1].at, kPeriod);
      EXPECT_EQ(lines[i].shaftEighths - lines[i - 1].shaftEighths, 16) << "two full steps a line";
      EXPECT_EQ(lines[i].bank, lines[i - 1].bank ^ (i == 2 ? 0u : 1u));
    }
  }
  EXPECT_EQ(recorder.LinesOutsidePlanes(), 0u);
  EXPECT_EQ(recorder.Lines(1, 2).size(), 0u) << "unit R printed nothing";
}

// The unit is the powered head's; without one powered head, the unit of the
// plane before. Each line notes what made it real on that head.
TEST_F(PrintRecord, APlanesUnitIsThePoweredHeadsOrThePlaneBeforesAndItsLinesNoteWhatMadeThemReal) {
  struct Step {
    const char* what;
    uint32_t power;
    uint32_t session;
    uint16_t planeCode;
    uint32_t unit;
    bool bPrinted;
  };
  const Step steps[] = {
      {"head R powered", kPowerR, 1, 0, 1, true},
      {"none powered: R as before", 0, 2, 1, 1, false},
      {"head L powered", kPowerL, 3, 2, 0, true},
      {"both powered: L as before", kPowerL | kPowerR, 4, 3, 0, true},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    Power(s.power);
    PrintPlane(s.session, s.planeCode, 2, 10);
    const PrintRecorder::Plane* plane = recorder.Find(s.unit, s.planeCode);
    ASSERT_NE(plane, nullptr);
    EXPECT_EQ(plane->session, s.session);
    ASSERT_EQ(plane->lines.size(), 2u);
    EXPECT_EQ(plane->lines[0].Printed(), s.bPrinted);
    EXPECT_EQ(plane->lines[0].bHeadPower, s.bPrinted);
  }
  // What else keeps a line from printing.
  Power(kPowerL);
  struct Cut {
    const char* what;
    uint32_t session;
    std::function<void()> cut;
    bool PrintRecorder::Line::*flag;
  };
  const Cut cuts[] = {
      {"head enable", 5, [this] { HeadReg(HD::kHeadEnable, 2); }, &PrintRecorder::Line::bHeadEnable},
      {"drive enable", 6, [this] { HeadReg(HD::kControl, 0); }, &PrintRecorder::Line::bDriveEnable},
      {"THV supply", 7, [this] { main.Write(FpgaMainBlock::kThvCtrl, 2, 0); }, &PrintRecorder::Line::bThvSupply},
  };
  for (const Cut& c : cuts) {
    SCOPED_TRACE(c.what);
    main.Write(FpgaMainBlock::kThvCtrl, 2, 1);
    HeadReg(HD::kHeadEnable, 3);
    HeadReg(HD::kControl, HD::kControlEnable);
    c.cut();
    PrintPlane(c.session, 0, 1, 10);
    const std::vector<PrintRecorder::Line>& lines = recorder.Lines(0, 0);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_FALSE(lines[0].*c.flag);
    EXPECT_FALSE(lines[0].Printed());
  }
}

// Each line notes the step the supply's output follows: the step written,
// once reached; a supply that ignores its step keeps the one it had.
TEST_F(PrintRecord, EachLineNotesTheStepOfTheSupplysOutput) {
  struct Case {
    const char* what;
    bool bIgnores;
    uint16_t written;
    uint32_t noted;
  };
  const Case cases[] = {
      {"step 700", false, 700, 700},
      {"step 701", false, 701, 701},
      {"702 written to a supply that ignores it", true, 702, 701},
  };
  uint32_t session = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    supply.SetIgnoresStep(c.bIgnores);
    main.Write(FpgaMainBlock::kThvCtrl, 2, static_cast<uint16_t>(c.written << HeadSupply::kStepShift | 1u));
    PrintPlane(session++, 0, 2, 10);
    const std::vector<PrintRecorder::Line>& lines = recorder.Lines(0, 0);
    ASSERT_EQ(lines.size(), 2u);
    for (const PrintRecorder::Line& line : lines) {
      EXPECT_EQ(line.thvStep, c.noted);
      EXPECT_TRUE(line.bThvSupply);
    }
  }
}

// A new plane of a unit and plane code replaces the one before; others
// stay; lines of no session are only counted.
TEST_F(PrintRecord, ANewPlaneReplacesTheOneBeforeAndLinesOfNoPlaneAreCounted) {
  // The planes as they end: at the next session's first line, and when
  // the DSP leaves print mode.
  std::vector<std::pair<uint32_t, size_t>> ended;  // session, lines
  recorder.AddPlaneObserver([&ended](const PrintRecorder::Plane& plane) {
    ended.emplace_back(plane.session, plane.lines.size());
  });
  PrintPlane(1, 0, 3, 10);
  EXPECT_TRUE(ended.empty()) << "the plane goes on until the next session or the end of print mode";
  PrintPlane(2, 1, 4, 20);
  PrintPlane(3, 0, 2, 30);
  EXPECT_EQ(ended, (std::vector<std::pair<uint32_t, size_t>>{{1, 3}, {2, 4}}));
  ASSERT_EQ(recorder.Lines(0, 0).size(), 2u);
  EXPECT_EQ(recorder.Lines(0, 0)[0].words[0], 30);
  EXPECT_EQ(recorder.Lines(0, 1).size(), 4u);
  const std::vector<const PrintRecorder::Plane*> planes = recorder.Planes();
  ASSERT_EQ(planes.size(), 2u);
  EXPECT_EQ(planes[0]->session, 2u);
  EXPECT_EQ(planes[1]->session, 3u);

  heads.ForgetSources();
  EXPECT_EQ(ended.back(), (std::pair<uint32_t, size_t>{3, 2}));
  heads.ForgetSources();
  EXPECT_EQ(ended.size(), 3u) << "once";
  main.Write(FpgaMainBlock::kTimerCtrl, 2, 0x0002);
  main.Write(FpgaMainBlock::kLineMode, 2, 3);
  main.Write(FpgaMainBlock::kTimerCtrl, 2, 0x0006);
  RunBoardFor(board, 3 * kPeriod);
  EXPECT_EQ(recorder.LinesOutsidePlanes(), 3u);
  EXPECT_EQ(recorder.Lines(0, 0).size(), 2u);
  recorder.Clear();
  EXPECT_TRUE(recorder.Planes().empty());
  EXPECT_EQ(recorder.Find(0, 1), nullptr);
  EXPECT_TRUE(board.Faults().empty());
}

}  // namespace
}  // namespace sim
