// The thermal-protection and pre-heat waits over virtual time, on the
// heads' thermal model, the fans, the panel LEDs, the head-drive block and
// the paper web, with jobs from the host in the queue: a hot head cooling
// ("Cooling", printer state 0x60 told to the host, both fans, the Ready
// LED blinking, the wait logged; the fans and the Ready LED afterwards), a
// cover opened during the wait, the overcoat wait backing the paper off
// the head and returning it (through the load pinch after a roll end), the
// cooling-time stage, and the pre-heat wait (not needed, heating until the
// head is warm with the paper backed off, never finishing).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "firmware/control/app_startup.h"
#include "firmware/control/error_manager.h"
#include "firmware/control/head_preheat.h"
#include "firmware/control/host_status_table.h"
#include "firmware/control/leds.h"
#include "firmware/devices/fan.h"
#include "firmware/devices/print_log.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/hal/hw.h"
#include "firmware/mechanism/roll_encoder_checks.h"
#include "firmware/mechanism/simple_positioners.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/printengine/print_conditioning.h"
#include "firmware/printengine/print_job_queue.h"
#include "firmware/printengine/print_job_record.h"
#include "firmware/printengine/print_size.h"
#include "protocol/codes.h"
#include "sim/fpga/head_drive_block.h"
#include "sim/mechanism/head_thermal.h"
#include "sim/mechanism/mechanism_inputs.h"
#include "tests/support/paper_web.h"
#include "tests/support/print_jobs.h"

namespace {

using testsupport::Ms;

// The host is served during the waits, so the status notices go out.
constexpr uint32_t kMask = SEQ_CHECK_COVERS | SEQ_CHECK_HOST;
constexpr uint16_t kFanHead[2] = {0x0008, 0x0010}, kFanSide[2] = {0x0020, 0x0040};
constexpr uint16_t kClutchLoad = 0x0004;
// The print-log keys of the waits (pass 0).
constexpr uint32_t kLogPreheatMs = 0xb0000, kLogPreheatHead = 0xc0000, kLogCoolingMs = 0xd0000,
                   kLogCoolingHead = 0xe0000;

// The 8-bit reading of a temperature (hotter reads lower).
uint32_t Level(double dCelsius) { return sim::HeadThermal::NtcReading(dCelsius) >> 2; }

// The protection levels of these tests: armed below 45 C's reading, cooled
// at 40 C's. A head at 60 C cools there in about 51 s.
const uint32_t kOnLevel = Level(45.0), kOffLevel = Level(40.0);
constexpr double kHot = 60.0;

// The value of a per-pass field of sub-record 0, pass 0, in the record the
// log appended last at record 0.
uint32_t LoggedField(uint32_t ulKey) {
  PhysAddr ulRecord = 0;
  g_PrintLog.GetRecordAddress(0, &ulRecord);
  const uint8_t* pucRecord = static_cast<const uint8_t*>(PhysToHost(ulRecord, PRINT_LOG_RECORD_BYTES));
  for (uint32_t i = 0; i < g_ulPrintLogFieldCount; ++i) {
    const PrintLogField& f = g_aPrintLogFields[i];
    if (f.ulKey != ulKey) continue;
    const uint32_t ulAt = f.ucOffset + (f.bSubRecord ? PRINT_LOG_SUB_RECORD_FIRST : 0);
    uint32_t ulValue = 0;
    for (uint32_t b = 0; b < f.ucSize; ++b) ulValue |= static_cast<uint32_t>(pucRecord[ulAt + b]) << (8 * b);
    return ulValue;
  }
  ADD_FAILURE() << "no field " << ulKey;
  return 0;
}

// A new record at the start of an emptied log: what a wait logs lands in
// record 0 at the next Append.
void FreshPrintLog() {
  g_PrintLog.Append();
  g_PrintLog.ClearLogArea();
  g_PrintLog.SelectBlock(0);
}

bool StateOn(const auto& device) {
  uint32_t ulState = 0;
  device.GetState(&ulState);
  return ulState != 0;
}

// What a wait left and what was seen while it ran.
struct WaitRun {
  int32_t lResult = 99;
  sim::Nanos start = 0;
  sim::Nanos end = 0;
  bool bHeadFanAfter = false;
  bool bSideFanAfter = false;
  bool bReadyAfter = false;
  uint32_t ulLoggedMs = 0;
  uint32_t ulLoggedHead = 0;
  // Seen at the system ticks while it ran.
  bool bCoolingShown = false;
  bool bStateTold = false;
  bool bFansOnThroughout = true;
  bool bClutchLoadOn = false;
  bool bLoadPinchDown = false;
  double frontLowest = 1e9;
};

class ConditioningWaits : public paperwebtest::PaperWebPrinter {
 protected:
  void SetUp() override {
    BootOnTheWeb(sim::EngineVariant::EM3);
    ASSERT_TRUE(m_machine->UsbHost().WaitForConfigured(Ms(10000)));
    ASSERT_TRUE(hostiftest::WaitForSettledStatus(*m_machine));
    InLoop(hostjobs::Use8x10Media);
  }
  sim::HeadThermal& Thermal() { return *m_machine->GetBoard().FindDevice<sim::HeadThermal>(); }
  sim::HeadDriveBlock& Drive() { return *m_machine->GetBoard().FindDevice<sim::HeadDriveBlock>(); }

  // One-sided colour jobs of a small picture, received: each holds one of
  // the three colour buffers.
  void ReceivedJobs(int count) {
    for (int i = 0; i < count; ++i) {
      ASSERT_EQ(hostjobs::SetUpJob(m_machine->UsbHost(), hostjobs::JobSetup(SLOT_COLOR_A | IMAGE_MASK_ONE_SIDED)).first, 0);
      ASSERT_EQ(hostjobs::SendImage(*m_machine, hostjobs::Image(1200, 1200)), 0);
    }
  }

  // Runs a wait in the main loop on unit `unit` after `before`, sampling
  // the board at every tick; `during` may act on the board meanwhile.
  WaitRun RunWait(uint32_t ulUnit, const std::function<void()>& before, const std::function<int32_t()>& wait,
                  sim::Nanos limit, const std::function<void(sim::Nanos)>& during = nullptr) {
    WaitRun run;
    bool bDone = false;
    bool bStarted = false;
    m_machine->AtNextPass([&] {
      SelectUnit(ulUnit);
      FreshPrintLog();
      // The idle pre-heat stops while a sequence runs.
      g_PreheatBoth.Reset();
      if (before) before();
      run.start = m_machine->Now();
      bStarted = true;
      run.lResult = wait();
      run.end = m_machine->Now();
      run.bHeadFanAfter = StateOn(*g_pCurFanHead);
      run.bSideFanAfter = StateOn(*g_pCurFanSide);
      run.bReadyAfter = StateOn(g_LedReady);
      g_PrintLog.Append();
      run.ulLoggedMs = LoggedField(kLogCoolingMs);
      run.ulLoggedHead = LoggedField(kLogCoolingHead);
      SelectUnit(0);
      bDone = true;
    });
    const uint16_t usFans = kFanHead[ulUnit] | kFanSide[ulUnit];
    m_machine->RunUntil(
        [&] {
          if (bStarted && !bDone) {
            run.bCoolingShown = run.bCoolingShown || Lcd().Visible() == "Cooling         ";
            const uint8_t ucCooling = protocol::PrinterStateForUnit(
                protocol::PRINTER_STATE_COOLING, ulUnit == 1 ? protocol::PRINT_UNIT_B : protocol::PRINT_UNIT_A);
            run.bStateTold = run.bStateTold ||
                             (GetStatusItem(SI_PRINTER_STATE) == ucCooling && g_ReplyStatus.ucPrinterState == ucCooling);
            if (run.bCoolingShown) run.bFansOnThroughout = run.bFansOnThroughout && (Mechanism().LoadsOn() & usFans) == usFans;
            run.bClutchLoadOn = run.bClutchLoadOn || (Mechanism().LoadsOn() & kClutchLoad) != 0;
            uint32_t ulPinch = 99;
            g_LoadPinch.GetPosition(&ulPinch);
            run.bLoadPinchDown = run.bLoadPinchDown || ulPinch == LOAD_PINCH_DOWN;
            run.frontLowest = std::min(run.frontLowest, Web().Front());
            if (during) during(m_machine->Now() - run.start);
          }
          return bDone;
        },
        limit);
    EXPECT_TRUE(bDone);
    return run;
  }

  // The Ready LED's changes while the wait ran.
  std::vector<sim::Nanos> ReadyToggles(const WaitRun& run) {
    std::vector<sim::Nanos> at;
    for (const sim::PanelLeds::Change& c : Leds().TraceOf(sim::PanelLed::Ready)) {
      if (c.at > run.start && c.at <= run.end) at.push_back(c.at);
    }
    return at;
  }

  int32_t BackOff() {
    int32_t lLines = 0;
    InLoop([&] { EXPECT_EQ(BackOffLength(&lLines), 0); });
    return lLines;
  }
};

// ---- the cooling wait ----------------------------------------------------------------------

TEST_F(ConditioningWaits, AHotHeadCoolsWithFansAndABlinkingReadyLed) {
  const uint32_t ulTProtectOn = static_cast<uint32_t>(SettingValue(g_ParamTProtectOn));
  const uint32_t ulTProtectOff = static_cast<uint32_t>(SettingValue(g_ParamTProtectOff));
  struct Case {
    const char* name;
    uint32_t ulUnit;
    uint32_t ulOn, ulOff;
    double hotC;
    bool bHeadFanBefore;
    int jobsBefore;  // received jobs added before the case
    bool bReadyAfter;
  };
  const Case kCases[] = {
      // One of the three colour buffers holds a picture: not all released.
      {"unit L, fans off, one picture", 0, kOnLevel, kOffLevel, kHot, false, 1, true},
      {"unit L, fans on, every buffer received", 0, kOnLevel, kOffLevel, kHot, true, 2, false},
      {"unit R, fans off, every buffer received", 1, kOnLevel, kOffLevel, kHot, false, 0, false},
      // The colour passes' levels as delivered: a head 10 C past them.
      {"TProtect On and Off as delivered", 0, ulTProtectOn, ulTProtectOff,
       sim::HeadThermal::NtcCelsius(static_cast<uint16_t>(4 * ulTProtectOn)) + 10.0, false, 0, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    ReceivedJobs(c.jobsBefore);
    const WaitRun run = RunWait(
        c.ulUnit,
        [&] {
          Thermal().SetHeadC(c.ulUnit, c.hotC);
          if (c.bHeadFanBefore) {
            g_pCurFanHead->On();
          } else {
            g_pCurFanHead->Off();
            g_pCurFanSide->Off();
          }
        },
        [&] { return CoolingWaitSequence(c.ulOn, c.ulOff, 0, kMask); }, Ms(240000));
    EXPECT_EQ(run.lResult, 0);
    const double waitedS = static_cast<double>(run.end - run.start) / 1e9;
    // Toward the room's 25 C with the model's time constant, down to the
    // temperature that reads the off level.
    const double offC = sim::HeadThermal::NtcCelsius(static_cast<uint16_t>(4 * c.ulOff));
    const double expectedS = sim::HeadThermal::kCoolingTauS * std::log((c.hotC - 25.0) / (offC - 25.0));
    EXPECT_NEAR(waitedS, expectedS, 3.0);
    EXPECT_NEAR(run.ulLoggedMs, waitedS * 1000.0, 20.0) << "the wait time";
    EXPECT_EQ(run.ulLoggedHead, Level(c.hotC)) << "the reading at the start";
    EXPECT_TRUE(run.bCoolingShown);
    EXPECT_TRUE(run.bStateTold) << "printer state 0x60, also in the host's status";
    EXPECT_TRUE(run.bFansOnThroughout);
    // The Ready LED changes every second.
    const std::vector<sim::Nanos> toggles = ReadyToggles(run);
    ASSERT_GE(toggles.size(), static_cast<size_t>(expectedS) - 3);
    for (size_t i = 1; i + 1 < toggles.size(); ++i) {
      EXPECT_GE(toggles[i] - toggles[i - 1], Ms(1000));
      EXPECT_LT(toggles[i] - toggles[i - 1], Ms(1050));
    }
    EXPECT_EQ(run.bHeadFanAfter, c.bHeadFanBefore);
    EXPECT_EQ(run.bSideFanAfter, c.bHeadFanBefore);
    EXPECT_EQ(run.bReadyAfter, c.bReadyAfter);
    EXPECT_EQ(Lcd().Visible().rfind("Printing     ", 0), 0u);
  }
}

TEST_F(ConditioningWaits, ACoverOpenedDuringTheWaitEndsItAndTheTimeIsStillLogged) {
  sim::MechanismInputs& inputs = Inputs();
  bool bOpened = false;
  const WaitRun run = RunWait(
      0, [this] { Thermal().SetHeadC(0, kHot); }, [] { return CoolingWaitSequence(kOnLevel, kOffLevel, 0, kMask); },
      Ms(60000), [&](sim::Nanos since) {
        if (!bOpened && since >= Ms(10000)) {
          inputs.SetCoverOpen(sim::Cover::SideL, true);
          bOpened = true;
        }
      });
  EXPECT_EQ(run.lResult, -1);
  const double waitedMs = static_cast<double>(run.end - run.start) / 1e6;
  EXPECT_GE(waitedMs, 10000.0);
  EXPECT_LT(waitedMs, 11100.0) << "the next abort check";
  EXPECT_NEAR(run.ulLoggedMs, waitedMs, 20.0);
  EXPECT_TRUE(run.bHeadFanAfter) << "the fans as they were at the abort";
  EXPECT_TRUE(run.bSideFanAfter);
  inputs.SetCoverOpen(sim::Cover::SideL, false);
}

// ---- the overcoat wait's back-off -------------------------------------------------------------

TEST_F(ConditioningWaits, TheOvercoatWaitBacksThePaperOffAndReturnsIt) {
  ReceivedJobs(1);
  const int32_t lBackOff = BackOff();
  ASSERT_GT(lBackOff, 100);
  struct Case {
    const char* name;
    uint32_t ulRollEnd;
    bool bLoadPinch;
  };
  const Case kCases[] = {{"feed pinch", 0, false}, {"after a roll end: the load pinch", 1, true}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const double before = Web().Front();
    const WaitRun run = RunWait(
        0,
        [&] {
          Thermal().SetHeadC(0, kHot);
          g_ulRollEndDetected = c.ulRollEnd;
        },
        [] { return CoolingWaitSequenceL(kOnLevel, kOffLevel, 1, kMask); }, Ms(180000));
    InLoop([] { g_ulRollEndDetected = 0; });
    EXPECT_EQ(run.lResult, 0);
    EXPECT_NEAR(run.frontLowest, before - lBackOff, 1.0);
    EXPECT_NEAR(Web().Front(), before, 1.0) << "returned";
    EXPECT_TRUE(run.bCoolingShown);
    EXPECT_EQ(run.bClutchLoadOn, c.bLoadPinch);
    EXPECT_EQ(run.bLoadPinchDown, c.bLoadPinch);
    EXPECT_EQ(Mechanism().LoadsOn() & kClutchLoad, 0);
    if (c.bLoadPinch) {
      uint32_t ulPinch = 0;
      g_LoadPinch.GetPosition(&ulPinch);
      EXPECT_EQ(ulPinch, LOAD_PINCH_UP) << "up again";
    }
  }
}

// ---- the cooling-time stage ---------------------------------------------------------------

TEST_F(ConditioningWaits, TheCoolingTimeStageEndsAtOnceInAWarmRoomElseAfterOneSecond) {
  struct Case {
    const char* name;
    uint32_t ulAmbient;  // 8-bit reading
    bool bToggled;
    sim::Nanos least, most;
  };
  const Case kCases[] = {
      {"ambient 116: no stage", 116, false, 0, Ms(5)},
      // No source asks for cooling time: the first second ends the stage.
      {"ambient 115: one second", 115, true, Ms(1000), Ms(1010)},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Inputs().SetThermistor(sim::Thermistor::Ambient, static_cast<uint16_t>(c.ulAmbient * 4 + 2));
    m_machine->RunFor(Ms(1000));
    uint32_t ulLedBefore = 0, ulLedState = 0;
    int32_t lResult = 99;
    sim::Nanos start = 0, end = 0;
    InLoop([&] {
      g_LedReady.On();
      ulLedBefore = 1;
      ulLedState = 1;
      start = m_machine->Now();
      lResult = CoolingTimeWait(&ulLedState, kMask);
      end = m_machine->Now();
    });
    EXPECT_EQ(lResult, 0);
    EXPECT_GE(end - start, c.least);
    EXPECT_LE(end - start, c.most);
    EXPECT_EQ(ulLedState != ulLedBefore, c.bToggled);
    EXPECT_EQ(Leds().IsOn(sim::PanelLed::Ready), ulLedState != 0);
  }
  Inputs().ClearThermistor(sim::Thermistor::Ambient);
}

// ---- the pre-heat wait ------------------------------------------------------------------

class PreheatWait : public ConditioningWaits {
 protected:
  // Raw head readings of 200 and 50 (8-bit), cold and warm against the
  // heating level of the room's reading.
  static constexpr uint16_t kCold = 800, kWarm = 200;

  struct PreheatRun {
    WaitRun wait;
    uint32_t ulLoggedMs = 0;
    uint32_t ulLoggedHead = 0;
    uint32_t ulStateAfter = 9;
    bool bInitShown = false;
    bool bStateTold = false;
    bool bFansOffThroughout = true;
  };
  PreheatRun RunPreheat(uint32_t ulBackOff, sim::Nanos limit, const std::function<void(sim::Nanos)>& during = nullptr,
                        bool bHeadFanBefore = false) {
    PreheatRun p;
    const std::string init = std::string(g_pszInitText).substr(0, 16);
    const auto fans = [bHeadFanBefore] {
      if (bHeadFanBefore) {
        g_pCurFanHead->On();
      } else {
        g_pCurFanHead->Off();
        g_pCurFanSide->Off();
      }
    };
    p.wait = RunWait(0, fans, [&] {
      const int32_t lResult = PreheatWaitSequence(kMask, ulBackOff);
      g_PrintLog.Append();
      p.ulLoggedMs = LoggedField(kLogPreheatMs);
      p.ulLoggedHead = LoggedField(kLogPreheatHead);
      p.ulStateAfter = g_PreheatBoth.GetState();
      return lResult;
    }, limit, [&](sim::Nanos since) {
      p.bInitShown = p.bInitShown || Lcd().Visible().rfind(init, 0) == 0;
      const uint16_t usFans = kFanHead[0] | kFanSide[0];
      if (p.bInitShown) p.bFansOffThroughout = p.bFansOffThroughout && (Mechanism().LoadsOn() & usFans) == 0;
      p.bStateTold = p.bStateTold || (GetStatusItem(SI_PRINTER_STATE) == protocol::PRINTER_STATE_PRINT_62 &&
                                      g_ReplyStatus.ucPrinterState == protocol::PRINTER_STATE_PRINT_62);
      if (during) during(since);
    });
    return p;
  }
  size_t BurstsOfHeadL(sim::Nanos from, sim::Nanos to) {
    size_t n = 0;
    for (const sim::HeadDriveBlock::Burst& b : Drive().Bursts()) {
      if (b.start >= from && b.start <= to && b.heads[0].bStrobe && b.heads[0].bPowered) ++n;
    }
    return n;
  }
};

TEST_F(PreheatWait, AWarmHeadNeedsNoPreheat) {
  Inputs().SetThermistor(sim::Thermistor::HeadL, kWarm);
  m_machine->RunFor(Ms(1000));
  const std::string shown = Lcd().Visible();
  const size_t screens = Lcd().Screens().size();
  const PreheatRun p = RunPreheat(1, Ms(10000));
  EXPECT_EQ(p.wait.lResult, 0);
  EXPECT_LT(p.wait.end - p.wait.start, Ms(50)) << "the readings only";
  EXPECT_EQ(p.ulLoggedHead, kWarm / 4u) << "only the reading logged";
  EXPECT_EQ(p.ulLoggedMs, 0u);
  EXPECT_EQ(Lcd().Screens().size(), screens);
  EXPECT_EQ(Lcd().Visible(), shown);
  EXPECT_EQ(BurstsOfHeadL(p.wait.start, p.wait.end), 0u);
}

TEST_F(PreheatWait, AColdHeadIsHeatedUntilWarmWithThePaperBackedOff) {
  ReceivedJobs(1);
  const int32_t lBackOff = BackOff();
  Inputs().SetThermistor(sim::Thermistor::HeadL, kCold);
  m_machine->RunFor(Ms(1000));
  const double before = Web().Front();
  sim::Nanos warmAt = 0;
  // The head fan runs when the wait starts.
  const PreheatRun p = RunPreheat(
      1, Ms(60000),
      [&](sim::Nanos since) {
        if (warmAt == 0 && since >= Ms(20000)) {
          Inputs().SetThermistor(sim::Thermistor::HeadL, kWarm);
          warmAt = m_machine->Now();
        }
      },
      true);
  EXPECT_EQ(p.wait.lResult, 0);
  EXPECT_TRUE(p.bFansOffThroughout) << "no fan while the head heats";
  EXPECT_TRUE(p.wait.bHeadFanAfter) << "both fans on again";
  EXPECT_TRUE(p.wait.bSideFanAfter);
  ASSERT_NE(warmAt, 0u);
  EXPECT_TRUE(p.bInitShown);
  EXPECT_TRUE(p.bStateTold) << "printer state 0x62, also in the host's status";
  EXPECT_GE(BurstsOfHeadL(p.wait.start, warmAt), 10u) << "heated while cold";
  EXPECT_LT(p.wait.end - warmAt, Ms(3000)) << "ends once the head reads warm";
  EXPECT_FALSE(Drive().Bursting());
  EXPECT_EQ(p.ulStateAfter, 0u) << "the pre-heat reset";
  EXPECT_NEAR(p.wait.frontLowest, before - lBackOff, 1.0);
  EXPECT_NEAR(Web().Front(), before, 1.0);
  EXPECT_NEAR(p.ulLoggedMs, static_cast<double>(p.wait.end - p.wait.start) / 1e6, 20.0);
  EXPECT_EQ(p.ulLoggedHead, kCold / 4u);
  EXPECT_EQ(Lcd().Visible().rfind("Printing     ", 0), 0u);
  Inputs().ClearThermistor(sim::Thermistor::HeadL);
}

TEST_F(PreheatWait, AHeadThatNeverWarmsRaises407After300Seconds) {
  Inputs().SetThermistor(sim::Thermistor::HeadL, kCold);
  m_machine->RunFor(Ms(1000));
  const PreheatRun p = RunPreheat(0, Ms(320000));
  EXPECT_EQ(p.wait.lResult, -1);
  EXPECT_TRUE(IsErrorRaised(ERRIDX_PREHEAT_TIMEOUT));
  const sim::Nanos waited = p.wait.end - p.wait.start;
  EXPECT_GT(waited, Ms(300000));
  EXPECT_LT(waited, Ms(301000));
  EXPECT_EQ(p.ulStateAfter, 0u) << "the pre-heat reset";
  EXPECT_FALSE(Drive().Bursting());
  EXPECT_NEAR(p.ulLoggedMs, static_cast<double>(waited) / 1e6, 20.0);
  Inputs().ClearThermistor(sim::Thermistor::HeadL);
}

}  // namespace
