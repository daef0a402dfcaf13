// The Microwire EEPROM model driven at pin level the way the board's
// serial-EEPROM driver drives it: frames with a start bit, opcode and
// address, 2 us between line changes, data sampled after the falling clock
// edge, ready polled on DO.
#include "sim/memory/microwire_eeprom.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>
#include "tests/support/temp_dir.h"

namespace sim {
namespace {

std::string TempPath(const char* name) {
  return testsupport::MakeTempDir("eeprom") + "/" + name;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The opcode byte as the driver passes it: start bit and opcode in bits 7-5.
constexpr uint8_t kRead = 0xC0;
constexpr uint8_t kWrite = 0xA0;
constexpr uint8_t kErase = 0xE0;
constexpr uint8_t kExtended = 0x80;  // EWEN 0xC0, EWDS 0x00, ERAL 0x80, WRAL 0x40 as the address

class MicrowireEepromTest : public ::testing::Test {
 protected:
  explicit MicrowireEepromTest(std::string path = {}) : m_eeprom(m_clock, std::move(path)) {}

  // One line change and the driver's 2 us wait after it.
  void Lines(bool bCs, bool bSk, bool bDi) {
    m_cs = bCs;
    m_sk = bSk;
    m_di = bDi;
    m_clock.RunDue();
    m_eeprom.SetLines(bCs, bSk, bDi);
    Pass(2 * kNsPerUs);
  }
  void Pass(Nanos ns) {
    m_clock.AdvanceTo(m_clock.Now() + ns);
    m_clock.RunDue();
  }
  void Cs(bool b) { Lines(b, m_sk, m_di); }
  void Di(bool b) { Lines(m_cs, m_sk, b); }
  void ClockBit(bool bBit) {
    Di(bBit);
    Lines(m_cs, true, m_di);
    Lines(m_cs, false, m_di);
  }
  // Deselect, select, start bit and opcode, eight address bits, data low.
  void Command(uint8_t op, uint8_t address) {
    Cs(false);
    Di(false);
    Lines(m_cs, false, m_di);
    Cs(true);
    for (int b = 7; b >= 5; --b) ClockBit(((op >> b) & 1) != 0);
    for (int b = 7; b >= 0; --b) ClockBit(((address >> b) & 1) != 0);
    Di(false);
  }
  uint16_t ReadWord() {
    uint16_t value = 0;
    for (int i = 0; i < 16; ++i) {
      Lines(m_cs, true, m_di);
      Lines(m_cs, false, m_di);
      value = static_cast<uint16_t>((value << 1) | (m_eeprom.DataOut() ? 1 : 0));
    }
    return value;
  }
  void WriteWord(uint16_t value) {
    for (int b = 15; b >= 0; --b) ClockBit(((value >> b) & 1) != 0);
    Di(false);
  }
  uint16_t Read(uint8_t word) {
    Command(kRead, word);
    const uint16_t value = ReadWord();
    Cs(false);
    return value;
  }
  void Enable() {
    Command(kExtended, 0xC0);
    Cs(false);
  }
  // Raises CS and polls DO every 2 us: how long until it reads 1.
  Nanos WaitReady(Nanos limit) {
    Cs(true);
    const Nanos start = m_clock.Now();
    while (!m_eeprom.DataOut()) {
      if (m_clock.Now() - start > limit) return limit;
      Pass(2 * kNsPerUs);
    }
    return m_clock.Now() - start;
  }
  void Write(uint8_t word, uint16_t value) {
    Enable();
    Command(kWrite, word);
    WriteWord(value);
    Cs(false);
  }
  void Load(uint16_t first) {
    std::vector<uint8_t> bytes(MicrowireEeprom::kBytes);
    for (uint32_t w = 0; w < MicrowireEeprom::kWords; ++w) {
      const uint16_t value = static_cast<uint16_t>(first + w);
      bytes[2 * w] = static_cast<uint8_t>(value);
      bytes[2 * w + 1] = static_cast<uint8_t>(value >> 8);
    }
    m_eeprom.LoadImage(bytes.data(), MicrowireEeprom::kBytes);
  }

  SimClock m_clock;
  MicrowireEeprom m_eeprom;
  bool m_cs = false;
  bool m_sk = false;
  bool m_di = false;
};

TEST_F(MicrowireEepromTest, ReadGivesADummyZeroThenTheWordMostSignificantBitFirst) {
  Load(0x8000);
  Command(kRead, 0x01);
  EXPECT_EQ(m_eeprom.DataOutPin(), MicrowireEeprom::Pin::Low) << "the dummy 0 after A0";
  EXPECT_EQ(ReadWord(), 0x8001);
  EXPECT_EQ(ReadWord(), 0x8002) << "clocking on reads the next word";
  Cs(false);
  EXPECT_EQ(m_eeprom.DataOutPin(), MicrowireEeprom::Pin::Floating);
  Command(kRead, 0xFF);
  EXPECT_EQ(ReadWord(), 0x80FF);
  EXPECT_EQ(ReadWord(), 0x8000) << "and wraps from the last word to the first";
  Cs(false);
  EXPECT_EQ(m_eeprom.ProgramCycles(), 0u);
}

TEST_F(MicrowireEepromTest, WriteNeedsEnableThenShowsBusyUntilProgrammed) {
  Load(0x0000);
  Command(kWrite, 0x10);
  WriteWord(0x5AA5);
  Cs(false);
  EXPECT_FALSE(m_eeprom.Programming()) << "programming starts disabled";
  EXPECT_EQ(Read(0x10), 0x0010);

  Write(0x10, 0x5AA5);
  EXPECT_TRUE(m_eeprom.Programming());
  Pass(4 * kNsPerUs);
  const Nanos busy = WaitReady(10 * kNsPerMs);
  EXPECT_GE(busy, 2900 * kNsPerUs);
  EXPECT_LE(busy, 3000 * kNsPerUs);
  EXPECT_TRUE(m_eeprom.DataOut()) << "ready stays shown while CS is high";
  Command(kRead, 0x10);  // the start bit ends the status
  EXPECT_EQ(ReadWord(), 0x5AA5);
  Cs(false);
  EXPECT_EQ(Read(0x11), 0x0011);
  EXPECT_TRUE(m_eeprom.WriteEnabled()) << "enabled until disabled";
}

TEST_F(MicrowireEepromTest, EraseAndTheWholeArrayInstructions) {
  struct Case {
    const char* name;
    uint8_t op;
    uint8_t address;
    bool bData;
    uint16_t word5;
    uint16_t word200;
  };
  const Case cases[] = {
      {"ERASE 5", kErase, 5, false, 0xFFFF, 200},
      {"ERAL", kExtended, 0x80, false, 0xFFFF, 0xFFFF},
      {"WRAL 0x1234", kExtended, 0x40, true, 0x1234, 0x1234},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Load(0);
    Enable();
    Command(c.op, c.address);
    if (c.bData) WriteWord(0x1234);
    Cs(false);
    EXPECT_TRUE(m_eeprom.Programming());
    Pass(3 * kNsPerMs);
    EXPECT_EQ(Read(5), c.word5);
    EXPECT_EQ(Read(200), c.word200);
  }
  // After EWDS nothing is programmed.
  Command(kExtended, 0x00);
  Cs(false);
  EXPECT_FALSE(m_eeprom.WriteEnabled());
  Command(kErase, 7);
  Cs(false);
  EXPECT_FALSE(m_eeprom.Programming());
}

TEST_F(MicrowireEepromTest, IncompleteInstructionsAndInstructionsWhileBusyAreDropped) {
  Load(0);
  Enable();
  Command(kWrite, 0x20);
  for (int i = 0; i < 10; ++i) ClockBit(true);
  Cs(false);
  EXPECT_FALSE(m_eeprom.Programming());
  EXPECT_EQ(Read(0x20), 0x0020);

  Write(0x20, 0xBEEF);
  Command(kWrite, 0x21);  // while programming: not an instruction
  WriteWord(0x0000);
  Cs(false);
  Pass(3 * kNsPerMs);
  EXPECT_EQ(Read(0x20), 0xBEEF);
  EXPECT_EQ(Read(0x21), 0x0021);
  EXPECT_EQ(m_eeprom.ProgramCycles(), 1u);
}

// What the firmware sees of a missing chip: DO is never driven, so reads
// give the line's pull and "ready" is whatever the pull says; a written byte
// then fails its read-back (pull high) or its ready wait (pull low).
TEST_F(MicrowireEepromTest, AnAbsentChipLeavesDoToThePull) {
  Load(0x1200);
  m_eeprom.SetAbsent(true);
  EXPECT_EQ(Read(3), 0xFFFF);
  Write(3, 0x0000);
  EXPECT_EQ(WaitReady(kNsPerMs), 0u);
  Cs(false);
  EXPECT_EQ(Read(3), 0xFFFF);

  m_eeprom.SetFloatingLevel(false);
  EXPECT_EQ(Read(3), 0x0000);
  EXPECT_EQ(WaitReady(kNsPerMs), kNsPerMs);
  Cs(false);
}

TEST_F(MicrowireEepromTest, NeverReadyAndFailedVerify) {
  Load(0);
  m_eeprom.SetNeverReady(true);
  Write(1, 0x1111);
  EXPECT_EQ(WaitReady(500 * kNsPerMs), 500 * kNsPerMs);
  Cs(false);
  EXPECT_EQ(m_eeprom.PeekWord(1), 0x0001) << "nothing stored";
  m_eeprom.SetNeverReady(false);
  EXPECT_EQ(m_eeprom.PeekWord(1), 0x1111);

  m_eeprom.FailVerify(1, 0x0100);
  Write(2, 0x2222);
  Pass(3 * kNsPerMs);
  EXPECT_EQ(Read(2), 0x2322) << "the failing cycle stores a wrong word";
  Write(2, 0x2222);
  Pass(3 * kNsPerMs);
  EXPECT_EQ(Read(2), 0x2222) << "the next one is right again";
}

class MicrowireEepromFileTest : public MicrowireEepromTest {
 protected:
  MicrowireEepromFileTest() : MicrowireEepromTest(MakePath()) {}
  static std::string MakePath() {
    s_path = TempPath("eeprom-main.bin");
    return s_path;
  }
  static inline std::string s_path;
};

TEST_F(MicrowireEepromFileTest, TheFileHoldsTheWordsLowByteFirst) {
  EXPECT_TRUE(m_eeprom.FileError().empty()) << m_eeprom.FileError();
  EXPECT_EQ(ReadFile(s_path), std::vector<uint8_t>(512, 0xFF)) << "created erased";
  Write(1, 0x5A00);  // byte 3 = 0x5A: the high half of word 1
  Pass(3 * kNsPerMs);
  const std::vector<uint8_t> file = ReadFile(s_path);
  EXPECT_EQ(file[2], 0x00);
  EXPECT_EQ(file[3], 0x5A);
  SimClock clock;
  MicrowireEeprom again(clock, s_path);
  EXPECT_EQ(again.PeekWord(1), 0x5A00);
  EXPECT_EQ(again.PeekByte(3), 0x5A);
}

// On a supply shared with other parts, each programming cycle counts as a
// write: the cut one leaves the word as it was, or erased with partial
// damage, and the dead part takes no further instruction.
TEST_F(MicrowireEepromTest, APowerCutDuringAProgrammingCycleStopsThePart) {
  for (const CutDamage damage : {CutDamage::None, CutDamage::Partial}) {
    SCOPED_TRACE(static_cast<int>(damage));
    PowerCutSwitch power;
    int cuts = 0;
    power.SetHandler([&] { ++cuts; });
    m_eeprom.UsePowerCutSwitch(power);
    Load(0x1000);
    power.CountWrite();  // another part's write
    power.Arm(1, damage);
    Write(4, 0xBEEF);
    EXPECT_LT(WaitReady(10 * kNsPerMs), 10 * kNsPerMs);
    Cs(false);
    Write(5, 0xCAFE);  // the power fails here
    EXPECT_EQ(cuts, 1);
    EXPECT_TRUE(power.PoweredOff());
    Write(6, 0x0000);
    EXPECT_EQ(m_eeprom.PeekWord(4), 0xBEEF);
    EXPECT_EQ(m_eeprom.PeekWord(5), damage == CutDamage::None ? 0x1005 : 0xFFFF);
    EXPECT_EQ(m_eeprom.PeekWord(6), 0x1006);
    EXPECT_EQ(power.Writes(), 3u);
  }
}

}  // namespace
}  // namespace sim
