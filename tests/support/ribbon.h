// The ribbons as the system tests see them: a new printer, ready
// with its ribbon loads, each unit's ribbon model, and the sequences' wind
// by count run in the application task on the current unit's manager.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "firmware/control/error_manager.h"
#include "firmware/control/event_set.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/hostif/usb_command_test_support.h"
#include "firmware/mechanism/donor_mng.h"
#include "firmware/mechanism/step_machine.h"
#include "protocol/codes.h"
#include "sim/fpga/fpga_main_block.h"
#include "sim/machine.h"
#include "sim/mechanism/dc_mechanism.h"
#include "sim/mechanism/ribbon_mechanism.h"
#include "sim/panel/panel.h"
#include "sim/usb/usb_host_port.h"
#include "tests/support/machine_test.h"

namespace ribbontest {

using testsupport::Ms;

// What a wind by count ended with.
struct Wind {
  int32_t lResult = 9;      // PollUntilDone's over IsAtTarget
  uint32_t ulTarget = 0;    // the supply target it was given
  uint32_t ulStopCount = 0;  // the supply count right after the stop
  sim::Nanos endedAt = 0;   // when the polls ended
};

// Polls a manager's step until it reports done or fails, with the abort
// check on the covers between the polls: the step's result, or -2 when the
// abort check ended the polls.
template <typename Step>
int32_t PollUntilDone(Step step) {
  uint32_t ulDone = 0;
  int32_t lResult = 0;
  while (lResult == 0 && ulDone == 0) {
    lResult = step(&ulDone);
    if (lResult == 0 && ulDone == 0 && CheckAbort(SEQ_CHECK_COVERS) != 0) return -2;
  }
  return lResult;
}

// The wind by count of the sequences, in the application task on the
// current unit's manager: SetTarget, SetRibbonPhase, IsAtTarget polled with
// motion required (the abort check on the covers between the polls), then
// StopRibbon keeping the counts and releasing the clutch. `started` runs
// right after the phase is set (may be empty).
inline Wind WindByCount(sim::Machine& machine, uint32_t ulPhase, uint32_t ulDirection, uint32_t ulCounts,
                        const std::function<void()>& started = {}) {
  Wind w;
  EXPECT_EQ(g_pDonorMng->SetTarget(ulCounts), 0);
  w.ulTarget = g_pDonorMng->GetSupplyTarget();
  EXPECT_EQ(g_pDonorMng->SetRibbonPhase(ulPhase, ulDirection), 0);
  if (started) started();
  w.lResult = PollUntilDone([](uint32_t* pulDone) { return g_pDonorMng->IsAtTarget(1, pulDone); });
  w.endedAt = machine.Now();
  g_pDonorMng->StopRibbon(1, 1);
  g_pCurSlitRibEncSrc->ReadCount(&w.ulStopCount);
  return w;
}

// A new printer, ready, its ribbons loaded by the options.
class RibbonPrinter : public testsupport::MachineTest {
 protected:
  void BootReady(sim::MachineOptions options = {}) {
    BootNewPrinter(std::move(options));
    m_machine->RunUntil([this] { return Lcd().Visible() == testsupport::kReadyLine; },
                        testsupport::kStartUp + testsupport::kFirstBootFormat + Ms(10000));
    ASSERT_EQ(Lcd().Visible(), testsupport::kReadyLine);
    ASSERT_TRUE(m_machine->UsbHost().WaitForConfigured(Ms(5000)));
  }

  sim::RibbonMechanism& Ribbons() { return *m_machine->GetBoard().FindDevice<sim::RibbonMechanism>(); }
  const sim::RibbonTransport& Ribbon(sim::PrintUnit unit) { return Ribbons().Unit(unit); }
  sim::DcMechanism& Mechanism() { return *m_machine->GetBoard().FindDevice<sim::DcMechanism>(); }
  sim::FpgaMainBlock& Fpga() { return *m_machine->GetBoard().FindDevice<sim::FpgaMainBlock>(); }
  sim::LcdController& Lcd() { return *m_machine->GetBoard().FindDevice<sim::LcdController>(); }
  sim::PanelLeds& Leds() { return *m_machine->GetBoard().FindDevice<sim::PanelLeds>(); }

  // Runs `step` in the application's main loop; false when it did not end
  // within the limit.
  bool InLoop(std::function<void()> step, sim::Nanos limit = Ms(30000)) {
    return m_machine->RunStep(std::move(step), limit);
  }

  protocol::ReplyHeader Status() {
    const hostiftest::Reply r = hostiftest::Command(m_machine->UsbHost(), protocol::CMD_GET_STATUS);
    EXPECT_EQ(r.header.replyKind, protocol::REPLY_OK);
    return r.header;
  }

  // Runs until the printer's state is `pState` and its status line shows.
  bool RunUntilShown(CEventMng* pState, const std::string& line, sim::Nanos limit = Ms(3000)) {
    m_machine->RunUntil([&] { return g_pCurEventMng == pState && Lcd().Visible() == line; }, limit);
    return g_pCurEventMng == pState && Lcd().Visible() == line;
  }
};

}  // namespace ribbontest
