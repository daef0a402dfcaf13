// The status record: 99 bytes that the application sends the USB task with
// every status notification (message 0x1002), built from the host status
// items. The USB task keeps it as its status mirror, takes bytes 0-3 into
// every ReplyHeader, and answers CMD_GET_STATUS with bytes 4-98.
#pragma once

#include <cstddef>
#include <cstdint>

#include "protocol/codes.h"
#include "protocol/headers.h"
#include "protocol/wire.h"

namespace protocol {

inline constexpr size_t STATUS_RECORD_SIZE = 99;
inline constexpr size_t STATUS_REPLY_SIZE = 100;

// Number of status items 16-30 and 32-41 carried by the record.
inline constexpr size_t STATUS_COUNTER_ITEMS = 15;
inline constexpr size_t STATUS_JOB_ITEMS = 10;
inline constexpr size_t STATUS_TONE_CURVE_ITEMS = 8;
inline constexpr size_t STATUS_UNIT_ASSIGN_ITEMS = 3;

// Wire width in bytes of each job status item 32-41: the job ids (items 32
// and 38) are bytes, the other words u16.
inline constexpr uint8_t kJobStatusItemWidth[STATUS_JOB_ITEMS] = {1, 2, 2, 2, 2, 2, 1, 2, 2, 2};

struct StatusRecord {
  uint8_t errorClass;    // 0: item 1 SI_ERROR_MAJOR
  uint8_t errorDetail;   // 1: item 2 SI_ERROR_MINOR
  uint8_t printerState;  // 2: item 3 SI_PRINTER_STATE (unit-marked)
  uint8_t auxStatus;     // 3: item 4
  // 4-63: items 16-30: the life counters (16-28) and the ribbon remaining
  // of units L and R in percent (29, 30).
  uint32_t counterItems[STATUS_COUNTER_ITEMS];
  uint16_t paperRemain;  // 64-65: item 31, paper roll remaining in percent
  // 66-83: items 32-41, the job status words of the job being printed
  // (32-37, 32 its job id) and of the next job (38-41, 38 its job id),
  // with the widths of kJobStatusItemWidth; byte items keep the low byte.
  uint16_t jobStatus[STATUS_JOB_ITEMS];
  uint8_t keyEnable;     // 84: item 51 SI_KEY_ENABLE
  uint8_t toneCurveFlags[STATUS_TONE_CURVE_ITEMS];  // 85-92: items 42-49
                                                    // 93-94: 0
  uint8_t unitAssign[STATUS_UNIT_ASSIGN_ITEMS];     // 95-97: items 52-54
  uint8_t printMode;     // 98: item 55 SI_PRINT_MODE
};

// The 99-byte record.
int32_t EncodeStatusRecord(const StatusRecord& record, uint8_t* out, size_t capacity);
int32_t DecodeStatusRecord(const uint8_t* in, size_t length, StatusRecord* record);

// The 100 data bytes of the CMD_GET_STATUS reply: record bytes 4-98 at data
// bytes 0-94, and data bytes 95-99, which carry no information, as 0.
int32_t EncodeStatusReply(const StatusRecord& record, uint8_t* out, size_t capacity);
// Fills every field but the first four, which travel in the ReplyHeader
// (they are left 0; see StatusFromReply).
int32_t DecodeStatusReply(const uint8_t* in, size_t length, StatusRecord* record);

// A whole status reply read by the host: the four header fields from the
// ReplyHeader, the rest from the data.
int32_t StatusFromReply(const ReplyFrame& frame, StatusRecord* record);

}  // namespace protocol
