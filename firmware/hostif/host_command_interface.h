// The host command interface as the rest of the firmware calls it: its entry
// points in the USB task (usb_command_layer.h) and in the application's main
// loop (usb_comm.h), its start-up operations, the mailbox between the two
// tasks (shmem_usb.h) and the USB identity (usb_identity.h). The byte
// layouts of the wire (commands, replies, printer-state codes) come from the
// protocol module.
//
// Start-up, in the application task: usb_attention, InitShMemUsb,
// usb_attention, InitUsbProcess, SetupUsbIdentity, then IoctlConnectUsb.
// The USB task may poll before that; it sees no packet until the device is
// connected.
#pragma once

#include "firmware/hostif/shmem_usb.h"
#include "firmware/hostif/usb_cmd_blocks.h"
#include "firmware/hostif/usb_comm.h"
#include "firmware/hostif/usb_command_layer.h"
#include "firmware/hostif/usb_identity.h"
