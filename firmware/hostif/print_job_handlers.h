// The print-job command handlers: set-up of the receiving job, each image
// with its data phase, the data-received completion, cancel, job status,
// the two-unit image control, the cut list, the laminate text items, and the
// engine variants' exit-tray status. Each works on its command block and
// runs from usb_comm_run_events; results go into the block.
#pragma once

#include <cstdint>

int32_t ExecSetupPrintJob();
int32_t ExecPrintCommand();
int32_t OnPrintDataReceived();
int32_t ExecCancelPrintJob();
int32_t ExecGetJobStatus();
int32_t ExecGetPrinterIdStatus();
int32_t ExecJobImageControl();
int32_t ExecSetCutList();
int32_t ExecSetLaminateString();
// Entered on every usb_comm_run_events call while CMDEV_GET_EXIT_TRAY_STATUS
// is set; each clears the event and queues reply 33 itself when done.
int32_t ExecExitTrayStatus_EM2();
int32_t ExecExitTrayStatus_EM3();

// 1 from the parsing of a job set-up until the end of the next print
// command (or a refused layout check).
extern uint32_t g_ulJobSetupPending;
