// The firmware's kernel configuration with the USB task's body replaced by
// a test's own (test code only): the other tasks, semaphores, interrupts
// and exceptions stay as the firmware configures them.
#pragma once

#include <vector>

#include "firmware/hal/kernel.h"
#include "firmware/platform/sftprn.h"

namespace testsupport {

struct KernelWithUsbTask {
  explicit KernelWithUsbTask(TaskEntry usbTask) {
    const KernelConfiguration& fw = g_KernelConfiguration;
    tasks.assign(fw.pTasks, fw.pTasks + fw.ulTaskCount);
    for (TaskConfig& t : tasks) {
      if (t.tskid == USB_TASK) t.task = usbTask;
    }
    config = fw;
    config.pTasks = tasks.data();
  }
  std::vector<TaskConfig> tasks;
  KernelConfiguration config{};
};

}  // namespace testsupport
