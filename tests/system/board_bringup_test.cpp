// A whole printer's early start-up: board set-up by PCB revision and the
// FPGA's configuration from the bitstream in its flash, from a fresh state
// directory as printer-sim makes it, and with a bitstream the FPGA refuses.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "firmware/hal/hw.h"
#include "firmware/hal/kernel.h"
#include "firmware/platform/fpga_regs.h"
#include "sim/fpga/fpga_config_port.h"
#include "sim/fpga/fpga_main_block.h"
#include "sim/soc/emif.h"
#include "sim/soc/gpio.h"
#include "tests/support/machine_test.h"
#include "tools/images/flash_map.h"
#include "tools/images/fpga_bitstream.h"

namespace {

using testsupport::MachineTest;
using testsupport::Ms;

constexpr sim::Nanos kLimit = 9000 * sim::kNsPerMs;

images::Bytes ReadFile(const std::string& path) {
  images::Bytes bytes;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    int c = 0;
    while ((c = std::fgetc(f)) != EOF) bytes.push_back(static_cast<uint8_t>(c));
    std::fclose(f);
  }
  return bytes;
}

// The indexes of the texts in the log, in the order given; npos for one not
// found after the one before.
std::vector<size_t> LoggedInOrder(const sim::Machine& m, const std::vector<std::string>& texts) {
  std::vector<size_t> at;
  size_t from = 0;
  for (const std::string& t : texts) {
    const size_t i = m.FindLog(t, from);
    at.push_back(i);
    if (i == sim::Machine::npos) break;
    from = i + 1;
  }
  return at;
}

uint16_t g_usPcbRegister;

void ReadTheFpgaAndStop() {
  g_FpgaMain.Read(FPGA_PCB_REV, &g_usPcbRegister);
  syslog(LOG_EMERG, "[test] read");
  for (;;) CpuRelax();
}

class BoardStartUp : public MachineTest {
 protected:
  sim::Machine& BootPrinter(const std::string& dir, uint32_t pcbRevision) {
    sim::MachineOptions options;
    options.stateDir = dir;
    options.pcbRevision = pcbRevision;
    options.appEntry = ReadTheFpgaAndStop;
    // The FPGA comes up with what the boot stage loaded (the PCB revision
    // reads from it); the firmware's start pulse drops that and loads the
    // bitstream again.
    return Boot(std::move(options));
  }
  void RunToTheApplication() {
    ASSERT_EQ(m_machine->RunUntil([&] { return m_machine->Logged("[test] read"); }, kLimit),
              sim::RunResult::ConditionMet);
  }
};

TEST_F(BoardStartUp, AFreshPrinterSetsItsBoardUpAndConfiguresItsFpgaFromItsOwnFlash) {
  const std::string dir = testsupport::MakeTempDir();
  sim::Machine& m = BootPrinter(dir, 0);
  RunToTheApplication();

  // The state directory's new flash is erased but for the bitstream.
  const images::Bytes flash = ReadFile(dir + "/flash.bin");
  ASSERT_EQ(flash.size(), images::kFlashBytes);
  const uint32_t count = images::GetU32LE(flash, images::kFpgaOffset);
  ASSERT_EQ(count, images::kFpgaDefaultBytes);
  const auto first = flash.begin() + images::kFpgaOffset + 4;
  EXPECT_TRUE(images::CheckFpgaBitstream(images::Bytes(first, first + count)));
  EXPECT_EQ(flash[0], 0xFF);
  EXPECT_EQ(flash[images::kFpgaOffset + 4 + count], 0xFF);

  const std::vector<size_t> at =
      LoggedInOrder(m, {"Main PCB Rev. = 0", "M_SYSCFG0_REG_PINMUX0  (88888888)", "M_REG_GPIO_DIR01  (7fcfc1fe)",
                        "M_REG_GPIO_DIR8   (ffff03ff)", "fpga config start\n", "size:4096\n", "fpga ok\n",
                        "APP Task is active.\n"});
  ASSERT_EQ(at.size(), 8u);
  EXPECT_NE(at.back(), sim::Machine::npos);
  EXPECT_FALSE(m.Logged("fpga error\n"));

  sim::Board& board = m.GetBoard();
  EXPECT_EQ(board.FindDevice<sim::FpgaConfigPort>()->Configurations(), 1u);
  EXPECT_TRUE(board.FindDevice<sim::FpgaMainBlock>()->Configured());
  EXPECT_EQ(g_usPcbRegister, 0u);
  EXPECT_EQ(board.FindDevice<sim::ExternalMemoryInterface>()->ChipSelectConfig(4), 0x44902889u);
  EXPECT_TRUE(board.FindDevice<sim::GpioController>()->PinLevel(12)) << "raised after the configuration";
  EXPECT_EQ(board.FindDevice<sim::FpgaMainBlock>()->Register(sim::FpgaMainBlock::kTimerCtrl) & 1u, 1u)
      << "the microsecond counter runs";
}

TEST_F(BoardStartUp, ANonZeroRevisionTakesTheSecondColumn) {
  sim::Machine& m = BootPrinter(testsupport::MakeTempDir(), 3);
  RunToTheApplication();
  const std::vector<size_t> at =
      LoggedInOrder(m, {"Main PCB Rev. = 3", "M_SYSCFG0_REG_PINMUX2  (44444448)", "M_SYSCFG0_REG_PINMUX13 (88888888)",
                        "M_REG_GPIO_DIR01  (000fc1fe)", "M_REG_GPIO_DIR67  (00ff003f)", "M_REG_GPIO_DIR8   (ffff0301)",
                        "fpga ok\n"});
  ASSERT_EQ(at.size(), 7u);
  EXPECT_NE(at.back(), sim::Machine::npos);
  EXPECT_EQ(g_usPcbRegister, 3u);
}

// The FPGA refuses a damaged bitstream: the start-up logs the failure and
// goes on; the register block then reads the idle bus.
TEST_F(BoardStartUp, ABitstreamTheFpgaRefusesIsLoggedAndTheStartUpGoesOn) {
  const std::string dir = testsupport::MakeTempDir();
  images::Bytes flash(images::kFlashBytes, 0xFF);
  images::Bytes bitstream = images::BuildFpgaBitstream();
  bitstream[2000] ^= 0x10;
  images::PutBytes(flash, images::kFpgaOffset, images::BuildFpgaRegion(bitstream));
  FILE* f = std::fopen((dir + "/flash.bin").c_str(), "wb");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(std::fwrite(flash.data(), 1, flash.size(), f), flash.size());
  std::fclose(f);

  sim::Machine& m = BootPrinter(dir, 0);
  RunToTheApplication();
  const std::vector<size_t> at = LoggedInOrder(m, {"size:4096\n", "error2\n", "fpga error\n", "APP Task is active.\n"});
  ASSERT_EQ(at.size(), 4u);
  EXPECT_NE(at.back(), sim::Machine::npos);
  EXPECT_FALSE(m.GetBoard().FindDevice<sim::FpgaMainBlock>()->Configured());
  EXPECT_EQ(g_usPcbRegister, sim::FpgaMainBlock::kIdleValue);
  EXPECT_FALSE(m.GetBoard().FindDevice<sim::GpioController>()->PinLevel(12));
}

}  // namespace
