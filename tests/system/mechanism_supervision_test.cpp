// The printer's idle supervision on the virtual mechanism, end to end: an
// opened front cover and its closing, a cover opened while a sequence runs,
// the paper roll taken out, and a thermistor out of range in the history
// the host reads, each also across a restart where it must last.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "firmware/control/error_manager.h"
#include "firmware/control/event_states.h"
#include "firmware/devices/settings.h"
#include "firmware/hostif/usb_command_test_support.h"
#include "firmware/mechanism/step_machine.h"
#include "protocol/codes.h"
#include "protocol/replies.h"
#include "sim/machine.h"
#include "sim/mechanism/mechanism_inputs.h"
#include "sim/panel/panel.h"
#include "sim/usb/usb_host_port.h"
#include "tests/support/forked_boots.h"
#include "tests/support/machine_test.h"

namespace {

using hostiftest::Command;
using sim::PanelLed;
using testsupport::Ms;
using namespace protocol;

constexpr sim::Nanos kSettle = testsupport::kSettleToReady;

sim::LcdController& LcdOf(sim::Machine& m) { return *m.GetBoard().FindDevice<sim::LcdController>(); }
sim::MechanismInputs& MechanismOf(sim::Machine& m) { return *m.GetBoard().FindDevice<sim::MechanismInputs>(); }

bool RunUntilShown(sim::Machine& m, const std::string& text, sim::Nanos limit) {
  m.RunUntil([&] { return LcdOf(m).Visible() == text; }, limit);
  return LcdOf(m).Visible() == text;
}

ReplyHeader StatusOf(sim::Machine& m) { return Command(m.UsbHost(), CMD_GET_STATUS).header; }

// The history as the host reads it.
ErrorLogReply ErrorLogOf(sim::Machine& m) {
  const hostiftest::Reply r = Command(m.UsbHost(), CMD_GET_ERROR_LOG);
  ErrorLogReply log{};
  EXPECT_EQ(DecodeReply(r.data.data(), r.data.size(), &log), WIRE_OK);
  return log;
}

bool Logged(const ErrorLogReply& log, uint8_t major, uint8_t minor) {
  for (uint32_t i = 0; i < log.count && i < ERROR_LOG_ENTRIES_MAX; ++i) {
    if (log.entries[i].codeMajor == major && log.entries[i].codeMinor == minor) return true;
  }
  return false;
}

class MechanismSupervision : public testsupport::MachineTest {
 protected:
  void SetUp() override {
    BootNewPrinter();
    ASSERT_TRUE(RunUntilShown(*m_machine, testsupport::kReadyLine, kSettle));
    ASSERT_TRUE(m_machine->UsbHost().WaitForConfigured(Ms(5000)));
  }
  sim::MechanismInputs& Mechanism() { return MechanismOf(*m_machine); }
  sim::PanelLeds& Leds() { return *m_machine->GetBoard().FindDevice<sim::PanelLeds>(); }
};

TEST_F(MechanismSupervision, AnOpenFrontCoverIsShownAndClearsOnlyAfterASecondClosed) {
  Mechanism().SetCoverOpen(sim::Cover::Front, true);
  ASSERT_TRUE(RunUntilShown(*m_machine, "Front Cover Open", Ms(1000)));
  m_machine->RunFor(Ms(100));
  EXPECT_EQ(g_pCurEventMng, &g_EventMngCoverOpen);
  EXPECT_TRUE(Leds().IsOn(PanelLed::Error));
  EXPECT_FALSE(Leds().IsOn(PanelLed::Ready));
  const ReplyHeader h = StatusOf(*m_machine);
  EXPECT_EQ(h.printerState, PRINTER_STATE_ERROR);
  EXPECT_EQ(h.errorClass, 0x06);
  EXPECT_EQ(h.errorDetail, 0x07);
  // The cover state's entry left the set-up of ribbon and paper for later.
  EXPECT_NE(g_EventSet & (uint64_t{1} << EV_RELOAD_PAPER2), 0u);

  Mechanism().SetCoverOpen(sim::Cover::Front, false);
  m_machine->RunFor(Ms(900));
  EXPECT_EQ(LcdOf(*m_machine).Visible(), "Front Cover Open") << "closed for less than a second";
  bool bPreReady = false;
  m_machine->RunUntil([&] {
    bPreReady = bPreReady || g_pCurEventMng == &g_EventMngPreReady;
    return g_pCurEventMng == &g_EventMngReadyA;
  }, Ms(5000));
  EXPECT_EQ(g_pCurEventMng, &g_EventMngReadyA);
  EXPECT_TRUE(bPreReady) << "back through pre-ready";
  EXPECT_TRUE(RunUntilShown(*m_machine, testsupport::kReadyLine, Ms(1000)));
}

TEST_F(MechanismSupervision, ACoverOpenedWhileASequenceRunsEndsItsAbortCheck) {
  Mechanism().SetCoverOpen(sim::Cover::SideR, true);
  int32_t lAbort = 0;
  uint32_t ulRaised = 0;
  ASSERT_TRUE(m_machine->RunStep([&] {
    lAbort = CheckAbort(SEQ_CHECK_COVERS);
    g_ErrorMng.IsErrorSet(0x0602, &ulRaised);
  }, Ms(1000)));
  EXPECT_EQ(lAbort, -1);
  EXPECT_EQ(ulRaised, 1u);
  EXPECT_TRUE(RunUntilShown(*m_machine, "SideCover R Open", Ms(1000)));
}

// ---- across restarts ----------------------------------------------------------------------

TEST(MechanismRestarts, TheRollTakenOutAsksForPaperAndItsRollBackMarkLastsARestart) {
  testsupport::ForkedBoots boots;
  boots.ProvisionSamplePrinter();
  const std::vector<int> codes = boots.Run(2, [](int index, sim::MachineOptions options) {
    options.bRollLoaded = index == 0;  // taken out during the first boot and still out
    sim::Machine m(options);
    if (index == 0) {
      if (!RunUntilShown(m, testsupport::kReadyLine, kSettle)) return 1;
      MechanismOf(m).SetRollLoaded(false);
      if (!RunUntilShown(m, "Load Paper      ", Ms(1000))) return 2;
    } else {
      m.RunFor(testsupport::kStartUp + testsupport::kEepromBackup + Ms(1000));
    }
    int32_t lFlag = -1;
    // The step runs at the main loop's next pass, after the home run,
    // which starts from where the first boot left the mechanism.
    if (!m.RunStep([&lFlag] { lFlag = SettingValue(g_ParamRollBackFlag); }, Ms(30000))) return 3;
    if (lFlag != 2) return 10 + lFlag;
    return m.UnexpectedFaults().empty() ? 0 : 4;
  });
  EXPECT_EQ(codes, (std::vector<int>{0, 0}));
}

TEST(MechanismRestarts, AThermistorOutOfRangeIsInTheHistoryTheHostReadsAlsoAfterARestart) {
  testsupport::ForkedBoots boots;
  boots.ProvisionSamplePrinter();
  const std::vector<int> codes = boots.Run(2, [](int index, sim::MachineOptions options) {
    sim::Machine m(options);
    if (!RunUntilShown(m, testsupport::kReadyLine, kSettle)) return 1;
    if (!m.UsbHost().WaitForConfigured(Ms(5000))) return 2;
    if (index == 0) {
      if (Logged(ErrorLogOf(m), 0x04, 0x01)) return 3;
      MechanismOf(m).SetThermistor(sim::Thermistor::HeadL, 1020);  // 255 of 255
      if (!RunUntilShown(m, "TempSensErr   01", Ms(1000))) return 4;
    }
    if (!Logged(ErrorLogOf(m), 0x04, 0x01)) return 5;
    return m.UnexpectedFaults().empty() ? 0 : 6;
  });
  EXPECT_EQ(codes, (std::vector<int>{0, 0}));
}

}  // namespace
