// The DSP stand-in: it starts when its module is enabled and released at a
// boot address where a program lies, answers the boot handshake and then
// the link's handshake, stays silent over garbage, and its switches.
#include "sim/dsp/dsp_core.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "sim/soc/psc.h"
#include "sim/soc/syscfg.h"
#include "sim/testing/board_fixture.h"
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
  PutText(DspCore::kL2, images::kDspInternalEntryMarker);
  PowerUpAt(board, DspCore::kL2);
  SetWord(DspCore::kRequestWord, DspCore::kAsk);
  Run(DspCore::kBootTime + DspCore::kPollPeriod);
  SetWord(DspCore::kControlWord, DspCore::kLinkHello);
  Run(2 * DspCore::kPollPeriod);
  SetWord(DspCore::kControlWord, DspCore::kLinkStart);
  Run(2 * DspCore::kPollPeriod);
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

}  // namespace
}  // namespace sim
