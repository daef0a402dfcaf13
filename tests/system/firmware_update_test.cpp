// Firmware updates from the host, through the in-process host port, in
// virtual time: MAIN, DSP and TABLE images of a newer package are written
// to flash and the printer restarts on them; the no-reset flag keeps it
// running; a bad image changes nothing; the immediate update's frame runs
// in its order; deferred tone curves and a lamination pattern are parked
// and applied by the idle state; the host's printer reset restarts it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "firmware/control/error_manager.h"
#include "firmware/control/error_table.h"
#include "firmware/control/host_status_table.h"
#include "firmware/devices/buf_slot_table.h"
#include "firmware/devices/lami_image.h"
#include "firmware/devices/main_loop_stop.h"
#include "firmware/hostif/update_handlers.h"
#include "firmware/hostif/usb_command_test_support.h"
#include "firmware/printengine/tone_curve.h"
#include "firmware/sequences/mecha_stop_table.h"
#include "protocol/codes.h"
#include "protocol/replies.h"
#include "sim/fpga/fpga_main_block.h"
#include "sim/memory/nor_flash.h"
#include "sim/memory/power_cut.h"
#include "sim/mechanism/stepper_drivers.h"
#include "sim/panel/panel.h"
#include "sim/soc/gpio.h"
#include "tests/support/forked_boots.h"
#include "tests/support/machine_test.h"
#include "tools/images/dsp_image.h"
#include "tools/images/lamination_slot.h"
#include "tools/images/main_image.h"
#include "tools/images/table_image.h"

namespace {

using hostiftest::Bytes;
using hostiftest::Command;
using hostiftest::Reply;
using hostiftest::SendUpdate;
using testsupport::Ms;
using namespace protocol;

// The package's version; a new printer's flash holds 02.10.
constexpr images::Version kNew{0x03, 0x07};
constexpr sim::Nanos kReady = Ms(15000);

Bytes MainImage() {
  images::MainImageParams params;
  params.version = kNew;
  return images::BuildMainImage(params);
}

Bytes DspImage() {
  images::DspImageParams params;
  params.version = kNew;
  return images::BuildDspImage(params);
}

Bytes TableImage() {
  images::TableImageParams params = images::SampleTableParams();
  params.versionMajor = kNew.major;
  params.versionMinor = kNew.minor;
  return images::BuildTableImage(params);
}

// The version CMD_GET_FIRMWARE_INFO reports for a component, as "MM.mm"
// of its two bytes.
std::string VersionOf(sim::UsbHostPort& host, uint8_t ucComponent) {
  const Reply r = Command(host, CMD_GET_FIRMWARE_INFO, {ucComponent});
  if (r.outcome != sim::UsbOutcome::Done || r.header.errorCode != 0 || r.data.size() != FirmwareInfoRecord::kSize) {
    return "(no answer)";
  }
  char text[8];
  std::snprintf(text, sizeof text, "%02X.%02X", r.data[34], r.data[35]);
  return text;
}

// A printer up and configured on the cable, its application past start-up.
sim::UsbHostPort& Ready(sim::Machine& m) {
  sim::UsbHostPort& host = m.UsbHost();
  host.WaitForConfigured(kReady);
  // A new printer's first start writes its tone-curve banks after the
  // device connects.
  m.RunUntil([&m] { return m.Logged("Main Loop ..."); }, kReady);
  m.RunFor(Ms(3000));
  return host;
}

bool UpdateDone(sim::Machine& m) {
  return m.RunUntil([] { return GetStatusItem(SI_PRINTER_STATE) == PRINTER_STATE_CPU_INIT; }, Ms(60000)) ==
         sim::RunResult::ConditionMet;
}

// Boot 1 takes MAIN and DSP with the no-reset flag (it keeps serving, in
// state 0x31), then TABLE, after which it restarts. Boot 2 reports the new
// components and is reset by the host; boot 3 is up.
TEST(FirmwareUpdate, MainDspAndTableOfANewPackageAreReportedAfterTheRestart) {
  testsupport::ForkedBoots printer;
  const std::vector<int> codes = printer.Run(3, [](int index, sim::MachineOptions options) {
    sim::Machine m(std::move(options));
    sim::UsbHostPort& host = Ready(m);
    if (index == 0) {
      if (VersionOf(host, FW_COMPONENT_MAIN) != "02.10") return 10;
      if (SendUpdate(host, UPDATE_KIND_MAIN, 0, 1, MainImage()) != 0) return 11;
      if (!UpdateDone(m)) return 12;
      if (m.RunFor(Ms(2000)) != sim::RunResult::TimeLimit || g_ulMainLoopStop != 0) return 13;
      SetStatusItem(SI_PRINTER_STATE, PRINTER_STATE_READY, 0);
      if (SendUpdate(host, UPDATE_KIND_DSP, 0, 1, DspImage()) != 0) return 14;
      if (!UpdateDone(m)) return 15;
      if (Command(host, CMD_GET_STATUS).header.errorCode != 0) return 16;
      if (VersionOf(host, FW_COMPONENT_DSP) != "03.07") return 17;
      if (SendUpdate(host, UPDATE_KIND_TABLE, 0, 0, TableImage()) != 0) return 18;
      return m.RunFor(Ms(60000)) == sim::RunResult::Reset ? 0 : 19;
    }
    if (index == 1) {
      if (m.BootNumber() != 2) return 20;
      for (uint8_t ucComponent : {FW_COMPONENT_MAIN, FW_COMPONENT_DSP, FW_COMPONENT_TABLE}) {
        if (VersionOf(host, ucComponent) != "03.07") return 21 + ucComponent;
      }
      if (VersionOf(host, FW_COMPONENT_BOOT) == "03.07") return 26;
      if (Command(host, CMD_RESET, {RESET_KIND_PRINTER, 0}).header.errorCode != 0) return 27;
      return m.RunFor(Ms(30000)) == sim::RunResult::Reset ? 0 : 28;
    }
    if (m.BootNumber() != 3) return 30;
    return VersionOf(host, FW_COMPONENT_MAIN) == "03.07" ? 0 : 31;
  });
  EXPECT_EQ(codes, (std::vector<int>{0, 0, 0}));
}

// The power fails in the middle of a DSP update from the host (while its
// sectors are programmed). The next boot finds the DSP program broken
// (error index 0x109), still answers the host and takes the update again;
// the boot after that starts the new program.
TEST(FirmwareUpdate, APowerCutDuringADspUpdateIsReportedAndRepairedByTheNextUpdate) {
  testsupport::ForkedBoots printer;
  const std::vector<int> codes = printer.Run(3, [](int index, sim::MachineOptions options) {
    sim::Machine m(std::move(options));
    sim::UsbHostPort& host = Ready(m);
    if (index == 0) {
      if (IsErrorRaised(erridx::kDspStart)) return 10;
      // The four erases and a few thousand programmed halfwords.
      m.GetBoard().FindDevice<sim::NorFlash>()->SetPowerCutAfter(4 + 3000, sim::CutDamage::Partial);
      if (SendUpdate(host, UPDATE_KIND_DSP, 0, 0, DspImage()) != 0) return 11;
      return m.RunFor(Ms(60000)) == sim::RunResult::Reset && m.Console().find("[board] power cut") != std::string::npos
                 ? 0
                 : 12;
    }
    if (index == 1) {
      if (!IsErrorRaised(erridx::kDspStart)) return 20;
      if (Command(host, CMD_GET_STATUS).header.errorCode != 0) return 21;
      if (SendUpdate(host, UPDATE_KIND_DSP, 0, 0, DspImage()) != 0) return 22;
      return m.RunFor(Ms(60000)) == sim::RunResult::Reset ? 0 : 23;
    }
    if (IsErrorRaised(erridx::kDspStart)) return 30;
    return VersionOf(host, FW_COMPONENT_DSP) == "03.07" ? 0 : 31;
  });
  EXPECT_EQ(codes, (std::vector<int>{0, 0, 0}));
}

class FirmwareUpdateOnePrinter : public testsupport::MachineTest {};

// A DSP image whose checksum is wrong: error index 0x111, the flash keeps
// the old image and the printer keeps serving.
TEST_F(FirmwareUpdateOnePrinter, ABadImageRaisesItsErrorIndexAndLeavesFlashAsItWas) {
  sim::Machine& m = BootNewPrinter();
  sim::UsbHostPort& host = Ready(m);
  Bytes bad = DspImage();
  bad[0x100] ^= 0x40;
  const sim::NorFlash* pFlash = m.GetBoard().FindDevice<sim::NorFlash>();
  ASSERT_NE(pFlash, nullptr);
  // The DSP program's four sectors (the error history records the error
  // in its own sectors).
  constexpr uint32_t kDspOffset = 0x5C0000;
  const Bytes before(pFlash->Array() + kDspOffset, pFlash->Array() + kDspOffset + 0x40000);
  ASSERT_EQ(SendUpdate(host, UPDATE_KIND_DSP, 0, 0, bad), 0);
  ASSERT_EQ(m.RunUntil([] { return IsErrorRaised(0x111); }, Ms(20000)), sim::RunResult::ConditionMet);
  EXPECT_TRUE(std::equal(before.begin(), before.end(), pFlash->Array() + kDspOffset));
  EXPECT_EQ(m.RunFor(Ms(2000)), sim::RunResult::TimeLimit);
  EXPECT_EQ(VersionOf(host, FW_COMPONENT_DSP), "02.10");
  EXPECT_EQ(Command(host, CMD_GET_STATUS).header.errorCode, 0);
  // A size the destination cannot hold is refused before any data.
  EXPECT_EQ(SendUpdate(host, UPDATE_KIND_DSP, 0, 0, Bytes(0x40001, 0)), REPLY_ERR_BAD_PARAMETER);
}

// The frame of an immediate update on one time line: the state 0x37, the
// mechanism stopped, "Motor Enable" and the Ready LED off, the writer's
// text and flash work, the state 0x31, the head voltage down, the restart
// text, and only then the end of the main loop.
TEST_F(FirmwareUpdateOnePrinter, TheImmediateUpdatesFrameRunsInItsOrder) {
  sim::Machine& m = BootNewPrinter();
  sim::UsbHostPort& host = Ready(m);
  sim::Board& board = m.GetBoard();
  struct Event {
    sim::Nanos at;
    std::string what;
    uint32_t ulState;
    uint32_t ulMechaOffRuns;
    uint64_t ulFlashOps;
    uint32_t ulThvSupply;  // the supply bit of the THV control register
    uint32_t ulStop;
  };
  std::vector<Event> trace;
  sim::NorFlash* pFlash = board.FindDevice<sim::NorFlash>();
  ASSERT_NE(pFlash, nullptr);
  sim::FpgaMainBlock* pFpgaMain = board.FindDevice<sim::FpgaMainBlock>();
  ASSERT_NE(pFpgaMain, nullptr);
  auto ThvSupply = [pFpgaMain] { return pFpgaMain->Register(sim::FpgaMainBlock::kThvCtrl) & 1u; };
  auto note = [&](const std::string& what) {
    trace.push_back(Event{m.Now(), what, GetStatusItem(SI_PRINTER_STATE), g_ulMechaStopCount,
                          pFlash->OperationCount(), ThvSupply(), g_ulMainLoopStop});
  };
  sim::GpioController* pGpio = board.FindDevice<sim::GpioController>();
  ASSERT_NE(pGpio, nullptr);
  pGpio->AddPinObserver(sim::StepperDrivers::kMotorEnablePin, [&](bool bLevel) {
    if (!bLevel) note("motor enable off");
  });
  sim::LcdController* pLcd = board.FindDevice<sim::LcdController>();
  ASSERT_NE(pLcd, nullptr);
  std::string shown = pLcd->Visible();
  pGpio->AddPinObserver(sim::panel::kPinLcdE, [&](bool) {
    if (pLcd->Visible() == shown) return;
    shown = pLcd->Visible();
    note("lcd " + shown);
  });
  const uint32_t ulMechaOff = g_ulMechaStopCount;
  const uint64_t ulFlashOps = pFlash->OperationCount();
  note("start");

  ASSERT_EQ(SendUpdate(host, UPDATE_KIND_TABLE, 0, 0, TableImage()), 0);
  ASSERT_EQ(m.RunFor(Ms(60000)), sim::RunResult::Reset);

  auto find = [&](const std::string& what) -> const Event* {
    for (const Event& e : trace) {
      if (e.what == what) return &e;
    }
    ADD_FAILURE() << "no event " << what;
    return nullptr;
  };
  const Event* pMotorOff = find("motor enable off");
  const Event* pText = find("lcd TABLE update ...");
  const Event* pRestart = find("lcd System reset... ");
  ASSERT_TRUE(pMotorOff && pText && pRestart);
  EXPECT_EQ(pMotorOff->ulState, PRINTER_STATE_DOWNLOADING);
  EXPECT_EQ(pMotorOff->ulMechaOffRuns, ulMechaOff + 1) << "the mechanism stops first";
  EXPECT_EQ(pMotorOff->ulFlashOps, ulFlashOps);
  EXPECT_LE(pMotorOff->at, pText->at);
  EXPECT_EQ(pText->ulFlashOps, ulFlashOps) << "the text comes before the writer";
  EXPECT_EQ(pRestart->ulState, PRINTER_STATE_CPU_INIT);
  EXPECT_GT(pRestart->ulFlashOps, ulFlashOps);
  EXPECT_EQ(pMotorOff->ulThvSupply, 1u);
  EXPECT_EQ(pRestart->ulThvSupply, 0u) << "the head voltage goes down before the restart text";
  EXPECT_EQ(pRestart->ulStop, 0u) << "the main loop ends after the restart text";
  EXPECT_EQ(g_ulMainLoopStop, 1u);
  // The Ready LED went off between the motor stop and the writer's text.
  bool bReadyOffInFrame = !board.FindDevice<sim::PanelLeds>()->IsOn(sim::PanelLed::Ready);
  for (const auto& change : board.FindDevice<sim::PanelLeds>()->TraceOf(sim::PanelLed::Ready)) {
    if (change.at >= pMotorOff->at && change.at <= pText->at && !change.bOn) bReadyOffInFrame = true;
  }
  EXPECT_TRUE(bReadyOffInFrame);
}

// Two tone curves and a lamination pattern sent through the cable are
// parked; the idle state applies them in their order, the pattern's active
// slot then passes its check, and every parked buffer is free again. The
// host's deferred resets then rebuild a curve and restore the active slot.
TEST_F(FirmwareUpdateOnePrinter, DeferredUpdatesAreParkedAndAppliedInOrderByTheIdleState) {
  sim::Machine& m = BootNewPrinter();
  sim::UsbHostPort& host = Ready(m);
  // The start-up shows "Loading L 8x12  " too: only the screens from here
  // on count.
  const size_t firstScreen = m.GetBoard().FindDevice<sim::LcdController>()->Screens().size();
  Bytes curveA(TONE_CURVE_SIZE, 0x11);
  Bytes curveB(TONE_CURVE_SIZE, 0x22);
  ASSERT_EQ(SendUpdate(host, UPDATE_KIND_TONE_CURVE_SAVE, 2, 0, curveA), 0);
  ASSERT_EQ(SendUpdate(host, UPDATE_KIND_TONE_CURVE, 6, 0, curveB), 0);
  Bytes pattern = images::BuildLaminationDownload([](uint32_t pixel) { return pixel % 3 == 0; });
  ASSERT_EQ(pattern.size(), LAMI_IMG_PIXELS);
  ASSERT_EQ(SendUpdate(host, UPDATE_KIND_LAMINATE_1, 0, 0, pattern), 0);
  sim::LcdController* pLcd = m.GetBoard().FindDevice<sim::LcdController>();
  auto lamiLoaded = [pLcd, firstScreen] {
    const auto& screens = pLcd->Screens();
    for (size_t i = firstScreen; i < screens.size(); ++i) {
      if (screens[i].text == "Loading L 8x12  ") return true;
    }
    return false;
  };
  ASSERT_EQ(m.RunUntil([&] { return lamiLoaded() && g_ulPendingUpdCount == 0; }, Ms(120000)),
            sim::RunResult::ConditionMet);
  // Curve 2 kept in flash and RAM (state 1), curve 6 in RAM only (state 2).
  std::vector<uint16_t> ram2, ram6;
  ASSERT_TRUE(m.RunStep([&] {
    ram2.assign(CToneCurve::RamCurve(2), CToneCurve::RamCurve(2) + TONE_CURVE_ENTRIES);
    ram6.assign(CToneCurve::RamCurve(6), CToneCurve::RamCurve(6) + TONE_CURVE_ENTRIES);
  }, Ms(1000)));
  EXPECT_EQ(ram2, std::vector<uint16_t>(TONE_CURVE_ENTRIES, 0x1111));
  EXPECT_EQ(ram6, std::vector<uint16_t>(TONE_CURVE_ENTRIES, 0x2222));
  EXPECT_EQ(GetStatusItem(SI_TONE_CURVE_1 + 1), 1u);
  EXPECT_EQ(GetStatusItem(SI_TONE_CURVE_1 + 5), 2u);
  int32_t lCheck = -9;
  uint32_t ulFree = 0;
  ASSERT_TRUE(m.RunStep([&] {
    lCheck = g_LamiImgSlot0.Check();
    g_pCurBufSlots[BUF_POOL_COLOUR]->CountFree(&ulFree);
  }, Ms(60000)));
  EXPECT_EQ(lCheck, 0);
  EXPECT_EQ(ulFree, g_pCurBufSlots[BUF_POOL_COLOUR]->Count());
  // The texts in the order the actions ran.
  std::vector<std::string> texts;
  for (size_t i = firstScreen; i < pLcd->Screens().size(); ++i) {
    const std::string& text = pLcd->Screens()[i].text;
    if (text == "TONE DATA UPDATE" || text == "Loading L 8x12  ") texts.push_back(text);
  }
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts.front(), "TONE DATA UPDATE");
  EXPECT_EQ(texts.back(), "Loading L 8x12  ");

  // The host's deferred resets: a curve rebuilt to its default, and the
  // active pattern slot restored from the stored one.
  const sim::NorFlash* pFlash = m.GetBoard().FindDevice<sim::NorFlash>();
  const uint8_t* pSlot0 = pFlash->Array() + (LAMI_IMG_SLOT0_ADDRESS - 0x60000000u);
  const uint8_t* pSlot1 = pFlash->Array() + (LAMI_IMG_SLOT1_ADDRESS - 0x60000000u);
  const uint32_t ulSlotBytes = LAMI_IMG_PIXELS / 8 + LAMI_IMG_HEADER_BYTES;
  ASSERT_FALSE(std::equal(pSlot0, pSlot0 + ulSlotBytes, pSlot1));
  EXPECT_EQ(Command(host, CMD_RESET, {RESET_KIND_TONE_CURVE, 4}).header.errorCode, 0);
  EXPECT_EQ(Command(host, CMD_RESET, {RESET_KIND_LAMINATE, 0}).header.errorCode, 0);
  ASSERT_EQ(m.RunUntil([&] { return g_ulPendingResetCount == 0 && std::equal(pSlot0, pSlot0 + ulSlotBytes, pSlot1); }, Ms(120000)),
            sim::RunResult::ConditionMet);
  // The reset wrote a bank (curve 4 default, state 0) that keeps curve 2.
  int32_t lBank = -1;
  uint32_t ulState2 = 9, ulState4 = 9;
  ASSERT_TRUE(m.RunStep([&] {
    lBank = CheckToneCurveBank();
    g_ToneCurve.GetCurveState(2, &ulState2);
    g_ToneCurve.GetCurveState(4, &ulState4);
  }, Ms(1000)));
  EXPECT_EQ(lBank, 0);
  EXPECT_EQ(ulState2, 1u);
  EXPECT_EQ(ulState4, 0u);
  EXPECT_EQ(GetStatusItem(SI_TONE_CURVE_1 + 3), 0u);
}

struct FlashFailure {
  const char* name;
  uint8_t ucKind;
  Bytes (*pfnImage)();
  uint32_t ulArea;  // flash offset of the image's area
  uint32_t ulRaised;
  uint32_t ulCleared;  // raised before, cleared by the failure; 0: none
};

// A halfword of the area that will not program: the writer's verify fails
// after the area was erased, the error index of a flash failure is raised
// (the check failures are the unit tests'), and no restart follows.
const FlashFailure kFlashFailures[] = {
    {"DSP", UPDATE_KIND_DSP, DspImage, 0x5C0000, 0x112, 0x109},
    {"MAIN", UPDATE_KIND_MAIN, MainImage, 0x100000, 0x110, 0},
    {"TABLE", UPDATE_KIND_TABLE, TableImage, 0x600000, 0x114, 0x10A},
};

class FlashFailureUpdate : public testsupport::MachineTest, public ::testing::WithParamInterface<FlashFailure> {};

TEST_P(FlashFailureUpdate, RaisesTheFlashFailuresIndexAndKeepsRunning) {
  const FlashFailure& c = GetParam();
  sim::Machine& m = BootNewPrinter();
  sim::UsbHostPort& host = Ready(m);
  const Bytes image = c.pfnImage();
  // The first halfword the image programs with bit 0 clear.
  size_t at = 0;
  while (at + 1 < image.size() && (image[at] & 1u) != 0) at += 2;
  ASSERT_LT(at + 1, image.size());
  m.GetBoard().FindDevice<sim::NorFlash>()->SetProgramFailBits(c.ulArea + static_cast<uint32_t>(at), 0x0001);
  if (c.ulCleared != 0) m.RunStep([&] { g_ErrorMng.SetError(c.ulCleared); }, Ms(2000));
  ASSERT_EQ(SendUpdate(host, c.ucKind, 0, 0, image), 0);
  const uint32_t ulRaised = c.ulRaised;
  ASSERT_EQ(m.RunUntil([ulRaised] { return IsErrorRaised(ulRaised); }, Ms(120000)), sim::RunResult::ConditionMet);
  EXPECT_EQ(m.RunFor(Ms(2000)), sim::RunResult::TimeLimit);
  EXPECT_EQ(g_ulMainLoopStop, 0u);
  if (c.ulCleared != 0) {
    EXPECT_FALSE(IsErrorRaised(c.ulCleared));
  }
  EXPECT_EQ(Command(host, CMD_GET_STATUS).header.errorCode, 0);
}

INSTANTIATE_TEST_SUITE_P(Writers, FlashFailureUpdate, ::testing::ValuesIn(kFlashFailures),
                         [](const ::testing::TestParamInfo<FlashFailure>& param) { return std::string(param.param.name); });

}  // namespace
