// The DSP stand-in: it starts when its module is enabled and released at a
// boot address where a program lies, answers the boot handshake and then
// the link's handshake, stays silent over garbage, and its switches.
#include "sim/dsp/dsp_core.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include "sim/fpga/fpga_config_port.h"
#include "sim/fpga/fpga_main_block.h"
#include "sim/fpga/head_drive_block.h"
#include "sim/mechanism/print_recorder.h"
#include "sim/soc/gpio.h"
#include "sim/soc/psc.h"
#include "sim/soc/syscfg.h"
#include "sim/testing/board_fixture.h"
#include "tests/support/test_images.h"
#include "tools/images/checksums.h"
#include "tools/images/dsp_image.h"

namespace sim {
namespace {

constexpr uint32_t kMdctlDsp = PowerSleepController::kMdctl0 + 4 * Psc0::kModuleDsp;
constexpr uint32_t kLocalReset = 1u << 8;

// What the firmware does: the boot address, the module enabled with its
// local reset held, the power transition, then the release.
void PowerUpAt(Board& board, PhysAddr entry) {
  SystemConfig& syscfg = *board.FindDevice<SystemConfig>();
  Psc0& psc = *board.FindDevice<Psc0>();
  syscfg.Write(SystemConfig::kKick0, 4, SystemConfig::kKick0Unlock);
  syscfg.Write(SystemConfig::kKick1, 4, SystemConfig::kKick1Unlock);
  syscfg.Write(SystemConfig::kDspBootAddr, 4, entry | 0x2A5u);
  psc.Write(kMdctlDsp, 4, 3);
  psc.Write(PowerSleepController::kPtcmd, 4, 2);
  RunBoardFor(board, PowerSleepController::kTransitionTime);
  psc.Write(kMdctlDsp, 4, 3 | kLocalReset);
}

class DspStandIn : public ::testing::Test {
 protected:
  void Run(Nanos dt) { RunBoardFor(board, dt); }
  void PutText(PhysAddr addr, const char* text) {
    std::memcpy(board.GetBus().RamPointer(addr, 32), text, std::strlen(text) + 1);
  }
  uint16_t Word(PhysAddr addr) {
    const uint8_t* p = board.GetBus().RamPointer(addr, 2);
    return static_cast<uint16_t>(p[0] | p[1] << 8);
  }
  void SetWord(PhysAddr addr, uint16_t value) {
    uint8_t* p = board.GetBus().RamPointer(addr, 2);
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
  }
  // The internal program booted, answering the request, and linked.
  void BootAndLink() {
    PutText(DspCore::kL2, images::kDspInternalEntryMarker);
    PowerUpAt(board, DspCore::kL2);
    SetWord(DspCore::kRequestWord, DspCore::kAsk);
    Run(DspCore::kBootTime + DspCore::kPollPeriod);
    SetWord(DspCore::kControlWord, DspCore::kLinkHello);
    Run(2 * DspCore::kPollPeriod);
    SetWord(DspCore::kControlWord, DspCore::kLinkStart);
    Run(2 * DspCore::kPollPeriod);
  }

  Board board{BoardConfig{}};
  SystemConfig& syscfg = board.AddDevice<SystemConfig>(board);
  Psc0& psc = board.AddDevice<Psc0>(board);
  DspCore& dsp = board.AddDevice<DspCore>(board);
};

TEST(DspStandInRuns, StartsAndAnswersAsItsProgramAndSwitchesSay) {
  struct Case {
    const char* name;
    PhysAddr entry;
    std::function<void(DspCore&)> setUp;
    DspCore::Program program;
    uint16_t answer;  // 0: none
    bool bModuleEnabled;
  };
  const Case cases[] = {
      {"the internal program", DspCore::kL2, [](DspCore&) {}, DspCore::Program::Internal, 1, true},
      {"the SDRAM program", 0xC5010000u, [](DspCore&) {}, DspCore::Program::Sdram, 1, true},
      {"answers 2", DspCore::kL2, [](DspCore& d) { d.SetAnswer(2); }, DspCore::Program::Internal, 2, true},
      {"silent", DspCore::kL2, [](DspCore& d) { d.SetSilent(true); }, DspCore::Program::Internal, 0, true},
      {"a wrong entry runs garbage", DspCore::kL1P, [](DspCore&) {}, DspCore::Program::Garbage, 0, true},
      {"an unmapped entry", 0x12000000u, [](DspCore&) {}, DspCore::Program::Garbage, 0, true},
      {"power transition stuck", DspCore::kL2, [](DspCore& d) { d.StickPowerTransition(); },
       DspCore::Program::None, 0, false},
      {"module never enabled", DspCore::kL2, [](DspCore& d) { d.NeverEnable(); }, DspCore::Program::None, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Board b{BoardConfig{}};
    b.AddDevice<SystemConfig>(b);
    Psc0& p = b.AddDevice<Psc0>(b);
    DspCore& d = b.AddDevice<DspCore>(b);
    std::memcpy(b.GetBus().RamPointer(DspCore::kL2, 32), images::kDspInternalEntryMarker,
                sizeof images::kDspInternalEntryMarker);
    std::memcpy(b.GetBus().RamPointer(0xC5010000u, 32), images::kDspSdramEntryMarker,
                sizeof images::kDspSdramEntryMarker);
    std::memcpy(b.GetBus().RamPointer(DspCore::kL1P, 32), images::kDspInternalEntryMarker, 8);
    c.setUp(d);
    PowerUpAt(b, c.entry);
    EXPECT_EQ(p.ModuleEnabled(Psc0::kModuleDsp), c.bModuleEnabled);
    EXPECT_EQ(d.RunningProgram(), c.program);
    if (c.program != DspCore::Program::None) {
      EXPECT_EQ(d.Entry(), c.entry);
    }
    uint8_t* pucWords = b.GetBus().RamPointer(DspCore::kRequestWord, 4);
    pucWords[0] = 0x01;
    pucWords[1] = 0x80;
    RunBoardFor(b, DspCore::kBootTime + 2 * DspCore::kPollPeriod);
    EXPECT_EQ(pucWords[2] | pucWords[3] << 8, c.answer);
    EXPECT_EQ(d.Answers(), c.answer != 0 ? 1u : 0u);
    EXPECT_TRUE(b.Faults().empty());
  }
}

// Held in local reset it stops; released again it starts anew and answers
// the next request; it never answers without one.
TEST_F(DspStandIn, EachReleaseIsAStartOfItsOwn) {
  PutText(DspCore::kL2, images::kDspInternalEntryMarker);
  PowerUpAt(board, DspCore::kL2);
  Run(DspCore::kLookLimit);
  EXPECT_EQ(Word(DspCore::kAnswerWord), 0) << "no request, no answer";
  EXPECT_EQ(dsp.Answers(), 0u);
  psc.Write(kMdctlDsp, 4, 3);
  EXPECT_FALSE(dsp.Running());
  SetWord(DspCore::kRequestWord, DspCore::kAsk);
  Run(DspCore::kLookLimit);
  EXPECT_EQ(Word(DspCore::kAnswerWord), 0) << "held in reset";
  psc.Write(kMdctlDsp, 4, 3 | kLocalReset);
  EXPECT_TRUE(dsp.Running());
  EXPECT_EQ(dsp.Starts(), 2u);
  Run(DspCore::kBootTime + DspCore::kPollPeriod);
  EXPECT_EQ(Word(DspCore::kAnswerWord), 1);
}

// After its boot answer the program echoes the link's hello and answers the
// start as its link switch says; it takes no start before the hello.
TEST(DspStandInLink, AnswersTheLinkAsItsSwitchSays) {
  struct Case {
    DspCore::Link link;
    uint16_t start;
    uint16_t echo;    // the status word after the hello
    uint16_t answer;  // after the start
    uint32_t linkAnswers;
    bool bLinked;
  };
  const Case cases[] = {
      {DspCore::Link::Accepts, DspCore::kLinkStart, 0xFFFF, 0x0000, 1, true},
      {DspCore::Link::Accepts, DspCore::kLinkStartOther, 0xFFFF, 0x0000, 1, true},
      {DspCore::Link::Refuses, DspCore::kLinkStart, 0xFFFF, 0xFF00, 1, false},
      {DspCore::Link::EchoesOnly, DspCore::kLinkStart, 0xFFFF, 0xFFFF, 0, false},
      {DspCore::Link::Silent, DspCore::kLinkStart, 0x0000, 0x0000, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.link));
    Board b{BoardConfig{}};
    b.AddDevice<SystemConfig>(b);
    b.AddDevice<Psc0>(b);
    DspCore& d = b.AddDevice<DspCore>(b);
    d.SetLink(c.link);
    std::memcpy(b.GetBus().RamPointer(DspCore::kL2, 32), images::kDspInternalEntryMarker,
                sizeof images::kDspInternalEntryMarker);
    auto word = [&b](PhysAddr addr) -> uint8_t* { return b.GetBus().RamPointer(addr, 2); };
    auto set = [&](PhysAddr addr, uint16_t value) {
      word(addr)[0] = static_cast<uint8_t>(value);
      word(addr)[1] = static_cast<uint8_t>(value >> 8);
    };
    auto get = [&](PhysAddr addr) { return static_cast<uint16_t>(word(addr)[0] | word(addr)[1] << 8); };
    set(DspCore::kStatusWord, 0x1234);
    PowerUpAt(b, DspCore::kL2);
    set(DspCore::kControlWord, c.start);
    set(DspCore::kRequestWord, DspCore::kAsk);
    RunBoardFor(b, DspCore::kBootTime + 3 * DspCore::kPollPeriod);
    EXPECT_EQ(get(DspCore::kAnswerWord), 1);
    EXPECT_EQ(get(DspCore::kStatusWord), 0) << "a start before the hello is not taken; the program starts idle";
    set(DspCore::kControlWord, DspCore::kLinkHello);
    RunBoardFor(b, 2 * DspCore::kPollPeriod);
    EXPECT_EQ(get(DspCore::kStatusWord), c.echo);
    set(DspCore::kControlWord, c.start);
    RunBoardFor(b, 2 * DspCore::kPollPeriod);
    EXPECT_EQ(get(DspCore::kStatusWord), c.answer);
    EXPECT_EQ(d.LinkAnswers(), c.linkAnswers);
    EXPECT_EQ(d.Linked(), c.bLinked);
    EXPECT_TRUE(b.Faults().empty());
  }
}

// Linked, the program echoes modes and run bits in the status word and, on
// a run in the table mode, answers the table's checksum and keeps it.
TEST_F(DspStandIn, ALinkedProgramFollowsTheModesAndTakesTables) {
  BootAndLink();
  ASSERT_TRUE(dsp.Linked());
  SetWord(DspCore::kControlWord, 0);
  Run(DspCore::kModePoll);

  constexpr PhysAddr kStaging = 0xC7DF8000u;
  uint8_t* table = board.GetBus().RamPointer(kStaging, 512);
  for (uint32_t i = 0; i < 512; ++i) table[i] = static_cast<uint8_t>(i * 3);
  const uint16_t sum = images::OnesComplementSum16(table, 512);
  SetWord(DspCore::kTableIdWord, 8);
  SetWord(DspCore::kAddressHighWord, 0xC7DF);
  SetWord(DspCore::kAddressLowWord, 0x8000);
  struct Case {
    const char* what;
    std::function<void()> setUp;
    uint16_t checksum;
    uint16_t answer;
    bool bKept;
  };
  const Case cases[] = {
      {"the right sum", [] {}, sum, DspCore::kTableTaken, true},
      {"a wrong sum", [] {}, static_cast<uint16_t>(sum + 1), DspCore::kTableChecksumError, false},
      {"a forced checksum error", [this] { dsp.FailChecksums(1); }, sum, DspCore::kTableChecksumError, false},
      {"the next one is taken again", [] {}, sum, DspCore::kTableTaken, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.setUp();
    SetWord(DspCore::kTableChecksumWord, c.checksum);
    SetWord(DspCore::kTableAnswerWord, 0x5555);
    SetWord(DspCore::kControlWord, 4);
    Run(DspCore::kModePoll + DspCore::kModeEcho);
    EXPECT_EQ(Word(DspCore::kStatusWord), 4);
    SetWord(DspCore::kControlWord, 4 | DspCore::kRunBit);
    Run(DspCore::kModePoll);
    EXPECT_EQ(Word(DspCore::kStatusWord), 4) << "the run bit follows the work";
    Run(DspCore::kTableWork);
    EXPECT_EQ(Word(DspCore::kStatusWord), 4 | DspCore::kRunBit);
    EXPECT_EQ(Word(DspCore::kTableAnswerWord), c.answer);
    EXPECT_EQ(dsp.Table(8).size(), c.bKept ? 512u : dsp.Table(8).size());
    SetWord(DspCore::kControlWord, 0);
    Run(DspCore::kModePoll + DspCore::kModeEcho);
    EXPECT_EQ(Word(DspCore::kStatusWord), 0);
  }
  EXPECT_EQ(dsp.TableRuns(), 4u);
  EXPECT_EQ(std::memcmp(dsp.Table(8).data(), table, 512), 0);

  // Silent, nothing is echoed; slow, a mode after the set latency.
  dsp.SetModesSilent(true);
  SetWord(DspCore::kControlWord, 6);
  Run(10 * kNsPerMs);
  EXPECT_EQ(Word(DspCore::kStatusWord), 0);
  dsp.SetModesSilent(false);
  dsp.SetModeEchoLatency(20 * kNsPerMs);
  SetWord(DspCore::kControlWord, 0);
  Run(DspCore::kModePoll);
  SetWord(DspCore::kControlWord, 3);
  Run(19 * kNsPerMs);
  EXPECT_EQ(Word(DspCore::kStatusWord), 0);
  Run(2 * kNsPerMs);
  EXPECT_EQ(Word(DspCore::kStatusWord), 3);
  EXPECT_TRUE(board.Faults().empty());
}

TEST_F(DspStandIn, TheBootAddressNeedsTheUnlockedConfiguration) {
  syscfg.Write(SystemConfig::kDspBootAddr, 4, DspCore::kL2);
  EXPECT_EQ(board.Faults().size(), 1u);
  EXPECT_EQ(syscfg.DspBootAddress(), 0u);
  PowerUpAt(board, DspCore::kL2);
  EXPECT_EQ(syscfg.DspBootAddress(), DspCore::kL2);
  EXPECT_EQ(syscfg.Read(SystemConfig::kDspBootAddr, 4) & 0x3FFu, 0x2A5u) << "bits 0-9 read back";
}

// ---- print mode -------------------------------------------------------------------

// A linked stand-in with a gradation taken (entry L: 1000 + L) and the head
// drive beside it, a host picture of one row per test in SDRAM.
class DspPrintMode : public DspStandIn {
 protected:
  static constexpr PhysAddr kPicture = 0xC1000000u;
  static constexpr PhysAddr kStaging = 0xC7DF8000u;
  static constexpr uint32_t kRows = 32;

  DspPrintMode() {
    BootAndLink();
    // Table 1, the gradation.
    uint8_t* table = board.GetBus().RamPointer(kStaging, 512);
    for (uint32_t level = 0; level < 256; ++level) {
      table[2 * level] = static_cast<uint8_t>((1000 + level) & 0xFF);
      table[2 * level + 1] = static_cast<uint8_t>((1000 + level) >> 8);
    }
    SetWord(DspCore::kTableIdWord, 1);
    SetWord(DspCore::kAddressHighWord, 0xC7DF);
    SetWord(DspCore::kAddressLowWord, 0x8000);
    SetWord(DspCore::kTableChecksumWord, images::OnesComplementSum16(table, 512));
    Control(4);
    Control(4 | DspCore::kRunBit, DspCore::kTableWork);
    Control(0);
    // Plane M of a host picture 8 pixels wide, row r's green bytes all r.
    for (uint32_t r = 0; r < kRows; ++r) {
      uint8_t* row = board.GetBus().RamPointer(kPicture + 24 * r, 24);
      for (uint32_t p = 0; p < 8; ++p) {
        row[3 * p] = 0xFF;
        row[3 * p + 1] = static_cast<uint8_t>(r);
        row[3 * p + 2] = 0xFF;
      }
    }
    SetWord(DspCore::kPlaneCodeWord, 1);
    SetWord(DspCore::kColourByteWord, 1);
    SetWord(DspCore::kRowLengthWord, 8);
    SetWord(DspCore::kHeadWidthWord, 2560);
    SetWord(DspCore::kAddressHighWord, 0xC100);
    SetWord(DspCore::kAddressLowWord, 0x0000);
    Control(DspCore::kModePrint, DspCore::kModeEcho);
  }
  // Writes the control word and runs until the stand-in has seen it and
  // done what takes `work`.
  void Control(uint16_t value, Nanos work = DspCore::kModeEcho) {
    SetWord(DspCore::kControlWord, value);
    Run(DspCore::kModePoll + work);
  }
  // The firmware's side of one line: the row, the run bit, the echo, the
  // run bit cleared. Runs `dt` after setting the run bit.
  void RunBit(uint16_t row, Nanos dt = DspCore::kLinePoll + DspCore::kLineWork) {
    SetWord(DspCore::kRowWord, row);
    SetWord(DspCore::kControlWord, DspCore::kModePrint | DspCore::kRunBit);
    Run(dt);
  }
  uint16_t Status() { return Word(DspCore::kStatusWord); }
  // The word the line puts on the picture's first dot, (2560 - 8) / 2.
  uint16_t FirstDotOf(uint32_t bank) { return heads.LineWord(bank, 1276); }

  Psc1& psc1 = board.AddDevice<Psc1>(board);
  GpioController& gpio = board.AddDevice<GpioController>(board);
  FpgaConfigPort& port = board.AddDevice<FpgaConfigPort>(board, gpio);
  FpgaMainBlock& main = board.AddDevice<FpgaMainBlock>(board, gpio, port, 3);
  HeadDriveBlock& heads = board.AddDevice<HeadDriveBlock>(board, gpio, port, main);
  PrintRecorder& recorder = board.AddDevice<PrintRecorder>(heads);
};

// Each run bit gives one line of the row the words name, into the bank the
// drive does not hold, then the echo; the run bit cleared clears the echo.
TEST_F(DspPrintMode, EachRunBitComputesOneLineIntoTheSpareBankThenEchoes) {
  ASSERT_EQ(Status(), DspCore::kModePrint);
  ASSERT_TRUE(dsp.InPrintMode());
  const uint32_t session = dsp.PrintSession();
  for (uint16_t row = 0; row < 4; ++row) {
    SCOPED_TRACE(row);
    const uint32_t spare = heads.SpareBank();
    heads.SetDriveBank(spare ^ 1u);
    RunBit(row, DspCore::kLinePoll);
    EXPECT_EQ(Status(), DspCore::kModePrint) << "the work takes its time";
    Run(DspCore::kLineWork);
    EXPECT_EQ(Status(), DspCore::kModePrint | DspCore::kRunBit);
    EXPECT_EQ(heads.LastCompleted(), spare);
    EXPECT_EQ(FirstDotOf(spare), 1000 + 255 - row) << "M reads green, level 255 - byte";
    EXPECT_EQ(heads.SourceOf(spare), (HeadDriveBlock::LineSource{session, 1}));
    Run(DspCore::kModePoll);
    EXPECT_EQ(Status(), DspCore::kModePrint | DspCore::kRunBit) << "the echo stays while the run bit is set";
    SetWord(DspCore::kControlWord, DspCore::kModePrint);
    Run(DspCore::kLinePoll + DspCore::kRunEcho);
    EXPECT_EQ(Status(), DspCore::kModePrint);
    heads.SetDriveBank(spare);  // the drive takes the line
  }
  ASSERT_EQ(dsp.LineRuns().size(), 4u);
  for (uint32_t i = 0; i < 4; ++i) {
    const DspCore::LineRun& run = dsp.LineRuns()[i];
    EXPECT_EQ(run.index, i);
    EXPECT_EQ(run.session, session);
    EXPECT_EQ(run.words.row, i);
    EXPECT_EQ(run.words.base, kPicture);
    EXPECT_EQ(run.done - run.at, DspCore::kLineWork);
  }
  // Leaving print mode ends the session: the banks hold no plane's line.
  Control(0);
  EXPECT_FALSE(dsp.InPrintMode());
  EXPECT_EQ(heads.SourceOf(0), HeadDriveBlock::LineSource{});
  EXPECT_EQ(heads.SourceOf(1), HeadDriveBlock::LineSource{});
  Control(DspCore::kModePrint);
  EXPECT_EQ(dsp.PrintSession(), session + 1);
  EXPECT_TRUE(board.Faults().empty());
}

// The words are read when the run bit is seen: a row written during the
// work is the next line's.
TEST_F(DspPrintMode, TheWordsAreReadWhenTheRunBitIsSeen) {
  RunBit(2, DspCore::kLinePoll);
  SetWord(DspCore::kRowWord, 3);
  Run(DspCore::kLineWork);
  EXPECT_EQ(FirstDotOf(heads.LastCompleted()), 1000 + 253);
}

// The switches: slow lines, a late echo drop, silence; a run bit set again
// before the echo dropped starts no line until it drops.
TEST_F(DspPrintMode, SlowLinesLateEchoDropsAndSilence) {
  struct Case {
    const char* what;
    std::function<void()> set;
    // From the run bit, and from its clearing, both after the poll that
    // sees it (up to kLinePoll); 0: never.
    Nanos echoAfter;
    Nanos dropAfter;
  };
  const Case cases[] = {
      {"as built", [] {}, DspCore::kLineWork, DspCore::kRunEcho},
      {"a slow line", [this] { dsp.SlowLines(1, 1); }, DspCore::kSlowLineWork, DspCore::kRunEcho},
      {"the echo dropped late", [this] { dsp.SetEchoDropDelay(3 * kNsPerMs); }, DspCore::kLineWork, 3 * kNsPerMs},
      {"silent", [this] { dsp.SetModesSilent(true); }, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    dsp.SlowLines(0, 0);
    dsp.SetEchoDropDelay(DspCore::kRunEcho);
    dsp.SetModesSilent(false);
    Control(0);
    Control(DspCore::kModePrint);
    RunBit(0);  // line 0 of the session
    SetWord(DspCore::kControlWord, DspCore::kModePrint);
    Run(DspCore::kLinePoll + DspCore::kRunEcho);
    ASSERT_EQ(Status(), DspCore::kModePrint);
    c.set();
    const size_t runs = dsp.LineRuns().size();
    // Line 1: watch the echo come and go.
    SetWord(DspCore::kControlWord, DspCore::kModePrint | DspCore::kRunBit);
    Nanos echo = 0;
    for (Nanos t = 0; t < 20 * kNsPerMs && echo == 0; t += kNsPerUs) {
      Run(kNsPerUs);
      if (Status() & DspCore::kRunBit) echo = t + kNsPerUs;
    }
    auto afterPoll = [](Nanos seen, Nanos expected) {
      return expected == 0 ? seen == 0 : seen > expected && seen <= expected + DspCore::kLinePoll;
    };
    EXPECT_TRUE(afterPoll(echo, c.echoAfter)) << echo;
    SetWord(DspCore::kControlWord, DspCore::kModePrint);
    Nanos drop = 0;
    for (Nanos t = 0; t < 20 * kNsPerMs && drop == 0 && echo != 0; t += kNsPerUs) {
      Run(kNsPerUs);
      if ((Status() & DspCore::kRunBit) == 0) drop = t + kNsPerUs;
    }
    EXPECT_TRUE(afterPoll(drop, c.dropAfter)) << drop;
    EXPECT_EQ(dsp.LineRuns().size(), runs + (c.echoAfter != 0 ? 1u : 0u));
  }

  // A run bit set again while the echo still stands is no new line until
  // the echo drops.
  dsp.SetModesSilent(false);
  dsp.SetEchoDropDelay(3 * kNsPerMs);
  Control(0);
  Control(DspCore::kModePrint);
  RunBit(0);
  SetWord(DspCore::kControlWord, DspCore::kModePrint);
  Run(DspCore::kLinePoll);
  const size_t runs = dsp.LineRuns().size();
  RunBit(1, kNsPerMs);
  EXPECT_EQ(dsp.LineRuns().size(), runs) << "the echo of the line before still stands";
  Run(3 * kNsPerMs);
  EXPECT_EQ(dsp.LineRuns().size(), runs + 1);
  EXPECT_EQ(dsp.LineRuns().back().words.row, 1);
  EXPECT_TRUE(board.Faults().empty());
}

// ---- image modes ----------------------------------------------------------------

// A linked stand-in and a host picture of colour bars, 16 pixels by 40
// rows, with a request for all of it into a destination whose bytes are
// 0xAA until written.
class DspImageMode : public DspStandIn {
 protected:
  static constexpr PhysAddr kPicture = 0xC1000000u;
  static constexpr PhysAddr kDestination = 0xC5A00000u;
  static constexpr uint16_t kWidth = 16, kLines = 40;

  DspImageMode() {
    BootAndLink();
    const std::vector<uint8_t>& bytes = picture.bytes;
    std::copy(bytes.begin(), bytes.end(), board.GetBus().RamPointer(kPicture, static_cast<uint32_t>(bytes.size())));
    std::fill_n(Destination(), (kLines + 1) * kWidth, 0xAA);
    const uint16_t words[] = {kWidth, kLines, kWidth, kLines, 5, 6,
                              0x0000, 0xC100, 0x0000, 0xC100, 0x0000, 0xC100,  // sources, low word first
                              0x0000, 0xC5A0,                                  // destination
                              0, 0, 0, 0};
    for (uint32_t i = 0; i < sizeof words / sizeof words[0]; ++i) SetWord(DspCore::kImageRequestWords + 2 * i, words[i]);
    SetWord(DspCore::kImageLinesDoneWord, 0);
  }
  uint8_t* Destination() { return board.GetBus().RamPointer(kDestination, (kLines + 1) * kWidth); }
  std::vector<uint8_t> DestinationRow(uint32_t line) {
    return std::vector<uint8_t>(Destination() + line * kWidth, Destination() + (line + 1) * kWidth);
  }
  std::vector<uint8_t> RuleRow(uint16_t mode, uint32_t line) {
    ImageJobWords w = dsp.ImageRuns().back().words;
    w.mode = mode;
    std::vector<uint8_t> row(kWidth);
    image_job::ComputeRow(
        w, line, [this](uint32_t addr, uint32_t bytes) -> const uint8_t* { return board.GetBus().RamPointer(addr, bytes); },
        row.data());
    return row;
  }
  // The mode, then the run bit from the first line word `first`; runs up
  // to the run bit's echo (false: none within 5 ms).
  bool Kick(uint16_t mode, uint16_t first) {
    SetWord(DspCore::kImageFirstLineWord, first);
    SetWord(DspCore::kControlWord, mode);
    Run(DspCore::kModePoll + DspCore::kModeEcho);
    SetWord(DspCore::kControlWord, mode | DspCore::kRunBit);
    for (Nanos t = 0; t < 5 * kNsPerMs; t += kNsPerUs) {
      if (Word(DspCore::kStatusWord) == (mode | DspCore::kRunBit)) return true;
      Run(kNsPerUs);
    }
    return false;
  }
  uint16_t LinesDone() { return Word(DspCore::kImageLinesDoneWord); }

  const testsupport::TestImage picture = testsupport::ColourBars(kWidth, kLines);
};

// Rows at the set rate from the first line word on, the progress after
// each; the run bit cleared stops the work and keeps the progress; the
// next kick goes on from the line word and the work ends at the total.
TEST_F(DspImageMode, RowsAtTheRateFromTheFirstLineStoppedByRunZeroAndGoingOn) {
  dsp.SetImageRate(4);
  ASSERT_TRUE(Kick(6, 0));
  ASSERT_EQ(dsp.ImageRuns().size(), 1u);
  const ImageJobWords& w = dsp.ImageRuns()[0].words;
  EXPECT_EQ(w.sources[0], kPicture) << "low word first";
  EXPECT_EQ(w.destination, kDestination);
  EXPECT_EQ(w.margins[1], 6);
  Run(kNsPerMs - 1);
  EXPECT_EQ(LinesDone(), 3) << "every 250 us";
  Run(1);
  EXPECT_EQ(LinesDone(), 4);
  Run(4 * kNsPerMs);
  EXPECT_EQ(LinesDone(), 20);
  // Run 0: the work stops when it is seen; the progress stays.
  SetWord(DspCore::kControlWord, 6);
  Run(DspCore::kModePoll + DspCore::kRunEcho);
  const uint16_t stopped = LinesDone();
  EXPECT_GE(stopped, 20);
  EXPECT_LE(stopped, 22);
  EXPECT_EQ(Word(DspCore::kStatusWord), 6);
  EXPECT_FALSE(dsp.ImageWorkRunning());
  Run(10 * kNsPerMs);
  EXPECT_EQ(LinesDone(), stopped);
  EXPECT_EQ(dsp.ImageRuns()[0].linesDone, stopped);
  EXPECT_EQ(DestinationRow(stopped), std::vector<uint8_t>(kWidth, 0xAA)) << "not yet written";
  // The rest from the line word the firmware writes at its kick.
  ASSERT_TRUE(Kick(6, stopped));
  EXPECT_EQ(dsp.ImageRuns().back().words.firstLine, stopped);
  Run(20 * kNsPerMs);
  EXPECT_EQ(LinesDone(), kLines);
  EXPECT_FALSE(dsp.ImageWorkRunning()) << "the work ends at the total";
  EXPECT_EQ(dsp.ImageRowsWritten(), kLines);
  for (uint32_t line = 0; line < kLines; ++line) {
    EXPECT_EQ(DestinationRow(line), RuleRow(6, line)) << "line " << line;
  }
  EXPECT_EQ(DestinationRow(kLines), std::vector<uint8_t>(kWidth, 0xAA)) << "nothing past the total";
  EXPECT_NE(RuleRow(6, 0), std::vector<uint8_t>(kWidth, 0)) << "the bars print something";
  // A kick with nothing left writes nothing more.
  ASSERT_TRUE(Kick(6, kLines));
  Run(5 * kNsPerMs);
  EXPECT_EQ(dsp.ImageRowsWritten(), kLines);
  EXPECT_TRUE(board.Faults().empty());
}

// The switches and the copy mode: lines done 12 ms after the echo.
TEST_F(DspImageMode, RateStallCopyAndSilence) {
  struct Case {
    const char* what;
    std::function<void()> set;
    uint16_t mode;
    bool bEcho;
    uint16_t linesDone;
    bool bRunning;
    uint8_t lastByte;  // of row 0 (the black bar)
  };
  const Case cases[] = {
      {"the built-in rate", [] {}, 6, true, kLines, false, 0xE7},
      {"one line per ms", [this] { dsp.SetImageRate(1); }, 6, true, 12, true, 0xE7},
      {"a stall at 7", [this] { dsp.StallImageAt(7); }, 6, true, 7, true, 0xE7},
      {"the copy mode", [] {}, 7, true, kLines, false, 0},
      {"silent modes", [this] { dsp.SetModesSilent(true); }, 6, false, 0, false, 0xAA},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    dsp.SetImageRate(DspCore::kImageLinesPerMs);
    dsp.StallImageAt(UINT32_MAX);
    dsp.SetModesSilent(false);
    SetWord(DspCore::kControlWord, 0);
    Run(DspCore::kModePoll + DspCore::kModeEcho);
    std::fill_n(Destination(), (kLines + 1) * kWidth, 0xAA);
    SetWord(DspCore::kImageLinesDoneWord, 0);
    c.set();
    EXPECT_EQ(Kick(c.mode, 0), c.bEcho);
    Run(12 * kNsPerMs);
    EXPECT_EQ(LinesDone(), c.linesDone);
    EXPECT_EQ(dsp.ImageWorkRunning(), c.bRunning);
    EXPECT_EQ(Destination()[kWidth - 1], c.lastByte);
  }
  EXPECT_TRUE(board.Faults().empty());
}

// ---- the chain: line timer, head drive, DSP and record --------------------------

// The print line's part, played by the test on the board's own timing: the
// first row fetched ahead, two lead lines, the line trigger, then at each
// line pin the handshake (the echo clear, the run bit, its echo, the run bit
// cleared) and the next row's words, except at the first line, which only
// steps. Each handshake computes the row fetched before it.
class PrintChain : public DspPrintMode {
 protected:
  static constexpr Nanos kStep = kNsPerUs;

  void WaitFor(bool bRunEcho) {
    for (Nanos t = 0; t < 10 * kNsPerMs && ((Status() & DspCore::kRunBit) != 0) != bRunEcho; t += kStep) Run(kStep);
  }
  void Handshake() {
    WaitFor(false);
    SetWord(DspCore::kControlWord, DspCore::kModePrint | DspCore::kRunBit);
    WaitFor(true);
    SetWord(DspCore::kControlWord, DspCore::kModePrint);
  }
  // The plane: `lines` lines of the line timer at 2 ms.
  void PrintPlane(uint16_t lines) {
    Reg(HeadDriveBlock::kBufferCtrl, 0);
    for (uint32_t bank = 0; bank < 2; ++bank) {
      Reg(HeadDriveBlock::kBufferCtrl, static_cast<uint16_t>(bank));
      for (uint32_t i = 0; i < HeadDriveBlock::kLineWords; ++i) {
        Write(HeadDriveBlock::kBank1 + HeadDriveBlock::kLineBuffer + 2 * i, 0);
      }
    }
    Reg(HeadDriveBlock::kBufferCtrl, HeadDriveBlock::kBufferOwnedByDrive);
    main.Write(FpgaMainBlock::kLinePeriodLo, 2, 0x86A0);
    main.Write(FpgaMainBlock::kLinePeriodHi, 2, 0x0001);
    uint16_t row = 0;
    SetWord(DspCore::kRowWord, row++);  // fetched ahead
    for (int lead = 0; lead < 2; ++lead) {
      Handshake();
      SetWord(DspCore::kRowWord, row++);
      Run(kNsPerMs);
    }
    main.Write(FpgaMainBlock::kLineMode, 2, lines);
    main.Write(FpgaMainBlock::kTimerCtrl, 2, 0x0000);
    main.Write(FpgaMainBlock::kTimerCtrl, 2, 0x0004);
    // The line pin's falling edge is latched, as the interrupt is.
    constexpr uint32_t kPinBit = 1u << FpgaMainBlock::kLinePin;
    gpio.Write(GpioController::kPairBase + GpioController::kSetFalTrig, 4, kPinBit);
    for (uint16_t line = 0; line < lines; ++line) {
      for (Nanos t = 0; t < 10 * kNsPerMs && (gpio.IntStatus(0) & kPinBit) == 0; t += kStep) Run(kStep);
      gpio.Write(GpioController::kPairBase + GpioController::kIntStat, 4, kPinBit);
      if (line == 0) continue;  // the first line only steps
      Handshake();
      SetWord(DspCore::kRowWord, row++);
    }
    Run(4 * kNsPerMs);
  }
  uint32_t Reg(uint32_t offset) { return board.GetBus().Find(HeadDriveBlock::kBank1, 2)->device->Read(offset, 2); }
  void Reg(uint32_t offset, uint16_t value) { Write(HeadDriveBlock::kBank1 + offset, value); }
  void Write(PhysAddr addr, uint16_t value) {
    const Bus::Region* r = board.GetBus().Find(addr, 2);
    r->device->Write(addr - r->first, 2, value);
  }
  // The row a recorded line printed: the green byte is the row.
  static uint16_t RowOf(const PrintRecorder::Line& line) { return static_cast<uint16_t>(1255 - line.words[1276]); }

  uint32_t linesSeen = 0;
  Nanos late = 0;
  uint32_t lateLines = 0;
};

// Line 1 prints the row the last lead line computed; line 2 has no new line
// (the first line's pin only steps): a stale copy; from line 3 each prints
// the row its line before handed over. A late line interrupt leaves the
// next line stale, a copy of the one before it.
TEST_F(PrintChain, EachLinePrintsTheRowHandedOverAtTheLineBeforeWithOneStaleLine) {
  struct Case {
    const char* what;
    Nanos late;
    uint32_t lateLines;
    std::vector<uint16_t> rows;
    std::vector<bool> stale;
  };
  const Case cases[] = {
      {"on time", 0, 0, {1, 1, 2, 3, 4, 5, 6, 7}, {false, true, false, false, false, false, false, false}},
      // Lines 4 and 5 raise their interrupt 1.99 ms late. Row 4's line is
      // done after line 5 passed: line 5 is stale; line 6 prints row 4.
      // Row 5's line and row 6's (line 6's interrupt, on time, waits for
      // the late one before it) both go into the bank the drive does not
      // hold: row 5 is overwritten and line 7 prints row 6.
      {"two late interrupts", 1990 * kNsPerUs, 2, {1, 1, 2, 3, 3, 4, 6, 7},
       {false, true, false, false, true, false, false, false}},
  };
  // The switch takes lines 4 and 5.
  main.AddLineObserver([this] {
    if (++linesSeen == 4 && late != 0) main.SetLineInterruptLate(late, lateLines);
  });
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const uint32_t session = dsp.PrintSession();
    const uint16_t lines = static_cast<uint16_t>(c.rows.size());
    linesSeen = 0;
    late = c.late;
    lateLines = c.lateLines;
    PrintPlane(lines);
    const std::vector<PrintRecorder::Line>& recorded = recorder.Lines(0, 1);
    ASSERT_EQ(recorded.size(), lines);
    ASSERT_EQ(recorder.Find(0, 1)->session, session);
    for (size_t i = 0; i < recorded.size(); ++i) {
      EXPECT_EQ(RowOf(recorded[i]), c.rows[i]) << "line " << i + 1;
      EXPECT_EQ(recorded[i].bStale, c.stale[i]) << "line " << i + 1;
      EXPECT_FALSE(recorded[i].bOverrun) << "line " << i + 1;
      if (recorded[i].bStale) {
        EXPECT_EQ(recorded[i].words, recorded[i - 1].words) << "a stale line copies the one before";
      }
    }
    // The stand-in computed the prefetched row and every row after it.
    std::vector<uint16_t> taken;
    for (const DspCore::LineRun& run : dsp.LineRuns()) {
      if (run.session == session) taken.push_back(run.words.row);
    }
    EXPECT_EQ(taken.front(), 0);
    EXPECT_EQ(taken.size(), 2u + lines - 1u);
    Control(0);
    Control(DspCore::kModePrint);
  }
  EXPECT_TRUE(board.Faults().empty());
}

}  // namespace
}  // namespace sim
