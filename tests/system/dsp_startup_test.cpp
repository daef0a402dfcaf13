// The printer's start-up checks the DSP image in flash, boots the DSP from
// it in two stages and takes the link's handshake; a bad image (nothing is
// loaded then) or a DSP that refuses the link raises the DSP error once,
// and the start-up goes on to the main loop. Its last step sends table 10
// (4096 bytes of 128) to the DSP; a DSP that does not run raises 0x116.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "firmware/control/error_manager.h"
#include "sim/dsp/dsp_core.h"
#include "sim/soc/psc.h"
#include "sim/state_dir.h"
#include "tests/support/machine_test.h"
#include "tools/images/flash_map.h"

namespace {

using testsupport::Ms;

constexpr uint32_t kDspError = 0x0109;
constexpr uint32_t kDspTableTimeout = 0x0116;
// The first boot of a fresh state directory, and a silent DSP program's
// two 2 s handshake attempts.
constexpr sim::Nanos kToMainLoop =
    testsupport::kStartUp + testsupport::kFirstBootFormat + testsupport::kEepromBackup + Ms(6000);

class DspStartUp : public testsupport::MachineTest {
 protected:
  void BootPrinter(bool bBlankDsp, sim::DspCore::Link link = sim::DspCore::Link::Accepts) {
    const std::string dir = testsupport::MakeTempDir();
    const sim::StateDir state(dir);
    ASSERT_TRUE(state.Prepare());
    if (bBlankDsp) {
      std::fstream flash(state.FlashPath(), std::ios::in | std::ios::out | std::ios::binary);
      flash.seekp(images::kAreaDsp.offset);
      const std::string erased(images::kAreaDsp.bytes, '\xFF');
      flash.write(erased.data(), static_cast<std::streamsize>(erased.size()));
      ASSERT_TRUE(flash.good());
    }
    sim::MachineOptions options;
    options.stateDir = dir;
    options.dspLink = link;
    Boot(std::move(options));
    m_machine->RunUntil([this] { return m_machine->Logged("Main Loop ..."); }, kToMainLoop);
    ASSERT_TRUE(m_machine->Logged("Main Loop ..."));
  }
  static bool DspErrorSet() {
    uint32_t ulFlag = 0;
    g_ErrorMng.IsErrorSet(kDspError, &ulFlag);
    return ulFlag != 0;
  }
  sim::DspCore& Dsp() { return *m_machine->GetBoard().FindDevice<sim::DspCore>(); }
  uint16_t ControlWord() {
    const uint8_t* puc = m_machine->GetBoard().GetBus().RamPointer(sim::DspCore::kControlWord, 2);
    return static_cast<uint16_t>(puc[0] | puc[1] << 8);
  }
};

TEST_F(DspStartUp, TheSampleProgramRunsAtTheInternalEntry) {
  BootPrinter(false);
  EXPECT_TRUE(m_machine->Logged("[MAIN] DSP Initialize ..."));
  EXPECT_FALSE(DspErrorSet());
  EXPECT_EQ(Dsp().RunningProgram(), sim::DspCore::Program::Internal);
  EXPECT_EQ(Dsp().Entry(), sim::DspCore::kL2);
  EXPECT_EQ(Dsp().Answers(), 2u);
  EXPECT_TRUE(Dsp().Linked());
  EXPECT_EQ(ControlWord(), 0);
  EXPECT_TRUE(m_machine->GetBoard().FindDevice<sim::Psc0>()->ModuleEnabled(sim::Psc0::kModuleDsp));
  EXPECT_EQ(Dsp().Table(10), std::vector<uint8_t>(4096, 128));
  EXPECT_EQ(Dsp().TableRuns(), 1u);
  EXPECT_FALSE(IsErrorRaised(kDspTableTimeout));
}

// A blank image fails its check: nothing is loaded or started, the error
// is raised and the start-up goes on.
TEST_F(DspStartUp, ABlankFlashRaisesTheDspErrorAndStartUpGoesOn) {
  BootPrinter(true);
  EXPECT_TRUE(m_machine->Logged("[MAIN] DSP Initialize ..."));
  EXPECT_TRUE(DspErrorSet());
  EXPECT_EQ(Dsp().Starts(), 0u);
  EXPECT_FALSE(Dsp().Running());
  EXPECT_TRUE(m_machine->Logged("[MAIN] InitShMemUsb ..."));
  EXPECT_TRUE(IsErrorRaised(kDspTableTimeout));
}

// The programs boot, but the DSP refuses the link's start.
TEST_F(DspStartUp, ARefusedLinkRaisesTheDspError) {
  BootPrinter(false, sim::DspCore::Link::Refuses);
  EXPECT_TRUE(DspErrorSet());
  EXPECT_EQ(Dsp().Answers(), 2u);
  EXPECT_EQ(Dsp().LinkAnswers(), 1u);
  EXPECT_FALSE(Dsp().Linked());
  EXPECT_EQ(ControlWord() & 0x0F, 0) << "the table transfer's switch back to idle";
  EXPECT_TRUE(m_machine->Logged("[MAIN] InitShMemUsb ..."));
  EXPECT_TRUE(IsErrorRaised(kDspTableTimeout));
  EXPECT_TRUE(Dsp().Table(10).empty());
}

}  // namespace
