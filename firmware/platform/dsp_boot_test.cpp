// The DSP's start from its flash image on the board: the two loaders place
// every section, the SDRAM program is left held in reset and the internal
// one running; the handshake takes either answer, a silent DSP fails after
// two 2 s attempts, and each power-up wait gives up after 500 ms.
#include "firmware/platform/dsp_boot.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "firmware/platform/board_test_rig.h"
#include "firmware/platform/ioctl.h"
#include "sim/dsp/dsp_core.h"
#include "sim/soc/psc.h"
#include "sim/soc/syscfg.h"
#include "tools/images/dsp_image.h"
#include "tools/images/flash_map.h"

namespace {

using boardrig::BoardTest;
using testsupport::Ms;

// What the test body saw, in virtual ms.
struct Seen {
  int32_t lSdram = 99;
  int32_t lInternal = 99;
  int32_t lPowerUp = 99;
  bool bHeldAfterSdram = false;
  sim::Nanos startedAt = 0;
  sim::Nanos endedAt = 0;
};
Seen g_seen;

class DspBoot : public BoardTest {
 protected:
  void SetUp() override { g_seen = Seen{}; }
  sim::DspCore& Dsp() { return *TheBoard().FindDevice<sim::DspCore>(); }
  sim::Psc0& Psc() { return *TheBoard().FindDevice<sim::Psc0>(); }
  void LoadSampleImage() {
    const images::Bytes image = images::BuildDspImage();
    Flash().LoadImage(images::kAreaDsp.offset, image.data(), static_cast<uint32_t>(image.size()));
  }
  std::string TextAt(PhysAddr addr) {
    const auto* p = reinterpret_cast<const char*>(TheBoard().GetBus().RamPointer(addr, 32));
    return std::string(p, strnlen(p, 32));
  }
  static sim::Nanos Now() { return sim::Board::Current().Clock().Now(); }
};

TEST_F(DspBoot, TheSampleImageStartsInTwoStages) {
  BootWith([] {
    sim::DspCore& dsp = *sim::Board::Current().FindDevice<sim::DspCore>();
    g_seen.lSdram = LoadDspSdramImage(DSP_SDRAM_IMAGE_FLASH);
    g_seen.bHeldAfterSdram = !dsp.Running();
    g_seen.lInternal = LoadDspInternalImage(DSP_IMAGE_FLASH);
  });
  LoadSampleImage();
  Run();
  EXPECT_EQ(g_seen.lSdram, 0);
  EXPECT_TRUE(g_seen.bHeldAfterSdram) << "the SDRAM program is held in reset after its handshake";
  EXPECT_EQ(g_seen.lInternal, 0);
  const struct {
    PhysAddr addr;
    const char* text;
  } kSections[] = {
      {0xC5000000u, "BOM7300 DSP SDR 1"}, {0xC5008000u, "BOM7300 DSP SDR 2"}, {0xC5010000u, "BOM7300 DSP SDR 3"},
      {0x11E00000u, "BOM7300 DSP INT 1"}, {0x11F00000u, "BOM7300 DSP INT 2"}, {0x11800000u, "BOM7300 DSP INT 3"},
  };
  for (const auto& s : kSections) EXPECT_EQ(TextAt(s.addr), s.text) << std::hex << s.addr;
  EXPECT_EQ(Dsp().RunningProgram(), sim::DspCore::Program::Internal);
  EXPECT_EQ(Dsp().Entry(), DSP_INTERNAL_IMAGE_LAYOUT.ulEntry);
  EXPECT_EQ(Dsp().Starts(), 2u);
  EXPECT_EQ(Dsp().Answers(), 2u);
  EXPECT_TRUE(Psc().ModuleEnabled(sim::Psc0::kModuleDsp));
  EXPECT_FALSE(TheBoard().FindDevice<sim::SystemConfig>()->Unlocked()) << "locked again";
  const uint8_t* pucWords = TheBoard().GetBus().RamPointer(DSP_SHM_BASE, 4);
  EXPECT_EQ(pucWords[0] | pucWords[1] | pucWords[2] | pucWords[3], 0) << "the handshake words are left at 0";
}

// The print engine's words reach shared RAM at their addresses, little-endian,
// and come back as the DSP left them.
TEST_F(DspBoot, SharedWordsLieAtTheirAddresses) {
  static uint16_t s_ausRead[5];
  BootWith([] {
    const uint16_t usControl = 0x0013;
    const uint16_t usStatus = 0xA55A;
    const uint16_t ausRun[3] = {0x0102, 0x0304, 0x0506};
    WriteDspControl(&usControl);
    WriteDspStatus(&usStatus);
    WriteDspWords(0x80013100u, ausRun, 3);
    ReadDspControl(&s_ausRead[0]);
    ReadDspStatus(&s_ausRead[1]);
    ReadDspWords(0x80013FFCu, &s_ausRead[2], 2);
    DspShmRead16(0x0FFE, &s_ausRead[4]);
  });
  uint8_t* pucTop = TheBoard().GetBus().RamPointer(0x80013FFCu, 4);
  const uint8_t aucTop[4] = {0x11, 0x22, 0x33, 0x44};  // as the DSP left them
  std::memcpy(pucTop, aucTop, sizeof aucTop);
  Run();
  const uint8_t* pucShm = TheBoard().GetBus().RamPointer(DSP_SHM_BASE, 0x1000);
  EXPECT_EQ(pucShm[0xE00], 0x13);
  EXPECT_EQ(pucShm[0xE01], 0x00);
  EXPECT_EQ(pucShm[0xE02], 0x5A);
  EXPECT_EQ(pucShm[0xE03], 0xA5);
  const uint8_t aucRun[6] = {0x02, 0x01, 0x04, 0x03, 0x06, 0x05};
  EXPECT_EQ(std::memcmp(pucShm + 0x100, aucRun, sizeof aucRun), 0);
  EXPECT_EQ(s_ausRead[0], 0x0013);
  EXPECT_EQ(s_ausRead[1], 0xA55A);
  EXPECT_EQ(s_ausRead[2], 0x2211);
  EXPECT_EQ(s_ausRead[3], 0x4433);
  EXPECT_EQ(s_ausRead[4], 0x4433);
}

// The start of the internal program with the DSP as each switch makes it:
// the power-up's own result, the start's, and how long the start took (the
// soft timer counts whole system ticks, so a wait may end up to 1 ms early).
enum class DspSwitch { None, AnswerTwo, Silent, StuckTransition, NeverEnabled };
struct StartCase {
  const char* name;
  DspSwitch dspSwitch;
  int32_t lPowerUp;
  int32_t lStart;
  uint32_t ulMinMs;
  uint32_t ulMaxMs;
};

class DspStart : public DspBoot, public ::testing::WithParamInterface<StartCase> {
 protected:
  void Throw(DspSwitch s) {
    switch (s) {
      case DspSwitch::None:
        break;
      case DspSwitch::AnswerTwo:
        Dsp().SetAnswer(2);
        break;
      case DspSwitch::Silent:
        Dsp().SetSilent(true);
        break;
      case DspSwitch::StuckTransition:
        Dsp().StickPowerTransition();
        break;
      case DspSwitch::NeverEnabled:
        Dsp().NeverEnable();
        break;
    }
  }
};

TEST_P(DspStart, StartsAsTheDspAnswers) {
  const StartCase& c = GetParam();
  BootWith([] {
    // The power-up alone, on a DSP held in reset again afterwards, then the
    // whole start with its handshake.
    std::memcpy(PhysToHost(0x11800000u, 32), images::kDspInternalEntryMarker, sizeof images::kDspInternalEntryMarker);
    g_seen.lPowerUp = DspPowerUp(0x11800000u);
    DspHoldInReset();
    g_seen.startedAt = Now();
    g_seen.lInternal = StartDsp(0x11800000u, 0);
    g_seen.endedAt = Now();
  });
  Throw(c.dspSwitch);
  Run(boardrig::kLongRunLimit + Ms(2000));
  EXPECT_EQ(g_seen.lPowerUp, c.lPowerUp);
  EXPECT_EQ(g_seen.lInternal, c.lStart);
  const sim::Nanos took = g_seen.endedAt - g_seen.startedAt;
  EXPECT_GE(took, Ms(c.ulMinMs));
  EXPECT_LE(took, Ms(c.ulMaxMs));
}

// A failed power-up is not reported by itself: the handshake that follows
// fails after its two attempts.
INSTANTIATE_TEST_SUITE_P(
    Switches, DspStart,
    ::testing::Values(StartCase{"AnswersOne", DspSwitch::None, 0, 0, 0, 10},
                      StartCase{"AnswersTwo", DspSwitch::AnswerTwo, 0, 0, 0, 10},
                      StartCase{"SilentForTwoAttempts", DspSwitch::Silent, 0, -1, 3990, 4010},
                      StartCase{"PowerTransitionStuck", DspSwitch::StuckTransition, -1, -1, 4490, 4510},
                      StartCase{"ModuleNeverEnabled", DspSwitch::NeverEnabled, -2, -1, 4490, 4510}),
    [](const ::testing::TestParamInfo<StartCase>& p) { return std::string(p.param.name); });

}  // namespace
