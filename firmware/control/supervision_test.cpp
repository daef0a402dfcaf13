// The cover, paper, fan, thermistor and slack stages of the idle
// supervision against the board's mechanism: covers by their open reading,
// the power-save skip, the actions on raise and on clear, the 1000 ms
// closed time, the roll taken out and the idle jams after a roll-back, the
// paper-end check of the sequences, the fan levels, the thermistor range
// and the slack counts.
#include "firmware/control/control_test_rig.h"
#include "firmware/control/fan_levels.h"
#include "firmware/control/power_save.h"
#include "firmware/devices/fan.h"
#include "firmware/devices/panel_ports.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/mechanism/abort_check_inputs.h"
#include "firmware/mechanism/donor_mng.h"
#include "firmware/mechanism/paper_moves.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/sequences/event_actions.h"
#include "sim/bus_trace.h"
#include "sim/fpga/fpga_main_block.h"
#include "sim/mechanism/mechanism_inputs.h"

namespace controltest {
namespace {

using Stage = int32_t (CIdleSupervisor::*)();

class Supervision : public ControlTest {
 protected:
  // The application start-up's photo-sensor LEDs, which the rig leaves out.
  void SetUp() override {
    ControlTest::SetUp();
    InApp([] {
      g_PortPhotoSenLed1.Set();
      g_PortPhotoSenLed2.Set();
    });
  }
  sim::MechanismInputs& Mechanism() { return *m_machine->GetBoard().FindDevice<sim::MechanismInputs>(); }
  // The EEPROM hangs on GPIO lines: every access to it writes GPIO
  // registers.
  sim::BusTrace& Trace() { return m_machine->GetBoard().GetBus().Trace(); }
  size_t GpioWrites() { return Trace().In(0x01E26000u, 0x01E26FFFu, sim::BusTrace::Kind::Writes).size(); }
};

// Waits for the start of a millisecond, so a stage run next stamps it.
uint32_t NextMs() {
  const uint32_t ulStart = NowMs();
  while (NowMs() == ulStart) CpuRelax();
  return NowMs();
}

void WaitUntil(uint32_t ulMs) {
  while (NowMs() < ulMs) CpuRelax();
}

struct CoverCase {
  const char* name;
  sim::Cover cover;
  Stage stage;
  uint32_t index;
  bool skippedInPowerSave;
};

const CoverCase kCoverCases[] = {
    {"front", sim::Cover::Front, &CIdleSupervisor::CheckFrontCover, 0x0607, false},
    {"side L", sim::Cover::SideL, &CIdleSupervisor::CheckSideCovers, 0x0601, true},
    {"side R", sim::Cover::SideR, &CIdleSupervisor::CheckSideCovers, 0x0602, true},
    {"upper L", sim::Cover::UpperL, &CIdleSupervisor::CheckUpperCovers, 0x0603, false},
    {"upper R", sim::Cover::UpperR, &CIdleSupervisor::CheckUpperCovers, 0x0604, false},
    {"paper cover", sim::Cover::Paper, &CIdleSupervisor::CheckPaperCover, 0x0605, true},
    {"paper guide", sim::Cover::PaperGuide, &CIdleSupervisor::CheckPaperGuide, 0x0606, true},
};

TEST_F(Supervision, ACoverClearsOnlyAfterMoreThan1000MsClosedAfterItsLastOpenReading) {
  for (const CoverCase& c : kCoverCases) {
    InApp([this, &c] {
      Mechanism().SetCoverOpen(c.cover, true);
      (g_IdleSupervisor.*c.stage)();
      EXPECT_TRUE(IsErrorSet(c.index)) << c.name;
      const uint32_t ulOpen = NextMs();
      (g_IdleSupervisor.*c.stage)();  // the last open reading
      Mechanism().SetCoverOpen(c.cover, false);
      WaitUntil(ulOpen + 1000);
      (g_IdleSupervisor.*c.stage)();
      EXPECT_TRUE(IsErrorSet(c.index)) << c.name << ": 1000 ms closed";
      WaitUntil(ulOpen + 1001);
      (g_IdleSupervisor.*c.stage)();
      EXPECT_FALSE(IsErrorSet(c.index)) << c.name << ": 1001 ms closed";
    }, Ms(3000));
  }
}

// A cover open for one pass only: its time is that pass's, not a stale one.
TEST_F(Supervision, ACoverOpenForOnePassStaysRaisedFor1000Ms) {
  for (const CoverCase& c : kCoverCases) {
    InApp([this, &c] {
      WaitUntil(NowMs() + 1500);  // the cover's time field lies far back
      Mechanism().SetCoverOpen(c.cover, true);
      const uint32_t ulOpen = NextMs();
      (g_IdleSupervisor.*c.stage)();
      Mechanism().SetCoverOpen(c.cover, false);
      (g_IdleSupervisor.*c.stage)();
      EXPECT_TRUE(IsErrorSet(c.index)) << c.name;
      WaitUntil(ulOpen + 1001);
      (g_IdleSupervisor.*c.stage)();
      EXPECT_FALSE(IsErrorSet(c.index)) << c.name;
    }, Ms(4000));
  }
}

// A side-cover switch that never settles: its sensor's own error is
// raised, and the cover keeps its state whatever the bouncing bit says.
TEST_F(Supervision, ACoverWhoseSwitchNeverSettlesKeepsItsState) {
  sim::FpgaMainBlock& fpga = *m_machine->GetBoard().FindDevice<sim::FpgaMainBlock>();
  static uint16_t s_usToggle;
  fpga.SetInputSource(1, [] { return s_usToggle ^= 0x0004; });
  for (const bool bRaised : {false, true}) {
    InApp([bRaised] {
      if (bRaised) g_ErrorMng.SetError(0x0601);
      WaitUntil(NowMs() + 1100);
      g_IdleSupervisor.CheckSideCovers();
      EXPECT_TRUE(IsErrorSet(0x031C)) << "the sensor's own error";
      EXPECT_EQ(IsErrorSet(0x0601), bRaised) << "the cover's state stays";
      g_ErrorMng.ClearError(0x031C);
    }, Ms(3000));
  }
}

TEST_F(Supervision, InPowerSaveTheSideAndPaperCoversAreNotReported) {
  for (const CoverCase& c : kCoverCases) {
    InApp([this, &c] {
      g_PowerSave.Apply(POWER_SAVE_ON);
      Mechanism().SetCoverOpen(c.cover, true);
      (g_IdleSupervisor.*c.stage)();
      EXPECT_EQ(IsErrorSet(c.index), !c.skippedInPowerSave) << c.name;
      Mechanism().SetCoverOpen(c.cover, false);
      g_ErrorMng.ClearError(c.index);
      g_PowerSave.Apply(POWER_SAVE_NORMAL);
    });
  }
}

TEST_F(Supervision, TheFrontAndUpperCoversActOnRaiseAndOnClear) {
  struct Case {
    const char* name;
    sim::Cover cover;
    Stage stage;
    std::initializer_list<uint32_t> clearedOnRaise;
    uint64_t eventsOnClear;
    uint32_t ribbonCheck;
  };
  const uint64_t kRibbonEvents = Events({EV_INIT_RIBBON, EV_LOAD_PAPER, EV_RELOAD_PAPER1});
  const Case cases[] = {
      {"front", sim::Cover::Front, &CIdleSupervisor::CheckFrontCover, {}, Events({EV_INIT_MECHA}), 0},
      {"upper L", sim::Cover::UpperL, &CIdleSupervisor::CheckUpperCovers, {0x1603, 0x1600, 0x1605}, kRibbonEvents, 1},
      {"upper R", sim::Cover::UpperR, &CIdleSupervisor::CheckUpperCovers, {0x1604, 0x1601, 0x1605}, kRibbonEvents, 2},
  };
  for (const Case& c : cases) {
    InApp([this, &c] {
      g_ulRibbonCheckPending = 0;
      for (uint32_t ulIndex : c.clearedOnRaise) g_ErrorMng.SetError(ulIndex);
      Mechanism().SetCoverOpen(c.cover, true);
      (g_IdleSupervisor.*c.stage)();
      for (uint32_t ulIndex : c.clearedOnRaise) EXPECT_FALSE(IsErrorSet(ulIndex)) << c.name << std::hex << ulIndex;
      g_EventSet = 0;
      Mechanism().SetCoverOpen(c.cover, false);
      WaitUntil(NowMs() + 1002);
      (g_IdleSupervisor.*c.stage)();
      EXPECT_EQ(g_EventSet & ~Events({EV_PAPER_END}), c.eventsOnClear) << c.name;
      EXPECT_EQ(g_ulRibbonCheckPending, c.ribbonCheck) << c.name;
      // Cleared once: the next pass adds nothing.
      g_EventSet = 0;
      (g_IdleSupervisor.*c.stage)();
      EXPECT_EQ(g_EventSet, 0u) << c.name;
    }, Ms(3000));
  }
}

TEST_F(Supervision, OpeningAndClosingTheFrontCoverAfterARollBackAsksForReadyLoading) {
  for (const int32_t lFlag : {2, 1}) {
    InApp([this, lFlag] {
      g_ParamRollBackFlag.SetValueNoSave(lFlag);
      g_ErrorMng.SetError(erridx::kLoadPaper);
      g_ErrorMng.SetError(erridx::kPaperEmpty);
      Mechanism().SetCoverOpen(sim::Cover::Front, true);
      g_IdleSupervisor.CheckFrontCover();
      EXPECT_FALSE(IsErrorSet(erridx::kPaperEmpty));
      Mechanism().SetCoverOpen(sim::Cover::Front, false);
      g_IdleSupervisor.CheckFrontCover();
      EXPECT_EQ(IsErrorSet(erridx::kReadyLoading), lFlag == 2) << lFlag;
      EXPECT_EQ(IsErrorSet(erridx::kLoadPaper), lFlag != 2) << lFlag;
      g_ErrorMng.ClearError(erridx::kReadyLoading);
      g_ErrorMng.ClearError(erridx::kLoadPaper);
      g_ErrorMng.ClearError(0x0607);
    });
  }
}

// ---- paper -------------------------------------------------------------------------------

TEST_F(Supervision, TheRollTakenOutAsksForPaperAndMarksTheRollBackOnce) {
  Mechanism().SetRollLoaded(false);
  MakeCurrent(&g_EventMngReadyA);
  InApp([this] {
    g_ErrorMng.SetError(0x1510);  // a jam
    g_IdleSupervisor.CheckPaperPresence();
    EXPECT_TRUE(IsErrorSet(erridx::kLoadPaper));
    EXPECT_TRUE(IsErrorSet(erridx::kLoadPaperRollback));
    EXPECT_FALSE(IsErrorSet(0x1510));
    EXPECT_EQ(SettingValue(g_ParamRollBackFlag), 2);
    Trace().Start();
    for (int i = 0; i < 5; ++i) g_IdleSupervisor.CheckPaperPresence();
    Trace().Stop();
    EXPECT_EQ(GpioWrites(), 0u) << "the unchanged flag is not written again";
  });
}

TEST_F(Supervision, WithNoPaperStateCurrentTheEmptyRollOnlyAsksForPaper) {
  Mechanism().SetRollLoaded(false);
  InApp([] {
    MakeCurrent(&g_EventMngNoPaper);
    g_ParamRollBackFlag.SetValueNoSave(0);
    g_ErrorMng.SetError(0x1510);
    g_IdleSupervisor.CheckPaperPresence();
    EXPECT_TRUE(IsErrorSet(erridx::kLoadPaper));
    EXPECT_FALSE(IsErrorSet(erridx::kLoadPaperRollback));
    EXPECT_TRUE(IsErrorSet(0x1510));
    EXPECT_EQ(SettingValue(g_ParamRollBackFlag), 0);
  });
}

TEST_F(Supervision, AfterARollBackEverySensorThatSeesPaperIsAnIdleJam) {
  using sim::PhotoSensor;
  struct Case {
    const char* name;
    bool topL, topR, position, paperEmpty;
    std::initializer_list<uint32_t> jams;
  };
  const Case cases[] = {
      {"position alone", false, false, true, false, {0x15D1}},
      {"position and top R", false, true, true, false, {0x15D2, 0x15D4}},
      {"position and both tops", true, true, true, false, {0x15D1, 0x15D3, 0x15D4}},
      {"paper empty", false, false, false, true, {0x15D5}},
  };
  MakeCurrent(&g_EventMngReadyA);
  for (const int32_t lFlag : {1, 2, 0, 3}) {
    for (const Case& c : cases) {
      Mechanism().SetPaperSeen(PhotoSensor::TopL, c.topL);
      Mechanism().SetPaperSeen(PhotoSensor::TopR, c.topR);
      Mechanism().SetPaperSeen(PhotoSensor::Position, c.position);
      Mechanism().SetPaperSeen(PhotoSensor::PaperEmpty, c.paperEmpty);
      InApp([&c, lFlag] {
        g_ErrorMng.ClearAllJams();
        g_ParamRollBackFlag.SetValueNoSave(lFlag);
        g_IdleSupervisor.CheckPaperPresence();
        uint32_t ulJams = 0;
        for (uint32_t ulIndex = 0x15D1; ulIndex <= 0x15D5; ++ulIndex) ulJams += IsErrorSet(ulIndex) ? 1 : 0;
        const bool bRolledBack = lFlag == 1 || lFlag == 2;
        EXPECT_EQ(ulJams, bRolledBack ? c.jams.size() : 0u) << c.name << ", flag " << lFlag;
        if (bRolledBack) {
          for (uint32_t ulIndex : c.jams) EXPECT_TRUE(IsErrorSet(ulIndex)) << c.name << std::hex << ulIndex;
        }
      });
    }
  }
}

TEST_F(Supervision, ThePaperEndCheckOfTheSequences) {
  Mechanism().SetPaperSeen(sim::PhotoSensor::PaperEmpty, false);
  MakeCurrent(&g_EventMngReadyA);
  struct Case {
    uint32_t unit;
    uint8_t controlType;
    uint32_t mode;
    bool paperEnd;
    uint32_t jam;
  };
  const Case cases[] = {{0, 1, 1, true, 0}, {0, 0, 2, true, 0}, {0, 1, 2, false, 0x151F},
                        {1, 1, 2, false, 0x1583}, {0, 1, 3, false, 0}};
  for (const Case& c : cases) {
    InApp([&c] {
      SelectUnit(c.unit);
      g_ucRibbonControlType = c.controlType;
      g_ulPaperEndFlag = 0;
      g_EventSet = 0;
      g_ErrorMng.ClearAllJams();
      EXPECT_EQ(CheckPaperEmpty(c.mode), 0);
      EXPECT_EQ(g_ulPaperEndFlag, c.paperEnd ? 1u : 0u) << c.mode;
      EXPECT_EQ((g_EventSet & Events({EV_PAPER_END})) != 0, c.paperEnd) << c.mode;
      if (c.jam != 0) {
        EXPECT_TRUE(IsErrorSet(c.jam)) << std::hex << c.jam;
      }
      SelectUnit(0);
    });
  }
}

// ---- fans, thermistors, slack ------------------------------------------------------------

TEST_F(Supervision, TheFansSwitchOnlyBeyondTheirLevels) {
  // Ambient 100 (raw 400): on level 89, off level 104.
  Mechanism().SetThermistor(sim::Thermistor::Ambient, 400);
  struct Case {
    uint16_t head;
    uint32_t before;
    uint32_t after;
  };
  const Case cases[] = {{88 * 4, FAN_OFF, FAN_ON},  {89 * 4, FAN_OFF, FAN_OFF}, {104 * 4, FAN_ON, FAN_ON},
                        {105 * 4, FAN_ON, FAN_OFF}, {95 * 4, FAN_ON, FAN_ON},   {95 * 4, FAN_OFF, FAN_OFF}};
  for (const Case& c : cases) {
    Mechanism().SetThermistor(sim::Thermistor::HeadR, c.head);
    InApp([&c] {
      if (c.before == FAN_ON) {
        g_FanHeadR.On();
        g_FanSideR.On();
      } else {
        g_FanHeadR.Off();
        g_FanSideR.Off();
      }
      g_IdleSupervisor.ControlFansR();
      uint32_t ulHead = 9, ulSide = 9;
      g_FanHeadR.GetState(&ulHead);
      g_FanSideR.GetState(&ulSide);
      EXPECT_EQ(ulHead, c.after) << c.head / 4;
      EXPECT_EQ(ulSide, c.after) << c.head / 4;
    });
  }
}

TEST(FanLevels, TheTablesAtTheirBandEdges) {
  struct Case {
    uint32_t ambient;
    uint8_t on;
    uint8_t off;
  };
  for (const Case& c : {Case{0, 89, 104}, Case{142, 89, 104}, Case{143, 88, 103}, Case{157, 74, 84},
                        Case{158, 73, 83}, Case{159, 73, 82}, Case{160, 72, 81}, Case{174, 58, 62},
                        Case{175, 57, 61}, Case{255, 57, 61}}) {
    EXPECT_EQ(g_aucFanOnLevel[c.ambient], c.on) << c.ambient;
    EXPECT_EQ(g_aucFanOffLevel[c.ambient], c.off) << c.ambient;
  }
}

TEST_F(Supervision, AThermistorOutOfRangeRaisesItsIndex) {
  struct Case {
    sim::Thermistor thermistor;
    uint16_t value;
    uint32_t index;  // 0: none
  };
  const Case cases[] = {{sim::Thermistor::HeadL, 226, 0},     {sim::Thermistor::HeadL, 227, 0x401},
                        {sim::Thermistor::HeadL, 29, 0x402},  {sim::Thermistor::HeadR, 30, 0},
                        {sim::Thermistor::HeadR, 227, 0x403}, {sim::Thermistor::Ambient, 29, 0x406},
                        {sim::Thermistor::Ambient, 227, 0x405}};
  for (const Case& c : cases) {
    Mechanism().SetThermistor(c.thermistor, static_cast<uint16_t>(c.value * 4 + 3));
    InApp([&c] {
      g_IdleSupervisor.CheckThermistorRange();
      for (uint32_t ulIndex = 0x401; ulIndex <= 0x406; ++ulIndex) {
        EXPECT_EQ(IsErrorSet(ulIndex), ulIndex == c.index) << c.value << " " << std::hex << ulIndex;
        g_ErrorMng.ClearError(ulIndex);
      }
    });
    Mechanism().SetThermistor(c.thermistor, sim::MechanismInputs::kTemperatureInRange);
  }
}

TEST_F(Supervision, ThreeSlackTakeUpAttemptsRaiseTheUnitsCoverIndex) {
  InApp([] {
    for (const uint32_t ulCount : {2u, 3u}) {
      g_ulSlackTakeUpCountL = ulCount;
      g_ulSlackTakeUpCountR = ulCount;
      CheckSlackTakeUpCounts();
      EXPECT_EQ(IsErrorSet(0x603), ulCount == 3) << ulCount;
      EXPECT_EQ(IsErrorSet(0x604), ulCount == 3) << ulCount;
      EXPECT_EQ(g_ulSlackTakeUpCountL, ulCount == 3 ? 0u : ulCount);
    }
  });
}

}  // namespace
}  // namespace controltest
