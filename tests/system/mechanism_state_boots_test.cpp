// The mechanism across restarts: each boot finds the axes, carousel, paper
// web and ribbons where the boot before left them (a ribbon's slack taken
// up, the heads homed, a move the board stopped half-way), while the firmware
// still homes from unknown positions; a damaged state file is refused and
// the mechanism starts as new.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "firmware/devices/unit_switch.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/sequences/ribbon_winding.h"
#include "sim/machine.h"
#include "sim/mechanism/dc_mechanism.h"
#include "sim/mechanism/mechanism_state.h"
#include "sim/panel/panel.h"
#include "tests/support/forked_boots.h"
#include "tests/support/machine_test.h"

namespace {

using testsupport::Ms;

constexpr sim::Nanos kReady = testsupport::kSettleToReady + Ms(20000);

bool RunUntilReady(sim::Machine& m) {
  sim::LcdController& lcd = *m.GetBoard().FindDevice<sim::LcdController>();
  m.RunUntil([&lcd] { return lcd.Visible() == testsupport::kReadyLine; }, kReady);
  return lcd.Visible() == testsupport::kReadyLine;
}

std::vector<uint8_t> Encoded(sim::Machine& m) {
  sim::MechanismState state;
  if (!sim::CaptureMechanismState(m.GetBoard(), &state)) return {};
  return sim::EncodeMechanismState(state);
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

bool Decode(const std::vector<uint8_t>& bytes, sim::MechanismState* pState) {
  return sim::DecodeMechanismState(bytes.data(), bytes.size(), pState, nullptr);
}

enum Code { kOk, kNotReady, kStepFailed, kNotAsLeft, kAsNew, kNoNote, kFault };

TEST(MechanismStateBoots, EachBootFindsTheMechanismWhereTheLastOneLeftIt) {
  testsupport::ForkedBoots boots;
  boots.ProvisionSamplePrinter();
  const std::string asNew = boots.Path("as-new.bin");
  const std::string atStart = boots.Path("at-start.bin");
  const std::vector<int> codes = boots.Run(2, [&](int index, sim::MachineOptions options) -> int {
    // Unit L's ribbon with 40 mm of slack, as a new printer's first boot
    // finds it; the next boot's options load the same type without slack.
    if (index == 0) options.ribbons[0].slackMm = 40;
    sim::Machine m(std::move(options));
    WriteBytes(index == 0 ? asNew : atStart, Encoded(m));
    if (!RunUntilReady(m)) return kNotReady;
    if (index == 0) {
      int32_t lResult = 9;
      if (!m.RunStep([&lResult] {
            SelectUnit(0);
            lResult = TakeUpRibbonSlack(1, 0, SEQ_CHECK_COVERS);
          }, Ms(30000)) || lResult != 0) {
        return kStepFailed;
      }
    }
    return m.UnexpectedFaults().empty() ? kOk : kFault;
  });
  ASSERT_EQ(codes, (std::vector<int>{kOk, kOk}));
  sim::MechanismState leftByFirst, foundBySecond, newState;
  ASSERT_TRUE(Decode(boots.ReadBytes("at-start.bin"), &foundBySecond));
  ASSERT_TRUE(Decode(boots.ReadBytes("as-new.bin"), &newState));
  // What the first boot left is what the second found at power-on.
  // (The second boot then homed and wrote the file again: compare with
  // what it found, which was the first's state.)
  EXPECT_EQ(foundBySecond.ribbons[0].slackMm < 1.0, true) << "the slack taken up stays taken up";
  EXPECT_GT(foundBySecond.ribbons[0].takeUpMm, newState.ribbons[0].takeUpMm) << "and wound on the take-up";
  EXPECT_NE(foundBySecond.axes, newState.axes) << "the homed axes, not the factory's";
  ASSERT_TRUE(Decode(boots.ReadBytes("mechanism.bin"), &leftByFirst));
  EXPECT_EQ(leftByFirst.ribbons[0].takeUpMm, foundBySecond.ribbons[0].takeUpMm)
      << "the second boot's home run leaves the ribbons as they were";
  EXPECT_EQ(leftByFirst.web.front, foundBySecond.web.front);
}

bool AnyAxisMoving(sim::DcMechanism& dc) {
  for (uint32_t i = 0; i < static_cast<uint32_t>(sim::Axis::Count); ++i) {
    if (dc.Moving(static_cast<sim::Axis>(i))) return true;
  }
  return false;
}

TEST(MechanismStateBoots, AMoveTheBoardStoppedHalfWayIsWhereTheNextBootStarts) {
  testsupport::ForkedBoots boots;
  boots.ProvisionSamplePrinter();
  const std::vector<int> first = boots.Run(1, [&](int, sim::MachineOptions options) -> int {
    sim::Machine m(std::move(options));
    sim::DcMechanism& dc = *m.GetBoard().FindDevice<sim::DcMechanism>();
    // The board stops while the home run moves its first part.
    m.RunUntil([&dc] { return AnyAxisMoving(dc); }, kReady);
    m.RunFor(Ms(20));
    return AnyAxisMoving(dc) ? kOk : kNotReady;
  });
  ASSERT_EQ(first, std::vector<int>{kOk});
  const std::vector<uint8_t> left = boots.ReadBytes("mechanism.bin");
  const std::vector<int> next = boots.Run(1, [&](int, sim::MachineOptions options) -> int {
    sim::Machine m(std::move(options));
    if (Encoded(m) != left) return kNotAsLeft;
    if (!RunUntilReady(m)) return kNotReady;
    return m.UnexpectedFaults().empty() ? kOk : kFault;
  });
  EXPECT_EQ(next, std::vector<int>{kOk});
}

TEST(MechanismStateBoots, ADamagedStateFileIsRefusedAndTheMechanismStartsAsNew) {
  testsupport::ForkedBoots boots;
  boots.ProvisionSamplePrinter();
  const std::string asNew = boots.Path("as-new.bin");
  ASSERT_EQ(boots.Run(1,
                      [&](int, sim::MachineOptions options) -> int {
                        sim::Machine m(std::move(options));
                        WriteBytes(asNew, Encoded(m));
                        return RunUntilReady(m) ? kOk : kNotReady;
                      }),
            std::vector<int>{kOk});
  std::vector<uint8_t> damaged = boots.ReadBytes("mechanism.bin");
  ASSERT_FALSE(damaged.empty());
  damaged[20] ^= 0x01;
  WriteBytes(boots.Path("mechanism.bin"), damaged);
  const std::vector<uint8_t> expected = boots.ReadBytes("as-new.bin");
  const std::vector<int> next = boots.Run(1, [&](int, sim::MachineOptions options) -> int {
    sim::Machine m(std::move(options));
    if (Encoded(m) != expected) return kNotAsLeft;
    if (m.Console().find("[board] mechanism state " + boots.Path("mechanism.bin") +
                         ": a damaged mechanism state (checksum); the mechanism starts as new") == std::string::npos) {
      return kNoNote;
    }
    return RunUntilReady(m) ? kOk : kNotReady;
  });
  EXPECT_EQ(next, std::vector<int>{kOk});
}

}  // namespace
