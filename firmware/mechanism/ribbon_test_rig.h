// Test rig of the ribbon code: the panel rig's printer (its machine built,
// the application running the test's jobs, unit A current with the
// mark-sensor row, every setting at its default) with a TABLE image of the
// test's own in flash, and the ribbon motors' lines, PWM duties and clutch
// of unit L read from the FPGA's registers.
#pragma once

#include <vector>

#include "firmware/control/panel_test_rig.h"
#include "firmware/devices/machine_actuators.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/mechanism/donor_mng.h"
#include "firmware/mechanism/ribbon_roll.h"
#include "firmware/printengine/single_pass.h"
#include "firmware/printengine/table_store.h"
#include "sim/board.h"
#include "sim/memory/nor_flash.h"
#include "tools/images/flash_map.h"
#include "tools/images/table_image.h"

namespace ribbontest {

using paneltest::Ms;

// The print speeds of the planes Y, M, C and the overcoat (TABLE values
// 0-3), the base diameter of the take-up duty tables (value 64) and the
// tables 96-99: every byte of plane k's table is kTableDuty + k.
constexpr uint32_t kSpeeds[4] = {5000, 2500, 10000, 1000};
constexpr uint32_t kTakeUpBase = 30;
constexpr uint32_t kSupplyBase = 30;
constexpr uint8_t kTableDuty = 40;

inline images::TableImageParams PrintDutyTable() {
  images::TableImageParams p;
  p.bankCount = 1;
  p.tableCount = 128;
  p.values.assign(1, std::vector<uint32_t>(256));
  for (uint32_t i = 0; i < 4; ++i) p.values[0][i] = kSpeeds[i];
  p.values[0][64] = kTakeUpBase;
  p.values[0][65] = kSupplyBase;
  for (uint8_t k = 0; k < 4; ++k) p.tables[96u + k] = {images::Bytes(16, static_cast<uint8_t>(kTableDuty + k))};
  return p;
}

// The lines of unit L's ribbon motors in FPGA_DCMOTOR0: the take-up
// (polarity 0) on bits 1/0, the supply (polarity 1) on bits 2/3.
enum class Drive { Forward, Reverse, Stop, Brake };
constexpr uint16_t kTakeUpLines[] = {0x0002, 0x0001, 0x0003, 0x0000};
constexpr uint16_t kSupplyLines[] = {0x0008, 0x0004, 0x0000, 0x000C};
constexpr uint32_t kDcMotor0 = 0x30;
constexpr uint32_t kFanCtrl = 0x36;
constexpr uint16_t kClutchL = 0x0001;
// PWM duty registers of channels 0 (take-up L) and 1 (supply L); period
// 800.
constexpr uint32_t kTakeUpPwm = 0x62;
constexpr uint32_t kSupplyPwm = 0x66;
constexpr uint32_t kSupplyChannelL = 0;
constexpr uint32_t kTakeUpChannelL = 2;

class RibbonTest : public paneltest::PanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    g_ulSinglePass = 0;
  }
  void TearDown() override {
    g_ulSinglePass = 0;
    PanelTest::TearDown();
  }
  sim::NorFlash& Flash() { return *m_machine->GetBoard().FindDevice<sim::NorFlash>(); }
  // The image (or, for an empty one, an erased area) in flash, then the
  // start-up's check of it.
  void PutTable(const images::Bytes& image) {
    const images::Bytes erased(images::kTableAreaBytes, 0xFF);
    Flash().LoadImage(images::kAreaTable.offset, erased.data(), images::kTableAreaBytes);
    if (!image.empty()) Flash().LoadImage(images::kAreaTable.offset, image.data(), static_cast<uint32_t>(image.size()));
    static int32_t s_lCheck;
    InApp([] { s_lCheck = InitTableData(); });
    EXPECT_EQ(s_lCheck, image.empty() ? -1 : 0);
  }
  void PutTable(const images::TableImageParams& params) { PutTable(images::BuildTableImage(params)); }

  // A search started on the current manager from rest (its motors braked,
  // the clutch released): the start's result and the search state after.
  struct SearchStart {
    bool bPanelSearch;  // StartPanelSearch, else StartPhase
    uint32_t ulPhase;
  };
  struct SearchStarted {
    int32_t lResult;
    uint32_t ulState;
    bool operator==(const SearchStarted&) const = default;
  };
  SearchStarted StartFromRest(const SearchStart& start) {
    static SearchStart s_start;
    static SearchStarted s_started;
    s_start = start;
    InApp([] {
      g_pDonorMng->StopRibbon(0, 1);
      s_started.lResult = s_start.bPanelSearch ? g_pDonorMng->StartPanelSearch(s_start.ulPhase)
                                               : g_pDonorMng->StartPhase(s_start.ulPhase, 0);
      s_started.ulState = g_pDonorMng->GetSearchState();
    });
    return s_started;
  }

  uint16_t Lines() { return Fpga().Register(kDcMotor0); }
  uint16_t TakeUpLines() { return Lines() & 0x0003; }
  uint16_t SupplyLines() { return Lines() & 0x000C; }
  // Duties in percent of the period 800.
  uint32_t TakeUpDuty() { return Fpga().Register(kTakeUpPwm) / 8u; }
  uint32_t SupplyDuty() { return Fpga().Register(kSupplyPwm) / 8u; }
  bool ClutchOn() { return (Fpga().Register(kFanCtrl) & kClutchL) != 0; }
};

// The current unit's ribbon motors, encoders and clutch moved to objects no
// mechanism turns: the take-up on the spare chopper of channel 16, the
// supply on that of channel 17 (both on FPGA_DCMOTOR2, polarity 1), the
// supply encoder on counter 6 and the take-up encoder on counter 5. The
// test alone moves the counts.
constexpr uint32_t kSupplyCounter = 6;
constexpr uint32_t kTakeUpCounter = 5;
constexpr uint32_t kQuietTakeUpPwm = 0x8E;  // channel 16: pair 11

class QuietRibbon : public RibbonTest {
 protected:
  void SetUp() override {
    RibbonTest::SetUp();
    InApp([] {
      g_pCurChopMotorRibDst = &g_ChopMotorSpare01;
      g_pCurChopMotorRibSrc = &g_ChopMotorSpare23;
      g_pCurSlitRibEncSrc = &g_SlitFaultChk;
      g_pCurSlitRibEncDst = &g_SlitRollEnc;
    });
  }
  uint16_t QuietLines() { return Fpga().Register(0x34) & 0x000F; }
  uint32_t QuietTakeUpDuty() { return Fpga().Register(kQuietTakeUpPwm) / 8u; }
};

// Sets the current roll's take-up diameter to d mm (+ less than 0.02) as
// a measurement at the default 4000 steps per 1000 lines would: one
// take-up turn of 420 counts over ceil(d / 0.014459) main-stepper steps.
inline void SetTakeUpDiameter(CRibbonRoll& roll, uint32_t ulMm) {
  constexpr double kMmPerStep = 0.08466666666666667 * 2.1460285714285714 / 3.14159 / 4.0;
  uint32_t ulSteps = static_cast<uint32_t>(ulMm / kMmPerStep);
  while (ulSteps * kMmPerStep < ulMm) ++ulSteps;
  roll.MeasureDiameter(RIBBON_SIDE_TAKE_UP, ulSteps);
}

}  // namespace ribbontest
