#include "firmware/control/host_command_poll.h"

#include "firmware/hostif/usb_comm.h"

int32_t PollHostCommands() {
  usb_comm_poll();
  return usb_comm_run_events();
}
