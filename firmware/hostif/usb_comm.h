// usb_comm: the application's end of the host command channel. It takes the
// requests the USB task forwards through box 2 of the mailbox, hands each to
// its request parser, keeps the queue of reply and notification codes still
// to be sent, builds each queued reply and writes it into box 1, raises the
// data-received events when a bulk data phase has ended, and runs the
// command handlers one at a time through the command events.
//
// usb_comm never blocks. It is polled by PollHostCommands (the main loop and
// every abort check of a sequence) and by NotifyStatusChange, so a poll pass
// can run inside a command handler. A handler never runs again, nested,
// while it is still running: its event waits, and a request whose handler
// is running stays in box 2 until the handler has returned, so no parser
// overwrites a block that a running handler works on.
#pragma once

#include <cstdint>

#include "firmware/hostif/usb_cmd_blocks.h"

constexpr uint32_t DATA_PHASE_NONE = 0;
constexpr uint32_t DATA_PHASE_PRINT_IMAGE = 1;
constexpr uint32_t DATA_PHASE_UPDATE_DATA = 2;

constexpr uint32_t USB_REQUEST_DATA_MAX = 250;

struct UsbCommState {
  uint32_t ulRxState;  // 0 no request held; 2 a request awaits dispatch
  uint16_t usRequestLength;
  uint16_t usRequestCode;
  uint8_t aucRequestData[USB_REQUEST_DATA_MAX];  // zero behind the length
  uint32_t ulDataPhase;   // DATA_PHASE_...
  uint32_t ulDataOffset;  // where the armed data lands in the download buffer
  uint32_t ulTxState;     // 0 nothing in flight; 1 the head's reply is in box 1
};
constexpr uint32_t USB_RX_HELD = 2;

// The received request as its parser sees it.
struct UsbRequest {
  uint16_t usLength;
  uint16_t usCode;
  const uint8_t* pucData;  // USB_REQUEST_DATA_MAX bytes, zero behind the length
};

// The transmit-request queue: reply codes (1-34, 255) and notification
// codes (0x1002, 0x1003) in arrival order, each with the tag of the request
// it answers (0 for notifications).
constexpr uint32_t TXREQ_QUEUE_SIZE = 256;
extern uint16_t g_usTxReqQueue[TXREQ_QUEUE_SIZE];
extern uint8_t g_aucTxReqTag[TXREQ_QUEUE_SIZE];
extern uint16_t g_usTxReqCount;

// Start-up, called twice (before and after InitShMemUsb): clears the
// receive, data-phase and transmit state, empties the queue and clears
// every command event.
void usb_attention();
// One pass: transmit step, receive step, data-complete step. Returns 0.
int32_t usb_comm_poll();
// Runs at most one pending command event; returns 0.
int32_t usb_comm_run_events();
void usb_comm_get_state(UsbCommState** ppState);

namespace usb_comm {
// Queues a reply or notification code: 0, or -1 when 256 codes already wait
// (the code is then lost and logged).
int32_t regist_txreq_code(uint16_t usCode);
}  // namespace usb_comm

// Writes one message into box 1 (which the caller found free), with the
// tag of the reply being sent. Used by the reply builders. Returns 0, or -1
// when a word access failed.
int32_t usb_comm_send(uint16_t usLength, uint16_t usCode, const uint8_t* pucPayload);

// For the data-received handlers: 1 when the data phase that just ended
// brought no data to use, because the driver abandoned the receive or the
// USB task never armed it (its reply to the host had already run out of
// time); 0 when the data arrived. Clears the note and the driver's abandon
// flag.
int32_t usb_comm_take_data_abandoned();

// The handler of CMDEV_GET_EXIT_TRAY_STATUS, chosen by the engine variant.
using UsbEventHandler = int32_t (*)();
extern UsbEventHandler g_pfnUsbEvent100000;

// The internal steps, for tests and the reply builders.
int32_t usb_comm_receive();
int32_t usb_comm_request_present();
int32_t usb_comm_dispatch_request();
int32_t usb_comm_build_reply(uint16_t usCode);
int32_t usb_comm_tx_box_free();
uint32_t usb_comm_txreq_count();
uint16_t usb_comm_txreq_head();
// 1 when the code waits in the queue and its message is not built yet
// (the head's may be in box 1 already), else 0.
uint32_t usb_comm_txreq_waiting(uint16_t usCode);
int32_t usb_comm_remove_txreq_code(uint16_t usCode);
