// I/O ports on the virtual board: the registries, debounced and stable
// reads on the FPGA's input words and the GPIO data registers, output
// fields, the refresh of the cached values, and the start-up initialisers.
#include "firmware/devices/io_port.h"
#include "firmware/hal/global.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "firmware/platform/board_test_rig.h"
#include "firmware/platform/time_base.h"
#include "sim/costs.h"

namespace {

using boardrig::Access;

constexpr uint32_t kIn0 = 0x64000000u;
constexpr uint32_t kIn1 = 0x64000002u;
constexpr uint32_t kIn2 = 0x64000004u;
constexpr uint32_t kGpioIn23 = 0x01E26048u;
constexpr uint32_t kGpioOut67 = 0x01E2608Cu;

// ---- the registry on its own -----------------------------------------------------------

TEST(PortRegTable, RegistersFillFromTheStartAndAKnownRegisterWidensItsMask) {
  CPortRegTable table;
  uint32_t ulIndex = 99;
  EXPECT_EQ(table.Register(0x100, 0x01, &ulIndex), 0);
  EXPECT_EQ(ulIndex, 0u);
  EXPECT_EQ(table.Register(0x200, 0x10, &ulIndex), 0);
  EXPECT_EQ(ulIndex, 1u);
  EXPECT_EQ(table.Register(0x100, 0x06, &ulIndex), 0);
  EXPECT_EQ(ulIndex, 0u);
  EXPECT_EQ(table.MaskAt(0), 0x07u);
  for (uint32_t r = 2; r < CPortRegTable::kEntries; ++r) EXPECT_EQ(table.Register(0x100 * (r + 1), 1, &ulIndex), 0);
  EXPECT_EQ(ulIndex, 15u);
  ulIndex = 99;
  EXPECT_EQ(table.Register(0x9999, 1, &ulIndex), -1) << "a 17th register";
  EXPECT_EQ(ulIndex, 99u);
  EXPECT_EQ(table.Register(0x200, 0x20, &ulIndex), 0) << "a known one still widens";
  EXPECT_EQ(ulIndex, 1u);
  uint32_t ulValue = 5;
  EXPECT_EQ(table.ReadCachedBits(CPortRegTable::kNoEntry, 1, 16, &ulValue), -1);
  EXPECT_EQ(table.SetBits(CPortRegTable::kNoEntry, 1, 16), -1);
  EXPECT_EQ(table.WriteField(CPortRegTable::kNoEntry, 1, 1, 16), -1);
}

// ---- ports on the board ------------------------------------------------------------------

class Ports : public boardrig::BoardTest {};

TEST_F(Ports, ASteadyInputReadsItsFieldShiftedDown) {
  struct Result {
    int32_t lResult;
    uint32_t ulValue;
  };
  static Result s_aResults[5];
  BootWith([] {
    CInputPortWord bit4(kIn0, 0x0010);
    CInputPortWord empty(kIn0, 0x0000);
    CInputPortWord beyondWord(kIn0, 0x00010000u);
    CInputPortLong topByte(kGpioIn23, 0xFF000000u);
    s_aResults[0].lResult = bit4.Read(&s_aResults[0].ulValue);
    boardrig::BoardFpga().SetInputWord(0, 0xFFEF);
    s_aResults[1].lResult = bit4.Read(&s_aResults[1].ulValue);
    s_aResults[2].lResult = empty.Read(&s_aResults[2].ulValue);
    s_aResults[3].lResult = beyondWord.ReadStable(&s_aResults[3].ulValue);
    s_aResults[4].lResult = topByte.ReadStable(&s_aResults[4].ulValue);
  });
  Fpga().SetInputWord(0, 0x0010);
  // Bank 3 pins 8-15 (board pins 56-63): 0xA5 on the top byte.
  for (uint32_t bit = 0; bit < 8; ++bit) Gpio().DriveInput(56 + bit, ((0xA5u >> bit) & 1u) != 0);
  Run();
  const Result expected[5] = {{0, 1}, {0, 0}, {-2, 0}, {-2, 0}, {0, 0xA5}};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(s_aResults[i].lResult, expected[i].lResult) << i;
    EXPECT_EQ(s_aResults[i].ulValue, expected[i].ulValue) << i;
  }
}

TEST_F(Ports, AnInputChangingBetweenSamplesIsUnstableAndAStableReadWaitsForItToSettle) {
  static int32_t s_lUnstable, s_lStable;
  static uint32_t s_ulUnstable, s_ulStable, s_ulReads;
  static uint32_t s_ulReadsNow;
  BootWith([] {
    CInputPortWord bits(kIn1, 0x0300);
    s_lUnstable = bits.Read(&s_ulUnstable);
    s_ulReads = s_ulReadsNow;
    s_lStable = bits.ReadStable(&s_ulStable);
    s_ulReads = s_ulReadsNow - s_ulReads;
  });
  // Bounces for 13 reads, then settles at 0x0200.
  Fpga().SetInputSource(1, [] {
    ++s_ulReadsNow;
    return static_cast<uint16_t>(s_ulReadsNow < 13 ? (s_ulReadsNow & 1u ? 0x0100 : 0x0200) : 0x0200);
  });
  Run();
  EXPECT_EQ(s_lUnstable, 1);
  EXPECT_EQ(s_ulUnstable, 0x0100u) << "the first sample, masked, unshifted";
  EXPECT_EQ(s_lStable, 0);
  EXPECT_EQ(s_ulStable, 2u);
  EXPECT_GE(s_ulReads, 5u);
}

// The samples of one reading are spaced by a clock reading each, also with
// a spacing of 0 ticks: only the first two follow each other directly.
TEST_F(Ports, EverySampleAfterTheSecondWaitsItsSpacing) {
  static int32_t s_lResult;
  static uint32_t s_ulValue;
  static std::vector<sim::Nanos> s_sampled;
  BootWith([] {
    CInputPortWord bit(kIn2, 0x0004);
    s_sampled.clear();
    s_lResult = bit.Read(&s_ulValue);
  });
  Fpga().SetInputSource(2, [] {
    s_sampled.push_back(sim::Board::Current().Clock().Now());
    return static_cast<uint16_t>(0x0004);
  });
  Run();
  EXPECT_EQ(s_lResult, 0);
  EXPECT_EQ(s_ulValue, 1u);
  ASSERT_EQ(s_sampled.size(), 5u);
  const sim::Nanos direct = s_sampled[1] - s_sampled[0];
  for (size_t i = 2; i < s_sampled.size(); ++i) {
    EXPECT_GE(s_sampled[i] - s_sampled[i - 1], direct + sim::cost::kClockRead) << "no clock reading between samples " << i << " and "
                                                              << i + 1;
  }
}

// An input that never settles ends a stable read with -1: the error time is
// 0 ticks, so the first unstable reading that ends in a later millisecond
// than the one before it in the same millisecond began is an error.
TEST_F(Ports, AStableReadOfAnInputThatNeverSettlesEndsWithAnError) {
  static int32_t s_lResult;
  static sim::Nanos s_took;
  BootWith([] {
    CInputPortWord bit(kIn2, 0x0001);
    // Where a tick falls within a reading decides at which millisecond
    // boundary the error shows; the read starts at the start of a
    // millisecond, wherever the boot left the clock.
    const uint32_t ulMs = g_MsTimer.NowMs();
    while (g_MsTimer.NowMs() == ulMs) CpuRelax();
    const sim::Nanos start = sim::Board::Current().Clock().Now();
    uint32_t ulValue = 0;
    s_lResult = bit.ReadStable(&ulValue);
    s_took = sim::Board::Current().Clock().Now() - start;
  });
  static uint16_t s_usToggle;
  Fpga().SetInputSource(2, [] { return s_usToggle ^= 1; });
  Run();
  EXPECT_EQ(s_lResult, -1);
  EXPECT_LT(s_took, testsupport::Ms(2));
}

TEST_F(Ports, OutputsChangeOnlyTheirFieldAndAnEmptyMaskWritesNothing) {
  static int32_t s_alResults[4];
  BootWith([] {
    HwWrite32(kGpioOut67, 0x00C3C3C3u);
    COutputPortLong lcdData(kGpioOut67, 0xFF000000u);
    COutputPortLong led(kGpioOut67, 0x00000100u);
    COutputPortLong none(kGpioOut67, 0);
    COutputPortWord exitLed(0x64000036u, 0x0800);
    sim::Board::Current().GetBus().Trace().Start();
    s_alResults[0] = lcdData.Write(0x5A);
    s_alResults[1] = led.Clear();
    s_alResults[2] = none.Write(0x1);
    s_alResults[3] = exitLed.Set();
    led.Set();
  });
  Run();
  EXPECT_EQ(std::vector<int32_t>(s_alResults, s_alResults + 4), (std::vector<int32_t>{0, 0, -1, 0}));
  EXPECT_EQ(Gpio().OutputLatch(3), 0x5AC3C3C3u);
  EXPECT_EQ(Traced(kGpioOut67, kGpioOut67), (std::vector<Access>{{true, kGpioOut67, 0x5AC3C3C3u},
                                                                 {true, kGpioOut67, 0x5AC3C2C3u},
                                                                 {true, kGpioOut67, 0x5AC3C3C3u}}));
  EXPECT_EQ(Fpga().Register(0x36), 0x0800u);
}

// A port whose registration failed (a 17th register) must not reach the
// register of entry 0: its operations are refused.
TEST_F(Ports, APortBeyondTheRegistryCapacityIsRefusedRatherThanWritingAnotherRegister) {
  static int32_t s_alResults[4];
  static bool s_bRegistered;
  BootWith([] {
    for (uint32_t r = 0; r < CPortRegTable::kEntries; ++r) {
      COutputPortLong(0xC0001000u + 4 * r, 1);
      CInputPortLong(0xC0001000u + 4 * r, 1);
    }
    COutputPortLong extra(0xC0002000u, 0x2);
    CInputPortLong extraIn(0xC0002000u, 0x2);
    s_bRegistered = extra.Registered() || extraIn.Registered();
    s_alResults[0] = extra.Set();
    s_alResults[1] = extra.Clear();
    s_alResults[2] = extra.Write(1);
    uint32_t ulValue = 0;
    s_alResults[3] = extraIn.ReadCached(&ulValue);
  });
  Run();
  EXPECT_FALSE(s_bRegistered);
  EXPECT_EQ(std::vector<int32_t>(s_alResults, s_alResults + 4), (std::vector<int32_t>{-1, -1, -1, -1}));
  for (const uint32_t addr : {0xC0001000u, 0xC0002000u}) {
    const uint8_t* pucRegister = TheBoard().GetBus().RamPointer(addr, 4);
    ASSERT_NE(pucRegister, nullptr);
    uint32_t ulValue = 1;
    std::memcpy(&ulValue, pucRegister, 4);
    EXPECT_EQ(ulValue, 0u) << std::hex << addr << ": untouched";
  }
}

TEST_F(Ports, ARefreshCachesEachRegisterUntilOneNeverSettlesAndTheInitialisersClearTheCaches) {
  static int32_t s_alResults[3];
  static uint32_t s_aulCached[3];
  static size_t s_readsOfEmpty;
  BootWith([] {
    // An empty 16-bit input registry (the machine's own ports are dropped):
    // nothing is read.
    hal::ConstructGlobal(g_PortRegTableInWord);
    sim::BusTrace& trace = sim::Board::Current().GetBus().Trace();
    trace.Start();
    CInputPortWord unregistered;
    s_alResults[0] = unregistered.RefreshAll();
    s_readsOfEmpty = trace.Accesses().size();
    trace.Stop();

    CInputPortWord in0(kIn0, 0x00F0);
    CInputPortWord in1(kIn1, 0x0001);
    CInputPortWord in2(kIn2, 0x0001);
    s_alResults[1] = in0.RefreshAll();
    in0.ReadCached(&s_aulCached[0]);
    s_aulCached[1] = g_PortRegTableInWord.CachedAt(1);
    s_aulCached[2] = g_PortRegTableInWord.CachedAt(2);
    ClearInputPortCacheWord();
    uint32_t ulAfterClear = 1;
    in0.ReadCached(&ulAfterClear);
    s_alResults[2] = static_cast<int32_t>(ulAfterClear);
  });
  Fpga().SetInputWord(0, 0x1234);
  static uint16_t s_usBounce;
  Fpga().SetInputSource(1, [] { return ++s_usBounce; });
  Fpga().SetInputWord(2, 0x5555);
  Run();
  EXPECT_EQ(s_alResults[0], 0);
  EXPECT_EQ(s_readsOfEmpty, 0u);
  EXPECT_EQ(s_alResults[1], -1) << "the second register never settled";
  EXPECT_EQ(s_aulCached[0], 0x3u);
  EXPECT_EQ(s_aulCached[1], 0u);
  EXPECT_EQ(s_aulCached[2], 0u) << "entries after it are not refreshed";
  EXPECT_EQ(s_alResults[2], 0);
}

}  // namespace
