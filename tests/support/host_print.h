// A new sample printer reached through the in-process host port, with 8x10
// ribbons in both units and the media information sent, ready for a job
// that the test sends as the host would.
#pragma once

#include <gtest/gtest.h>

#include <functional>

#include "firmware/hostif/usb_command_test_support.h"
#include "firmware/printengine/job_queue_test_support.h"
#include "firmware/printengine/media_config.h"
#include "sim/usb/usb_host_port.h"
#include "tests/support/machine_test.h"

namespace testsupport {

class HostPrintTest : public MachineTest {
 protected:
  sim::UsbHostPort& Host() { return m_machine->UsbHost(); }
  void InApp(std::function<void()> step, sim::Nanos limit = Ms(2000)) {
    ASSERT_TRUE(m_machine->RunStep(std::move(step), limit));
  }
  // Boots, waits for the host's configuration and a settled status, and
  // loads the media. Call through ASSERT_NO_FATAL_FAILURE.
  void BootWithHostAndMedia() {
    BootNewPrinter();
    ASSERT_TRUE(Host().WaitForConfigured(Ms(10000))) << Host().Hub().FailureReason();
    ASSERT_TRUE(hostiftest::WaitForSettledStatus(*m_machine));
    InApp([] {
      jobtest::LoadMedia(RIBBON_SIZE_8X10, RIBBON_SIZE_8X10);
      g_MediaConfig.SendMediaInfo();
    });
  }
};

}  // namespace testsupport
