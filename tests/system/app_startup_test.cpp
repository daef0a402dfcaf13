// The application start-up on whole printers: a blank machine reaches its
// main loop after every start-up line in order, connected on USB, with the
// errors its blank flash and EEPROMs and the placeholders of later parts
// raise; the sample printer raises none and settles in ready state A. The
// failure table is one table of cases, each the sample printer with one
// thing changed (its flash, its EEPROMs, a placeholder's answer); then the
// engine variant of every "Engine Version" provisioned before the boot, the
// pin edges, the imprint texts and the EEPROM backup.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "firmware/control/app_startup.h"
#include "firmware/control/engine_variant.h"
#include "firmware/control/error_manager.h"
#include "firmware/control/error_table.h"
#include "firmware/control/event_states.h"
#include "firmware/control/idle_supervisor.h"
#include "firmware/control/imprint_text.h"
#include "firmware/devices/settings.h"
#include "firmware/hostif/print_job_handlers.h"
#include "firmware/hostif/usb_comm.h"
#include "firmware/mechanism/cis_load_tuning.h"
#include "firmware/printengine/cis.h"
#include "firmware/printengine/cut_sequence.h"
#include "firmware/mechanism/feed_pinch.h"
#include "firmware/mechanism/main_pinch.h"
#include "firmware/sequences/mechanism_init.h"
#include "firmware/sequences/path_preparation.h"
#include "sim/dsp/dsp_core.h"
#include "sim/fpga/cis_window.h"
#include "sim/mechanism/head_supply.h"
#include "sim/mechanism/mechanism_inputs.h"
#include "sim/panel/panel.h"
#include "sim/run_boots.h"
#include "sim/soc/gpio.h"
#include "sim/state_dir.h"
#include "sim/usb/usb_host_port.h"
#include "tests/support/machine_test.h"
#include "tools/images/cis_calibration.h"
#include "tools/images/flash_map.h"
#include "tools/images/table_image.h"
#include "tools/images/main_image.h"

namespace {

using testsupport::Ms;

// The slowest start-up: the first boot's EEPROM format, the backup, and a
// silent DSP program's two handshake attempts.
constexpr sim::Nanos kToMainLoop =
    testsupport::kStartUp + testsupport::kFirstBootFormat + testsupport::kEepromBackup + Ms(8000);

using ErrorSet = std::set<uint32_t>;

// Every index of the error table that is raised.
ErrorSet RaisedErrors() {
  ErrorSet raised;
  for (const ErrorInfo* pRow = g_ErrorTable; pRow->ulIndex != ERROR_TABLE_END; ++pRow) {
    uint32_t ulFlag = 0;
    g_ErrorMng.IsErrorSet(pRow->ulIndex, &ulFlag);
    if (ulFlag != 0) raised.insert(pRow->ulIndex);
  }
  return raised;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void PatchFile(const std::string& path, uint32_t ulOffset, const std::vector<uint8_t>& bytes) {
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  file.seekp(ulOffset);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(file.good()) << path;
}

// Inverts one byte of a file: an image that no longer sums right.
void FlipByte(const std::string& path, uint32_t ulOffset) {
  const std::vector<uint8_t> bytes = ReadFile(path);
  ASSERT_LT(ulOffset, bytes.size()) << path;
  PatchFile(path, ulOffset, {static_cast<uint8_t>(~bytes[ulOffset])});
}

void EraseArea(const std::string& flashPath, const images::FlashArea& area) {
  PatchFile(flashPath, area.offset, std::vector<uint8_t>(area.bytes, 0xFF));
}

// The CIS calibration image in the flash file, and what the start-up
// loaded into the sensor's gain table.
constexpr uint32_t kCisSerialAt = images::kAreaCis.offset + images::kCisSerialOffset;
constexpr uint32_t kCisBlock2At = images::kAreaCis.offset + 2 * images::kCisBlockBytes;
sim::CisWindow& CisOf(sim::Machine& m) { return *m.GetBoard().FindDevice<sim::CisWindow>(); }
void ExpectGainsCleared(sim::Machine& m) {
  EXPECT_TRUE(m.Logged("[CIS] Error: CIS CalibData SumCheck Err"));
  EXPECT_FALSE(m.Logged("CisCalibData Set"));
  for (uint32_t p = 0; p < sim::CisWindow::kPixels; ++p) ASSERT_EQ(CisOf(m).Gain(p), 0) << p;
}
void ExpectBlock0Loaded(sim::Machine& m) {
  EXPECT_FALSE(m.Logged("[CIS] Error: CIS CalibData SumCheck Err"));
  EXPECT_TRUE(m.Logged("CisCalibData Set"));
  // The sample's unity gains, but for the packed backup in bytes 20-149.
  for (uint32_t p = 0; p < sim::CisWindow::kPixels; ++p) {
    if (p >= 20 && p <= 149) {
      EXPECT_GE(CisOf(m).Gain(p), 0x50) << p;
      EXPECT_LE(CisOf(m).Gain(p), 0xCF) << p;
    } else {
      ASSERT_EQ(CisOf(m).Gain(p), 128) << p;
    }
  }
}
// The serial number the calibration was made for, in flash.
void SetFlashCisSerial(const sim::StateDir& s, const char* pszSerial) {
  PatchFile(s.FlashPath(), kCisSerialAt, std::vector<uint8_t>(pszSerial, pszSerial + 8));
}
// "CisWrProgress" (main EEPROM 186) and the backup EEPROM's "Eeprom Backup"
// byte (120).
void SetCisRestoreMarks(const sim::StateDir& s, uint8_t ucProgress, uint8_t ucBackup) {
  PatchFile(s.MainEepromPath(), 186, {ucProgress});
  PatchFile(s.BackupEepromPath(), 120, {ucBackup});
}
testsupport::SamplePrinter EngineVersion(int version) {
  testsupport::SamplePrinter printer;
  printer.engineVersion = version;
  return printer;
}

class AppStartUp : public testsupport::MachineTest {
 protected:
  // The sample printer's state directory, not booted yet.
  std::string SamplePrinterDir(const testsupport::SamplePrinter& printer = {}) {
    const std::string dir = testsupport::MakeTempDir();
    std::string error;
    EXPECT_TRUE(testsupport::ProvisionSamplePrinter(dir, printer, &error)) << error;
    EXPECT_TRUE(sim::StateDir(dir).Prepare());
    return dir;
  }
  // Boots the state directory; `answers` runs in the application task
  // right before the start-up (the placeholders' answers a case needs).
  sim::Machine& BootDir(const std::string& dir, std::function<void()> answers = nullptr,
                        sim::MachineOptions options = {}) {
    options.stateDir = dir;
    if (answers) {
      options.appEntry = [answers = std::move(answers)] {
        answers();
        AppTaskMain();
      };
    }
    return Boot(std::move(options));
  }
  // Runs to the main loop's log line: the start-up is over and the main
  // loop has not run a pass yet.
  bool RunToMainLoop() {
    return m_machine->RunUntil([this] { return m_machine->Logged("Main Loop ..."); }, kToMainLoop) ==
           sim::RunResult::ConditionMet;
  }
  sim::LcdController& Lcd() { return *m_machine->GetBoard().FindDevice<sim::LcdController>(); }
  bool RunUntilShown(const std::string& text, sim::Nanos limit) {
    m_machine->RunUntil([&] { return Lcd().Visible() == text; }, limit);
    return Lcd().Visible() == text;
  }
};

// ---- the blank machine and the sample printer ----------------------------------------------

TEST_F(AppStartUp, ABlankMachineStartsUpInOrderAndRaisesWhatItsFlashEepromsAndPlaceholdersCannotAnswer) {
  // Flash erased but for the sample MAIN image with its FPGA bitstream;
  // blank EEPROMs.
  const std::string dir = testsupport::MakeTempDir();
  const sim::StateDir state(dir);
  images::Bytes flash(images::kFlashBytes, 0xFF);
  images::PutBytes(flash, images::kAreaMain.offset, images::BuildMainImage());
  ASSERT_TRUE(sim::WriteFileAtomically(state.FlashPath(), std::string(flash.begin(), flash.end())));
  ASSERT_TRUE(state.Prepare());
  BootDir(dir);
  ASSERT_TRUE(RunToMainLoop());

  const char* const kLines[] = {
      "Motor Enable ON ...",
      "PhotoSen LED ON ...",
      "CoverOpen PowerSaveMode ON ...",
      "LCD Initialize ...",
      "[MAIN] EEPROM Back up ... [0xFF]",
      "[MAIN] DSP Initialize ...",
      "[MAIN] InitShMemUsb ...",
      "[MAIN] usb_attention ...",
      "[MAIN] InitUsbProcess ...",
      "[MAIN] g_ucRibbonControlType = 1 ",
      "[MAIN] DummyLine Initialize ...",
      "[MAIN] S/N = R0000000",
      "[MAIN] IoctlConnectUsb ...",
      "[MAIN] Table Initialize ...",
      "[MAIN] ToneCurve Initialize ...",
      "[MAIN] RollbackFlag = 0 ",
      "Main PCB Rev. = 0",
      "[MAIN] Loading Lami",
      "Loading Lami Comp",
      "Caliculate Rampup Curve ...",
      "Main Loop ...",
  };
  size_t at = 0;
  for (const char* pszLine : kLines) {
    at = m_machine->FindLog(pszLine, at);
    ASSERT_NE(at, sim::Machine::npos) << "\"" << pszLine << "\" missing or out of order";
  }
  // A blank TABLE area skips the table loads; mark-sensor steps do not run.
  EXPECT_FALSE(m_machine->Logged("[MAIN] TrackCorrect LineBuf Loading ..."));
  EXPECT_FALSE(m_machine->Logged("[MAIN] RFTag Initialize ..."));

  // The DSP (no program, so table 10 at step 44 is not taken either), TABLE
  // (format word), lamination slots (erased), CIS calibration (erased),
  // serial number (the cell's placeholder) and both head values (0xFFFF).
  const ErrorSet kBlank = {0x0109, 0x010C, 0x0116, 0x0119, 0x011A, 0x011E, 0x0120, 0x0121};
  EXPECT_EQ(RaisedErrors(), kBlank);
  ASSERT_TRUE(m_machine->UsbHost().WaitForConfigured(Ms(5000))) << m_machine->UsbHost().Hub().FailureReason();
  EXPECT_EQ(m_machine->UsbHost().Identity().serialNumber, "R0000000");
  EXPECT_TRUE(RunUntilShown("Control Error 09", Ms(3000))) << Lcd().Visible();
  EXPECT_EQ(RaisedErrors(), kBlank) << "the main loop raised more";
  EXPECT_EQ(g_usHeadResistanceL, 0xFFFFu);
  EXPECT_EQ(g_usHeadResistanceR, 0xFFFFu);
  ExpectGainsCleared(*m_machine);
}

TEST_F(AppStartUp, TheSamplePrinterRaisesNothingAndSettlesInReadyStateA) {
  BootNewPrinter();
  ASSERT_TRUE(RunToMainLoop());
  EXPECT_TRUE(m_machine->Logged("[MAIN] TrackCorrect LineBuf Loading ..."));
  EXPECT_TRUE(m_machine->Logged(std::string("[MAIN] S/N = ") + testsupport::kSampleSerial));
  // The head voltage: the seven powers from the TABLE values, and the
  // supply on at its rest step, reached without a jump.
  for (const char* pszPlane : {"Yellow", "Magenta", "Cyan", "OP(Glossy)", "OP(Matte)", "SP", "Preheat"}) {
    EXPECT_TRUE(m_machine->Logged(std::string("[THV_Power(") + pszPlane + ")] = 1350")) << pszPlane;
  }
  const sim::HeadSupply& supply = *m_machine->GetBoard().FindDevice<sim::HeadSupply>();
  EXPECT_TRUE(supply.SupplyOn());
  EXPECT_EQ(supply.Step(), 776u);
  EXPECT_EQ(supply.Jumps(), 0u);
  EXPECT_EQ(RaisedErrors(), ErrorSet{});
  EXPECT_EQ(g_pCurEventMng, &g_EventMngReadyB) << "the first state, whatever was raised";
  EXPECT_TRUE(RunUntilShown(testsupport::kReadyLine, Ms(3000))) << Lcd().Visible();
  EXPECT_EQ(g_pCurEventMng, &g_EventMngReadyA);
  EXPECT_EQ(RaisedErrors(), ErrorSet{});
  EXPECT_EQ(m_machine->GetBoard().FindDevice<sim::DspCore>()->RunningProgram(), sim::DspCore::Program::Internal);
  EXPECT_EQ(g_usHeadResistanceL, eepromimage::kNominalHeadValue);
  EXPECT_EQ(g_usHeadResistanceR, eepromimage::kNominalHeadValue);
  // The sample calibration image was made for the sample printer.
  EXPECT_EQ(std::string(g_szCisCalibSerial), testsupport::kSampleSerial);
  EXPECT_TRUE(m_machine->Logged("[CIS] Init CIS LED = 40"));
  EXPECT_TRUE(m_machine->Logged("[CIS] Init CIS Offset V = 60"));
  ExpectBlock0Loaded(*m_machine);
  // No error line: the LCD never showed one.
  const std::string& console = m_machine->Console();
  for (size_t at = console.find("[lcd] |"); at != std::string::npos; at = console.find("[lcd] |", at + 1)) {
    const std::string line = console.substr(at, console.find('\n', at) - at);
    EXPECT_EQ(line.find("Err"), std::string::npos) << line;
  }
}

// ---- the failure table ---------------------------------------------------------------------

struct FailureCase {
  const char* name;
  testsupport::SamplePrinter printer;
  // Changes to the state directory's files before the boot.
  std::function<void(const sim::StateDir&)> files;
  // In the application task before the start-up.
  std::function<void()> answers;
  // On the board before it runs.
  std::function<void(sim::Machine&)> board;
  ErrorSet raised;
  // Checked once the start-up is over.
  std::function<void(sim::Machine&)> check;
};

void SetRollBackFlag(const sim::StateDir& state, uint8_t ucFlag) { PatchFile(state.MainEepromPath(), 126, {ucFlag}); }

sim::DspCore& Dsp(sim::Machine& m) { return *m.GetBoard().FindDevice<sim::DspCore>(); }

testsupport::SamplePrinter HeadValues(uint16_t usL, uint16_t usR) {
  testsupport::SamplePrinter printer;
  printer.headValueL = usL;
  printer.headValueR = usR;
  return printer;
}

testsupport::SamplePrinter Serial(const char* pszSerial) {
  testsupport::SamplePrinter printer;
  printer.serial = pszSerial;
  return printer;
}

void NoPaperAtPosition(sim::Machine& m) {
  m.GetBoard().FindDevice<sim::MechanismInputs>()->SetPaperSeen(sim::PhotoSensor::Position, false);
}

const FailureCase kFailureCases[] = {
    {"BadDspImageRaisesOnceAndSkipsTheLoadsAndTheHandshake", {},
     [](const sim::StateDir& s) { FlipByte(s.FlashPath(), images::kAreaDsp.offset + 0x100); }, nullptr, nullptr,
     {0x0109, 0x0116},
     [](sim::Machine& m) {
       EXPECT_EQ(Dsp(m).Starts(), 0u);
       EXPECT_EQ(Dsp(m).LinkAnswers(), 0u);
     }},
    // A program that never answers its boot: the load fails after its two
    // attempts (4 s), and the link's two 500 ms waits for its hello follow.
    {"FailedLoadRaisesAndTheHandshakeStillRuns", {}, nullptr, nullptr,
     [](sim::Machine& m) { Dsp(m).SetSilent(true); }, {0x0109, 0x0116},
     [](sim::Machine& m) {
       EXPECT_EQ(Dsp(m).Starts(), 1u) << "the SDRAM program only";
       const sim::Nanos gap = m.Log()[m.FindLog("[MAIN] InitShMemUsb ...")].at -
                              m.Log()[m.FindLog("[MAIN] DSP Initialize ...")].at;
       EXPECT_GT(gap, testsupport::Ms(4900)) << "the load's attempts and then the handshake's waits";
       EXPECT_LT(gap, testsupport::Ms(5200));
     }},
    {"FailedHandshakeRaises", {}, nullptr, nullptr,
     [](sim::Machine& m) { Dsp(m).SetLink(sim::DspCore::Link::Refuses); }, {0x0109, 0x0116},
     [](sim::Machine& m) {
       EXPECT_EQ(Dsp(m).RunningProgram(), sim::DspCore::Program::Internal);
       EXPECT_FALSE(Dsp(m).Linked());
     }},
    {"TableFormatWordRaises10cAndSkipsTheLoads", {},
     [](const sim::StateDir& s) { EraseArea(s.FlashPath(), images::kAreaTable); }, nullptr, nullptr, {0x010C},
     [](sim::Machine& m) { EXPECT_FALSE(m.Logged("[MAIN] TrackCorrect LineBuf Loading ...")); }},
    {"TableChecksumRaises10a", {},
     [](const sim::StateDir& s) { FlipByte(s.FlashPath(), images::kAreaTable.offset + images::kTableHeaderLength + 4); },
     nullptr, nullptr, {0x010A},
     [](sim::Machine& m) { EXPECT_FALSE(m.Logged("[MAIN] TrackCorrect LineBuf Loading ...")); }},
    // tableDataLength past the area.
    {"TableSizeRaises10a", {},
     [](const sim::StateDir& s) { PatchFile(s.FlashPath(), images::kAreaTable.offset + 140, {0x00, 0x00, 0x20, 0x00}); },
     nullptr, nullptr, {0x010A},
     [](sim::Machine& m) { EXPECT_FALSE(m.Logged("[MAIN] TrackCorrect LineBuf Loading ...")); }},
    {"RollBackFlag1AsksToLoadPaper", {}, [](const sim::StateDir& s) { SetRollBackFlag(s, 1); }, nullptr, nullptr,
     {0x160B}, [](sim::Machine& m) { EXPECT_TRUE(m.Logged("[MAIN] RollbackFlag = 1 ")); }},
    {"RollBackFlag2AsksToLoadPaper", {}, [](const sim::StateDir& s) { SetRollBackFlag(s, 2); }, nullptr, nullptr,
     {0x160B}, nullptr},
    {"RollBackFlag3WithPaperAtPositionAsksToTakeItOut", {}, [](const sim::StateDir& s) { SetRollBackFlag(s, 3); },
     nullptr, nullptr, {0x1602}, nullptr},
    {"RollBackFlag3WithoutPaperAtPositionRaisesNothing", {},
     [](const sim::StateDir& s) { SetRollBackFlag(s, 3); }, nullptr, NoPaperAtPosition, {}, nullptr},
    {"RollBackFlag4RaisesNothing", {}, [](const sim::StateDir& s) { SetRollBackFlag(s, 4); }, nullptr, nullptr, {},
     nullptr},
    {"PlaceholderSerialInUserMode", Serial("R0000000"), nullptr, nullptr, nullptr, {0x011E}, nullptr},
    // The Maintenance chord held from power-on through the mode window.
    {"PlaceholderSerialInAServiceMode", Serial("R0000000"), nullptr, nullptr,
     [](sim::Machine& m) { m.Keys().Chord({sim::PanelKey::Enter, sim::PanelKey::Inc}, Ms(30000)); }, {},
     [](sim::Machine&) { EXPECT_EQ(g_usServiceMode, 3u); }},
    {"HeadValue3999OfUnitL", HeadValues(3999, 9000), nullptr, nullptr, nullptr, {0x0120},
     [](sim::Machine&) {
       EXPECT_EQ(g_usHeadResistanceL, 3999u);
       EXPECT_EQ(g_usHeadResistanceR, 9000u);
     }},
    {"HeadValues4000And9000", HeadValues(4000, 9000), nullptr, nullptr, nullptr, {}, nullptr},
    // The CIS calibration image: only block 0's sum and the serial count.
    {"CisBlock0SumRaises11aAndLoadsNoGains", {},
     [](const sim::StateDir& s) { FlipByte(s.FlashPath(), images::kAreaCis.offset + 600); }, nullptr, nullptr,
     {0x011A}, ExpectGainsCleared},
    {"CisBlock0SumWithEngineVersion1RaisesNothing", EngineVersion(1),
     [](const sim::StateDir& s) { FlipByte(s.FlashPath(), images::kAreaCis.offset + 600); }, nullptr, nullptr, {},
     ExpectGainsCleared},
    {"CisBadBlock2PassesAndBlock0Loads", {},
     [](const sim::StateDir& s) { FlipByte(s.FlashPath(), kCisBlock2At + 10); }, nullptr, nullptr, {},
     ExpectBlock0Loaded},
    {"CisSerialDiffersRaises11a", {},
     [](const sim::StateDir& s) {
       SetFlashCisSerial(s, "OTHER123");
       SetCisRestoreMarks(s, 0, 1);
     },
     nullptr, nullptr, {0x011A}, ExpectGainsCleared},
    {"CisSerialDiffersWithoutTheBackupMarkRaises11a", {},
     [](const sim::StateDir& s) {
       SetFlashCisSerial(s, "OTHER123");
       SetCisRestoreMarks(s, 1, 0);
     },
     nullptr, nullptr, {0x011A}, ExpectGainsCleared},
    // The calibration dialog erases the serial; nothing restores it.
    {"CisErasedSerialWithProgress0Raises11a", {},
     [](const sim::StateDir& s) {
       PatchFile(s.FlashPath(), kCisSerialAt, std::vector<uint8_t>(8, 0xFF));
       SetCisRestoreMarks(s, 0, 1);
     },
     nullptr, nullptr, {0x011A}, ExpectGainsCleared},
    // A replaced EEPROM: the image takes the EEPROM's cells and serial.
    {"CisSerialDiffersWithProgressAndBackupMarkIsUndone", {},
     [](const sim::StateDir& s) {
       SetFlashCisSerial(s, "OTHER123");
       SetCisRestoreMarks(s, 1, 1);
       PatchFile(s.MainEepromPath(), 187, {0xA5, 0x3C});
     },
     nullptr, nullptr, {},
     [](sim::Machine& m) {
       EXPECT_TRUE(m.Logged("[CIS] CIS CalibData Undo "));
       EXPECT_EQ(std::string(g_szCisCalibSerial), testsupport::kSampleSerial);
       uint8_t aucSerial[8] = {};
       EXPECT_TRUE(m.RunStep([&] { HwReadBlock(CIS_CALIB_SERIAL_FLASH, aucSerial, 8); }, testsupport::Ms(5000)));
       EXPECT_EQ(std::string(aucSerial, aucSerial + 8), testsupport::kSampleSerial);
       ExpectBlock0Loaded(m);
       // Items 0 and 1 (cells 187 and 188): 0xA5, 0x3C.
       EXPECT_EQ(CisOf(m).Gain(20), 0x50 + (0xA5 & 0x7F));
       EXPECT_EQ(CisOf(m).Gain(21), 0x50 + ((0xA5 >> 7) | ((0x3C << 1) & 0x7F)));
     }},
    {"HeadValue9001OfUnitR", HeadValues(4000, 9001), nullptr, nullptr, nullptr, {0x0121},
     [](sim::Machine&) { EXPECT_EQ(g_usHeadResistanceR, 9001u); }},
    // The head cell of "DensityYMC" differs; the head value (invalid too)
    // is then not read.
    {"SettingOfUnitLDiffersFromItsHead", HeadValues(3999, 5600),
     [](const sim::StateDir& s) { PatchFile(s.HeadEepromPath(0), 64, {99}); }, nullptr, nullptr, {0x0123},
     [](sim::Machine&) { EXPECT_EQ(g_usHeadResistanceL, 0u) << "not read"; }},
    // The head-length counter's head cell differs.
    {"CounterOfUnitRDiffersFromItsHead", HeadValues(5600, 9001),
     [](const sim::StateDir& s) { PatchFile(s.HeadEepromPath(1), 100, {1}); }, nullptr, nullptr, {0x0124},
     [](sim::Machine&) { EXPECT_EQ(g_usHeadResistanceR, 0u) << "not read"; }},
};

class StartUpFailures : public AppStartUp, public testing::WithParamInterface<FailureCase> {};

TEST_P(StartUpFailures, RaiseTheirIndexAndTheStartUpGoesOn) {
  const FailureCase& c = GetParam();
  const std::string dir = SamplePrinterDir(c.printer);
  if (c.files) c.files(sim::StateDir(dir));
  BootDir(dir, c.answers);
  if (c.board) c.board(*m_machine);
  ASSERT_TRUE(RunToMainLoop());
  EXPECT_EQ(RaisedErrors(), c.raised);
  if (c.check) c.check(*m_machine);
  ASSERT_TRUE(m_machine->UsbHost().WaitForConfigured(Ms(5000)));
}

INSTANTIATE_TEST_SUITE_P(Cases, StartUpFailures, testing::ValuesIn(kFailureCases),
                         [](const testing::TestParamInfo<FailureCase>& param) { return std::string(param.param.name); });

// ---- the engine variant ----------------------------------------------------------------------

class EngineVariant : public AppStartUp, public testing::WithParamInterface<uint32_t> {};

TEST_P(EngineVariant, FollowsTheEngineVersionProvisionedBeforeTheBoot) {
  const uint32_t ulVersion = GetParam();
  sim::MachineOptions options;
  options.engineVersion = ulVersion;
  BootNewPrinter(std::move(options));
  ASSERT_TRUE(RunToMainLoop());
  EXPECT_EQ(SettingValue(g_ParamEngineVersion), static_cast<int32_t>(ulVersion));
  EXPECT_EQ(RaisedErrors(), ErrorSet{});
  const bool bEm2 = ulVersion == 1;
  EXPECT_EQ(g_pfnInitMecha, bEm2 ? InitMechaEM2 : InitMechaEM3);
  EXPECT_EQ(g_pfnInitMainPinch, bEm2 ? InitMainPinchEM2 : InitMainPinchEM3);
  EXPECT_EQ(g_pfnPreparePath, bEm2 ? PreparePathSequence_EM2 : PreparePathSequence_EM3);
  EXPECT_EQ(g_pfnEndOfJob, bEm2 ? EndOfJobSequence_EM2 : EndOfJobSequence_EM3);
  EXPECT_EQ(g_pfnTuneCisAtLoad, bEm2 ? TuneCisAtLoadEM2 : TuneCisAtLoadEM3);
  EXPECT_EQ(g_pfnUsbEvent100000, bEm2 ? ExecExitTrayStatus_EM2 : ExecExitTrayStatus_EM3);
  EXPECT_EQ(g_pProllFeed, bEm2 ? static_cast<CProllFeed*>(&g_ProllFeedEM2) : &g_ProllFeedEM3);
  EXPECT_EQ(g_pProllMain, bEm2 ? static_cast<CProllMain*>(&g_ProllMainEM2) : &g_ProllMainEM3);
  EXPECT_EQ(g_ulEngCisErrIndex, bEm2 ? 0xFFFFu : 0x011Au);
  EXPECT_EQ(g_ulEngMainPinchPos, bEm2 ? 1u : 11u);
  EXPECT_EQ(g_ulEngPosRefA, bEm2 ? 65364u : 65336u);
  EXPECT_EQ(g_ulEngPosRefB, bEm2 ? 66594u : 65383u);
  EXPECT_EQ(g_ulEngColorRibbon, bEm2 ? 0u : 1u) << "colour-sensor ribbon control";
  EXPECT_EQ(g_ulEngLineOffset, bEm2 ? 413u : 410u);
  // The ribbon drive modes only from version 5; below they stay as reset
  // left them.
  const uint32_t ulMode = ulVersion >= 5 ? 2u : 0u;
  EXPECT_EQ(g_ulEngModeA, ulMode);
  EXPECT_EQ(g_ulEngModeB, ulMode);
  EXPECT_EQ(g_ulEngModeC, ulMode);
}

INSTANTIATE_TEST_SUITE_P(Versions, EngineVariant, testing::Values(1u, 2u, 3u, 4u, 5u),
                         [](const testing::TestParamInfo<uint32_t>& param) {
                           return "Version" + std::to_string(param.param);
                         });

// ---- pin edges, imprint texts, EEPROM backup -----------------------------------------------

TEST_F(AppStartUp, ThePinEdgesAreSetInTwoStepsAndPinZeroHasNone) {
  // Traced from the start-up's first step to its sixth.
  BootDir(SamplePrinterDir(), [] { sim::Board::Current().GetBus().Trace().Start(); });
  sim::BusTrace& trace = m_machine->GetBoard().GetBus().Trace();
  ASSERT_TRUE(m_machine->RunUntil([this] { return m_machine->Logged("Motor Enable ON ..."); }, kToMainLoop) ==
              sim::RunResult::ConditionMet);
  trace.Stop();
  constexpr uint32_t kSetFallTrig = 0x01E2602Cu;
  constexpr uint32_t kClrFallTrig = 0x01E26030u;
  std::vector<std::pair<bool, uint32_t>> writes;  // set?, bit
  for (const sim::BusAccess& a : trace.In(kSetFallTrig, kClrFallTrig, sim::BusTrace::Kind::Writes)) {
    if (a.addr == kSetFallTrig || a.addr == kClrFallTrig) writes.emplace_back(a.addr == kSetFallTrig, a.value);
  }
  // Step 3: pins 0-7 cleared (pin 0 has no edge: no write), then 0-4 and 6
  // set; step 5: pins 1-6 set.
  std::vector<std::pair<bool, uint32_t>> expected;
  for (uint32_t ulPin = 1; ulPin <= 7; ++ulPin) expected.emplace_back(false, 1u << ulPin);
  for (uint32_t ulPin : {1u, 2u, 3u, 4u, 6u}) expected.emplace_back(true, 1u << ulPin);
  uint32_t ulAfterStep3 = 0;
  for (const auto& [bSet, ulBit] : expected) ulAfterStep3 = bSet ? ulAfterStep3 | ulBit : ulAfterStep3 & ~ulBit;
  EXPECT_EQ(ulAfterStep3, 0x5Eu);
  for (uint32_t ulPin = 1; ulPin <= 6; ++ulPin) expected.emplace_back(true, 1u << ulPin);
  ASSERT_GE(writes.size(), expected.size());
  using Writes = std::vector<std::pair<bool, uint32_t>>;
  const Writes last(writes.end() - static_cast<std::ptrdiff_t>(expected.size()), writes.end());
  EXPECT_EQ(last, expected);
  EXPECT_EQ(m_machine->GetBoard().FindDevice<sim::GpioController>()->FallTrigger(0) & 0xFEu, 0x7Eu);
}

TEST_F(AppStartUp, TheImprintTextsFillItemsZeroOneAndThreeOfTwelve) {
  const std::string dir = SamplePrinterDir();
  // Whatever the items held, all 336 bytes are written.
  BootDir(dir, [] { std::memset(g_ImprintTextItems, 0xAA, sizeof(g_ImprintTextItems)); });
  ASSERT_TRUE(RunToMainLoop());
  ASSERT_EQ(sizeof(g_ImprintTextItems), 336u);
  std::vector<uint8_t> expected(336, 0);
  auto put = [&](uint32_t ulItem, uint16_t usX, uint16_t usY, uint8_t ucAlign, const std::string& text) {
    uint8_t* p = expected.data() + ulItem * 28;
    const uint8_t head[] = {static_cast<uint8_t>(usX), static_cast<uint8_t>(usX >> 8), static_cast<uint8_t>(usY),
                            static_cast<uint8_t>(usY >> 8), 1, ucAlign, static_cast<uint8_t>(text.size())};
    std::memcpy(p, head, sizeof head);
    std::memcpy(p + 7, text.data(), text.size());
  };
  put(0, 132, 100, 1, "BRENTAL ORVIK");
  put(1, 2332, 100, 2, "M7300 PHOTO PRINTER");
  put(3, 2332, 2860, 2, testsupport::kSampleSerial);
  const uint8_t* pucItems = &g_ImprintTextItems[0][0];
  EXPECT_EQ(std::vector<uint8_t>(pucItems, pucItems + 336), expected);
}

TEST_F(AppStartUp, TheEepromBackupFollowsItsByteInTheExternalEepromAndAWriteFailure) {
  struct Case {
    const char* what;
    uint8_t ucBackupByte;
    bool bWriteFailed;
    const char* pszLine;
    bool bCopied;
  };
  const Case cases[] = {
      {"asked for", 1, false, "[MAIN] EEPROM Back up ... [0x01]", true},
      {"switched off", 0, false, "[MAIN] EEPROM Not Back up [0x00]", false},
      {"after a failed write", 1, true, "[MAIN] EEPROM Not Back up ... [0x01] (No External EEPROM)", false},
  };
  // One boot per process: each case boots in a child of its own.
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string dir = SamplePrinterDir();
    const sim::StateDir state(dir);
    std::vector<uint8_t> backup(512, 0x5A);
    backup[120] = c.ucBackupByte;
    ASSERT_TRUE(sim::WriteFileAtomically(state.BackupEepromPath(), std::string(backup.begin(), backup.end())));
    const bool bWriteFailed = c.bWriteFailed;
    const std::string line = c.pszLine;
    const std::vector<int> codes = sim::RunBoots(1, [&](int) {
      sim::MachineOptions options;
      options.stateDir = dir;
      if (bWriteFailed) {
        options.appEntry = [] {
          g_ErrorMng.SetError(0x0101);
          AppTaskMain();
        };
      }
      sim::Machine m(options);
      if (m.RunUntil([&] { return m.Logged("[MAIN] DSP Initialize ..."); }, kToMainLoop) !=
          sim::RunResult::ConditionMet) {
        return 1;
      }
      return m.Logged(line) && m.UnexpectedFaults().empty() ? 0 : 2;
    });
    EXPECT_EQ(codes, std::vector<int>{0});
    const std::vector<uint8_t> after = ReadFile(state.BackupEepromPath());
    if (c.bCopied) {
      EXPECT_EQ(after, ReadFile(state.MainEepromPath())) << "the whole main EEPROM";
    } else {
      EXPECT_EQ(after, backup) << "left as it was";
    }
  }
}

}  // namespace
