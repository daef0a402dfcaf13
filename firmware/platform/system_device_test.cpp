// The system-device call on the virtual board: the address windows and the
// direct-access wrappers, the write batch, the block codes, the DSP boot
// block, the plain flash codes, undefined codes and the wrappers' ranges.
// Each test boots one machine whose application runs the calls.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "firmware/hal/board.h"
#include "firmware/hal/hw.h"
#include "firmware/hal/kernel.h"
#include "firmware/platform/address_windows.h"
#include "firmware/platform/ioctl.h"
#include "firmware/platform/sftprn.h"
#include "firmware/platform/usb_driver.h"
#include "sim/board.h"
#include "sim/mechanism/stepper_drivers.h"
#include "sim/memory/nor_flash.h"
#include "tests/support/machine_test.h"

namespace {

using testsupport::Ms;

// ---- A probe on the bus: records every access, answers a pattern ------------------

struct ProbeAccess {
  bool bWrite;
  uint32_t offset;
  uint32_t width;
  uint32_t value;
  bool operator==(const ProbeAccess&) const = default;
};

class Probe : public sim::DeviceModel, public sim::BusDevice {
 public:
  static uint32_t Pattern(uint32_t offset, uint32_t width) {
    const uint32_t value = 0xA5000000u | (offset * 0x0101u & 0xFFFFFFu);
    return width == 4 ? value : value & ((1u << (8 * width)) - 1);
  }
  uint32_t Read(uint32_t offset, uint32_t width) override {
    NoteFrame();
    accesses.push_back({false, offset, width, Pattern(offset, width)});
    return Pattern(offset, width);
  }
  void Write(uint32_t offset, uint32_t width, uint32_t value) override {
    NoteFrame();
    accesses.push_back({true, offset, width, value});
  }

  std::vector<ProbeAccess> accesses;
  uintptr_t lowestFrame = UINTPTR_MAX;

 private:
  void NoteFrame() { lowestFrame = std::min(lowestFrame, reinterpret_cast<uintptr_t>(__builtin_frame_address(0))); }
};

// The traced device accesses within [first, last], as probe records with
// full addresses.
std::vector<ProbeAccess> TracedAccesses(PhysAddr first, PhysAddr last) {
  std::vector<ProbeAccess> out;
  for (const sim::BusAccess& a : sim::Board::Current().GetBus().Trace().In(first, last)) {
    out.push_back({a.bWrite, a.addr, a.width, a.value});
  }
  return out;
}

// ---- The fixture -----------------------------------------------------------------------

class SystemDevice : public testsupport::MachineTest {
 protected:
  // Boots a machine whose application runs `body`; the test maps what it
  // needs, then Run() runs the body to its end.
  sim::Machine& BootWith(std::function<void()> body) {
    sim::MachineOptions options;
    options.appEntry = [body = std::move(body)] {
      body();
      syslog(LOG_EMERG, "[test] done");
      for (;;) CpuRelax();
    };
    return Boot(std::move(options));
  }
  void Run(sim::Nanos limit = Ms(2000)) {
    ASSERT_EQ(m_machine->RunUntil([&] { return m_machine->Logged("[test] done"); }, limit),
              sim::RunResult::ConditionMet);
  }
  // A probe over a range that no model answers yet.
  Probe& MapProbe(PhysAddr first, PhysAddr last) {
    sim::Board& board = m_machine->GetBoard();
    EXPECT_EQ(board.GetBus().Find(first, 1), nullptr) << "a model answers at " << std::hex << first
                                                      << " now: test through it instead of a probe";
    Probe& probe = board.AddDevice<Probe>();
    board.GetBus().MapDevice(first, last, sim::RegionKind::Other, &probe, "test probe");
    return probe;
  }
  sim::NorFlash& Flash() {
    sim::NorFlash* flash = m_machine->GetBoard().FindDevice<sim::NorFlash>();
    EXPECT_NE(flash, nullptr);
    return *flash;
  }
};

// The log records since index `from` whose text is `text`.
size_t CountLog(const std::string& text, size_t from) {
  const auto& log = sim::Board::Current().GetKernel().History();
  return static_cast<size_t>(
      std::count_if(log.begin() + static_cast<std::ptrdiff_t>(from), log.end(), [&](const auto& r) { return r.text == text; }));
}
size_t LogSize() { return sim::Board::Current().GetKernel().History().size(); }

uint32_t SystemTime() {
  SYSTIM now = 0;
  get_tim(&now);
  return now;
}

constexpr IoctlWord kUntouched = 0x5A5A5A5Au;

// ---- Address windows and the direct-access wrappers ---------------------------------------

struct ReadCase {
  PhysAddr addr;
  int32_t result;
  uint16_t value;  // read back when the result is 0
};

TEST_F(SystemDevice, Read16ReachesEachWindowAndAMissReturnsMinusOne) {
  static const ReadCase kCases[] = {
      {0x00800000u, 0, 0x1357},  // low RAM, reached directly
      {0x60000000u, 0, 0x2468},  // NOR flash through WIN_FLASH
      {0x607FFFFEu, 0, 0xFFFF},  // the last flash halfword (erased)
      {0xC0400000u, 0, 0x3579},  // the first SDRAM window halfword
      {0xC7FFFFFEu, 0, 0x468A},  // the last one
      {0x80013E00u, 0, 0x579B},  // DSP shared words
      {0x70000000u, -1, 0},      // no window
      {0x60800000u, -1, 0},      // just past the flash
      {0xC03FFFFEu, -1, 0},      // SDRAM below its window
      {0x80012FFEu, -1, 0},      // shared RAM below the DSP window
      {0x6400003Cu, -1, 0},      // FPGA bank 0 below the sub stepper window: only through the bank codes
      {0x6400004Eu, -1, 0},      // and just past it
      {0x01E26018u, -1, 0},      // GPIO set-data: in no window
  };
  BootWith([] {
    HwWrite16(0x00800000u, 0x1357);
    HwWrite16(0xC0400000u, 0x3579);
    HwWrite16(0xC7FFFFFEu, 0x468A);
    HwWrite16(0x80013E00u, 0x579B);
    for (const ReadCase& c : kCases) {
      SCOPED_TRACE(testing::Message() << std::hex << c.addr);
      uint16_t usValue = 0xBEEF;
      EXPECT_EQ(IoctlRead16(c.addr, &usValue), c.result);
      EXPECT_EQ(usValue, c.result == 0 ? c.value : 0xBEEF);  // a miss leaves the value alone
    }
    // The dispatcher's own answer to a miss.
    IoctlWord aw[3] = {0x70000000u, 0, 0};
    Ioctl(IOCTL_READ16, aw);
    EXPECT_EQ(IoctlResult(aw[2]), -1);
  });
  const uint8_t image[] = {0x68, 0x24};
  Flash().LoadImage(0, image, sizeof image);
  Run();
  // A miss accessed nothing: no data abort was raised (the fixture fails on one).
}

TEST_F(SystemDevice, WidthsAndWritesThroughTheWindows) {
  BootWith([] {
    EXPECT_EQ(IoctlWrite32(0xC0400010u, 0x11223344u), 0);
    uint32_t ulValue = 0;
    EXPECT_EQ(IoctlRead32(0xC0400010u, &ulValue), 0);
    EXPECT_EQ(ulValue, 0x11223344u);
    uint8_t ucValue = 0;
    EXPECT_EQ(IoctlRead8(0xC0400011u, &ucValue), 0);
    EXPECT_EQ(ucValue, 0x33);
    EXPECT_EQ(IoctlWrite16(0x80013002u, 0x8001), 0);
    EXPECT_EQ(HwRead16(0x80013002u), 0x8001);
    EXPECT_EQ(IoctlWrite8(0x00700001u, 0x7E), 0);  // direct
    EXPECT_EQ(HwRead8(0x00700001u), 0x7E);
    // An access must lie in its window as a whole.
    EXPECT_EQ(IoctlRead32(0x607FFFFEu, &ulValue), -1);
    EXPECT_EQ(IoctlWrite32(0x80013FFEu, 0), -1);
    EXPECT_EQ(IoctlWrite16(0x70000000u, 0), -1);
    EXPECT_EQ(IoctlWrite32(0x01E26018u, 0x40000000u), -1);
  });
  Run();
}

TEST_F(SystemDevice, Write8ReachesTheStepperDriverControlBytes) {
  BootWith([] {
    sim::Board::Current().GetBus().Trace().Start();
    EXPECT_EQ(IoctlWrite8(0x66000000u, 0x5A), 0);   // main stepper driver
    EXPECT_EQ(IoctlWrite8(0x6680000Fu, 0x3C), 0);   // exit stepper driver, last byte
    EXPECT_EQ(IoctlWrite16(0x6400003Eu, 0x0112), 0);  // sub stepper: FPGA register 0x3E
    EXPECT_EQ(IoctlWrite8(0x66000010u, 0x01), -1);  // just past the main window
  });
  Run();
  EXPECT_EQ(TracedAccesses(0x66000000u, 0x668000FFu),
            (std::vector<ProbeAccess>{{true, 0x66000000u, 1, 0x5A}, {true, 0x6680000Fu, 1, 0x3C}}));
  const sim::StepperDrivers& drivers = *m_machine->GetBoard().FindDevice<sim::StepperDrivers>();
  EXPECT_EQ(drivers.Control(sim::Stepper::Main), 0x5A);
  EXPECT_EQ(drivers.Control(sim::Stepper::Exit), 0x3C);
  // The FPGA's main block (bank 0) answers its register 0x3E itself; the
  // sub driver latches its low byte.
  EXPECT_EQ(TracedAccesses(0x64000000u, 0x6400FFFFu), (std::vector<ProbeAccess>{{true, 0x6400003Eu, 2, 0x0112}}));
  EXPECT_EQ(drivers.Control(sim::Stepper::Sub), 0x12);
}

TEST_F(SystemDevice, FpgaBankCodesMakeHalfwordAccessesInTheirBank) {
  using Write = int32_t (*)(uint32_t, uint16_t);
  using Read = int32_t (*)(uint32_t, uint16_t*);
  static const Write kWrites[] = {IoctlFpga0Write, IoctlFpga1Write, IoctlFpga2Write, IoctlFpga3Write};
  static const Read kReads[] = {IoctlFpga0Read, IoctlFpga1Read, IoctlFpga2Read, IoctlFpga3Read};
  static uint16_t s_ausRead[4];
  BootWith([] {
    sim::Board::Current().GetBus().Trace().Start();
    for (uint32_t bank = 0; bank < 4; ++bank) {
      EXPECT_EQ(kWrites[bank](0x40, static_cast<uint16_t>(0x1000 + bank)), 0);
      EXPECT_EQ(kReads[bank](0x42, &s_ausRead[bank]), 0);
      uint16_t usValue = 0xBEEF;
      EXPECT_EQ(kReads[bank](0x10000, &usValue), -1);  // outside the 64 KB bank
      EXPECT_EQ(usValue, 0xBEEF);
    }
  });
  // Bank 0 is the FPGA's main block; banks 1-3 are probed.
  Probe& fpga = MapProbe(0x64010000u, 0x6403FFFFu);
  Run();
  std::vector<ProbeAccess> expected;
  for (uint32_t bank = 1; bank < 4; ++bank) {
    expected.push_back({true, (bank - 1) * 0x10000 + 0x40, 2, 0x1000 + bank});
    expected.push_back({false, (bank - 1) * 0x10000 + 0x42, 2, Probe::Pattern((bank - 1) * 0x10000 + 0x42, 2)});
    EXPECT_EQ(s_ausRead[bank], Probe::Pattern((bank - 1) * 0x10000 + 0x42, 2));
  }
  EXPECT_EQ(fpga.accesses, expected);
  EXPECT_EQ(TracedAccesses(0x64000000u, 0x6400FFFFu),
            (std::vector<ProbeAccess>{{true, 0x64000040u, 2, 0x1000}, {false, 0x64000042u, 2, s_ausRead[0]}}));
}

// ---- Write batch ------------------------------------------------------------------------

// A batch block: the pairs and the end word, then untouched words.
struct Batch {
  IoctlWord aw[18];
};

Batch MakeBatch(std::initializer_list<std::pair<uint32_t, uint16_t>> pairs, bool bEnd = true) {
  Batch b;
  std::fill(std::begin(b.aw), std::end(b.aw), kUntouched);
  size_t k = 0;
  for (const auto& [addr, value] : pairs) {
    b.aw[k++] = addr;
    b.aw[k++] = value;
  }
  if (bEnd) b.aw[k] = IOCTL_LIST_END;
  return b;
}

TEST_F(SystemDevice, ABatchOfSixPairsWritesInOrderAndReturnsItsTimeStampInWord12) {
  static uint32_t s_ulBefore, s_ulAfter;
  static Batch s_erase = MakeBatch({{0x60000AAAu, 0xAAAA},
                                    {0x60000554u, 0x5555},
                                    {0x60000AAAu, 0x8080},
                                    {0x60000AAAu, 0xAAAA},
                                    {0x60000554u, 0x5555},
                                    {0x60010000u, 0x3030}});
  static const Batch s_original = s_erase;
  BootWith([] {
    s_ulBefore = SystemTime();
    EXPECT_EQ(IoctlWriteBatch(s_erase.aw), 0);
    s_ulAfter = SystemTime();
  });
  const uint16_t usOne = 0x0000;
  Flash().LoadImage(0x10000, &usOne, 2);
  Flash().SetBusyTimeScale(0.01);
  Run();
  // The six halfwords made one sector erase of the part.
  EXPECT_EQ(Flash().OperationCount(), 1u);
  EXPECT_GE(IoctlValue(s_erase.aw[12]), s_ulBefore);
  EXPECT_LE(IoctlValue(s_erase.aw[12]), s_ulAfter);
  for (size_t k = 0; k < 18; ++k) {
    if (k != 12) {
      EXPECT_EQ(s_erase.aw[k], s_original.aw[k]) << "word " << k;
    }
  }
}

struct BatchCase {
  const char* name;
  Batch batch;
  int32_t lEndWord;  // the word that takes the time stamp; -1: refused
};

TEST_F(SystemDevice, BatchesAreBoundedToSevenPairsInTheFlash) {
  static BatchCase s_cases[] = {
      {"seven pairs, a program at the end",
       MakeBatch({{0x60000000u, 0xF0F0},
                  {0x60000000u, 0xF0F0},
                  {0x60000000u, 0xF0F0},
                  {0x60000AAAu, 0xAAAA},
                  {0x60000554u, 0x5555},
                  {0x60000AAAu, 0xA0A0},
                  {0x60020000u, 0x1234}}),
       14},
      {"the end word alone", MakeBatch({}), 0},
      {"no end word within seven pairs",
       MakeBatch({{0x60000AAAu, 0xAAAA},
                  {0x60000554u, 0x5555},
                  {0x60000AAAu, 0xA0A0},
                  {0x60020002u, 0x0000},
                  {0x60000000u, 0xF0F0},
                  {0x60000000u, 0xF0F0},
                  {0x60000000u, 0xF0F0},
                  {0x60000000u, 0xF0F0}},
                 false),
       -1},
      {"an address outside the flash",
       MakeBatch({{0x60000AAAu, 0xAAAA}, {0x60000554u, 0x5555}, {0x60000AAAu, 0xA0A0}, {0x60800000u, 0x0000}}),
       -1},
  };
  static BatchCase s_original[std::size(s_cases)] = {s_cases[0], s_cases[1], s_cases[2], s_cases[3]};
  BootWith([] {
    for (BatchCase& c : s_cases) {
      SCOPED_TRACE(c.name);
      const size_t from = LogSize();
      EXPECT_EQ(IoctlWriteBatch(c.batch.aw), 0);
      EXPECT_EQ(CountLog("Ioctl: WriteBatch refused\n", from), c.lEndWord < 0 ? 1u : 0u);
    }
    BoardWaitUs(1000);  // the accepted program completes in the flash
  });
  Run();
  for (size_t i = 0; i < std::size(s_cases); ++i) {
    SCOPED_TRACE(s_cases[i].name);
    for (size_t k = 0; k < 18; ++k) {
      if (static_cast<int32_t>(k) == s_cases[i].lEndWord) {
        EXPECT_FALSE(IoctlIsListEnd(s_cases[i].batch.aw[k])) << "the time stamp replaces the end word";
      } else {
        EXPECT_EQ(s_cases[i].batch.aw[k], s_original[i].batch.aw[k]) << "word " << k;
      }
    }
  }
  // Only the accepted program reached the flash; the refused one never began.
  EXPECT_EQ(Flash().OperationCount(), 1u);
  EXPECT_EQ(Flash().PeekHalf(0x20000), 0x1234);
  EXPECT_EQ(Flash().PeekHalf(0x20002), 0xFFFF);
}

// ---- Undefined and reserved codes, configuration log -----------------------------------------

struct CodeCase {
  uint32_t code;
  const char* logged;  // the one line the call logs, or nullptr
};

TEST_F(SystemDevice, UndefinedCodesLogUndefineAndReservedCodesDoNothing) {
  static const CodeCase kCases[] = {
      {200, "Ioctl: Command=Undefine\n"}, {2, "Ioctl: Command=Undefine\n"},   {65, "Ioctl: Command=Undefine\n"},
      {148, "Ioctl: Command=Undefine\n"}, {0xFFFFFFFFu, "Ioctl: Command=Undefine\n"},
      {18, nullptr},                      {19, nullptr},
  };
  BootWith([] {
    for (const CodeCase& c : kCases) {
      SCOPED_TRACE(c.code);
      IoctlWord aw[8];
      std::fill(std::begin(aw), std::end(aw), kUntouched);
      const size_t from = LogSize();
      EXPECT_EQ(Ioctl(c.code, aw), 0);
      EXPECT_EQ(LogSize() - from, c.logged != nullptr ? 1u : 0u);
      if (c.logged != nullptr) {
        EXPECT_EQ(CountLog(c.logged, from), 1u);
        EXPECT_EQ(sim::Board::Current().GetKernel().History().back().prio, LOG_EMERG);
      }
      for (IoctlWord w : aw) EXPECT_EQ(w, kUntouched);
    }
  });
  Run();
}

TEST_F(SystemDevice, FpgaConfigurationLogsItsStartAndRefusesABitstreamPastTheFlash) {
  BootWith([] {
    const size_t from = LogSize();
    // An erased count word in front of a bitstream near the flash's end.
    IoctlWord aw[4] = {0xFFFFFFFFu, 0x602E0004u, 1, kUntouched};
    EXPECT_EQ(IoctlConfigFpga(aw), -3);
    EXPECT_EQ(CountLog("fpga config start\n", from), 1u);
  });
  Run();
}

// ---- Wrapper ranges -------------------------------------------------------------------------

TEST_F(SystemDevice, FallTriggerAndReservedWrappersPassOnlyTheirRanges) {
  BootWith([] {
    for (uint32_t n : {0u, 1u, 7u, 8u, 9u, 255u, 0xFFFFFFFFu}) {
      SCOPED_TRACE(n);
      const int32_t lExpected = n <= 7 ? 0 : -1;
      EXPECT_EQ(IoctlSetGpioFallTrig(n), lExpected);
      EXPECT_EQ(IoctlClrGpioFallTrig(n), lExpected);
      EXPECT_EQ(IoctlReserved18(n), n < 8 ? 0 : -1);
      EXPECT_EQ(IoctlReserved19(n), n < 8 ? 0 : -1);
    }
  });
  Run();
}

TEST_F(SystemDevice, UsbCodesPassTheDriversResults) {
  BootWith([] {
    EXPECT_EQ(g_hUsbDevice, USB_DRIVER_HANDLE);  // opened by InitDeviceWindows
    EXPECT_EQ(IoctlUsbRxReady(), 0);
    uint8_t aucPacket[512];
    uint16_t usLength = 0xBEEF;
    EXPECT_LT(IoctlUsbRead(aucPacket, &usLength), 0);  // no packet waits: a failure, not success
    EXPECT_EQ(usLength, 0);
    uint32_t ulState = 7;
    EXPECT_EQ(IoctlUsbBulkRxStatus(&ulState), 0);
    EXPECT_EQ(ulState, 0u);
  });
  Run();
}

// ---- Block codes -----------------------------------------------------------------------------

uint8_t PatternByte(uint32_t i) { return static_cast<uint8_t>(i * 7 + 3); }

TEST_F(SystemDevice, LinearBlocksCopyFromFlashAndSdramAndNothingOutsideThem) {
  static uint8_t s_aucBuffer[65536];
  BootWith([] {
    auto* pucSdram = static_cast<uint8_t*>(PhysToHost(0xC0500000u, sizeof s_aucBuffer));
    for (uint32_t i = 0; i < sizeof s_aucBuffer; ++i) pucSdram[i] = PatternByte(i);

    // 64 KB from SDRAM, 4 KB from flash.
    IoctlBlockArea area{0xC0500000u, sizeof s_aucBuffer};
    IoctlSetBlock(&area);
    IoctlReadBlock(s_aucBuffer);
    EXPECT_EQ(std::memcmp(s_aucBuffer, pucSdram, sizeof s_aucBuffer), 0);
    area = {0x60100000u, 4096};
    IoctlSetBlock(&area);
    IoctlReadBlock(s_aucBuffer);
    for (uint32_t i = 0; i < 4096; ++i) ASSERT_EQ(s_aucBuffer[i], PatternByte(i + 1)) << i;

    // Areas outside the two windows, or reaching out of one, move nothing.
    for (IoctlBlockArea outside : {IoctlBlockArea{0xC0000000u, 16}, IoctlBlockArea{0x607FFFF0u, 32},
                                   IoctlBlockArea{0x80013000u, 16}, IoctlBlockArea{0xC7FFFFF0u, 0x20}}) {
      std::memset(s_aucBuffer, 0xEE, 64);
      IoctlSetBlock(&outside);
      IoctlReadBlock(s_aucBuffer);
      EXPECT_EQ(s_aucBuffer[0], 0xEE);
    }
    // Writes go to SDRAM only: flash takes data through its command sequences.
    const uint8_t aucData[4] = {1, 2, 3, 4};
    area = {0xC0600000u, 4};
    IoctlSetBlock(&area);
    IoctlWriteBlock(aucData);
    EXPECT_EQ(HwRead32(0xC0600000u), 0x04030201u);
    area = {0x60000000u, 4};
    IoctlSetBlock(&area);
    IoctlWriteBlock(aucData);
  });
  std::vector<uint8_t> image(4096);
  for (uint32_t i = 0; i < image.size(); ++i) image[i] = PatternByte(i + 1);
  Flash().LoadImage(0x100000, image.data(), static_cast<uint32_t>(image.size()));
  Run();
  EXPECT_EQ(Flash().PeekHalf(0), 0xFFFF);
  EXPECT_EQ(Flash().OperationCount(), 0u);
}

struct Block2DCase {
  const char* name;
  IoctlBlock2DArea area;
  bool bAccepted;
};

TEST_F(SystemDevice, TwoDimensionalBlocksGatherAndScatterRowsUpTo4096Bytes) {
  static const Block2DCase kCases[] = {
      {"3 rows of 5 bytes, stride 16", {0xC0700000u, 3, 5, 0, 16}, true},
      {"one row of 4096 bytes", {0xC0700000u, 1, 4096, 0, 0}, true},
      {"64 rows of 64 bytes, stride 100", {0xC0400000u, 64, 64, 0, 100}, true},
      {"4097 bytes", {0xC0700000u, 4097, 1, 0, 1}, false},
      {"2 rows of 2049 bytes", {0xC0700000u, 2, 2049, 0, 4096}, false},
      {"a product that wraps 32 bits", {0xC0700000u, 0x10000, 0x10000, 0, 0}, false},
      {"no rows", {0xC0700000u, 0, 16, 0, 16}, false},
      {"below the SDRAM window", {0xC03FFFF0u, 2, 4, 0, 16}, false},
      {"the last row past the window", {0xC7000000u, 2, 4, 0, 0x08000000u}, false},
  };
  BootWith([] {
    auto* pucSdram = static_cast<uint8_t*>(PhysToHost(0xC0400000u, 0x400000));
    static uint8_t s_aucBuffer[8192];
    for (const Block2DCase& c : kCases) {
      SCOPED_TRACE(c.name);
      for (uint32_t i = 0; i < 0x400000; ++i) pucSdram[i] = PatternByte(i);
      IoctlSetBlock2D(&c.area);

      // Gather.
      std::memset(s_aucBuffer, 0xEE, sizeof s_aucBuffer);
      IoctlReadBlock2D(s_aucBuffer);
      const uint32_t ulBytes = c.bAccepted ? c.area.ulRows * c.area.ulBytesPerRow : 0;
      for (uint32_t i = 0; i < ulBytes; ++i) {
        const uint32_t row = i / c.area.ulBytesPerRow;
        const uint32_t col = i % c.area.ulBytesPerRow;
        ASSERT_EQ(s_aucBuffer[i], PatternByte(c.area.ulAddress - 0xC0400000u + row * c.area.ulStride + col)) << i;
      }
      EXPECT_EQ(s_aucBuffer[ulBytes], 0xEE) << "nothing past the area's bytes";

      // Scatter: the rows take the caller's bytes, the gaps keep theirs.
      for (uint32_t i = 0; i < sizeof s_aucBuffer; ++i) s_aucBuffer[i] = static_cast<uint8_t>(~PatternByte(i));
      IoctlWriteBlock2D(s_aucBuffer);
      if (!c.bAccepted) {
        for (uint32_t i = 0; i < 0x400000; ++i) ASSERT_EQ(pucSdram[i], PatternByte(i)) << "SDRAM changed at " << i;
        continue;
      }
      const uint32_t base = c.area.ulAddress - 0xC0400000u;
      for (uint32_t row = 0; row < c.area.ulRows; ++row) {
        for (uint32_t col = 0; col < c.area.ulBytesPerRow; ++col) {
          ASSERT_EQ(pucSdram[base + row * c.area.ulStride + col],
                    static_cast<uint8_t>(~PatternByte(row * c.area.ulBytesPerRow + col)));
        }
      }
      if (c.area.ulStride > c.area.ulBytesPerRow) {
        EXPECT_EQ(pucSdram[base + c.area.ulBytesPerRow], PatternByte(base + c.area.ulBytesPerRow));
      }
    }
  });
  Run(Ms(20000));
}

// ---- DSP boot block -----------------------------------------------------------------------------

struct DspBootCase {
  const char* name;
  PhysAddr dest1, dest2, dest3;
  int32_t result;  // w4; a complete block starts the DSP: 0, or -4 when it does not answer
};

TEST_F(SystemDevice, DspBootBlocksCopyTheirSectionsAndReportMissingDestinations) {
  static const DspBootCase kCases[] = {
      {"destination 1 missing", 0, 0xC5008000u, 0xC5010000u, -2},
      {"destination 2 missing", 0xC5000000u, 0, 0xC5010000u, -3},
      {"destination 3 missing", 0xC5000000u, 0xC5008000u, 0, -3},
      {"complete", 0xC5000000u, 0xC5008000u, 0xC5010000u, 0},
  };
  BootWith([] {
    constexpr uint32_t kLength = 16;
    for (const DspBootCase& c : kCases) {
      SCOPED_TRACE(c.name);
      std::memset(PhysToHost(0xC5000000u, 0x20000), 0, 0x20000);
      IoctlWord aw[IOCTL_DSP_BOOT_WORDS + 3 * kLength / sizeof(IoctlWord)] = {
          c.dest1, kLength, c.dest2, kLength, kUntouched, c.dest3, kLength, 0xC5010000u};
      uint8_t* pucSections = IoctlBlockBytes(aw, IOCTL_DSP_BOOT_WORDS);
      for (uint32_t i = 0; i < 3 * kLength; ++i) pucSections[i] = PatternByte(i);
      Ioctl(IOCTL_BOOT_DSP_SDRAM, aw);
      if (c.result == 0) {
        EXPECT_THAT(IoctlResult(aw[4]), testing::AnyOf(0, -4));
      } else {
        EXPECT_EQ(IoctlResult(aw[4]), c.result);
      }
      // Section k lands at destination k when it was copied.
      const bool bCopied[3] = {c.dest1 != 0, c.result == 0, c.result == 0};
      const PhysAddr dests[3] = {0xC5000000u, 0xC5008000u, 0xC5010000u};
      for (uint32_t k = 0; k < 3; ++k) {
        const auto* pucDest = static_cast<const uint8_t*>(PhysToHost(dests[k], kLength));
        for (uint32_t i = 0; i < kLength; ++i) {
          EXPECT_EQ(pucDest[i], bCopied[k] ? PatternByte(k * kLength + i) : 0) << "section " << k + 1 << " byte " << i;
        }
      }
    }
  });
  Run(Ms(20000));
}

// The dispatcher copies only the header of a 128 KB boot block into its
// frame: the sections are copied from the caller's buffer, so a call with a
// full image stays far inside a task's 8 KB stack.
TEST_F(SystemDevice, ADspBootBlockOf128KBKeepsItsSectionsOffTheStack) {
  static uintptr_t s_entryFrame;
  BootWith([] {
    s_entryFrame = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    const uint32_t ulBytes = IOCTL_DSP_BOOT_WORDS * sizeof(IoctlWord) + 0x20000;
    std::vector<IoctlWord> block(ulBytes / sizeof(IoctlWord));
    // Sections 1 and 2 to SDRAM, section 3 (64 KB) to the probe.
    const IoctlWord header[IOCTL_DSP_BOOT_WORDS] = {0xC5000000u, 0x8000, 0xC5008000u, 0x8000,
                                                    0,           0x64010000u, 0x10000, 0xC5010000u};
    std::copy(std::begin(header), std::end(header), block.begin());
    uint8_t* pucSections = IoctlBlockBytes(block.data(), IOCTL_DSP_BOOT_WORDS);
    for (uint32_t i = 0; i < 0x20000; ++i) pucSections[i] = PatternByte(i);
    Ioctl(IOCTL_BOOT_DSP_INTERNAL, block.data());
  });
  Probe& probe = MapProbe(0x64010000u, 0x6403FFFFu);
  Run(Ms(20000));
  ASSERT_EQ(probe.accesses.size(), 0x10000u / 4);
  // Section 3 starts at byte 0x10000 of the sections.
  const uint32_t ulSecondWord = PatternByte(0x10004) | PatternByte(0x10005) << 8 | PatternByte(0x10006) << 16 |
                                static_cast<uint32_t>(PatternByte(0x10007)) << 24;
  EXPECT_EQ(probe.accesses[1], (ProbeAccess{true, 4, 4, ulSecondWord}));
  const uintptr_t depth = s_entryFrame - probe.lowestFrame;
  EXPECT_LT(depth, TASK_STACK_SIZE) << "stack used below the caller: " << depth;
}

// The loader builds the boot block the dispatcher reads: each section read
// from its flash offset lands at its destination.
TEST_F(SystemDevice, TheSdramImageLoaderPlacesItsThreeSectionsFromFlash) {
  static int32_t s_lResult;
  BootWith([] { s_lResult = LoadDspSdramImage(0x605E0000u); });
  std::vector<uint8_t> image(0x20000);
  for (uint32_t i = 0; i < image.size(); ++i) image[i] = PatternByte(i);
  Flash().LoadImage(0x5E0000, image.data(), static_cast<uint32_t>(image.size()));
  Run(Ms(20000));
  const struct {
    PhysAddr dest;
    uint32_t flashOffset;
    uint32_t length;
  } kSections[] = {{0xC5000000u, 0, 0x8000}, {0xC5008000u, 0x8000, 0x8000}, {0xC5010000u, 0x10000, 0x10000}};
  for (const auto& section : kSections) {
    const auto* pucDest = static_cast<const uint8_t*>(m_machine->GetBoard().GetBus().RamPointer(section.dest, section.length));
    ASSERT_NE(pucDest, nullptr);
    EXPECT_EQ(std::memcmp(pucDest, image.data() + section.flashOffset, section.length), 0) << std::hex << section.dest;
  }
  // No DSP program answers the handshake yet: the loader reports the failure.
  EXPECT_EQ(s_lResult, -1);
}

// ---- Plain flash codes -------------------------------------------------------------------------

TEST_F(SystemDevice, PlainFlashCodesProgramReadAndEraseWithinTheFlash) {
  BootWith([] {
    const uint8_t aucText[5] = {'A', 'B', 'C', 'D', 'E'};
    size_t from = LogSize();
    IoctlFlashProgram(5, 0x30000, aucText);
    EXPECT_EQ(CountLog("Flash Write NByte start address = 30000 size = 5 \n", from), 1u);
    EXPECT_EQ(CountLog("Flash Write NByte comp...\n", from), 1u);

    // Exactly the count is stored, not a byte more.
    uint8_t aucRead[8];
    std::memset(aucRead, 0xEE, sizeof aucRead);
    IoctlFlashRead(5, 0x30000, aucRead);
    EXPECT_EQ(std::memcmp(aucRead, aucText, 5), 0);
    EXPECT_EQ(aucRead[5], 0xEE);
    // The odd last byte went out padded with 0xFF, which programming leaves as it is.
    uint16_t usLast = 0;
    EXPECT_EQ(IoctlRead16(0x60030004u, &usLast), 0);
    EXPECT_EQ(usLast, 0xFF45);

    // Offsets are 24 bits; a range reaching past the 8 MB flash moves nothing.
    std::memset(aucRead, 0xEE, sizeof aucRead);
    IoctlFlashRead(4, 0x7FFFFE, aucRead);
    IoctlFlashRead(2, 0x01800000u, aucRead);
    EXPECT_EQ(aucRead[0], 0xEE);
    from = LogSize();
    IoctlFlashProgram(2, 0x00800000u, aucText);
    EXPECT_EQ(LogSize(), from);

    from = LogSize();
    IoctlFlashErase(0xFF030010u);  // the sector of 0x30000
    EXPECT_EQ(CountLog("sector erase start 30010\n", from), 1u);
    EXPECT_EQ(CountLog("sector erase comp\n", from), 1u);
  });
  Flash().SetBusyTimeScale(0.01);
  Run(Ms(20000));
  EXPECT_EQ(Flash().OperationCount(), 3u + 1u);  // three halfwords, one erase
  EXPECT_EQ(Flash().PeekHalf(0x30000), 0xFFFF) << "erased again at the end";
}

}  // namespace
