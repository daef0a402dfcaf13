// The firmware's motors, encoders and colour sensors on the virtual board's
// DC mechanism: the boot moves nothing, a chopper's screen runs its axis at
// its duty to the switch the firmware reads, the ribbon check screen counts
// what the ribbon shafts turn, and each ribbon panel under each unit is
// classified by its colour-sensor set on both kinds of board.
#include <gtest/gtest.h>

#include <string>

#include "firmware/control/panel_test_rig.h"
#include "firmware/devices/color_sensor.h"
#include "firmware/devices/machine_actuators.h"
#include "firmware/devices/machine_ports.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/slit.h"
#include "firmware/devices/unit_switch.h"
#include "sim/mechanism/dc_mechanism.h"

namespace {

using paneltest::PanelKey;
using testsupport::Ms;

sim::DcMechanism& MechanismOf(sim::Machine& m) { return *m.GetBoard().FindDevice<sim::DcMechanism>(); }

// ---- the boot ----

class MechanismAtBoot : public testsupport::MachineTest {};

TEST_F(MechanismAtBoot, NothingMovesAndTheMotorSupplyComesUp) {
  Boot();
  m_machine->RunUntil([this] { return m_machine->Logged("Main Loop ..."); }, testsupport::kStartUp + Ms(10000));
  ASSERT_TRUE(m_machine->Logged("Main Loop ..."));
  m_machine->RunFor(Ms(500));
  const sim::DcMechanism& mechanism = MechanismOf(*m_machine);
  const sim::MechanismTrace& trace = mechanism.Trace();
  EXPECT_FALSE(trace.AnythingMovedSince(0)) << trace.Text();
  EXPECT_TRUE(mechanism.SupplyOn());
  // The ribbon managers leave both units' ribbon motors braked; every
  // other motor stands at its stop level.
  for (uint32_t m = 0; m < sim::Index(sim::DcMotor::Count); ++m) {
    const auto motor = static_cast<sim::DcMotor>(m);
    const bool bRibbon = motor == sim::DcMotor::RibSrcL || motor == sim::DcMotor::RibSrcR ||
                         motor == sim::DcMotor::RibDstL || motor == sim::DcMotor::RibDstR;
    EXPECT_EQ(mechanism.Drive(motor), bRibbon ? sim::DriveState::Brake : sim::DriveState::Stop)
        << sim::kDcMotorWiring[m].pszName;
  }
  for (uint32_t a = 0; a < sim::Index(sim::Axis::Count); ++a) {
    EXPECT_EQ(mechanism.Position(static_cast<sim::Axis>(a)), mechanism.Geometry(static_cast<sim::Axis>(a)).start)
        << sim::kAxisWiring[a].pszName;
  }
  EXPECT_EQ(mechanism.LoadsOn(), 0u);
  EXPECT_EQ(mechanism.LedsOn(), 0u);
  uint32_t ulSupply = 0;
  ASSERT_TRUE(m_machine->RunStep([&ulSupply] { g_Ad24Vol.Read(&ulSupply); }, Ms(1000)));
  EXPECT_GT(ulSupply, 414u) << "the supply monitor sees the motors enabled";
}

// ---- the service screens, by key presses ----

class MechanismScreens : public paneltest::PanelTest {
 protected:
  sim::DcMechanism& Mechanism() { return MechanismOf(*m_machine); }
  void EnableMotors() {
    InApp([] { g_PortMotorEnable.Set(); });
  }
};

TEST_F(MechanismScreens, TheChopperScreenRunsItsAxisAtItsDutyToTheSwitchTheFirmwareReads) {
  // The left head, up at rest, driven down ("+") at half duty.
  EnableMotors();
  InApp([] { g_ChopMotorHeadL.SetDuty(50); });
  Start([] {
    g_Lcd.WriteText("Head L          ", 0, 16);
    g_ChopMotorHeadL.TestScreen(1);
  });
  ASSERT_TRUE(RunUntilShown("Head L +OFF: 50%")) << Lcd().Visible();
  Mechanism().Trace().Clear();
  Keys().Tap(PanelKey::Enter, Ms(200), Ms(20));
  ASSERT_TRUE(RunUntilShown("Head L + ON: 50%")) << Lcd().Visible();
  const sim::AxisGeometry& head = Mechanism().Geometry(sim::Axis::HeadL);
  const sim::Nanos travelTime = static_cast<sim::Nanos>(head.length) * 2 * 1000 * Ms(1) / head.fullSpeed;
  RunFor(travelTime + Ms(100));
  EXPECT_EQ(Mechanism().Position(sim::Axis::HeadL), head.length);
  const auto positions = Mechanism().Trace().Of("HeadL");
  ASSERT_GE(positions.size(), 2u) << Mechanism().Trace().Text();
  EXPECT_EQ(positions.front().value, 0);
  EXPECT_EQ(positions.back().value, head.length);
  EXPECT_EQ(positions.back().at - positions.front().at, travelTime) << "half duty, half speed";
  static uint32_t s_ulDown, s_ulUp;
  Keys().Tap(PanelKey::Enter, Ms(200), Ms(20));
  ASSERT_TRUE(RunUntilShown("Head L +OFF: 50%")) << Lcd().Visible();
  RunFor(Ms(300));  // the key's release
  Keys().Tap(PanelKey::Clear, Ms(200), Ms(20));
  ASSERT_TRUE(Finish(Ms(1000)));
  InApp([] {
    g_SensorHeadLDn.Read(&s_ulDown);
    g_SensorHeadLUp.Read(&s_ulUp);
  });
  EXPECT_EQ(s_ulDown, 1u);
  EXPECT_EQ(s_ulUp, 0u);
  EXPECT_EQ(Mechanism().Drive(sim::DcMotor::HeadL), sim::DriveState::Stop);
}

TEST_F(MechanismScreens, TheRibbonCheckScreenCountsWhatTheRibbonShaftsTurn) {
  EnableMotors();
  Start([] { g_SlitRibEncDstL.CheckRoutine(); });
  ASSERT_TRUE(RunUntilShown("RibEncDstL:    0")) << Lcd().Visible();
  Keys().Tap(PanelKey::Menu, Ms(200), Ms(20));
  RunFor(Ms(1000));
  EXPECT_EQ(Mechanism().Drive(sim::DcMotor::RibDstL), sim::DriveState::Forward);
  EXPECT_EQ(Mechanism().Drive(sim::DcMotor::RibSrcL), sim::DriveState::Reverse);
  EXPECT_EQ(Mechanism().SpeedPercent(sim::DcMotor::RibDstL), 99u);
  EXPECT_EQ(Mechanism().SpeedPercent(sim::DcMotor::RibSrcL), 100u);
  EXPECT_EQ(Mechanism().LoadsOn(), 0x0001u) << "the ribbon reverse clutch of unit L";
  const std::string shown = Lcd().Visible();
  EXPECT_EQ(shown.substr(0, 11), "RibEncDstL:");
  const int counted = std::stoi(shown.substr(11));
  EXPECT_GT(counted, 100) << shown;
  RunFor(Ms(500));
  EXPECT_GT(std::stoi(Lcd().Visible().substr(11)), counted) << "and it rises";
  Keys().Tap(PanelKey::Clear, Ms(200), Ms(20));
  ASSERT_TRUE(Finish(Ms(1000)));
  EXPECT_EQ(Mechanism().Drive(sim::DcMotor::RibDstL), sim::DriveState::Stop);
  EXPECT_EQ(Mechanism().Drive(sim::DcMotor::RibSrcL), sim::DriveState::Stop);
  EXPECT_EQ(Mechanism().LoadsOn(), 0u);
  const auto clutch = Mechanism().Trace().Of("ClutchRibRvsL");
  ASSERT_EQ(clutch.size(), 2u);
  EXPECT_EQ(clutch[0].value, 1);
  EXPECT_EQ(clutch[1].value, 0);
}

// ---- the colour sensors, end to end ----

class PanelsEndToEnd : public paneltest::PanelTest, public ::testing::WithParamInterface<uint32_t> {
 protected:
  void SetUp() override {
    sim::MachineOptions options;
    options.appEntry = paneltest::AppEntry;
    options.pcbRevision = GetParam();
    Boot(std::move(options));
    m_machine->RunUntil([] { return paneltest::g_app.bReady; }, paneltest::kBootLimit);
    ASSERT_TRUE(paneltest::g_app.bReady);
  }
};

// The colour inputs as the start-up wires them for the board's revision.
void WireColorInputs(uint32_t ulPcbRevision) {
  if (ulPcbRevision == 0) {
    g_AdCSenL.SetChannel(128);
    g_AdCSenL.SetMode(0);
    g_AdCSenR.SetChannel(129);
    g_AdCSenR.SetMode(0);
  } else {
    g_AdCSenL.SetChannel(128);
    g_AdCSenL.SetMode(CAnalogSensor::kModeColorSensorL);
    g_AdCSenR.SetChannel(128);
    g_AdCSenR.SetMode(0);
  }
}

TEST_P(PanelsEndToEnd, EachPanelUnderEachUnitIsClassifiedAsThatPanel) {
  const sim::Panel panels[] = {sim::Panel::Yellow, sim::Panel::Magenta, sim::Panel::Cyan, sim::Panel::Overcoat};
  const uint32_t ulRevision = GetParam();
  InApp([ulRevision] { WireColorInputs(ulRevision); });
  for (uint32_t unit : {0u, 1u}) {
    for (sim::Panel panel : panels) {
      SCOPED_TRACE(testing::Message() << "unit " << unit << " panel " << static_cast<int>(panel));
      // The other unit shows another panel, which must not leak in.
      const sim::Panel other = panel == sim::Panel::Cyan ? sim::Panel::Yellow : sim::Panel::Cyan;
      sim::DcMechanism& mechanism = MechanismOf(*m_machine);
      mechanism.SetRibbonPanel(unit == 0 ? sim::PrintUnit::L : sim::PrintUnit::R, panel);
      mechanism.SetRibbonPanel(unit == 0 ? sim::PrintUnit::R : sim::PrintUnit::L, other);
      static uint32_t s_ulClass, s_ulDone;
      static uint16_t s_ausValues[3];
      InApp([unit] {
        SelectUnit(unit);
        g_pCurColorSensorSet->Reset();
        s_ulDone = 0;
        const uint32_t ulStart = paneltest::NowMs();
        while (s_ulDone == 0 && paneltest::NowMs() - ulStart < 1000) {
          g_pCurColorSensorSet->ClassifyPanel(&s_ulClass, s_ausValues, &s_ulDone);
        }
        g_pCurColorSensorSet->Reset();
        SelectUnit(0);
      });
      ASSERT_EQ(s_ulDone, 1u);
      EXPECT_EQ(s_ulClass, static_cast<uint32_t>(panel));
      EXPECT_EQ(s_ausValues[0], sim::RibbonColors::Level(panel, sim::LedColor::Red));
      EXPECT_EQ(s_ausValues[1], sim::RibbonColors::Level(panel, sim::LedColor::Green));
      EXPECT_EQ(s_ausValues[2], sim::RibbonColors::Level(panel, sim::LedColor::Blue));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(PcbRevisions, PanelsEndToEnd, ::testing::Values(0u, 1u));

}  // namespace
