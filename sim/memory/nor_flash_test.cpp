// The NOR flash model driven cycle by cycle, as the firmware's flash driver
// drives it: command sequences, status polling, sector geometry, byte
// lanes, busy times on the board clock, its file, and its fault switches.
#include "sim/memory/nor_flash.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>
#include "tests/support/temp_dir.h"

namespace sim {
namespace {

constexpr uint16_t kDq7 = 0x80;
constexpr uint16_t kDq6 = 0x40;
constexpr uint16_t kDq5 = 0x20;
constexpr uint16_t kDq3 = 0x08;
constexpr uint16_t kDq2 = 0x04;

std::string TempPath(const char* name) {
  return testsupport::MakeTempDir("norflash") + "/" + name;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class NorFlashTest : public ::testing::Test {
 protected:
  explicit NorFlashTest(std::string path = {}) : m_flash(m_clock, std::move(path)) {}

  // One bus cycle; due events run first, as at a switch point of the CPU.
  void W(uint32_t offset, uint16_t value) {
    m_clock.RunDue();
    m_flash.Write(offset, 2, value);
  }
  uint16_t R(uint32_t offset) {
    m_clock.RunDue();
    return static_cast<uint16_t>(m_flash.Read(offset, 2));
  }
  void Pass(Nanos ns) {
    m_clock.AdvanceTo(m_clock.Now() + ns);
    m_clock.RunDue();
  }
  void Program(uint32_t offset, uint16_t value) {
    W(0x0AAA, 0xAAAA);
    W(0x0554, 0x5555);
    W(0x0AAA, 0xA0A0);
    W(offset, value);
  }
  void Erase(uint32_t offset) {
    W(0x0AAA, 0xAAAA);
    W(0x0554, 0x5555);
    W(0x0AAA, 0x8080);
    W(0x0AAA, 0xAAAA);
    W(0x0554, 0x5555);
    W(offset, 0x3030);
  }
  // Polls DQ6 every microsecond until it stops toggling; returns how long
  // the part was busy (or `limit`).
  Nanos WaitToggleStops(uint32_t offset, Nanos limit) {
    const Nanos start = m_clock.Now();
    while (m_clock.Now() - start < limit) {
      const uint16_t a = R(offset);
      const uint16_t b = R(offset);
      if (((a ^ b) & kDq6) == 0) return m_clock.Now() - start;
      Pass(kNsPerUs);
    }
    return limit;
  }
  void FillArray(uint8_t value) {
    const std::vector<uint8_t> bytes(NorFlash::kBytes, value);
    m_flash.LoadImage(0, bytes.data(), NorFlash::kBytes);
  }

  SimClock m_clock;
  NorFlash m_flash;
};

// ---- program and erase ------------------------------------------------------

TEST_F(NorFlashTest, ProgramShowsStatusForTheTypicalTimeThenTheData) {
  Program(0x100000, 0x1234);
  EXPECT_TRUE(m_flash.Busy());
  const uint16_t first = R(0x100000);
  const uint16_t second = R(0x200000);  // status at any address while busy
  EXPECT_EQ(first & kDq7, kDq7) << "DQ7 is the complement of data bit 7 (0)";
  EXPECT_NE(first & kDq6, second & kDq6) << "DQ6 toggles on every read";
  EXPECT_EQ(first & (kDq5 | kDq3), 0);

  m_clock.AdvanceTo(9 * kNsPerUs - 1);
  EXPECT_NE(R(0x100000), 0x1234);
  m_clock.AdvanceTo(9 * kNsPerUs);
  EXPECT_EQ(R(0x100000), 0x1234);
  EXPECT_FALSE(m_flash.Busy());
  EXPECT_EQ(R(0x100002), 0xFFFF);
  EXPECT_EQ(m_flash.OperationCount(), 1u);
}

TEST_F(NorFlashTest, ProgramOnlyClearsBitsAndReportsTheAttemptToSetOne) {
  Program(0x40, 0x0F0F);
  Pass(10 * kNsPerUs);
  Program(0x40, 0xFF80);  // would set bits 7 and 12-15
  Pass(10 * kNsPerUs);
  EXPECT_TRUE(m_flash.Busy()) << "runs to the program time limit";
  Pass(200 * kNsPerUs);
  ASSERT_TRUE(m_flash.TimedOut());
  const uint16_t a = R(0x40);
  const uint16_t b = R(0x40);
  EXPECT_EQ(a & kDq5, kDq5);
  EXPECT_NE(a & kDq6, b & kDq6) << "still toggling after the time limit";
  EXPECT_EQ(a & kDq7, 0) << "DQ7 stays the complement of data bit 7 (1)";

  W(0x0554, 0x5555);  // anything but the reset command is ignored
  EXPECT_TRUE(m_flash.TimedOut());
  W(0x0AAA, 0xF0F0);
  EXPECT_EQ(R(0x40), 0x0F00) << "the bits that could be cleared are cleared";
}

TEST_F(NorFlashTest, EraseShowsEraseStatusAndSetsTheSectorToOnes) {
  FillArray(0x00);
  m_flash.SetBusyTimeScale(0.001);
  Erase(0x7F4000);
  const uint16_t inside1 = R(0x7F4010);
  const uint16_t inside2 = R(0x7F4010);
  const uint16_t outside1 = R(0x10);
  const uint16_t outside2 = R(0x10);
  EXPECT_EQ(inside1 & kDq7, 0);
  EXPECT_EQ(inside1 & kDq3, kDq3);
  EXPECT_NE(inside1 & kDq2, inside2 & kDq2) << "DQ2 toggles inside the erasing sector";
  EXPECT_EQ(outside1 & kDq2, outside2 & kDq2) << "and not outside it";
  EXPECT_EQ(WaitToggleStops(0x7F4000, kNsPerMs), 500 * kNsPerUs);
  EXPECT_EQ(R(0x7F4000), 0xFFFF);
  EXPECT_EQ(R(0x7F5FFE), 0xFFFF);
  EXPECT_EQ(R(0x7F3FFE), 0x0000);
  EXPECT_EQ(R(0x7F6000), 0x0000);
}

// Each erase covers exactly the sector that holds the address: 64 KB below
// 0x7F0000, 8 KB above, so the CIS calibration data and the two
// error-history sectors erase independently.
TEST_F(NorFlashTest, SectorGeometryOfTheTopBootPart) {
  struct Case {
    uint32_t address;
    uint32_t first;
    uint32_t bytes;
  };
  const Case cases[] = {
      {0x000000, 0x000000, 0x10000},  // the first sector
      {0x0A1234, 0x0A0000, 0x10000},  // boot image area
      {0x2E0004, 0x2E0000, 0x10000},  // FPGA bitstream
      {0x605FFF & ~1u, 0x600000, 0x10000},
      {0x7EFFFE, 0x7E0000, 0x10000},  // the last 64 KB sector
      {0x7F1338, 0x7F0000, 0x2000},   // CIS calibration with its serial number
      {0x7F2000, 0x7F2000, 0x2000},
      {0x7F4000, 0x7F4000, 0x2000},   // error history, first sector
      {0x7F6000, 0x7F6000, 0x2000},   // error history, second sector
      {0x7FFFFE, 0x7FE000, 0x2000},   // the last 8 KB sector
  };
  m_flash.SetBusyTimeScale(0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    EXPECT_EQ(NorFlash::SectorStart(c.address), c.first);
    EXPECT_EQ(NorFlash::SectorSize(c.address), c.bytes);
    FillArray(0x00);
    Erase(c.address);
    Pass(1);
    ASSERT_FALSE(m_flash.Busy());
    EXPECT_EQ(R(c.first), 0xFFFF);
    EXPECT_EQ(R(c.first + c.bytes - 2), 0xFFFF);
    if (c.first > 0) {
      EXPECT_EQ(R(c.first - 2), 0x0000);
    }
    if (c.first + c.bytes < NorFlash::kBytes) {
      EXPECT_EQ(R(c.first + c.bytes), 0x0000);
    }
  }
}

TEST_F(NorFlashTest, ChipEraseErasesEverySector) {
  FillArray(0x5A);
  m_flash.SetBusyTimeScale(0.001);
  W(0x0AAA, 0xAAAA);
  W(0x0554, 0x5555);
  W(0x0AAA, 0x8080);
  W(0x0AAA, 0xAAAA);
  W(0x0554, 0x5555);
  W(0x0AAA, 0x1010);
  EXPECT_EQ(WaitToggleStops(0, Nanos{100} * kNsPerMs), 135 * 500 * kNsPerUs);
  EXPECT_EQ(R(0), 0xFFFF);
  EXPECT_EQ(R(0x7FFFFE), 0xFFFF);
}

// A cycle that does not continue a sequence returns the part to read mode,
// and what follows is not taken as data.
TEST_F(NorFlashTest, BrokenSequencesReturnToReadMode) {
  struct Cycle {
    uint32_t offset;
    uint16_t value;
  };
  const std::vector<std::vector<Cycle>> sequences = {
      {{0x0AAA, 0xAAAA}, {0x0556, 0x5555}, {0x0AAA, 0xA0A0}},  // second unlock at the wrong address
      {{0x0AAA, 0xAAAA}, {0x0554, 0x5555}, {0x0AAA, 0x1234}},  // unknown command
      {{0x0AAA, 0xAAAA}, {0x0554, 0x5555}, {0x0AAA, 0xF0F0}},  // reset inside the sequence
      {{0x0AAA, 0xAAAA}, {0x0554, 0x5555}, {0x0AAA, 0x8080}, {0x0AAA, 0xF0F0}},
      {{0x0AAA, 0xAAAA}, {0x0554, 0x5555}, {0x0AAA, 0x8080}, {0x0AAA, 0xAAAA}, {0x0554, 0x5555}, {0x10, 0x2020}},
      {{0x0AAA, 0x5555}, {0x0554, 0xAAAA}, {0x0AAA, 0xA0A0}},  // unlock values swapped
  };
  for (size_t i = 0; i < sequences.size(); ++i) {
    SCOPED_TRACE(i);
    for (const Cycle& c : sequences[i]) W(c.offset, c.value);
    W(0x10, 0x0000);  // would be the data of a program
    EXPECT_FALSE(m_flash.Busy());
    EXPECT_EQ(R(0x10), 0xFFFF);
  }
  EXPECT_EQ(m_flash.OperationCount(), 0u);
  // Unlock cycles decode A10-A0 only, so an image of the unlock addresses
  // higher up is an unlock address too.
  W(0x100AAA, 0xAAAA);
  W(0x200554, 0x5555);
  W(0x300AAA, 0xA0A0);
  W(0x10, 0x0000);
  EXPECT_TRUE(m_flash.Busy());
}

TEST_F(NorFlashTest, WritesWhileBusyAreIgnored) {
  Erase(0x20000);
  Program(0x40000, 0x0000);
  W(0x0AAA, 0xF0F0);  // the reset command does not stop an erase
  EXPECT_TRUE(m_flash.Busy());
  Pass(500 * kNsPerMs);
  EXPECT_FALSE(m_flash.Busy());
  EXPECT_EQ(R(0x40000), 0xFFFF);
  EXPECT_EQ(m_flash.OperationCount(), 1u);
}

// ---- byte lanes and widths ----------------------------------------------------

TEST_F(NorFlashTest, ByteAndWordAccessesFollowTheLanes) {
  const uint8_t bytes[] = {0x11, 0x22, 0x33, 0x44};
  m_flash.LoadImage(0x1000, bytes, sizeof bytes);
  m_clock.RunDue();
  EXPECT_EQ(m_flash.Read(0x1000, 1), 0x11u);
  EXPECT_EQ(m_flash.Read(0x1001, 1), 0x22u);
  EXPECT_EQ(m_flash.Read(0x1002, 2), 0x4433u);
  EXPECT_EQ(m_flash.Read(0x1000, 4), 0x44332211u);

  // The single-byte command values of the plain flash codes work, and a
  // byte programmed at an odd address lands on the high lane.
  m_flash.Write(0x0AAA, 1, 0xAA);
  m_flash.Write(0x0554, 1, 0x55);
  m_flash.Write(0x0AAA, 1, 0xA0);
  m_flash.Write(0x2001, 1, 0x12);
  Pass(10 * kNsPerUs);
  EXPECT_EQ(R(0x2000), 0x12FF);
}

TEST_F(NorFlashTest, AThirtyTwoBitAccessIsTwoHalfwordCycles) {
  Program(0x3000, 0x0000);
  const uint32_t status = m_flash.Read(0x3000, 4);
  EXPECT_NE(status & kDq6, (status >> 16) & kDq6) << "two reads, two toggles";
  Pass(10 * kNsPerUs);
  // A 32-bit write issues its low halfword first: 0x0000 at 0x0AA8, then
  // the unlock 0xAAAA at 0x0AAA, which the rest of the sequence continues.
  m_flash.Write(0x0AA8, 4, 0xAAAA0000u);
  m_flash.Write(0x0554, 2, 0x5555);
  m_flash.Write(0x0AAA, 2, 0xA0A0);
  m_flash.Write(0x3002, 2, 0x0000);
  EXPECT_TRUE(m_flash.Busy());
}

// ---- fault switches ---------------------------------------------------------

TEST_F(NorFlashTest, StuckBusyNeverCompletesUntilReleased) {
  m_flash.SetStuckBusy(true);
  Program(0x500, 0x0000);
  EXPECT_EQ(WaitToggleStops(0x500, Nanos{20} * kNsPerMs), Nanos{20} * kNsPerMs);
  EXPECT_EQ(R(0x500) & kDq5, 0) << "no time-out is reported either";
  W(0x0AAA, 0xF0F0);
  EXPECT_TRUE(m_flash.Busy());
  m_flash.SetStuckBusy(false);
  EXPECT_EQ(R(0x500), 0x0000);
}

TEST_F(NorFlashTest, BitsThatFailToProgramOrEraseEndInATimeOut) {
  m_flash.SetBusyTimeScale(0.01);
  m_flash.SetProgramFailBits(0x600, 0x0100);
  Program(0x600, 0x0000);
  Pass(1 * kNsPerUs);
  EXPECT_EQ(R(0x600) & kDq5, 0) << "not before the time limit";
  Pass(1 * kNsPerUs);
  EXPECT_EQ(R(0x600) & kDq5, kDq5);
  W(0, 0x00F0);
  EXPECT_EQ(R(0x600), 0x0100);

  m_flash.SetEraseFailBits(0x602, 0x8001);
  Program(0x602, 0x0000);
  Pass(1 * kNsPerUs);
  Erase(0x600);
  Pass(35 * kNsPerMs);
  EXPECT_TRUE(m_flash.TimedOut());
  W(0, 0x00F0);
  EXPECT_EQ(R(0x602), 0x7FFE) << "the failing bits keep their 0";
  EXPECT_EQ(R(0x600), 0xFFFF);

  // Healed, the same word programs and erases.
  m_flash.SetEraseFailBits(0x602, 0);
  Erase(0x600);
  Pass(5 * kNsPerMs);
  EXPECT_EQ(R(0x602), 0xFFFF);
}

// ---- the file and the power cut -----------------------------------------------

class NorFlashFileTest : public NorFlashTest {
 protected:
  NorFlashFileTest() : NorFlashTest(MakePath()) {}
  static std::string MakePath() {
    s_path = TempPath("flash.bin");
    return s_path;
  }
  static inline std::string s_path;
};

TEST_F(NorFlashFileTest, AMissingFileIsCreatedErasedAndEveryChangeIsWrittenThrough) {
  EXPECT_TRUE(m_flash.FileError().empty()) << m_flash.FileError();
  m_flash.SetBusyTimeScale(0.001);
  Program(0x7F4000, 0x0001);
  EXPECT_EQ(ReadFile(s_path)[0x7F4000], 0xFF) << "not before the word is programmed";
  Pass(kNsPerUs);
  std::vector<uint8_t> file = ReadFile(s_path);
  ASSERT_EQ(file.size(), NorFlash::kBytes);
  EXPECT_EQ(file[0x7F4000], 0x01);
  EXPECT_EQ(file[0x7F4001], 0x00);

  // A part built later on the same file holds what this one held.
  SimClock clock;
  NorFlash again(clock, s_path);
  EXPECT_EQ(again.PeekHalf(0x7F4000), 0x0001);

  Erase(0x7F4000);
  Pass(kNsPerMs);
  EXPECT_EQ(ReadFile(s_path)[0x7F4000], 0xFF);
}

TEST(NorFlashFile, AFileOfTheWrongSizeIsRefused) {
  const std::string path = TempPath("short.bin");
  std::ofstream(path, std::ios::binary) << "short";
  SimClock clock;
  NorFlash flash(clock, path);
  EXPECT_FALSE(flash.FileError().empty());
  EXPECT_EQ(flash.PeekHalf(0), 0xFFFF);
  EXPECT_EQ(ReadFile(path).size(), 5u) << "the file is left alone";
}

TEST_F(NorFlashFileTest, APowerCutStopsThePartInItsOperationAndTheFileShowsIt) {
  struct Case {
    CutDamage damage;
    uint16_t programmed;  // the interrupted program of 0x1234 over 0xFFFF
    uint8_t firstHalf;    // the interrupted erase of a zero sector
    uint8_t secondHalf;
  };
  const Case cases[] = {
      {CutDamage::None, 0xFFFF, 0x00, 0x00},
      {CutDamage::Partial, 0xFF34, 0xFF, 0x00},
  };
  const std::vector<uint8_t> zeros(0x10000, 0x00);
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.damage));
    SimClock clock;
    NorFlash flash(clock, s_path);
    flash.LoadImage(0x20000, zeros.data(), 0x10000);
    flash.LoadImage(0x30000, std::vector<uint8_t>(2, 0xFF).data(), 2);
    int cuts = 0;
    flash.SetPowerCutHandler([&] { ++cuts; });
    flash.SetBusyTimeScale(0);
    auto cycle = [&](uint32_t offset, uint16_t value) {
      clock.RunDue();
      flash.Write(offset, 2, value);
    };
    auto program = [&](uint32_t offset, uint16_t value) {
      cycle(0x0AAA, 0xAAAA);
      cycle(0x0554, 0x5555);
      cycle(0x0AAA, 0xA0A0);
      cycle(offset, value);
    };
    flash.SetPowerCutAfter(1, c.damage);
    program(0x30002, 0x0000);  // the one operation that completes
    clock.RunDue();
    program(0x30000, 0x1234);  // the power fails in this one
    EXPECT_EQ(cuts, 1);
    EXPECT_TRUE(flash.PoweredOff());
    program(0x30004, 0x0000);  // a dead part takes nothing
    clock.RunDue();
    std::vector<uint8_t> file = ReadFile(s_path);
    EXPECT_EQ(file[0x30002] | (file[0x30003] << 8), 0x0000);
    EXPECT_EQ(file[0x30000] | (file[0x30001] << 8), c.programmed);
    EXPECT_EQ(file[0x30004], 0xFF);
    EXPECT_EQ(flash.OperationCount(), 2u);

    SimClock clock2;
    NorFlash flash2(clock2, s_path);
    flash2.SetPowerCutHandler([&] { ++cuts; });
    flash2.SetPowerCutAfter(0, c.damage);
    clock2.RunDue();
    flash2.Write(0x0AAA, 2, 0xAAAA);
    flash2.Write(0x0554, 2, 0x5555);
    flash2.Write(0x0AAA, 2, 0x8080);
    flash2.Write(0x0AAA, 2, 0xAAAA);
    flash2.Write(0x0554, 2, 0x5555);
    flash2.Write(0x20000, 2, 0x3030);
    EXPECT_EQ(cuts, 2);
    file = ReadFile(s_path);
    EXPECT_EQ(file[0x20000], c.firstHalf);
    EXPECT_EQ(file[0x27FFF], c.firstHalf);
    EXPECT_EQ(file[0x28000], c.secondHalf);
    EXPECT_EQ(file[0x2FFFF], c.secondHalf);
  }
}

}  // namespace
}  // namespace sim
