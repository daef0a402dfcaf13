// The inside of usb_comm: its request parsers and reply builders, shared by
// usb_comm.cpp, usb_request_parsers.cpp and usb_reply_builders.cpp.
#pragma once

#include <cstdint>

#include "firmware/hostif/usb_comm.h"

// A request parser: stores the request in its command block, then sets its
// command event or queues its reply at once. Returns 0, or -1 for a refused
// request.
using RequestParser = int32_t (*)(const UsbRequest& request);

struct RequestRoute {
  uint16_t usRequest;
  RequestParser pfnParse;
  // The events whose handlers work on the blocks this parser writes: while
  // one of them runs, the request waits in the mailbox.
  uint32_t ulEvents;
};

// The route of a request code, or null for a code usb_comm does not take.
const RequestRoute* FindRequestRoute(uint16_t usRequest);

// The work buffer of a reply build.
constexpr uint32_t USB_COMM_WORK_SIZE = 528;

// Builds the message payload of a reply or notification code: its length,
// or -1 for a code without a builder.
int32_t BuildReplyPayload(uint16_t usCode, uint8_t* pucWork, uint32_t ulRoom);
