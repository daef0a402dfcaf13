// The host command interface as the rest of the firmware calls it: its entry
// points in the USB task and in the application's main loop, its start-up
// operations and the mailbox between the two tasks. The byte layouts of the
// wire (commands, replies, printer-state codes) come from the protocol
// module.
#pragma once

#include <cstdint>

#include "firmware/hal/hw.h"

// ---- USB task --------------------------------------------------------------
// One pass of the USB task's side: one step of the command layer, then one
// exchange on the mailbox. Never sleeps.
void UsbPoll();
void UsbCommandStep();

// ---- The ShMemUsb mailbox -----------------------------------------------------
// Each word access is made under SHMEM_SEM. Box 1 or 2, word index 0-127.
int32_t ReadShMemUsb(uint32_t ulBox, uint32_t ulIndex, uint16_t* pusValue);
int32_t WriteShMemUsb(uint32_t ulBox, uint32_t ulIndex, uint16_t usValue);
int32_t InitShMemUsb();

// ---- Start-up ------------------------------------------------------------------
void usb_attention();
void InitUsbProcess();
void SetupUsbIdentity(const char* pszSerialNo);
void RegisterUsbDescriptors1();
void RegisterUsbDescriptors2();

// ---- The application's command channel -----------------------------------------
int32_t usb_comm_poll();
int32_t usb_comm_run_events();
namespace usb_comm {
int32_t regist_txreq_code(uint16_t usCode);
}  // namespace usb_comm

// ---- Data received and deferred work --------------------------------------------
void OnPrintDataReceived();
void OnUpdateDataReceived();
int32_t ApplyPendingUpdates();
int32_t ApplyPendingResets();

// The RAM area that receives print and update data.
constexpr PhysAddr DOWNLOAD_BUFFER_ADDR = 0xC0800000u;
