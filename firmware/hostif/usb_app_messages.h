// The USB task's side of the ShMemUsb mailbox: the queue of requests waiting
// to go to the application, the exchange step that moves one request out
// and one message in per pass, and the dispatcher that turns each
// application message into the awaited answer or a mirror.
//
// Requests wait in a first-in first-out queue until box 2 is free, so a
// request the host has already been answered for (CMD_RESET,
// CMD_MAINTENANCE_PERMISSION) is never overwritten by the next command's
// request. While the queue is full the command layer refuses, as busy, every
// command that would post a request.
#pragma once

#include <cstdint>

#include "firmware/hostif/shmem_usb.h"
#include "protocol/media.h"
#include "protocol/status_record.h"

constexpr uint32_t APP_REQUEST_SLOTS = 4;

struct PendingAppRequests {
  ShMemMessage aSlot[APP_REQUEST_SLOTS];
  uint32_t ulHead;
  uint32_t ulCount;
};
extern PendingAppRequests g_PendingAppRequest;

// The application's answer to the awaited request, as it came: the result
// byte first, then the reply's data (usb_comm's reply builders).
constexpr uint32_t APP_REPLY_BLOCK_SIZE = 252;
struct AppReplyBlock {
  uint16_t usCode;
  uint16_t usLength;
  uint8_t aucData[APP_REPLY_BLOCK_SIZE];
};
extern AppReplyBlock g_AppReply;

// The last status and media records the application sent; zero until the
// first arrives.
extern protocol::StatusRecord g_StatusMirror;
extern protocol::MediaRecord g_MediaMirror;

// Queues a request with a new tag; returns the tag, or 0 when the queue is
// full (nothing queued). A payload above 250 bytes is cut to 250.
uint8_t PostToApplication(uint16_t usLength, uint16_t usCode, const uint8_t* pucPayload);
// Removes a queued request that has not gone into the mailbox yet; 0, or -1
// when no request with that tag waits.
int32_t WithdrawAppRequest(uint8_t ucTag);
// Free places in the request queue.
uint32_t FreeAppRequestSlots();
// Awaits the answer to the request with this code and tag for ulMs
// (SOFT_TIMER_USB_REPLY).
void ArmAppReplyWait(uint16_t usCode, uint8_t ucTag, uint32_t ulMs);

// One exchange: at most one request out into box 2, at most one message in
// from box 1.
void ExchangeShMemUsb();
// Handles one message from box 1: 0 when it was the awaited answer (it is
// then in g_AppReply and g_usLastAppMessage), non-zero otherwise.
int32_t DispatchApplicationMessage(const ShMemMessage& message);

// Empties the request queue and clears the answer and both mirrors;
// start-up.
void ResetAppMessages();
