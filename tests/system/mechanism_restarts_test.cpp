// The mechanism across restarts on the whole printer, each boot in its own
// forked process on one state directory: the host's printer reset at
// ready, after which the next boot homes and reaches ready with the paper
// and the ribbons where they were; a power cut right after the main pinch
// roller's move was stored (EM3), whose next boot settles the roller by
// the resume table; and a stuck head lift L, whose time-out stays until a
// restart after the repair homes it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "firmware/control/error_manager.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/settings.h"
#include "firmware/hostif/usb_command_test_support.h"
#include "firmware/mechanism/main_pinch.h"
#include "protocol/codes.h"
#include "protocol/replies.h"
#include "sim/machine.h"
#include "sim/memory/board_power.h"
#include "sim/mechanism/dc_mechanism.h"
#include "sim/mechanism/mechanism_state.h"
#include "sim/panel/panel.h"
#include "sim/usb/usb_host_port.h"
#include "tests/support/forked_boots.h"
#include "tests/support/machine_test.h"

namespace {

using testsupport::Ms;
using namespace protocol;

constexpr sim::Nanos kReady = testsupport::kSettleToReady + Ms(20000);

sim::LcdController& Lcd(sim::Machine& m) { return *m.GetBoard().FindDevice<sim::LcdController>(); }
bool RunUntilShown(sim::Machine& m, const std::string& text, sim::Nanos limit) {
  m.RunUntil([&] { return Lcd(m).Visible() == text; }, limit);
  return Lcd(m).Visible() == text;
}
bool Shown(sim::Machine& m, const std::string& text) {
  for (const auto& s : Lcd(m).Screens()) {
    if (s.text == text) return true;
  }
  return false;
}
sim::MechanismState Capture(sim::Machine& m) {
  sim::MechanismState state;
  sim::CaptureMechanismState(m.GetBoard(), &state);
  return state;
}
bool Decode(const std::vector<uint8_t>& bytes, sim::MechanismState* pState) {
  return sim::DecodeMechanismState(bytes.data(), bytes.size(), pState, nullptr);
}

enum Code { kOk, kNotReady, kRefused, kNoRestart, kNotAsLeft, kWrongError, kNotSettled, kFault };

TEST(MechanismAcrossRestarts, AHostResetAtReadyRestartsAndTheNextBootFindsPaperAndRibbonsWhereTheyWere) {
  testsupport::ForkedBoots boots;
  boots.ProvisionSamplePrinter();
  const std::vector<int> first = boots.Run(1, [](int, sim::MachineOptions options) -> int {
    sim::Machine m(std::move(options));
    if (!RunUntilShown(m, testsupport::kReadyLine, kReady)) return kNotReady;
    if (!m.UsbHost().WaitForConfigured(Ms(5000))) return kNotReady;
    const hostiftest::Reply r = hostiftest::Command(m.UsbHost(), CMD_RESET, {RESET_KIND_PRINTER, 0});
    if (r.header.replyKind != REPLY_OK) return kRefused;
    if (m.RunFor(Ms(6000)) != sim::RunResult::Reset || !Shown(m, "System reset... ")) return kNoRestart;
    return m.UnexpectedFaults().empty() ? kOk : kFault;
  });
  ASSERT_EQ(first, std::vector<int>{kOk});
  sim::MechanismState left;
  ASSERT_TRUE(Decode(boots.ReadBytes("mechanism.bin"), &left));
  const std::vector<int> next = boots.Run(1, [&left](int, sim::MachineOptions options) -> int {
    sim::Machine m(std::move(options));
    if (m.BootNumber() != 2 || m.Console().find("[board] boot 2") == std::string::npos) return kNoRestart;
    if (!RunUntilShown(m, testsupport::kReadyLine, kReady)) return kNotReady;
    const sim::MechanismState now = Capture(m);
    if (now.web.front != left.web.front || now.web.path != left.web.path || now.web.onRollMm != left.web.onRollMm) {
      return kNotAsLeft;
    }
    for (size_t u = 0; u < 2; ++u) {
      if (now.ribbons[u].supplyMm != left.ribbons[u].supplyMm || now.ribbons[u].takeUpMm != left.ribbons[u].takeUpMm ||
          now.ribbons[u].headLine != left.ribbons[u].headLine) {
        return kNotAsLeft;
      }
    }
    return m.UnexpectedFaults().empty() ? kOk : kFault;
  });
  EXPECT_EQ(next, std::vector<int>{kOk});
}

TEST(MechanismAcrossRestarts, APowerCutJustAfterAMainPinchMoveWasStoredIsSettledByTheResumeTable) {
  constexpr uint32_t kMovingBit = 1u << 6;
  testsupport::ForkedBoots boots;
  boots.ProvisionSamplePrinter();
  const std::vector<int> first = boots.Run(1, [](int, sim::MachineOptions options) -> int {
    sim::Machine m(std::move(options));
    if (!RunUntilShown(m, testsupport::kReadyLine, kReady)) return kNotReady;
    sim::BoardPower& power = sim::BoardPower::Of(m.GetBoard());
    const uint64_t ulWrites = power.Writes();
    // The roller is sent down on side L; the move's start stores
    // "MainPinStatus" with its moving bit, and the power fails 100 ms
    // later, with the roller on its way.
    if (!m.RunStep([] { g_pProllMain->Move(10, 0); }, Ms(3000))) return kNotReady;
    m.RunUntil([&] { return power.Writes() > ulWrites; }, Ms(1000));
    int32_t lStored = 0;
    if (!m.RunStep([&lStored] { lStored = SettingValue(g_ParamMainPinStatus); }, Ms(1000))) return kNotReady;
    if ((static_cast<uint32_t>(lStored) & kMovingBit) == 0) return kNotSettled;
    m.RunFor(Ms(100));
    return m.UnexpectedFaults().empty() ? kOk : kFault;
  });
  ASSERT_EQ(first, std::vector<int>{kOk});
  sim::MechanismState left;
  ASSERT_TRUE(Decode(boots.ReadBytes("mechanism.bin"), &left));
  const int32_t lCutAt = left.axes[static_cast<uint32_t>(sim::Axis::MainPinch)];
  EXPECT_NE(lCutAt, sim::positioner::kMainEm3Half) << "not up any more";
  const std::vector<int> next = boots.Run(1, [lCutAt](int, sim::MachineOptions options) -> int {
    sim::Machine m(std::move(options));
    sim::DcMechanism& dc = *m.GetBoard().FindDevice<sim::DcMechanism>();
    if (dc.Position(sim::Axis::MainPinch) != lCutAt) return kNotAsLeft;
    if (!RunUntilShown(m, testsupport::kReadyLine, kReady)) return kNotReady;
    uint32_t ulC = 9, ulL = 9, ulPosition = 9;
    int32_t lStored = -1;
    if (!m.RunStep(
            [&] {
              g_SensorMainPinC.Read(&ulC);
              g_SensorMainPinL.Read(&ulL);
              g_pProllMain->GetPosition(&ulPosition);
              lStored = SettingValue(g_ParamMainPinStatus);
            },
            Ms(1000))) {
      return kNotReady;
    }
    if (ulC != 1 || ulL != 0 || ulPosition != 1) return kNotSettled;
    if ((static_cast<uint32_t>(lStored) & kMovingBit) != 0) return kNotSettled;
    for (uint32_t ulIndex = 0x200; ulIndex < 0x240; ++ulIndex) {
      if (IsErrorRaised(ulIndex)) return kWrongError;
    }
    return m.UnexpectedFaults().empty() ? kOk : kFault;
  });
  EXPECT_EQ(next, std::vector<int>{kOk});
}

bool InHistory(sim::Machine& m, uint8_t major, uint8_t minor) {
  const hostiftest::Reply r = hostiftest::Command(m.UsbHost(), CMD_GET_ERROR_LOG);
  ErrorLogReply log{};
  if (DecodeReply(r.data.data(), r.data.size(), &log) != WIRE_OK) return false;
  for (uint32_t i = 0; i < log.count && i < ERROR_LOG_ENTRIES_MAX; ++i) {
    if (log.entries[i].codeMajor == major && log.entries[i].codeMinor == minor) return true;
  }
  return false;
}

TEST(MechanismAcrossRestarts, AStuckHeadLiftLTimesOutAndARestartAfterTheRepairHomesIt) {
  testsupport::ForkedBoots boots;
  boots.ProvisionSamplePrinter();
  const std::vector<int> first = boots.Run(1, [](int, sim::MachineOptions options) -> int {
    sim::Machine m(std::move(options));
    // Head L stands down and cannot move.
    sim::DcMechanism& dc = *m.GetBoard().FindDevice<sim::DcMechanism>();
    dc.PlaceAxis(sim::Axis::HeadL, dc.Geometry(sim::Axis::HeadL).length);
    std::string error;
    if (!m.Act("axis-stuck=head-l", &error)) return kFault;
    if (!RunUntilShown(m, "Mecha Error   01", kReady)) return kWrongError;
    if (!IsErrorRaised(0x201)) return kWrongError;
    // The run went on: the carousel's start-up ran after the time-out.
    if (!m.UsbHost().WaitForConfigured(Ms(5000))) return kNotReady;
    const ReplyHeader h = hostiftest::Command(m.UsbHost(), CMD_GET_STATUS).header;
    if (h.printerState != PRINTER_STATE_ERROR || h.errorClass != 0x02 || h.errorDetail != 0x01) return kWrongError;
    if (!InHistory(m, 0x02, 0x01)) return kWrongError;
    // The positioner stays latched while the board runs: repaired, it is
    // not moved again.
    m.Act("axis-repaired=head-l");
    m.RunFor(Ms(5000));
    if (dc.Position(sim::Axis::HeadL) != dc.Geometry(sim::Axis::HeadL).length) return kNotAsLeft;
    return m.UnexpectedFaults().empty() ? kOk : kFault;
  });
  ASSERT_EQ(first, std::vector<int>{kOk});
  sim::MechanismState left;
  ASSERT_TRUE(Decode(boots.ReadBytes("mechanism.bin"), &left));
  const std::vector<int> next = boots.Run(1, [&left](int, sim::MachineOptions options) -> int {
    sim::Machine m(std::move(options));
    sim::DcMechanism& dc = *m.GetBoard().FindDevice<sim::DcMechanism>();
    if (dc.Position(sim::Axis::HeadL) != left.axes[static_cast<uint32_t>(sim::Axis::HeadL)]) return kNotAsLeft;
    if (!RunUntilShown(m, testsupport::kReadyLine, kReady)) return kNotReady;
    if (dc.Position(sim::Axis::HeadL) >= dc.Geometry(sim::Axis::HeadL).length / 2) return kNotSettled;
    if (!m.UsbHost().WaitForConfigured(Ms(5000)) || !InHistory(m, 0x02, 0x01)) return kWrongError;
    return m.UnexpectedFaults().empty() ? kOk : kFault;
  });
  EXPECT_EQ(next, std::vector<int>{kOk});
}

}  // namespace
