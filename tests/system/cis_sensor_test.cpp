// The CIS on the board's sensor model, scene against result: the gradient
// and threshold edge searches (a noisy sensor giving the same edges), the
// head point from two readings on a skewed sheet, the side-offset check,
// the offset and LED tunings with their failure on a dead LED, and the
// calibration dialog on the calibration target.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "firmware/control/idle_supervisor.h"
#include "firmware/control/lcd.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/hostif/diagnosis_handlers.h"
#include "firmware/platform/ioctl.h"
#include "firmware/printengine/cis.h"
#include "sim/fpga/cis_window.h"
#include "sim/panel/panel.h"
#include "tests/support/carousel.h"
#include "tools/images/checksums.h"

namespace {

using carouseltest::CarouselPrinter;
using testsupport::Ms;
using Window = sim::CisWindow;

constexpr double kEdgeAt80 = Window::kDefaultPaperEdge;

class CisSensor : public CarouselPrinter {
 protected:
  void SetUp() override {
    BootReady(sim::EngineVariant::EM3);
    // The scene of these tests alone: paper or none, no travel.
    Cis().SetSceneSource([this] { return Window::View{m_bPaper, 0.0}; });
    // The gain table as the tuning at paper load leaves it: cleared.
    InLoop([] {
      for (uint32_t w = 0; w < CIS_WORDS; ++w) IoctlWrite16(CIS_GAIN_TABLE + 2 * w, 0);
    });
  }
  Window& Cis() { return *m_machine->GetBoard().FindDevice<Window>(); }
  sim::PanelKeys& Keys() { return *m_machine->GetBoard().FindDevice<sim::PanelKeys>(); }
  // Paper with its edge at `edge` (none: no paper), and a printed band from
  // `band` on (0: none).
  void Scene(int32_t edge, uint32_t band = 0) {
    m_bPaper = edge >= 0;
    Cis().SetLateralOffset(edge - kEdgeAt80);
    Cis().ClearPrintRegions();
    if (band != 0) Cis().AddPrintRegion({-1e12, 1e12, band});
  }
  size_t Mark() const { return m_machine->Log().size(); }
  bool LoggedSince(size_t from, const std::string& text) const { return m_machine->FindLog(text, from) != sim::Machine::npos; }
  int32_t Run(const std::function<int32_t()>& step, sim::Nanos limit = Ms(60000)) {
    int32_t lResult = 99;
    EXPECT_TRUE(InLoop([&] { lResult = step(); }, limit));
    return lResult;
  }
  // The calibration image in flash.
  std::vector<uint8_t> FlashImage() {
    std::vector<uint8_t> image(CIS_CALIB_IMAGE_BYTES + CIS_CALIB_SERIAL_BYTES);
    InLoop([&] { HwReadBlock(CIS_CALIB_FLASH, image.data(), static_cast<uint32_t>(image.size())); });
    return image;
  }
  // Runs the calibration dialog, pressing Enter at each of its prompts
  // until `enters` were pressed, then Clear; the dialog's result, or 99.
  int32_t Dialog(uint32_t enters, std::vector<std::string>* pShown) {
    bool bDone = false;
    int32_t lResult = 99;
    const size_t screens = Lcd().Screens().size();
    m_machine->AtNextPass([&] {
      lResult = g_Cis.CisCalibrationDialog();
      bDone = true;
    });
    for (uint32_t k = 0; k <= enters && !bDone; ++k) {
      const char* pszPrompt = k == 0 ? "START:PUSH ENTER" : "NEXT :PUSH ENTER";
      if (k == enters && k == 3) break;
      m_machine->RunUntil([&] { return Lcd().Visible() == pszPrompt || bDone; }, Ms(10000));
      Keys().Tap(k < enters ? sim::PanelKey::Enter : sim::PanelKey::Clear, Ms(200), Ms(60));
      m_machine->RunUntil([&] { return Lcd().Visible() != pszPrompt || bDone; }, Ms(10000));
    }
    m_machine->RunUntil([&] { return bDone; }, Ms(60000));
    for (size_t i = screens; i < Lcd().Screens().size(); ++i) pShown->push_back(Lcd().Screens()[i].text);
    return lResult;
  }
  bool m_bPaper = true;
};

struct EdgeCase {
  const char* name;
  int32_t sceneEdge;  // -1: no paper
  uint32_t band;      // 0: no print
  int32_t result;
  uint32_t paperEdge;
  uint32_t imageEdge;
};

TEST_F(CisSensor, GradientSearchesFindTheFirstPixelOfTheSteepestRun) {
  // 59 to 131 across the paper edge: the filter's means climb 8 a pixel
  // from 5 pixels before the edge, and the first of them wins; the printed
  // band likewise from 5 pixels before it. Below pixel 26 the filter is 0.
  const EdgeCase kPaper[] = {
      {"edge 31: first reportable pixel", 31, 0, 0, 26, 0},
      {"edge 80", 80, 0, 0, 75, 0},
      {"edge 154: last reportable pixel", 154, 0, 0, 149, 0},
      {"edge 155: ramp wholly past 149", 155, 0, -1, 0, 0},
      {"edge 20: no ramp before 26 counts", 20, 0, -1, 0, 0},
      {"no paper", -1, 0, -1, 0, 0},
  };
  for (const EdgeCase& c : kPaper) {
    SCOPED_TRACE(c.name);
    Scene(c.sceneEdge, c.band);
    const size_t mark = Mark();
    uint32_t ulEdge = 99;
    EXPECT_EQ(Run([&] { return g_Cis.DetectPaperEdge(&ulEdge); }), c.result);
    EXPECT_EQ(ulEdge, c.paperEdge);
    EXPECT_EQ(LoggedSince(mark, "Not Paper Edge..."), c.result != 0);
  }
  const EdgeCase kBoth[] = {
      {"paper and band", 80, 180, 0, 75, 175},
      {"paper without band", 80, 0, -2, 75, 0},
      {"nothing", -1, 0, -3, 0, 0},
  };
  for (const EdgeCase& c : kBoth) {
    SCOPED_TRACE(c.name);
    Scene(c.sceneEdge, c.band);
    const size_t mark = Mark();
    uint32_t ulPaper = 99, ulImage = 99;
    EXPECT_EQ(Run([&] { return g_Cis.DetectPaperImageEdge(&ulPaper, &ulImage); }), c.result);
    EXPECT_EQ(ulPaper, c.paperEdge);
    EXPECT_EQ(ulImage, c.imageEdge);
    EXPECT_EQ(LoggedSince(mark, "Not Paper Edge..."), c.result == -1 || c.result == -3);
    EXPECT_EQ(LoggedSince(mark, "Not Image Edge..."), c.result <= -2);
  }
}

TEST_F(CisSensor, SliceSearchesReportTheScenesEdgeAtTheirLevels) {
  struct SliceCase {
    const char* name;
    int32_t paperLevel;
    int32_t imageLevel;
    int32_t sceneEdge;
    uint32_t band;
    int32_t paperResult;  // DetectPaperEdgeBySlice
    uint32_t paperEdge;
    int32_t bothResult;  // FindEdgesBySlice
    uint32_t bothPaper;
    uint32_t bothImage;
  };
  // Paper reads 131, background 59, print 68.
  const SliceCase kCases[] = {
      {"edge at 20", 75, 75, 20, 0, 0, 20, 0, 20, 0},
      {"edge at 149", 75, 75, 149, 0, 0, 149, 0, 149, 0},
      {"edge at 150: past the paper search", 75, 75, 150, 0, -1, 0, 0, 150, 0},
      {"paper and band", 75, 75, 80, 180, 0, 80, 0, 80, 180},
      {"band inside the first 60 pixels: scan from 140", 75, 75, 80, 130, 0, 80, 0, 80, 140},
      {"no paper", 75, 75, -1, 0, -1, 0, -1, 0, 0},
      {"paper level above the paper", 132, 75, 80, 180, -1, 0, -1, 0, 0},
      {"paper level at the paper", 131, 75, 80, 180, 0, 80, 0, 80, 180},
      {"image level below the print", 75, 67, 80, 180, 0, 80, 0, 80, 0},
      {"image level at the print", 75, 68, 80, 180, 0, 80, 0, 80, 180},
  };
  for (const SliceCase& c : kCases) {
    SCOPED_TRACE(c.name);
    Scene(c.sceneEdge, c.band);
    InLoop([&] {
      g_ParamPaperEdgeSLv.SetValueNoSave(c.paperLevel);
      g_ParamImageEdgeSLv.SetValueNoSave(c.imageLevel);
    });
    uint32_t ulEdge = 99, ulPaper = 99, ulImage = 99;
    EXPECT_EQ(Run([&] { return g_Cis.DetectPaperEdgeBySlice(&ulEdge); }), c.paperResult);
    EXPECT_EQ(ulEdge, c.paperEdge);
    EXPECT_EQ(Run([&] { return g_Cis.FindEdgesBySlice(&ulPaper, &ulImage); }), c.bothResult);
    EXPECT_EQ(ulPaper, c.bothPaper);
    EXPECT_EQ(ulImage, c.bothImage);
  }
}

TEST_F(CisSensor, OutliersInTwoOfEightSamplesLeaveTheEdges) {
  Cis().SetOutlier(1, 255);
  Cis().SetOutlier(6, 0);
  Scene(80, 180);
  uint32_t ulPaper = 99, ulImage = 99, ulEdge = 99;
  EXPECT_EQ(Run([&] { return g_Cis.DetectPaperImageEdge(&ulPaper, &ulImage); }), 0);
  EXPECT_EQ(ulPaper, 75u);
  EXPECT_EQ(ulImage, 175u);
  EXPECT_EQ(Run([&] { return g_Cis.DetectPaperEdge(&ulEdge); }), 0);
  EXPECT_EQ(ulEdge, 75u);
  EXPECT_EQ(Run([&] { return g_Cis.FindEdgesBySlice(&ulPaper, &ulImage); }), 0);
  EXPECT_EQ(ulPaper, 80u);
  EXPECT_EQ(ulImage, 180u);
  EXPECT_EQ(g_Cis.CapturedLine()[80], 131);
  EXPECT_EQ(g_Cis.CapturedLine()[79], 59);
}

TEST_F(CisSensor, HeadPointFromTwoReadingsOnASkewedSheet) {
  struct HeadCase {
    const char* name;
    uint32_t unit;
    uint32_t side;
    uint32_t e1;
    uint32_t e2;
    int32_t distance;
    int32_t result;
    uint32_t headPoint;
  };
  const HeadCase kCases[] = {
      {"drifting right, unit A", 0, 0, 100, 110, 2260, 0, 105},
      {"drifting right, unit B: x 1128", 1, 1, 100, 110, 2256, 0, 105},
      {"drifting left, unit A", 0, 1, 110, 100, 1130, 0, 110},
      {"negative distance: a short sheet", 0, 0, 100, 110, -1130, 0, 120},
      {"negative distance, unit B", 1, 0, 100, 110, -1128, 0, 120},
      {"zero distance: e2", 0, 0, 100, 137, 0, 0, 137},
      {"clamped at 320", 0, 0, 300, 30, 100, 0, 320},
      {"clamped at 20", 0, 1, 30, 300, 100, 0, 20},
      {"e1 19", 0, 0, 19, 100, 100, -1, 999},
      {"e2 321", 0, 1, 100, 321, 100, -1, 999},
      {"side 2", 0, 2, 100, 100, 100, -1, 999},
  };
  for (const HeadCase& c : kCases) {
    SCOPED_TRACE(c.name);
    uint32_t aulBefore[2] = {};
    uint32_t aulAfter[2] = {};
    int32_t lResult = 99;
    InLoop([&] {
      SelectUnit(c.unit);
      // A known head point on both sides before the call.
      g_Cis.CalcHeadPointPaperEdge(0, 200, 200, 0);
      g_Cis.CalcHeadPointPaperEdge(1, 201, 201, 0);
      g_Cis.GetHeadPointPaperEdge(0, &aulBefore[0]);
      g_Cis.GetHeadPointPaperEdge(1, &aulBefore[1]);
      lResult = g_Cis.CalcHeadPointPaperEdge(c.side, c.e1, c.e2, c.distance);
      g_Cis.GetHeadPointPaperEdge(0, &aulAfter[0]);
      g_Cis.GetHeadPointPaperEdge(1, &aulAfter[1]);
      SelectUnit(0);
    });
    EXPECT_EQ(lResult, c.result);
    for (uint32_t s = 0; s < 2; ++s) {
      const bool bThisSide = c.result == 0 && s == c.side;
      EXPECT_EQ(aulAfter[s], bThisSide ? c.headPoint : aulBefore[s]) << "side " << s;
    }
  }
  EXPECT_TRUE(m_machine->Logged("CalcHeadPointPaperEdge Parameter Error"));
  uint32_t ulHead = 7;
  int32_t lResult = 0;
  InLoop([&] { lResult = g_Cis.GetHeadPointPaperEdge(2, &ulHead); });
  EXPECT_EQ(lResult, -1);
  EXPECT_EQ(ulHead, 7u);
  EXPECT_TRUE(m_machine->Logged("GetHeadPointPaperEdge Parameter Error"));
}

TEST_F(CisSensor, SideOffsetCheckInUserModeAndOthers) {
  struct SideCase {
    const char* name;
    uint16_t serviceMode;
    uint32_t unit;
    int32_t cisOffset;
    uint32_t headPoint;
    int32_t result;
    int32_t stored;
    const char* log;
  };
  const SideCase kCases[] = {
      {"L +32", 0, 0, 2, 110, 0, 32, "[CIS SideOffset L] 32 -> OK "},
      {"L +33", 0, 0, 3, 110, -1, 0, "[CIS SideOffset L] 33 -> NG "},
      {"L -32", 0, 0, 0, 48, 0, -32, "[CIS SideOffset L] -32 -> OK "},
      {"L -33", 0, 0, 0, 47, -1, 0, "[CIS SideOffset L] -33 -> NG "},
      {"R +32", 0, 1, 12, 60, 0, 32, "[CIS SideOffset R] 32 -> OK "},
      {"R -33", 0, 1, -13, 100, -1, 0, "[CIS SideOffset R] -33 -> NG "},
      {"another service mode: no limit", 2, 0, 3, 110, 0, 33, "[CIS SideOffset L] 33 -> OK "},
  };
  for (const SideCase& c : kCases) {
    SCOPED_TRACE(c.name);
    const size_t mark = Mark();
    int32_t lResult = 99;
    int32_t lStored = 99;
    InLoop([&] {
      const uint16_t usMode = g_usServiceMode;
      g_usServiceMode = c.serviceMode;
      (c.unit == 0 ? g_ParamCisOffsetL : g_ParamCisOffsetR).SetValue(c.cisOffset);
      (c.unit == 0 ? g_ParamSideOffsetL : g_ParamSideOffsetR).SetValue(77);
      lResult = g_Cis.CheckCisSideOffset(c.unit, c.headPoint);
      lStored = SettingValue(c.unit == 0 ? g_ParamSideOffsetL : g_ParamSideOffsetR);
      g_usServiceMode = usMode;
    });
    EXPECT_EQ(lResult, c.result);
    EXPECT_EQ(lStored, c.stored);
    EXPECT_TRUE(LoggedSince(mark, c.log));
  }
}

TEST_F(CisSensor, TuningsOnBlankPaperEndAtTheDefaults) {
  uint8_t ucDiagOffset = 0, ucDiagLed = 0;
  InLoop([] {
    g_ParamCisOffsetV.SetValueNoSave(0);
    g_ParamCisLedV.SetValueNoSave(0);
    g_ucDiagResults[DIAG_CIS_OFFSET] = 0;
    g_ucDiagResults[DIAG_CIS_LED] = 0;
  });
  const size_t screens = Lcd().Screens().size();
  // Mode 2, the self-diagnosis, writes its result bytes.
  EXPECT_EQ(Run([&] { return g_Cis.TuneCisOffset(2); }), 0);
  EXPECT_EQ(Run([&] { return g_Cis.TuneCisLed(2); }), 0);
  InLoop([&] {
    ucDiagOffset = g_ucDiagResults[DIAG_CIS_OFFSET];
    ucDiagLed = g_ucDiagResults[DIAG_CIS_LED];
  });
  EXPECT_EQ(SettingValue(g_ParamCisOffsetV), 60);
  EXPECT_EQ(SettingValue(g_ParamCisLedV), 40);
  EXPECT_EQ(ucDiagOffset, 60);
  EXPECT_EQ(ucDiagLed, 40);
  EXPECT_TRUE(m_machine->Logged("[CIS] Tune Offset = 60"));
  EXPECT_TRUE(m_machine->Logged("[CIS] Tune LED = 40 (ReadValue = 129)"));
  std::string shown;
  for (size_t i = screens; i < Lcd().Screens().size(); ++i) shown += Lcd().Screens()[i].text + "|";
  EXPECT_EQ(shown, "Tuning Offset V |Tuning CIS LED  |");
  for (uint32_t p = 0; p < Window::kPixels; ++p) ASSERT_EQ(Cis().Gain(p), 0) << p;
}

TEST_F(CisSensor, ASettingIndexSelectsTheLedSettingTuned) {
  InLoop([] {
    g_Cis.SetSettingIndex(2);
    g_Cis.SetSettingIndex(4);  // ignored
    g_ParamCisLedVDA.SetValue(0);
  });
  uint32_t ulIndex = 9;
  InLoop([&] { g_Cis.GetSettingIndex(&ulIndex); });
  EXPECT_EQ(ulIndex, 2u);
  EXPECT_EQ(Run([&] { return g_Cis.TuneCisLed(1); }), 0);
  EXPECT_EQ(SettingValue(g_ParamCisLedVDA), 40);
  InLoop([] { g_Cis.SetSettingIndex(0); });
}

TEST_F(CisSensor, ADeadLedFailsTheTuningsAndKeepsTheSettings) {
  Cis().SetFault(Window::Fault::LedDead, true);
  InLoop([] { g_ParamCisLedV.SetValueNoSave(33); });
  // A silent mode ends 500 ms after the text.
  EXPECT_EQ(Run([&] { return g_Cis.TuneCisLed(1); }, Ms(120000)), -1);
  EXPECT_EQ(Lcd().Visible(), "Tuning Error    ");
  const size_t firstError = m_machine->FindLog("[CIS] Error: Tune LED = 154");
  ASSERT_NE(firstError, sim::Machine::npos);
  EXPECT_EQ(SettingValue(g_ParamCisLedV), 33);
  // The service mode waits for a key.
  bool bDone = false;
  int32_t lResult = 99;
  m_machine->AtNextPass([&] {
    lResult = g_Cis.TuneCisLed(0);
    bDone = true;
  });
  m_machine->RunUntil(
      [&] { return m_machine->FindLog("[CIS] Error: Tune LED = 154", firstError + 1) != sim::Machine::npos; },
      Ms(120000));
  m_machine->RunFor(Ms(3000));
  EXPECT_FALSE(bDone) << "waiting for a key";
  EXPECT_EQ(Lcd().Visible(), "Tuning Error    ");
  Keys().Tap(sim::PanelKey::Enter, Ms(200), Ms(10));
  m_machine->RunUntil([&] { return bDone; }, Ms(2000));
  EXPECT_TRUE(bDone);
  EXPECT_EQ(lResult, -1);
  EXPECT_EQ(SettingValue(g_ParamCisLedV), 33);
  Cis().SetFault(Window::Fault::LedDead, false);
}

uint8_t ExpectedGain(uint32_t p) {
  const uint8_t a = Window::PixelValue(40, 60, Window::kTarget, Window::Sensitivity(p));
  return a <= 64 ? 1 : static_cast<uint8_t>(16384 / a);
}

TEST_F(CisSensor, TheCalibrationDialogWritesTheSelectedBlockAndTheGainsFlattenTheTarget) {
  Cis().SetCalibrationTarget(true);
  InLoop([] { g_Cis.SetSettingIndex(1); });
  const std::vector<uint8_t> before = FlashImage();
  const size_t mark = Mark();
  std::vector<std::string> shown;
  EXPECT_EQ(Dialog(3, &shown), 0);
  const std::vector<std::string> kShown = {"START:PUSH ENTER", "CALIBRATION...  ", "NEXT :PUSH ENTER", "CALIBRATION...  ",
                                           "NEXT :PUSH ENTER", "CALIBRATION...  ", "CALCULATION...  ", "FLASH WRITING...",
                                           "END             "};
  EXPECT_EQ(shown, kShown);
  const std::vector<uint8_t> after = FlashImage();
  const uint32_t ulBlock1 = 1230;
  for (uint32_t p = 0; p < CIS_PIXELS; ++p) ASSERT_EQ(after[ulBlock1 + p], ExpectedGain(p)) << p;
  EXPECT_EQ(after[ulBlock1 + 1228] | (after[ulBlock1 + 1229] << 8), images::OnesComplementSum16(&after[ulBlock1], 1228));
  EXPECT_TRUE(std::equal(before.begin(), before.begin() + 1230, after.begin())) << "block 0 as it was";
  for (uint32_t i = CIS_CALIB_IMAGE_BYTES; i < after.size(); ++i) EXPECT_EQ(after[i], 0xFF) << "serial erased";
  // The gains logged between two dash lines.
  const size_t first = m_machine->FindLog("--------------------------------", mark);
  ASSERT_NE(first, sim::Machine::npos);
  const auto& log = m_machine->Log();
  ASSERT_GT(log.size(), first + 1229);
  for (uint32_t p = 0; p < CIS_PIXELS; ++p) ASSERT_EQ(log[first + 1 + p].text, std::to_string(ExpectedGain(p))) << p;
  EXPECT_EQ(log[first + 1229].text, "--------------------------------");
  EXPECT_TRUE(LoggedSince(mark, "Caribration End"));
  // Loaded, the gains take the sensitivity pattern out of the target.
  std::vector<uint8_t> line(CIS_PIXELS);
  InLoop([&] {
    g_Cis.SetCalibData();
    g_Cis.LedOn();
    g_Cis.CaptureCisLine(line.data(), CIS_CAPTURE_SAMPLES);
    g_Cis.LedOff();
    g_Cis.SetSettingIndex(0);
  });
  for (uint32_t p = 0; p < CIS_PIXELS; ++p) {
    ASSERT_GE(line[p], 126) << p;
    ASSERT_LE(line[p], 130) << p;
  }
}

TEST_F(CisSensor, TheCalibrationDialogEndedAfterOneCaptureWritesNothing) {
  Cis().SetCalibrationTarget(true);
  InLoop([] { g_Cis.SetCalibData(); });
  ASSERT_EQ(Cis().Gain(0), 128) << "the sample's gains loaded";
  const std::vector<uint8_t> before = FlashImage();
  std::vector<std::string> shown;
  EXPECT_EQ(Dialog(1, &shown), 0);
  ASSERT_GE(shown.size(), 3u);
  EXPECT_EQ(shown.back(), "NEXT :PUSH ENTER");
  EXPECT_EQ(FlashImage(), before);
  for (uint32_t p = 0; p < Window::kPixels; ++p) ASSERT_EQ(Cis().Gain(p), 0) << p;
  EXPECT_FALSE(m_machine->Logged("Caribration End"));
}

}  // namespace
