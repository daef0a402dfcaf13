// The board bring-up by PCB revision, watched on the bus from the first
// access of the start-up, and the GPIO services of the system-device call.
#include "firmware/platform/board_setup.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "firmware/platform/board_test_rig.h"
#include "firmware/platform/gpio.h"
#include "firmware/platform/ioctl.h"
#include "sim/soc/emif.h"
#include "sim/soc/syscfg.h"

namespace {

using boardrig::Access;

constexpr PhysAddr kSyscfgFirst = 0x01C14000u;
constexpr PhysAddr kSyscfgLast = 0x01C14FFFu;
constexpr PhysAddr kGpioFirst = 0x01E26000u;
constexpr PhysAddr kGpioLast = 0x01E26FFFu;

// The settings of the two columns, as the board's documentation gives them.
constexpr uint32_t kPinMux[2][20] = {
    {0x88888888u, 0x88888888u, 0x88888888u, 0x88888888u, 0x22228888u, 0x11888888u, 0x18888888u,
     0x10111111u, 0x11111111u, 0x11111111u, 0x11111111u, 0x11111111u, 0x11111111u, 0x88888880u,
     0x00000088u, 0x00000000u, 0x88888880u, 0x00000088u, 0x88888800u, 0x18888800u},
    {0x88888888u, 0x88888888u, 0x44444448u, 0x44444414u, 0x22228844u, 0x11888888u, 0x18888888u,
     0x10111111u, 0x11111111u, 0x11111111u, 0x11111111u, 0x11111111u, 0x11111111u, 0x88888888u,
     0x00000088u, 0x00000000u, 0x88888880u, 0x00000088u, 0x88888800u, 0x18888800u},
};

std::vector<Access> ExpectedGpioWrites(uint32_t column) {
  const bool r0 = column == 0;
  return {
      {true, 0x01E26018u, 0x00005800u},
      {true, 0x01E2601Cu, r0 ? 0x8030A601u : 0xFFF0A601u},
      {true, 0x01E26010u, r0 ? 0x7FCFC1FEu : 0x000FC1FEu},
      {true, 0x01E2603Cu, 0x00000000u},
      {true, 0x01E26040u, 0x0000F4FEu},
      {true, 0x01E26038u, 0xFFFF0B01u},
      {true, 0x01E26068u, 0x00000000u},
      {true, 0x01E2606Cu, 0x00000000u},
      {true, 0x01E26060u, 0xFFFFFFFFu},
      {true, 0x01E26090u, 0xFE004F00u},
      {true, 0x01E26094u, r0 ? 0x01003000u : 0x0100B000u},
      {true, 0x01E26088u, r0 ? 0x00FF803Fu : 0x00FF003Fu},
      {true, 0x01E260B8u, 0x00000C00u},
      {true, 0x01E260BCu, r0 ? 0x0000F000u : 0x0000F0FEu},
      {true, 0x01E260B0u, r0 ? 0xFFFF03FFu : 0xFFFF0301u},
      {true, 0x01E26008u, 0x00000001u},  // the bank-0 interrupt, last
  };
}

struct RevisionCase {
  uint16_t usRegister;  // what FPGA_PCB_REV reads
  uint32_t ulRevision;  // what the log shows
  uint32_t ulColumn;
};

class BoardBringUp : public boardrig::BoardTest, public ::testing::WithParamInterface<RevisionCase> {};

TEST_P(BoardBringUp, WritesItsRevisionsColumnInOrderAndLogsWhatItSet) {
  const RevisionCase c = GetParam();
  sim::MachineOptions options;
  options.pcbRevision = c.usRegister;
  sim::Machine& m = BootWith([] {}, options);
  Trace().Start();
  Run();

  // The revision is read before the FPGA's bus timing is written.
  const auto& all = Trace().Accesses();
  size_t revisionRead = all.size();
  size_t timingWrite = all.size();
  for (size_t i = 0; i < all.size(); ++i) {
    if (!all[i].bWrite && all[i].addr == 0x64000040u && revisionRead == all.size()) revisionRead = i;
    if (all[i].bWrite && all[i].addr == 0x68000018u && timingWrite == all.size()) timingWrite = i;
  }
  ASSERT_LT(revisionRead, timingWrite);
  EXPECT_EQ(Traced(0x68000000u, 0x68007FFFu), (std::vector<Access>{{true, 0x68000018u, 0x44902889u}}));

  // The USB driver's PHY set-up uses the same block before: the bring-up's
  // writes start with the unlock before the first pin-mux write.
  std::vector<Access> expectedSyscfg = {{true, 0x01C14038u, 0x83E70B13u}, {true, 0x01C1403Cu, 0x95A4F1E0u}};
  for (uint32_t i = 0; i < 20; ++i) expectedSyscfg.push_back({true, 0x01C14120u + 4 * i, kPinMux[c.ulColumn][i]});
  expectedSyscfg.push_back({true, 0x01C14038u, 0});
  expectedSyscfg.push_back({true, 0x01C1403Cu, 0});
  const std::vector<Access> syscfg = Traced(kSyscfgFirst, kSyscfgLast);
  size_t firstPinMux = 0;
  while (firstPinMux < syscfg.size() && syscfg[firstPinMux].addr != 0x01C14120u) ++firstPinMux;
  ASSERT_GE(firstPinMux, 2u);
  ASSERT_EQ(syscfg.size(), firstPinMux - 2 + expectedSyscfg.size()) << "nothing after the lock";
  EXPECT_EQ(std::vector<Access>(syscfg.begin() + static_cast<std::ptrdiff_t>(firstPinMux - 2), syscfg.end()),
            expectedSyscfg);

  // The configuration of the FPGA follows on the same registers: the
  // bring-up's writes come first.
  const std::vector<Access> gpio = Traced(kGpioFirst, kGpioLast);
  const std::vector<Access> expected = ExpectedGpioWrites(c.ulColumn);
  ASSERT_GE(gpio.size(), expected.size());
  EXPECT_EQ(std::vector<Access>(gpio.begin(), gpio.begin() + static_cast<std::ptrdiff_t>(expected.size())), expected);

  // What the models hold afterwards, and the 26 lines in their order.
  sim::SystemConfig& sys = *TheBoard().FindDevice<sim::SystemConfig>();
  EXPECT_FALSE(sys.Unlocked());
  EXPECT_EQ(sys.Register(0x120 + 4 * 13), kPinMux[c.ulColumn][13]);
  EXPECT_EQ(Gpio().BankIrqEnable(), 1u);
  char revisionLine[32];
  std::snprintf(revisionLine, sizeof revisionLine, "Main PCB Rev. = %x", c.ulRevision);
  std::vector<std::string> lines = {revisionLine};
  for (uint32_t i = 0; i < 20; ++i) {
    char text[48];
    std::snprintf(text, sizeof text, "M_SYSCFG0_REG_PINMUX%u%s(%08x)", i, i < 10 ? "  " : " ", kPinMux[c.ulColumn][i]);
    lines.push_back(text);
  }
  const char* const dirNames[] = {"M_REG_GPIO_DIR01  (", "M_REG_GPIO_DIR23  (", "M_REG_GPIO_DIR45  (",
                                  "M_REG_GPIO_DIR67  (", "M_REG_GPIO_DIR8   ("};
  const uint32_t dirRegs[] = {0x01E26010u, 0x01E26038u, 0x01E26060u, 0x01E26088u, 0x01E260B0u};
  for (uint32_t k = 0; k < 5; ++k) {
    uint32_t dir = 0;
    for (const Access& a : expected) {
      if (a.addr == dirRegs[k]) dir = a.value;
    }
    char text[48];
    std::snprintf(text, sizeof text, "%s%08x)", dirNames[k], dir);
    lines.push_back(text);
  }
  const size_t first = m.FindLog(lines[0]);
  ASSERT_NE(first, sim::Machine::npos);
  std::vector<std::string> logged;
  for (size_t i = first; i < first + lines.size() && i < m.Log().size(); ++i) logged.push_back(m.Log()[i].text);
  EXPECT_EQ(logged, lines);
}

INSTANTIATE_TEST_SUITE_P(Revisions, BoardBringUp,
                         ::testing::Values(RevisionCase{0x0000, 0, 0}, RevisionCase{0x0005, 5, 1},
                                           RevisionCase{0x0010, 0, 0}, RevisionCase{0xFFFF, 15, 1}),
                         [](const auto& c) { return "Register" + std::to_string(c.param.usRegister); });

// ---- the GPIO services -------------------------------------------------------------------

using GpioServices = boardrig::BoardTest;

TEST_F(GpioServices, WriteOnePinsBitAndRefuseWhatIsNoPin) {
  static int32_t s_alResults[6];
  static uint32_t s_aulLevels[2];
  BootWith([] {
    sim::Board::Current().GetBus().Trace().Start();
    s_alResults[0] = IoctlGpioSet(31);
    s_alResults[1] = IoctlGpioSet(32);
    s_alResults[2] = IoctlGpioClear(127);
    s_alResults[3] = IoctlGpioSet(128);
    s_aulLevels[1] = 7;
    s_alResults[4] = IoctlGpioRead(128, &s_aulLevels[1]);
    s_alResults[5] = IoctlGpioRead(40, &s_aulLevels[0]);
    // Falling edges: pins 1-8 only; the wrappers pass 0-7.
    GpioSetFallTrigger(0);
    GpioSetFallTrigger(9);
    GpioSetFallTrigger(1);
    GpioSetFallTrigger(8);
    IoctlSetGpioFallTrig(7);
    IoctlClrGpioFallTrig(7);
    IoctlSetGpioFallTrig(8);
  });
  Gpio().DriveInput(40, false);  // bank 2 pin 8: an input after the bring-up
  Run();
  EXPECT_EQ(std::vector<int32_t>(s_alResults, s_alResults + 6), (std::vector<int32_t>{0, 0, 0, -1, -1, 0}));
  EXPECT_EQ(s_aulLevels[0], 0u);
  EXPECT_EQ(s_aulLevels[1], 7u) << "a refused read leaves the level alone";
  EXPECT_EQ(Traced(kGpioFirst, kGpioLast), (std::vector<Access>{{true, 0x01E26018u, 0x80000000u},
                                                                 {true, 0x01E26040u, 0x00000001u},
                                                                 {true, 0x01E26094u, 0x80000000u},
                                                                 {true, 0x01E2602Cu, 0x002u},
                                                                 {true, 0x01E2602Cu, 0x100u},
                                                                 {true, 0x01E2602Cu, 0x080u},
                                                                 {true, 0x01E26030u, 0x080u}}));
  EXPECT_EQ(Gpio().FallTrigger(0), 0x102u);
}

}  // namespace
