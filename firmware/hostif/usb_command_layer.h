// The USB task's command layer: the printer end of the USB command protocol.
// Every 2 ms UsbPoll runs one step of UsbCommandStep and one exchange on the
// mailbox (usb_app_messages.h). One step reads a command packet, checks its
// size and its permission in the current printer state, answers it at once
// or forwards it to the application, waits for the application's reply with
// a time-out, builds and sends the response, sends tone-curve pieces, and
// arms the bulk receive of print and update data. The layer runs only in
// the USB task and never waits for the application.
#pragma once

#include <cstdint>

#include "firmware/hal/hw.h"
#include "protocol/wire.h"

// ---- State -----------------------------------------------------------------------
enum UsbCmdState : uint8_t {
  USB_CMD_IDLE = 0,         // ask the driver whether a command packet waits
  USB_CMD_DISPATCH = 1,     // read it and handle it
  USB_CMD_AWAIT_REPLY = 2,  // wait for the application's answer
  USB_CMD_RESPOND = 3,      // build and send the response
  USB_CMD_SEND_PIECES = 4,  // send the next tone-curve piece
};
extern uint8_t g_ucUsbCmdState;

// The command packet, and the response built in the same buffer.
constexpr uint32_t USB_PACKET_BUFFER_SIZE = protocol::COMMAND_PACKET_MAX;
extern uint8_t g_UsbPacketBuffer[USB_PACKET_BUFFER_SIZE];

// The command being served; 0xFFFF for an unknown code.
constexpr uint16_t USB_CMD_UNKNOWN = 0xFFFF;
extern uint16_t g_usUsbLastCommand;

// The six bytes behind every ReplyHeader. SetReplyError sets the error code
// and the reply kind that follows from it; the status fields are written
// only from the application's status record.
struct ReplyStatus {
  uint8_t ucReplyKind;
  uint8_t ucErrorCode;
  uint8_t ucErrorClass;
  uint8_t ucErrorDetail;
  uint8_t ucPrinterState;
  uint8_t ucAuxStatus;
};
extern ReplyStatus g_ReplyStatus;
void SetReplyError(uint8_t ucCode);

// 1 after an accepted CMD_MAINTENANCE_PERMISSION, for one
// CMD_SET_EEPROM_MAINTENANCE.
extern uint16_t g_usMaintPermission;

struct UsbPrintRequest {
  uint16_t usWidth;
  uint16_t usHeight;
  uint32_t ulImageBytes;
};
struct UsbUpdateRequest {
  uint32_t ulDataSize;
};
struct UsbResetRequest {
  uint8_t ucKind;
  uint8_t ucArgument;
};
extern UsbPrintRequest g_UsbPrintRequest;
extern UsbUpdateRequest g_UsbUpdateRequest;
extern UsbResetRequest g_UsbResetRequest;

// The request the layer waits for, with its tag, and the code of the last
// application message that answered it.
extern uint16_t g_usAwaitedRequest;
extern uint8_t g_ucAwaitedTag;
extern uint16_t g_usLastAppMessage;

// ---- The download buffer and the bulk receive ----------------------------------------
// Print and update data land in the download buffer at the download offset,
// which the application's print and update handlers set before they answer.
// The receive is armed only when the whole data fits behind the offset.
constexpr PhysAddr DOWNLOAD_BUFFER_ADDR = 0xC0800000u;
// Up to the DSP's SDRAM image at 0xC5000000.
constexpr uint32_t DOWNLOAD_BUFFER_SIZE = 0x04800000u;
// One-bit print images also land behind the DSP's image, in the one-bit
// image buffers.
constexpr uint32_t ONE_BIT_IMAGE_AREA_OFFSET = 0x04E00000u;
constexpr uint32_t ONE_BIT_IMAGE_AREA_SIZE = 0x00360000u;

enum BulkRxKind : uint32_t {
  BULK_RX_NONE = 0,
  BULK_RX_UPDATE = 1,
  BULK_RX_PRINT = 2,
};

// Both words are shared with the application without a lock: the
// application writes the offset before it answers a print or update
// request, and clears the kind once the receive has ended; the
// request-reply order through the mailbox orders the accesses.
extern volatile uint32_t g_ulDownloadOffset;
extern volatile uint32_t g_ulBulkRxKind;
void SetDownloadOffset(uint32_t ulOffset);
uint32_t GetDownloadOffset();
// The kind of the armed bulk receive: set by the USB task right after it
// armed the receive, read and cleared by the application once the driver
// reports the receive's end.
uint32_t GetBulkRxKind();
void ClearBulkRxKind();

// ---- The permission table -------------------------------------------------------------
// allow[0] while the printer state's upper nibble is 0x0, [1] for 0x1, [2]
// for 0x3, [3] for 0x6 and 0xE; 0 permits, 1 refuses. Every other nibble
// refuses every gated command. The table ends with a row of code 0.
struct CommandPermission {
  uint16_t usCommandCode;
  uint8_t aucAllow[4];
  uint8_t aucReserved[2];
};
constexpr uint32_t COMMAND_PERMISSION_ROWS = 35;
extern const CommandPermission g_CommandPermissionTable[COMMAND_PERMISSION_ROWS];

// 0 when the command is permitted in the current printer state; otherwise
// non-zero with that state in *pucState.
int32_t CheckCommandPermission(uint16_t usCode, uint8_t* pucState);

// ---- The tone-curve piece sender ---------------------------------------------------------
struct PieceSend {
  uint16_t usBytesRemaining;
  uint16_t usPieceLength;
  uint16_t usPiecesRemaining;
  uint16_t usCode;
  uint16_t usReadIndex;
  uint8_t aucPiece[2 + 16];
  PhysAddr ulSource;
};
extern PieceSend g_PieceSend;
// Starts sending ulSize bytes from ulSource, one piece per step, for at most
// ulMs (SOFT_TIMER_USB_SEND).
void StartPieceSend(uint16_t usSize, uint16_t usCode, uint32_t ulMs, PhysAddr ulSource);

// ---- Entry points ----------------------------------------------------------------------
// One pass of the USB task: one step, then one mailbox exchange.
void UsbPoll();
void UsbCommandStep();
// Resets both USB-task sides of the command layer; start-up. Returns 0.
int32_t InitUsbProcess();
// The passes UsbPoll has made since reset.
uint32_t GetUsbPollCount();
