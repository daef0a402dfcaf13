// The NOR flash on the virtual board, driven by firmware code through the
// bus: busy times pass in board time while the firmware polls the status,
// what is programmed lands in the state directory's flash.bin, and a power
// cut armed on the board's supply ends the boot with the file as the part
// left it.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "firmware/hal/hw.h"
#include "firmware/hal/kernel.h"
#include "sim/board.h"
#include "sim/memory/board_power.h"
#include "sim/memory/nor_flash.h"
#include "tests/support/forked_boots.h"
#include "tests/support/machine_test.h"

namespace {

using testsupport::MachineTest;
using testsupport::Ms;

constexpr PhysAddr kFlash = 0x60000000u;
constexpr PhysAddr kHistory0 = 0x607F4000u;
constexpr PhysAddr kHistory1 = 0x607F6000u;
// An 8 KB sector nobody uses.
constexpr PhysAddr kSpareSector = 0x607FA000u;

void Unlock() {
  HwWrite16(kFlash + 0x0AAA, 0xAAAA);
  HwWrite16(kFlash + 0x0554, 0x5555);
}

// Polls until DQ6 stops toggling; returns the status of the last read when
// DQ5 reported a time-out, else 0.
uint16_t WaitReady(PhysAddr addr) {
  for (;;) {
    const uint16_t a = HwRead16(addr);
    const uint16_t b = HwRead16(addr);
    if (((a ^ b) & 0x40) == 0) return 0;
    if ((b & 0x20) != 0) {
      const uint16_t c = HwRead16(addr);
      const uint16_t d = HwRead16(addr);
      if (((c ^ d) & 0x40) != 0) return d;
    }
  }
}

uint16_t Program(PhysAddr addr, uint16_t value) {
  Unlock();
  HwWrite16(kFlash + 0x0AAA, 0xA0A0);
  HwWrite16(addr, value);
  return WaitReady(addr);
}

void Erase(PhysAddr addr) {
  Unlock();
  HwWrite16(kFlash + 0x0AAA, 0x8080);
  Unlock();
  HwWrite16(addr, 0x3030);
  WaitReady(addr);
}

sim::Nanos Now() { return sim::Board::Current().Clock().Now(); }

struct Timings {
  sim::Nanos eraseNs;
  sim::Nanos programNs;
  uint16_t usFailStatus;
  uint16_t usAfterReset;
};
Timings g_timings;

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST_F(MachineTest, FirmwarePollsTheFlashWhileBoardTimePasses) {
  const std::string dir = testsupport::MakeTempDir();
  sim::MachineOptions options;
  options.stateDir = dir;
  options.appEntry = [] {
    Program(kHistory0 + 0x10, 0x0000);  // something for the erase to clear
    sim::Nanos start = Now();
    Erase(kHistory0);
    g_timings.eraseNs = Now() - start;
    start = Now();
    Program(kHistory0, 0x0001);
    g_timings.programNs = Now() - start;
    g_timings.usFailStatus = Program(kHistory0, 0x0101);  // would set bit 8
    HwWrite16(kFlash + 0x0AAA, 0xF0F0);
    g_timings.usAfterReset = HwRead16(kHistory0);
    syslog(LOG_EMERG, "[test] flash done");
    for (;;) CpuRelax();
  };
  sim::Machine& m = Boot(std::move(options));
  ASSERT_EQ(m.RunUntil([&] { return m.Logged("[test] flash done"); }, Ms(10000)), sim::RunResult::ConditionMet);

  EXPECT_GE(g_timings.eraseNs, Ms(500));
  EXPECT_LT(g_timings.eraseNs, Ms(510)) << "the USB task's passes come on top";
  EXPECT_GE(g_timings.programNs, 9 * sim::kNsPerUs);
  EXPECT_LT(g_timings.programNs, 20 * sim::kNsPerUs);
  EXPECT_EQ(g_timings.usFailStatus & 0x20, 0x20) << "DQ5: the attempt to set a bit timed out";
  EXPECT_EQ(g_timings.usAfterReset, 0x0001);
  const std::vector<uint8_t> file = ReadFile(dir + "/flash.bin");
  ASSERT_EQ(file.size(), 0x800000u);
  EXPECT_EQ(file[0x7F4000], 0x01);
  EXPECT_EQ(file[0x7F4001], 0x00);
  EXPECT_EQ(file[0x7F4010], 0xFF);
}

// Boot 1 programs five words with the power failing in the third; boot 2
// finds the first two programmed and the rest erased.
TEST(FlashPowerCut, TheNextBootFindsWhatThePartHadDone) {
  testsupport::ForkedBoots boots;
  const std::vector<int> codes = boots.Run(2, [](int index, sim::MachineOptions options) {
    static uint16_t s_words[5];
    if (index == 0) {
      options.appEntry = [] {
        // Counted from here: the start-up writes its own cells first.
        sim::BoardPower::Of(sim::Board::Current()).CutAfterWrites(2);
        for (PhysAddr i = 0; i < 5; ++i) Program(kSpareSector + 2 * i, static_cast<uint16_t>(0x1111 * (i + 1)));
        syslog(LOG_EMERG, "[test] all programmed");
        for (;;) CpuRelax();
      };
    } else {
      options.appEntry = [] {
        for (PhysAddr i = 0; i < 5; ++i) s_words[i] = HwRead16(kSpareSector + 2 * i);
        syslog(LOG_EMERG, "[test] read back");
        for (;;) CpuRelax();
      };
    }
    sim::Machine m(options);
    if (index == 0) {
      const sim::RunResult result = m.RunUntil([&] { return m.Logged("[test] all programmed"); }, Ms(10000));
      const bool bCut = result == sim::RunResult::Reset && m.Console().find("[board] power cut") != std::string::npos;
      return bCut && m.UnexpectedFaults().empty() ? 0 : 1;
    }
    if (m.RunUntil([&] { return m.Logged("[test] read back"); }, Ms(10000)) != sim::RunResult::ConditionMet) return 2;
    const uint16_t expected[5] = {0x1111, 0x2222, 0xFFFF, 0xFFFF, 0xFFFF};
    for (int i = 0; i < 5; ++i) {
      if (s_words[i] != expected[i]) return 10 + i;
    }
    return 0;
  });
  EXPECT_EQ(codes, (std::vector<int>{0, 0}));
}

}  // namespace
