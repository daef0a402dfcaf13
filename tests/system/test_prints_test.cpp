// The test prints on a ready sample printer, launched from "Test Print
// Mode" as its menu item starts it (a test step in the application task)
// with the keys pressed on the panel and the LCD read after each: every
// page queues an internal job of two images whose planes, line by line as
// the DSP row tables take them (RowOf), show the pattern the expectations
// below describe; the refusals leave the queue, the buffers and the
// settings as they were; the pickers preselect and keep or restore their
// values; the AMS pattern takes the 8x10 size only around its job.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "firmware/control/app_startup.h"
#include "firmware/control/error_history.h"
#include "firmware/control/error_manager.h"
#include "firmware/devices/eeprom.h"
#include "firmware/control/imprint_text.h"
#include "firmware/control/menu.h"
#include "firmware/devices/buf_slot_table.h"
#include "firmware/devices/settings.h"
#include "firmware/hal/hw.h"
#include "firmware/printengine/print_job_queue.h"
#include "firmware/printengine/print_mode.h"
#include "firmware/printengine/print_size.h"
#include "firmware/service/self_print.h"
#include "firmware/service/test_prints.h"
#include "sim/panel/panel.h"
#include "sim/board.h"
#include "sim/memory/nor_flash.h"
#include "firmware/printengine/dsp_link.h"
#include "firmware/printengine/thv_control.h"
#include "tests/support/machine_test.h"
#include "tests/support/prepared_paths.h"
#include "tests/support/print_jobs.h"
#include "firmware/hostif/usb_command_test_support.h"
#include "firmware/service/bitmap_fonts.h"
#include "protocol/codes.h"
#include "firmware/platform/time_base.h"

namespace {

using sim::PanelKey;
using testsupport::Ms;

constexpr uint32_t kW = PRINT_WIDTH;

// The expected level of plane p (0 Y, 1 M, 2 C) at line n, dot x of a page
// of L lines.
using PagePixel = std::function<uint8_t(uint32_t p, uint32_t n, uint32_t x, uint32_t L)>;

// ---- the patterns as their description gives them -------------------------------------

uint8_t CrossPixel(uint32_t, uint32_t n, uint32_t x, uint32_t) {
  if (n % 48 <= 3) return 255;
  return (x >= 48 && x % 48 < 4) ? 255 : 0;
}

uint8_t HPixel(uint32_t, uint32_t n, uint32_t x, uint32_t) {
  const uint32_t r = n % 42;
  const uint32_t s = 11;  // ((2464 mod 34) + 6) / 2
  if (r < 6 || x < s || (x - s) / 34 >= 72) return 0;
  const uint32_t d = (x - s) % 34;
  if (r >= 20 && r < 28) return d < 28 ? 255 : 0;  // the bar
  return (d < 8 || (d >= 20 && d < 28)) ? 255 : 0;  // the two strokes
}

uint8_t Level8Pixel(uint32_t, uint32_t n, uint32_t, uint32_t L) {
  const uint32_t k = std::min<uint32_t>(n / (L / 8), 7);
  return static_cast<uint8_t>(255 - 32 * k);
}

PagePixel Uniform(uint8_t uc) {
  return [uc](uint32_t, uint32_t, uint32_t, uint32_t) { return uc; };
}

// Boxes of 130 x 130 at x = h + k (130 + 2h), h = (W/3 - 130)/2 = 345 (345,
// 1165, 1985), in periods of 2m + 130 lines, m = (L/3 - 130)/2; a 2-dot
// frame, a 4-dot vertical bar and a 4-line horizontal bar 120 long.
PagePixel Regi(uint8_t ucBackground) {
  return [ucBackground](uint32_t, uint32_t n, uint32_t x, uint32_t L) -> uint8_t {
    const uint32_t m = (L / 3 - 130) / 2;
    const uint32_t r = n % (2 * m + 130);
    if (r < m || r >= m + 130) return ucBackground;
    const uint32_t v = r - m;  // line inside the box
    for (uint32_t x0 : {345u, 1165u, 1985u}) {
      if (x < x0 || x >= x0 + 130) continue;
      const uint32_t d = x - x0;
      const bool bFrame = d < 2 || d >= 128 || v < 2 || v >= 128;
      const bool bInside = d >= 5 && d < 125 && v >= 5 && v < 125;
      const bool bBars = bInside && ((d >= 63 && d < 67) || (v >= 63 && v < 67));
      return (bFrame || bBars) ? 255 : 0;
    }
    return ucBackground;
  };
}

// Twelve bands: grey strips with two crosses, Y, M, C, white, half-level
// patches, white, full-level patches.
uint8_t StandardPixel(uint32_t p, uint32_t n, uint32_t x, uint32_t L) {
  const int32_t e = static_cast<int32_t>(L / 8);
  int32_t h[12] = {(e - 40) / 2, 18, 4, 18, 0, e, e, e, 4, static_cast<int32_t>(L / 4), 4, 0};
  h[4] = e - (h[0] + 18 + 4 + 18);
  int32_t lSum = 0;
  for (int i = 0; i < 11; ++i) lSum += h[i];
  h[11] = static_cast<int32_t>(L) - lSum;
  uint32_t b = 0;
  for (int32_t lEnd = h[0]; b < 11 && static_cast<int32_t>(n) >= lEnd; lEnd += h[++b]) {
  }
  const bool bCrossStroke = (x >= 68 && x < 72) || (x >= kW - 72 && x < kW - 68);
  const bool bCrossBar = (x >= 50 && x < 90) || (x >= kW - 90 && x < kW - 50);
  switch (b) {
    case 0: case 4: return 190;
    case 1: case 3: return bCrossStroke ? 0 : 190;
    case 2: return bCrossBar ? 0 : 190;
    case 5: case 6: case 7: return p == b - 5 ? 255 : 0;
    case 8: case 10: return 0;
    default: {
      const uint32_t q = kW / 8;
      const uint32_t k = std::min<uint32_t>(x / q, 7);
      if (k < 7 && x == (k + 1) * q - 1) return 255;
      static const uint8_t kPlanes[8][3] = {{1, 1, 1}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1},
                                            {1, 1, 0}, {1, 0, 1}, {0, 1, 1}, {1, 1, 1}};
      return kPlanes[k][p] != 0 ? (b == 9 ? 127 : 255) : 0;
    }
  }
}

// ---- what a launcher left ----------------------------------------------------------------

struct JobSeen {
  bool bQueued = false;
  uint32_t ulActive = 0;
  uint16_t usKind = 0;
  uint16_t usCopies = 0;
  uint8_t ucExpectedMask = 0;
  uint8_t ucCompleteMask = 0;
  std::vector<uint8_t> order;
  std::vector<uint16_t> internal;
  std::vector<const PrintSizeRecord*> slotSizes;
  const PrintSizeRecord* pJobSize = nullptr;
  const PrintSizeRecord* pTableAfter = nullptr;
  uint32_t ulMenuAbort = 0;
  CSelfPrint* apPatterns[3] = {};
  uint32_t ulFree = 0;
  std::string mismatch;  // the first lines whose rows differ from the pattern
};

// Every plane of every image of the head job, line by line through RowOf,
// against the pattern.
std::string ComparePages(PrintJobRecord* pJob, const PagePixel& pixel) {
  const PrintSizeRecord& size = *pJob->pPrintSize;
  const uint32_t L = size.ulPrintLength;
  const uint32_t ulPlane = kW * (L + size.aulExtraLines[0] + size.aulExtraLines[1]);
  CSelfPrint* const apPatterns[3] = {g_pSelfPrintY, g_pSelfPrintM, g_pSelfPrintC};
  std::ostringstream out;
  uint32_t ulBad = 0;
  for (uint32_t i = 0; i < pJob->ucSlotCount; ++i) {
    ImageSlot* pSlot = nullptr;
    g_PrintJobQueue.GetImageSlot(pJob, pJob->aucSlotOrder[i], &pSlot);
    for (uint32_t p = 0; p < 3; ++p) {
      const uint32_t ulBase = apPatterns[p] == &g_SelfPrintStringY ? 0 : p * ulPlane;
      for (uint32_t n = 0; n < L && ulBad < 5; ++n) {
        const uint16_t usRow = apPatterns[p]->RowOf(static_cast<uint16_t>(n));
        const auto* pRow = static_cast<const uint8_t*>(PhysToHost(pSlot->ulImageAddress + ulBase + usRow * kW, kW));
        for (uint32_t x = 0; x < kW; ++x) {
          const uint8_t ucWant = pixel(p, n, x, L);
          if (pRow[x] == ucWant) continue;
          out << "image " << i << " plane " << p << " line " << n << " (row " << usRow << ") x " << x << ": "
              << int{pRow[x]} << " not " << int{ucWant} << "\n";
          ++ulBad;
          break;
        }
      }
    }
  }
  return out.str();
}

JobSeen SeeJob(const PagePixel& pixel) {
  JobSeen seen;
  g_PrintJobQueue.GetActiveJobCount(&seen.ulActive);
  g_BufSlots3A.CountFree(&seen.ulFree);
  seen.ulMenuAbort = g_ulMenuAbort;
  seen.pTableAfter = g_pPrintSizeTable;
  seen.apPatterns[0] = g_pSelfPrintY;
  seen.apPatterns[1] = g_pSelfPrintM;
  seen.apPatterns[2] = g_pSelfPrintC;
  PrintJobRecord* pJob = nullptr;
  if (g_PrintJobQueue.GetJob(PRINT_JOB_LIST_ACTIVE, &pJob) != 0 || pJob == nullptr) return seen;
  seen.bQueued = true;
  seen.usKind = pJob->usJobKind;
  seen.usCopies = pJob->usCopies;
  seen.ucExpectedMask = pJob->ucExpectedMask;
  seen.ucCompleteMask = pJob->ucCompleteMask;
  seen.pJobSize = pJob->pPrintSize;
  for (uint32_t i = 0; i < pJob->ucSlotCount; ++i) {
    seen.order.push_back(pJob->aucSlotOrder[i]);
    ImageSlot* pSlot = nullptr;
    g_PrintJobQueue.GetImageSlot(pJob, pJob->aucSlotOrder[i], &pSlot);
    seen.internal.push_back(pSlot->usInternal);
    seen.slotSizes.push_back(pSlot->pParams);
  }
  if (pixel) seen.mismatch = ComparePages(pJob, pixel);
  return seen;
}

class TestPrints : public testsupport::MachineTest {
 protected:
  void SetUp() override {
    BootReadyPrinter();
    testsupport::PrepareJobsAtOnce();
  }
  sim::LcdController& Lcd() { return *m_machine->GetBoard().FindDevice<sim::LcdController>(); }
  sim::PanelKeys& Keys() { return *m_machine->GetBoard().FindDevice<sim::PanelKeys>(); }

  bool Shown(const std::string& text, sim::Nanos limit = Ms(3000)) {
    m_machine->RunUntil([&] { return Lcd().Visible() == text; }, limit);
    return Lcd().Visible() == text;
  }
  // Presses the key and waits for the text it leads to.
  void Press(PanelKey key, const std::string& next) {
    Keys().Tap(key, Ms(200));
    EXPECT_TRUE(Shown(next)) << "after a key: \"" << Lcd().Visible() << "\", expected \"" << next << "\"";
    // The key released before the next.
    m_machine->RunFor(Ms(300));
  }
  void PressOnly(PanelKey key) {
    Keys().Tap(key, Ms(200));
    m_machine->RunFor(Ms(400));
  }
  // Starts the step; the test then works the panel; Finish waits for it.
  void Start(std::function<void()> launch, PagePixel pixel = {}) {
    m_bDone = false;
    m_machine->AtNextPass([this, launch, pixel] {
      launch();
      m_seen = SeeJob(pixel);
      m_bDone = true;
    });
  }
  bool Finish(sim::Nanos limit = Ms(120000)) {
    m_machine->RunUntil([this] { return m_bDone; }, limit);
    return m_bDone;
  }
  // Until the main loop has printed and retired every job.
  void WaitQueueEmpty() {
    uint32_t ulActive = 1;
    for (int i = 0; i < 600 && ulActive != 0; ++i) {
      ASSERT_TRUE(m_machine->RunStep([&] { g_PrintJobQueue.GetActiveJobCount(&ulActive); }, Ms(60000)));
      if (ulActive != 0) m_machine->RunFor(Ms(1000));
    }
    ASSERT_EQ(ulActive, 0u);
  }

  bool m_bDone = false;
  JobSeen m_seen;
};

// ---- every page queues its pattern ------------------------------------------------------

struct PageCase {
  const char* pszPage;
  uint32_t ulMenuPresses;  // from the first page
  // From Enter on the page: each key and the text it leads to; the last
  // key (Enter on the copies) starts the job.
  std::vector<std::pair<PanelKey, std::string>> keys;
  CSelfPrint* pY;
  PagePixel pixel;
  uint16_t usCopies;
};

const char* const kPages[] = {"Default Pattern ", "Gray Pattern    ", "Cross Pattern   ",
                              "8Level Pattern  ", "8Lv With Letter ", "Regi Pattern    ",
                              "H Pattern       ", "AMS Pattern     ", "Target B Pattern"};

TEST_F(TestPrints, EveryPageQueuesAnInternalJobOfTwoImagesDrawnWithItsPattern) {
  const std::string kCount1 = "Print Number  :1";
  const std::string kCount2 = "Print Number  :2";
  const PageCase kCases[] = {
      {"Default Pattern ", 0, {{PanelKey::Enter, kCount1}, {PanelKey::Enter, ""}}, &g_SelfPrintStandardY, StandardPixel, 1},
      {"Gray Pattern    ", 1,
       {{PanelKey::Enter, "Gray Level    :0"}, {PanelKey::Inc, "Gray Level   :32"}, {PanelKey::Inc, "Gray Level   :64"},
        {PanelKey::Enter, kCount1}, {PanelKey::Inc, kCount2}, {PanelKey::Enter, ""}},
       &g_SelfPrintGrayY, Uniform(64), 2},
      {"Cross Pattern   ", 2, {{PanelKey::Enter, kCount2}, {PanelKey::Enter, ""}}, &g_SelfPrintCrossY, CrossPixel, 2},
      {"8Level Pattern  ", 3, {{PanelKey::Enter, "8Level Gloss    "}, {PanelKey::Enter, kCount2}, {PanelKey::Enter, ""}},
       &g_SelfPrintLevel8Y, Level8Pixel, 2},
      {"Regi Pattern    ", 5,
       {{PanelKey::Enter, "Gray Level   :64"}, {PanelKey::Enter, kCount2}, {PanelKey::Dec, kCount1}, {PanelKey::Enter, ""}},
       &g_SelfPrintRegiY, Regi(64), 1},
      {"H Pattern       ", 6, {{PanelKey::Enter, kCount1}, {PanelKey::Enter, ""}}, &g_SelfPrintHPaternY, HPixel, 1},
      {"Target B Pattern", 8, {{PanelKey::Enter, kCount1}, {PanelKey::Enter, ""}}, &g_SelfPrintGrayY, Uniform(155), 1},
  };
  for (const PageCase& c : kCases) {
    SCOPED_TRACE(c.pszPage);
    Start(RunTestPrintMenu, c.pixel);
    ASSERT_TRUE(Shown(kPages[0]));
    for (uint32_t ulPage = 1; ulPage <= c.ulMenuPresses; ++ulPage) Press(PanelKey::Menu, kPages[ulPage]);
    for (const auto& [key, next] : c.keys) {
      if (next.empty()) {
        PressOnly(key);
      } else {
        Press(key, next);
      }
    }
    ASSERT_TRUE(Finish()) << "LCD: " << Lcd().Visible();
    const JobSeen& s = m_seen;
    ASSERT_TRUE(s.bQueued);
    EXPECT_EQ(s.ulActive, 1u);
    EXPECT_EQ(s.usKind, 1);
    EXPECT_EQ(s.usCopies, c.usCopies);
    EXPECT_EQ(s.ucExpectedMask, SLOT_COLORS);
    EXPECT_EQ(s.ucCompleteMask, SLOT_COLORS);
    EXPECT_EQ(s.order.size(), 2u);
    EXPECT_EQ(s.internal, (std::vector<uint16_t>{1, 1}));
    for (const PrintSizeRecord* p : s.slotSizes) EXPECT_NE(p, nullptr);
    EXPECT_EQ(s.pJobSize, s.pTableAfter);
    EXPECT_EQ(s.ulMenuAbort, 3u);
    EXPECT_EQ(s.apPatterns[0], c.pY);
    EXPECT_EQ(s.ulFree, 1u) << "two of the three large buffers hold the images";
    EXPECT_EQ(s.mismatch, "");
    WaitQueueEmpty();
  }
}

// ---- refusals ------------------------------------------------------------------------------

struct Before {
  uint32_t ulActive, ulFree;
  uint16_t usCount, usGray;
  int32_t lMatte, lImprint;
  const PrintSizeRecord* pSize;
  bool operator==(const Before&) const = default;
};
Before Now() {
  Before b{};
  g_PrintJobQueue.GetActiveJobCount(&b.ulActive);
  g_BufSlots3A.CountFree(&b.ulFree);
  b.usCount = g_usTestPrintCount;
  b.usGray = g_usTestGrayLevel;
  b.lMatte = SettingValue(g_ParamMatteMode);
  b.lImprint = SettingValue(g_ParamImprintText);
  b.pSize = g_pPrintSizeTable;
  return b;
}

TEST_F(TestPrints, RefusedLaunchersLeaveQueueBuffersAndSettingsAsTheyWere) {
  int32_t alTaken[2] = {-1, -1};
  auto TakeTwoBuffers = [&] {
    uint32_t ulOffset = 0;
    g_BufSlots3A.Allocate(BUF_TYPE_PRINT, 1, 0x77, 1, &alTaken[0], &ulOffset);
    g_BufSlots3A.Allocate(BUF_TYPE_PRINT, 1, 0x77, 2, &alTaken[1], &ulOffset);
  };
  auto FreeTwoBuffers = [&] {
    g_BufSlots3A.Free(static_cast<uint32_t>(alTaken[0]));
    g_BufSlots3A.Free(static_cast<uint32_t>(alTaken[1]));
  };
  uint8_t ucHeldJob = 0;
  auto HoldReceivingJob = [&] {
    ASSERT_EQ(g_PrintJobQueue.CreateJob(1, 1, 1), 0);
    PrintJobRecord* pJob = nullptr;
    g_PrintJobQueue.GetJob(PRINT_JOB_LIST_RECEIVING, &pJob);
    ucHeldJob = static_cast<uint8_t>(pJob->ulJobId);
  };
  // Print mode 1 with a job queued: the switch back to mode 0 is refused.
  auto HoldQueuedJob = [&] {
    ASSERT_EQ(SetPrintMode(PRINT_MODE_MULTI_UP), 0);
    HoldReceivingJob();
    PrintJobRecord* pJob = nullptr;
    g_PrintJobQueue.GetJob(PRINT_JOB_LIST_RECEIVING, &pJob);
    g_PrintJobQueue.AddImageSlot(0, FILL_IN_IMAGE_OFFSET, IMAGE_INTERNAL, g_pPrintSizeTable);
    g_PrintJobQueue.CompleteSlot();
    g_PrintJobQueue.CompleteJob();
  };
  auto DropHeldJob = [&] {
    g_PrintJobQueue.CancelJob(ucHeldJob, 0);
    SetPrintMode(PRINT_MODE_NORMAL);
  };
  struct Case {
    const char* pszWhat;
    std::function<void()> prepare;
    void (*pfnLaunch)();
    std::vector<PanelKey> keys;  // pressed once the first picker shows
    std::function<void()> undo;
  };
  const Case kCases[] = {
      {"Print Number left with Clear", nullptr, PrintCrossPattern, {PanelKey::Inc, PanelKey::Clear}, nullptr},
      {"Gray Level left with Clear", nullptr, PrintGrayPattern, {PanelKey::Inc, PanelKey::Clear}, nullptr},
      {"a job still receiving", HoldReceivingJob, PrintHPattern, {PanelKey::Enter}, DropHeldJob},
      {"a job queued in print mode 1: mode 0 refused", HoldQueuedJob, PrintCrossPattern, {PanelKey::Enter}, DropHeldJob},
      {"a job queued: no status sheet either", HoldQueuedJob, [] { PrintStatusSheet(); }, {}, DropHeldJob},
      {"one free large buffer", TakeTwoBuffers, PrintDefaultPattern, {PanelKey::Enter}, FreeTwoBuffers},
      {"one free large buffer, AMS", TakeTwoBuffers, PrintAmsPattern, {PanelKey::Enter}, FreeTwoBuffers},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.pszWhat);
    Before before{};
    Before after{};
    bool bLaunched = false;
    m_bDone = false;
    m_machine->AtNextPass([&] {
      if (c.prepare) c.prepare();
      before = Now();
      g_ulMenuAbort = 0;
      bLaunched = true;
      c.pfnLaunch();
      after = Now();
      m_seen.ulMenuAbort = g_ulMenuAbort;
      if (c.undo) c.undo();
      m_bDone = true;
    });
    m_machine->RunUntil([&] { return bLaunched; }, Ms(5000));
    m_machine->RunFor(Ms(500));
    for (PanelKey key : c.keys) PressOnly(key);
    ASSERT_TRUE(Finish());
    EXPECT_EQ(after, before);
    EXPECT_NE(m_seen.ulMenuAbort, 3u) << "no job: the menus stay";
  }

  // With one free buffer the status sheet is still made.
  m_bDone = false;
  m_machine->AtNextPass([&] {
    TakeTwoBuffers();
    PrintStatusSheet();
    m_seen = SeeJob({});
    FreeTwoBuffers();
    m_bDone = true;
  });
  ASSERT_TRUE(Finish());
  EXPECT_TRUE(m_seen.bQueued);
  EXPECT_EQ(m_seen.ucExpectedMask, SLOT_COLOR_B);
  EXPECT_EQ(m_seen.order, (std::vector<uint8_t>{SLOT_COLOR_B}));
  EXPECT_EQ(m_seen.usCopies, 1);
  EXPECT_EQ(m_seen.ulMenuAbort, 1u);
  for (CSelfPrint* p : m_seen.apPatterns) EXPECT_EQ(p, &g_SelfPrintStringY);
}

TEST_F(TestPrints, AnActiveErrorShowsTestPrintFailedForThreeSecondsAndOpensNoPage) {
  uint32_t ulStart = 0, ulEnd = 0;
  m_bDone = false;
  m_machine->AtNextPass([&] {
    g_ErrorMng.SetError(0x0201);
    ulStart = g_MsTimer.NowMs();
    RunTestPrintMenu();
    ulEnd = g_MsTimer.NowMs();
    g_ErrorMng.ClearError(0x0201);
    m_bDone = true;
  });
  ASSERT_TRUE(Shown("TestPrint Failed"));
  ASSERT_TRUE(Finish(Ms(10000)));
  EXPECT_GE(ulEnd - ulStart, 3000u);
  EXPECT_LT(ulEnd - ulStart, 3100u);
  for (const auto& screen : Lcd().Screens()) EXPECT_NE(screen.text, "Default Pattern ");
}

// ---- pickers -----------------------------------------------------------------------------

TEST_F(TestPrints, PickersPreselectTheStoredValueAndKeepOrRestoreTheGrayLevel) {
  struct Preselect {
    const MenuDesc* const* ppPages;
    uint16_t* pusValue;
    uint16_t usValue;
    const char* pszShown;
  };
  const Preselect kCases[] = {
      {g_apPrintNumberPages, &g_usTestPrintCount, 0, "Print Number  :1"},
      {g_apPrintNumberPages, &g_usTestPrintCount, 1, "Print Number  :1"},
      {g_apPrintNumberPages, &g_usTestPrintCount, 33, "Print Number :35"},
      {g_apPrintNumberPages, &g_usTestPrintCount, 750, "Print Number:750"},
      {g_apPrintNumberPages, &g_usTestPrintCount, 751, "Print Number:750"},
      {g_apGrayLevelPages, &g_usTestGrayLevel, 0, "Gray Level    :0"},
      {g_apGrayLevelPages, &g_usTestGrayLevel, 32, "Gray Level   :32"},
      {g_apGrayLevelPages, &g_usTestGrayLevel, 64, "Gray Level   :64"},
      {g_apGrayLevelPages, &g_usTestGrayLevel, 96, "Gray Level   :96"},
      {g_apGrayLevelPages, &g_usTestGrayLevel, 128, "Gray Level  :128"},
      {g_apGrayLevelPages, &g_usTestGrayLevel, 160, "Gray Level  :160"},
      {g_apGrayLevelPages, &g_usTestGrayLevel, 192, "Gray Level  :192"},
      {g_apGrayLevelPages, &g_usTestGrayLevel, 224, "Gray Level  :224"},
      {g_apGrayLevelPages, &g_usTestGrayLevel, 255, "Gray Level  :255"},
      {g_apGrayLevelPages, &g_usTestGrayLevel, 100, "Gray Level  :128"},
  };
  for (const Preselect& c : kCases) {
    SCOPED_TRACE(c.pszShown);
    m_bDone = false;
    uint16_t usAfter = 0;
    m_machine->AtNextPass([&] {
      *c.pusValue = c.usValue;
      RunMenuPages(c.ppPages, 0);
      usAfter = *c.pusValue;
      m_bDone = true;
    });
    EXPECT_TRUE(Shown(c.pszShown)) << Lcd().Visible();
    PressOnly(PanelKey::Clear);
    ASSERT_TRUE(Finish(Ms(5000)));
    EXPECT_EQ(usAfter, c.usValue) << "left without Enter";
  }

  // Gray Pattern: the level chosen stays when Print Number is left; a Gray
  // Level picker left keeps the level before it.
  uint16_t usLevel = 0;
  auto RunGray = [&](std::vector<std::pair<PanelKey, std::string>> keys) {
    m_bDone = false;
    m_machine->AtNextPass([&] {
      PrintGrayPattern();
      usLevel = g_usTestGrayLevel;
      m_seen = SeeJob({});
      m_bDone = true;
    });
    for (const auto& [key, next] : keys) {
      if (next.empty()) {
        PressOnly(key);
      } else {
        Press(key, next);
      }
    }
    EXPECT_TRUE(Finish(Ms(5000)));
  };
  m_machine->RunStep(
      [] {
        g_usTestGrayLevel = 0;
        g_usTestPrintCount = 1;
      },
      Ms(2000));
  RunGray({{PanelKey::Inc, "Gray Level   :32"}, {PanelKey::Enter, "Print Number  :1"}, {PanelKey::Clear, ""}});
  EXPECT_EQ(usLevel, 32);
  EXPECT_FALSE(m_seen.bQueued);
  RunGray({{PanelKey::Inc, "Gray Level   :64"}, {PanelKey::Clear, ""}});
  EXPECT_EQ(usLevel, 32);
}

// ---- the eight steps with matte and texts; the AMS size -----------------------------------

TEST_F(TestPrints, MatteAndTextsGoIntoTheImagesAndTheSettingsComeBack) {
  int32_t lMatteAfter = -1, lImprintAfter = -1;
  std::vector<uint16_t> overcoats;
  bool bTexts = false;
  m_bDone = false;
  m_machine->AtNextPass([&] {
    g_ParamMatteMode.SetValue(0);
    g_ParamImprintText.SetValue(0);
    g_ImprintTextItems[0][0] = 0x5A;
    PrintLevel8Menu();
    lMatteAfter = SettingValue(g_ParamMatteMode);
    lImprintAfter = SettingValue(g_ParamImprintText);
    PrintJobRecord* pJob = nullptr;
    if (g_PrintJobQueue.GetJob(PRINT_JOB_LIST_ACTIVE, &pJob) == 0 && pJob != nullptr) {
      bTexts = true;
      for (uint32_t i = 0; i < pJob->ucSlotCount; ++i) {
        ImageSlot* pSlot = nullptr;
        g_PrintJobQueue.GetImageSlot(pJob, pJob->aucSlotOrder[i], &pSlot);
        overcoats.push_back(pSlot->usOvercoatKind);
        bTexts = bTexts && pSlot->aucTextItems[0][0] == 0x5A;
      }
    }
    m_bDone = true;
  });
  ASSERT_TRUE(Shown("8Level Gloss    "));
  Press(PanelKey::Menu, "8Level Matte    ");
  Press(PanelKey::Menu, "8Level Gloss&Txt");
  Press(PanelKey::Menu, "8Level Matte&Txt");
  Press(PanelKey::Enter, "Print Number  :1");
  PressOnly(PanelKey::Enter);
  ASSERT_TRUE(Finish());
  EXPECT_EQ(overcoats, (std::vector<uint16_t>{OVERCOAT_MATTE, OVERCOAT_MATTE}));
  EXPECT_TRUE(bTexts) << "the imprint texts in both images";
  EXPECT_EQ(lMatteAfter, 0);
  EXPECT_EQ(lImprintAfter, 0);
}

TEST_F(TestPrints, TheAmsPatternPrintsOnThe8x10SizeWhateverTheMediaAndPutsTheSizeBack) {
  const PrintSizeRecord* pBefore = nullptr;
  m_bDone = false;
  m_machine->AtNextPass([&] {
    // 8x12 ribbons: the 3624-line size is the selected one.
    g_pPrintSizeTable = &g_PrintSize8x12;
    pBefore = g_pPrintSizeTable;
    PrintAmsPattern();
    m_seen = SeeJob({});
    m_bDone = true;
  });
  ASSERT_TRUE(Shown("Print Number  :1"));
  EXPECT_EQ(g_pPrintSizeTable, &g_PrintSize8x12) << "the loaded media's size while the picker waits";
  PressOnly(PanelKey::Enter);
  ASSERT_TRUE(Finish());
  ASSERT_TRUE(m_seen.bQueued);
  EXPECT_EQ(m_seen.pJobSize, &g_PrintSize8x10);
  EXPECT_EQ(m_seen.pJobSize->ulPrintLength, 3024u);
  EXPECT_EQ(m_seen.pTableAfter, pBefore);
  EXPECT_EQ(m_seen.apPatterns[0], &g_SelfPrintAMSY);
  EXPECT_EQ(m_seen.apPatterns[2], &g_SelfPrintAMSC);
}

// ---- the status sheet read back ----------------------------------------------------------

// The text of a page: each 16 x 16 cell from the base matched against the
// doubled 8 x 16 glyphs (255 on the background); '?' for a cell that is no
// glyph, trailing blanks cut.
std::vector<std::string> ReadCells(PhysAddr ulBase, uint32_t ulRows, uint32_t ulColumns, uint8_t ucBackground) {
  std::vector<std::string> lines;
  for (uint32_t r = 0; r < ulRows; ++r) {
    std::string line;
    for (uint32_t c = 0; c < ulColumns; ++c) {
      char cFound = '?';
      for (uint32_t code = 32; code < 127 && cFound == '?'; ++code) {
        const uint8_t* pGlyph = g_Font8x16Table[code];
        bool bSame = true;
        for (uint32_t dy = 0; dy < 16 && bSame; ++dy) {
          const auto* pRow = static_cast<const uint8_t*>(PhysToHost(ulBase + (16 * r + 16 + dy) * kW + 16 * c + 16, 16));
          for (uint32_t dx = 0; dx < 16 && bSame; ++dx) {
            const bool bInk = ((pGlyph[dy] >> (7 - dx / 2)) & 1u) != 0;
            bSame = pRow[dx] == (bInk ? 255 : ucBackground);
          }
        }
        if (bSame) cFound = static_cast<char>(code);
      }
      line += cFound;
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// The sheet of the sample printer (package 02.10 of 2024/01/15, FPGA 00.01,
// a fresh printer's counters and settings) with its heads' data, engine
// version 2, a top offset of -5 and three errors in the history; the
// measured head voltages (x left, y right) are the THV model's.
const std::vector<std::string> kExpectedSheet = {
      " BRENTAL ORVIK COMPANY M7300 PHOTO PRINTER STATUS SHEET                                  :)",
      "",
      " S/N: P7300001",
      "",
      " [F/W VERSION]",
      "   MAIN: KT3318MN  02.10     2024/01/15      MAIN BT:KT3318BT  02.10  2024/01/15",
      "    DSP: KT3318DS  02.10     2024/01/15",
      "  TABLE: KT3318TB  02.10     2024/01/15",
      "   FPGA: --------  00.01     ----------",
      "",
      "",
      " [THERMAL HEAD INFORMATION]                         [CIS]",
      "  (LEFT)                   (RIGHT)                   S/N: P7300001",
      "          S/N: TPHL00001           S/N: TPHR00002",
      "   RESISTANCE:   291        RESISTANCE:  5600",
      "",
      "",
      " [THV]",
      "  (LEFT)                   (RIGHT)",
      "    YELLOW: 0776(xxxxxmV)    YELLOW: 0776(yyyyymV)",
      "   MAGENTA: 0776(xxxxxmV)   MAGENTA: 0776(yyyyymV)",
      "      CYAN: 0776(xxxxxmV)      CYAN: 0776(yyyyymV)",
      "        SP: 0776(xxxxxmV)        SP: 0776(yyyyymV)",
      "        OP: 0776(xxxxxmV)        OP: 0776(yyyyymV)",
      "     MATTE: 0776(xxxxxmV)     MATTE: 0776(yyyyymV)",
      "   PREHEAT: 0776(xxxxxmV)   PREHEAT: 0776(yyyyymV)",
      "",
      "",
      " [COUNTER]",
      "  (SHEET COUNT)            (LEFT TPH COUNT)         (RIGHT TPH COUNT)",
      "   TOTAL PRINT: 00000000    TOTAL PRINT: 00000000    TOTAL PRINT: 00000000",
      "   MAINTENANCE: 00000000    MAINTENANCE: 00000000    MAINTENANCE: 00000000",
      "     CUT COUNT: 00000000           HEAD: 00000000           HEAD: 00000000",
      "      CAROUSEL: 00000000",
      "",
      "",
      " [LENGTH]",
      "  (LEFT TPH LENGTH)        (RIGHT TPH LENGTH)",
      "   TOTAL PRINT: 00000000    TOTAL PRINT: 00000000",
      "   MAINTENANCE: 00000000    MAINTENANCE: 00000000",
      "          HEAD: 00000000           HEAD: 00000000",
      "",
      "",
      " [THRESHOLD VALUE]",
      "  (THRESHOLD)              (LEFT THRESHOLD)         (RIGHT THRESHOLD)",
      "     POSITION: 113               TOP: 113                 TOP: 113",
      "    PAPER END: 113           BARCODE: 128             BARCODE: 128",
      "   PAPER PATH: 113          COLOR(R): 000            COLOR(R): 000",
      "   PRINT EXIT: 127          COLOR(G): 000            COLOR(G): 000",
      "                            COLOR(B): 000            COLOR(B): 000",
      "",
      " [CONFIGURATION]",
      "  (CONFIGURATION)          (LEFT CONFIGURATION)     (RIGHT CONFIGURATION)",
      "    ENGINE VERSION:EM3         DENSITY YMC: 100         DENSITY YMC: 100",
      "       MATTE GLOSS:105         DENSITY LOW: 100         DENSITY LOW: 100",
      "   MATTE DEGLOSS B:195        DENSITY LAMI: 100.0      DENSITY LAMI: 100.0",
      "   MATTE DEGLOSS W:205       DENSITY MATTE: 100.0     DENSITY MATTE: 100.0",
      "                            DENSITY MATTE2: 100.0    DENSITY MATTE2: 100.0",
      "                                DENSITY SP: 100          DENSITY SP: 100",
      "",
      "                               TOP OFFSET:-005(251)     TOP OFFSET: 000(000)",
      "                            SENSOR OFFSET: 000(000)  SENSOR OFFSET: 000(000)",
      "                               CIS OFFSET: 000(000)     CIS OFFSET: 000(000)",
      "                                MG OFFSET: 000(000)      MG OFFSET: 000(000)",
      "                            BORDER OFFSET: 000(000)  BORDER OFFSET: 000(000)",
      "",
      " [ERROR LOG]",
      "  00: 12-03 00001234   05: 00-00 00000000",
      "  01: 0A-45 99999999   06: 00-00 00000000",
      "  02: FF-07 00000005   07: 00-00 00000000",
      "  03: 00-00 00000000   08: 00-00 00000000",
      "  04: 00-00 00000000   09: 00-00 00000000",
};

// The DSP information block's revision characters in flash.
void SetDspRevision(const char* pszRevision) {
  sim::NorFlash& flash = *sim::Board::Current().FindDevice<sim::NorFlash>();
  flash.LoadImage(DSP_INFO_FLASH + DSP_INFO_VERSION_REVISION - sim::NorFlash::kBase,
                  reinterpret_cast<const uint8_t*>(pszRevision), 2);
}

const PrintSizeRecord* SizeOfLength(uint32_t ulLength) {
  for (const PrintSizeRecord& r : g_PrintSizeTable) {
    if (r.ulPrintLength == ulLength) return &r;
  }
  return nullptr;
}

TEST_F(TestPrints, TheStatusSheetReadsBackAsTheSheetOfThisPrinter) {
  std::vector<std::string> lines;
  std::vector<std::string> revision01;
  uint32_t aulMv[2][7] = {};
  uint32_t aulLastRow[2] = {};
  m_bDone = false;
  m_machine->AtNextPass([&] {
    g_ParamTopOffsetL.SetValue(-5);
    g_ParamEngineVersion.SetValue(2);
    // The heads' serial numbers (bytes 10-18) and resistances (20 low, 21
    // high).
    const char kSerials[2][10] = {"TPHL00001", "TPHR00002"};
    const uint8_t kResistance[2][2] = {{0x23, 0x01}, {0xE0, 0x15}};
    for (uint32_t u = 0; u < 2; ++u) {
      CHeadEeprom& head = u == 0 ? g_HeadEepromL : g_HeadEepromR;
      for (uint32_t i = 0; i < 9; ++i) head.WriteByte(static_cast<uint8_t>(10 + i), static_cast<uint8_t>(kSerials[u][i]));
      head.WriteByte(20, kResistance[u][0]);
      head.WriteByte(21, kResistance[u][1]);
    }
    // Three errors in the history.
    g_ErrorHistTable.aRecords[0] = {0x12, 3, {}, 1234};
    g_ErrorHistTable.aRecords[1] = {0x0A, 45, {}, 99999999};
    g_ErrorHistTable.aRecords[2] = {0xFF, 7, {}, 5};
    PrintStatusSheet();
    m_seen = SeeJob({});
    lines = ReadCells(g_SelfPrintStringY.TextBase(), 72, 96, 0);
    CThvCnt* const apThv[2][7] = {{&g_ThvYL, &g_ThvML, &g_ThvCL, &g_ThvSPL, &g_ThvOPL, &g_ThvMatteL, &g_ThvPheatL},
                                  {&g_ThvYR, &g_ThvMR, &g_ThvCR, &g_ThvSPR, &g_ThvOPR, &g_ThvMatteR, &g_ThvPheatR}};
    for (uint32_t u = 0; u < 2; ++u) {
      for (uint32_t i = 0; i < 7; ++i) aulMv[u][i] = apThv[u][i]->ReadThvMilliVolt();
    }
    // The last image row a page of L lines prints.
    const uint32_t aulLengths[2] = {2408, 1808};
    for (uint32_t k = 0; k < 2; ++k) {
      const PrintSizeRecord* pSaved = g_pPrintSizeTable;
      g_pPrintSizeTable = const_cast<PrintSizeRecord*>(SizeOfLength(aulLengths[k]));
      for (uint32_t n = 0; n < aulLengths[k]; ++n) {
        aulLastRow[k] = std::max<uint32_t>(aulLastRow[k], g_SelfPrintStringY.RowOf(static_cast<uint16_t>(n)));
      }
      g_pPrintSizeTable = const_cast<PrintSizeRecord*>(pSaved);
    }
    // A DSP revision "01" draws ".01" behind the DSP minor version.
    SetDspRevision("01");
    PrintJobRecord* pJob = nullptr;
    g_PrintJobQueue.GetJob(PRINT_JOB_LIST_ACTIVE, &pJob);
    g_PrintJobQueue.CancelJob(static_cast<uint8_t>(pJob->ulJobId), 0);
    PrintStatusSheet();
    revision01 = ReadCells(g_SelfPrintStringY.TextBase(), 8, 40, 0);
    m_bDone = true;
  });
  ASSERT_TRUE(Finish());
  ASSERT_TRUE(m_seen.bQueued);
  std::vector<std::string> expected = kExpectedSheet;
  char acMv[8];
  for (uint32_t i = 0; i < 7; ++i) {
    std::string& line = expected[19 + i];
    std::snprintf(acMv, sizeof acMv, "%05u", aulMv[0][i]);
    line.replace(line.find("xxxxx"), 5, acMv);
    std::snprintf(acMv, sizeof acMv, "%05u", aulMv[1][i]);
    line.replace(line.find("yyyyy"), 5, acMv);
  }
  ASSERT_EQ(lines.size(), expected.size());
  for (size_t r = 0; r < lines.size(); ++r) EXPECT_EQ(lines[r], expected[r]) << "text row " << r;
  EXPECT_EQ(revision01[6], "    DSP: KT3318DS  02.10.01  2024/01/15");
  // Text row 71 ends at image row 16 x 71 + 31 = 1167.
  EXPECT_GE(aulLastRow[0], 1167u);
  EXPECT_EQ(aulLastRow[1], 903u);
}

// The text block of the eight steps with text, read back from the text
// origin (255 on 31) for each side and ribbon control type, and the DSP
// revision rule of its row 5.
TEST_F(TestPrints, TheLetterPatternsTextBlockShowsItsHeadingSideSerialVersionsAndCounters) {
  // The block as its tables place it (a later text over an earlier one).
  auto Expected = [](uint32_t ulSide, uint8_t ucRibbonControl, bool bRevision) {
    std::vector<std::string> grid(7, std::string(136, ' '));
    auto Put = [&](size_t c, size_t r, const std::string& text) { grid[r].replace(c, text.size(), text); };
    Put(2, 0, ucRibbonControl != 0 ? "BRENTAL ORVIK M7300 PHOTO PRINTER INTERNAL TEST PRINT"
                                   : "MORVELAN TECHNOLOGY KT-3318 PHOTO PRINTER INTERNAL TEST PRINT");
    if (ulSide == 1) Put(120, 0, "** LEFT TPH **");
    if (ulSide == 2) Put(120, 0, "** RIGHT TPH **");
    Put(3, 1, "<PRINTER SERIAL>");
    Put(4, 2, "P7300001");
    Put(3, 3, "<FIRMWARE VERSION>");
    const char* const apszNames[3] = {"MAIN:", "DSP:", "TABLE:"};
    const size_t auColumns[3] = {5, 6, 4};
    for (size_t r = 4; r <= 6; ++r) {
      Put(auColumns[r - 4], r, apszNames[r - 4]);
      Put(11, r, "02");
      Put(13, r, ".");
      Put(14, r, "10");
      Put(20, r, "(");
      Put(21, r, "2024/01/15");
      Put(31, r, ")");
    }
    if (bRevision) Put(16, 5, ".01");
    Put(32, 1, "<COUNTER>");
    Put(35, 2, "(SHEET COUNT)");
    Put(36, 3, "TOTAL PRINT :");
    Put(36, 4, "MAINTENANCE :");
    Put(38, 5, "CUT COUNT :");
    Put(39, 6, "CAROUSEL :");
    for (size_t r = 3; r <= 6; ++r) Put(48, r, "00000000");
    Put(60, 2, "(LEFT TPH COUNT)");
    Put(85, 2, "(RIGHT TPH COUNT)");
    for (size_t c : {61u, 86u}) {
      Put(c, 3, "TOTAL PRINT :");
      Put(c, 4, "MAINTENANCE :");
      Put(c + 12, 3, "00000000");
      Put(c + 12, 4, "00000000");
    }
    for (std::string& line : grid) {
      while (!line.empty() && line.back() == ' ') line.pop_back();
    }
    return grid;
  };
  struct Case {
    uint32_t ulSide;
    uint8_t ucRibbonControl;
    const char* pszRevision;
    std::vector<std::string> lines;
  };
  const Case kCases[] = {
      {0, 1, "00", Expected(0, 1, false)},
      {1, 1, "00", Expected(1, 1, false)},
      {2, 1, "01", Expected(2, 1, true)},
      {2, 0, "00", Expected(2, 0, false)},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.ulSide * 10 + c.ucRibbonControl);
    std::vector<std::string> lines;
    ASSERT_TRUE(m_machine->RunStep(
        [&] {
          SetDspRevision(c.pszRevision);
          const uint8_t ucSaved = g_ucRibbonControlType;
          g_ucRibbonControlType = c.ucRibbonControl;
          uint32_t ulBuffer = 0;
          g_BufSlots3A.GetAddress(0, &ulBuffer);
          g_DrawPartsRectY.SetBase(ulBuffer);
          g_SelfPrintLevel8LetterY.DrawWithSide(c.ulSide);
          lines = ReadCells(g_SelfPrintLevel8LetterY.TextOrigin(), 7, 136, 31);
          g_ucRibbonControlType = ucSaved;
        },
        Ms(60000)));
    for (size_t r = 0; r < c.lines.size(); ++r) EXPECT_EQ(lines[r], c.lines[r]) << "text row " << r;
  }
}

TEST_F(TestPrints, TheHostsStatusSheetFollowUpQueuesAOneImageSheet) {
  ASSERT_TRUE(m_machine->UsbHost().WaitForConfigured(Ms(10000)));
  const auto reply = hostiftest::Command(m_machine->UsbHost(), protocol::CMD_SELF_DIAGNOSIS, {protocol::DIAG_STATUS_SHEET, 0, 0});
  JobSeen seen;
  m_machine->RunUntil(
      [&] {
        uint32_t ulActive = 0;
        g_PrintJobQueue.GetActiveJobCount(&ulActive);
        if (ulActive == 0) return false;
        seen = SeeJob({});
        return seen.ucExpectedMask != 0 && seen.ucCompleteMask == seen.ucExpectedMask;
      },
      Ms(120000));
  ASSERT_TRUE(seen.bQueued);
  EXPECT_EQ(seen.usKind, 1);
  EXPECT_EQ(seen.usCopies, 1);
  EXPECT_EQ(seen.order, (std::vector<uint8_t>{SLOT_COLOR_B}));
  for (CSelfPrint* p : seen.apPatterns) EXPECT_EQ(p, &g_SelfPrintStringY);
}

}  // namespace
