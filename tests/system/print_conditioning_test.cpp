// The print conditioning on a running printer: the head-voltage humidity
// correction from a test TABLE (tables by plane and by the current job's
// overcoat, the switch, h = -300 with c = 1001, a missing table), the
// cooling wait that needs no wait and the one that never cools, the
// cooling-time lookup's thresholds, the "Printing" line by the print-order
// row of a job from the host and without one, and the back-off length of a
// job with three cuts.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "firmware/control/engine_variant.h"
#include "firmware/control/error_manager.h"
#include "firmware/control/head_preheat.h"
#include "firmware/control/host_status_table.h"
#include "firmware/control/lcd.h"
#include "firmware/devices/analog_sensor.h"
#include "firmware/devices/fan.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/printengine/print_conditioning.h"
#include "firmware/printengine/print_job_queue.h"
#include "firmware/printengine/print_job_record.h"
#include "firmware/printengine/print_size.h"
#include "firmware/printengine/thv_control.h"
#include "protocol/codes.h"
#include "sim/panel/panel.h"
#include "sim/state_dir.h"
#include "tests/support/machine_test.h"
#include "tests/support/print_jobs.h"
#include "tools/images/flash_map.h"
#include "tools/images/table_image.h"

namespace {

using testsupport::Ms;

constexpr sim::Nanos kReady = Ms(20000);

class PrintConditioning : public testsupport::MachineTest {
 protected:
  // A sample printer whose TABLE image has its own humidity-correction
  // tables: table 42 + k holds -100 (k + 1) everywhere and 102 + k
  // 1001 + 10 (k - 2), so each pair gives its own correction; with
  // tableCount 104 the coefficient tables from 104 on are missing.
  void BootWithTable(uint32_t ulTableCount = 130) {
    sim::MachineOptions options;
    options.stateDir = testsupport::MakeTempDir();
    std::string error;
    ASSERT_TRUE(testsupport::ProvisionSamplePrinter(options.stateDir, {}, &error)) << error;
    images::TableImageParams params = images::SampleTableParams();
    params.tableCount = ulTableCount;
    for (uint32_t k = 0; k < 6; ++k) {
      images::Bytes h(512), c(512);
      for (size_t i = 0; i < 256; ++i) {
        images::PutU16LE(h, 2 * i, static_cast<uint16_t>(-100 * static_cast<int32_t>(k + 1)));
        images::PutU16LE(c, 2 * i, static_cast<uint16_t>(1001 + 10 * (static_cast<int32_t>(k) - 2)));
      }
      params.tables[42 + k] = {h};
      params.tables[102 + k] = {c};
    }
    for (auto it = params.tables.begin(); it != params.tables.end();) {
      it = it->first >= ulTableCount ? params.tables.erase(it) : std::next(it);
    }
    const images::Bytes table = images::BuildTableImage(params);
    const sim::StateDir state(options.stateDir);
    std::ifstream in(state.FlashPath(), std::ios::binary);
    std::string flash((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GE(flash.size(), images::kAreaTable.offset + table.size());
    std::copy(table.begin(), table.end(), flash.begin() + images::kAreaTable.offset);
    ASSERT_TRUE(sim::WriteFileAtomically(state.FlashPath(), flash));
    Boot(std::move(options));
    WaitReady();
  }
  void BootReady() {
    BootNewPrinter();
    WaitReady();
  }
  // Ready, on the cable, with the media of the tests' jobs.
  void WaitReady() {
    m_machine->RunUntil([this] { return m_machine->Logged("Main Loop ..."); }, kReady);
    ASSERT_TRUE(m_machine->Logged("Main Loop ..."));
    ASSERT_TRUE(m_machine->UsbHost().WaitForConfigured(Ms(10000)));
    ASSERT_TRUE(hostiftest::WaitForSettledStatus(*m_machine));
    m_machine->RunFor(Ms(3000));
    InLoop(hostjobs::Use8x10Media);
  }
  // A one-sided colour job of the full 8x10 picture, received.
  uint8_t ReceivedJob(protocol::SetupPrintJobRequest setup, uint8_t ucOvercoat = 2) {
    const auto [result, ucId] = hostjobs::SetUpJob(m_machine->UsbHost(), setup);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(hostjobs::SendImage(*m_machine, hostjobs::Image(PRINT_WIDTH, hostjobs::kFull8x10,
                                                            protocol::IMAGE_TYPE_COLOUR, ucOvercoat)),
              0);
    return ucId;
  }
  bool InLoop(std::function<void()> step, sim::Nanos limit = Ms(30000)) { return m_machine->RunStep(std::move(step), limit); }
  sim::LcdController& Lcd() { return *m_machine->GetBoard().FindDevice<sim::LcdController>(); }
};

std::string Format(const char* pszFormat, int32_t a, int32_t b) {
  char text[100];
  std::snprintf(text, sizeof text, pszFormat, a, b);
  return text;
}

struct HumidCase {
  const char* name;
  uint32_t planeCode;
  int32_t humidCorrect;
  int32_t result;
  int32_t h;
  int32_t c;
  int32_t correction;  // 999: none set
};

// A correction no table gives: set before a case, it shows whether the
// case set the object's correction.
constexpr int32_t kUnsetCorrection = 777;

void RunHumidCases(sim::Machine& m, const HumidCase* pCases, size_t count,
                   const std::function<bool(std::function<void()>)>& inLoop) {
  for (size_t i = 0; i < count; ++i) {
    const HumidCase& c = pCases[i];
    SCOPED_TRACE(c.name);
    const size_t mark = m.Log().size();
    int32_t lResult = 99;
    int32_t lAfter = 0;
    inLoop([&] {
      g_ParamHumidCorrect.SetValueNoSave(c.humidCorrect);
      g_ThvYL.SetHumidCorrection(kUnsetCorrection);
      lResult = CorrectTHVHumid(&g_ThvYL, c.planeCode);
      lAfter = g_ThvYL.HumidCorrection();
      g_ThvYL.SetHumidCorrection(0);
      g_ParamHumidCorrect.SetValueNoSave(1);
    });
    EXPECT_EQ(lResult, c.result);
    if (c.correction == 999) {
      EXPECT_EQ(lAfter, kUnsetCorrection) << "the THV object unchanged";
    } else {
      EXPECT_EQ(lAfter, c.correction);
    }
    // The four log lines, with the readings the correction used.
    const auto& log = m.Log();
    ASSERT_GE(log.size(), mark + 4);
    std::string lines[4];
    size_t n = 0;
    for (size_t k = mark; k < log.size() && n < 4; ++k) {
      if (log[k].text.rfind("[CorrectTHVHumid]", 0) == 0) lines[n++] = log[k].text;
    }
    ASSERT_EQ(n, 4u);
    unsigned int t0 = 0, h0 = 0;
    ASSERT_EQ(std::sscanf(lines[0].c_str(), "[CorrectTHVHumid] EnvTherm = %u,    EnvHumid = %u", &t0, &h0), 2)
        << lines[0];
    EXPECT_EQ(lines[1], Format("[CorrectTHVHumid] ThvCorrectHumidTab(%3d)     = %6d ",
                                                  static_cast<int32_t>(h0), c.h));
    EXPECT_EQ(lines[2], Format("[CorrectTHVHumid] ThvCorrectHumidCoefTab(%3d) = %6d ",
                                                  static_cast<int32_t>(t0), c.c));
    const int32_t lLogged = c.correction == 999 ? 0 : c.correction;
    EXPECT_EQ(lines[3], Format("[CorrectTHVHumid] Correct Humid = %6d ", lLogged, 0));
  }
}

TEST_F(PrintConditioning, HumidityCorrectionByPlaneFromTheTables) {
  BootWithTable();
  // Without a job the overcoat is glossy: table index 3; SP (4) uses 5.
  const HumidCase kCases[] = {
      {"Y: tables 42 and 102", 0, 1, 0, -100, 981, -98},
      {"M: 43 and 103", 1, 1, 0, -200, 991, -198},
      {"C: -300 x 1001 / 1000 toward zero", 2, 1, 0, -300, 1001, -300},
      {"glossy overcoat: 45 and 105", 3, 1, 0, -400, 1011, -404},
      {"SP: 47 and 107", 4, 1, 0, -600, 1031, -618},
      {"plane code 5 as it is", 5, 1, 0, -600, 1031, -618},
      {"HumidCorrect 0: correction 0, zeros logged", 2, 0, 0, 0, 0, 0},
  };
  RunHumidCases(*m_machine, kCases, std::size(kCases), [this](std::function<void()> s) { return InLoop(s); });
}

// The overcoat plane takes the tables of the overcoat the current job's
// picture asks for: 45 and 105 glossy, 46 and 106 matte; the other planes
// keep theirs.
TEST_F(PrintConditioning, TheOvercoatPlaneFollowsTheCurrentJobsOvercoat) {
  BootWithTable();
  const HumidCase kGlossy[] = {
      {"Y", 0, 1, 0, -100, 981, -98},          {"M", 1, 1, 0, -200, 991, -198},
      {"C", 2, 1, 0, -300, 1001, -300},        {"glossy overcoat: 45 and 105", 3, 1, 0, -400, 1011, -404},
      {"SP: 47 and 107", 4, 1, 0, -600, 1031, -618}, {"5", 5, 1, 0, -600, 1031, -618},
  };
  const HumidCase kMatte[] = {
      {"Y", 0, 1, 0, -100, 981, -98},          {"M", 1, 1, 0, -200, 991, -198},
      {"C", 2, 1, 0, -300, 1001, -300},        {"matte overcoat: 46 and 106", 3, 1, 0, -500, 1021, -510},
      {"SP: 47 and 107", 4, 1, 0, -600, 1031, -618}, {"5", 5, 1, 0, -600, 1031, -618},
      {"HumidCorrect 0", 3, 0, 0, 0, 0, 0},
  };
  struct Job {
    const char* name;
    uint8_t ucOvercoat;
    const HumidCase* pCases;
    size_t count;
  };
  const Job kJobs[] = {{"glossy job", OVERCOAT_GLOSSY, kGlossy, std::size(kGlossy)},
                       {"matte job", OVERCOAT_MATTE, kMatte, std::size(kMatte)}};
  for (const Job& job : kJobs) {
    SCOPED_TRACE(job.name);
    ReceivedJob(hostjobs::JobSetup(SLOT_COLOR_A | IMAGE_MASK_ONE_SIDED), job.ucOvercoat);
    InLoop([] {
      PrintJobRecord* pJob = nullptr;
      ASSERT_EQ(g_PrintJobQueue.GetCurrentJob(&pJob), 0);
      g_PrintJobQueue.BuildPrintOrder(pJob, SIDE_A, UNIT_L, UNIT_R);
    });
    RunHumidCases(*m_machine, job.pCases, job.count, [this](std::function<void()> s) { return InLoop(s); });
    InLoop([] { g_PrintJobQueue.CancelJobs(0, 0); });
  }
}

TEST_F(PrintConditioning, AMissingTableLeavesTheThvObjectAndReturnsItsError) {
  BootWithTable(104);
  const HumidCase kCases[] = {
      {"present", 1, 1, 0, -200, 991, -198},
      {"coefficient table 104 missing", 2, 1, -2, 0, 0, 999},
  };
  RunHumidCases(*m_machine, kCases, std::size(kCases), [this](std::function<void()> s) { return InLoop(s); });
}

TEST_F(PrintConditioning, TheSampleTableGivesASmallCorrection) {
  BootReady();
  int32_t lResult = 99;
  int32_t lCorrection = 0;
  InLoop([&] {
    lResult = CorrectTHVHumid(&g_ThvYL, 0);
    lCorrection = g_ThvYL.HumidCorrection();
  });
  EXPECT_EQ(lResult, 0);
  EXPECT_NE(lCorrection, 0);
  EXPECT_LT(std::abs(lCorrection), 60);
}

TEST(CoolingTime, LookupAtTheRowAndColumnThresholds) {
  // A test table: time = 10 x row + column.
  uint8_t aucTable[COOLING_TABLE_BYTES];
  for (uint32_t i = 0; i < COOLING_ROWS + COOLING_COLUMNS; ++i) aucTable[i] = g_aucCoolingTime[i];
  for (uint32_t r = 0; r <= COOLING_ROWS; ++r) {
    for (uint32_t col = 0; col <= COOLING_COLUMNS; ++col) {
      aucTable[COOLING_ROWS + COOLING_COLUMNS + r * 9 + col] = static_cast<uint8_t>(10 * r + col);
    }
  }
  struct Case {
    uint32_t ambient;
    uint32_t humidity;
    uint32_t seconds;
  };
  const Case kCases[] = {
      {117, 199, 0},   // hotter than every column, drier than every row
      {116, 200, 11},  // at the first thresholds
      {81, 250, 68},   // at the last ones
      {80, 255, 68},
      {101, 229, 34},  // 116, 111, 106, 101 >= 101; 200, 210, 220 <= 229
      {0x100 + 101, 0x100 + 229, 34},  // taken as 8-bit readings
  };
  for (const Case& c : kCases) {
    uint32_t ulSeconds = 99;
    EXPECT_EQ(CoolingTimeLookupIn(aucTable, c.ambient, c.humidity, &ulSeconds), 0);
    EXPECT_EQ(ulSeconds, c.seconds) << c.ambient << " " << c.humidity;
  }
  // As delivered, every time is 0.
  for (uint32_t a = 0; a < 256; a += 5) {
    for (uint32_t h = 0; h < 256; h += 5) {
      uint32_t ulSeconds = 99;
      CoolingTimeLookup(a, h, &ulSeconds);
      ASSERT_EQ(ulSeconds, 0u);
    }
  }
  uint32_t ulRequest = 9, ulHumidity = 9;
  EXPECT_EQ(GetCoolingRequest(&ulRequest, &ulHumidity), 0);
  EXPECT_EQ(ulRequest, 0u);
  EXPECT_EQ(ulHumidity, 0u);
}

TEST_F(PrintConditioning, ACoolHeadNeedsNoWaitAndTouchesNeitherLcdNorFans) {
  BootReady();
  const std::string shown = Lcd().Visible();
  int32_t lResult = 99;
  uint32_t ulFanBefore = 9, ulFanAfter = 9;
  const size_t screens = Lcd().Screens().size();
  // Every reading is at or above an on level of 0.
  InLoop([&] {
    g_pCurFanHead->GetState(&ulFanBefore);
    lResult = CoolingWaitSequence(0, 0, 0, SEQ_CHECK_COVERS);
    g_pCurFanHead->GetState(&ulFanAfter);
  });
  EXPECT_EQ(lResult, 0);
  EXPECT_EQ(Lcd().Visible(), shown);
  EXPECT_EQ(Lcd().Screens().size(), screens);
  EXPECT_EQ(ulFanAfter, ulFanBefore);
  EXPECT_NE(GetStatusItem(SI_PRINTER_STATE), static_cast<uint32_t>(protocol::PRINTER_STATE_COOLING));
}

TEST_F(PrintConditioning, AHeadThatNeverCoolsRaises408After600Seconds) {
  BootReady();
  int32_t lResult = 99;
  sim::Nanos start = 0;
  const size_t screens = Lcd().Screens().size();
  bool bDone = false;
  start = m_machine->Now();
  m_machine->AtNextPass([&] {
    // The idle pre-heat stops while a sequence runs (its strobes would
    // keep the board busy for the ten minutes).
    g_PreheatBoth.Reset();
    // No reading reaches the off level 255.
    lResult = CoolingWaitSequence(255, 255, 0, SEQ_CHECK_COVERS);
    bDone = true;
  });
  m_machine->RunUntil([&] { return bDone; }, Ms(700000));
  ASSERT_TRUE(bDone);
  EXPECT_EQ(lResult, -1);
  EXPECT_TRUE(IsErrorRaised(0x408));
  const sim::Nanos waited = m_machine->Now() - start;
  EXPECT_GT(waited, Ms(600000));
  EXPECT_LT(waited, Ms(605000));
  bool bCooling = false;
  for (size_t i = screens; i < Lcd().Screens().size(); ++i) bCooling = bCooling || Lcd().Screens()[i].text == "Cooling         ";
  EXPECT_TRUE(bCooling);
}

TEST_F(PrintConditioning, WithoutAJobTheLineSaysPrintingAlone) {
  BootReady();
  InLoop([] { ShowPrintingUnit(); });
  EXPECT_EQ(Lcd().Visible(), "Printing        ");
  int32_t lLines = 7;
  int32_t lResult = 0;
  InLoop([&] { lResult = BackOffLength(&lLines); });
  EXPECT_EQ(lResult, -1);
  EXPECT_EQ(lLines, 7);
}

// The "Printing" line names the unit and the side of the current job's
// print-order row: a two-sided job with side A first on unit L, then on
// unit R.
TEST_F(PrintConditioning, ThePrintingLineNamesTheUnitAndSideOfThePrintOrderRow) {
  BootReady();
  const auto [result, ucId] = hostjobs::SetUpJob(m_machine->UsbHost(), hostjobs::JobSetup(SLOT_COLOR_A | SLOT_COLOR_B));
  ASSERT_EQ(result, 0);
  for (int i = 0; i < 2; ++i) ASSERT_EQ(hostjobs::SendImage(*m_machine, hostjobs::Image(PRINT_WIDTH, hostjobs::kFull8x10)), 0);
  struct Case {
    uint32_t ulUnitA;
    uint32_t ulUnitB;
    uint32_t ulRow;
    const char* pszLine;
  };
  const Case kCases[] = {
      {UNIT_L, UNIT_R, 0, "Printing     A/L"},  // side A on unit L
      {UNIT_L, UNIT_R, 1, "Printing     B/R"},  // side B on unit R
      {UNIT_R, UNIT_L, 0, "Printing     B/L"},
      {UNIT_R, UNIT_L, 1, "Printing     A/R"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.pszLine);
    int32_t lResult = 9;
    InLoop([&] {
      PrintJobRecord* pJob = nullptr;
      ASSERT_EQ(g_PrintJobQueue.GetCurrentJob(&pJob), 0);
      g_PrintJobQueue.BuildPrintOrder(pJob, SIDE_A, c.ulUnitA, c.ulUnitB);
      g_PrintJobQueue.SetPrintOrderIndex(c.ulRow);
      lResult = ShowPrintingUnit();
    });
    EXPECT_EQ(lResult, 0);
    EXPECT_EQ(Lcd().Visible(), c.pszLine);
  }
}

// The paper backs off from the last cut's line plus the cut tail to the
// head: the job's sheet (front dummy lines, picture, extra feed, margins)
// from the head's reference, less the largest of its three cuts.
TEST_F(PrintConditioning, TheBackOffLengthOfAJobWithThreeCuts) {
  BootReady();
  protocol::SetupPrintJobRequest setup = hostjobs::JobSetup(SLOT_COLOR_A | IMAGE_MASK_ONE_SIDED, 0, 3);
  const uint16_t ausCuts[] = {12, 1500, 3012};
  for (size_t i = 0; i < std::size(ausCuts); ++i) setup.cutPositions[i] = ausCuts[i];
  ReceivedJob(setup);
  int32_t lLines = 0, lResult = 9, lExpected = 0;
  uint32_t aulCuts[10] = {};
  InLoop([&] {
    PrintJobRecord* pJob = nullptr;
    ASSERT_EQ(g_PrintJobQueue.GetCurrentJob(&pJob), 0);
    for (uint32_t i = 0; i < 10; ++i) g_PrintJobQueue.GetCutPosition(pJob, i, &aulCuts[i]);
    const PrintSizeRecord& r = *pJob->pPrintSize;
    const int32_t lSheet = static_cast<int32_t>(r.aulFrontDummyLines[0] + r.ulPrintLength + r.aulExtraLines[0] +
                                                r.ulMargin1 + r.ulMargin2);
    lExpected = lSheet + static_cast<int32_t>(65755 - g_ulEngPosRefA) - static_cast<int32_t>(3012 + r.ulColourTailLines);
    lResult = BackOffLength(&lLines);
  });
  EXPECT_EQ(aulCuts[0], 12u);
  EXPECT_EQ(aulCuts[1], 1500u);
  EXPECT_EQ(aulCuts[2], 3012u);
  EXPECT_EQ(lResult, 0);
  EXPECT_EQ(lLines, lExpected);
  EXPECT_GT(lLines, 0);
}

}  // namespace
