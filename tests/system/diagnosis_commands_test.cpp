// The host's self-diagnosis and panel commands through the in-process host
// port, on the whole firmware and the device models: single devices driven
// and read by sub-command and device id, the mechanism initialisation, the
// follow-ups that run after their reply (key test, head-voltage tuning),
// the panel keys' enable and the error-history reset.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <utility>

#include "firmware/control/error_history.h"
#include "firmware/control/error_manager.h"
#include "firmware/control/event_set.h"
#include "firmware/control/host_status_table.h"
#include "firmware/control/idle_supervisor.h"
#include "firmware/devices/analog_sensor.h"
#include "firmware/devices/digital_sensor.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/stepper.h"
#include "firmware/hostif/diagnosis_handlers.h"
#include "firmware/hostif/usb_cmd_blocks.h"
#include "firmware/hostif/usb_command_test_support.h"
#include "firmware/sequences/mecha_stop_table.h"
#include "protocol/codes.h"
#include "sim/mechanism/dc_mechanism.h"
#include "sim/mechanism/head_supply.h"
#include "sim/mechanism/mechanism_inputs.h"
#include "sim/mechanism/stepper_drivers.h"
#include "sim/memory/nor_flash.h"
#include "sim/panel/panel.h"
#include "sim/usb/usb_host_port.h"
#include "tests/support/machine_test.h"

namespace {

using hostiftest::Bytes;
using hostiftest::Command;
using hostiftest::ErrorCodeOf;
using hostiftest::Reply;
using testsupport::Ms;
using namespace protocol;

constexpr int kBad = REPLY_ERR_BAD_PARAMETER;
constexpr int kUnitError = REPLY_ERR_UNIT_ERROR;
constexpr int kOk = 0;
constexpr uint32_t kFrontCoverError = 0x607;

// FAN_CTRL bits of the fans.
constexpr uint16_t kFanHeadL = 0x0008, kFanHeadR = 0x0010, kFanSideL = 0x0020, kFanSideR = 0x0040,
                   kFanStpMtr = 0x0080, kFanPcb = 0x0100;

class DiagnosisCommandsTest : public testsupport::MachineTest {
 protected:
  void SetUp() override {
    Boot();
    ASSERT_TRUE(m_machine->UsbHost().WaitForConfigured(Ms(10000))) << m_machine->UsbHost().Hub().FailureReason();
    ASSERT_TRUE(hostiftest::WaitForSettledStatus(*m_machine));
  }

  sim::DcMechanism& Mechanism() { return *m_machine->GetBoard().FindDevice<sim::DcMechanism>(); }
  sim::StepperDrivers& Steppers() { return *m_machine->GetBoard().FindDevice<sim::StepperDrivers>(); }
  sim::LcdController& Lcd() { return *m_machine->GetBoard().FindDevice<sim::LcdController>(); }
  sim::MechanismInputs& Inputs() { return *m_machine->GetBoard().FindDevice<sim::MechanismInputs>(); }
  sim::HeadSupply& Supply() { return *m_machine->GetBoard().FindDevice<sim::HeadSupply>(); }
  sim::PanelLeds& Leds() { return *m_machine->GetBoard().FindDevice<sim::PanelLeds>(); }
  void InApp(std::function<void()> step) { ASSERT_TRUE(m_machine->RunStep(std::move(step), Ms(2000))); }

  // The reply of a self-diagnosis request.
  Reply Diagnose(uint8_t ucSubCommand, uint8_t ucDeviceId = 0, uint8_t ucAction = 0) {
    return Command(m_machine->UsbHost(), CMD_SELF_DIAGNOSIS, {ucSubCommand, ucDeviceId, ucAction});
  }

  // Signed pulses a stepper's shaft turns in `duration`.
  int64_t PulsesIn(sim::Stepper stepper, sim::Nanos duration) {
    const int64_t llBefore = Steppers().ShaftEighths(stepper);
    m_machine->RunFor(duration);
    return (Steppers().ShaftEighths(stepper) - llBefore) / EighthsPerPulse(stepper);
  }
  int64_t EighthsPerPulse(sim::Stepper stepper) {
    const uint32_t ulPerPulse = sim::StepperDrivers::EighthsPerPulse(Steppers().Control(stepper));
    return ulPerPulse == 0 ? 1 : ulPerPulse;
  }

  uint32_t FirmwareRead(const std::function<void(uint32_t*)>& read) {
    uint32_t ulValue = 0;
    InApp([&] { read(&ulValue); });
    return ulValue;
  }

  // Read between two steps of the machine, as a run condition.
  static bool ErrorSet(uint32_t ulIndex) {
    uint32_t ulFlag = 0;
    g_ErrorMng.IsErrorSet(ulIndex, &ulFlag);
    return ulFlag != 0;
  }
};

// ---- Devices by sub-command and id ----------------------------------------------------

// Rows run in order on one printer: a row may stop what the row before it
// started. The value column is the measured value of the reply (-1: a value
// read from the sensor itself, compared in the row's check).
TEST_F(DiagnosisCommandsTest, EachIdDrivesOrReadsItsDevice) {
  struct Case {
    const char* what;
    uint8_t ucSubCommand;
    uint8_t ucId;
    uint8_t ucAction;
    int result;
    std::function<void(uint8_t ucValue)> check;
  };
  auto Drive = [this](sim::DcMotor motor, sim::DriveState state) {
    return [this, motor, state](uint8_t) { EXPECT_EQ(Mechanism().Drive(motor), state); };
  };
  auto Loads = [this](uint16_t usOn, uint32_t ulSuspendL, uint32_t ulSuspendR) {
    return [this, usOn, ulSuspendL, ulSuspendR](uint8_t) {
      EXPECT_EQ(Mechanism().LoadsOn() & (kFanHeadL | kFanHeadR | kFanSideL | kFanSideR | kFanStpMtr | kFanPcb), usOn);
      EXPECT_EQ(g_IdleSupervisor.FanSuspendedL(), ulSuspendL);
      EXPECT_EQ(g_IdleSupervisor.FanSuspendedR(), ulSuspendR);
    };
  };
  auto Led = [this](sim::PanelLed led, bool bOn) {
    return [this, led, bOn](uint8_t) { EXPECT_EQ(Leds().IsOn(led), bOn); };
  };
  auto Analog = [this](CAnalogSensor* pSensor) {
    return [this, pSensor](uint8_t ucValue) {
      const uint32_t ulRaw = FirmwareRead([pSensor](uint32_t* p) { pSensor->Read(p); });
      EXPECT_GT(ulRaw, 3u) << "a reading that divides to something";
      EXPECT_NEAR(ucValue, ulRaw / 4, 1);
    };
  };
  auto Switch = [this](CDigitalSensor* pSensor) {
    return [this, pSensor](uint8_t ucValue) {
      EXPECT_EQ(ucValue, FirmwareRead([pSensor](uint32_t* p) { pSensor->ReadStable(p); }));
    };
  };
  auto Value = [](uint8_t ucExpected) { return [ucExpected](uint8_t ucValue) { EXPECT_EQ(ucValue, ucExpected); }; };
  auto Stopped = [this](sim::Stepper stepper) {
    return [this, stepper](uint8_t) { EXPECT_EQ(PulsesIn(stepper, Ms(100)), 0); };
  };
  using sim::DcMotor;
  using sim::DriveState;
  const Case cases[] = {
      {"DC id 17: head L forward", DIAG_MOTOR, 17, 1, kOk, Drive(DcMotor::HeadL, DriveState::Forward)},
      {"DC id 17: reverse", DIAG_MOTOR, 17, 2, kOk, Drive(DcMotor::HeadL, DriveState::Reverse)},
      {"DC id 17: stop", DIAG_MOTOR, 17, 3, kOk, Drive(DcMotor::HeadL, DriveState::Stop)},
      {"DC id 18: main pinch forward", DIAG_MOTOR, 18, 1, kOk, Drive(DcMotor::MainPinch, DriveState::Forward)},
      {"DC id 18: action 4 is refused", DIAG_MOTOR, 18, 4, kBad, Drive(DcMotor::MainPinch, DriveState::Forward)},
      {"DC id 18: stop", DIAG_MOTOR, 18, 3, kOk, Drive(DcMotor::MainPinch, DriveState::Stop)},
      {"DC id 16 is empty", DIAG_MOTOR, 16, 1, kBad, nullptr},
      {"DC id 19 is empty", DIAG_MOTOR, 19, 1, kBad, nullptr},
      {"DC id 20 is outside", DIAG_MOTOR, 20, 1, kBad, nullptr},
      {"ribbon id 1: take-up L forward at full duty", DIAG_MOTOR, 1, 1, kOk,
       [this](uint8_t) {
         EXPECT_EQ(Mechanism().Drive(DcMotor::RibDstL), DriveState::Forward);
         EXPECT_EQ(Mechanism().SpeedPercent(DcMotor::RibDstL), 100u);
       }},
      {"ribbon id 1: stop", DIAG_MOTOR, 1, 3, kOk, Drive(DcMotor::RibDstL, DriveState::Stop)},
      {"ribbon id 2: supply L reverse", DIAG_MOTOR, 2, 2, kOk, Drive(DcMotor::RibSrcL, DriveState::Reverse)},
      {"ribbon id 2: stop", DIAG_MOTOR, 2, 3, kOk, Drive(DcMotor::RibSrcL, DriveState::Stop)},
      {"ribbon id 3 is empty", DIAG_MOTOR, 3, 1, kBad, nullptr},
      {"motor id 4 lies between the ranges", DIAG_MOTOR, 4, 1, kBad, nullptr},
      {"fan id 1: head L with its side fan", DIAG_FAN, 1, 1, kOk, Loads(kFanHeadL | kFanSideL, 1, 0)},
      {"fan id 2: head R with its side fan", DIAG_FAN, 2, 1, kOk,
       Loads(kFanHeadL | kFanSideL | kFanHeadR | kFanSideR, 1, 1)},
      {"fan id 1 off", DIAG_FAN, 1, 2, kOk, Loads(kFanHeadR | kFanSideR, 0, 1)},
      {"fan id 2 off", DIAG_FAN, 2, 2, kOk, Loads(0, 0, 0)},
      {"fan id 3: the PCB fan alone", DIAG_FAN, 3, 1, kOk, Loads(kFanPcb, 0, 0)},
      {"fan id 4: the stepper fan", DIAG_FAN, 4, 1, kOk, Loads(kFanPcb | kFanStpMtr, 0, 0)},
      {"fan id 3 off", DIAG_FAN, 3, 2, kOk, Loads(kFanStpMtr, 0, 0)},
      {"fan id 4, action 3", DIAG_FAN, 4, 3, kBad, Loads(kFanStpMtr, 0, 0)},
      {"fan id 4 off", DIAG_FAN, 4, 2, kOk, Loads(0, 0, 0)},
      {"fan id 5 is empty", DIAG_FAN, 5, 1, kBad, Loads(0, 0, 0)},
      {"fan id 7 is outside", DIAG_FAN, 7, 1, kBad, Loads(0, 0, 0)},
      {"LED id 2: Ready on", DIAG_LED, 2, 1, kOk, Led(sim::PanelLed::Ready, true)},
      {"LED id 2: off", DIAG_LED, 2, 2, kOk, Led(sim::PanelLed::Ready, false)},
      {"LED id 3: Error on", DIAG_LED, 3, 1, kOk, Led(sim::PanelLed::Error, true)},
      {"LED id 3: action 3", DIAG_LED, 3, 3, kBad, Led(sim::PanelLed::Error, true)},
      {"LED id 3: off", DIAG_LED, 3, 2, kOk, Led(sim::PanelLed::Error, false)},
      {"LED id 1: Power off", DIAG_LED, 1, 2, kOk, Led(sim::PanelLed::Power, false)},
      {"LED id 1: Power on", DIAG_LED, 1, 1, kOk, Led(sim::PanelLed::Power, true)},
      {"LED id 0 is outside", DIAG_LED, 0, 1, kBad, nullptr},
      {"analog id 5: the environment thermistor", DIAG_ANALOG_SENSOR, 5, 0, kOk, Analog(&g_AdEnvTherm)},
      {"analog id 6: head L thermistor", DIAG_ANALOG_SENSOR, 6, 0, kOk, Analog(&g_AdHThermL)},
      {"analog id 4 is empty", DIAG_ANALOG_SENSOR, 4, 0, kOk, Value(0)},
      {"analog id 8 is outside", DIAG_ANALOG_SENSOR, 8, 0, kBad, Value(0)},
      {"switch id 1: head L up", DIAG_SWITCH_SENSOR, 1, 0, kOk, Switch(&g_SensorHeadLUp)},
      {"switch id 2: head L down", DIAG_SWITCH_SENSOR, 2, 0, kOk, Switch(&g_SensorHeadLDn)},
      {"switch id 16: head R down", DIAG_SWITCH_SENSOR, 16, 0, kOk, Switch(&g_SensorHeadRDn)},
      {"switch id 3 is empty", DIAG_SWITCH_SENSOR, 3, 0, kOk, Value(0)},
      {"switch id 17 is outside", DIAG_SWITCH_SENSOR, 17, 0, kBad, Value(0)},
      {"stepper id 3 is outside", DIAG_STEPPER, 3, 1, kBad, Stopped(sim::Stepper::Main)},
      {"stepper: another action is ignored", DIAG_STEPPER, 1, 9, kOk, Stopped(sim::Stepper::Main)},
      {"sub-command 2", 2, 1, 1, kBad, nullptr},
      {"sub-command 5", 5, 1, 1, kBad, nullptr},
      {"sub-command 10", 10, 1, 1, kBad, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Reply r = Diagnose(c.ucSubCommand, c.ucId, c.ucAction);
    ASSERT_EQ(ErrorCodeOf(r), c.result);
    ASSERT_EQ(r.data.size(), 4u);
    if (c.result == kOk) {
      EXPECT_EQ(r.data[0], c.ucSubCommand);
      EXPECT_EQ(r.data[1], c.ucId);
      EXPECT_EQ(r.data[2], c.ucAction);
    } else {
      EXPECT_EQ(r.data, Bytes(4, 0)) << "a refusal carries nothing";
    }
    if (c.check) c.check(r.data[3]);
  }
}

// Constant runs at 1300 pulses per second in both directions, ramps that
// speed up, and the two ways to stop: at once from a constant run, along
// the ramp from a ramped one.
TEST_F(DiagnosisCommandsTest, SteppersRunAndStopByTheirState) {
  struct Case {
    uint8_t ucId;
    sim::Stepper stepper;
  };
  for (const Case& c : {Case{1, sim::Stepper::Main}, Case{2, sim::Stepper::Sub}}) {
    SCOPED_TRACE(c.ucId);
    ASSERT_EQ(ErrorCodeOf(Diagnose(DIAG_STEPPER, c.ucId, 1)), kOk);
    m_machine->RunFor(Ms(100));
    const int64_t llForward = PulsesIn(c.stepper, Ms(1000));
    EXPECT_NEAR(std::llabs(llForward), 1300, 2);
    ASSERT_EQ(ErrorCodeOf(Diagnose(DIAG_STEPPER, c.ucId, 5)), kOk);
    EXPECT_EQ(PulsesIn(c.stepper, Ms(200)), 0);

    ASSERT_EQ(ErrorCodeOf(Diagnose(DIAG_STEPPER, c.ucId, 2)), kOk);
    m_machine->RunFor(Ms(100));
    const int64_t llBackward = PulsesIn(c.stepper, Ms(1000));
    EXPECT_NEAR(llBackward, -llForward, 2) << "the other direction";
    // A constant run stops at once: not one pulse between the request and
    // its reply.
    const int64_t llBeforeStop = Steppers().ShaftEighths(c.stepper);
    ASSERT_EQ(ErrorCodeOf(Diagnose(DIAG_STEPPER, c.ucId, 5)), kOk);
    const int64_t llStopTravel = std::llabs(Steppers().ShaftEighths(c.stepper) - llBeforeStop) / EighthsPerPulse(c.stepper);
    EXPECT_LE(llStopTravel, 15) << "at most the pulses of the request's own transfer";

    ASSERT_EQ(ErrorCodeOf(Diagnose(DIAG_STEPPER, c.ucId, 3)), kOk);
    const int64_t llEarly = PulsesIn(c.stepper, Ms(50));
    m_machine->RunFor(Ms(1000));
    const int64_t llLate = PulsesIn(c.stepper, Ms(50));
    EXPECT_GT(std::llabs(llLate), 2 * std::llabs(llEarly)) << "the ramp speeds up";
    EXPECT_EQ(llLate > 0, llForward > 0) << "action 3 runs as action 1";
    // A ramped run slows down along the ramp before it stops.
    const int64_t llBeforeDecel = Steppers().ShaftEighths(c.stepper);
    ASSERT_EQ(ErrorCodeOf(Diagnose(DIAG_STEPPER, c.ucId, 5)), kOk);
    EXPECT_GE(std::llabs(Steppers().ShaftEighths(c.stepper) - llBeforeDecel) / EighthsPerPulse(c.stepper), 74)
        << "down the whole ramp";
    int32_t lState = STPMTR_IDLE;
    InApp([&] {
      (c.ucId == 1 ? static_cast<CStpmtr&>(g_StpmtrMain) : static_cast<CStpmtr&>(g_StpmtrSub)).GetState(&lState);
    });
    EXPECT_EQ(lState, STPMTR_STOPPED);
    EXPECT_EQ(PulsesIn(c.stepper, Ms(200)), 0);

    ASSERT_EQ(ErrorCodeOf(Diagnose(DIAG_STEPPER, c.ucId, 4)), kOk);
    m_machine->RunFor(Ms(1000));
    EXPECT_EQ(PulsesIn(c.stepper, Ms(50)) > 0, llBackward > 0) << "action 4 runs as action 2";
    ASSERT_EQ(ErrorCodeOf(Diagnose(DIAG_STEPPER, c.ucId, 5)), kOk);
  }
}

// The idle state drops the initialisation event at the end of its pass, so
// the event is looked at inside the pass that ran the handler.
TEST_F(DiagnosisCommandsTest, MechanismInitialisationStopsTheMechanismFirst) {
  const uint32_t ulStopsBefore = g_ulMechaStopCount;
  ASSERT_EQ(ErrorCodeOf(Diagnose(DIAG_INIT_MECHA)), kOk);
  EXPECT_EQ(g_ulMechaStopCount, ulStopsBefore + 1);
  bool bRaised = false;
  InApp([&] {
    SelfDiagnosisBlock* pBlock = nullptr;
    usb_comm_get_self_diagnosis_block(&pBlock);
    *pBlock = SelfDiagnosisBlock{0, DIAG_INIT_MECHA, 0, 0, 0};
    g_pCurEventMng->ClearEvent(EV_INIT_MECHA);
    ExecSelfDiagnosis();
    bRaised = IsEventPending(EV_INIT_MECHA);
    g_pCurEventMng->ClearEvent(EV_INIT_MECHA);
  });
  EXPECT_TRUE(bRaised);
  EXPECT_EQ(g_ulMechaStopCount, ulStopsBefore + 2);
}

// ---- Follow-ups --------------------------------------------------------------------------

// The head-voltage tuning runs after its reply; it is refused with the front
// cover open (which the LCD says) and with an invalid head resistance.
TEST_F(DiagnosisCommandsTest, HeadVoltageTuningRunsOnlyWhenItCan) {
  struct Case {
    const char* what;
    uint8_t ucSubCommand;
    uint32_t ulError;  // 0: none raised; the front cover's is raised by opening it
    bool bSupplyStuck;  // the tuning of unit L fails at its bound
    const char* pszFirst;  // the LCD's first message, or null
    const char* pszResult;
    bool bTunedL;  // unit L's Y setting left its starting value
    bool bTunedR;
  };
  // A starting value away from where the tuning ends.
  constexpr int32_t kUntuned = 700;
  const Case cases[] = {
      {"both units", DIAG_THV_TUNE_BOTH, 0, false, nullptr, "Auto Tuning OK  ", true, true},
      {"unit L", DIAG_THV_TUNE_L, 0, false, nullptr, "Auto Tuning OK  ", true, false},
      {"unit R", DIAG_THV_TUNE_R, 0, false, nullptr, "Auto Tuning OK  ", false, true},
      {"both, unit L failing", DIAG_THV_TUNE_BOTH, 0, true, nullptr, "Auto Tuning NG  ", false, false},
      {"front cover open", DIAG_THV_TUNE_BOTH, kFrontCoverError, false, "Front Cover Open", "Auto Tuning NG  ", false,
       false},
      {"head resistance error 0x120", DIAG_THV_TUNE_L, 0x120, false, nullptr, "Auto Tuning NG  ", false, false},
      {"head resistance error 0x121", DIAG_THV_TUNE_BOTH, 0x121, false, nullptr, "Auto Tuning NG  ", false, false},
      {"head resistance error 0x122", DIAG_THV_TUNE_R, 0x122, false, nullptr, "Auto Tuning NG  ", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    InApp([&] {
      g_ParamThvYL.SetValue(kUntuned);
      g_ParamThvYR.SetValue(kUntuned);
      if (c.ulError != 0 && c.ulError != kFrontCoverError) g_ErrorMng.SetError(c.ulError);
    });
    if (c.ulError == kFrontCoverError) {
      Inputs().SetCoverOpen(sim::Cover::Front, true);
      ASSERT_TRUE(m_machine->RunUntil([&] { return ErrorSet(kFrontCoverError); }, Ms(2000)) ==
                  sim::RunResult::ConditionMet);
    }
    Supply().SetIgnoresStep(c.bSupplyStuck);
    const sim::Nanos sent = m_machine->Now();
    const Reply r = Diagnose(c.ucSubCommand);
    EXPECT_EQ(ErrorCodeOf(r), kOk);
    EXPECT_LT(m_machine->Now() - sent, Ms(1000)) << "answered before the tuning";
    if (c.pszFirst != nullptr) {
      EXPECT_TRUE(m_machine->RunUntil([&] { return Lcd().Visible() == c.pszFirst; }, Ms(1000)) ==
                  sim::RunResult::ConditionMet);
    }
    EXPECT_TRUE(m_machine->RunUntil([&] { return Lcd().Visible() == c.pszResult; }, Ms(60000)) ==
                sim::RunResult::ConditionMet)
        << Lcd().Visible();
    m_machine->RunFor(Ms(3500));
    Supply().SetIgnoresStep(false);
    EXPECT_EQ(SettingValue(g_ParamThvYL) != kUntuned, c.bTunedL);
    EXPECT_EQ(SettingValue(g_ParamThvYR) != kUntuned, c.bTunedR);
    if (c.ulError == kFrontCoverError) {
      Inputs().SetCoverOpen(sim::Cover::Front, false);
      ASSERT_TRUE(m_machine->RunUntil([&] { return !ErrorSet(kFrontCoverError); }, Ms(5000)) ==
                  sim::RunResult::ConditionMet);
    } else if (c.ulError != 0) {
      InApp([&] { g_ErrorMng.ClearError(c.ulError); });
    }
  }
}

// The key test takes up to 21 s; the host has its answer first, even when
// no key is pressed at all.
TEST_F(DiagnosisCommandsTest, TheKeyTestIsAnsweredBeforeItRuns) {
  const sim::Nanos sent = m_machine->Now();
  const Reply r = Diagnose(DIAG_KEY_TEST);
  EXPECT_EQ(ErrorCodeOf(r), kOk);
  EXPECT_EQ(r.data, (Bytes{DIAG_KEY_TEST, 0, 0, 0}));
  EXPECT_LT(m_machine->Now() - sent, Ms(1000));
  ASSERT_TRUE(m_machine->RunUntil([&] { return Lcd().Visible() == "Press + Key     "; }, Ms(1000)) ==
              sim::RunResult::ConditionMet);
  ASSERT_TRUE(m_machine->RunUntil([&] { return Lcd().Visible() == "Err:+ - MeEnAdCl"; }, Ms(19000)) ==
              sim::RunResult::ConditionMet)
      << "every key missed";
  m_machine->RunFor(Ms(3000));
  // The printer serves the host again once the test has ended.
  EXPECT_EQ(ErrorCodeOf(Diagnose(DIAG_LED, 2, 2)), kOk);
}

// ---- Panel commands ------------------------------------------------------------------------

TEST_F(DiagnosisCommandsTest, OperationButtonSetsTheKeyEnable) {
  struct Case {
    uint8_t ucValue;
    int result;
    int32_t lKeyEnable;
  };
  const Case cases[] = {{0, kOk, 0}, {1, kOk, 1}, {2, kBad, 1}, {0, kOk, 0}, {2, kBad, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ucValue);
    EXPECT_EQ(ErrorCodeOf(Command(m_machine->UsbHost(), CMD_OPERATION_BUTTON, {c.ucValue})), c.result);
    EXPECT_EQ(SettingValue(g_ParamKeyEnable), c.lKeyEnable);
    EXPECT_EQ(GetStatusItem(SI_KEY_ENABLE), static_cast<uint32_t>(c.lKeyEnable));
  }
}

TEST_F(DiagnosisCommandsTest, FlashLedBlinksTheReadyLed) {
  const size_t before = Leds().TraceOf(sim::PanelLed::Ready).size();
  EXPECT_EQ(ErrorCodeOf(Command(m_machine->UsbHost(), CMD_FLASH_LED)), kOk);
  m_machine->RunFor(Ms(5000));
  EXPECT_GE(Leds().TraceOf(sim::PanelLed::Ready).size(), before + 4) << "on and off, more than once";
}

TEST_F(DiagnosisCommandsTest, ErrorLogResetClearsTheHistoryOrSaysItFailed) {
  InApp([] {
    g_ErrorHist.Add(0x0101);
    g_ErrorHist.Add(0x0202);
  });
  ASSERT_GT(g_ErrorHistTable.aRecords[0].ulTotalCount + g_ErrorHistTable.aRecords[0].ucCodeMajor, 0u);
  // A programmed word of the history's sectors that will not erase.
  sim::NorFlash& flash = *m_machine->GetBoard().FindDevice<sim::NorFlash>();
  constexpr uint32_t kHistorySectors = 0x7F4000, kHistoryBytes = 0x4000;
  uint32_t ulStuck = kHistorySectors;
  while (ulStuck < kHistorySectors + kHistoryBytes && flash.PeekHalf(ulStuck) == 0xFFFF) ulStuck += 2;
  ASSERT_LT(ulStuck, kHistorySectors + kHistoryBytes) << "the history was saved";
  flash.SetEraseFailBits(ulStuck, static_cast<uint16_t>(~flash.PeekHalf(ulStuck)));
  // A part that gives up on an erase within 1 s: the four attempts end
  // before the host's wait does.
  sim::NorFlashTiming timing;
  timing.sectorEraseLimit = Ms(1000);
  flash.SetTiming(timing);
  EXPECT_EQ(ErrorCodeOf(Command(m_machine->UsbHost(), CMD_RESET_ERROR_LOG)), kUnitError);
  flash.SetEraseFailBits(ulStuck, 0);
  EXPECT_EQ(ErrorCodeOf(Command(m_machine->UsbHost(), CMD_RESET_ERROR_LOG)), kOk);
  for (const ErrorHistRecord& record : g_ErrorHistTable.aRecords) {
    EXPECT_EQ(record.ucCodeMajor, 0u);
    EXPECT_EQ(record.ucCodeMinor, 0u);
  }
}

}  // namespace
