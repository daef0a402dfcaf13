// Scenarios of the mechanism's stop and jam eject on the whole printer,
// driven as an operator would (sim::Machine::Act): the front cover opened
// with "RollBack Flag" 5, the jam eject of a loose sheet, and the
// operator's recovery from a missing ribbon, a cut ribbon and a spent one
// in unit L.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "firmware/control/error_manager.h"
#include "firmware/control/event_set.h"
#include "firmware/control/event_states.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/stepper.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/mechanism/ribbon_phases.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/sequences/ribbon_winding.h"
#include "protocol/codes.h"
#include "sim/mechanism/input_faults.h"
#include "sim/mechanism/paper_web_mechanism.h"
#include "tests/support/ribbon.h"

namespace {

using ribbontest::Ms;
using sim::PrintUnit;
using namespace protocol;

constexpr sim::Nanos kReadyLimit = testsupport::kSettleToReady + Ms(20000);

class MechanismScenarios : public ribbontest::RibbonPrinter {
 protected:
  bool RunUntilLine(const std::string& line, sim::Nanos limit) {
    m_machine->RunUntil([&] { return Lcd().Visible() == line; }, limit);
    return Lcd().Visible() == line;
  }
  void Act(const std::string& actions) {
    std::string error;
    ASSERT_TRUE(m_machine->Act(actions, &error)) << error;
  }
  // The first start of a motor from `from` on (0: none).
  sim::Nanos FirstStart(const char* pszMotor, sim::Nanos from) {
    for (const sim::MechanismEvent& e : Mechanism().Trace().Events()) {
      if (e.at < from || e.kind != sim::MechanismEventKind::Motor || e.drive == sim::DriveState::Stop ||
          e.drive == sim::DriveState::Brake) {
        continue;
      }
      if (e.name == pszMotor) return e.at;
    }
    return 0;
  }
  void ExpectAllOff() {
    for (uint32_t i = 0; i < static_cast<uint32_t>(sim::DcMotor::Count); ++i) {
      EXPECT_FALSE(sim::Turns(Mechanism().Drive(static_cast<sim::DcMotor>(i)))) << "motor " << i;
    }
    EXPECT_EQ(Mechanism().LoadsOn(), 0u) << "no fan or clutch";
    EXPECT_EQ(Mechanism().LedsOn(), 0u) << "no colour LED";
  }
  static bool EventPending(uint32_t ulEvent) { return (g_EventSet & (uint64_t{1} << ulEvent)) != 0; }
};

TEST_F(MechanismScenarios, RollBackFlagFiveEndsAtOneWithEverythingStopped) {
  BootReady();
  ASSERT_TRUE(m_machine->UsbHost().WaitForConfigured(Ms(5000)));
  ASSERT_TRUE(InLoop([] { g_ParamRollBackFlag.SetValue(5); }));
  Act("open=front");
  ASSERT_TRUE(RunUntilLine("Front Cover Open", Ms(20000)));
  m_machine->RunFor(Ms(200));
  ExpectAllOff();
  const ReplyHeader h = Status();
  EXPECT_EQ(h.printerState, PRINTER_STATE_ERROR);
  EXPECT_EQ(h.errorClass, 0x06);
  EXPECT_EQ(h.errorDetail, 0x07);
  int32_t lFlag = -1;
  ASSERT_TRUE(InLoop([&lFlag] { lFlag = SettingValue(g_ParamRollBackFlag); }));
  EXPECT_EQ(lFlag, 1);
}

TEST_F(MechanismScenarios, TheJamEjectFeedsALooseSheetOutPastPosition) {
  constexpr uint32_t kJamIndex = 0x1569;
  constexpr uint32_t kEjectFailed = 0x152E;
  BootReady();
  ASSERT_TRUE(InLoop([] { g_ErrorMng.SetError(kJamIndex); }));
  m_machine->RunUntil([] { return g_pCurEventMng == &g_EventMngJam; }, Ms(3000));
  ASSERT_EQ(g_pCurEventMng, &g_EventMngJam);
  // A sheet cut off the web lies in the path, its tail 1000 lines behind
  // "Position".
  sim::PaperWebMechanism& web = *m_machine->GetBoard().FindDevice<sim::PaperWebMechanism>();
  sim::PaperWeb::Placement sheet = web.Web().GetPlacement();
  sheet.bAttached = false;
  sheet.tail = sim::PaperWeb::kPosition - 1000;
  sheet.front = sim::PaperWeb::kPosition + 500;
  web.Place(sheet);
  ASSERT_TRUE(InLoop([] { g_pCurEventMng->SetEvent(EV_EJECT_JAM); }));
  ASSERT_TRUE(RunUntilLine("Jam Ejecting    ", Ms(3000)));
  m_machine->RunUntil([] { return !EventPending(EV_EJECT_JAM); }, Ms(60000));
  m_machine->RunFor(Ms(500));
  EXPECT_FALSE(IsErrorRaised(kEjectFailed));
  EXPECT_GE(web.Web().Tail(), sim::PaperWeb::kPosition + 2530 - 2) << "clear of Position and 2530 lines more";
  uint32_t ulC = 9, ulL = 9;
  int32_t lMain = -1, lSub = -1;
  bool bPending = true;
  ASSERT_TRUE(InLoop([&] {
    g_SensorMainPinC.Read(&ulC);
    g_SensorMainPinL.Read(&ulL);
    g_StpmtrMain.GetState(&lMain);
    g_StpmtrSub.GetState(&lSub);
    bPending = EventPending(EV_EJECT_JAM);
  }));
  EXPECT_EQ(ulC, 1u) << "main pinch up";
  EXPECT_EQ(ulL, 0u) << "main pinch up";
  EXPECT_EQ(lMain, STPMTR_STOPPED);
  EXPECT_EQ(lSub, STPMTR_STOPPED);
  EXPECT_FALSE(bPending);
}

// ---- unit L's ribbon faults and the operator's recovery ----

struct RibbonFaultCase {
  const char* name;
  const char* fault;     // the operator action that makes the fault
  int32_t (*operation)();
  sim::Nanos within;     // "Ribbon Empty L  " shows within this
  const char* repair;    // the action while the upper cover is open ("" none)
};

int32_t CheckLoaded() { return CheckRibbonLoaded(0, SEQ_CHECK_COVERS); }
int32_t TakeUpSlack() { return TakeUpRibbonSlack(1, 0, SEQ_CHECK_COVERS); }
int32_t WindThreeRetries() {
  return WindRibbonToCount(RIBPH_WIND_Y, 1, 20000, SEQ_CHECK_COVERS, 1, nullptr, nullptr, 3, 1);
}

const RibbonFaultCase kRibbonFaults[] = {
    {"no ribbon", "ribbon-out=l", CheckLoaded, Ms(4500), "ribbon-in=l"},
    {"ribbon cut", "ribbon-fault=l:cut", TakeUpSlack, Ms(30000), ""},
    {"ribbon end", "ribbon-fault=l:end", WindThreeRetries, Ms(60000), ""},
};

class RibbonFaultRecovery : public MechanismScenarios, public ::testing::WithParamInterface<RibbonFaultCase> {};

TEST_P(RibbonFaultRecovery, RaisesRibbonEmptyLWithTheDrivesOffAndTheUpperCoverClearsIt) {
  const RibbonFaultCase& c = GetParam();
  BootReady();
  ASSERT_TRUE(m_machine->UsbHost().WaitForConfigured(Ms(5000)));
  Act(c.fault);
  const double paperBefore = m_machine->GetBoard().FindDevice<sim::PaperWebMechanism>()->Web().Front();
  static int32_t s_lResult;
  static int32_t (*s_pfnOperation)();
  s_pfnOperation = c.operation;
  s_lResult = 9;
  ASSERT_TRUE(InLoop(
      [] {
        SelectUnit(0);
        s_lResult = s_pfnOperation();
      },
      c.within + Ms(5000)));
  EXPECT_EQ(s_lResult, -1);
  ASSERT_TRUE(RunUntilLine("Ribbon Empty L  ", Ms(3000)));
  m_machine->RunFor(Ms(1000));
  const ReplyHeader h = Status();
  EXPECT_EQ(h.printerState, PRINTER_STATE_ERROR);
  EXPECT_EQ(h.errorClass, 0x06);
  EXPECT_EQ(h.errorDetail, 0x0A);
  EXPECT_FALSE(sim::Turns(Mechanism().Drive(sim::DcMotor::RibSrcL))) << "supply motor stopped";
  EXPECT_FALSE(sim::Turns(Mechanism().Drive(sim::DcMotor::RibDstL))) << "take-up motor stopped";
  EXPECT_EQ(Mechanism().LoadsOn(), 0u) << "clutch off";
  EXPECT_EQ(m_machine->GetBoard().FindDevice<sim::PaperWebMechanism>()->Web().Front(), paperBefore)
      << "no paper moved";
  // The operator opens unit L's upper cover, which clears the index,
  // puts a ribbon in where one is missing, and closes it.
  Act("open=upper-l");
  m_machine->RunFor(Ms(1500));
  EXPECT_FALSE(IsErrorRaised(0x1603)) << "cleared by the open cover";
  if (*c.repair != '\0') Act(c.repair);
  Act("close=upper-l");
  m_machine->RunFor(Ms(3000));
  EXPECT_NE(Lcd().Visible(), "Ribbon Empty L  ");
}

std::string CaseName(const ::testing::TestParamInfo<RibbonFaultCase>& param) {
  std::string name = param.param.name;
  for (char& ch : name) {
    if (ch == ' ') ch = '_';
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(Cases, RibbonFaultRecovery, ::testing::ValuesIn(kRibbonFaults), CaseName);

}  // namespace
