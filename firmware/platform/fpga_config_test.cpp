// The FPGA configuration on the virtual board: the load from flash at
// start-up, the bits on the lines, the failures (no status, no done, no
// bitstream) and the bound on the byte count.
#include "firmware/platform/fpga_config.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "firmware/platform/board_test_rig.h"
#include "firmware/platform/fpga_regs.h"
#include "firmware/platform/gpio.h"
#include "tools/images/fpga_bitstream.h"

namespace {

using boardrig::Access;
using testsupport::Ms;

constexpr PhysAddr kSetData = 0x01E26018u;
constexpr PhysAddr kClearData = 0x01E2601Cu;
constexpr uint32_t kFlashOffset = FPGA_IMAGE_COUNT_ADDR - 0x60000000u;
constexpr uint32_t kReadyPin = 12;

const std::vector<std::string> kResultLines = {"error1\n", "error2\n", "error3\n", "fpga error\n", "fpga ok\n"};

class FpgaConfig : public boardrig::BoardTest {
 protected:
  // Boots with the region in flash (none: erased) and the trace on from the
  // first access.
  sim::Machine& BootWithFlash(const images::Bytes* region, std::function<void()> body = [] {}) {
    sim::Machine& m = BootWith(std::move(body));
    if (region != nullptr) Flash().LoadImage(kFlashOffset, region->data(), static_cast<uint32_t>(region->size()));
    ConfigPort().PowerOnUnconfigured();
    Trace().Start();
    return m;
  }
  int32_t StartupResult() { return IoctlResult(g_FpgaConfigBlock[3]); }
  // The writes of the configuration lines after the bring-up's own (its
  // last write enables the bank-0 interrupt), or all when the trace started
  // later.
  std::vector<sim::BusAccess> LineWrites() {
    std::vector<sim::BusAccess> out;
    for (const sim::BusAccess& a : Trace().Accesses()) {
      if (a.bWrite && a.addr == 0x01E26008u) out.clear();
      if (a.bWrite && (a.addr == kSetData || a.addr == kClearData)) out.push_back(a);
    }
    return out;
  }
  // The data bit at each rising clock edge the firmware made.
  std::vector<int> BitsClocked() {
    std::vector<int> bits;
    int data = -1;
    for (const sim::BusAccess& a : LineWrites()) {
      if ((a.value & FPGA_CFG_DATA) != 0) data = a.addr == kSetData ? 1 : 0;
      if (a.addr == kSetData && (a.value & FPGA_CFG_CLOCK) != 0) bits.push_back(data);
    }
    return bits;
  }
  // When `text` was logged first after `after` (or at all).
  sim::Nanos LoggedAt(const std::string& text, const std::string& after = "") {
    const size_t from = after.empty() ? 0 : m_machine->FindLog(after);
    const size_t i = from == sim::Machine::npos ? from : m_machine->FindLog(text, from);
    return i == sim::Machine::npos ? 0 : m_machine->Log()[i].at;
  }
};

TEST_F(FpgaConfig, TheStartUpLoadsTheBitstreamFromFlashAndTheDriverReadsTheConfiguredFpga) {
  const images::Bytes bitstream = images::BuildFpgaBitstream(images::kFpgaDefaultBytes, 9);
  const images::Bytes region = images::BuildFpgaRegion(bitstream);
  static uint16_t s_usVersion;
  BootWithFlash(&region, [] {
    g_FpgaMain.ReadRaw(FPGA_VERSION, &s_usVersion);
    g_FpgaMain.EnableCounter(0, 0);
  });
  Run();
  EXPECT_EQ(StartupResult(), 0);
  EXPECT_EQ(LoggedAmong({"fpga config start\n", "size:4096\n", "fpga_addr:602e0004\n", "fpga_data:66\n", "fpga ok\n",
                         "fpga error\n"}),
            (std::vector<std::string>{"fpga config start\n", "size:4096\n", "fpga_addr:602e0004\n", "fpga_data:66\n",
                                      "fpga_addr:602e0004\n", "fpga ok\n"}));
  EXPECT_EQ(ConfigPort().Configurations(), 1u);
  EXPECT_EQ(ConfigPort().Received(), bitstream);
  EXPECT_EQ(BitsClocked().size(), 8 * bitstream.size() + 1) << "every bit and one extra clock";
  EXPECT_EQ(s_usVersion, 9u);

  // GP0[12] rises 5 ms after the last clock.
  const std::vector<sim::BusAccess> lines = LineWrites();
  sim::Nanos lastClock = 0;
  sim::Nanos readyRaised = 0;
  for (const sim::BusAccess& a : lines) {
    if ((a.value & FPGA_CFG_CLOCK) != 0) lastClock = a.at;
    if (a.addr == kSetData && (a.value & FPGA_CFG_READY) != 0) readyRaised = a.at;
  }
  EXPECT_GE(readyRaised, lastClock + Ms(5));
  EXPECT_LT(readyRaised, lastClock + Ms(6));
  EXPECT_TRUE(Gpio().PinLevel(kReadyPin));

  // The objects built after the configuration use it: the encoder slits
  // start every counter through the shadow read from the FPGA, and the
  // microsecond counter runs.
  EXPECT_EQ(Fpga().Register(sim::FpgaMainBlock::kCntEnable), 0x00u);
  EXPECT_EQ(Fpga().Register(sim::FpgaMainBlock::kTimerCtrl) & 1u, 1u);
}

TEST_F(FpgaConfig, OneByteGoesOutLeastSignificantBitFirstWithOneExtraClock) {
  static IoctlWord s_aBlock[IOCTL_FPGA_CONFIG_WORDS + 1];
  static int32_t s_lResult;
  static sim::Nanos s_start, s_end;
  BootWith([] {
    s_aBlock[0] = 1;  // one byte, from the block
    s_aBlock[2] = 0;
    IoctlBlockBytes(s_aBlock, IOCTL_FPGA_CONFIG_WORDS)[0] = 0xA5;
    sim::Board::Current().GetBus().Trace().Start();
    s_start = sim::Board::Current().Clock().Now();
    s_lResult = IoctlConfigFpga(s_aBlock);
    s_end = sim::Board::Current().Clock().Now();
  });
  Run(boardrig::kLongRunLimit);
  EXPECT_EQ(s_lResult, -2);
  EXPECT_EQ(IoctlResult(s_aBlock[3]), -2);
  const std::vector<int> bits = BitsClocked();
  ASSERT_EQ(bits.size(), 9u);
  EXPECT_EQ(std::vector<int>(bits.begin(), bits.begin() + 8), (std::vector<int>{1, 0, 1, 0, 0, 1, 0, 1}));
  EXPECT_EQ(ConfigPort().Received(), std::vector<uint8_t>{0xA5});
  // (The first "fpga error" is the start-up's: its flash is erased.)
  EXPECT_EQ(LoggedAmong({"size:1\n", "error2\n", "fpga error\n", "fpga ok\n"}),
            (std::vector<std::string>{"fpga error\n", "size:1\n", "error2\n", "fpga error\n"}));
  // One deadline, from the size line: about 5 s.
  EXPECT_NEAR(static_cast<double>(LoggedAt("fpga error\n", "size:1\n") - LoggedAt("size:1\n")),
              static_cast<double>(Ms(5000)), static_cast<double>(Ms(2)));
  EXPECT_LT(s_end - s_start, Ms(5010));
}

TEST_F(FpgaConfig, AnFpgaThatNeverTakesDataFailsAfterTheDeadlineWithoutAClock) {
  const images::Bytes region = images::BuildFpgaRegion(images::BuildFpgaBitstream());
  sim::Machine& m = BootWithFlash(&region);
  ConfigPort().FailStatus(true);
  Run(boardrig::kLongRunLimit);
  EXPECT_EQ(StartupResult(), -1);
  EXPECT_EQ(LoggedAmong(kResultLines), (std::vector<std::string>{"error1\n", "fpga error\n"}));
  EXPECT_TRUE(BitsClocked().empty());
  EXPECT_NEAR(static_cast<double>(LoggedAt("fpga error\n") - LoggedAt("size:4096\n")), static_cast<double>(Ms(5000)),
              static_cast<double>(Ms(2)));
  EXPECT_FALSE(Fpga().Configured());
  EXPECT_TRUE(m.Logged("APP Task is active.\n")) << "the start-up goes on";
}

TEST_F(FpgaConfig, ABitstreamNeverAcceptedFailsAndLeavesTheReadyLineLow) {
  const images::Bytes region = images::BuildFpgaRegion(images::BuildFpgaBitstream());
  BootWithFlash(&region);
  ConfigPort().FailDone(true);
  Run(boardrig::kLongRunLimit);
  EXPECT_EQ(StartupResult(), -2);
  EXPECT_EQ(LoggedAmong(kResultLines), (std::vector<std::string>{"error2\n", "fpga error\n"}));
  EXPECT_EQ(BitsClocked().size(), 8 * images::kFpgaDefaultBytes + 1);
  EXPECT_FALSE(Gpio().PinLevel(kReadyPin));
  EXPECT_FALSE(Fpga().Configured());
}

// An erased count word (0xFFFFFFFF), or any count larger than the bitstream
// area holds, is refused before a line moves; the FPGA keeps what the boot
// stage loaded.
TEST_F(FpgaConfig, ACountThatDoesNotFitTheBitstreamAreaIsRefusedBeforeAnyLineMoves) {
  static int32_t s_alResults[3];
  BootWith([] {
    const uint32_t aulCounts[3] = {0, FPGA_IMAGE_MAX_BYTES + 1, 0x00400000u};
    for (uint32_t i = 0; i < 3; ++i) {
      IoctlWord aBlock[IOCTL_FPGA_CONFIG_WORDS] = {aulCounts[i], FPGA_IMAGE_ADDR, 1, 0};
      s_alResults[i] = IoctlConfigFpga(aBlock);
    }
  });
  Trace().Start();
  Run();
  EXPECT_EQ(StartupResult(), -3) << "erased flash";
  EXPECT_EQ(std::vector<int32_t>(s_alResults, s_alResults + 3), (std::vector<int32_t>{-3, -3, -3}));
  EXPECT_TRUE(m_machine->Logged("fpga size error:ffffffff\n"));
  EXPECT_EQ(LoggedAmong({"fpga config start\n", "error3\n", "fpga error\n"}),
            (std::vector<std::string>{"fpga error\n", "fpga config start\n", "error3\n", "fpga error\n",
                                      "fpga config start\n", "error3\n", "fpga error\n", "fpga config start\n",
                                      "error3\n", "fpga error\n"}));
  EXPECT_TRUE(LineWrites().empty());
  EXPECT_TRUE(Fpga().Configured());
  EXPECT_EQ(ConfigPort().Configurations(), 0u);
}

}  // namespace
