// The jam eject on the whole printer: in the jam state the eject event
// feeds the paper out with the main pinch up; a web still attached to the
// roll cannot clear "Position", so the eject raises "Paper Jam 46", returns
// the mechanism home and leaves the jam for the operator. And the host's
// printer reset answers, stops the mechanism and restarts the board.
#include <gtest/gtest.h>

#include <string>

#include "firmware/control/error_manager.h"
#include "firmware/control/event_set.h"
#include "firmware/control/event_states.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/stepper.h"
#include "firmware/hostif/usb_command_test_support.h"
#include "protocol/codes.h"
#include "protocol/replies.h"
#include "sim/machine.h"
#include "sim/mechanism/dc_mechanism.h"
#include "sim/panel/panel.h"
#include "sim/usb/usb_host_port.h"
#include "tests/support/machine_test.h"

namespace {

using hostiftest::Command;
using testsupport::Ms;
using namespace protocol;

constexpr sim::Nanos kReadyLimit = testsupport::kStartUp + testsupport::kEepromBackup + Ms(30000);
constexpr uint32_t kJamIndex = 0x1569;
constexpr uint32_t kEjectFailed = 0x152E;

class JamEjectAndReset : public testsupport::MachineTest {
 protected:
  void SetUp() override {
    BootNewPrinter();
    ASSERT_TRUE(RunUntilShown(testsupport::kReadyLine, kReadyLimit));
    ASSERT_TRUE(m_machine->UsbHost().WaitForConfigured(Ms(5000)));
  }
  sim::LcdController& Lcd() { return *m_machine->GetBoard().FindDevice<sim::LcdController>(); }
  sim::DcMechanism& Dc() { return *m_machine->GetBoard().FindDevice<sim::DcMechanism>(); }
  bool RunUntilShown(const std::string& text, sim::Nanos limit) {
    m_machine->RunUntil([&] { return Lcd().Visible() == text; }, limit);
    return Lcd().Visible() == text;
  }
  bool Shown(const std::string& text) {
    for (const auto& s : Lcd().Screens()) {
      if (s.text == text) return true;
    }
    return false;
  }
  static bool ErrorSet(uint32_t ulIndex) {
    uint32_t ulFlag = 0;
    g_ErrorMng.IsErrorSet(ulIndex, &ulFlag);
    return ulFlag != 0;
  }
};

TEST_F(JamEjectAndReset, AnAttachedWebCannotBeEjectedAndTheJamStays) {
  ASSERT_TRUE(m_machine->RunStep([] { g_ErrorMng.SetError(kJamIndex); }, Ms(3000)));
  m_machine->RunUntil([] { return g_pCurEventMng == &g_EventMngJam; }, Ms(3000));
  ASSERT_EQ(g_pCurEventMng, &g_EventMngJam);
  ASSERT_TRUE(m_machine->RunStep([] { g_pCurEventMng->SetEvent(EV_EJECT_JAM); }, Ms(3000)));
  ASSERT_TRUE(RunUntilShown("Jam Ejecting    ", Ms(3000)));
  m_machine->RunUntil([] { return ErrorSet(kEjectFailed); }, Ms(30000));
  EXPECT_TRUE(ErrorSet(kEjectFailed));
  ASSERT_TRUE(RunUntilShown("Paper Jam     46", Ms(30000)));
  m_machine->RunFor(Ms(2000));
  EXPECT_TRUE(ErrorSet(kJamIndex)) << "the jam stays for the operator's roll-back";
  uint32_t ulC = 9, ulL = 9;
  int32_t lMain = -1, lSub = -1;
  ASSERT_TRUE(m_machine->RunStep(
      [&] {
        g_SensorMainPinC.Read(&ulC);
        g_SensorMainPinL.Read(&ulL);
        g_StpmtrMain.GetState(&lMain);
        g_StpmtrSub.GetState(&lSub);
      },
      Ms(30000)));
  EXPECT_EQ(ulC, 1u) << "main pinch up";
  EXPECT_EQ(ulL, 0u) << "main pinch up";
  EXPECT_EQ(lMain, STPMTR_STOPPED);
  EXPECT_EQ(lSub, STPMTR_STOPPED);
  EXPECT_FALSE(g_EventSet & (uint64_t{1} << EV_EJECT_JAM));
  const ReplyHeader h = Command(m_machine->UsbHost(), CMD_GET_STATUS).header;
  EXPECT_EQ(h.printerState, PRINTER_STATE_ERROR);
  EXPECT_EQ(h.errorClass, 0x05);
  EXPECT_EQ(h.errorDetail, 0x2E);
}

TEST_F(JamEjectAndReset, AHostResetStopsTheMechanismAndRestartsTheBoard) {
  const hostiftest::Reply r = Command(m_machine->UsbHost(), CMD_RESET, {RESET_KIND_PRINTER, 0});
  EXPECT_EQ(r.header.replyKind, REPLY_OK);
  m_machine->RunUntil([this] { return m_machine->Logged("all task is terminated"); }, Ms(4500));
  EXPECT_TRUE(m_machine->Logged("all task is terminated"));
  EXPECT_TRUE(Shown("System reset... "));
  for (uint32_t i = 0; i < static_cast<uint32_t>(sim::DcMotor::Count); ++i) {
    EXPECT_FALSE(sim::Turns(Dc().Drive(static_cast<sim::DcMotor>(i)))) << "motor " << i;
  }
  EXPECT_EQ(Dc().LoadsOn(), 0u);
}

}  // namespace
