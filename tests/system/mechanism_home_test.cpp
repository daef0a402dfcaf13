// The whole mechanism homed on the virtual board: the boot's home run in
// its order while the host reads the start-up state, the stop of every
// actuator when the front cover opens, and the home run again once the
// cover has been closed for more than a second.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "firmware/control/event_states.h"
#include "firmware/control/host_status_table.h"
#include "firmware/devices/settings.h"
#include "firmware/hostif/usb_command_test_support.h"
#include "protocol/codes.h"
#include "protocol/replies.h"
#include "sim/machine.h"
#include "sim/mechanism/dc_mechanism.h"
#include "sim/mechanism/mechanism_inputs.h"
#include "sim/panel/panel.h"
#include "sim/usb/usb_host_port.h"
#include "tests/support/machine_test.h"

namespace {

using hostiftest::Command;
using testsupport::Ms;
using namespace protocol;

constexpr sim::Nanos kReadyLimit = testsupport::kStartUp + testsupport::kEepromBackup + Ms(30000);

// The motors of the home run in the order they are driven.
const std::vector<std::string> kHomeOrder = {
    "DcMotorHeadR",     "DcMotorHeadL",   "DcMotorMainPinch", "DcMotorLoadPinch", "DcMotorFeedPinch",
    "DcMotorEjectPinch", "DcMotorLoadBar", "DcMotorRotLock",   "DcMotorPathSel",   "DcMotorCutter",
    "DcMotorPaperRot",
};

class MechanismHome : public testsupport::MachineTest {
 protected:
  sim::DcMechanism& Dc() { return *m_machine->GetBoard().FindDevice<sim::DcMechanism>(); }
  sim::MechanismInputs& Inputs() { return *m_machine->GetBoard().FindDevice<sim::MechanismInputs>(); }
  sim::LcdController& Lcd() { return *m_machine->GetBoard().FindDevice<sim::LcdController>(); }
  sim::PanelLeds& Leds() { return *m_machine->GetBoard().FindDevice<sim::PanelLeds>(); }
  bool RunUntilShown(const std::string& text, sim::Nanos limit) {
    m_machine->RunUntil([&] { return Lcd().Visible() == text; }, limit);
    return Lcd().Visible() == text;
  }
  ReplyHeader Status() { return Command(m_machine->UsbHost(), CMD_GET_STATUS).header; }

  // Each motor's drive starts from `from` on, in order.
  std::vector<std::pair<std::string, sim::Nanos>> MotorStarts(sim::Nanos from) {
    std::vector<std::pair<std::string, sim::Nanos>> starts;
    for (const sim::MechanismEvent& e : Dc().Trace().Events()) {
      if (e.at < from || e.kind != sim::MechanismEventKind::Motor || e.drive == sim::DriveState::Stop) continue;
      if (e.drive == sim::DriveState::Brake) continue;
      starts.emplace_back(std::string(e.name), e.at);
    }
    return starts;
  }
  // The first start of each motor of the home run keeps the run's order;
  // returns the motors that moved.
  std::vector<std::string> ExpectHomeOrder(sim::Nanos from) {
    std::map<std::string, sim::Nanos> first;
    for (const auto& [name, at] : MotorStarts(from)) first.emplace(name, at);
    std::vector<std::string> moved;
    sim::Nanos last = 0;
    for (const std::string& name : kHomeOrder) {
      const auto it = first.find(name);
      if (it == first.end()) continue;
      EXPECT_GE(it->second, last) << name << " out of order";
      last = it->second;
      moved.push_back(name);
    }
    return moved;
  }
  // Nothing of the mechanism runs or shines.
  void ExpectAllOff() {
    for (uint32_t i = 0; i < static_cast<uint32_t>(sim::DcMotor::Count); ++i) {
      EXPECT_FALSE(sim::Turns(Dc().Drive(static_cast<sim::DcMotor>(i)))) << "motor " << i;
    }
    EXPECT_EQ(Dc().LoadsOn(), 0u) << "no fan or clutch";
    EXPECT_EQ(Dc().LedsOn(), 0u) << "no colour LED";
  }
};

TEST_F(MechanismHome, TheBootHomesEveryPartInOrderWhileTheHostReadsTheStartUpState) {
  BootNewPrinter();
  m_machine->RunUntil([&] { return m_machine->Logged("Main Loop ..."); }, kReadyLimit);
  const sim::Nanos mainLoop = m_machine->Now();
  // While the mechanism homes the state item is the start-up's.
  m_machine->RunUntil([&] { return sim::Turns(Dc().Drive(sim::DcMotor::EjectPinch)); }, kReadyLimit);
  EXPECT_EQ(GetStatusItem(SI_PRINTER_STATE), PRINTER_STATE_CPU_INIT);
  ASSERT_TRUE(RunUntilShown(testsupport::kReadyLine, kReadyLimit));
  EXPECT_EQ(Status().printerState, PRINTER_STATE_READY);
  const std::vector<std::string> moved = ExpectHomeOrder(mainLoop);
  EXPECT_NE(std::find(moved.begin(), moved.end(), "DcMotorEjectPinch"), moved.end());
  // The eject pinch to FDown, then up: two runs of its motor.
  uint32_t ulEjectRuns = 0;
  for (const auto& [name, at] : MotorStarts(mainLoop)) ulEjectRuns += name == "DcMotorEjectPinch" ? 1 : 0;
  EXPECT_GE(ulEjectRuns, 2u);
  EXPECT_NE(SettingValue(g_ParamRotationLockFlag), 0);
}

TEST_F(MechanismHome, AnOpenFrontCoverStopsEverythingAndItsClosingHomesAgain) {
  BootNewPrinter();
  ASSERT_TRUE(RunUntilShown(testsupport::kReadyLine, kReadyLimit));
  ASSERT_TRUE(m_machine->UsbHost().WaitForConfigured(Ms(5000)));
  Inputs().SetCoverOpen(sim::Cover::Front, true);
  ASSERT_TRUE(RunUntilShown("Front Cover Open", Ms(1000)));
  m_machine->RunFor(Ms(100));
  ExpectAllOff();
  EXPECT_TRUE(Leds().IsOn(sim::PanelLed::Error));
  const ReplyHeader h = Status();
  EXPECT_EQ(h.printerState, PRINTER_STATE_ERROR);
  EXPECT_EQ(h.errorClass, 0x06);
  EXPECT_EQ(h.errorDetail, 0x07);
  m_machine->RunFor(Ms(5000));
  const sim::Nanos closed = m_machine->Now();
  Inputs().SetCoverOpen(sim::Cover::Front, false);
  ASSERT_TRUE(RunUntilShown(testsupport::kReadyLine, Ms(40000)));
  const std::vector<std::pair<std::string, sim::Nanos>> starts = MotorStarts(closed);
  ASSERT_FALSE(starts.empty()) << "the home run drives the mechanism again";
  EXPECT_GT(starts.front().second, closed + Ms(1000));
  ExpectHomeOrder(closed);
}

}  // namespace
