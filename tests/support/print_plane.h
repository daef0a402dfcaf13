// Planes printed by a sequence in the application task that plays the
// colour-pass sequence's part (test code only): the board with the sample
// TABLE (line values of their own) and the DSP linked, a host-like job
// whose colour picture lies in its slot's buffer, and per plane StartPlane,
// PlanPlane, the main stepper at the rate that "Stp/Lx1000" and the line
// period give, the state polled to 2, EndPlane.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "firmware/control/control_test_rig.h"
#include "firmware/devices/machine_ports.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/stepper.h"
#include "firmware/hal/hw.h"
#include "firmware/platform/head_drive.h"
#include "firmware/platform/ioctl.h"
#include "firmware/printengine/head_line_log.h"
#include "firmware/printengine/plane_lead_in.h"
#include "firmware/printengine/plane_sequencer.h"
#include "firmware/printengine/print_line.h"
#include "firmware/printengine/print_line_test_support.h"
#include "firmware/sequences/ribbon_winding.h"
#include "sim/bus.h"
#include "sim/dsp/dsp_core.h"
#include "sim/mechanism/print_recorder.h"
#include "tests/support/test_images.h"

namespace testsupport {

// What the sequence saw of one plane.
struct PlaneRun {
  int32_t lStart = -1;
  int32_t lPlan = -1;
  uint32_t ulTotalSteps = 0;
  uint32_t ulFront = 0, ulImage = 0, ulRear = 0;
  // Remaining steps at the first sight of each stretch.
  uint32_t ulImageAt = 0, ulRunOutAt = 0;
  bool bDone = false;
  uint16_t usLineCount = 0;
  uint32_t ulLogOffset = 0;
  std::vector<uint16_t> log;  // the plane's head log of unit L
};

class PrintPlaneTest : public controltest::ControlTest {
 protected:
  sim::DspCore& Dsp() { return *m_machine->GetBoard().FindDevice<sim::DspCore>(); }
  sim::PrintRecorder& Record() { return m_machine->PrintRecord(); }

  // The board and a host-like job of size row `ulSizeRow` whose colour
  // picture lies in its slot's buffer; "Stp/Lx1000" 1000.
  void Prepare(const testsupport::TestImage& picture, uint32_t ulSizeRow) {
    InApp(
        [&] {
          printlinetest::PrepareBoard(printlinetest::AddLineValues);
          if (::testing::Test::HasFatalFailure()) return;
          g_HeadDrive.Init();
          // The start-up's pin edges and motor enable.
          for (uint32_t ulPin = 1; ulPin <= 6; ++ulPin) IoctlSetGpioFallTrig(ulPin);
          g_PortMotorEnable.Set();
          g_ParamStpLx1000.SetValueNoSave(1000);
          g_ParamSideAL.SetValueNoSave(0);
          g_ParamSideAR.SetValueNoSave(3);
          g_ParamCisSW.SetValueNoSave(0);
          g_ulRibDummyLines = 60;
          m_pSlot = printlinetest::AttachedSlot(&g_PrintSizeTable[ulSizeRow]);
          ASSERT_NE(m_pSlot, nullptr);
          m_pSlot->usInternal = 0;
        },
        Ms(20000));
    ASSERT_NE(m_pSlot, nullptr);
    uint8_t* p = m_machine->GetBoard().GetBus().RamPointer(m_pSlot->ulImageAddress,
                                                             static_cast<uint32_t>(picture.bytes.size()));
    ASSERT_NE(p, nullptr);
    std::copy(picture.bytes.begin(), picture.bytes.end(), p);
  }

  // One plane as the colour-pass sequence prints it.
  // afterPlan runs in the application task once the plane is planned.
  PlaneRun PrintOnePlane(uint16_t usPlane, std::function<void()> afterPlan = nullptr, sim::Nanos limit = Ms(30000)) {
    PlaneRun run;
    InApp(
        [&] {
          run.lStart = g_PlaneSequencer.StartPlane(0, 0);
          if (run.lStart != 0) return;
          run.lPlan = g_PlaneSequencer.PlanPlane(usPlane);
          if (run.lPlan != 0) return;
          g_PlaneSequencer.GetTotalSteps(&run.ulTotalSteps);
          run.ulFront = g_PlaneSequencer.FrontSteps();
          run.ulImage = g_PlaneSequencer.ImageSteps();
          run.ulRear = g_PlaneSequencer.RearSteps();
          run.usLineCount = g_PrintLine.Plane().usLineCount;
          run.ulLogOffset = g_PrintLine.LogOffsetBytes();
          if (afterPlan) afterPlan();
          uint32_t ulPeriod = g_PrintLine.LinePeriodUs();
          const uint32_t ulRate = 1000000u * static_cast<uint32_t>(SettingValue(g_ParamStpLx1000)) / 1000u / ulPeriod;
          g_StpmtrMain.RunConstant(ulRate, 0, 2, 0);
          uint32_t ulState = 0;
          for (uint32_t ulWaited = 0; ulWaited < 25000000u; ulWaited += 50) {
            g_PlaneSequencer.GetState(&ulState);
            const uint32_t ulStretch = ulState & 0xFFF;
            if (run.ulImageAt == 0 && ulStretch == PLANE_STATE_IMAGE) run.ulImageAt = g_PlaneSequencer.RemainingSteps();
            if (run.ulRunOutAt == 0 && ulStretch == PLANE_STATE_RUN_OUT) {
              run.ulRunOutAt = g_PlaneSequencer.RemainingSteps();
            }
            if (ulState == PLANE_STATE_DONE) break;
            CpuRelaxUs(50);
          }
          run.bDone = ulState == PLANE_STATE_DONE;
          g_StpmtrMain.Halt();
          g_PrintLine.EndPlane();
          g_PlaneSequencer.SetState(PLANE_STATE_IDLE);
          for (uint32_t i = 0; i < HEAD_LINE_LOG_ENTRIES; ++i) run.log.push_back(g_usHeadLineLogA[usPlane][i]);
        },
        limit);
    return run;
  }

  ImageSlot* m_pSlot = nullptr;
};

// The rows a plane hands over, by line (0 the prefetch): the extra-line
// rows twice at both ends, the blank row (0) past the last image line.
inline std::vector<uint16_t> ExpectedRows(uint16_t usLineCount, uint32_t ulE1, uint32_t ulE2) {
  std::vector<uint16_t> rows{0};
  uint16_t usRow = 0, usZoneA = 0, usZoneB = 0;
  for (uint32_t n = 1; n < usLineCount + 4u; ++n) {
    if (n + 1 > usLineCount && n > 5) {
      rows.push_back(0);
      continue;
    }
    rows.push_back(usRow);
    bool bAdvance = true;
    if (n < 2 * ulE1) {
      bAdvance = (++usZoneA & 1u) == 0;
    } else if (n >= usLineCount - 2 * ulE2 && n < usLineCount) {
      bAdvance = (++usZoneB & 1u) == 0;
    }
    if (bAdvance) ++usRow;
  }
  return rows;
}

}  // namespace testsupport
