// The engine variant of the virtual mechanism follows the "Engine Version"
// provisioned in the main EEPROM before the boot, as the firmware's does:
// 1 is EM2 (the head lifts' shorter stroke), 3, 5 and a blank EEPROM
// (formatted to the default 5 at the first start) are EM3. Either way the
// head lifts' moves end on the model's switches.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "firmware/control/engine_variant.h"
#include "firmware/devices/settings.h"
#include "firmware/mechanism/simple_positioners.h"
#include "sim/machine.h"
#include "sim/mechanism/dc_mechanism.h"
#include "sim/mechanism/positioner_geometry.h"
#include "sim/panel/panel.h"
#include "sim/state_dir.h"
#include "tests/support/machine_test.h"
#include "tests/support/positioners.h"
#include "tests/support/sample_printer.h"

namespace {

using testsupport::Ms;

struct VariantCase {
  const char* pszName;
  int32_t lProvisioned;  // -1: a blank EEPROM
  sim::EngineVariant variant;
  int32_t lFirmwareVersion;
};

const VariantCase kCases[] = {
    {"EngineVersion1", 1, sim::EngineVariant::EM2, 1},
    {"EngineVersion3", 3, sim::EngineVariant::EM3, 3},
    {"EngineVersion5", 5, sim::EngineVariant::EM3, 5},
    {"BlankEeprom", -1, sim::EngineVariant::EM3, 5},
};

class EngineVariantAtBoot : public testsupport::MachineTest, public ::testing::WithParamInterface<VariantCase> {};

TEST_P(EngineVariantAtBoot, FollowsTheProvisionedEngineVersionLikeTheFirmware) {
  const VariantCase& c = GetParam();
  sim::MachineOptions options;
  options.stateDir = testsupport::MakeTempDir();
  if (c.lProvisioned >= 0) {
    // The sample printer as the factory provisions it with this version.
    testsupport::SamplePrinter printer;
    printer.engineVersion = c.lProvisioned;
    std::string error;
    ASSERT_TRUE(testsupport::ProvisionSamplePrinter(options.stateDir, printer, &error)) << error;
  }
  Boot(std::move(options));
  const sim::DcMechanism& mechanism = *m_machine->GetBoard().FindDevice<sim::DcMechanism>();
  EXPECT_EQ(mechanism.Variant(), c.variant) << sim::ToString(mechanism.Variant());
  const int32_t travel = sim::GeometryOf(c.variant).headL.length;
  EXPECT_EQ(mechanism.Geometry(sim::Axis::HeadL).length, travel);
  EXPECT_EQ(mechanism.Geometry(sim::Axis::HeadR).length, sim::GeometryOf(c.variant).headR.length);

  // A blank EEPROM raises the start-up's serial and head errors; the main
  // loop runs all the same.
  m_machine->RunUntil([&] { return m_machine->Logged("Main Loop ..."); },
                      testsupport::kStartUp + testsupport::kFirstBootFormat + Ms(10000));
  ASSERT_TRUE(m_machine->Logged("Main Loop ..."));
  // The firmware's paper reference names the same variant.
  EXPECT_EQ(g_ulEngPosRefA, c.variant == sim::EngineVariant::EM2 ? 65364u : 65336u);
  int32_t lVersion = 0, lDown = -9, lUp = -9;
  int32_t downAt = -1;
  ASSERT_TRUE(m_machine->RunStep(
      [&] {
        lVersion = SettingValue(g_ParamEngineVersion);
        lDown = g_HeadLiftL.MoveDownAndWait();
        downAt = m_machine->GetBoard().FindDevice<sim::DcMechanism>()->Position(sim::Axis::HeadL);
        lUp = g_HeadLiftL.MoveUpAndWait();
      },
      Ms(5000)));
  EXPECT_EQ(lVersion, c.lFirmwareVersion);
  EXPECT_EQ(lDown, 0);
  EXPECT_EQ(lUp, 0);
  // Braked a poll after the down switch: inside the variant's down zone.
  EXPECT_GE(downAt, travel - sim::positioner::kLiftEndZone);
  EXPECT_LE(downAt, travel);
  EXPECT_LE(mechanism.Position(sim::Axis::HeadL), sim::positioner::kLiftEndZone) << "back up";
}

INSTANTIATE_TEST_SUITE_P(Table, EngineVariantAtBoot, ::testing::ValuesIn(kCases),
                         positionertest::CaseName<::testing::TestParamInfo<VariantCase>>);

}  // namespace
