// The mechanism stop on the virtual board: its order is the table below,
// written out by hand; on the bus the line trigger goes off first and the
// motors only 20 ms later; everything ends off, also when nothing ran and
// when the stop is called twice.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "firmware/control/panel_test_rig.h"
#include "firmware/devices/machine_actuators.h"
#include "firmware/devices/machine_ports.h"
#include "firmware/printengine/print_line.h"
#include "firmware/sequences/event_actions.h"
#include "firmware/sequences/mecha_stop_table.h"
#include "sim/bus_trace.h"
#include "sim/mechanism/dc_mechanism.h"

namespace paneltest {
namespace {

const std::vector<std::string> kOrder = {
    "g_DcMotorLoadPinch", "g_DcMotorMainPinch", "g_DcMotorFeedPinch", "g_DcMotorPathSel",
    "g_ChopMotorEjectPinch", "g_ChopMotorPaperRot", "g_ChopMotorRibDstL", "g_ChopMotorRibDstR",
    "g_ChopMotorRibSrcL", "g_ChopMotorRibSrcR", "g_ChopMotorCutter", "g_ChopMotorHeadL", "g_ChopMotorHeadR",
    "g_ChopMotorEject", "g_DcMotorRotLock", "g_StpmtrMain", "g_StpmtrSub", "g_FanHeadL", "g_FanHeadR",
    "g_FanSideL", "g_FanSideR", "g_FanStpMtr", "g_FanPcb", "g_FanSpare9", "g_FanSpare10", "g_ClutchRibRvsL",
    "g_ClutchRibRvsR", "g_ClutchLoad", "g_ColorLedRedL", "g_ColorLedRedR", "g_ColorLedGreenL",
    "g_ColorLedGreenR", "g_ColorLedBlueL", "g_ColorLedBlueR", "g_HeadLiftL", "g_HeadLiftR", "g_pProllMain",
    "g_LoadPinch", "g_RotationLock", "g_PathSelect", "g_pProllFeed", "g_EjectPinch", "g_Cutter", "g_LoadBar",
};

TEST(MechaStopTable, StopsInTheOrderWrittenOut) {
  uint32_t ulCount = 0;
  const MechaStopRow* pRows = MechaStopRows(&ulCount);
  std::vector<std::string> order;
  for (uint32_t i = 0; i < ulCount; ++i) order.emplace_back(pRows[i].pszObject);
  EXPECT_EQ(order, kOrder);
  // The groups follow each other once each.
  for (uint32_t i = 1; i < ulCount; ++i) EXPECT_LE(pRows[i - 1].eGroup, pRows[i].eGroup) << order[i];
}

constexpr uint32_t kTimerCtrl = 0x6400001Cu;
constexpr uint32_t kDcMotor0 = 0x64000030u;

struct StopCase {
  const char* name;
  bool running;  // motors, fans, clutches and LEDs switched on first
  uint32_t calls;
};

class MechaStop : public PanelTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(MechaStop, SwitchesEverythingOffAfterTheLineTrigger) {
  const StopCase& c = GetParam();
  static bool s_bRunning;
  static uint32_t s_ulCalls, s_ulStopPrints;  // stops that found the line interrupt on and left it off
  static std::vector<int32_t> s_results;
  s_bRunning = c.running;
  s_ulCalls = c.calls;
  s_results.clear();
  InApp([] {
    g_PortMotorEnable.Set();
    if (s_bRunning) {
      g_ChopMotorRibSrcL.SetDuty(50);
      g_ChopMotorRibSrcL.Forward();
      g_DcMotorLoadPinch.Forward();
      g_FanHeadL.On();
      g_ClutchRibRvsR.On();
      g_ColorLedGreenR.On();
    }
  });
  m_machine->GetBoard().GetBus().Trace().Start();
  InApp([] {
    s_ulStopPrints = 0;
    for (uint32_t i = 0; i < s_ulCalls; ++i) {
      g_ulLineIrqEnable = 1;
      s_results.push_back(MechaAllOff());
      if (g_ulLineIrqEnable == 0) ++s_ulStopPrints;
    }
  });
  m_machine->GetBoard().GetBus().Trace().Stop();
  EXPECT_EQ(s_results, std::vector<int32_t>(c.calls, 0)) << c.name;
  EXPECT_EQ(s_ulStopPrints, c.calls) << c.name;
  sim::DcMechanism& dc = *m_machine->GetBoard().FindDevice<sim::DcMechanism>();
  for (uint32_t i = 0; i < static_cast<uint32_t>(sim::DcMotor::Count); ++i) {
    EXPECT_FALSE(sim::Turns(dc.Drive(static_cast<sim::DcMotor>(i)))) << c.name << " motor " << i;
  }
  EXPECT_EQ(dc.LoadsOn(), 0u) << c.name;
  EXPECT_EQ(dc.LedsOn(), 0u) << c.name;
  // Each stop: the line trigger off, and the first motor line written
  // 20 ms or more later.
  const sim::BusTrace& trace = m_machine->GetBoard().GetBus().Trace();
  const std::vector<sim::BusAccess> triggers = trace.In(kTimerCtrl, kTimerCtrl + 1, sim::BusTrace::Kind::Writes);
  const std::vector<sim::BusAccess> motors = trace.In(kDcMotor0, kDcMotor0 + 1, sim::BusTrace::Kind::Writes);
  ASSERT_GE(triggers.size(), c.calls) << c.name;
  ASSERT_FALSE(motors.empty()) << c.name;
  EXPECT_EQ(triggers.front().value & 0x4u, 0u) << c.name;
  EXPECT_GE(motors.front().at, triggers.front().at + Ms(20)) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Cases, MechaStop,
                         ::testing::Values(StopCase{"running", true, 1}, StopCase{"nothing runs", false, 1},
                                           StopCase{"called twice", true, 2}));

}  // namespace
}  // namespace paneltest
